#pragma once

// Piece 3 of 去重复's search (the map is in dedup.cpp), the two-part scan: each core scans its own
// range of lines for the patterns after the range's first line, with its own filter and length
// tables, and writes where it found each pattern first. Every window whose length is that of a
// pattern is looked up: short patterns (below AnchorLength) through windows of their own
// length, long ones through their anchor and then each long length of its group, checked in
// full by hash, until the long work runs over the part's budget (the suffix array then answers
// for them). Every hit is verified by comparing the texts.

#include "lineops/deduppatterns.h"
#include "lineops/progressmeter.h"

#include <atomic>
#include <vector>

namespace lumbrel::dedup {

// The lines [from, to), the filters of the short patterns after `from` not found in them yet,
// and where each pattern after `from` was found first (`found[f - from]`).
struct Part
{
    // Builds the part's filter and length tables from the patterns after `begin`.
    Part(const PatternIndex& index, uint32_t begin, uint32_t end, uint32_t* foundFromBegin, std::size_t workBudget);

    // Written by this part, read by the other: a line found inside an earlier one is passed by.
    uint32_t at(uint32_t f) const
    {
        return std::atomic_ref<const uint32_t>(found[f - from]).load(std::memory_order_relaxed);
    }
    void set(uint32_t f, uint32_t j)
    {
        std::atomic_ref<uint32_t>(found[f - from]).store(j, std::memory_order_relaxed);
    }

    uint32_t from;
    uint32_t to;
    uint32_t* found;
    std::size_t work = 0; // long lengths tried and units compared for them
    std::size_t budget;
    PendingFilter near;
    LengthTable pairs; // by the first two units
    LengthTable quads; // by the first four units, for the lengths of four and up
};

// Scans the lines of `part` on the calling core. `earlyFound` is the early part's `found` (from
// line 0): a line the early part found inside an earlier line is passed by in either part.
// `overBudget` is shared by both parts: once one of them has spent its budget, neither tries
// long lengths any more. `meter`: the early part's pulse, the last three quarters of the bar;
// null for the other.
void ScanPart(const PatternIndex& index,
              Part& part,
              const uint32_t* earlyFound,
              std::atomic<bool>& overBudget,
              ProgressMeter* meter);

} // namespace lumbrel::dedup
