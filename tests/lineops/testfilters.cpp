#include "lineops/filters.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using namespace lumbrel;

namespace {

const QString CRLF = QStringLiteral("\r\n");

QString joined(const QStringList& lines)
{
    return lines.join(CRLF);
}

// Grouped front-joining exactly as the commands describe it: the line counter, the group
// closed when the counter passes 2000, each join a prepend. Quadratic, small inputs only.
QString literalGroupedJoin(const QStringList& lines)
{
    QString built;
    QString group;
    int count = 0;
    for (const QString& line : lines) {
        if (++count > 2000) {
            built = group + CRLF + built;
            group.clear();
            count = 0;
        }
        group = line + CRLF + group;
    }
    return group + CRLF + built;
}

QString literalFrontJoin(const QStringList& lines)
{
    QString built;
    for (const QString& line : lines)
        built = line + CRLF + built;
    return built;
}

QStringList numberedLines(int n, const QString& stem)
{
    QStringList lines;
    for (int i = 1; i <= n; ++i)
        lines.append(stem + QString::number(i));
    return lines;
}

// The non-empty lines of the two results together, sorted: every input line must be in
// exactly one of them.
QStringList nonEmptyLinesOf(const LineOpResult& r)
{
    QStringList all;
    for (const QString& text : {r.text, r.setAside.value_or(QString())}) {
        for (QStringView line : SplitLines(text)) {
            if (!line.isEmpty())
                all.append(line.toString());
        }
    }
    all.sort();
    return all;
}

class RecordingMeter final : public ProgressMeter
{
public:
    void start(qsizetype max) override
    {
        calls.append(QStringLiteral("start %1").arg(max));
    }
    void step() override
    {
        ++steps;
    }
    void finish() override
    {
        calls.append(QStringLiteral("finish after %1").arg(steps));
    }
    QStringList calls;
    int steps = 0;
};

} // namespace

class TestFilters final : public QObject
{
    Q_OBJECT

private slots:
    void includeChinese_data();
    void includeChinese();

    void removeEmptyLines_data();
    void removeEmptyLines();
    void removeEmptyLinesRunTable_data();
    void removeEmptyLinesRunTable();

    void filterChinese_data();
    void filterChinese();

    void lengthRefusalsInOrder_data();
    void lengthRefusalsInOrder();
    void filterByLength_data();
    void filterByLength();
    void lengthGroupsBothCollections_data();
    void lengthGroupsBothCollections();
    void lengthMeterStepsEveryLine();

    void containsRefusalsInOrder_data();
    void containsRefusalsInOrder();
    void removeContaining_data();
    void removeContaining();
    void containsGroupsKeptLinesOnly_data();
    void containsGroupsKeptLinesOnly();
    void containsAgreesWithLineByLineSearch_data();
    void containsAgreesWithLineByLineSearch();
};

void TestFilters::includeChinese_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("chinese");
    QTest::newRow("U+4E2D") << QStringLiteral("a中b") << true;
    QTest::newRow("U+56FD") << QStringLiteral("国") << true;
    QTest::newRow("first of the range, U+4E00") << QString(QChar(0x4E00)) << true;
    QTest::newRow("last of the range, U+9FA5") << QString(QChar(0x9FA5)) << true;
    QTest::newRow("just below, U+4DFF") << QString(QChar(0x4DFF)) << false;
    QTest::newRow("just above, U+9FA6") << QString(QChar(0x9FA6)) << false;
    QTest::newRow("full-width comma") << QStringLiteral("a，b") << false;
    QTest::newRow("ideographic full stop") << QStringLiteral("。") << false;
    QTest::newRow("extension B ideograph (surrogate pair)") << QStringLiteral("\U00020000") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestFilters::includeChinese()
{
    QFETCH(QString, text);
    QFETCH(bool, chinese);
    QCOMPARE(IncludeChinese(text), chinese);
}

