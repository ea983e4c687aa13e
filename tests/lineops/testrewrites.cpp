#include "lineops/rewrites.h"
#include "shell/linemodel.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>

using namespace lumbrel;

namespace {

class RecordingMeter final : public ProgressMeter
{
public:
    void start(qsizetype max) override
    {
        started = max;
    }
    void step() override
    {
        ++steps;
    }
    void finish() override
    {
        ++finished;
    }
    qsizetype started = -1;
    qsizetype steps = 0;
    int finished = 0;
};

const QString NoBreak = QStringLiteral("数据不足 没有发现换行符");
const QString NoNumber = QStringLiteral("您输入的不是数字");

// Numbered lines "L0", "L1", ... joined by CR LF.
QString numbered(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(QStringLiteral("L%1").arg(i));
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

class TestRewrites final : public QObject
{
    Q_OBJECT

private slots:
    void removeText_data();
    void removeText();
    void replaceText_data();
    void replaceText();
    void breakAtText_data();
    void breakAtText();

    void addKeyword_data();
    void addKeyword();
    void addKeywordRefusesWithoutTouchingTheBox();
    void addKeywordMeterCountsCollapsedLines_data();
    void addKeywordMeterCountsCollapsedLines();

    void keepPiece_data();
    void keepPiece();

    void takeChars_data();
    void takeChars();
    void cutLength_data();
    void cutLength();
};

void TestRewrites::removeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("box");
    QTest::newRow("start text of the box is removed") << QStringLiteral("aText1b\r\nText1") << QStringLiteral("Text1")
                                                      << QStringLiteral("ab\r\n") << QStringLiteral("Text1");
    QTest::newRow("case matters") << QStringLiteral("Apple apple") << QStringLiteral("apple")
                                  << QStringLiteral("Apple ") << QStringLiteral("apple");
    QTest::newRow("matches do not overlap: three a less aa")
        << QStringLiteral("aaa") << QStringLiteral("aa") << QStringLiteral("a") << QStringLiteral("aa");
    QTest::newRow("matches do not overlap: four a less aa twice")
        << QStringLiteral("aaaa") << QStringLiteral("aa") << QString() << QStringLiteral("aa");
    QTest::newRow("spaces around the search text stay") << QStringLiteral("x a y\r\nxay") << QStringLiteral(" a ")
                                                        << QStringLiteral("xy\r\nxay") << QStringLiteral(" a ");
    QTest::newRow("a break in the search text is removed, nothing trimmed")
        << QStringLiteral("x ab y") << QStringLiteral(" a\r\nb") << QStringLiteral("x y") << QStringLiteral(" ab");
    QTest::newRow("empty search text changes nothing")
        << QStringLiteral("abc") << QString() << QStringLiteral("abc") << QString();
}

void TestRewrites::removeText()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, expected);
    QFETCH(QString, box);
    const ReplaceResult r = RemoveText(text, search);
    QCOMPARE(r.text, expected);
    QCOMPARE(r.search, box);
}

void TestRewrites::replaceText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("searchBox");
    QTest::addColumn<QString>("replacementBox");
    QTest::newRow("the replacement is not scanned again")
        << QStringLiteral("aaa") << QStringLiteral("a") << QStringLiteral("aa") << QStringLiteral("aaaaaa")
        << QStringLiteral("a") << QStringLiteral("aa");
    QTest::newRow("both texts are trimmed") << QStringLiteral("a b a") << QStringLiteral(" a ") << QStringLiteral(" - ")
                                            << QStringLiteral("- b -") << QStringLiteral("a") << QStringLiteral("-");
    QTest::newRow("empty replacement deletes") << QStringLiteral("abcb") << QStringLiteral("b") << QString()
                                               << QStringLiteral("ac") << QStringLiteral("b") << QString();
    QTest::newRow("search of spaces only becomes empty and changes nothing")
        << QStringLiteral("a b") << QStringLiteral("   ") << QStringLiteral("x") << QStringLiteral("a b") << QString()
        << QStringLiteral("x");
    QTest::newRow("a full-width space is no space to trim")
        << QStringLiteral("a\u3000a") << QStringLiteral("\u3000a") << QStringLiteral("b") << QStringLiteral("ab")
        << QStringLiteral("\u3000a") << QStringLiteral("b");
    QTest::newRow("pieces around a break are joined")
        << QStringLiteral("abc") << QStringLiteral(" a\r\nb ") << QStringLiteral("\r\nx\r\n") << QStringLiteral("xc")
        << QStringLiteral("ab") << QStringLiteral("x");
}

