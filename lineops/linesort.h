#pragma once

#include "lineops/lineset.h"

namespace lumbrel {

enum class SortOrder
{
    Pinyin,  // ICU's Chinese collation (zh_CN: Han characters by pinyin), as QCollator::compare orders
    Natural, // the same with runs of digits (full-width ones too) compared by value: 关键词2 < 关键词10
    Length,  // characters as CharacterCount counts them, shorter first
};

// Sorts the lines (SplitListLines' rule) ascending and stable: lines that compare equal keep
// their input order. Pinyin and Natural order by the sort keys of a QCollator for
// QLocale(QLocale::Chinese, QLocale::China), except that an empty line comes before every
// other one, as QCollator::compare has it (lines that differ only in characters the collation
// ignores, such as NUL, compare equal). For Pinyin that is exactly QCollator::compare's order;
// in numeric mode ICU's compare() alone misorders full-width digits after an equal start
// ("１１" before "１a"), which the keys order by value. Each line is followed by CR LF. Refuses an
// empty text with "工作区没有内容". The meter starts at the number of lines, pulses while the
// keys are made, and finishes. `kept` is the number of lines.
ListOpResult SortLines(QStringView text, SortOrder order, ProgressMeter& meter);

// The lines in reverse order, each followed by CR LF. Refuses an empty text with "工作区没有内容".
ListOpResult ReverseLines(QStringView text);

} // namespace lumbrel
