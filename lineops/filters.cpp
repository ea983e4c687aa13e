#include "lineops/filters.h"

#include "lineops/number.h"
#include "lineops/textsearch.h"

#include <algorithm>

namespace lumbrel {

namespace {

constexpr char16_t FirstChinese = 0x4E00;
constexpr char16_t LastChinese = 0x9FA5;

// Partitions the lines by `passes(contains)`, told for each line whether it contains
// `keyword`. A keyword without CR or LF can never reach past its line, so one search through
// the whole text serves every line; one holding CR or LF might match across a line break, so
// each line is then searched on its own. Either way O(text + keyword): the search moves
// forward from hit to hit, a line shorter than the keyword costs O(1).
template <typename Passes> LinePartition partitionByKeyword(QStringView text, QStringView keyword, Passes passes)
{
    const TextSearch finder(keyword);
    if (keyword.contains(u'\r') || keyword.contains(u'\n'))
        return PartitionLines(text, [&](QStringView line) { return passes(finder.indexIn(line, 0) >= 0); });
    const QChar* base = text.data();
    const auto nextHit = [&](qsizetype from) {
        const qsizetype p = finder.indexIn(text, from);
        return p < 0 ? text.size() : p;
    };
    qsizetype hit = nextHit(0);
    return PartitionLines(text, [&](QStringView line) {
        const qsizetype start = line.data() - base;
        if (hit < start)
            hit = nextHit(start);
        return passes(hit < start + line.size());
    });
}

// Both passes of 去空行 for each maximal run of breaks: CR LF pairs never overlap and no
// replacement joins two runs of them, so each run of m breaks shrinks on its own, the first
// pass leaving r = m / 3 + m % 3 of them and the second r / 2 + r % 2. Calls
// `onRun(start, breaks, kept)` for each run that shrinks (two breaks or more), in order.
template <typename OnRun> void forEachShrinkingRun(QStringView text, OnRun onRun)
{
    qsizetype runStart = 0;
    qsizetype run = 0; // breaks in the current run
    const auto endRun = [&] {
        if (run >= 2) {
            const qsizetype afterFirst = run / 3 + run % 3;
            onRun(runStart, run, afterFirst / 2 + afterFirst % 2);
        }
        run = 0;
    };
    ForEachLine(text, [&](QStringView line) {
        const qsizetype start = line.data() - text.data();
        // Every line but the first comes after a break.
        if (start > 0 && run++ == 0)
            runStart = start - 2;
        if (!line.isEmpty())
            endRun();
    });
    endRun();
}

// The text with every run of breaks shrunk, in two walks: one for the size, one to copy the
// text between the runs that shrink.
QString collapseBreakRuns(QStringView text)
{
    qsizetype size = text.size();
    forEachShrinkingRun(text, [&](qsizetype, qsizetype breaks, qsizetype kept) { size -= 2 * (breaks - kept); });
    QString out(size, Qt::Uninitialized);
    auto* o = reinterpret_cast<char16_t*>(out.data());
    const auto* s = reinterpret_cast<const char16_t*>(text.utf16());
    qsizetype copied = 0; // the text before this is in `out`
    forEachShrinkingRun(text, [&](qsizetype start, qsizetype breaks, qsizetype kept) {
        o = std::copy(s + copied, s + start, o);
        for (qsizetype k = 0; k < kept; ++k) {
            *o++ = u'\r';
            *o++ = u'\n';
        }
        copied = start + 2 * breaks;
    });
    std::copy(s + copied, s + text.size(), o);
    return out;
}

// The kept lines become the working text, the others the set-aside text.
LineOpResult partitionResult(QStringView text, const LinePartition& lines, JoinStyle kept, JoinStyle setAside)
{
    JoinedPartition joined = JoinPartition(text, lines, kept, setAside);
    LineOpResult result;
    result.text = std::move(joined.passed);
    result.setAside = std::move(joined.failed);
    return result;
}

} // namespace

bool HasChineseCharacter(QStringView text)
{
    for (QChar c : text) {
        if (static_cast<char16_t>(c.unicode() - FirstChinese) <= LastChinese - FirstChinese)
            return true;
    }
    return false;
}

LineOpResult RemoveEmptyLines(QStringView text)
{
    QString collapsed = collapseBreakRuns(text);
    if (!collapsed.contains(CrLf))
        return LineOpResult::refuse(QStringLiteral("没有发现空行符 去空行失败"));
    LineOpResult result;
    result.text = std::move(collapsed);
    // The ends are cut in place: the collapsed text is this function's own copy.
    const bool endsWithBreak = result.text.endsWith(CrLf);
    if (result.text.startsWith(CrLf))
        result.text.remove(0, CrLf.size());
    if (endsWithBreak) {
        const qsizetype last = result.text.lastIndexOf(CrLf);
        result.text.truncate(std::max<qsizetype>(last, 0));
    }
    return result;
}

LineOpResult FilterChinese(QStringView text, ChineseFilter mode)
{
    const bool keepChinese = mode == ChineseFilter::KeepChinese;
    const LinePartition lines =
        PartitionLines(text, [&](QStringView line) { return HasChineseCharacter(line) == keepChinese; });
    return partitionResult(text, lines, JoinStyle::Front, JoinStyle::Front);
}

LineOpResult FilterByLength(QStringView text, QStringView limit, LengthFilter mode, ProgressMeter& meter)
{
    if (!text.contains(CrLf))
        return LineOpResult::refuse(QStringLiteral("数据不足，没发现换行符"));
    const std::optional<double> n = ParseNumber(limit);
    if (!n)
        return LineOpResult::refuse(QStringLiteral("您输入的不是数字"));
    if (!IsWholeNumber(*n))
        return LineOpResult::refuse(QStringLiteral("非整数"));

    meter.start(CountSplitLines(text));
    // Lengths compare as doubles: exact for any real length, and an N beyond every integer
    // type (1e400 reads as infinity) needs no conversion.
    const bool keepShorter = mode == LengthFilter::KeepShorter;
    const LinePartition lines = PartitionLines(text, [&](QStringView line) {
        const auto length = static_cast<double>(line.size());
        meter.step();
        return keepShorter ? length < *n : length > *n;
    });
    meter.finish();
    return partitionResult(text, lines, JoinStyle::GroupedFront, JoinStyle::GroupedFront);
}

LineOpResult RemoveContaining(QStringView text, QStringView keyword, ProgressMeter& meter)
{
    if (keyword.isEmpty())
        return LineOpResult::refuse(QStringLiteral("请输入关键词"));
    const qsizetype lineCount = CountSplitLines(text);
    if (lineCount < 4)
        return LineOpResult::refuse(QStringLiteral("数据不足，人工去除吧"));

    meter.start(lineCount);
    const LinePartition lines = partitionByKeyword(text, keyword, [&](bool contains) {
        meter.step();
        return !contains;
    });
    meter.finish();
    return partitionResult(text, lines, JoinStyle::GroupedFront, JoinStyle::Front);
}

} // namespace lumbrel
