#include "lineops/dedup.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <divsufsort.h>
#include <limits>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <string>
#include <sys/mman.h>
#include <thread>
#include <type_traits>

namespace lumbrel {

namespace {

// Why this is exact: the kept text only ever grows at its front, so anything found in it
// stays findable, and every earlier line was found in it or became part of it. A line is
// therefore dropped when it is a substring of any earlier line. For a line without a lone CR
// or LF that is also the only way: a match cannot cross the CR LF between two kept lines.
// Lines with a lone CR or LF are rare (the text areas store CR LF only) and get an exact
// search of the kept text itself.
//
// "Substring of an earlier line" is found with hashing: every distinct line content is a
// pattern, and every window of a line whose length is that of a pattern is looked up. Short
// patterns (below AnchorLength) are found through windows of their own length; longer ones
// through their first AnchorLength units, checked in full by hash, so a long line costs at
// most AnchorLength lookups a position. Every hit is verified by comparing the texts.

constexpr qsizetype AnchorLength = 16;
constexpr uint64_t Base = 0x100000001b3ULL;
constexpr uint32_t NoLine = std::numeric_limits<uint32_t>::max();

// Asks for huge pages under the big tables where the system allows it: their probes land
// anywhere, and with small pages nearly each one misses the address translation cache too.
// The memory itself comes from the heap as any other, so a later command can reuse it.
template <typename T> struct TableAllocator
{
    using value_type = T;
    TableAllocator() = default;
    template <typename U> TableAllocator(const TableAllocator<U>& /*other*/)
    {
    }
    T* allocate(std::size_t n)
    {
        T* const p = std::allocator<T>().allocate(n);
#ifdef MADV_HUGEPAGE
        constexpr std::uintptr_t Huge = std::uintptr_t{2} << 20;
        const auto begin = (reinterpret_cast<std::uintptr_t>(p) + Huge - 1) / Huge * Huge;
        const auto end = (reinterpret_cast<std::uintptr_t>(p + n)) / Huge * Huge;
        if (end > begin)
            madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
        return p;
    }
    void deallocate(T* p, std::size_t n)
    {
        std::allocator<T>().deallocate(p, n);
    }
    template <typename U> bool operator==(const TableAllocator<U>& /*other*/) const
    {
        return true;
    }
};
template <typename T> using Table = std::vector<T, TableAllocator<T>>;

inline uint64_t mix(uint64_t h, uint64_t salt)
{
    h ^= salt * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 29;
    return h;
}

// Open addressing map from a 64-bit key to a 32-bit value (never NoLine). It never grows,
// so a key's probe path stays the one it was inserted on. With `WholeKeys` false a slot is
// one word, keeping only the key's low half (the slot comes from its high half): keys whose
// halves meet on one probe path are one key to it, so its users must compare what the value
// stands for and chain such keys, as the patterns do (m_chained).
template <bool WholeKeys> class FlatMap
{
public:
    // Room for `expected` entries at most.
    explicit FlatMap(std::size_t expected)
    {
        std::size_t cap = 16;
        while (cap < expected * 2)
            cap <<= 1;
        m_slots.assign(cap, Slot{});
        m_mask = cap - 1;
    }

    // The value stored for `key`, or NoLine.
    uint32_t find(uint64_t key) const
    {
        for (std::size_t i = indexOf(key);; i = (i + 1) & m_mask) {
            const Slot slot = m_slots[i];
            if (slot.value == NoLine || slot.key == kept(key))
                return slot.value;
        }
    }

    void prefetch(uint64_t key) const
    {
        __builtin_prefetch(&m_slots[indexOf(key)]);
    }

    // Inserts `key` with `value` unless present; returns the value stored for it.
    uint32_t insert(uint64_t key, uint32_t value)
    {
        for (std::size_t i = indexOf(key);; i = (i + 1) & m_mask) {
            Slot& slot = m_slots[i];
            if (slot.value == NoLine)
                slot = Slot{kept(key), value};
            if (slot.key == kept(key))
                return slot.value;
        }
    }

private:
    using Key = std::conditional_t<WholeKeys, uint64_t, uint32_t>;
    struct Slot
    {
        Key key = 0;
        uint32_t value = NoLine;
    };

    std::size_t indexOf(uint64_t key) const
    {
        return static_cast<std::size_t>(key >> 32) & m_mask;
    }
    static Key kept(uint64_t key)
    {
        return static_cast<Key>(key);
    }

    Table<Slot> m_slots;
    std::size_t m_mask = 0;
};

// Answers "no pending pattern has this key" from a bit array small enough for the cache:
// most windows are no pattern, or a pattern found or passed long ago. The counts behind the
// bits are touched only when a pattern is added, found or passed; four bits each, as a bit
// seldom holds more than a few patterns and the counts would otherwise weigh eight times
// the bits.
class PendingFilter
{
public:
    // `maxBits` bounds the bit array (its cache level); `shift` and `bitShift` pick which key
    // bits choose the word and its three bits, so two filters of one key answer independently.
    PendingFilter(std::size_t patterns, int maxBitsLog2, int shift, int bitShift)
        : m_shift(shift)
        , m_bitShift(bitShift)
    {
        std::size_t count = 1 << 16;
        while (count < patterns * 16 && count < (std::size_t{1} << maxBitsLog2))
            count <<= 1;
        m_bits.assign(count / 64, 0);
        m_counts.assign(count / 2, 0);
        m_mask = count / 64 - 1;
    }
    void add(uint64_t key)
    {
        const uint64_t word = (key >> m_shift) & m_mask;
        for (uint64_t bits = bitsOf(key); bits != 0; bits &= bits - 1) {
            const uint64_t slot = word << 6 | static_cast<uint64_t>(std::countr_zero(bits));
            const unsigned n = countAt(slot);
            if (n < Saturated)
                setCount(slot, n + 1);
        }
        m_bits[word] |= bitsOf(key);
    }
    void remove(uint64_t key)
    {
        const uint64_t word = (key >> m_shift) & m_mask;
        for (uint64_t bits = bitsOf(key); bits != 0; bits &= bits - 1) {
            const uint64_t slot = word << 6 | static_cast<uint64_t>(std::countr_zero(bits));
            // A saturated slot has lost its count and stays set: it may only answer "maybe".
            const unsigned n = countAt(slot);
            if (n == Saturated)
                continue;
            setCount(slot, n - 1);
            if (n == 1)
                m_bits[word] &= ~(uint64_t{1} << (slot & 63));
        }
    }
    // Brings the counts of `key` near, for a removal soon.
    void prefetch(uint64_t key) const
    {
        __builtin_prefetch(&m_counts[((key >> m_shift) & m_mask) << 5], 1);
    }
    bool mayContain(uint64_t key) const
    {
        const uint64_t bits = bitsOf(key);
        return (m_bits[(key >> m_shift) & m_mask] & bits) == bits;
    }
    // Brings the bits of `key` near, for a probe soon.
    void prefetchBits(uint64_t key) const
    {
        __builtin_prefetch(&m_bits[(key >> m_shift) & m_mask]);
    }

private:
    // Three bits of one word: one memory access a probe, and far fewer false answers than
    // one bit in the same space.
    uint64_t bitsOf(uint64_t key) const
    {
        const uint64_t b = key >> m_bitShift;
        return uint64_t{1} << (b & 63) | uint64_t{1} << ((b >> 6) & 63) | uint64_t{1} << ((b >> 12) & 63);
    }
    unsigned countAt(uint64_t slot) const
    {
        return (m_counts[slot >> 1] >> ((slot & 1) * 4)) & 0xF;
    }
    void setCount(uint64_t slot, unsigned n)
    {
        const unsigned shift = (slot & 1) * 4;
        uint8_t& pair = m_counts[slot >> 1];
        pair = static_cast<uint8_t>((pair & ~(0xFu << shift)) | (n << shift));
    }

