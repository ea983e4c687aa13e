#include "lineops/textsearch.h"

#include <algorithm>
#include <functional>

namespace lumbrel {

namespace {

// Units the first-unit scan may compare beyond the units it has skipped before it hands the
// rest of a search to the two-way algorithm.
constexpr qsizetype ScanSlack = 64;

struct MaximalSuffix
{
    qsizetype start;
    qsizetype period;
};

// The lexicographically greatest suffix of x[0, m) under `less`, and its period. O(m).
template <typename Less> MaximalSuffix maximalSuffix(const char16_t* x, qsizetype m, Less less)
{
    qsizetype before = -1; // the suffix found so far starts after this
    qsizetype j = 0;       // the candidate suffix starts after this
    qsizetype k = 1;       // units of the candidate matched in its current period
    qsizetype p = 1;
    while (j + k < m) {
        const char16_t a = x[j + k];
        const char16_t b = x[before + k];
        if (less(a, b)) {
            // The candidate is smaller: the suffix so far reaches at least to here unbroken.
            j += k;
            k = 1;
            p = j - before;
        } else if (a == b) {
            if (k != p) {
                ++k;
            } else {
                j += p;
                k = 1;
            }
        } else {
            // The candidate is greater: it becomes the suffix.
            before = j++;
            k = 1;
            p = 1;
        }
    }
    return {before + 1, p};
}

} // namespace

TextSearch::TextSearch(QStringView keyword)
    : m_keyword(keyword)
{
    const qsizetype m = keyword.size();
    if (m < 2)
        return; // found by the scan for one unit alone
    const char16_t* x = keyword.utf16();
    // The later start of the two maximal suffixes is a critical factorization.
    const MaximalSuffix up = maximalSuffix(x, m, std::less<>());
    const MaximalSuffix down = maximalSuffix(x, m, std::greater<>());
    const MaximalSuffix& split = up.start > down.start ? up : down;
    m_split = split.start;
    m_periodic = std::equal(x, x + m_split, x + split.period);
    if (m_periodic) {
        m_period = split.period;
        return;
    }
    m_period = std::max(m_split, m - m_split) + 1;
}

qsizetype TextSearch::indexIn(QStringView text, qsizetype from) const
{
    const qsizetype m = m_keyword.size();
    const qsizetype last = text.size() - m; // the last start that fits
    if (from > last)
        return -1;
    if (m == 0)
        return from;
    const QChar first = m_keyword.front();
    if (m == 1)
        return text.indexOf(first, from);
    // Each stop of the scan costs m units and earns the units skipped to reach it; when the
    // costs run ahead by more than the slack, the two-way search takes over.
    const QStringView rest = m_keyword.sliced(1);
    qsizetype credit = ScanSlack;
    qsizetype pos = from;
    for (;;) {
        const qsizetype p = text.indexOf(first, pos);
        if (p < 0 || p > last)
            return -1;
        if (text.sliced(p + 1, m - 1) == rest)
            return p;
        credit += p + 1 - pos - m;
        pos = p + 1;
        if (credit < 0)
            return twoWay(text, pos);
    }
}

// The two-way search from `from` on, with the window at j: the right half x[split, m) is
// compared left to right, a mismatch at i moving the window by i - split + 1; after a match
// of the right half the left half is compared right to left, and a mismatch moves the window
// by the period. A periodic keyword remembers how much of its start the moved window already
// matches (`memory`), which keeps every unit from being compared more than twice.
qsizetype TextSearch::twoWay(QStringView text, qsizetype from) const
{
    const char16_t* x = m_keyword.utf16();
    const char16_t* y = text.utf16();
    const qsizetype m = m_keyword.size();
    const qsizetype last = text.size() - m;
    const qsizetype split = m_split;
    qsizetype memory = 0;
    qsizetype j = from;
    while (j <= last) {
        qsizetype i = std::max(split, memory);
        while (i < m && x[i] == y[j + i])
            ++i;
        if (i < m) {
            j += i - split + 1;
            memory = 0;
            continue;
        }
        i = split;
        while (i > memory && x[i - 1] == y[j + i - 1])
            --i;
        if (i <= memory)
            return j;
        j += m_period;
        if (m_periodic)
            memory = m - m_period;
    }
    return -1;
}

} // namespace lumbrel
