// 去重复, a map. A line is dropped when it occurs in the text kept so far; the search below
// answers that for every line at once, in five pieces:
//
//   1. Hashing and first occurrences (deduppatterns.h, .cpp): one core hashes every line and
//      then groups the long patterns by their anchor (HashContents), while the other finds each
//      line's first occurrence from the hashes as they come (FindFirstOccurrences). Every
//      distinct content is a pattern; PatternIndex holds what both cores learnt.
//   2. The tables (deduptables.h): the hash functions, the flat maps, the filters and the
//      length tables with their four-bit counts, which every other piece probes.
//   3. The two-part scan (dedupscan.h, .cpp): each core scans its own range of lines for every
//      window that is a pattern (Part, ScanPart) and notes, for each pattern, a line before
//      it that holds it (its container).
//   4. The suffix-array hand-over (dedupsuffixarray.h, .cpp): when the scan ran over its work
//      budget (Tuning, deduptuning.h), a suffix array finds the containers of the long
//      patterns instead (FindLongContainers).
//   5. The keep mask (here, KeepMask): a line is dropped when an earlier line holds it; a line
//      with a lone CR or LF is searched in the kept text itself.
//
// FindContainers, here, runs pieces 1, 3 and 4 on two cores. Why the result is exact: see
// "Why a search of the earlier lines is exact" below; why the scan's split gives the same
// result on every run: at splitPoint. The time and memory bound is proved below, above
// FindContainers; why a line's scan may stop early: above scanLine (dedupscan.cpp).

#include "lineops/dedup.h"

#include "lineops/deduppatterns.h"
#include "lineops/dedupscan.h"
#include "lineops/dedupsuffixarray.h"
#include "lineops/deduptuning.h"

#include <algorithm>
#include <atomic>
#include <latch>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <string>
#include <thread>

