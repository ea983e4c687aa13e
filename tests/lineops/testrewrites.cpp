#include "lineops/rewrites.h"
#include "tests/support/testhelpers.h"

#include <QTest>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

enum class Op
{
    KeywordFront, // 每行前面加关键词→
    KeywordBack,  // ←关键词加在每行后面
    KeepBefore,   // 留前
    KeepAfter,    // 留后
    TakeLeft,     // 取左位数
    TakeRight     // 取右位数
};

BoxedOpResult runBoxed(Op op, const QString& text, const QString& parameter, ProgressMeter& meter)
{
    switch (op) {
    case Op::KeywordFront:
    case Op::KeywordBack:
        return AddKeyword(text, parameter, op == Op::KeywordFront ? KeywordSide::Front : KeywordSide::Back, meter);
    case Op::KeepBefore:
    case Op::KeepAfter:
        return KeepPiece(text, parameter, op == Op::KeepBefore ? MarkerPiece::Before : MarkerPiece::After, meter);
    default:
        return TakeChars(text, parameter, op == Op::TakeLeft ? LineEnd::Left : LineEnd::Right, meter);
    }
}

} // namespace

class TestRewrites final : public QObject
{
    Q_OBJECT

private slots:
    void lineCommands_data();
    void lineCommands();
    void addKeywordAgreesWithTheReplacePasses();
};

void TestRewrites::lineCommands_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QString>("expected"); // or the refusal
    QTest::addColumn<QString>("box");      // "(none)": the box is left as it was
    QTest::newRow("keyword in front, lines reversed, one group")
        << Op::KeywordFront << u"a\r\nb\r\nc"_s << u"K"_s << u"Kc\r\nKb\r\nKa\r\n\r\n"_s << u"K"_s;
    QTest::newRow("keyword at the back, stripped of breaks and trimmed")
        << Op::KeywordBack << u"a\r\nb"_s << u"  K \r\n"_s << u"bK\r\naK\r\n\r\n"_s << u"K"_s;
    QTest::newRow("keyword of spaces only: lines only trimmed and reversed")
        << Op::KeywordFront << u" a \r\nb"_s << u"   "_s << u"b\r\na\r\n\r\n"_s << QString();
    QTest::newRow("keyword: all-space line dropped, outer spaces trimmed, inner stay")
        << Op::KeywordFront << u"  a b  \r\n   \r\nc"_s << u"K"_s << u"Kc\r\nKa b\r\n\r\n"_s << u"K"_s;
    QTest::newRow("keyword: 2001 lines make two groups")
        << Op::KeywordFront << numberedLines(2001, u"L"_s).join(CRLF) << u"K"_s
        << literalGroupedJoin(numberedLines(2001, u"KL"_s)) << u"K"_s;
    QTest::newRow("留前: marker at the start gives an empty line")
        << Op::KeepBefore << u"|ab\r\nc"_s << u"|"_s << u"c\r\n\r\n"_s << u"|"_s;
    QTest::newRow("留后: only the text between the first and the second marker")
        << Op::KeepAfter << u"a|b|c\r\nx"_s << u"|"_s << u"x\r\nb\r\n"_s << u"|"_s;
    QTest::newRow("留后: occurrences do not overlap")
        << Op::KeepAfter << u"aaaa\r\nxaaay"_s << u"aa"_s << u"ay\r\n\r\n"_s << u"aa"_s;
    QTest::newRow("留前: a line without the marker stays, spaces and all")
        << Op::KeepBefore << u" a b \r\nc|d"_s << u"|"_s << u"c\r\n a b \r\n"_s << u"|"_s;
    QTest::newRow("留前: a marker of spaces keeps every line whole")
        << Op::KeepBefore << u"ab\r\n\r\ncd"_s << u" "_s << u"cd\r\n\r\nab\r\n"_s << QString();
    QTest::newRow("留后: an empty marker keeps every line whole")
        << Op::KeepAfter << u"ab\r\n\r\ncd"_s << QString() << u"cd\r\n\r\nab\r\n"_s << QString();
    QTest::newRow("取左位数: lines longer than N are cut")
        << Op::TakeLeft << u"abc\r\nab\r\na"_s << u"2"_s << u"a\r\nab\r\nab\r\n"_s << u"2"_s;
    QTest::newRow("取右位数: lines trimmed before they are measured and cut")
        << Op::TakeRight << u"  abcd  \r\n x "_s << u" 2\r\n"_s << u"x\r\ncd\r\n"_s << u"2"_s;
    QTest::newRow("2.5: three units cut to two")
        << Op::TakeLeft << u"abc\r\nxy"_s << u"2.5"_s << u"xy\r\nab\r\n"_s << u"2.5"_s;
    QTest::newRow("3.5: five units cut to four")
        << Op::TakeLeft << u"abcde\r\nxy"_s << u"3.5"_s << u"xy\r\nabcd\r\n"_s << u"3.5"_s;
    QTest::newRow("1.5: two units stay whole (ties to even), three cut to two")
        << Op::TakeRight << u"ab\r\nxyz"_s << u"1.5"_s << u"yz\r\nab\r\n"_s << u"1.5"_s;
    QTest::newRow("取左位数: a lone break inside a line is removed first")
        << Op::TakeLeft << u"a\nbc\r\nx"_s << u"2"_s << u"x\r\nab\r\n"_s << u"2"_s;
    QTest::newRow("取左位数: a negative count empties the lines")
        << Op::TakeLeft << u"abc\r\n\r\nd"_s << u"-1"_s << u"\r\n\r\n\r\n"_s << u"-1"_s;
    QTest::newRow("取左位数: a cut may split a surrogate pair")
        << Op::TakeLeft << u"\U0001F600x\r\n"_s << u"1"_s << u"\r\n\xD83D\r\n"_s << u"1"_s;
    QTest::newRow("取左位数: no line break is refused before no number")
        << Op::TakeLeft << u"abc"_s << u" x\r\n"_s << u"数据不足 没有发现换行符"_s << u"x"_s;
}

