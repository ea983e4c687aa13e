#pragma once

#include "lineops/bigarray.h"
#include "lineops/linemodel.h"
#include "lineops/progressmeter.h"

#include <QFlags>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace lumbrel {

// How lines are compared by the list commands (duplicates, set operations, counts). A line is
// always kept in its own text; only the comparison sees the folded form.
enum class LineFold
{
    Case = 1,   // simple Unicode case folding, one character at a time (so "ß" stays apart from "ss")
    Spaces = 2, // white space (QChar::isSpace, U+3000 included) trimmed at both ends
    Width = 4,  // U+FF01..U+FF5E as U+0021..U+007E and U+3000 as U+0020, before case folding
};
Q_DECLARE_FLAGS(LineFolds, LineFold)
Q_DECLARE_OPERATORS_FOR_FLAGS(LineFolds)

// The line's folded form. Simple case folding maps one character to one character, so the
// form is never longer than the line.
QString FoldLine(QStringView line, LineFolds folds);

// Writes the folded form of `line` under the Case and Width folds of `folds` (Spaces is not
// applied: nothing is trimmed) to `out`, which has room for line.size() units; returns the end
// of what was written, which is always out + line.size().
char16_t* FoldUnits(QStringView line, LineFolds folds, char16_t* out);

// The folded form of every code unit outside the surrogates under the Case and Width folds of
// `folds`, as FoldLine folds it: 65,536 entries, made once per choice of folds. A surrogate pair
// folds as one character, and only under Case; an unpaired surrogate stays as it is.
const char16_t* UnitFolds(LineFolds folds);

// Characters of a line as the list commands count them: a surrogate pair once, every other
// code unit (an unpaired surrogate too) once.
qsizetype CharacterCount(QStringView line);

// The comparison keys of a list of lines: views of the lines themselves where folding changes
// nothing (always, without folds), otherwise of one buffer owned by this object, so no line
// makes an allocation of its own. The lines' text must outlive it; it must not be copied.
class LineKeys
{
public:
    LineKeys(const LineList& lines, LineFolds folds);
    LineKeys(LineList&& lines, LineFolds folds) = delete;
    LineKeys(const LineKeys&) = delete;
    LineKeys& operator=(const LineKeys&) = delete;

    const LineList& keys() const
    {
        return m_folded ? m_keys : *m_lines;
    }

private:
    const LineList* m_lines;
    bool m_folded;
    LineList m_keys;
    QString m_buffer;
};

// A hash of code units keyed by a per-use random secret, so crafted lines cannot be made to
// collide without knowing it. Equal units hash equally under one LineHasher (not across two).
class LineHasher
{
public:
    LineHasher(); // a fresh random secret
    explicit LineHasher(std::uint64_t seed);

    std::uint64_t operator()(QStringView units) const;

private:
    std::uint64_t m_secret[3];
};

// The line groups of a list of keys: for each line, the index of the first line with an equal
// key, and for each first line the number of lines in its group. Linear time on any input
// (open addressing under a keyed hash, every match verified by comparing the keys); both cores
// work on it; the meter's pulse shows the pass and is called on the calling thread only.
// Indices are 32 bits: a list holds fewer than 2^32 - 1 lines (that many line breaks alone
// would be 16 GB of text).
struct LineGroups
{
    ZeroedVector<std::uint32_t> first; // first[i] <= i; first[i] == i marks a first occurrence
    ZeroedVector<std::uint32_t> count; // count[i]: lines equal to line i, where first[i] == i; else 0
    qsizetype distinct = 0;
};
LineGroups GroupLines(const LineList& keys, ProgressMeter& meter);

} // namespace lumbrel
