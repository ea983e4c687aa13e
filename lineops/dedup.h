#pragma once

#include "lineops/linemodel.h"
#include "lineops/lineop.h"
#include "lineops/progressmeter.h"

#include <vector>

namespace lumbrel {

// Which lines "去重复" keeps (1) and drops (0). A line is dropped when it occurs anywhere in
// the text kept so far (the kept lines front-joined with CR LF): as a whole line, as part of
// a longer line, and - for lines holding a lone CR or LF - across the line breaks. The
// first line is always kept; a later empty line never is. The meter's pulse shows the search.
std::vector<char> DuplicateKeepMask(const LineList& lines, ProgressMeter& meter);

// "去重复": refuses texts of fewer than three lines; otherwise keeps the first occurrence of
// every line, front-joined (reverse order). The meter steps once per kept line.
LineOpResult RemoveDuplicates(QStringView text, ProgressMeter& meter);

} // namespace lumbrel
