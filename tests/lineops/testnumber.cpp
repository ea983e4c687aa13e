#include "lineops/number.h"

#include <QTest>

#include <limits>

using namespace lumbrel;
using namespace Qt::StringLiterals;

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

} // namespace

class TestNumber final : public QObject
{
    Q_OBJECT

private slots:
    void parseNumber_data();
    void parseNumber();
    void wholeNumbers_data();
    void wholeNumbers();
};

void TestNumber::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<double>>("value");
    QTest::newRow("spaces around are allowed") << u"  12 "_s << std::optional(12.0);
    QTest::newRow("plus sign") << u"+7"_s << std::optional(7.0);
    QTest::newRow("signed upper-case exponent") << u"-25E-1"_s << std::optional(-2.5);
    QTest::newRow("point without fraction digits") << u"12."_s << std::optional(12.0);
    QTest::newRow("point without whole digits") << u".5"_s << std::optional(0.5);
    // Far beyond a double: a value, never a fault or a garbage integer.
    QTest::newRow("too many digits saturate") << QString(400, u'9') << std::optional(Inf);
    QTest::newRow("a huge exponent saturates") << u"-1e99999999999999999999"_s << std::optional(-Inf);
    QTest::newRow("a tiny fraction is 0") << u"0."_s + QString(400, u'0') + u"1"_s << std::optional(0.0);
    const std::optional<double> none;
    QTest::newRow("empty") << QString() << none;
    QTest::newRow("point only") << u"."_s << none;
    QTest::newRow("space between sign and digits") << u"- 3"_s << none;
    QTest::newRow("exponent without digits") << u"1e"_s << none;
    QTest::newRow("locale decimal comma") << u"1,5"_s << none;
    QTest::newRow("hexadecimal") << u"0x10"_s << none;
    QTest::newRow("infinity spelled out") << u"inf"_s << none;
    QTest::newRow("full-width digits") << u"１２"_s << none;
    QTest::newRow("two points") << u"1.2.3"_s << none;
    QTest::newRow("line break around") << u"12\r\n"_s << none;
}

void TestNumber::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(std::optional<double>, value);
    QCOMPARE(ParseNumber(text), value);
}

void TestNumber::wholeNumbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("whole");
    QTest::newRow("negative integer") << -3.0 << true;
    QTest::newRow("fraction") << 12.5 << false;
    QTest::newRow("negative fraction") << -2.5 << false;
    QTest::newRow("infinity") << Inf << true;
}

void TestNumber::wholeNumbers()
{
    QFETCH(double, value);
    QFETCH(bool, whole);
    QCOMPARE(IsWholeNumber(value), whole);
}

QTEST_APPLESS_MAIN(TestNumber)
#include "testnumber.moc"
