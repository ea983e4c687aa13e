#pragma once

// Piece 4 of 去重复's search (the map is in dedup.cpp), the hand-over: when the window scan ran
// over its budget, a suffix array answers for every long pattern the scan has not found inside
// an earlier line.

#include "lineops/linemodel.h"
#include "lineops/progressmeter.h"

#include <cstdint>
#include <vector>

namespace lumbrel::dedup {

// first[i]: the first line with the content of line i. container[f]: a line before f found to
// hold the content of line f, or a line not before f (f itself, later, or NoLine). Sets
// container[f] to the first line before f holding it, for every long first occurrence f
// without line breaks that has none yet and is held by one. The meter's pulse goes over the
// lines once.
void FindLongContainers(const LineList& lines,
                        const std::vector<uint32_t>& first,
                        std::vector<uint32_t>& container,
                        ProgressMeter& meter);

} // namespace lumbrel::dedup
