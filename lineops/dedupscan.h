#pragma once

// The second phase of 去重复's search, the two-part scan: each core scans its own range of
// lines for the patterns after the range's first line, with its own filter and length tables,
// and writes where it found each pattern first. Every window whose length is that of a pattern
// is looked up: short patterns (below AnchorLength) through windows of their own length, long
// ones through their anchor and then each long length of its group, checked in full by hash,
// until the long work runs over the part's budget (the suffix array then answers for them).
// Every hit is verified by comparing the texts.

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

    // The short pattern `line` enters or leaves the length tables.
    void addLengths(QStringView line, bool add);
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

// Scans one part's lines on the calling core.
class PartScanner
{
public:
    // `earlyFound` is the early part's `found` (from line 0): a line the early part found inside
    // an earlier line is passed by in either part. `overBudget` is shared by both parts: once
    // one of them has spent its budget, neither tries long lengths any more.
    PartScanner(const PatternIndex& index, Part& part, const uint32_t* earlyFound, std::atomic<bool>& overBudget);

    // `meter`: the early part's pulse, the last three quarters of the bar; null for the other.
    void run(ProgressMeter* meter);

private:
    // The hashes of a line's prefixes from `base` on: prefix i of the line (its first i
    // units) at at[i - base]. A huge line is hashed a block of starts at a time, so the
    // buffer holds the block and the longest window after it, not the whole line.
    struct Prefixes
    {
        const uint64_t* at = nullptr;
        qsizetype base = 0;
    };
    // A short window waiting for its probes; a line's windows are probed a batch at a time,
    // so that the probes' cache misses overlap instead of following each other.
    struct Probe
    {
        uint64_t h;
        uint64_t filterKey;
        qsizetype s;
        qsizetype m;
    };
    // A start's slots in the part's length tables and its anchor key (0: none, no long
    // pattern fits after it), found a few starts ahead.
    struct StartSlots
    {
        qsizetype start = -1;
        std::size_t pair = 0;
        std::size_t quad = 0;
        uint64_t anchor = 0;
    };

    bool overBudget() const
    {
        return m_overBudget.load(std::memory_order_relaxed);
    }
    uint64_t windowHash(const Prefixes& p, qsizetype s, qsizetype m) const
    {
        // No window is longer than the cap: the only longer pattern would be the line itself.
        return p.at[s + m - p.base] - p.at[s - p.base] * m_index.pow[static_cast<std::size_t>(m)];
    }

    void scanLine(uint32_t j);
    StartSlots slotsOf(const Prefixes& p, QStringView line, qsizetype a, bool longs) const;
    void scanLong(uint32_t j, qsizetype s, uint64_t anchor, const Prefixes& p, qsizetype& cover);
    uint32_t patternOf(QStringView window, uint64_t h);
    void queue(Probe* probes, int& count, uint64_t h, qsizetype s, qsizetype m);
    void flush(uint32_t j, Probe* probes, int& count);
    void record(uint32_t j, QStringView window, uint64_t h, uint64_t filterKey);

    const PatternIndex& m_index;
    Part& m_part;
    const uint32_t* m_earlyFound;
    std::atomic<bool>& m_overBudget;
    std::vector<uint64_t> m_prefix; // the window hashes of the line in hand (Prefixes)
};

} // namespace lumbrel::dedup