namespace lumbrel {

namespace dedup {

namespace {

// Why a search of the earlier lines is exact: the kept text only ever grows at its front, so
// anything found in it stays findable, and every earlier line was found in it or became part
// of it. A line is therefore dropped when it is a substring of any earlier line. For a line
// without a lone CR or LF that is also the only way: a match cannot cross the CR LF between two
// kept lines. Lines with a lone CR or LF are rare (the text areas store CR LF only) and get an
// exact search of the kept text itself.

// The early part scans the lines up to this share of the distinct text: the later part has
// fewer patterns to look for (those after its first line), so it takes a little more of the
// text.
constexpr std::size_t SplitPercent = 46;

void giveBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// Where the early part ends. Why the result is exact and the same on every run: the first line
// r holding a pattern f is never passed by (no line before r holds r) and f is never covered in
// it (no line before r holds f), so the part owning r finds it there, unless the early part
// found an earlier one first; the smaller of the two parts' answers is kept, whatever their
// timing.
uint32_t splitPoint(const PatternIndex& index)
{
    const auto n = static_cast<uint32_t>(index.lines.size());
    uint32_t mid = 0;
    for (std::size_t seen = 0; mid < n && seen * 100 < index.distinctUnits * SplitPercent; ++mid) {
        if (index.first[mid] == mid)
            seen += static_cast<std::size_t>(index.lines[mid].size());
    }
    return mid;
}

// first[i]: the first line with the content of line i (NoLine for an empty line).
// container[f]: a line before f holding the content of line f, or a line not before f.
struct Containers
{
    std::vector<uint32_t> first;
    std::vector<uint32_t> container;
    bool anyBreak = false; // some line holds a CR or LF
};

// Why the time is at most n log n in the text size n (units): finding each line's first equal
// line hashes every unit once. The short windows cost at most AnchorLength - 1 filter probes a
// unit, and a comparison of fewer than AnchorLength units only for a pattern not found yet (or
// sharing a key), at most once each. The long windows cost one anchor probe a unit, plus the
// counted work - a length tried, the units compared - which stops at the budget, 8n + 4096
// (Tuning). Past it the suffix array takes over the long patterns: sorting O(n log n), each
// pattern of m units located in O(m log n) and its smallest position in O(1) blocks, together
// O(n log n). The memory beyond the text: a few tens of bytes a line (the hashes, the tables,
// and each core's length tables, sized to the patterns), 8 bytes a unit of a block of the
// longest line for each core, and for the suffix array at most 3 bytes and 12 bytes of
// positions a unit.
Containers FindContainers(const LineList& lines, ProgressMeter& meter, const Tuning& tuning)
{
    const auto n = static_cast<uint32_t>(lines.size());
    PatternIndex index(lines);
    std::vector<uint32_t> container(n, NoLine); // the early part's found, from line 0
    std::vector<uint32_t> later;                // the late part's, from mid on
    uint32_t mid = 0;
    const std::size_t budget = tuning.workPerUnit * index.units + tuning.workFloor;
    std::atomic<bool> overBudget{budget == 0};

    // The other core hashes every line first, then builds what depends on the contents alone
    // (the long patterns' anchor groups and filters, the one-unit lines): a repeated line adds
    // nothing to those. Meanwhile this core finds each line's first occurrence from the hashes
    // as they come. The later part's tables wait for those, and each part's scan for the
    // other's tables and the groups.
    std::atomic<uint32_t> hashed{0};
    std::latch firstsKnown{1}; // `mid` and `later` are set
    std::latch partsBuilt{2};
    std::thread other([&] {
        HashContents(index, hashed);
        firstsKnown.wait();
        Part late(index, mid, n, later.data(), budget / 2);
        partsBuilt.arrive_and_wait();
        ScanPart(index, late, container.data(), overBudget, nullptr);
    });
    FindFirstOccurrences(index, hashed, meter);
    mid = splitPoint(index);
    later.assign(n - mid, NoLine);
    firstsKnown.count_down();
    Part early(index, 0, mid, container.data(), budget / 2);
    partsBuilt.arrive_and_wait();
    ScanPart(index, early, container.data(), overBudget, &meter);
    other.join();
    for (uint32_t f = mid; f < n; ++f)
        container[f] = std::min(container[f], later[f - mid]);
    if (overBudget.load(std::memory_order_relaxed))
        FindLongContainers(lines, index.first, container, meter);
    return {std::move(index.first), std::move(container), index.anyBreak};
}

} // namespace

std::vector<char> KeepMask(const LineList& lines, ProgressMeter& meter, const Tuning& tuning)
{
    const auto n = static_cast<uint32_t>(lines.size());
    std::vector<char> keep(n, 0);
    if (n == 0)
        return keep;
    // What earlier commands freed in pieces stays in the heap, and the tables below seldom
    // fit in those pieces: give it back first, and the pieces of the tables after them.
    giveBackFreedMemory();
    const Containers found = FindContainers(lines, meter, tuning);
    // Freed in pieces, partly by the other core's heap: they would add to the result's peak.
    giveBackFreedMemory();

    // The kept text reversed, kept only when some line needs the exact search: putting a
    // line in front of the kept text is then an append.
    std::u16string keptReversed;
    for (uint32_t i = 0; i < n; ++i) {
        const QStringView line = lines[i];
        bool dropped = false;
        if (i == 0) {
            dropped = false;
        } else if (line.isEmpty()) {
            dropped = true;
        } else {
            const uint32_t f = found.first[i];
            dropped = f < i || found.container[f] < i;
            if (!dropped && found.anyBreak && hasLoneBreak(line)) {
                std::u16string needle(line.utf16(), line.utf16() + line.size());
                std::reverse(needle.begin(), needle.end());
                dropped = keptReversed.find(needle) != std::u16string::npos;
            }
        }
        keep[i] = dropped ? 0 : 1;
        if (!dropped && found.anyBreak) {
            keptReversed.append(u"\n\r");
            const std::u16string forward(line.utf16(), line.utf16() + line.size());
            keptReversed.append(forward.rbegin(), forward.rend());
        }
    }
    return keep;
}

} // namespace dedup

std::vector<char> DuplicateKeepMask(const LineList& lines, ProgressMeter& meter)
{
    return dedup::KeepMask(lines, meter);
}

LineOpResult RemoveDuplicates(QStringView text, ProgressMeter& meter)
{
    const LineList lines = SplitLines(text);
    if (lines.size() < 3)
        return LineOpResult::refuse(QStringLiteral("数据不足，人工去除吧"));
    meter.start(lines.size());
    const std::vector<char> keep = DuplicateKeepMask(lines, meter);
    for (const char k : keep) {
        if (k)
            meter.step();
    }
    meter.finish();
    LineOpResult result;
    result.text = FrontJoinKept(lines, keep);
    return result;
}

} // namespace lumbrel
