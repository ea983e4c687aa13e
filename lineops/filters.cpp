#include "lineops/filters.h"

#include "lineops/number.h"

#include <algorithm>

namespace lumbrel {

namespace {

constexpr char16_t FirstChinese = 0x4E00;
constexpr char16_t LastChinese = 0x9FA5;

// Finds a keyword from a position on: a vectorised scan for its first code unit, then a
// comparison of the rest. Keywords are short, so this beats a skip-table search.
class KeywordFinder
{
public:
    explicit KeywordFinder(QStringView keyword)
        : m_first(keyword.front())
        , m_rest(keyword.sliced(1))
    {
    }

    // Position of the first occurrence at or after `from`, or -1.
    qsizetype indexIn(QStringView text, qsizetype from) const
    {
        const qsizetype lastStart = text.size() - m_rest.size() - 1;
        while (from <= lastStart) {
            const qsizetype p = text.indexOf(m_first, from);
            if (p < 0 || p > lastStart)
                return -1;
            if (text.sliced(p + 1, m_rest.size()) == m_rest)
                return p;
            from = p + 1;
        }
        return -1;
    }

private:
    QChar m_first;
    QStringView m_rest;
};

// Tells for each line whether it contains `keyword`. A keyword without CR or LF can never
// reach past its line, so one search through the whole text serves every line; one holding
// CR or LF might match across a line break, so each line is then searched on its own.
template <typename OnLine>
void forEachLineContaining(QStringView text, const LineList& lines, QStringView keyword, OnLine onLine)
{
    const KeywordFinder finder(keyword);
    if (keyword.contains(u'\r') || keyword.contains(u'\n')) {
        for (QStringView line : lines)
            onLine(line, finder.indexIn(line, 0) >= 0);
        return;
    }
    const QChar* base = text.data();
    const auto nextHit = [&](qsizetype from) {
        const qsizetype p = finder.indexIn(text, from);
        return p < 0 ? text.size() : p;
    };
    qsizetype hit = nextHit(0);
    for (QStringView line : lines) {
        const qsizetype start = line.data() - base;
        if (hit < start)
            hit = nextHit(start);
        onLine(line, hit < start + line.size());
    }
}

} // namespace

bool IncludeChinese(QStringView text)
{
    for (QChar c : text) {
        if (static_cast<char16_t>(c.unicode() - FirstChinese) <= LastChinese - FirstChinese)
            return true;
    }
    return false;
}

LineOpResult RemoveEmptyLines(QStringView text)
{
    QString collapsed = ReplaceAll(ReplaceAll(text, u"\r\n\r\n\r\n", CrLf), u"\r\n\r\n", CrLf);
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
    const LineList lines = SplitLines(text);
    LineList kept;
    LineList dropped;
    kept.reserve(lines.size());
    dropped.reserve(lines.size());
    const bool keepChinese = mode == ChineseFilter::KeepChinese;
    for (QStringView line : lines)
        (IncludeChinese(line) == keepChinese ? kept : dropped).append(line);
    LineOpResult result;
    result.text = FrontJoin(kept);
    result.setAside = FrontJoin(dropped);
    return result;
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

    const LineList lines = SplitLines(text);
    meter.start(lines.size());
    LineList kept;
    LineList dropped;
    // Reserving the most either may need touches no memory until it is used.
    kept.reserve(lines.size());
    dropped.reserve(lines.size());
    // Lengths compare as doubles: exact for any real length, and an N beyond every integer
    // type (1e400 reads as infinity) needs no conversion.
    const bool keepShorter = mode == LengthFilter::KeepShorter;
    for (QStringView line : lines) {
        const auto length = static_cast<double>(line.size());
        const bool keep = keepShorter ? length < *n : length > *n;
        (keep ? kept : dropped).append(line);
        meter.step();
    }
    meter.finish();
    LineOpResult result;
    result.text = GroupedFrontJoin(kept);
    result.setAside = GroupedFrontJoin(dropped);
    return result;
}

LineOpResult RemoveContaining(QStringView text, QStringView keyword, ProgressMeter& meter)
{
    if (keyword.isEmpty())
        return LineOpResult::refuse(QStringLiteral("请输入关键词"));
    const LineList lines = SplitLines(text);
    if (lines.size() < 4)
        return LineOpResult::refuse(QStringLiteral("数据不足，人工去除吧"));

    meter.start(lines.size());
    LineList kept;
    LineList removed;
    kept.reserve(lines.size());
    removed.reserve(lines.size());
    forEachLineContaining(text, lines, keyword, [&](QStringView line, bool contains) {
        (contains ? removed : kept).append(line);
        meter.step();
    });
    meter.finish();
    LineOpResult result;
    result.text = GroupedFrontJoin(kept);
    result.setAside = FrontJoin(removed);
    return result;
}

} // namespace lumbrel
