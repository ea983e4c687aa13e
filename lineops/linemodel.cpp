#include "lineops/linemodel.h"

#include "lineops/bigarray.h"
#include "lineops/textsearch.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumbrel {

namespace {

constexpr char16_t Cr = u'\r';
constexpr char16_t Lf = u'\n';

// Copies `v` to `out` and returns the position behind it.
inline char16_t* put(char16_t* out, QStringView v)
{
    if (!v.isEmpty())
        std::copy(v.utf16(), v.utf16() + v.size(), out);
    return out + v.size();
}

inline char16_t* putCrLf(char16_t* out)
{
    out[0] = Cr;
    out[1] = Lf;
    return out + 2;
}

// The LFs among s[from, n), or with `AfterCr` the LFs that close a CR LF (then from >= 1).
template <bool AfterCr> qsizetype countLfs(const char16_t* s, qsizetype from, qsizetype n)
{
    qsizetype count = 0;
    qsizetype i = from;
#if defined(__SSE2__)
    // Each matching lane adds one to a 16-bit counter; the counters are summed before they
    // can overflow.
    const __m128i cr = _mm_set1_epi16(static_cast<short>(Cr));
    const __m128i lf = _mm_set1_epi16(static_cast<short>(Lf));
    while (i + 8 <= n) {
        __m128i counters = _mm_setzero_si128();
        const qsizetype stop = std::min(n - 7, i + 8 * 32767);
        for (; i < stop; i += 8) {
            __m128i match = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)), lf);
            if constexpr (AfterCr)
                match = _mm_and_si128(
                    match, _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i - 1)), cr));
            counters = _mm_sub_epi16(counters, match);
        }
        alignas(16) uint16_t lanes[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), counters);
        for (uint16_t lane : lanes)
            count += lane;
    }
#endif
    for (; i < n; ++i)
        count += s[i] == Lf && (!AfterCr || s[i - 1] == Cr) ? 1 : 0;
    return count;
}

// The number of groups GroupedFrontJoin makes of `lines` lines.
qsizetype groupCount(qsizetype lines)
{
    return lines <= GroupSize ? 1 : 2 + (lines - GroupSize - 1) / (GroupSize + 1);
}

template <typename IsGroupStart>
QString
reverseJoin(const LineList& lines, QStringView prefix, QStringView suffix, IsGroupStart isGroupStart, qsizetype groups)
{
    qsizetype size = 2 * groups;
    for (QStringView line : lines)
        size += line.size() + prefix.size() + suffix.size() + 2;
    QString result(size, Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(result.data());
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        out = put(out, prefix);
        out = put(out, lines[i]);
        out = put(out, suffix);
        out = putCrLf(out);
        if (isGroupStart(i))
            out = putCrLf(out);
    }
    if (lines.isEmpty() && groups > 0)
        putCrLf(out);
    return result;
}

} // namespace

qsizetype CountLines(QStringView text)
{
    if (!text.contains(CrLf))
        return 0;
    const qsizetype lfs = countLfs<false>(reinterpret_cast<const char16_t*>(text.utf16()), 0, text.size());
    return text.endsWith(QChar(Lf)) ? lfs : lfs + 1;
}

QString RemoveLineBreaks(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c != QChar(Cr) && c != QChar(Lf))
            out.append(c);
    }
    return out;
}

QStringView TrimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

QString StripLineBreaks(QStringView text)
{
    // Removing CR LF, then CR, then LF removes every CR and every LF, in any order.
    const QString removed = RemoveLineBreaks(text);
    return TrimSpaces(removed).toString();
}

LineList SplitLines(QStringView text)
{
    LineList lines;
    if (text.isEmpty())
        return lines;
    // One pass to size the list, one to fill it: a million lines make one allocation.
    lines.reserve(CountSplitLines(text));
    ForEachLine(text, [&](QStringView line) { lines.append(line); });
    return lines;
}

QString BigString(qsizetype size)
{
    QString s(size, Qt::Uninitialized);
    AdviseHugePages(s.data(), static_cast<std::size_t>(size) * sizeof(QChar));
    return s;
}

LineList SplitListLines(QStringView text)
{
    LineList lines;
    AppendListLines(lines, text);
    return lines;
}

void AppendListLines(LineList& lines, QStringView text)
{
    if (text.isEmpty())
        return;
    const qsizetype count = CountSplitLines(text);
    if (lines.capacity() < lines.size() + count) {
        // One move to the full size, under huge pages: appending a million views one by one
        // would copy them as the list grows.
        LineList bigger;
        bigger.reserve(lines.size() + count);
        AdviseHugePages(bigger.data(), static_cast<std::size_t>(bigger.capacity()) * sizeof(QStringView));
        bigger.append(lines);
        lines.swap(bigger);
    }
    ForEachLine(text, [&](QStringView line) { lines.append(line); });
    if (text.endsWith(CrLf))
        lines.removeLast();
}

QString JoinListLines(const LineList& lines)
{
    qsizetype size = 0;
    for (QStringView line : lines)
        size += line.size() + 2;
    QString result = BigString(size);
    auto* out = reinterpret_cast<char16_t*>(result.data());
    for (QStringView line : lines)
        out = putCrLf(put(out, line));
    return result;
}

qsizetype CountSplitLines(QStringView text)
{
    if (text.isEmpty())
        return 0;
    const auto* s = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    // CR LF pairs never overlap, so counting the LFs with a CR before them counts the breaks.
    const qsizetype breaks = countLfs<true>(s, 1, n);
    return breaks + 1;
}

