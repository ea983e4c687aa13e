#include "lineops/filters.h"
#include "tests/support/testhelpers.h"

#include <QTest>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

enum class Filter
{
    Shorter, // 去位长
    Longer,  // 去位短
    Contains // 去包含
};

LineOpResult run(Filter f, const QString& text, const QString& parameter, ProgressMeter& meter)
{
    if (f == Filter::Contains)
        return RemoveContaining(text, parameter, meter);
    return FilterByLength(
        text, parameter, f == Filter::Shorter ? LengthFilter::KeepShorter : LengthFilter::KeepLonger, meter);
}

} // namespace

class TestFilters final : public QObject
{
    Q_OBJECT

private slots:
    void filterChinese_data();
    void filterChinese();
    void removeEmptyLines_data();
    void removeEmptyLines();
    void removeEmptyLinesAgreesWithTwoReplacePasses();

    void lineFilters_data();
    void lineFilters();
    void lineFiltersGroupTheirResults();
    void containsAgreesWithLineByLineSearch_data();
    void containsAgreesWithLineByLineSearch();
};

void TestFilters::filterChinese_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("keepChinese");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("dropped");
    QTest::newRow("only U+4E00 to U+9FA5 count as Chinese")
        << u"\u4E00\r\n\u4DFF\r\n\u9FA5\r\n\u9FA6\r\n，\r\n\U00020000"_s << true << u"\u9FA5\r\n\u4E00\r\n"_s
        << u"\U00020000\r\n，\r\n\u9FA6\r\n\u4DFF\r\n"_s;
    QTest::newRow("去英文 sets the empty last line aside") << u"中\r\nB\r\n"_s << true << u"中\r\n"_s << u"\r\nB\r\n"_s;
    QTest::newRow("one line without a break is a line") << u"abc"_s << false << u"abc\r\n"_s << QString();
    QTest::newRow("empty text gives two empty texts") << QString() << true << QString() << QString();
}

void TestFilters::filterChinese()
{
    QFETCH(QString, text);
    QFETCH(bool, keepChinese);
    QFETCH(QString, kept);
    QFETCH(QString, dropped);
    const LineOpResult r = FilterChinese(text, keepChinese ? ChineseFilter::KeepChinese : ChineseFilter::KeepOther);
    QCOMPARE(r.text, kept);
    QCOMPARE(r.setAside.value_or(u"(none)"_s), dropped);
}

void TestFilters::removeEmptyLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // or the refusal
    QTest::newRow("no CR LF is refused") << u"a\n\nb"_s << u"没有发现空行符 去空行失败"_s;
    QTest::newRow("one break cut at each end") << u"\r\na\r\nb\r\n"_s << u"a\r\nb"_s;
    QTest::newRow("a line of one space is not empty") << u"a\r\n \r\nb"_s << u"a\r\n \r\nb"_s;
    QTest::newRow("one break alone becomes empty") << CRLF << QString();
    QTest::newRow("eleven breaks alone leave one") << CRLF.repeated(11) << CRLF;
    QTest::newRow("a long run at the start shrinks, then one more break goes")
        << CRLF.repeated(7) + u"a\r\nb"_s << u"\r\na\r\nb"_s;
    QTest::newRow("a lone CR before the last break stays") << u"a\r\nb\r\r\n"_s << u"a\r\nb\r"_s;
    QTest::newRow("lone LFs are no breaks") << u"a\n\n\r\nb"_s << u"a\n\n\r\nb"_s;
    // Two single passes (three breaks to one, then two to one) are the documented behaviour:
    // long runs are reduced, not always removed.
    const int left[] = {0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 2, 1, 2, 2, 2};
    for (int k = 0; k < 15; ++k) {
        QTest::addRow("%d empty lines leave %d", k, left[k])
            << u"a"_s + CRLF.repeated(k + 1) + u"b"_s << u"a"_s + CRLF.repeated(left[k] + 1) + u"b"_s;
    }
}

void TestFilters::removeEmptyLines()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const LineOpResult r = RemoveEmptyLines(text);
    QCOMPARE(r.refused() ? r.refusal : r.text, expected);
}

void TestFilters::removeEmptyLinesAgreesWithTwoReplacePasses()
{
    // The command is defined by two replace passes; it shrinks each run of breaks in one walk.
    // The letters at both ends keep the end trimming out of the comparison.
    QRandomGenerator rng(11);
    for (int round = 0; round < 3000; ++round) {
        const QString text = u"a"_s + randomText(rng, u"\r\na中"_s, rng.bounded(round % 10 ? 30 : 300)) + u"a"_s;
        const QString twoPasses = ReplaceAll(ReplaceAll(text, u"\r\n\r\n\r\n", CRLF), u"\r\n\r\n", CRLF);
        const LineOpResult r = RemoveEmptyLines(text);
        QCOMPARE(r.refused() ? QString() : r.text, twoPasses.contains(CRLF) ? twoPasses : QString());
    }
}