    static constexpr unsigned Saturated = 15;
    Table<uint64_t> m_bits;
    Table<uint8_t> m_counts;
    uint64_t m_mask = 0;
    int m_shift = 0;
    int m_bitShift = 0;
};

// The lengths of the patterns whose first units fall in a slot, a bit each, with a count
// behind each bit so that a pattern can leave again; a count that reached its limit stays.
class LengthTable
{
public:
    explicit LengthTable(int slotsLog2)
        : m_masks(std::size_t{1} << slotsLog2, 0)
        , m_counts(std::size_t{8} << slotsLog2, 0)
        , m_shift(64 - slotsLog2)
    {
    }
    std::size_t slotOf(uint64_t key) const
    {
        return (key * 0x9E3779B97F4A7C15ULL) >> m_shift;
    }
    unsigned at(std::size_t slot) const
    {
        return m_masks[slot];
    }
    void prefetch(std::size_t slot) const
    {
        __builtin_prefetch(&m_masks[slot]);
    }
    // Brings a slot's counts and bits near, for a change soon.
    void prefetchCounts(std::size_t slot) const
    {
        __builtin_prefetch(&m_counts[slot << 3], 1);
        __builtin_prefetch(&m_masks[slot], 1);
    }
    void add(std::size_t slot, int bit)
    {
        uint8_t& pair = m_counts[slot << 3 | static_cast<std::size_t>(bit) >> 1];
        const int shift = (bit & 1) * 4;
        if (((pair >> shift) & 0xF) < Saturated)
            pair = static_cast<uint8_t>(pair + (1 << shift));
        m_masks[slot] = static_cast<uint16_t>(m_masks[slot] | 1u << bit);
    }
    void remove(std::size_t slot, int bit)
    {
        uint8_t& pair = m_counts[slot << 3 | static_cast<std::size_t>(bit) >> 1];
        const int shift = (bit & 1) * 4;
        const unsigned count = (pair >> shift) & 0xF;
        if (count == Saturated)
            return;
        pair = static_cast<uint8_t>(pair - (1 << shift));
        if (count == 1)
            m_masks[slot] = static_cast<uint16_t>(m_masks[slot] & ~(1u << bit));
    }

private:
    // Four bits a count: a slot seldom holds more than a few patterns of one length.
    static constexpr unsigned Saturated = 15;
    Table<uint16_t> m_masks;
    Table<uint8_t> m_counts;
    int m_shift;
};

// Sorts pairs whose first halves are hashes, so spread evenly: one counting pass on their
// top bits, then each bucket (a few pairs, or the copies of one repeated line) on its own.
void sortByHash(std::vector<std::pair<uint64_t, qsizetype>>& pairs)
{
    if (pairs.size() < 2)
        return;
    const int bits = std::bit_width(pairs.size()) - 1;
    const auto bucketOf = [bits](uint64_t hash) { return static_cast<std::size_t>(hash >> (64 - bits)); };
    std::vector<uint32_t> end((std::size_t{1} << bits) + 1, 0);
    for (const auto& p : pairs)
        ++end[bucketOf(p.first) + 1];
    for (std::size_t b = 1; b < end.size(); ++b)
        end[b] += end[b - 1];
    std::vector<std::pair<uint64_t, qsizetype>> sorted(pairs.size());
    for (const auto& p : pairs)
        sorted[end[bucketOf(p.first)]++] = p;
    // Each bucket now ends where the next one began.
    for (std::size_t b = 0, begin = 0; b + 1 < end.size(); begin = end[b++])
        std::sort(sorted.begin() + static_cast<std::ptrdiff_t>(begin), sorted.begin() + end[b]);
    pairs.swap(sorted);
}

void giveBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// The key of a long pattern's first AnchorLength units, from their hash; never 0.
uint64_t anchorKey(uint64_t hash)
{
    return mix(hash, 0xA11C) | 1;
}

bool hasLoneBreak(QStringView line)
{
    // Lines never hold CR LF, so any CR or LF in a line is a lone one.
    return line.contains(u'\r') || line.contains(u'\n');
}

// Why the time is at most n log n in the text size n (units): finding each line's first
// equal line hashes every unit once. The short windows cost at most AnchorLength - 1 filter
// probes a unit, and a comparison of fewer than AnchorLength units only for a pattern not found
// yet (or sharing a key), at most once each. The long windows cost one anchor probe a unit, plus
// the counted work - a length tried, the units compared - which stops at 8n + 4096. Past it the
// suffix array takes over the long patterns: sorting O(n log n), each pattern of m units
// located in O(m log n) and its smallest position in O(1) blocks, together O(n log n). The
// memory beyond the text: a few tens of bytes a line (the hashes, the tables, and each core's
// length tables, sized to the patterns), 8 bytes a unit of a block of the longest line for
// each core, and for the suffix array at most 3 bytes and 12 bytes of positions a unit.
//
// Suffix-array search for the long patterns, used when the window scan runs over its
// budget. The first occurrences of AnchorLength units or more not found inside an earlier
// line yet are written as bytes, one to three for a unit (each unit encoded apart as in
// UTF-8, lone surrogates too): a byte match of an encoded pattern starts at a unit and is a
// unit match, and an LF byte between lines keeps a pattern without line breaks inside one
// line. Lines keep their order, so the smallest text position of a pattern's occurrences
// lies in an earlier line exactly when it is before the pattern's own start.
class SuffixArrayFinder
{
public:
    SuffixArrayFinder(const LineList& lines, const std::vector<uint32_t>& first, const std::vector<uint32_t>& container)
        : m_lines(lines)
    {
        // A line inside an earlier line is never the first to hold anything: the earlier
        // one holds it too. Only the others are written.
        const auto written = [&](uint32_t i) {
            return first[i] == i && container[i] >= i && lines[i].size() >= AnchorLength;
        };
        std::size_t size = 0;
        for (uint32_t i = 0; i < lines.size(); ++i) {
            if (!written(i))
                continue;
            for (QChar qc : lines[i])
                size += qc.unicode() < 0x80 ? 1 : qc.unicode() < 0x800 ? 2 : 3;
            size += 1;
        }
        m_text.reserve(size);
        m_start.assign(lines.size(), -1);
        for (uint32_t i = 0; i < lines.size(); ++i) {
            if (!written(i))
                continue;
            m_start[i] = static_cast<int32_t>(m_text.size());
            for (QChar qc : lines[i]) {
                const char16_t c = qc.unicode();
                if (c < 0x80) {
                    m_text.push_back(static_cast<uint8_t>(c));
                } else if (c < 0x800) {
                    m_text.push_back(static_cast<uint8_t>(0xC0 | (c >> 6)));
                    m_text.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
                } else {
                    m_text.push_back(static_cast<uint8_t>(0xE0 | (c >> 12)));
                    m_text.push_back(static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)));
                    m_text.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
                }
            }
            m_end.push_back(static_cast<int32_t>(m_text.size()));
            m_lineOfEnd.push_back(i);
            m_text.push_back('\n');
        }
        const auto n = static_cast<saidx_t>(m_text.size());
        m_sa.resize(m_text.size());
        if (n > 0)
            divsufsort(m_text.data(), m_sa.data(), n);
        buildMinima();
    }