void TestFilters::removeEmptyLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one empty line between two") << QStringLiteral("a\r\n\r\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("four empty lines leave one")
        << QStringLiteral("a\r\n\r\n\r\n\r\n\r\nb") << QStringLiteral("a\r\n\r\nb");
    QTest::newRow("five empty lines leave none")
        << QStringLiteral("a\r\n\r\n\r\n\r\n\r\n\r\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("one break cut at each end") << QStringLiteral("\r\na\r\nb\r\n") << QStringLiteral("a\r\nb");
    QTest::newRow("nothing to remove") << QStringLiteral("a\r\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("a line of one space is not empty") << QStringLiteral("a\r\n \r\nb") << QStringLiteral("a\r\n \r\nb");
    QTest::newRow("a line of one tab is not empty") << QStringLiteral("a\r\n\t\r\nb") << QStringLiteral("a\r\n\t\r\nb");
    QTest::newRow("one break alone becomes empty") << CRLF << QString();
    QTest::newRow("ten breaks alone become empty") << CRLF.repeated(10) << QString();
    QTest::newRow("eleven breaks alone leave one") << CRLF.repeated(11) << CRLF;
    QTest::newRow("a long run at the start shrinks, then one more break goes")
        << CRLF.repeated(7) + QStringLiteral("a\r\nb") << QStringLiteral("\r\na\r\nb");
    QTest::newRow("a lone CR before the last break stays")
        << QStringLiteral("a\r\nb\r\r\n") << QStringLiteral("a\r\nb\r");
    QTest::newRow("lone LFs are no breaks") << QStringLiteral("a\n\n\r\nb") << QStringLiteral("a\n\n\r\nb");
}

void TestFilters::removeEmptyLines()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const LineOpResult r = RemoveEmptyLines(text);
    QVERIFY(!r.refused());
    QCOMPARE(r.text, expected);
}

void TestFilters::removeEmptyLinesRunTable_data()
{
    QTest::addColumn<int>("emptyLines");
    QTest::addColumn<int>("left");
    // Two single passes (three breaks to one, then two to one) are the documented behaviour:
    // long runs are reduced, not always removed.
    const int left[] = {0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 2, 1, 2, 2, 2};
    for (int k = 0; k < 15; ++k)
        QTest::addRow("%d empty lines leave %d", k, left[k]) << k << left[k];
}

void TestFilters::removeEmptyLinesRunTable()
{
    QFETCH(int, emptyLines);
    QFETCH(int, left);
    const QString text = QStringLiteral("a") + CRLF.repeated(emptyLines + 1) + QStringLiteral("b");
    QCOMPARE(RemoveEmptyLines(text).text, QStringLiteral("a") + CRLF.repeated(left + 1) + QStringLiteral("b"));
}

void TestFilters::filterChinese_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("keepChinese");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("dropped");
    const QString mixed = QStringLiteral("中A\r\nB\r\n中C");
    QTest::newRow("去英文 keeps Chinese lines, reversed")
        << mixed << true << QStringLiteral("中C\r\n中A\r\n") << QStringLiteral("B\r\n");
    QTest::newRow("去汉字 keeps the other lines, reversed")
        << mixed << false << QStringLiteral("B\r\n") << QStringLiteral("中C\r\n中A\r\n");
    QTest::newRow("去英文 sets the empty last line aside")
        << QStringLiteral("中\r\nB\r\n") << true << QStringLiteral("中\r\n") << QStringLiteral("\r\nB\r\n");
    QTest::newRow("去汉字 keeps the empty last line, which comes out first")
        << QStringLiteral("中\r\nB\r\n") << false << QStringLiteral("\r\nB\r\n") << QStringLiteral("中\r\n");
    QTest::newRow("empty text gives two empty texts") << QString() << true << QString() << QString();
    QTest::newRow("one line without a break is a line")
        << QStringLiteral("abc") << false << QStringLiteral("abc\r\n") << QString();
}