void TestRewrites::replaceText()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QFETCH(QString, searchBox);
    QFETCH(QString, replacementBox);
    const ReplaceResult r = ReplaceText(text, search, replacement);
    QCOMPARE(r.text, expected);
    QCOMPARE(r.search, searchBox);
    QCOMPARE(r.replacement, replacementBox);
}

void TestRewrites::breakAtText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("box");
    QTest::newRow("comma list becomes lines")
        << QStringLiteral("a,b,c") << QStringLiteral(",") << QStringLiteral("a\r\nb\r\nc") << QStringLiteral(",");
    QTest::newRow("a single space is kept and used")
        << QStringLiteral("a b  c") << QStringLiteral(" ") << QStringLiteral("a\r\nb\r\n\r\nc") << QStringLiteral(" ");
    QTest::newRow("breaks in the search text are removed")
        << QStringLiteral("a;b") << QStringLiteral("\r\n;\n") << QStringLiteral("a\r\nb") << QStringLiteral(";");
    QTest::newRow("empty search changes nothing")
        << QStringLiteral("a,b") << QStringLiteral("\r\n") << QStringLiteral("a,b") << QString();
}

void TestRewrites::breakAtText()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, expected);
    QFETCH(QString, box);
    const ReplaceResult r = BreakAtText(text, search);
    QCOMPARE(r.text, expected);
    QCOMPARE(r.search, box);
}

void TestRewrites::addKeyword_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("front");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("box");
    QTest::newRow("three lines reversed, keyword in front, one group")
        << QStringLiteral("a\r\nb\r\nc") << QStringLiteral("K") << true << QStringLiteral("Kc\r\nKb\r\nKa\r\n\r\n")
        << QStringLiteral("K");
    QTest::newRow("keyword at the back") << QStringLiteral("a\r\nb\r\nc") << QStringLiteral("K") << false
                                         << QStringLiteral("cK\r\nbK\r\naK\r\n\r\n") << QStringLiteral("K");
    QTest::newRow("start text of the box") << QStringLiteral("a\r\n") << QStringLiteral("|=|哈哈") << true
                                           << QStringLiteral("|=|哈哈a\r\n\r\n") << QStringLiteral("|=|哈哈");
    QTest::newRow("keyword is trimmed") << QStringLiteral("a\r\nb") << QStringLiteral("  K \r\n") << false
                                        << QStringLiteral("bK\r\naK\r\n\r\n") << QStringLiteral("K");
    QTest::newRow("keyword of spaces only only trims and reverses")
        << QStringLiteral(" a \r\nb") << QStringLiteral("   ") << true << QStringLiteral("b\r\na\r\n\r\n") << QString();
    QTest::newRow("all-space line dropped, outer spaces trimmed, inner stay")
        << QStringLiteral("  a b  \r\n   \r\nc") << QStringLiteral("K") << true << QStringLiteral("Kc\r\nKa b\r\n\r\n")
        << QStringLiteral("K");
    QTest::newRow("runs of empty lines leave no trace")
        << QStringLiteral("a\r\n\r\n\r\n\r\n\r\n\r\nb\r\n\r\nc") << QStringLiteral("K") << true
        << QStringLiteral("Kc\r\nKb\r\nKa\r\n\r\n") << QStringLiteral("K");
    QTest::newRow("a lone break inside a line joins its pieces")
        << QStringLiteral("a\nb\r\nc\r") << QStringLiteral("K") << true << QStringLiteral("Kc\r\nKab\r\n\r\n")
        << QStringLiteral("K");
    QTest::newRow("only breaks and spaces give a single line break")
        << QStringLiteral("\r\n  \r\n\r\n ") << QStringLiteral("K") << true << QStringLiteral("\r\n")
        << QStringLiteral("K");
    // 2001 surviving lines: the last one opens a second group.
    QString grouped = QStringLiteral("KL2000\r\n\r\n");
    for (int i = 1999; i >= 0; --i)
        grouped += QStringLiteral("KL%1\r\n").arg(i);
    grouped += QStringLiteral("\r\n");
    QTest::newRow("2001 lines make two groups, each followed by an empty line")
        << numbered(2001) << QStringLiteral("K") << true << grouped << QStringLiteral("K");
}