void TestRewrites::lineCommands()
{
    QFETCH(Op, op);
    QFETCH(QString, text);
    QFETCH(QString, parameter);
    QFETCH(QString, expected);
    QFETCH(QString, box);
    RecordingMeter meter;
    const BoxedOpResult r = runBoxed(op, text, parameter, meter);
    QCOMPARE(r.result.refused() ? r.result.refusal : r.result.text, expected);
    QCOMPARE(r.box.value_or(u"(none)"_s), box);
    QCOMPARE(meter.finished, r.result.refused() ? 0 : 1);
    QCOMPARE(meter.steps, r.result.refused() ? 0 : meter.started);
    // The keyword commands count the lines left by the replace passes (tested below).
    if (op != Op::KeywordFront && op != Op::KeywordBack)
        QCOMPARE(meter.started, r.result.refused() ? -1 : SplitLines(text).size());
}

void TestRewrites::addKeywordAgreesWithTheReplacePasses()
{
    // The literal steps: two replace passes over the text, then the lines of what is left,
    // each stripped of breaks and dropped when empty. Texts rich in runs of breaks.
    const QStringList pieces = u"\r\n|\r\n|\r\n|\r|\n|x| "_s.split(u'|');
    QRandomGenerator random(99);
    for (int round = 0; round < 300; ++round) {
        QString text = CRLF;
        for (int i = 0; i < 40; ++i)
            text += pieces[random.bounded(static_cast<int>(pieces.size()))];
        const QString collapsed = ReplaceAll(ReplaceAll(text, u"\r\n\r\n\r\n", CRLF), u"\r\n\r\n", CRLF);
        QStringList survivors;
        qsizetype entries = 0;
        for (QStringView line : SplitLines(collapsed)) {
            ++entries;
            if (!StripLineBreaks(line).isEmpty())
                survivors.append(u"K"_s + StripLineBreaks(line));
        }
        RecordingMeter meter;
        QCOMPARE(AddKeyword(text, u"K", KeywordSide::Front, meter).result.text, literalGroupedJoin(survivors));
        QCOMPARE(meter.started, entries);
    }
}

QTEST_APPLESS_MAIN(TestRewrites)
#include "testrewrites.moc"