void TestFilters::lineFilters_data()
{
    QTest::addColumn<Filter>("filter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QString>("kept"); // or the refusal
    QTest::addColumn<QString>("setAside");
    const QString noBreak = u"数据不足，没发现换行符"_s;
    const QString none = u"(none)"_s;
    // Refusals, in their order: the first that applies wins, and nothing runs.
    QTest::newRow("length: no CR LF comes before a bad number")
        << Filter::Longer << u"abc"_s << u"x"_s << noBreak << none;
    QTest::newRow("length: a lone LF is no break") << Filter::Shorter << u"a\nb"_s << u"3"_s << noBreak << none;
    QTest::newRow("length: letters are no number")
        << Filter::Shorter << u"a\r\nb"_s << u"ten"_s << u"您输入的不是数字"_s << none;
    QTest::newRow("length: a fraction is not whole")
        << Filter::Longer << u"a\r\nb"_s << u"7.5"_s << u"非整数"_s << none;
    QTest::newRow("contains: three lines are too few")
        << Filter::Contains << u"a\r\nb\r\nc"_s << u"a"_s << u"数据不足，人工去除吧"_s << none;
    // Lengths compare strictly: a line of exactly N is set aside by both.
    QTest::newRow("N with spaces, a zero fraction or an exponent is the same N")
        << Filter::Longer << u"abc\r\nde\r\nabcdef"_s << u" 0.3e1 "_s << u"abcdef\r\n\r\n"_s << u"de\r\nabc\r\n\r\n"_s;
    QTest::newRow("N of 0 sets every line aside: quan is a lone CR LF")
        << Filter::Shorter << u"a\r\nb"_s << u"0"_s << CRLF << u"b\r\na\r\n\r\n"_s;
    QTest::newRow("a negative N with 去位短 keeps every line")
        << Filter::Longer << u"a\r\nb"_s << u"-1"_s << u"b\r\na\r\n\r\n"_s << CRLF;
    QTest::newRow("an N too big for any integer keeps every line")
        << Filter::Shorter << u"a\r\nb"_s << u"1e400"_s << u"b\r\na\r\n\r\n"_s << CRLF;
    QTest::newRow("a character above U+FFFF counts 2")
        << Filter::Shorter << u"\U0001F600\r\nx"_s << u"2"_s << u"x\r\n\r\n"_s << u"\U0001F600\r\n\r\n"_s;
    QTest::newRow("spaces in lines are not trimmed")
        << Filter::Shorter << u" a \r\nab"_s << u"3"_s << u"ab\r\n\r\n"_s << u" a \r\n\r\n"_s;
    // Removed lines are front-joined without the group's extra CR LF.
    QTest::newRow("去包含: nothing removed leaves an empty set-aside text")
        << Filter::Contains << u"a\r\nb\r\nc\r\nd"_s << u"A"_s << u"d\r\nc\r\nb\r\na\r\n\r\n"_s << QString();
    QTest::newRow("去包含: a trailing break makes the fourth line")
        << Filter::Contains << u"a\r\nb\r\nc\r\n"_s << u"b"_s << u"\r\nc\r\na\r\n\r\n"_s << u"b\r\n"_s;
}

void TestFilters::lineFilters()
{
    QFETCH(Filter, filter);
    QFETCH(QString, text);
    QFETCH(QString, parameter);
    QFETCH(QString, kept);
    QFETCH(QString, setAside);
    RecordingMeter meter;
    const LineOpResult r = run(filter, text, parameter, meter);
    QCOMPARE(r.refused() ? r.refusal : r.text, kept);
    QCOMPARE(r.setAside.value_or(u"(none)"_s), setAside);
    QCOMPARE(meter.started, r.refused() ? -1 : SplitLines(text).size());
    QCOMPARE(meter.steps, r.refused() ? 0 : meter.started);
    QCOMPARE(meter.finished, r.refused() ? 0 : 1);
}

void TestFilters::lineFiltersGroupTheirResults()
{
    // 4002 short lines ("s1".., at most 5 units) and as many long ones ("long-line-1"..),
    // interleaved: each collection fills a first group, a later one and a third.
    const int pairs = 4002;
    const QStringList shortLines = numberedLines(pairs, u"s"_s);
    const QStringList longLines = numberedLines(pairs, u"long-line-"_s);
    QStringList input;
    for (int i = 0; i < pairs; ++i)
        input << shortLines[i] << longLines[i];
    const QString text = input.join(CRLF);
    NullProgressMeter meter;
    const LineOpResult shorter = run(Filter::Shorter, text, u"10"_s, meter);
    QCOMPARE(shorter.text, literalGroupedJoin(shortLines));
    QCOMPARE(*shorter.setAside, literalGroupedJoin(longLines));
    const LineOpResult longer = run(Filter::Longer, text, u"10"_s, meter);
    QCOMPARE(longer.text, literalGroupedJoin(longLines));
    QCOMPARE(*longer.setAside, literalGroupedJoin(shortLines));
    const LineOpResult contains = run(Filter::Contains, text, u"long"_s, meter);
    QCOMPARE(contains.text, literalGroupedJoin(shortLines));
    QCOMPARE(*contains.setAside, literalFrontJoin(longLines));
}

void TestFilters::containsAgreesWithLineByLineSearch_data()
{
    QTest::addColumn<QString>("alphabet");
    QTest::addColumn<int>("keywordLength");
    QTest::newRow("two-unit keywords, repeated letters") << u"aab"_s << 2;
    QTest::newRow("Chinese keywords") << u"手机价格"_s << 2;
    QTest::newRow("longer keywords over few letters") << u"ab"_s << 4;
    QTest::newRow("lone CR and LF in lines and keywords") << u"a\rb\n"_s << 2;
}

void TestFilters::containsAgreesWithLineByLineSearch()
{
    QFETCH(QString, alphabet);
    QFETCH(int, keywordLength);
    QRandomGenerator rng(7);
    for (int round = 0; round < 200; ++round) {
        QStringList lines;
        for (int i = 4 + rng.bounded(30); i > 0; --i)
            lines.append(randomText(rng, alphabet, rng.bounded(9)));
        const QString keyword = randomText(rng, alphabet, 1 + rng.bounded(keywordLength));
        const QString text = lines.join(CRLF);
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