void TestRewrites::addKeyword()
{
    QFETCH(QString, text);
    QFETCH(QString, keyword);
    QFETCH(bool, front);
    QFETCH(QString, expected);
    QFETCH(QString, box);
    RecordingMeter meter;
    const BoxedOpResult r = AddKeyword(text, keyword, front ? KeywordSide::Front : KeywordSide::Back, meter);
    QVERIFY(!r.result.refused());
    QCOMPARE(r.result.text, expected);
    QCOMPARE(r.box, std::optional<QString>(box));
    QCOMPARE(meter.finished, 1);
}

void TestRewrites::addKeywordRefusesWithoutTouchingTheBox()
{
    for (const QString& text : {QString(), QStringLiteral("abc"), QStringLiteral("a\nb\rc")}) {
        RecordingMeter meter;
        const BoxedOpResult r = AddKeyword(text, u" K ", KeywordSide::Front, meter);
        QCOMPARE(r.result.refusal, NoBreak);
        QVERIFY(!r.box.has_value());
        QCOMPARE(meter.started, qsizetype{-1});
        QCOMPARE(meter.finished, 0);
    }
}

void TestRewrites::addKeywordMeterCountsCollapsedLines_data()
{
    QTest::addColumn<QString>("text");
    // The literal steps: two replace passes over the text, then the lines.
    const auto rows = {
        QStringLiteral("a\r\nb"),
        QStringLiteral("a\r\n\r\nb"),
        QStringLiteral("a\r\n\r\n\r\nb"),
        QStringLiteral("a\r\n\r\n\r\n\r\nb"),
        QStringLiteral("a\r\n\r\n\r\n\r\n\r\nb"),
        QStringLiteral("\r\n\r\n\r\n\r\n\r\n\r\n\r\n"),
        QStringLiteral("\r\r\n\r\n\n\r\n\r\n\r\r\n"),
    };
    for (const QString& row : rows)
        QTest::addRow("%s", qPrintable(QString(row).replace(u'\r', u'r').replace(u'\n', u'n'))) << row;
    QRandomGenerator random(99);
    const QStringList pieces = {QStringLiteral("\r\n"),
                                QStringLiteral("\r\n"),
                                QStringLiteral("\r\n"),
                                QStringLiteral("\r"),
                                QStringLiteral("\n"),
                                QStringLiteral("x"),
                                QStringLiteral(" ")};
    for (int round = 0; round < 200; ++round) {
        QString text = QStringLiteral("\r\n");
        for (int i = 0; i < 40; ++i)
            text += pieces[static_cast<qsizetype>(random.bounded(static_cast<quint32>(pieces.size())))];
        QTest::addRow("generated %d", round) << text;
    }
}

void TestRewrites::addKeywordMeterCountsCollapsedLines()
{
    QFETCH(QString, text);
    const QString collapsed = ReplaceAll(ReplaceAll(text, u"\r\n\r\n\r\n", u"\r\n"), u"\r\n\r\n", u"\r\n");
    RecordingMeter meter;
    const BoxedOpResult r = AddKeyword(text, u"K", KeywordSide::Front, meter);
    QCOMPARE(meter.started, SplitLines(collapsed).size());
    QCOMPARE(meter.steps, meter.started);
    // The surviving lines are those of the collapsed text, however the runs were shortened.
    LineList survivors;
    QStringList owned;
    for (QStringView line : SplitLines(collapsed)) {
        owned.append(StripLineBreaks(line));
        if (!owned.constLast().isEmpty())
            survivors.append(owned.constLast());
    }
    QCOMPARE(r.result.text, GroupedFrontJoin(survivors, u"K"));
}

