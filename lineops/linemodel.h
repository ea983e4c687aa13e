#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <bit>
#include <functional>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumbrel {

// The lines of a text split at every CR LF; each element views the text it came from,
// which must outlive the list.
using LineList = QList<QStringView>;

inline constexpr QStringView CrLf = u"\r\n";

// Number of lines shown in result messages: 0 when the text holds no CR LF; otherwise the
// number of LF characters (lone ones too), plus one when the text does not end with LF.
qsizetype CountLines(QStringView text);

// Removes every CR LF, CR and LF, then the spaces (U+0020 only) at both ends.
QString StripLineBreaks(QStringView text);

// Removes every CR LF, CR and LF; spaces stay.
QString RemoveLineBreaks(QStringView text);

// Splits at every CR LF: n CR LF give n + 1 lines; the empty text gives no lines.
LineList SplitLines(QStringView text);
// The lines would view a text that is gone at the end of the statement.
LineList SplitLines(QString&& text) = delete;

// The lines of a list (the list commands' rule): the text between CR LF, where a final CR LF
// ends the last line instead of starting an empty one. "" has no lines, "\r\n" one empty
// line, "a\r\nb" and "a\r\nb\r\n" both the lines a and b. A lone CR or LF is a character of
// its line.
LineList SplitListLines(QStringView text);
LineList SplitListLines(QString&& text) = delete;

// Appends the lines of `text` (SplitListLines' rule) to `lines`, making room for all at once.
void AppendListLines(LineList& lines, QStringView text);

// A text of `size` units left uninitialised, under huge pages where the system allows it:
// for results of millions of lines.
QString BigString(qsizetype size);

// The lines in order, each followed by CR LF.
QString JoinListLines(const LineList& lines);

// The number of lines SplitLines gives, without building them.
qsizetype CountSplitLines(QStringView text);

#if defined(__SSE2__)
namespace detail {
// One bit for each of the 32 units from `s` on that is the LF of a CR LF; s[-1] must exist.
inline quint32 breakMask32(const char16_t* s)
{
    const __m128i cr = _mm_set1_epi16(static_cast<short>(u'\r'));
    const __m128i lf = _mm_set1_epi16(static_cast<short>(u'\n'));
    __m128i bytes[2];
    for (int half = 0; half < 2; ++half) {
        __m128i words[2];
        for (int k = 0; k < 2; ++k) {
            const char16_t* at = s + 16 * half + 8 * k;
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at - 1));
            words[k] = _mm_and_si128(_mm_cmpeq_epi16(block, lf), _mm_cmpeq_epi16(before, cr));
        }
        bytes[half] = _mm_packs_epi16(words[0], words[1]);
    }
    return static_cast<quint32>(_mm_movemask_epi8(bytes[0])) | static_cast<quint32>(_mm_movemask_epi8(bytes[1])) << 16;
}
} // namespace detail
#endif

// Calls `onLine(QStringView line)` for each line SplitLines gives, in order, without
// building the list: a million lines make no allocation.
template <typename OnLine> void ForEachLine(QStringView text, OnLine&& onLine)
{
    if (text.isEmpty())
        return;
    const auto* s = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    qsizetype start = 0;
    // A break ends at an LF with a CR before it, so never at the first unit. CR LF pairs
    // never overlap, so that CR always belongs to the current line.
    qsizetype i = 1;
#if defined(__SSE2__)
    // 32 units at a time: most of a keyword list is not line breaks, and a wide mask leaves
    // the loop over its bits (a mispredicted jump) seldom.
    for (; i + 32 <= n; i += 32) {
        quint32 mask = detail::breakMask32(s + i);
        while (mask != 0) {
            const qsizetype at = i + std::countr_zero(mask);
            mask &= mask - 1;
            onLine(text.sliced(start, at - 1 - start));
            start = at + 1;
        }
    }
#endif
    for (; i < n; ++i) {
        if (s[i] == u'\n' && s[i - 1] == u'\r') {
            onLine(text.sliced(start, i - 1 - start));
            start = i + 1;
        }
    }
    onLine(text.sliced(start));
}

// Turns every lone CR and every lone LF into CR LF; CR LF pairs stay as they are.
QString NormalizeLineEnds(QString text);

// Replaces every run of `from` by `to` in one left-to-right pass over non-overlapping
// occurrences; the replacement is never scanned again. O(text + from + result) for any
// text and search text.
QString ReplaceAll(QStringView text, QStringView from, QStringView to);

// The view with the U+0020 spaces at both ends removed.
QStringView TrimSpaces(QStringView text);

// Front-joining: the lines in reverse order, each followed by CR LF. `prefix` and `suffix`
// are put around every line (the keyword commands); they may be empty.
QString FrontJoin(const LineList& lines, QStringView prefix = {}, QStringView suffix = {});

// FrontJoin of the lines whose `keep` entry is set, without a list of them in between.
QString FrontJoinKept(const LineList& lines, const std::vector<char>& keep);

// Grouped front-joining: the lines fall into groups in input order (the first holds 2000
// lines, every later full group 2001, the last what remains; no lines make one empty
// group); the result holds the groups from the last to the first, each as its lines in
// reverse order each followed by CR LF, then one more CR LF.
QString GroupedFrontJoin(const LineList& lines, QStringView prefix = {}, QStringView suffix = {});

inline constexpr qsizetype GroupSize = 2000;

// A text's lines split in two by a test, kept as one bit a line (set: the test passed) with
// the sizes the joins need, so both joined texts are written at their size without a list of
// lines in between. Built by PartitionLines, joined by JoinPartition.
struct LinePartition
{
    std::vector<quint64> passed;
    qsizetype lines = 0;
    // Index 1: the lines that passed, 0: the others.
    qsizetype sideLines[2] = {};
    qsizetype sideUnits[2] = {}; // the lines' own units, without breaks
};

// Runs `passes(QStringView line)` once for each line SplitLines gives, in order; with
// `skipFinalEmpty`, not for the empty piece a final CR LF leaves (the list commands' lines).
template <typename Passes> LinePartition PartitionLines(QStringView text, Passes&& passes, bool skipFinalEmpty = false)
{
    const QChar* end = text.data() + text.size();
    const bool skipLast = skipFinalEmpty && text.endsWith(CrLf);
    LinePartition p;
    quint64 word = 0;
    ForEachLine(text, [&](QStringView line) {
        if (skipLast && line.data() == end)
            return;
        const bool pass = passes(line);
        word |= quint64{pass} << (p.lines % 64);
        ++p.sideLines[pass];
        p.sideUnits[pass] += line.size();
        if (++p.lines % 64 == 0) {
            p.passed.push_back(word);
            word = 0;
        }
    });
    if (p.lines % 64 != 0)
        p.passed.push_back(word);
    return p;
}

enum class JoinStyle
{
    Front,        // as FrontJoin
    GroupedFront, // as GroupedFrontJoin
};

struct JoinedPartition
{
    QString passed;
    QString failed;
};

// Joins each side of `partition` (made from `text`) as FrontJoin or GroupedFrontJoin would
// join that side's lines, in one walk over the text.
JoinedPartition JoinPartition(QStringView text, const LinePartition& partition, JoinStyle passed, JoinStyle failed);

} // namespace lumbrel
