#include "lineops/shuffle.h"
#include "tests/support/testhelpers.h"

#include <QTest>

#include <cmath>
#include <vector>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

// Hands out the given values in turn, then repeats the last one.
class ScriptedSource final : public UniformSource
{
public:
    explicit ScriptedSource(std::vector<double> values)
        : m_values(std::move(values))
    {
    }
    double next() override
    {
        return m_values[std::min(drawn++, m_values.size() - 1)];
    }
    std::size_t drawn = 0;

private:
    std::vector<double> m_values;
};

} // namespace

class TestShuffle final : public QObject
{
    Q_OBJECT

private slots:
    void followsTheSwapPass_data();
    void followsTheSwapPass();
    void keepsEveryLineOnce();
    void twisterSpreadsOverZeroToOne();
};

void TestShuffle::followsTheSwapPass_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::vector<double>>("draws");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty text stays empty") << QString() << std::vector<double>{0.7} << QString();
    QTest::newRow("always 0 swaps every position with the first")
        << u"a\r\nb\r\nc"_s << std::vector<double>{0.0} << u"c\r\na\r\nb"_s;
    // Fisher-Yates would draw the last step from position 2 alone and leave c last.
    QTest::newRow("every step draws from all positions")
        << u"a\r\nb\r\nc"_s << std::vector<double>{0.5, 0.9, 0.0} << u"a\r\nc\r\nb"_s;
    QTest::newRow("the value just below 1 picks the last position")
        << u"a\r\nb\r\nc"_s << std::vector<double>{std::nextafter(1.0, 0.0), 0.4, 0.7} << u"c\r\nb\r\na"_s;
    QTest::newRow("an empty last line moves like any other")
        << u"a\r\nb\r\n"_s << std::vector<double>{0.0} << u"\r\na\r\nb"_s;
    QTest::newRow("lone breaks stay inside their line")
        << u"a\nb\r\nc\r"_s << std::vector<double>{0.6, 0.0} << u"a\nb\r\nc\r"_s;
}

void TestShuffle::followsTheSwapPass()
{
    QFETCH(QString, text);
    QFETCH(std::vector<double>, draws);
    QFETCH(QString, expected);
    ScriptedSource random(draws);
    QCOMPARE(RndLine(text, random), expected);
    QCOMPARE(random.drawn, static_cast<std::size_t>(SplitLines(text).size()));
}

void TestShuffle::keepsEveryLineOnce()
{
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += QString::number(i % 977) + (i % 13 == 0 ? u" \r\n"_s : (i % 17 == 0 ? CRLF + CRLF : CRLF));
    TwisterSource random(12345);
    const QString shuffled = RndLine(text, random);
    QCOMPARE(shuffled.size(), text.size());
    QCOMPARE(sortedLines(shuffled), sortedLines(text));
}

void TestShuffle::twisterSpreadsOverZeroToOne()
{
    TwisterSource random(7);
    double lowest = 1.0;
    double highest = 0.0;
    for (int i = 0; i < 100000; ++i) {
        const double v = random.next();
        QVERIFY(v >= 0.0 && v < 1.0);
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    QVERIFY(lowest < 0.001 && highest > 0.999);
}

QTEST_APPLESS_MAIN(TestShuffle)
#include "testshuffle.moc"