void TestRewrites::keepPiece_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<bool>("before");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("box");
    QTest::newRow("before: marker at the start gives an empty line")
        << QStringLiteral("|ab\r\nc") << QStringLiteral("|") << true << QStringLiteral("c\r\n\r\n")
        << QStringLiteral("|");
    QTest::newRow("after: marker only at the end gives an empty line")
        << QStringLiteral("ab|\r\nc") << QStringLiteral("|") << false << QStringLiteral("c\r\n\r\n")
        << QStringLiteral("|");
    QTest::newRow("before: text before the first of two markers")
        << QStringLiteral("a|b|c\r\nx") << QStringLiteral("|") << true << QStringLiteral("x\r\na\r\n")
        << QStringLiteral("|");
    QTest::newRow("after: only the text between the first and the second marker")
        << QStringLiteral("a|b|c\r\nx") << QStringLiteral("|") << false << QStringLiteral("x\r\nb\r\n")
        << QStringLiteral("|");
    QTest::newRow("after: occurrences do not overlap") << QStringLiteral("aaaa\r\nxaaay") << QStringLiteral("aa")
                                                       << false << QStringLiteral("ay\r\n\r\n") << QStringLiteral("aa");
    QTest::newRow("a line without the marker stays, spaces and all")
        << QStringLiteral(" a b \r\nc|d") << QStringLiteral("|") << true << QStringLiteral("c\r\n a b \r\n")
        << QStringLiteral("|");
    QTest::newRow("lone breaks inside a line stay") << QStringLiteral("a\rb|c\r\nx") << QStringLiteral("|") << true
                                                    << QStringLiteral("x\r\na\rb\r\n") << QStringLiteral("|");
    QTest::newRow("marker comparison is case-sensitive") << QStringLiteral("ABC\r\nabc") << QStringLiteral("b") << true
                                                         << QStringLiteral("a\r\nABC\r\n") << QStringLiteral("b");
    QTest::newRow("start text of the box") << QStringLiteral("前特征符后\r\nx") << QStringLiteral("特征符") << false
                                           << QStringLiteral("x\r\n后\r\n") << QStringLiteral("特征符");
    QTest::newRow("marker is trimmed") << QStringLiteral("a | b\r\nc|d") << QStringLiteral("  |\r\n ") << false
                                       << QStringLiteral("d\r\n b\r\n") << QStringLiteral("|");
    QTest::newRow("a final line break gives an empty first line")
        << QStringLiteral("a|1\r\nb|2\r\n") << QStringLiteral("|") << true << QStringLiteral("\r\nb\r\na\r\n")
        << QStringLiteral("|");
    QTest::newRow("before: empty marker keeps every line whole")
        << QStringLiteral("ab\r\n\r\ncd") << QStringLiteral(" ") << true << QStringLiteral("cd\r\n\r\nab\r\n")
        << QString();
    QTest::newRow("after: empty marker keeps every line whole")
        << QStringLiteral("ab\r\n\r\ncd") << QString() << false << QStringLiteral("cd\r\n\r\nab\r\n") << QString();
}

void TestRewrites::keepPiece()
{
    QFETCH(QString, text);
    QFETCH(QString, marker);
    QFETCH(bool, before);
    QFETCH(QString, expected);
    QFETCH(QString, box);
    RecordingMeter meter;
    const BoxedOpResult r = KeepPiece(text, marker, before ? MarkerPiece::Before : MarkerPiece::After, meter);
    QVERIFY(!r.result.refused());
    QCOMPARE(r.result.text, expected);
    QCOMPARE(r.box, std::optional<QString>(box));
    QCOMPARE(meter.started, SplitLines(text).size());
    QCOMPARE(meter.steps, meter.started);
    QCOMPARE(meter.finished, 1);
}