    // The first line holding line f (a long first occurrence without line breaks) before
    // f itself, or NoLine.
    uint32_t earlierContainer(uint32_t f) const
    {
        const int32_t at = m_start[f];
        const std::size_t len = static_cast<std::size_t>(std::upper_bound(m_end.begin(), m_end.end(), at)[0] - at);
        const uint8_t* pattern = m_text.data() + at;
        // The suffixes starting with the pattern form one range of the array.
        const auto compareAt = [&](std::size_t k, std::size_t& matched) {
            const uint8_t* t = m_text.data() + m_sa[k];
            const std::size_t room = m_text.size() - static_cast<std::size_t>(m_sa[k]);
            std::size_t i = matched;
            while (i < len && i < room && t[i] == pattern[i])
                ++i;
            matched = i;
            if (i == len)
                return 0;
            if (i == room)
                return -1;
            return t[i] < pattern[i] ? -1 : 1;
        };
        const auto bound = [&](bool upper) {
            std::size_t lo = 0, hi = m_sa.size(), lm = 0, hm = 0;
            while (lo < hi) {
                const std::size_t mid = lo + (hi - lo) / 2;
                std::size_t matched = std::min(lm, hm);
                const int c = compareAt(mid, matched);
                if (c < 0 || (upper && c == 0)) {
                    lo = mid + 1;
                    lm = matched;
                } else {
                    hi = mid;
                    hm = matched;
                }
            }
            return lo;
        };
        const int32_t smallest = minimum(bound(false), bound(true));
        if (smallest >= at)
            return NoLine;
        return m_lineOfEnd[static_cast<std::size_t>(std::upper_bound(m_end.begin(), m_end.end(), smallest) -
                                                    m_end.begin())];
    }

private:
    static constexpr std::size_t Block = 128;

    // Minima of blocks of the array, and of 2^k blocks from each block on.
    void buildMinima()
    {
        const std::size_t blocks = (m_sa.size() + Block - 1) / Block;
        m_minima.emplace_back(blocks);
        for (std::size_t b = 0; b < blocks; ++b) {
            const auto begin = m_sa.begin() + static_cast<std::ptrdiff_t>(b * Block);
            const auto end = m_sa.begin() + static_cast<std::ptrdiff_t>(std::min(m_sa.size(), (b + 1) * Block));
            m_minima[0][b] = *std::min_element(begin, end);
        }
        for (std::size_t w = 1; 2 * w <= blocks; w *= 2) {
            const std::vector<int32_t>& prev = m_minima.back();
            std::vector<int32_t> next(blocks - 2 * w + 1);
            for (std::size_t b = 0; b < next.size(); ++b)
                next[b] = std::min(prev[b], prev[b + w]);
            m_minima.push_back(std::move(next));
        }
    }