void TestFilters::filterChinese()
{
    QFETCH(QString, text);
    QFETCH(bool, keepChinese);
    QFETCH(QString, kept);
    QFETCH(QString, dropped);
    const LineOpResult r = FilterChinese(text, keepChinese ? ChineseFilter::KeepChinese : ChineseFilter::KeepOther);
    QVERIFY(!r.refused());
    QCOMPARE(r.text, kept);
    QCOMPARE(r.setAside.value_or(QStringLiteral("(none)")), dropped);
}

void TestFilters::lengthRefusalsInOrder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QString>("refusal");
    const QString noBreak = QStringLiteral("数据不足，没发现换行符");
    const QString noNumber = QStringLiteral("您输入的不是数字");
    QTest::newRow("no CR LF comes before a bad number") << QStringLiteral("abc") << QStringLiteral("x") << noBreak;
    QTest::newRow("no CR LF even with a good number") << QStringLiteral("a\nb") << QStringLiteral("3") << noBreak;
    QTest::newRow("empty text") << QString() << QStringLiteral("3") << noBreak;
    QTest::newRow("empty limit is no number") << QStringLiteral("a\r\nb") << QString() << noNumber;
    QTest::newRow("letters are no number") << QStringLiteral("a\r\nb") << QStringLiteral("ten") << noNumber;
    QTest::newRow("a fraction is refused as not whole")
        << QStringLiteral("a\r\nb") << QStringLiteral("7.5") << QStringLiteral("非整数");
    QTest::newRow("a negative fraction too")
        << QStringLiteral("a\r\nb") << QStringLiteral("-2.5") << QStringLiteral("非整数");
}

void TestFilters::lengthRefusalsInOrder()
{
    QFETCH(QString, text);
    QFETCH(QString, limit);
    QFETCH(QString, refusal);
    for (LengthFilter mode : {LengthFilter::KeepShorter, LengthFilter::KeepLonger}) {
        RecordingMeter meter;
        QCOMPARE(FilterByLength(text, limit, mode, meter).refusal, refusal);
        QVERIFY(meter.calls.isEmpty());
    }
}

void TestFilters::filterByLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<bool>("keepShorter");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("dropped");
    const QString sample = QStringLiteral("abc\r\nde\r\nabcdef");
    QTest::newRow("去位长 keeps lines shorter than N")
        << sample << QStringLiteral("3") << true << QStringLiteral("de\r\n\r\n")
        << QStringLiteral("abcdef\r\nabc\r\n\r\n");
    QTest::newRow("去位短 keeps lines longer than N")
        << sample << QStringLiteral("3") << false << QStringLiteral("abcdef\r\n\r\n")
        << QStringLiteral("de\r\nabc\r\n\r\n");
    QTest::newRow("N with spaces, a zero fraction or an exponent is the same N")
        << sample << QStringLiteral(" 0.3e1 ") << true << QStringLiteral("de\r\n\r\n")
        << QStringLiteral("abcdef\r\nabc\r\n\r\n");
    QTest::newRow("a line of exactly N is set aside by 去位长")
        << QStringLiteral("abc\r\nab") << QStringLiteral("3") << true << QStringLiteral("ab\r\n\r\n")
        << QStringLiteral("abc\r\n\r\n");
    QTest::newRow("a line of exactly N is set aside by 去位短")
        << QStringLiteral("abc\r\nabcd") << QStringLiteral("3") << false << QStringLiteral("abcd\r\n\r\n")
        << QStringLiteral("abc\r\n\r\n");
    QTest::newRow("the empty last line is kept by 去位长 with N of 1")
        << QStringLiteral("ab\r\n") << QStringLiteral("1") << true << QStringLiteral("\r\n\r\n")
        << QStringLiteral("ab\r\n\r\n");
    QTest::newRow("the empty last line is set aside by 去位短 with N of 0")
        << QStringLiteral("ab\r\n") << QStringLiteral("0") << false << QStringLiteral("ab\r\n\r\n")
        << QStringLiteral("\r\n\r\n");
    QTest::newRow("N of 0 sets every line aside: quan is a lone CR LF")
        << QStringLiteral("a\r\nb") << QStringLiteral("0") << true << CRLF << QStringLiteral("b\r\na\r\n\r\n");
    QTest::newRow("a negative N with 去位短 keeps every line: linshi is a lone CR LF")
        << QStringLiteral("a\r\nb") << QStringLiteral("-1") << false << QStringLiteral("b\r\na\r\n\r\n") << CRLF;
    QTest::newRow("a character above U+FFFF counts 2")
        << QStringLiteral("\U0001F600\r\nx") << QStringLiteral("2") << true << QStringLiteral("x\r\n\r\n")
        << QStringLiteral("\U0001F600\r\n\r\n");
    QTest::newRow("a lone CR counts 1") << QStringLiteral("a\r\r\nab") << QStringLiteral("2") << false << CRLF
                                        << QStringLiteral("ab\r\na\r\r\n\r\n");
    QTest::newRow("spaces are not trimmed") << QStringLiteral(" a \r\nab") << QStringLiteral("3") << true
                                            << QStringLiteral("ab\r\n\r\n") << QStringLiteral(" a \r\n\r\n");
    QTest::newRow("an N too big for any integer keeps every line")
        << QStringLiteral("a\r\nb") << QStringLiteral("1e400") << true << QStringLiteral("b\r\na\r\n\r\n") << CRLF;
}