void TestRewrites::takeChars_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("count");
    QTest::addColumn<bool>("left");
    QTest::addColumn<QString>("expected"); // or the refusal
    QTest::addColumn<QString>("box");
    QTest::newRow("start text 2 keeps the first two of longer lines")
        << QStringLiteral("abc\r\nab\r\na") << QStringLiteral("2") << true << QStringLiteral("a\r\nab\r\nab\r\n")
        << QStringLiteral("2");
    QTest::newRow("right keeps the last N") << QStringLiteral("abc\r\nxyz") << QStringLiteral("2") << false
                                            << QStringLiteral("yz\r\nbc\r\n") << QStringLiteral("2");
    QTest::newRow("0 empties every line, the count stays") << QStringLiteral("abc\r\nd") << QStringLiteral("0") << true
                                                           << QStringLiteral("\r\n\r\n") << QStringLiteral("0");
    QTest::newRow("2.5: three units cut to two") << QStringLiteral("abc\r\nxy") << QStringLiteral("2.5") << true
                                                 << QStringLiteral("xy\r\nab\r\n") << QStringLiteral("2.5");
    QTest::newRow("1.5: two units stay whole (ties to even), three cut to two")
        << QStringLiteral("ab\r\nxyz") << QStringLiteral("1.5") << false << QStringLiteral("yz\r\nab\r\n")
        << QStringLiteral("1.5");
    QTest::newRow("lines are trimmed before they are measured and cut")
        << QStringLiteral("  abcd  \r\n x ") << QStringLiteral("2") << false << QStringLiteral("x\r\ncd\r\n")
        << QStringLiteral("2");
    QTest::newRow("a lone break inside a line is removed first")
        << QStringLiteral("a\nbc\r\nx") << QStringLiteral("2") << true << QStringLiteral("x\r\nab\r\n")
        << QStringLiteral("2");
    QTest::newRow("count with spaces around is trimmed") << QStringLiteral("abc\r\nd") << QStringLiteral(" 1 \r\n")
                                                         << true << QStringLiteral("d\r\na\r\n") << QStringLiteral("1");
    QTest::newRow("negative count empties the lines") << QStringLiteral("abc\r\n\r\nd") << QStringLiteral("-1") << true
                                                      << QStringLiteral("\r\n\r\n\r\n") << QStringLiteral("-1");
    QTest::newRow("count beyond any length keeps lines whole")
        << QStringLiteral("abc\r\nd") << QStringLiteral("1e999") << false << QStringLiteral("d\r\nabc\r\n")
        << QStringLiteral("1e999");
    QTest::newRow("a cut may split a surrogate pair")
        << QStringLiteral("\U0001F600x\r\n") << QStringLiteral("1") << true
        << QStringLiteral("\r\n") + QChar(QChar::highSurrogate(0x1F600)) + QStringLiteral("\r\n")
        << QStringLiteral("1");
    QTest::newRow("no line break is refused first, even for no number")
        << QStringLiteral("abc") << QStringLiteral(" x\r\n") << true << NoBreak << QStringLiteral("x");
    QTest::newRow("a count that is no number is refused")
        << QStringLiteral("a\r\nb") << QStringLiteral("2a") << true << NoNumber << QStringLiteral("2a");
    QTest::newRow("an empty count is no number")
        << QStringLiteral("a\r\nb") << QStringLiteral("  ") << false << NoNumber << QString();
}

void TestRewrites::takeChars()
{
    QFETCH(QString, text);
    QFETCH(QString, count);
    QFETCH(bool, left);
    QFETCH(QString, expected);
    QFETCH(QString, box);
    RecordingMeter meter;
    const BoxedOpResult r = TakeChars(text, count, left ? LineEnd::Left : LineEnd::Right, meter);
    QCOMPARE(r.box, std::optional<QString>(box));
    if (expected == NoBreak || expected == NoNumber) {
        QCOMPARE(r.result.refusal, expected);
        QCOMPARE(meter.started, qsizetype{-1});
        return;
    }
    QVERIFY(!r.result.refused());
    QCOMPARE(r.result.text, expected);
    QCOMPARE(meter.started, SplitLines(text).size());
    QCOMPARE(meter.steps, meter.started);
    QCOMPARE(meter.finished, 1);
}

void TestRewrites::cutLength_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qsizetype>("cut");
    QTest::newRow("2.5 to even below") << 2.5 << qsizetype{2};
    QTest::newRow("3.5 to even above") << 3.5 << qsizetype{4};
    QTest::newRow("just below a half rounds down") << 2.4999 << qsizetype{2};
    QTest::newRow("0.5 to 0") << 0.5 << qsizetype{0};
    QTest::newRow("negative counts as 0") << -3.0 << qsizetype{0};
    QTest::newRow("beyond 32 bits is held at the largest") << 1e12 << qsizetype{2147483647};
    QTest::newRow("infinity is held at the largest")
        << std::numeric_limits<double>::infinity() << qsizetype{2147483647};
    QTest::newRow("not a number counts as 0") << std::nan("") << qsizetype{0};
}

void TestRewrites::cutLength()
{
    QFETCH(double, value);
    QFETCH(qsizetype, cut);
    QCOMPARE(CutLength(value), cut);
}

QTEST_APPLESS_MAIN(TestRewrites)
#include "testrewrites.moc"
