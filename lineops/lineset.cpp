#include "lineops/lineset.h"

#include <algorithm>
#include <vector>

namespace lumbrel {

namespace {

constexpr qsizetype PulseEvery = 16384;

inline char16_t* put(char16_t* out, QStringView v)
{
    return std::copy(v.utf16(), v.utf16() + v.size(), out);
}

inline char16_t* putCrLf(char16_t* out)
{
    out[0] = u'\r';
    out[1] = u'\n';
    return out + 2;
}

// The first `n` lines split in two by `keep(i)`, each side joined in input order, in one walk
// each for the sizes and the text. With `withAside` false the other side is only counted.
template <typename Keep> ListOpResult joinSides(const LineList& lines, qsizetype n, bool withAside, Keep keep)
{
    ZeroedVector<char> kept(static_cast<std::size_t>(n));
    qsizetype sizes[2] = {};
    qsizetype counts[2] = {};
    for (qsizetype i = 0; i < n; ++i) {
        const bool k = keep(i);
        kept[static_cast<std::size_t>(i)] = k;
        sizes[k] += lines[i].size() + 2;
        ++counts[k];
    }
    ListOpResult r;
    r.kept = counts[1];
    r.removed = counts[0];
    r.text = BigString(sizes[1]);
    char16_t* outs[2] = {nullptr, reinterpret_cast<char16_t*>(r.text.data())};
    if (withAside) {
        r.setAside = BigString(sizes[0]);
        outs[0] = reinterpret_cast<char16_t*>(r.setAside->data());
    }
    for (qsizetype i = 0; i < n; ++i) {
        const bool k = kept[static_cast<std::size_t>(i)];
        if (k || withAside)
            outs[k] = putCrLf(put(outs[k], lines[i]));
    }
    return r;
}

// The working lines, grouped by their folded keys, then split by `keep(groups, i)`; the
// others are set aside.
template <typename Keep> ListOpResult byGroups(QStringView text, LineFolds folds, ProgressMeter& meter, Keep keep)
{
    if (text.isEmpty())
        return ListOpResult::refuse(NoWorkingText);
    const LineList lines = SplitListLines(text);
    meter.start(lines.size());
    const LineKeys keys(lines, folds);
    const LineGroups groups = GroupLines(keys.keys(), meter);
    ListOpResult r =
        joinSides(lines, lines.size(), true, [&](qsizetype i) { return keep(groups, static_cast<std::size_t>(i)); });
    meter.finish();
    return r;
}

// The working lines and the temporary ones grouped together: `keep(inTemp, i)` decides for
// each working line, told whether a line of `temp` equals it.
template <typename Keep>
ListOpResult againstTemp(QStringView text, QStringView temp, LineFolds folds, ProgressMeter& meter, Keep keep)
{
    if (text.isEmpty())
        return ListOpResult::refuse(NoWorkingText);
    if (temp.isEmpty())
        return ListOpResult::refuse(NoTemporaryText);
    LineList all = SplitListLines(text);
    const qsizetype n = all.size();
    meter.start(n);
    AppendListLines(all, temp);
    const LineKeys keys(all, folds);
    const LineGroups groups = GroupLines(keys.keys(), meter);
    ZeroedVector<char> inTemp(static_cast<std::size_t>(n));
    for (auto j = static_cast<std::size_t>(n); j < groups.first.size(); ++j) {
        if (groups.first[j] < n)
            inTemp[groups.first[j]] = 1;
    }
    ListOpResult r = joinSides(all, n, false, [&](qsizetype i) {
        const std::size_t u = static_cast<std::size_t>(i);
        return keep(inTemp[groups.first[u]] != 0);
    });
    meter.finish();
    return r;
}

int decimalDigits(std::uint32_t v)
{
    int digits = 1;
    while (v >= 10) {
        v /= 10;
        ++digits;
    }
    return digits;
}

} // namespace

qsizetype CountListLines(QStringView text)
{
    return CountSplitLines(text) - (text.endsWith(CrLf) ? 1 : 0);
}

ListOpResult JoinInOrder(QStringView text, const LinePartition& parts, bool withAside)
{
    ListOpResult r;
    r.kept = parts.sideLines[1];
    r.removed = parts.sideLines[0];
    r.text = BigString(parts.sideUnits[1] + 2 * parts.sideLines[1]);
    char16_t* outs[2] = {nullptr, reinterpret_cast<char16_t*>(r.text.data())};
    if (withAside) {
        r.setAside = BigString(parts.sideUnits[0] + 2 * parts.sideLines[0]);
        outs[0] = reinterpret_cast<char16_t*>(r.setAside->data());
    }
    qsizetype i = 0;
    ForEachLine(text, [&](QStringView line) {
        // The empty piece after a final CR LF is past the partition's lines.
        if (i == parts.lines)
            return;
        const bool pass = (parts.passed[static_cast<std::size_t>(i / 64)] >> (i % 64)) & 1;
        ++i;
        if (pass || withAside)
            outs[pass] = putCrLf(put(outs[pass], line));
    });
    return r;
}

ListOpResult ExactDedup(QStringView text, LineFolds folds, ProgressMeter& meter)
{
    return byGroups(text, folds, meter, [](const LineGroups& g, std::size_t i) { return g.first[i] == i; });
}

ListOpResult UniqueOnly(QStringView text, LineFolds folds, ProgressMeter& meter)
{
    return byGroups(text, folds, meter, [](const LineGroups& g, std::size_t i) { return g.count[g.first[i]] == 1; });
}

ListOpResult DuplicatesOnly(QStringView text, LineFolds folds, ProgressMeter& meter)
{
    return byGroups(
        text, folds, meter, [](const LineGroups& g, std::size_t i) { return g.first[i] == i && g.count[i] > 1; });
}

ListOpResult SubtractLines(QStringView text, QStringView temp, LineFolds folds, ProgressMeter& meter)
{
    return againstTemp(text, temp, folds, meter, [](bool inTemp) { return !inTemp; });
}

ListOpResult IntersectLines(QStringView text, QStringView temp, LineFolds folds, ProgressMeter& meter)
{
    return againstTemp(text, temp, folds, meter, [](bool inTemp) { return inTemp; });
}

ListOpResult UnionLines(QStringView text, QStringView temp, LineFolds folds, ProgressMeter& meter)
{
    if (text.isEmpty())
        return ListOpResult::refuse(NoWorkingText);
    if (temp.isEmpty())
        return ListOpResult::refuse(NoTemporaryText);
    LineList all = SplitListLines(text);
    meter.start(all.size());
    AppendListLines(all, temp);
    const LineKeys keys(all, folds);
    const LineGroups groups = GroupLines(keys.keys(), meter);
    ListOpResult r = joinSides(all, all.size(), false, [&](qsizetype i) {
        return groups.first[static_cast<std::size_t>(i)] == static_cast<std::uint32_t>(i);
    });
    meter.finish();
    return r;
}

ListOpResult CountOccurrences(QStringView text, LineFolds folds, ProgressMeter& meter)
{
    if (text.isEmpty())
        return ListOpResult::refuse(NoWorkingText);
    const LineList lines = SplitListLines(text);
    const qsizetype n = lines.size();
    meter.start(n);
    const LineKeys keys(lines, folds);
    const LineGroups groups = GroupLines(keys.keys(), meter);

    // Most frequent first, ties in order of first occurrence: a counting sort of the first
    // occurrences by their counts, walked from the highest count down.
    std::uint32_t most = 0;
    for (std::uint32_t c : groups.count)
        most = std::max(most, c);
    std::vector<qsizetype> slot(static_cast<std::size_t>(most) + 2, 0);
    qsizetype size = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const std::uint32_t c = groups.count[static_cast<std::size_t>(i)];
        if (c == 0)
            continue;
        ++slot[most - c];
        size += lines[i].size() + 1 + decimalDigits(c) + 2;
    }
    qsizetype at = 0;
    for (qsizetype& s : slot) {
        const qsizetype here = s;
        s = at;
        at += here;
    }
    ZeroedVector<std::uint32_t> order(static_cast<std::size_t>(groups.distinct));
    for (qsizetype i = 0; i < n; ++i) {
        const std::uint32_t c = groups.count[static_cast<std::size_t>(i)];
        if (c != 0)
            order[static_cast<std::size_t>(slot[most - c]++)] = static_cast<std::uint32_t>(i);
    }