void TestFilters::filterByLength()
{
    QFETCH(QString, text);
    QFETCH(QString, limit);
    QFETCH(bool, keepShorter);
    QFETCH(QString, kept);
    QFETCH(QString, dropped);
    NullProgressMeter meter;
    const LineOpResult r =
        FilterByLength(text, limit, keepShorter ? LengthFilter::KeepShorter : LengthFilter::KeepLonger, meter);
    QCOMPARE(r.refusal, QString());
    QCOMPARE(r.text, kept);
    QCOMPARE(r.setAside.value_or(QStringLiteral("(none)")), dropped);
}

void TestFilters::lengthGroupsBothCollections_data()
{
    QTest::addColumn<int>("lines");
    // Group boundaries: the first group holds 2000 lines, every later full one 2001.
    for (int n : {1999, 2000, 2001, 4001, 4002})
        QTest::addRow("%d lines", n) << n;
}

void TestFilters::lengthGroupsBothCollections()
{
    QFETCH(int, lines);
    // Short lines ("s1".."sN", at most 6 units) and long ones ("long-line-1".., 11+ units),
    // interleaved in pairs so both collections cross the same boundaries.
    const QStringList shortLines = numberedLines(lines, QStringLiteral("s"));
    const QStringList longLines = numberedLines(lines, QStringLiteral("long-line-"));
    QStringList input;
    for (int i = 0; i < lines; ++i)
        input << shortLines[i] << longLines[i];
    NullProgressMeter meter;
    const LineOpResult shorter = FilterByLength(joined(input), u"10", LengthFilter::KeepShorter, meter);
    QCOMPARE(shorter.text, literalGroupedJoin(shortLines));
    QCOMPARE(*shorter.setAside, literalGroupedJoin(longLines));
    const LineOpResult longer = FilterByLength(joined(input), u"10", LengthFilter::KeepLonger, meter);
    QCOMPARE(longer.text, literalGroupedJoin(longLines));
    QCOMPARE(*longer.setAside, literalGroupedJoin(shortLines));
    input.sort();
    QCOMPARE(nonEmptyLinesOf(shorter), input);
    QCOMPARE(nonEmptyLinesOf(longer), input);
}

void TestFilters::lengthMeterStepsEveryLine()
{
    RecordingMeter meter;
    FilterByLength(u"a\r\nbb\r\nccc\r\n", u"2", LengthFilter::KeepShorter, meter);
    QCOMPARE(meter.calls, (QStringList{QStringLiteral("start 4"), QStringLiteral("finish after 4")}));
}

