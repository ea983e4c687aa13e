#pragma once

#include "lineops/linefold.h"
#include "lineops/lineop.h"
#include "lineops/progressmeter.h"

#include <utility>

namespace lumbrel {

// The list commands (更多处理) that compare whole lines. Common to all of them:
// - Lines as SplitListLines gives them (a final CR LF ends the last line); results are lines
//   in input order unless said otherwise, each followed by CR LF, and never an added empty line.
// - Lines are compared in their folded form (LineFold) and kept in their own text.
// - An empty working text is refused with "工作区没有内容"; the commands that read the temporary
//   text refuse an empty one with "临时区没有内容" (after the working text's check). A refusal
//   leaves the meter untouched.
// - Where lines are set aside, `setAside` holds them (in input order), to replace the temporary
//   text; where it stays as it is, `setAside` is empty.
// - The meter starts at the number of working lines, its pulse moves while the lines are
//   grouped, and it finishes at the end.
// - Linear in the texts on any input (see GroupLines); both cores work.

// A list command's result with the counts its message needs.
struct ListOpResult : LineOpResult
{
    qsizetype kept = 0;    // lines of the new working text
    qsizetype removed = 0; // lines read that are not in it (set aside, where there is a setAside)

    static ListOpResult refuse(QString message)
    {
        ListOpResult r;
        r.refusal = std::move(message);
        return r;
    }
};

inline const QString NoWorkingText = QStringLiteral("工作区没有内容");
inline const QString NoTemporaryText = QStringLiteral("临时区没有内容");

// The number of lines SplitListLines gives, without building them.
qsizetype CountListLines(QStringView text);

// PartitionLines over the lines SplitListLines gives: the empty piece after a final CR LF is
// no line and is not passed to `passes`.
template <typename Passes> LinePartition PartitionListLines(QStringView text, Passes&& passes)
{
    return PartitionLines(text, std::forward<Passes>(passes), true);
}

// The lines of `text` (SplitListLines' rule) parted as `parts` says, both sides in input order,
// each line followed by CR LF: those that passed become the text, the others `setAside` when
// `withAside` (otherwise they are only counted, in `removed`).
ListOpResult JoinInOrder(QStringView text, const LinePartition& parts, bool withAside);

// Keeps the first occurrence of each line; the later copies are set aside.
ListOpResult ExactDedup(QStringView text, LineFolds folds, ProgressMeter& meter);

// Keeps the lines that occur once; every copy of the others is set aside.
ListOpResult UniqueOnly(QStringView text, LineFolds folds, ProgressMeter& meter);

// Keeps the first copy of each line that occurs more than once; the rest (the lines that occur
// once and the later copies) is set aside.
ListOpResult DuplicatesOnly(QStringView text, LineFolds folds, ProgressMeter& meter);

// Keeps the working lines that do not occur in `temp` (copies among them stay); `temp` stays.
ListOpResult SubtractLines(QStringView text, QStringView temp, LineFolds folds, ProgressMeter& meter);

// Keeps the working lines that occur in `temp` (copies among them stay); `temp` stays.
ListOpResult IntersectLines(QStringView text, QStringView temp, LineFolds folds, ProgressMeter& meter);

// The working lines followed by the temporary ones, the first occurrence of each line kept;
// `temp` stays. `removed` counts the copies dropped from both.
ListOpResult UnionLines(QStringView text, QStringView temp, LineFolds folds, ProgressMeter& meter);

// One line per distinct line: its first occurrence's text, a tab, the number of lines equal to
// it (decimal); the most frequent first, ties in the order of first occurrence. `kept` is the
// number of distinct lines, `removed` the other lines read.
ListOpResult CountOccurrences(QStringView text, LineFolds folds, ProgressMeter& meter);

struct ListStatistics
{
    QString refusal;
    qsizetype lines = 0;
    qsizetype distinct = 0; // groups of equal (folded) lines
    qsizetype empty = 0;    // lines whose folded form is empty (blank ones too, with Spaces)
    qsizetype longest = 0;  // characters of the longest line as CharacterCount counts them

    bool refused() const
    {
        return !refusal.isEmpty();
    }
    // "统计：共N行，不重复M行，空行K行，最长L字"
    QString message() const;
};

// The numbers of the 统计 command; the text stays as it is.
ListStatistics LineStatistics(QStringView text, LineFolds folds, ProgressMeter& meter);

} // namespace lumbrel
