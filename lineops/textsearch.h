#pragma once

#include <QStringView>

namespace lumbrel {

// Finds a keyword (exact UTF-16 code units) in texts, in time linear in the text for every
// keyword and text. A search looks for the keyword's first unit with the vectorised scan and
// compares the rest where it stops, which is the fastest way for the short keywords of
// everyday use. Where those stops come too close together for that to stay linear (a long
// run of the first unit, say), the search carries on with the two-way algorithm, which
// compares each unit of the text at most twice and needs no table. (A skip table on the last
// unit of the window made the worst case, a run of one letter, four times slower: each
// lookup waits for the one before it.)
class TextSearch
{
public:
    // Prepares a search for `keyword`, which must outlive this object. O(keyword) time.
    explicit TextSearch(QStringView keyword);

    // The first occurrence at or after `from` (0 <= from), or -1; an empty keyword is found
    // at `from` when from <= text.size(). Costs O(r - from + m) for r the position found
    // (text.size() when none) and m the keyword's length, plus a constant per call: a
    // search that steps from one hit to the next costs O(text) in all.
    qsizetype indexIn(QStringView text, qsizetype from = 0) const;

private:
    qsizetype twoWay(QStringView text, qsizetype from) const;

    QStringView m_keyword;
    qsizetype m_split = 0;  // the keyword's critical factorization: left half, right half
    qsizetype m_period = 1; // the shift after a match of the right half
    bool m_periodic = true; // the left half recurs one period later
};

} // namespace lumbrel