    int32_t minimum(std::size_t lo, std::size_t hi) const
    {
        int32_t best = std::numeric_limits<int32_t>::max();
        std::size_t firstFull = (lo + Block - 1) / Block;
        const std::size_t lastFull = hi / Block;
        if (firstFull >= lastFull) {
            for (std::size_t k = lo; k < hi; ++k)
                best = std::min(best, m_sa[k]);
            return best;
        }
        for (std::size_t k = lo; k < firstFull * Block; ++k)
            best = std::min(best, m_sa[k]);
        for (std::size_t k = lastFull * Block; k < hi; ++k)
            best = std::min(best, m_sa[k]);
        const std::size_t count = lastFull - firstFull;
        const int level = std::bit_width(count) - 1;
        const std::size_t w = std::size_t{1} << level;
        best = std::min(best, m_minima[level][firstFull]);
        best = std::min(best, m_minima[level][lastFull - w]);
        return best;
    }

    const LineList& m_lines;
    std::vector<uint8_t> m_text;
    std::vector<saidx_t> m_sa;
    std::vector<int32_t> m_start;      // each long first occurrence's first byte, or -1
    std::vector<int32_t> m_end;        // the end of each encoded line, ascending
    std::vector<uint32_t> m_lineOfEnd; // the line of each end
    std::vector<std::vector<int32_t>> m_minima;
};

class SubstringFinder
{
public:
    explicit SubstringFinder(const LineList& lines)
        : m_lines(lines)
        , m_patterns(lines.size())
        , m_anchors(64)
    {
    }

    // Whether some line holds a CR or LF, known after run().
    bool anyBreak() const
    {
        return m_anyBreak;
    }

    // first[i]: the first line with the content of line i. container[f]: a line before f
    // holding the content of line f, or a line not before f (f itself or later), or NoLine.
    void run(std::vector<uint32_t>& first, std::vector<uint32_t>& container, ProgressMeter& meter)
    {
        const auto n = static_cast<uint32_t>(m_lines.size());
        first.assign(n, NoLine);
        container.assign(n, NoLine);
        m_chained.assign(n, 0);
        qsizetype maxLen = 0;
        qsizetype belowMax = 0; // the longest length shorter than the longest
        std::size_t units = 0;
        std::size_t longLines = 0;
        for (QStringView line : m_lines) {
            if (line.size() > maxLen) {
                belowMax = maxLen;
                maxLen = line.size();
            } else if (line.size() < maxLen) {
                belowMax = std::max(belowMax, line.size());
            }
            units += static_cast<std::size_t>(line.size());
            longLines += line.size() >= AnchorLength ? 1 : 0;
        }
        // A window is as long as some pattern: no longer than belowMax, or as long as the
        // longest lines, which fits only as one of them whole, never looked for. So a few
        // huge lines among short ones need no power (nor prefix) a unit of theirs.
        m_powCap = std::max(belowMax, AnchorLength);
        m_pow.resize(static_cast<std::size_t>(m_powCap) + 1);
        m_pow[0] = 1;
        for (std::size_t i = 1; i < m_pow.size(); ++i)
            m_pow[i] = m_pow[i - 1] * Base;
        std::size_t quadCount = 0;
        std::size_t distinctUnits = 0;
        std::size_t distinctCount = 0;

        // The other core hashes every line first, then builds what depends on the contents
        // alone (the long patterns' anchor groups and filters, the one-unit lines): a repeated
        // line adds nothing to those. Meanwhile this core finds each line's first occurrence
        // from the hashes as they come. The later part's tables wait for that.
        m_hashes.resize(n);
        std::atomic<uint32_t> hashed{0};
        std::atomic<bool> firstsKnown{false};
        std::atomic<int> ready{0};
        const auto waitForBoth = [&ready] {
            for (int r = ready.load(std::memory_order_acquire); r < 2; r = ready.load(std::memory_order_acquire))
                ready.wait(r, std::memory_order_acquire);
        };
        uint32_t mid = 0;
        std::vector<uint32_t> later;
        std::vector<uint64_t> earlyPrefix;
        std::vector<uint64_t> latePrefix;
        std::thread other([&] {
            hashAll(hashed, longLines);
            buildGroups();
            firstsKnown.wait(false, std::memory_order_acquire);
            Part late(*this, mid, n, later.data(), m_budget / 2);
            ready.fetch_add(1, std::memory_order_acq_rel);
            ready.notify_all();
            waitForBoth();
            scanAll(late, first, container, latePrefix, nullptr);
        });

        // Patterns: one per distinct non-empty content. The table is far larger than the
        // cache: each line's slot is fetched a few lines ahead. A repeated line is compared
        // with its first occurrence, far back in the text: the slot's line is looked up
        // halfway and its text fetched a quarter ahead.
        constexpr uint32_t Ahead = 16;
        uint32_t aheadFirst[Ahead];
        std::fill(std::begin(aheadFirst), std::end(aheadFirst), NoLine);
        uint32_t available = 0;
        const auto hashOfLine = [&](uint32_t i) {
            while (i >= available) {
                available = hashed.load(std::memory_order_acquire);
                if (i >= available)
                    std::this_thread::yield();
            }
            return m_hashes[i];
        };
        const auto keyOfLine = [&](uint32_t i) { return mix(hashOfLine(i), static_cast<uint64_t>(m_lines[i].size())); };
        const auto peekAhead = [&](uint32_t i) {
            const uint32_t f = m_patterns.find(keyOfLine(i));
            aheadFirst[i % Ahead] = f;
            if (f != NoLine)
                __builtin_prefetch(&m_lines[f]);
        };
        const auto fetchAhead = [&](uint32_t i) {
            if (const uint32_t f = aheadFirst[i % Ahead]; f != NoLine)
                __builtin_prefetch(m_lines[f].utf16());
        };
        for (uint32_t i = 0; i < std::min(n, Ahead); ++i)
            m_patterns.prefetch(keyOfLine(i));
        // The bar shows the patterns built in its first quarter, the scan in the rest.
        for (uint32_t i = 0; i < n; ++i) {
            if ((i & 4095) == 0)
                meter.pulse(i, qsizetype{4} * n);
            const QStringView line = m_lines[i];
            if (i + Ahead / 4 < n)
                fetchAhead(i + Ahead / 4);
            if (i + Ahead / 2 < n)
                peekAhead(i + Ahead / 2);
            if (i + Ahead < n)
                m_patterns.prefetch(keyOfLine(i + Ahead));
            if (line.isEmpty())
                continue;
            uint64_t key = keyOfLine(i);
            for (;;) {
                const uint32_t f = m_patterns.insert(key, i);
                if (f == i || m_lines[f] == line) {
                    first[i] = f;
                    break;
                }
                // A different content with the same key: it goes on a chain of keys.
                m_chained[f] = 1;
                key = mix(key, 0x51);
            }
            if (first[i] != i)
                continue;
            distinctUnits += static_cast<std::size_t>(line.size());
            ++distinctCount;
            quadCount += line.size() >= 4 ? 1 : 0;
        }
        // Long windows checked against a line length of their anchor's group: beyond this
        // the suffix array answers for every long pattern. Each part has half.
        m_budget = 8 * units + 4096;

        // Two parts, one a core, each scanning its own range of lines for the patterns after
        // its first line, with its own filter. Why the result is exact and the same on every
        // run: the first line r holding a pattern f is never passed by (no line before r
        // holds r) and f is never covered in it (no line before r holds f), so the part
        // owning r finds it there, unless the early part found an earlier one first; the
        // smaller of the two parts' answers is kept, whatever their timing. The later part
        // has fewer patterns to look for, so it takes a little more of the text.
        for (std::size_t seen = 0; mid < n && seen * 100 < distinctUnits * SplitPercent; ++mid) {
            if (first[mid] == mid)
                seen += static_cast<std::size_t>(m_lines[mid].size());
        }
        m_first = &first;
        // Sized to the patterns, so that a slot names few lengths and a long window seldom
        // reaches the tables behind the bits.
        while ((std::size_t{1} << m_pairSlotsLog2) < distinctCount && m_pairSlotsLog2 < 18)
            ++m_pairSlotsLog2;
        while ((std::size_t{1} << m_quadSlotsLog2) < quadCount / 2 && m_quadSlotsLog2 < 22)
            ++m_quadSlotsLog2;
        later.assign(n - mid, NoLine);
        firstsKnown.store(true, std::memory_order_release);
        firstsKnown.notify_all();
        Part early(*this, 0, mid, container.data(), m_budget / 2);
        ready.fetch_add(1, std::memory_order_acq_rel);
        ready.notify_all();
        waitForBoth();
        scanAll(early, first, container, earlyPrefix, &meter);
        other.join();
        for (uint32_t f = mid; f < n; ++f)
            container[f] = std::min(container[f], later[f - mid]);
        if (!overBudget())
            return;
        const SuffixArrayFinder finder(m_lines, first, container);
        for (uint32_t f = 0; f < n; ++f) {
            if ((f & 1023) == 0)
                meter.pulse(f, n);
            if (first[f] != f || m_lines[f].size() < AnchorLength || container[f] < f || hasBreak(m_lines[f]))
                continue;
            const uint32_t c = finder.earlierContainer(f);
            if (c != NoLine)
                container[f] = c;
        }
    }

private:
    static constexpr std::size_t SplitPercent = 46;
    static constexpr uint32_t PassAhead = 16;

