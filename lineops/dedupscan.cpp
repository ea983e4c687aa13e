#include "lineops/dedupscan.h"

#include <algorithm>
#include <bit>

namespace lumbrel::dedup {

namespace {

// The longest short length; bit m of a length mask stands for it, bit 1 for the long ones.
constexpr qsizetype LongestShort = AnchorLength - 1;
static_assert(LongestShort < LengthTable::LengthBits, "one bit a short length");
// Lengths two and three have no quad slot: the quad table never clears their bits.
constexpr unsigned NoQuadLengths = 0b1100;
// The length tables grow with the patterns, so that a slot names few lengths and a long
// window seldom reaches the tables behind the bits; from 1 Ki slots, up to a size that
// still mostly sits in the cache.
constexpr int MinSlotsLog2 = 10;
constexpr int MaxPairSlotsLog2 = 18;
constexpr int MaxQuadSlotsLog2 = 22;
// The filter of short patterns: 2 MiB of bits at most, so it stays in the cache while the
// patterns map does not; its word from key bits 24 up, its three bits from the top 18.
constexpr int NearMaxBitsLog2 = 24;
constexpr int NearWordShift = 24;
constexpr int NearBitShift = 46;
// How far ahead the slow table accesses are started, in patterns (building a part), lines
// (a pattern passed by leaves the filter) and starts (a start's slots): far enough for a miss
// to arrive, near enough for the prefetched lines to stay.
constexpr uint32_t BuildAhead = 8;
constexpr uint32_t PassAhead = 16;
constexpr qsizetype LookAhead = 8;
// Probes queued before they go out together.
constexpr int ProbeBatch = 64;
// A huge line's window hashes are kept a block of this many starts at a time (512 KiB).
constexpr qsizetype HashBlock = qsizetype{1} << 16;
// The early part's pulse, every this many lines.
constexpr uint32_t PulseEvery = 1024;

int slotsLog2(std::size_t wanted, int most)
{
    int log2 = MinSlotsLog2;
    while ((std::size_t{1} << log2) < wanted && log2 < most)
        ++log2;
    return log2;
}

// The short pattern `line` with filter key `key`, found or passed by, leaves the filter and the
// length tables.
inline void forgetShort(Part& part, QStringView line, uint64_t key)
{
    part.near.remove(key);
    const int bit = static_cast<int>(line.size());
    if (line.size() >= 2)
        part.pairs.remove(part.pairs.slotOf(pairOf(line, 0)), bit);
    if (line.size() >= 4)
        part.quads.remove(part.quads.slotOf(hashOf(line.first(4))), bit);
}

// A line's window hashes: the hashes of its prefixes from `base` on, prefix i of the line (its
// first i units) at at[i - base]. A huge line is hashed a block of starts at a time, so the
// buffer holds the block and the longest window after it, not the whole line.
struct Prefixes
{
    const uint64_t* at = nullptr;
    qsizetype base = 0;
};

// A short window waiting for its probes; a line's windows are probed a batch at a time, so
// that the probes' cache misses overlap instead of following each other.
struct Probe
{
    uint64_t h;
    uint64_t filterKey;
    qsizetype s;
    qsizetype m;
};

// A start's slots in the part's length tables and its anchor key (0: none, no long pattern
// fits after it), found a few starts ahead.
struct StartSlots
{
    qsizetype start = -1;
    std::size_t pair = 0;
    std::size_t quad = 0;
    uint64_t anchor = 0;
};

// The steps of the scan are free functions of internal linkage, the index and the part their
// first arguments: the compiler then inlines them into the loop over a line's starts, and
// keeps both in registers there.

inline uint64_t windowHash(const PatternIndex& index, const Prefixes& p, qsizetype s, qsizetype m)
{
    // No window is longer than the cap: the only longer pattern would be the line itself.
    return p.at[s + m - p.base] - p.at[s - p.base] * index.pow[static_cast<std::size_t>(m)];
}

// The first line with the content of `window`, or NoLine.
inline uint32_t patternOf(const PatternIndex& index, Part& part, QStringView window, uint64_t h)
{
    uint64_t key = mix(h, static_cast<uint64_t>(window.size()));
    for (;;) {
        const uint32_t f = index.patterns.find(key);
        if (f == NoLine)
            return f;
        // Comparing is work of the budget too: a window met again compares again.
        part.work += static_cast<std::size_t>(window.size());
        if (index.lines[f] == window)
            return f;
        if (!index.chained[f])
            return NoLine;
        key = nextOnChain(key);
    }
}

inline void queue(Part& part, Probe* probes, int& count, uint64_t h, qsizetype s, qsizetype m)
{
    const uint64_t filterKey = filterKeyOf(h, m);
    part.near.prefetchBits(filterKey);
    probes[count++] = Probe{h, filterKey, s, m};
}

inline void
record(const PatternIndex& index, Part& part, uint32_t j, QStringView window, uint64_t h, uint64_t filterKey)
{
    uint64_t key = mix(h, static_cast<uint64_t>(window.size()));
    for (;;) {
        const uint32_t f = index.patterns.find(key);
        if (f == NoLine)
            return;
        // A pattern passed by or already found needs no comparison, unless another shares its
        // key.
        const bool pending = f > j && part.at(f) == NoLine;
        if (!pending && !index.chained[f])
            return;
        if (index.lines[f] == window) {
            if (pending) {
                part.set(f, j);
                if (!index.chained[f])
                    forgetShort(part, window, filterKey);
            }
            return;
        }
        key = nextOnChain(key);
    }
}

// Probes the queued windows of line j: first the filter for all, then the table for the few
// it lets through. The windows of one line may be recorded in any order.
inline void flush(const PatternIndex& index, Part& part, uint32_t j, Probe* probes, int& count)
{
    const QStringView line = index.lines[j];
    int passed = 0;
    for (int k = 0; k < count; ++k) {
        // A filter the second-level cache holds, before a table it does not.
        if (!part.near.mayContain(probes[k].filterKey))
            continue;
        index.patterns.prefetch(mix(probes[k].h, static_cast<uint64_t>(probes[k].m)));
        probes[passed++] = probes[k];
    }
    for (int k = 0; k < passed; ++k)
        record(index, part, j, line.sliced(probes[k].s, probes[k].m), probes[k].h, probes[k].filterKey);
    count = 0;
}

inline StartSlots
slotsOf(const PatternIndex& index, const Part& part, const Prefixes& p, QStringView line, qsizetype a, bool longs)
{
    StartSlots k;
    k.start = a;
    k.pair = part.pairs.slotOf(pairOf(line, a));
    if (a + 4 <= line.size())
        k.quad = part.quads.slotOf(windowHash(index, p, a, 4));
    if (longs && a + AnchorLength <= line.size())
        k.anchor = anchorKey(windowHash(index, p, a, AnchorLength));
    return k;
}

// Tries the long lengths of `anchor`'s group at start s of line j, from the longest down.
inline void scanLong(const PatternIndex& index,
                     Part& part,
                     std::atomic<bool>& overBudget,
                     uint32_t j,
                     qsizetype s,
                     uint64_t anchor,
                     const Prefixes& p,
                     qsizetype& cover)
{
    const QStringView line = index.lines[j];
    // Most anchors are none: the bits answer that from the cache, the table seldom.
    if (!index.anchorBits.mayContain(anchor))
        return;
    const uint32_t group = index.anchors.find(anchor);
    if (group == NoLine)
        return;
    const qsizetype* const shortest = index.groupLengths.data() + index.groupStart[group];
    const qsizetype* const end = index.groupLengths.data() + index.groupStart[group + 1];
    // At the line's start its own length is the line itself, nothing to find.
    const qsizetype* it = std::upper_bound(shortest, end, line.size() - s - (s == 0 ? 1 : 0));
    while (it != shortest) {
        const qsizetype m = *--it;
        if (s + m <= cover)
            return;
        if (++part.work > part.budget) {
            overBudget.store(true, std::memory_order_relaxed);
            return;
        }
        const uint64_t h = windowHash(index, p, s, m);
        if (!index.longBits.mayContain(mix(h, static_cast<uint64_t>(m))))
            continue;
        const uint32_t f = patternOf(index, part, line.sliced(s, m), h);
        if (f == NoLine)
            continue;
        if (f < j) {
            cover = s + m;
            return;
        }
        if (part.at(f) == NoLine)
            part.set(f, j);
    }
}

// Why the scan is bounded on ordinary lists and stops early on hostile ones: every pattern
// inside an earlier line lies inside a line before this one, so a window inside an occurrence
// of one ("covered") holds nothing this line could be the first to hold. At each start the
// long lengths are tried from the longest down and stop at the first covered end; a start
// whose first units begin no pattern is passed by. `buffer` is the calling core's, for the
// window hashes (Prefixes).
void scanLine(
    const PatternIndex& index, Part& part, std::atomic<bool>& overBudget, uint32_t j, std::vector<uint64_t>& buffer)
{
    const QStringView line = index.lines[j];
    const qsizetype len = line.size();
    // Every window ends at most `reach` after its start; a block of at least that many
    // starts keeps the overlap copied between blocks below the text.
    const qsizetype reach = std::min(len, index.powCap);
    const qsizetype block = std::max(HashBlock, reach);
    buffer.resize(static_cast<std::size_t>(std::min(len, block + reach)) + 1);
    Prefixes p{buffer.data(), 0};
    buffer[0] = 0;
    qsizetype filled = 0; // prefixes up to this one are in the buffer
    const auto fill = [&](qsizetype upTo) {
        for (; filled < upTo; ++filled)
            buffer[static_cast<std::size_t>(filled + 1 - p.base)] =
                buffer[static_cast<std::size_t>(filled - p.base)] * Base + line[filled].unicode();
    };
    fill(std::min(len, block + reach));

    const bool longs = !index.groupLengths.empty() && len > AnchorLength && !overBudget.load(std::memory_order_relaxed);
    StartSlots ahead[LookAhead];
    const auto lookAhead = [&](qsizetype a) {
        StartSlots& k = ahead[a % LookAhead];
        k = slotsOf(index, part, p, line, a, longs);
        part.pairs.prefetch(k.pair);
        part.quads.prefetch(k.quad);
        if (k.anchor != 0)
            index.anchorBits.prefetch(k.anchor);
    };
    for (qsizetype a = 0; a < std::min(len - 1, LookAhead); ++a)
        lookAhead(a);
    Probe probes[ProbeBatch + AnchorLength];
    int queued = 0;
    qsizetype cover = 0; // the windows ending here or before are covered
    // Once an earlier line covers the rest, no window left can hold anything new.
    for (qsizetype s = 0; s < len && cover < len; ++s) {
        if (s == p.base + block) {
            // The next block: keep the prefixes from s on, hash on to its reach.
            std::copy(buffer.begin() + block, buffer.begin() + (filled - p.base) + 1, buffer.begin());
            p.base = s;
            fill(std::min(len, s + block + reach));
        }
        if (queued >= ProbeBatch)
            flush(index, part, j, probes, queued);
        // The slot tables of a start a little ahead, so that their misses overlap too.
        if (const qsizetype a = s + LookAhead; a + 2 <= len && a < p.base + block)
            lookAhead(a);
        if (s + 1 > cover && len > 1 && index.singles[line[s].unicode()])
            queue(part, probes, queued, line[s].unicode(), s, 1);
        // Most starts begin no pattern of two units or more, or few.
        if (s + 2 > len)
            continue;
        StartSlots& k = ahead[s % LookAhead];
        if (k.start != s)
            k = slotsOf(index, part, p, line, s, longs);
        unsigned lengths = part.pairs.at(k.pair);
        if (lengths == 0)
            continue;
        if ((lengths & ~NoQuadLengths) != 0) {
            const unsigned quad = s + 4 <= len ? part.quads.at(k.quad) : 0u;
            lengths &= quad | NoQuadLengths;
        }
        if ((lengths & 2) && k.anchor != 0 && !overBudget.load(std::memory_order_relaxed))
            scanLong(index, part, overBudget, j, s, k.anchor, p, cover);
        // The lengths of this part that fit the line after s and reach past the cover.
        const qsizetype fit = std::min(len - 1, len - s);
        const qsizetype below = std::max<qsizetype>(1, cover - s);
        unsigned todo =
            lengths & ((2u << std::min(fit, LongestShort)) - 1) & ~((2u << std::min(below, LongestShort)) - 1);
        while (todo != 0) {
            const int m = std::countr_zero(todo);
            todo &= todo - 1;
            queue(part, probes, queued, windowHash(index, p, s, m), s, m);
        }
    }
    flush(index, part, j, probes, queued);
}

} // namespace

Part::Part(const PatternIndex& index, uint32_t begin, uint32_t end, uint32_t* foundFromBegin, std::size_t workBudget)
    : from(begin)
    , to(end)
    , found(foundFromBegin)
    , budget(workBudget)
    , near(index.shortsAfter(begin), NearMaxBitsLog2, NearWordShift, NearBitShift)
    , pairs(slotsLog2(index.distinctCount, MaxPairSlotsLog2))
    , quads(slotsLog2(index.quadCount / 2, MaxQuadSlotsLog2))
{
    // The long patterns stay in the length tables: a long window also finds the earlier lines
    // that cover it. The slots land anywhere: each line's are found a few lines ahead and
    // fetched meanwhile.
    struct Entry
    {
        uint64_t key = 0;
        std::size_t pair = 0;
        std::size_t quad = 0;
        int length = 0; // the line's length, AnchorLength for any long one, or 0 for no pattern of this part
    };
    const auto n = static_cast<uint32_t>(index.lines.size());
    const auto prepare = [&](uint32_t f) {
        Entry e;
        const QStringView line = index.lines[f];
        if (index.first[f] != f || line.isEmpty() || (line.size() < AnchorLength && f <= begin))
            return e;
        e.length = static_cast<int>(std::min(line.size(), AnchorLength));
        if (line.size() < AnchorLength) {
            e.key = filterKeyOf(index.hashes[f], line.size());
            near.prefetch(e.key);
        }
        if (line.size() >= 2) {
            e.pair = pairs.slotOf(pairOf(line, 0));
            pairs.prefetchCounts(e.pair);
        }
        if (line.size() >= 4) {
            e.quad = quads.slotOf(hashOf(line.first(4)));
            quads.prefetchCounts(e.quad);
        }
        return e;
    };
    Entry ahead[BuildAhead];
    for (uint32_t f = 0; f < std::min(n, BuildAhead); ++f)
        ahead[f] = prepare(f);
    for (uint32_t f = 0; f < n; ++f) {
        const Entry e = ahead[f % BuildAhead];
        if (f + BuildAhead < n)
            ahead[f % BuildAhead] = prepare(f + BuildAhead);
        // Bit 1 stands for the long lengths.
        const int bit = e.length == AnchorLength ? 1 : e.length;
        if (e.length == 0)
            continue;
        if (e.length < AnchorLength)
            near.add(e.key);
        if (e.length >= 2)
            pairs.add(e.pair, bit);
        if (e.length >= 4)
            quads.add(e.quad, bit);
    }
}

void ScanPart(const PatternIndex& index,
              Part& part,
              const uint32_t* earlyFound,
              std::atomic<bool>& overBudget,
              ProgressMeter* meter)
{
    std::vector<uint64_t> buffer;
    for (uint32_t j = part.from; j < part.to; ++j) {
        if (meter && j % PulseEvery == 0)
            meter->pulse(part.to - part.from + qsizetype{3} * (j - part.from), qsizetype{4} * (part.to - part.from));
        if (index.first[j] != j)
            continue;
        const QStringView line = index.lines[j];
        // A pattern passed by can no longer be inside an earlier line: out of the filters.
        if (j + PassAhead < part.to) {
            if (const uint64_t ahead = index.shortKey(j + PassAhead)) {
                const QStringView later = index.lines[j + PassAhead];
                part.near.prefetch(ahead);
                if (later.size() >= 2)
                    part.pairs.prefetchCounts(part.pairs.slotOf(pairOf(later, 0)));
                if (later.size() >= 4)
                    part.quads.prefetchCounts(part.quads.slotOf(hashOf(later.first(4))));
            }
        }
        if (j > part.from && part.at(j) == NoLine && !index.chained[j]) {
            if (const uint64_t key = index.shortKey(j))
                forgetShort(part, line, key);
        }
        // A line inside an earlier one (found by either part) adds no new container.
        const uint32_t early = std::atomic_ref<const uint32_t>(earlyFound[j]).load(std::memory_order_relaxed);
        if (part.at(j) < j || early < j || line.size() < 2)
            continue;
        scanLine(index, part, overBudget, j, buffer);
    }
}

} // namespace lumbrel::dedup
