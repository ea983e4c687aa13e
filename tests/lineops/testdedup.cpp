#include "lineops/dedup.h"
#include "tests/support/testhelpers.h"

#include <QTest>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

// The command as literally described: search every line in the whole kept text, built by
// prepending. Quadratic, so only for small inputs.
QString literalDedup(const QString& text)
{
    QString kept;
    for (QStringView line : SplitLines(text)) {
        if (kept.isEmpty() || !kept.contains(line))
            kept = line.toString() + CRLF + kept;
    }
    return kept;
}

} // namespace

class TestDedup final : public QObject
{
    Q_OBJECT

private slots:
    void keepsFirstOccurrencesReversed_data();
    void keepsFirstOccurrencesReversed();
    void agreesWithLiteralAlgorithm_data();
    void agreesWithLiteralAlgorithm();
};

void TestDedup::keepsFirstOccurrencesReversed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // or the refusal
    QTest::newRow("two lines are refused") << u"a\r\nb"_s << u"数据不足，人工去除吧"_s;
    QTest::newRow("an equal or a part of an earlier line is dropped") << u"abc\r\nab\r\nabc"_s << u"abc\r\n"_s;
    QTest::newRow("a line containing an earlier line stays") << u"ab\r\nabc\r\n"_s << u"abc\r\nab\r\n"_s;
    QTest::newRow("an empty first line stays and ends up last") << u"\r\na\r\nb"_s << u"b\r\na\r\n\r\n"_s;
    QTest::newRow("three empty lines keep one") << u"\r\n\r\n"_s << u"\r\n"_s;
    QTest::newRow("case-sensitive") << u"A\r\na\r\nA"_s << u"a\r\nA\r\n"_s;
    QTest::newRow("a part of a dropped line is dropped too") << u"abcd\r\nbcd\r\ncd"_s << u"abcd\r\n"_s;
    QTest::newRow("a lone LF line matches across the kept break") << u"a\r\nb\r\n\na"_s << u"b\r\na\r\n"_s;
    QTest::newRow("a lone CR line matches a line end") << u"xa\r\nq\r\na\r"_s << u"q\r\nxa\r\n"_s;
}

void TestDedup::keepsFirstOccurrencesReversed()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    RecordingMeter meter;
    const LineOpResult r = RemoveDuplicates(text, meter);
    if (r.refused()) {
        QCOMPARE(r.refusal, expected);
        QCOMPARE(meter.started, qsizetype{-1});
        return;
    }
    QCOMPARE(r.text, expected);
    QCOMPARE(literalDedup(text), expected);
    // The bar runs over all lines but steps on the kept ones only.
    QCOMPARE(meter.started, SplitLines(text).size());
    QCOMPARE(meter.steps, SplitLines(expected).size() - 1);
    QCOMPARE(meter.finished, 1);
}

void TestDedup::agreesWithLiteralAlgorithm_data()
{
    QTest::addColumn<QString>("alphabet");
    QTest::addColumn<int>("maxLength");
    QTest::newRow("Chinese and Latin, keyword length") << u"手机价格ab"_s << 8;
    QTest::newRow("long lines cross the anchor length") << u"xy"_s << 40;
    QTest::newRow("lone CR and LF inside lines") << u"a\r\nb"_s << 5;
    QTest::newRow("NUL and surrogate halves") << u"\0a\xD83D\xDE00"_s << 6;
}

void TestDedup::agreesWithLiteralAlgorithm()
{
    QFETCH(QString, alphabet);
    QFETCH(int, maxLength);
    QRandomGenerator rng(20261206);
    for (int round = 0; round < 60; ++round) {
        QStringList pieces;
        for (int i = 0; i < 150; ++i) {
            // Earlier lines and their parts come back often, as in real keyword lists.
            if (!pieces.isEmpty() && rng.bounded(3) == 0) {
                const QString& earlier = pieces[rng.bounded(static_cast<int>(pieces.size()))];
                pieces.append(earlier.mid(rng.bounded(static_cast<int>(earlier.size()) + 1), rng.bounded(maxLength)));
            } else {
                pieces.append(randomText(rng, alphabet, rng.bounded(maxLength + 1)));
            }
        }
        const QString text = pieces.join(CRLF);
        NullProgressMeter meter;
        QCOMPARE(RemoveDuplicates(text, meter).text, literalDedup(text));
    }
}

QTEST_APPLESS_MAIN(TestDedup)
#include "testdedup.moc"
