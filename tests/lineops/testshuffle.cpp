#include "lineops/shuffle.h"
#include "shell/linemodel.h"

#include <QTest>

#include <cmath>
#include <vector>

using namespace lumbrel;

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
        const double v = m_values[std::min(m_next, m_values.size() - 1)];
        ++m_next;
        return v;
    }
    std::size_t drawn() const
    {
        return m_next;
    }

private:
    std::vector<double> m_values;
    std::size_t m_next = 0;
};

QStringList sortedLines(const QString& text)
{
    QStringList lines;
    for (QStringView line : SplitLines(text))
        lines.append(line.toString());
    lines.sort();
    return lines;
}

} // namespace

class TestShuffle final : public QObject
{
    Q_OBJECT

private slots:
    void followsTheSwapPass_data();
    void followsTheSwapPass();
    void drawsOncePerLine();
    void keepsEveryLineOnce_data();
    void keepsEveryLineOnce();
    void twisterStaysBelowOne();
};

void TestShuffle::followsTheSwapPass_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::vector<double>>("draws");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty text stays empty") << QString() << std::vector<double>{0.7} << QString();
    QTest::newRow("one line stays") << QStringLiteral("abc") << std::vector<double>{0.99} << QStringLiteral("abc");
    QTest::newRow("always 0 swaps every position with the first")
        << QStringLiteral("a\r\nb\r\nc") << std::vector<double>{0.0} << QStringLiteral("c\r\na\r\nb");
    // Fisher-Yates would draw the last step from position 2 alone and leave c last.
    QTest::newRow("every step draws from all positions")
        << QStringLiteral("a\r\nb\r\nc") << std::vector<double>{0.5, 0.9, 0.0} << QStringLiteral("a\r\nc\r\nb");
    QTest::newRow("the value just below 1 picks the last position")
        << QStringLiteral("a\r\nb\r\nc") << std::vector<double>{std::nextafter(1.0, 0.0), 0.4, 0.7}
        << QStringLiteral("c\r\nb\r\na");
    QTest::newRow("an empty last line moves like any other")
        << QStringLiteral("a\r\nb\r\n") << std::vector<double>{0.0} << QStringLiteral("\r\na\r\nb");
    QTest::newRow("lone breaks stay inside their line")
        << QStringLiteral("a\nb\r\nc\r") << std::vector<double>{0.6, 0.0} << QStringLiteral("a\nb\r\nc\r");
}

void TestShuffle::followsTheSwapPass()
{
    QFETCH(QString, text);
    QFETCH(std::vector<double>, draws);
    QFETCH(QString, expected);
    ScriptedSource random(draws);
    QCOMPARE(RndLine(text, random), expected);
}

void TestShuffle::drawsOncePerLine()
{
    ScriptedSource random({0.3});
    RndLine(u"a\r\n\r\nb\r\nc\r\n", random);
    QCOMPARE(random.drawn(), std::size_t{5});
}

void TestShuffle::keepsEveryLineOnce_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("three lines") << QStringLiteral("a\r\nb\r\nc");
    QTest::newRow("empty lines take part") << QStringLiteral("\r\na\r\n\r\nb\r\n");
    QString many;
    for (int i = 0; i < 5000; ++i)
        many += QString::number(i % 977) + (i % 13 == 0 ? QStringLiteral(" \r\n") : QStringLiteral("\r\n"));
    QTest::newRow("five thousand lines with repeats") << many;
}

void TestShuffle::keepsEveryLineOnce()
{
    QFETCH(QString, text);
    for (std::uint64_t seed : {1U, 2U, 12345U}) {
        TwisterSource random(seed);
        const QString shuffled = RndLine(text, random);
        QCOMPARE(shuffled.size(), text.size());
        QCOMPARE(sortedLines(shuffled), sortedLines(text));
    }
}

void TestShuffle::twisterStaysBelowOne()
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
    // Spread over the whole interval, not squeezed into part of it.
    QVERIFY(lowest < 0.001);
    QVERIFY(highest > 0.999);
}

QTEST_APPLESS_MAIN(TestShuffle)
#include "testshuffle.moc"