void TestFilters::containsRefusalsInOrder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("refusal");
    const QString tooFew = QStringLiteral("数据不足，人工去除吧");
    QTest::newRow("empty keyword comes first, even with an empty text")
        << QString() << QString() << QStringLiteral("请输入关键词");
    QTest::newRow("empty keyword with enough lines")
        << QStringLiteral("a\r\nb\r\nc\r\nd") << QString() << QStringLiteral("请输入关键词");
    QTest::newRow("empty text") << QString() << QStringLiteral("a") << tooFew;
    QTest::newRow("one line") << QStringLiteral("abc") << QStringLiteral("a") << tooFew;
    QTest::newRow("three lines") << QStringLiteral("a\r\nb\r\nc") << QStringLiteral("a") << tooFew;
    QTest::newRow("lone LFs make no lines") << QStringLiteral("a\nb\nc\nd") << QStringLiteral("a") << tooFew;
}

void TestFilters::containsRefusalsInOrder()
{
    QFETCH(QString, text);
    QFETCH(QString, keyword);
    QFETCH(QString, refusal);
    RecordingMeter meter;
    QCOMPARE(RemoveContaining(text, keyword, meter).refusal, refusal);
    QVERIFY(meter.calls.isEmpty());
}

void TestFilters::removeContaining_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("removed");
    const QString sample = QStringLiteral("a1\r\nb2\r\na3\r\nc4");
    QTest::newRow("lines holding the keyword go, both results reversed")
        << sample << QStringLiteral("a") << QStringLiteral("c4\r\nb2\r\n\r\n") << QStringLiteral("a3\r\na1\r\n");
    QTest::newRow("case-sensitive") << sample << QStringLiteral("A") << QStringLiteral("c4\r\na3\r\nb2\r\na1\r\n\r\n")
                                    << QString();
    QTest::newRow("a space keyword removes lines holding a space")
        << QStringLiteral("a b\r\nab\r\n b\r\nx") << QStringLiteral(" ") << QStringLiteral("x\r\nab\r\n\r\n")
        << QStringLiteral(" b\r\na b\r\n");
    QTest::newRow("four lines when the fourth is the empty one after a trailing break")
        << QStringLiteral("a\r\nb\r\nc\r\n") << QStringLiteral("b") << QStringLiteral("\r\nc\r\na\r\n\r\n")
        << QStringLiteral("b\r\n");
    QTest::newRow("keyword at the very start and the very end of the text")
        << QStringLiteral("kx\r\ny\r\nz\r\nxk") << QStringLiteral("k") << QStringLiteral("z\r\ny\r\n\r\n")
        << QStringLiteral("xk\r\nkx\r\n");
    QTest::newRow("several hits in one line remove it once")
        << QStringLiteral("kkk\r\na\r\nb\r\nc") << QStringLiteral("kk") << QStringLiteral("c\r\nb\r\na\r\n\r\n")
        << QStringLiteral("kkk\r\n");
    QTest::newRow("a keyword never matches across a line break")
        << QStringLiteral("ab\r\ncd\r\ne\r\nf") << QStringLiteral("bc") << QStringLiteral("f\r\ne\r\ncd\r\nab\r\n\r\n")
        << QString();
    QTest::newRow("a keyword ending in CR matches a lone CR, not the line break")
        << QStringLiteral("a\r\na\r\r\nb\r\nc") << QStringLiteral("a\r") << QStringLiteral("c\r\nb\r\na\r\n\r\n")
        << QStringLiteral("a\r\r\n");
    QTest::newRow("a keyword holding CR LF matches nothing")
        << QStringLiteral("a\r\nb\r\nc\r\nd") << QStringLiteral("a\r\nb") << QStringLiteral("d\r\nc\r\nb\r\na\r\n\r\n")
        << QString();
    QTest::newRow("a keyword longer than every line")
        << QStringLiteral("ab\r\nab\r\nab\r\nab") << QStringLiteral("abab")
        << QStringLiteral("ab\r\nab\r\nab\r\nab\r\n\r\n") << QString();
    QTest::newRow("surrogate halves match by code unit")
        << QStringLiteral("\U0001F600\r\nx\r\ny\r\nz") << QString(QChar(0xDE00))
        << QStringLiteral("z\r\ny\r\nx\r\n\r\n") << QStringLiteral("\U0001F600\r\n");
    QTest::newRow("empty lines are kept") << QStringLiteral("\r\n\r\nk\r\n") << QStringLiteral("k")
                                          << QStringLiteral("\r\n\r\n\r\n\r\n") << QStringLiteral("k\r\n");
}