QString NormalizeLineEnds(QString text)
{
    const qsizetype n = text.size();
    const char16_t* s = reinterpret_cast<const char16_t*>(text.constData());
    qsizetype lone = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (s[i] == Cr) {
            if (i + 1 < n && s[i + 1] == Lf)
                ++i;
            else
                ++lone;
        } else if (s[i] == Lf) {
            ++lone;
        }
    }
    if (lone == 0)
        return text;
    QString out(n + lone, Qt::Uninitialized);
    auto* o = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < n; ++i) {
        if (s[i] == Cr || s[i] == Lf) {
            o = putCrLf(o);
            if (s[i] == Cr && i + 1 < n && s[i + 1] == Lf)
                ++i;
        } else {
            *o++ = s[i];
        }
    }
    return out;
}

QString ReplaceAll(QStringView text, QStringView from, QStringView to)
{
    if (from.isEmpty() || text.size() < from.size())
        return text.toString();
    // O(text + from): each search starts behind the previous hit.
    const TextSearch search(from);
    const qsizetype first = search.indexIn(text, 0);
    if (first < 0)
        return text.toString();
    qsizetype size = text.size();
    if (to.size() != from.size()) {
        // Counted first, so the result is allocated once, at its size.
        qsizetype hits = 0;
        for (qsizetype hit = first; hit >= 0; hit = search.indexIn(text, hit + from.size()))
            ++hits;
        size += hits * (to.size() - from.size());
    }
    QString out(size, Qt::Uninitialized);
    auto* o = reinterpret_cast<char16_t*>(out.data());
    qsizetype pos = 0;
    for (qsizetype hit = first; hit >= 0; hit = search.indexIn(text, pos)) {
        o = put(o, text.sliced(pos, hit - pos));
        o = put(o, to);
        pos = hit + from.size();
    }
    put(o, text.sliced(pos));
    return out;
}

QString FrontJoin(const LineList& lines, QStringView prefix, QStringView suffix)
{
    return reverseJoin(
        lines, prefix, suffix, [](qsizetype) { return false; }, 0);
}

QString FrontJoinKept(const LineList& lines, const std::vector<char>& keep)
{
    qsizetype size = 0;
    for (qsizetype i = 0; i < lines.size(); ++i)
        size += keep[static_cast<std::size_t>(i)] ? lines[i].size() + 2 : 0;
    QString result(size, Qt::Uninitialized);
    // Written backwards from the end, walking the lines in input order.
    auto* out = reinterpret_cast<char16_t*>(result.data()) + size;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!keep[static_cast<std::size_t>(i)])
            continue;
        out -= lines[i].size() + 2;
        putCrLf(put(out, lines[i]));
    }
    return result;
}

QString GroupedFrontJoin(const LineList& lines, QStringView prefix, QStringView suffix)
{
    // The first group starts at 0, the next at 2000, then every 2001 lines: the line that
    // closes a group opens the next one without being counted.
    const auto isGroupStart = [](qsizetype i) {
        return i == 0 || (i >= GroupSize && (i - GroupSize) % (GroupSize + 1) == 0);
    };
    return reverseJoin(lines, prefix, suffix, isGroupStart, groupCount(lines.size()));
}

JoinedPartition JoinPartition(QStringView text, const LinePartition& partition, JoinStyle passed, JoinStyle failed)
{
    // Each side is written backwards from the end of a text of its exact size: the walk goes
    // through the lines in input order and the joins put them in reverse.
    struct Side
    {
        QString text;
        char16_t* begin = nullptr;
        char16_t* out = nullptr;
        qsizetype index = 0;          // of the next line among this side's lines
        qsizetype nextGroupStart = 0; // never reached for a front join
        bool grouped = false;
    };
    Side sides[2];
    const JoinStyle styles[2] = {failed, passed};
    for (int k = 0; k < 2; ++k) {
        Side& side = sides[k];
        const qsizetype lines = partition.sideLines[k];
        side.grouped = styles[k] == JoinStyle::GroupedFront;
        const qsizetype size = partition.sideUnits[k] + 2 * lines + (side.grouped ? 2 * groupCount(lines) : 0);
        side.text = QString(size, Qt::Uninitialized);
        side.begin = reinterpret_cast<char16_t*>(side.text.data());
        side.out = side.begin + size;
        side.nextGroupStart = side.grouped ? 0 : -1;
    }
    qsizetype i = 0;
    ForEachLine(text, [&](QStringView line) {
        const bool pass = (partition.passed[static_cast<size_t>(i / 64)] >> (i % 64)) & 1;
        ++i;
        Side& side = sides[pass];
        char16_t* o = side.out;
        if (side.index++ == side.nextGroupStart) {
            o -= 2;
            putCrLf(o);
            side.nextGroupStart += side.nextGroupStart == 0 ? GroupSize : GroupSize + 1;
        }
        o -= line.size() + 2;
        putCrLf(put(o, line));
        side.out = o;
    });
    for (Side& side : sides) {
        // No lines make one empty group: a lone CR LF.
        if (side.grouped && side.index == 0)
            putCrLf(side.out -= 2);
        Q_ASSERT(side.out == side.begin);
    }
    return {std::move(sides[1].text), std::move(sides[0].text)};
}

} // namespace lumbrel
