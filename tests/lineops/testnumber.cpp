#include "lineops/number.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace lumbrel;

class TestNumber final : public QObject
{
    Q_OBJECT

private slots:
    void acceptsPlainDecimals_data();
    void acceptsPlainDecimals();
    void rejectsEverythingElse_data();
    void rejectsEverythingElse();
    void outOfRangeSaturates_data();
    void outOfRangeSaturates();
};

void TestNumber::acceptsPlainDecimals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("whole number") << QStringLiteral("2") << 2.0;
    QTest::newRow("spaces around are ignored") << QStringLiteral("  12 ") << 12.0;
    QTest::newRow("plus sign") << QStringLiteral("+3") << 3.0;
    QTest::newRow("minus sign") << QStringLiteral("-3.25") << -3.25;
    QTest::newRow("fraction") << QStringLiteral("2.5") << 2.5;
    QTest::newRow("point without fraction digits") << QStringLiteral("5.") << 5.0;
    QTest::newRow("point without whole digits") << QStringLiteral(".5") << 0.5;
    QTest::newRow("exponent") << QStringLiteral("1e3") << 1000.0;
    QTest::newRow("capital exponent with sign") << QStringLiteral("25E-1") << 2.5;
    QTest::newRow("exponent after a point") << QStringLiteral("5.e+1") << 50.0;
}

void TestNumber::acceptsPlainDecimals()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const std::optional<double> parsed = ParseNumber(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(*parsed, value);
}

void TestNumber::rejectsEverythingElse_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces only") << QStringLiteral("   ");
    QTest::newRow("sign only") << QStringLiteral("-");
    QTest::newRow("point only") << QStringLiteral(".");
    QTest::newRow("trailing letter") << QStringLiteral("12a");
    QTest::newRow("exponent without digits") << QStringLiteral("1e");
    QTest::newRow("inner space") << QStringLiteral("1 2");
    QTest::newRow("thousands separator") << QStringLiteral("1,000");
    QTest::newRow("locale decimal comma") << QStringLiteral("2,5");
    QTest::newRow("hexadecimal") << QStringLiteral("0x10");
    QTest::newRow("infinity word") << QStringLiteral("inf");
    QTest::newRow("full-width digit") << QStringLiteral("５");
}

void TestNumber::rejectsEverythingElse()
{
    QFETCH(QString, text);
    QVERIFY(!ParseNumber(text).has_value());
}

void TestNumber::outOfRangeSaturates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    constexpr double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("huge exponent") << QStringLiteral("1e999") << inf;
    QTest::newRow("huge negative") << QStringLiteral("-1e999") << -inf;
    QTest::newRow("exponent beyond any integer") << QStringLiteral("1e99999999999999999999") << inf;
    QTest::newRow("tiny with leading zeros") << QStringLiteral("0.0001e-400") << 0.0;
    QTest::newRow("many digits still large") << QStringLiteral("0.5e309") << inf;
}

void TestNumber::outOfRangeSaturates()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const std::optional<double> parsed = ParseNumber(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(*parsed, value);
}

QTEST_APPLESS_MAIN(TestNumber)
#include "testnumber.moc"
