#include "lineops/linemodel.h"
#include "tests/support/testhelpers.h"

#include <QRandomGenerator>
#include <QTest>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

class TestLineModel final : public QObject
{
    Q_OBJECT

private slots:
    void splitAndCountLines_data();
    void splitAndCountLines();
    void replaceAllAgreesWithPlainScan();
    void joinsAgreeWithPrependingEachLine_data();
    void joinsAgreeWithPrependingEachLine();
};

void TestLineModel::splitAndCountLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<qsizetype>("count"); // CountLines, shown in the messages
    QTest::newRow("empty text has no lines") << QString() << QStringList() << qsizetype{0};
    QTest::newRow("a trailing break makes an empty last line, not counted")
        << u"a\r\nb\r\n"_s << QStringList{u"a"_s, u"b"_s, QString()} << qsizetype{2};
    QTest::newRow("a lone break is two empty lines, counted 1")
        << u"\r\n"_s << QStringList{QString(), QString()} << qsizetype{1};
    QTest::newRow("a lone LF does not split but counts once a CR LF exists")
        << u"a\nb\r\nc"_s << QStringList{u"a\nb"_s, u"c"_s} << qsizetype{3};
    QTest::newRow("a lone LF without any CR LF counts 0") << u"a\nb"_s << QStringList{u"a\nb"_s} << qsizetype{0};
    QTest::newRow("CR CR LF keeps the first CR in the line")
        << u"a\r\r\nb"_s << QStringList{u"a\r"_s, u"b"_s} << qsizetype{2};
    // Long enough for the vectorised scan, with breaks (and lone LFs) at every offset in its
    // blocks and on their boundaries.
    QStringList many;
    for (int i = 0; i < 3000; ++i)
        many << u"key\n%1"_s.arg(i);
    QTest::newRow("breaks across many vector blocks") << many.join(u"\r\n"_s) << many << qsizetype{6000};
}

void TestLineModel::splitAndCountLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QFETCH(qsizetype, count);
    const LineList got = SplitLines(text);
    QCOMPARE(got, LineList(lines.begin(), lines.end()));
    QCOMPARE(CountLines(text), count);
    QCOMPARE(CountSplitLines(text), lines.size());
}

void TestLineModel::replaceAllAgreesWithPlainScan()
{
    QCOMPARE(ReplaceAll(u"abc", {}, u"x"), u"abc"_s);
    QCOMPARE(ReplaceAll(u"ABC abc", u"abc", u"_"), u"ABC _"_s);
    // Short and long search texts (the long ones mostly found by the two-way search) against
    // the plain left-to-right scan.
    const auto plain = [](const QString& text, const QString& from, const QString& to) {
        QString out;
        for (qsizetype i = 0; i < text.size();) {
            const bool hit = QStringView(text).sliced(i).startsWith(from);
            out += hit ? to : QString(text[i]);
            i += hit ? from.size() : 1;
        }
        return out;
    };
    QRandomGenerator rng(5);
    for (int round = 0; round < 3000; ++round) {
        const QString text = randomText(rng, u"ab"_s, 1 + rng.bounded(60));
        const QString from = randomText(rng, u"ab"_s, 1 + rng.bounded(round % 2 ? 4 : 20));
        const QString to = round % 3 ? randomText(rng, u"ab"_s, 1 + rng.bounded(3)) : QString();
        QCOMPARE(ReplaceAll(text, from, to), plain(text, from, to));
    }
}

void TestLineModel::joinsAgreeWithPrependingEachLine_data()
{
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<int>("passPercent");
    QTest::newRow("empty text: no lines on either side") << 0 << 50;
    // The first group holds 2000 lines, every later full one 2001.
    QTest::newRow("2000 lines fill the first group") << 2000 << 100;
    QTest::newRow("4001 lines fill the second group") << 4001 << 100;
    QTest::newRow("4002 lines open a third group; no line passes, a lone break") << 4002 << 0;
    QTest::newRow("mixed: both sides fill three groups") << 9000 << 50;
}

void TestLineModel::joinsAgreeWithPrependingEachLine()
{
    QFETCH(int, lineCount);
    QFETCH(int, passPercent);
    // Lone CR and LF next to the breaks test the scan at every offset in its blocks; no line
    // holds a CR LF, so the text has exactly lineCount lines.
    QRandomGenerator rng(3);
    QStringList pieces;
    for (int i = 0; i < lineCount; ++i) {
        QString piece = randomText(rng, u"a\r\n中"_s, rng.bounded(20));
        while (piece.contains(CRLF))
            piece.replace(CRLF, u"\n"_s);
        pieces.append(piece);
    }
    const QString text = pieces.join(CRLF);
    QList<bool> picks;
    QStringList sides[2];
    for (const QString& line : pieces) {
        picks.append(rng.bounded(100) < passPercent);
        sides[picks.last()].append(line);
    }
    qsizetype next = 0;
    const LinePartition partition = PartitionLines(text, [&](QStringView) { return picks[next++]; });
    QCOMPARE(next, picks.size());
    const JoinedPartition fronts = JoinPartition(text, partition, JoinStyle::Front, JoinStyle::Front);
    const JoinedPartition grouped = JoinPartition(text, partition, JoinStyle::GroupedFront, JoinStyle::GroupedFront);
    const LineList all(pieces.begin(), pieces.end());
    std::vector<char> kept(picks.begin(), picks.end());
    QCOMPARE(FrontJoinKept(all, kept), literalFrontJoin(sides[1]));
    for (int pass : {0, 1}) {
        const LineList lines(sides[pass].begin(), sides[pass].end());
        const QString front = literalFrontJoin(sides[pass]);
        const QString groups = literalGroupedJoin(sides[pass]);
        QCOMPARE(FrontJoin(lines), front);
        QCOMPARE(GroupedFrontJoin(lines), groups);
        QCOMPARE(pass ? fronts.passed : fronts.failed, front);
        QCOMPARE(pass ? grouped.passed : grouped.failed, groups);
    }
}

QTEST_APPLESS_MAIN(TestLineModel)
#include "testlinemodel.moc"
