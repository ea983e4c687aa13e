#include "lineops/number.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace lumbrel;

class TestNumber final : public QObject
{
    Q_OBJECT

private slots:
    void acceptsPlainDecimalNotation_data();
    void acceptsPlainDecimalNotation();
    void refusesEverythingElse_data();
    void refusesEverythingElse();
    void outOfRangeValuesSaturate();
    void wholeNumbers_data();
    void wholeNumbers();
};

void TestNumber::acceptsPlainDecimalNotation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digits") << QStringLiteral("12") << 12.0;
    QTest::newRow("spaces around are allowed") << QStringLiteral("  12 ") << 12.0;
    QTest::newRow("plus sign") << QStringLiteral("+7") << 7.0;
    QTest::newRow("minus sign") << QStringLiteral("-3") << -3.0;
    QTest::newRow("fraction") << QStringLiteral("7.5") << 7.5;
    QTest::newRow("zero fraction") << QStringLiteral("12.0") << 12.0;
    QTest::newRow("point without fraction digits") << QStringLiteral("12.") << 12.0;
    QTest::newRow("point without whole digits") << QStringLiteral(".5") << 0.5;
    QTest::newRow("exponent") << QStringLiteral("1e3") << 1000.0;
    QTest::newRow("signed upper-case exponent") << QStringLiteral("-25E-1") << -2.5;
    QTest::newRow("leading zeros") << QStringLiteral("007") << 7.0;
    QTest::newRow("the decimal point does not follow the locale") << QStringLiteral("0.25") << 0.25;
}

void TestNumber::acceptsPlainDecimalNotation()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const std::optional<double> n = ParseNumber(text);
    QVERIFY(n.has_value());
    QCOMPARE(*n, value);
}

void TestNumber::refusesEverythingElse_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces only") << QStringLiteral("   ");
    QTest::newRow("sign only") << QStringLiteral("-");
    QTest::newRow("point only") << QStringLiteral(".");
    QTest::newRow("space between sign and digits") << QStringLiteral("- 3");
    QTest::newRow("two signs") << QStringLiteral("+-3");
    QTest::newRow("exponent without digits") << QStringLiteral("1e");
    QTest::newRow("exponent without mantissa") << QStringLiteral("e5");
    QTest::newRow("thousands separator") << QStringLiteral("1,000");
    QTest::newRow("locale decimal comma") << QStringLiteral("1,5");
    QTest::newRow("hexadecimal") << QStringLiteral("0x10");
    QTest::newRow("infinity spelled out") << QStringLiteral("inf");
    QTest::newRow("not a number spelled out") << QStringLiteral("nan");
    QTest::newRow("currency sign") << QStringLiteral("$5");
    QTest::newRow("full-width digits") << QStringLiteral("１２");
    QTest::newRow("trailing text") << QStringLiteral("12abc");
    QTest::newRow("inner space") << QStringLiteral("1 2");
    QTest::newRow("two points") << QStringLiteral("1.2.3");
    QTest::newRow("line break around") << QStringLiteral("12\r\n");
}

void TestNumber::refusesEverythingElse()
{
    QFETCH(QString, text);
    QVERIFY(!ParseNumber(text).has_value());
}

void TestNumber::outOfRangeValuesSaturate()
{
    // Far beyond a double: must read as a value, never as a fault or a garbage integer.
    QCOMPARE(*ParseNumber(u"1e400"), std::numeric_limits<double>::infinity());
    QCOMPARE(*ParseNumber(u"-1e99999999999999999999"), -std::numeric_limits<double>::infinity());
    QCOMPARE(*ParseNumber(QString(400, u'9')), std::numeric_limits<double>::infinity());
    QCOMPARE(*ParseNumber(u"1e-400"), 0.0);
    QCOMPARE(*ParseNumber(u"0.000000000000000000000000000000000000000000000000000000000000000000000000000000000"
                          u"00000000000000000000000000000000000000000000000000000000000000000000000000000000000"
                          u"00000000000000000000000000000000000000000000000000000000000000000000000000000000000"
                          u"00000000000000000000000000000000000000000000000000000000000000000000000000000000001"),
             0.0);
    QCOMPARE(*ParseNumber(u"0e99999"), 0.0);
}

void TestNumber::wholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("whole");
    QTest::newRow("integer") << QStringLiteral("12") << true;
    QTest::newRow("integer written with a zero fraction") << QStringLiteral("12.0") << true;
    QTest::newRow("negative integer") << QStringLiteral("-3") << true;
    QTest::newRow("exponent making a whole number") << QStringLiteral("1.5e1") << true;
    QTest::newRow("fraction") << QStringLiteral("12.5") << false;
    QTest::newRow("negative fraction rounds down, not toward zero") << QStringLiteral("-2.5") << false;
    QTest::newRow("exponent making a fraction") << QStringLiteral("15e-1") << false;
    QTest::newRow("infinity") << QStringLiteral("1e400") << true;
}

void TestNumber::wholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, whole);
    QCOMPARE(IsWholeNumber(*ParseNumber(text)), whole);
}

QTEST_APPLESS_MAIN(TestNumber)
#include "testnumber.moc"
