#pragma once

#include "lineops/bigarray.h"
#include "lineops/linefold.h"
#include "lineops/lineset.h"

#include <QList>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace lumbrel {

inline const QString NoKeywords = QStringLiteral("关键词列表中没有关键词");

// The keywords the batch job (开始) takes from the keyword list `list`, in its reading: one for
// each line of the list (split at CR LF) before the first line that contains "##", in order.
// Empty lines give none (the job would halt at one; here it is simply no keyword). Duplicates
// stay. A lone CR is an ordinary character of its keyword.
//
// A lone LF: the job reads each keyword up to the next CR LF but takes it off the list up to
// the next LF of any kind, so a line holding lone LFs gives it several keywords, the whole
// line and then what follows each lone LF, every one of them ending the line. A text line
// contains one of them exactly when it contains the shortest non-empty one: what follows the
// last lone LF, or, when the line ends with that LF, what follows the one before it (the whole
// line when there is none). That shortest one is the keyword the line gives here. (The list
// the window shows never holds a lone CR or LF.)
QStringList BatchKeywords(QStringView list);

// BatchKeywords as views of `list`, which must outlive them.
QList<QStringView> BatchKeywordViews(QStringView list);
QList<QStringView> BatchKeywordViews(QString&& list) = delete;

// A set of keywords searched for in lines all at once: an Aho–Corasick automaton over UTF-16
// code units, each unit mapped to a class (0 for the units no keyword holds). Its states sit in
// a double array: a state's transition on a class is the slot at its base plus the class,
// checked against the state; the root's base is 0, so its transitions are one dense row. A
// state whose children find no room within `searchBlocks` steps of 64 candidate bases (from the
// first free slot, then at the array's end) keeps them in a small hash table instead. A scan
// stops at the first keyword found, so a keyword that begins with another adds no state and
// nothing past a match is kept.
//
// Build: O(u log u) time for u keyword units (sorting the keywords; the layout's search costs
// at most searchBlocks steps a child) and O(u) space (under 64 slots a state past the root's
// row; about 1.8 on 100,000 keywords drawn from a list). Scan: one transition a unit read plus
// the failure links followed, which the units read pay for: O(line) whatever the keywords.
class KeywordSet
{
public:
    static constexpr int DefaultSearchBlocks = 256;

    // `folds`: Case and Width fold the keywords and the lines as FoldLine does (Spaces does not
    // apply). Empty keywords are left out. `searchBlocks` bounds the layout's search for each
    // state (0 puts every state but the root in hash tables: the slow path, for tests).
    explicit KeywordSet(const QList<QStringView>& keywords,
                        LineFolds folds = {},
                        int searchBlocks = DefaultSearchBlocks);

    // Whether some keyword occurs in `line` as code units, both in folded form:
    // FoldLine(line).contains(FoldLine(keyword)) for some keyword. The line is read as it is
    // (a CR LF in it is two ordinary units).
    bool foundIn(QStringView line) const;

    bool isEmpty() const
    {
        return m_empty;
    }
    // The automaton's size: states, those keeping a hash table, and slots of the double array.
    qsizetype states() const
    {
        return m_states;
    }
    qsizetype hashedStates() const
    {
        return m_hashedStates;
    }
    qsizetype slotCount() const
    {
        return static_cast<qsizetype>(m_slots.size());
    }

private:
    struct Slot
    {
        std::int32_t base;   // >= 0: transitions at base + class; MatchBase; or -(1 + list offset)
        std::uint32_t check; // the complement of the state whose transition lands here; 0: none
        std::uint32_t fail;  // the state's failure link, beside its base: a failed step reads one slot
    };

    std::uint32_t hashed(std::int32_t base, std::uint32_t unitClass) const;
    std::uint32_t next(std::uint32_t state, std::uint32_t unitClass) const;
    bool foldedPairAt(const char16_t*& p, const char16_t* end, std::uint32_t& state) const;

    std::vector<std::uint32_t> m_classes;       // a text unit's class (of its folded form); 0: in no keyword
    std::vector<std::uint32_t> m_foldedClasses; // a folded unit's class
    ZeroedVector<Slot> m_slots;
    std::vector<std::uint32_t> m_tables; // per hashed state: 32 - bits, then 2^bits (class, target)
    qsizetype m_states = 1;
    qsizetype m_hashedStates = 0;
    std::uint32_t m_multiplier = 1;
    bool m_empty = true;
};

// Removes from the working text every line that contains one of the keywords BatchKeywords
// gives for `list`, in one pass over the text: the lines kept are the text, the lines removed
// `setAside` (to replace the temporary text), both in input order; `list` is not changed. A
// line contains a keyword as 去包含 finds one: exact code units, case-sensitive, spaces
// counting, within the line (lines as SplitListLines gives them, so a keyword never matches
// across a line break, while a lone CR or LF keyword matches a lone one inside a line), or in
// folded form under the Case and Width folds (Spaces does not apply). The kept lines are
// exactly the non-empty lines the batch job would keep, in input order. Refusals: an empty
// working text (NoWorkingText) first, then a list that gives no keyword (NoKeywords). The
// meter starts at the number of lines, pulses through the scan and finishes.
ListOpResult RemoveAllKeywords(QStringView text, QStringView list, LineFolds folds, ProgressMeter& meter);

} // namespace lumbrel