void TestFilters::removeContaining()
{
    QFETCH(QString, text);
    QFETCH(QString, keyword);
    QFETCH(QString, kept);
    QFETCH(QString, removed);
    RecordingMeter meter;
    const LineOpResult r = RemoveContaining(text, keyword, meter);
    QCOMPARE(r.refusal, QString());
    QCOMPARE(r.text, kept);
    QCOMPARE(r.setAside.value_or(QStringLiteral("(none)")), removed);
    const auto lines = SplitLines(text).size();
    QCOMPARE(meter.calls,
             (QStringList{QStringLiteral("start %1").arg(lines), QStringLiteral("finish after %1").arg(lines)}));
}

void TestFilters::containsGroupsKeptLinesOnly_data()
{
    QTest::addColumn<int>("lines");
    for (int n : {2000, 2001, 4001, 4002})
        QTest::addRow("%d kept and %d removed lines", n, n) << n;
}

void TestFilters::containsGroupsKeptLinesOnly()
{
    QFETCH(int, lines);
    const QStringList keptLines = numberedLines(lines, QStringLiteral("keep"));
    const QStringList removedLines = numberedLines(lines, QStringLiteral("drop"));
    QStringList input;
    for (int i = 0; i < lines; ++i)
        input << removedLines[i] << keptLines[i];
    NullProgressMeter meter;
    const LineOpResult r = RemoveContaining(joined(input), u"dr", meter);
    QCOMPARE(r.text, literalGroupedJoin(keptLines));
    // The removed lines have no groups.
    QCOMPARE(*r.setAside, literalFrontJoin(removedLines));
    input.sort();
    QCOMPARE(nonEmptyLinesOf(r), input);
}

void TestFilters::containsAgreesWithLineByLineSearch_data()
{
    QTest::addColumn<QString>("alphabet");
    QTest::addColumn<int>("keywordLength");
    QTest::newRow("one-unit keywords") << QStringLiteral("abc") << 1;
    QTest::newRow("two-unit keywords, repeated letters") << QStringLiteral("aab") << 2;
    QTest::newRow("Chinese keywords") << QStringLiteral("手机价格") << 2;
    QTest::newRow("longer keywords over few letters") << QStringLiteral("ab") << 4;
    QTest::newRow("lone CR and LF in lines and keywords") << QStringLiteral("a\rb\n") << 2;
}

void TestFilters::containsAgreesWithLineByLineSearch()
{
    QFETCH(QString, alphabet);
    QFETCH(int, keywordLength);
    QRandomGenerator rng(7);
    const auto randomText = [&](int length) {
        QString s;
        for (int k = 0; k < length; ++k)
            s.append(alphabet[rng.bounded(static_cast<int>(alphabet.size()))]);
        return s;
    };
    for (int round = 0; round < 200; ++round) {
        QStringList lines;
        const int count = 4 + rng.bounded(30);
        for (int i = 0; i < count; ++i)
            lines.append(randomText(rng.bounded(9)));
        const QString keyword = randomText(1 + rng.bounded(keywordLength));
        const QString text = joined(lines);
        QStringList kept;
        QStringList removed;
        for (QStringView line : SplitLines(text))
            (line.contains(keyword) ? removed : kept).append(line.toString());
        NullProgressMeter meter;
        const LineOpResult r = RemoveContaining(text, keyword, meter);
        QCOMPARE(r.text, literalGroupedJoin(kept));
        QCOMPARE(*r.setAside, literalFrontJoin(removed));
    }
}

QTEST_APPLESS_MAIN(TestFilters)
#include "testfilters.moc"