    // The distinct lengths of the long patterns of each anchor, ascending, one group an anchor.
    void buildGroups()
    {
        sortByHash(m_longStarts);
        std::size_t anchors = 0;
        for (std::size_t k = 0; k < m_longStarts.size(); ++k)
            anchors += k == 0 || m_longStarts[k].first != m_longStarts[k - 1].first ? 1 : 0;
        m_anchors = FlatMap<true>(anchors);
        m_anchorBits = BitFilter(2 * m_longStarts.size());
        m_groupLengths.reserve(m_longStarts.size());
        for (std::size_t k = 0; k < m_longStarts.size(); ++k) {
            if (k == 0 || m_longStarts[k].first != m_longStarts[k - 1].first) {
                m_anchors.insert(m_longStarts[k].first, static_cast<uint32_t>(m_groupStart.size()));
                m_anchorBits.add(m_longStarts[k].first);
                m_groupStart.push_back(static_cast<uint32_t>(m_groupLengths.size()));
            } else if (m_longStarts[k].second == m_longStarts[k - 1].second) {
                continue;
            }
            m_groupLengths.push_back(m_longStarts[k].second);
        }
        m_groupStart.push_back(static_cast<uint32_t>(m_groupLengths.size()));
        m_longStarts = {};
    }

    // Every line's hash, published as it goes; the long lines' anchors and filter keys, and
    // the units that are a line. Every unit passes here once: the check for line breaks
    // inside lines comes free.
    void hashAll(std::atomic<uint32_t>& hashed, std::size_t longLines)
    {
        const auto n = static_cast<uint32_t>(m_lines.size());
        m_longBits = BitFilter(2 * longLines);
        m_longStarts.reserve(longLines);
        unsigned breaks = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const QStringView line = m_lines[i];
            uint64_t h = 0;
            qsizetype k = 0;
            for (; k < std::min(line.size(), AnchorLength); ++k) {
                const char16_t c = line[k].unicode();
                h = h * Base + c;
                breaks |= static_cast<unsigned>(c == u'\r') | static_cast<unsigned>(c == u'\n');
            }
            const uint64_t anchor = h;
            for (; k < line.size(); ++k) {
                const char16_t c = line[k].unicode();
                h = h * Base + c;
                breaks |= static_cast<unsigned>(c == u'\r') | static_cast<unsigned>(c == u'\n');
            }
            m_hashes[i] = h;
            if (line.size() == 1)
                m_singles[line[0].unicode()] = true;
            if (line.size() >= AnchorLength) {
                m_longStarts.emplace_back(anchorKey(anchor), line.size());
                m_longBits.add(mix(h, static_cast<uint64_t>(line.size())));
            }
            if ((i & 1023) == 1023)
                hashed.store(i + 1, std::memory_order_release);
        }
        m_anyBreak = breaks != 0;
        hashed.store(n, std::memory_order_release);
    }

    // The lines [from, to), the filters of the short patterns after `from` not found in
    // them yet, and where each pattern after `from` was found first (`found[f - from]`).
    struct Part
    {
        Part(const SubstringFinder& finder,
             uint32_t begin,
             uint32_t end,
             uint32_t* foundFromBegin,
             std::size_t workBudget)
            : from(begin)
            , to(end)
            , found(foundFromBegin)
            , budget(workBudget)
            , near(finder.shortsAfter(begin), 24, 24, 46)
            , pairs(finder.m_pairSlotsLog2)
            , quads(finder.m_quadSlotsLog2)
        {
            // The long patterns stay in the length tables: a long window also finds the
            // earlier lines that cover it.
            // The slots land anywhere: each line's are found a few lines ahead and fetched
            // meanwhile.
            struct Entry
            {
                uint64_t key = 0;
                std::size_t pair = 0;
                std::size_t quad = 0;
                int length = 0; // the line's length, AnchorLength for any long one, or 0 for no pattern of this part
            };
            const auto n = static_cast<uint32_t>(finder.m_lines.size());
            const auto prepare = [&](uint32_t f) {
                Entry e;
                const QStringView line = finder.m_lines[f];
                if ((*finder.m_first)[f] != f || line.isEmpty() || (line.size() < AnchorLength && f <= begin))
                    return e;
                e.length = static_cast<int>(std::min(line.size(), AnchorLength));
                if (line.size() < AnchorLength) {
                    e.key = filterKeyOf(finder.m_hashes[f], line.size());
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
            constexpr uint32_t Ahead = 8;
            Entry ahead[Ahead];
            for (uint32_t f = 0; f < std::min(n, Ahead); ++f)
                ahead[f] = prepare(f);
            for (uint32_t f = 0; f < n; ++f) {
                const Entry e = ahead[f % Ahead];
                if (f + Ahead < n)
                    ahead[f % Ahead] = prepare(f + Ahead);
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
        // The short pattern `line` enters or leaves the length tables.
        void addLengths(QStringView line, bool add)
        {
            static_assert(AnchorLength == 16, "one bit a short length, bit 1 the long ones");
            const int bit = static_cast<int>(line.size());
            if (line.size() >= 2) {
                const std::size_t slot = pairs.slotOf(pairOf(line, 0));
                add ? pairs.add(slot, bit) : pairs.remove(slot, bit);
            }
            if (line.size() >= 4) {
                const std::size_t slot = quads.slotOf(hashOf(line.first(4)));
                add ? quads.add(slot, bit) : quads.remove(slot, bit);
            }
        }
        // Written by this part, read by the other: a line found inside an earlier one is
        // passed by.
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
        std::size_t work = 0;
        std::size_t budget;
        PendingFilter near;
        LengthTable pairs; // by the first two units
        LengthTable quads; // by the first four units, for the lengths of four and up
    };

    bool overBudget() const
    {
        return m_overBudget.load(std::memory_order_relaxed);
    }

    static uint32_t load(const std::vector<uint32_t>& container, uint32_t f)
    {
        return std::atomic_ref<const uint32_t>(container[f]).load(std::memory_order_relaxed);
    }

    // The filter key of line f when it is a short first occurrence, else 0.
    uint64_t shortKey(uint32_t f) const
    {
        const QStringView line = m_lines[f];
        if ((*m_first)[f] != f || line.size() >= AnchorLength || line.isEmpty())
            return 0;
        return filterKeyOf(m_hashes[f], line.size());
    }
    std::size_t shortsAfter(uint32_t from) const
    {
        std::size_t count = 0;
        for (uint32_t f = from + 1; f < m_lines.size(); ++f) {
            const qsizetype size = m_lines[f].size();
            count += (*m_first)[f] == f && size > 0 && size < AnchorLength ? 1 : 0;
        }
        return count;
    }

    // `prefix` is the calling core's buffer of window hashes (Prefixes), grown as lines need.
    void scanAll(Part& part,
                 const std::vector<uint32_t>& first,
                 const std::vector<uint32_t>& container,
                 std::vector<uint64_t>& prefix,
                 ProgressMeter* meter)
    {
        for (uint32_t j = part.from; j < part.to; ++j) {
            if (meter && (j & 1023) == 0)
                meter->pulse(part.to - part.from + qsizetype{3} * (j - part.from),
                             qsizetype{4} * (part.to - part.from));
            if (first[j] != j)
                continue;
            const QStringView line = m_lines[j];
            // A pattern passed by can no longer be inside an earlier line: out of the filters.
            if (j + PassAhead < part.to) {
                if (const uint64_t ahead = shortKey(j + PassAhead)) {
                    const QStringView later = m_lines[j + PassAhead];
                    part.near.prefetch(ahead);
                    if (later.size() >= 2)
                        part.pairs.prefetchCounts(part.pairs.slotOf(pairOf(later, 0)));
                    if (later.size() >= 4)
                        part.quads.prefetchCounts(part.quads.slotOf(hashOf(later.first(4))));
                }
            }
            if (j > part.from && part.at(j) == NoLine && !m_chained[j]) {
                if (const uint64_t key = shortKey(j)) {
                    part.near.remove(key);
                    part.addLengths(line, false);
                }
            }
            // A line inside an earlier one (found by either part) adds no new container.
            if (part.at(j) < j || load(container, j) < j || line.size() < 2)
                continue;
            scanLine(part, j, prefix);
        }
    }

    // A bit array answering "surely absent" for keys never added.
    class BitFilter
    {
    public:
        BitFilter() = default;
        explicit BitFilter(std::size_t keys)
        {
            std::size_t count = 1 << 16;
            while (count < keys * 8 && count < (std::size_t{1} << 28))
                count <<= 1;
            m_bits.assign(count / 64, 0);
            m_mask = count - 1;
        }
        void add(uint64_t key)
        {
            const uint64_t slot = (key >> 7) & m_mask;
            m_bits[slot >> 6] |= uint64_t{1} << (slot & 63);
        }
        bool mayContain(uint64_t key) const
        {
            const uint64_t slot = (key >> 7) & m_mask;
            return (m_bits[slot >> 6] >> (slot & 63)) & 1;
        }
        void prefetch(uint64_t key) const
        {
            __builtin_prefetch(&m_bits[((key >> 7) & m_mask) >> 6]);
        }

    private:
        Table<uint64_t> m_bits;
        uint64_t m_mask = 0;
    };

    // A start's first two units, the key of its slot in a part's pair table (LengthTable):
    // the slot names the only lengths worth a look there, and most starts have none or a few.
    static uint64_t pairOf(QStringView line, qsizetype s)
    {
        return uint64_t{line[s].unicode()} << 16 | line[s + 1].unicode();
    }

    static bool hasBreak(QStringView line)
    {
        return line.contains(u'\r') || line.contains(u'\n');
    }

    static uint64_t hashOf(QStringView s)
    {
        uint64_t h = 0;
        for (QChar c : s)
            h = h * Base + c.unicode();
        return h;
    }

    // The hashes of a line's prefixes from `base` on: prefix i of the line (its first i
    // units) at at[i - base]. A huge line is hashed a block of starts at a time, so the
    // buffer holds the block and the longest window after it, not the whole line.
    struct Prefixes
    {
        const uint64_t* at = nullptr;
        qsizetype base = 0;
    };

    uint64_t windowHash(const Prefixes& p, qsizetype s, qsizetype m) const
    {
        // No window is longer than the cap: the only longer pattern would be the line itself.
        return p.at[s + m - p.base] - p.at[s - p.base] * m_pow[m];
    }

    // The first line with the content of `window`, or NoLine.
    uint32_t patternOf(Part& part, QStringView window, uint64_t h)
    {
        uint64_t key = mix(h, static_cast<uint64_t>(window.size()));
        for (;;) {
            const uint32_t f = m_patterns.find(key);
            if (f == NoLine)
                return f;
            // Comparing is work of the budget too: a window met again compares again.
            part.work += static_cast<std::size_t>(window.size());
            if (m_lines[f] == window)
                return f;
            if (!m_chained[f])
                return NoLine;
            key = mix(key, 0x51);
        }
    }

    // The filter's key of a short window: one product, as it is taken at nearly every start
    // for several lengths.
    static uint64_t filterKeyOf(uint64_t h, qsizetype length)
    {
        return (h ^ static_cast<uint64_t>(length) * 0x9E3779B97F4A7C15ULL) * 0xD6E8FEB86659FD93ULL | 1;
    }

    // A short window waiting for its probes; a line's windows are probed a batch at a time,
    // so that the probes' cache misses overlap instead of following each other.
    struct Probe
    {
        uint64_t h;
        uint64_t filterKey;
        qsizetype s;
        qsizetype m;
    };
    static constexpr int ProbeBatch = 64;
    static constexpr qsizetype LookAhead = 8;

    static void queue(Part& part, Probe* probes, int& count, uint64_t h, qsizetype s, qsizetype m)
    {
        const uint64_t filterKey = filterKeyOf(h, m);
        part.near.prefetchBits(filterKey);
        probes[count++] = Probe{h, filterKey, s, m};
    }

    // Probes the queued windows of line j: first the filter for all, then the table for the
    // few it lets through. The windows of one line may be recorded in any order.
    void flush(Part& part, uint32_t j, Probe* probes, int& count)
    {
        const QStringView line = m_lines[j];
        int passed = 0;
        for (int k = 0; k < count; ++k) {
            // A filter the second-level cache holds, before a table it does not.
            if (!part.near.mayContain(probes[k].filterKey))
                continue;
            m_patterns.prefetch(mix(probes[k].h, static_cast<uint64_t>(probes[k].m)));
            probes[passed++] = probes[k];
        }
        for (int k = 0; k < passed; ++k)
            record(part, j, line.sliced(probes[k].s, probes[k].m), probes[k].h, probes[k].filterKey);
        count = 0;
    }

    void record(Part& part, uint32_t j, QStringView window, uint64_t h, uint64_t filterKey)
    {
        uint64_t key = mix(h, static_cast<uint64_t>(window.size()));
        for (;;) {
            const uint32_t f = m_patterns.find(key);
            if (f == NoLine)
                return;
            // A pattern passed by or already found needs no comparison, unless another
            // shares its key.
            const bool pending = f > j && part.at(f) == NoLine;
            if (!pending && !m_chained[f])
                return;
            if (m_lines[f] == window) {
                if (pending) {
                    part.set(f, j);
                    if (!m_chained[f]) {
                        part.near.remove(filterKey);
                        part.addLengths(window, false);
                    }
                }
                return;
            }
            key = mix(key, 0x51);
        }
    }

    // Why the scan is bounded on ordinary lists and stops early on hostile ones: every
    // pattern inside an earlier line lies inside a line before this one, so a window inside
    // an occurrence of one ("covered") holds nothing this line could be the first to hold. At each start the long
    // lengths are tried from the longest down and stop at the first covered end; a start whose first units begin no
    // pattern is passed by.
    void scanLine(Part& part, uint32_t j, std::vector<uint64_t>& buffer)
    {
        const QStringView line = m_lines[j];
        const qsizetype len = line.size();
        // Every window ends at most `reach` after its start; a block of at least that many
        // starts keeps the overlap copied between blocks below the text.
        const qsizetype reach = std::min(len, m_powCap);
        const qsizetype block = std::max<qsizetype>(qsizetype{1} << 16, reach);
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

        const bool longs = !m_groupLengths.empty() && len > AnchorLength && !overBudget();
        StartSlots ahead[LookAhead];
        const auto lookAhead = [&](qsizetype a) {
            StartSlots& k = ahead[a % LookAhead];
            k = slotsOf(part, p, line, a, longs);
            part.pairs.prefetch(k.pair);
            part.quads.prefetch(k.quad);
            if (k.anchor != 0)
                m_anchorBits.prefetch(k.anchor);
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
                flush(part, j, probes, queued);
            // The slot tables of a start a little ahead, so that their misses overlap too.
            if (const qsizetype a = s + LookAhead; a + 2 <= len && a < p.base + block)
                lookAhead(a);
            if (s + 1 > cover && len > 1 && m_singles[line[s].unicode()])
                queue(part, probes, queued, line[s].unicode(), s, 1);
            // Most starts begin no pattern of two units or more, or few.
            if (s + 2 > len)
                continue;
            StartSlots& k = ahead[s % LookAhead];
            if (k.start != s)
                k = slotsOf(part, p, line, s, longs);
            unsigned lengths = part.pairs.at(k.pair);
            if (lengths == 0)
                continue;
            if ((lengths & ~0xCu) != 0) {
                const unsigned quad = s + 4 <= len ? part.quads.at(k.quad) : 0u;
                lengths &= quad | 0xCu;
            }
            if ((lengths & 2) && k.anchor != 0 && !overBudget())
                scanLong(part, j, s, k.anchor, p, cover);
            // The lengths of this part that fit the line after s and reach past the cover.
            const qsizetype fit = std::min(len - 1, len - s);
            const qsizetype below = std::max<qsizetype>(1, cover - s);
            unsigned todo =
                lengths & ((2u << std::min<qsizetype>(fit, 15)) - 1) & ~((2u << std::min<qsizetype>(below, 15)) - 1);
            while (todo != 0) {
                const int m = std::countr_zero(todo);
                todo &= todo - 1;
                queue(part, probes, queued, windowHash(p, s, m), s, m);
            }
        }
        flush(part, j, probes, queued);
    }

    // A start's slots in the part's length tables and its anchor key (0: none, no long
    // pattern fits after it), found a few starts ahead.
    struct StartSlots
    {
        qsizetype start = -1;
        std::size_t pair = 0;
        std::size_t quad = 0;
        uint64_t anchor = 0;
    };

    StartSlots slotsOf(const Part& part, const Prefixes& p, QStringView line, qsizetype a, bool longs) const
    {
        StartSlots k;
        k.start = a;
        k.pair = part.pairs.slotOf(pairOf(line, a));
        if (a + 4 <= line.size())
            k.quad = part.quads.slotOf(windowHash(p, a, 4));
        if (longs && a + AnchorLength <= line.size())
            k.anchor = anchorKey(windowHash(p, a, AnchorLength));
        return k;
    }

    void scanLong(Part& part, uint32_t j, qsizetype s, uint64_t anchor, const Prefixes& p, qsizetype& cover)
    {
        const QStringView line = m_lines[j];
        // Most anchors are none: the bits answer that from the cache, the table seldom.
        if (!m_anchorBits.mayContain(anchor))
            return;
        const uint32_t group = m_anchors.find(anchor);
        if (group == NoLine)
            return;
        const qsizetype* const shortest = m_groupLengths.data() + m_groupStart[group];
        const qsizetype* const end = m_groupLengths.data() + m_groupStart[group + 1];
        // At the line's start its own length is the line itself, nothing to find.
        const qsizetype* it = std::upper_bound(shortest, end, line.size() - s - (s == 0 ? 1 : 0));
        while (it != shortest) {
            const qsizetype m = *--it;
            if (s + m <= cover)
                return;
            if (++part.work > part.budget) {
                m_overBudget.store(true, std::memory_order_relaxed);
                return;
            }
            const uint64_t h = windowHash(p, s, m);
            if (!m_longBits.mayContain(mix(h, static_cast<uint64_t>(m))))
                continue;
            const uint32_t f = patternOf(part, line.sliced(s, m), h);
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

    const LineList& m_lines;
    FlatMap<false> m_patterns;
    std::vector<bool> m_singles = std::vector<bool>(std::size_t{1} << 16); // the units that are a line
    int m_pairSlotsLog2 = 10;
    int m_quadSlotsLog2 = 10;
    BitFilter m_anchorBits;
    BitFilter m_longBits;
    FlatMap<true> m_anchors;                                  // anchor key -> group
    std::vector<std::pair<uint64_t, qsizetype>> m_longStarts; // anchor key and length of each long pattern
    std::vector<uint32_t> m_groupStart;                       // each group's first length, and the end
    std::vector<qsizetype> m_groupLengths;
    std::vector<uint64_t> m_pow;
    std::vector<uint64_t> m_hashes; // each line's
    qsizetype m_powCap = AnchorLength;
    std::vector<char> m_chained;
    const std::vector<uint32_t>* m_first = nullptr;
    std::size_t m_budget = 0;
    std::atomic<bool> m_overBudget{false};
    bool m_anyBreak = false;
};

} // namespace

std::vector<char> DuplicateKeepMask(const LineList& lines, ProgressMeter& meter)
{
    const auto n = static_cast<uint32_t>(lines.size());
    std::vector<char> keep(n, 0);
    if (n == 0)
        return keep;
    // What earlier commands freed in pieces stays in the heap, and the tables below seldom
    // fit in those pieces: give it back first, and the pieces of the tables after them.
    giveBackFreedMemory();
    std::vector<uint32_t> first;
    std::vector<uint32_t> container;
    bool anyLoneBreak = false;
    {
        SubstringFinder finder(lines);
        finder.run(first, container, meter);
        anyLoneBreak = finder.anyBreak();
    }
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
            const uint32_t f = first[i];
            dropped = f < i || container[f] < i;
            if (!dropped && anyLoneBreak && hasLoneBreak(line)) {
                std::u16string needle(line.utf16(), line.utf16() + line.size());
                std::reverse(needle.begin(), needle.end());
                dropped = keptReversed.find(needle) != std::u16string::npos;
            }
        }
        keep[i] = dropped ? 0 : 1;
        if (!dropped && anyLoneBreak) {
            keptReversed.append(u"\n\r");
            const std::u16string forward(line.utf16(), line.utf16() + line.size());
            keptReversed.append(forward.rbegin(), forward.rend());
        }
    }
    return keep;
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
