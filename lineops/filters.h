#pragma once

#include "lineops/linemodel.h"
#include "lineops/lineop.h"
#include "lineops/progressmeter.h"

namespace lumbrel {

// True when `text` holds at least one code unit in U+4E00..U+9FA5 (both ends included).
// Nothing else counts: CJK punctuation, full-width forms, extension blocks, surrogates.
bool HasChineseCharacter(QStringView text);

// "去空行": replaces every three CR LF in a row by one, then every two by one (each a single
// left-to-right pass, so long runs of empty lines shrink but may not vanish), then drops one
// CR LF at the start and one at the end. Refuses a text without CR LF.
LineOpResult RemoveEmptyLines(QStringView text);

enum class ChineseFilter
{
    KeepChinese, // "去英文": lines with a Chinese character stay
    KeepOther,   // "去汉字": lines without one stay
};

// "去英文" / "去汉字": splits the lines by HasChineseCharacter; the kept ones become the text and
// the others the set-aside text, both front-joined (reverse order). Never refuses.
LineOpResult FilterChinese(QStringView text, ChineseFilter mode);

enum class LengthFilter
{
    KeepShorter, // "去位长": lines shorter than N stay
    KeepLonger,  // "去位短": lines longer than N stay
};

// "去位长" / "去位短" with N given as typed (`limit`, not cleaned). Refuses, in this order,
// a text without CR LF, a limit that is no number and one that is no whole number. Lengths
// are UTF-16 code units compared strictly with N, so a line of exactly N units is set aside
// by both. Kept and set-aside lines are both grouped-front-joined; the meter steps per line.
LineOpResult FilterByLength(QStringView text, QStringView limit, LengthFilter mode, ProgressMeter& meter);

// "去包含": removes every line that contains `keyword` (exact code units, case-sensitive).
// Refuses an empty keyword, then a text of fewer than 4 lines. The kept lines are
// grouped-front-joined into the text, the removed ones front-joined into the set-aside
// text (empty when none). The meter steps per line. Linear in the text and the keyword for
// any of them.
LineOpResult RemoveContaining(QStringView text, QStringView keyword, ProgressMeter& meter);

} // namespace lumbrel
