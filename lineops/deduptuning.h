#pragma once

// How 去重复's search spends its work, and its entry point with a tuning: every tuning gives the
// same keep mask, so the tests run each comparison with the literal algorithm under several.

#include "lineops/linemodel.h"
#include "lineops/progressmeter.h"

#include <cstddef>
#include <vector>

namespace lumbrel::dedup {

struct Tuning
{
    // The window scan tries long lengths (and compares the long windows it meets) up to a
    // budget of workPerUnit a unit of text plus workFloor, half for each core; past it the
    // suffix array answers for every long pattern. Eight a unit: ordinary lists spend a
    // fraction of it, the hostile shapes of bench/make_hostile.py hand over early. The floor
    // keeps small texts off the suffix array. A budget of nothing hands every long pattern to
    // the suffix array from the start.
    std::size_t workPerUnit = 8;
    std::size_t workFloor = 4096;
};

inline constexpr Tuning SuffixArrayOnly{0, 0};

// DuplicateKeepMask, with the work divided as `tuning` says.
std::vector<char> KeepMask(const LineList& lines, ProgressMeter& meter, const Tuning& tuning = {});

} // namespace lumbrel::dedup