    ListOpResult r;
    r.kept = groups.distinct;
    r.removed = n - groups.distinct;
    r.text = BigString(size);
    auto* out = reinterpret_cast<char16_t*>(r.text.data());
    for (std::uint32_t i : order) {
        out = put(out, lines[i]);
        *out++ = u'\t';
        std::uint32_t c = groups.count[i];
        const int digits = decimalDigits(c);
        for (int k = digits - 1; k >= 0; --k) {
            out[k] = static_cast<char16_t>(u'0' + c % 10);
            c /= 10;
        }
        out = putCrLf(out + digits);
    }
    meter.finish();
    return r;
}

QString ListStatistics::message() const
{
    return QStringLiteral("统计：共%1行，不重复%2行，空行%3行，最长%4字")
        .arg(lines)
        .arg(distinct)
        .arg(empty)
        .arg(longest);
}

ListStatistics LineStatistics(QStringView text, LineFolds folds, ProgressMeter& meter)
{
    ListStatistics s;
    if (text.isEmpty()) {
        s.refusal = NoWorkingText;
        return s;
    }
    const LineList lines = SplitListLines(text);
    meter.start(lines.size());
    const LineKeys keys(lines, folds);
    const LineGroups groups = GroupLines(keys.keys(), meter);
    s.lines = lines.size();
    s.distinct = groups.distinct;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        s.empty += keys.keys()[i].isEmpty() ? 1 : 0;
        // A line's characters are at most its units: only a longer line can beat the longest.
        if (lines[i].size() > s.longest)
            s.longest = std::max(s.longest, CharacterCount(lines[i]));
    }
    meter.finish();
    return s;
}

} // namespace lumbrel
