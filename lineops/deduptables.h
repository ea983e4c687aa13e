#pragma once

// Piece 2 of 去重复's search (the map is in dedup.cpp), the hash functions and the tables: the
// flat maps of patterns and anchors, the filters that answer "surely absent" from the cache,
// and the length tables that name the pattern lengths worth a probe at a start. Every probe
// lands anywhere in its table, so each table offers a prefetch for a probe a little later.

#include <QStringView>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <sys/mman.h>
#include <type_traits>
#include <vector>

namespace lumbrel::dedup {

// Patterns of this many units or more are long: they are looked up through their first
// AnchorLength units (their anchor), so a long line costs at most AnchorLength lookups a start.
// Sixteen keeps one bit a short length in a 16-bit mask (LengthTable).
inline constexpr qsizetype AnchorLength = 16;
// The polynomial hash's base: a large odd number, so a one-unit change moves every higher bit.
inline constexpr uint64_t Base = 0x100000001b3ULL;
inline constexpr uint32_t NoLine = std::numeric_limits<uint32_t>::max();

// 2^64 over the golden ratio, odd: a product with it spreads any key over the high bits.
inline constexpr uint64_t GoldenGamma = 0x9E3779B97F4A7C15ULL;
// Odd multipliers of a 64-bit finaliser: a one-bit change of the input flips about half the bits.
inline constexpr uint64_t MixMultiplier = 0xBF58476D1CE4E5B9ULL;
inline constexpr uint64_t FilterMultiplier = 0xD6E8FEB86659FD93ULL;
// Salts that keep one hash apart in its uses: a long pattern's anchor, and the next key on a
// chain of contents whose keys met.
inline constexpr uint64_t AnchorSalt = 0xA11C;
inline constexpr uint64_t ChainSalt = 0x51;

inline uint64_t mix(uint64_t h, uint64_t salt)
{
    h ^= salt * GoldenGamma;
    h ^= h >> 31;
    h *= MixMultiplier;
    h ^= h >> 29;
    return h;
}

// The key of a long pattern's first AnchorLength units, from their hash; never 0.
inline uint64_t anchorKey(uint64_t hash)
{
    return mix(hash, AnchorSalt) | 1;
}

// The filter's key of a short window: one product, as it is taken at nearly every start for
// several lengths; never 0.
inline uint64_t filterKeyOf(uint64_t h, qsizetype length)
{
    return (h ^ static_cast<uint64_t>(length) * GoldenGamma) * FilterMultiplier | 1;
}

inline uint64_t hashOf(QStringView s)
{
    uint64_t h = 0;
    for (QChar c : s)
        h = h * Base + c.unicode();
    return h;
}

// A start's first two units, the key of its slot in a pair table (LengthTable).
inline uint64_t pairOf(QStringView line, qsizetype s)
{
    return uint64_t{line[s].unicode()} << 16 | line[s + 1].unicode();
}

// Lines never hold CR LF, so any CR or LF in a line is a lone one.
inline bool hasLoneBreak(QStringView line)
{
    return line.contains(u'\r') || line.contains(u'\n');
}

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
        constexpr std::uintptr_t Huge = std::uintptr_t{2} << 20; // the x86-64 huge page
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

// Open addressing map from a 64-bit key to a 32-bit value (never NoLine). It never grows,
// so a key's probe path stays the one it was inserted on. With `WholeKeys` false a slot is
// one word, keeping only the key's low half (the slot comes from its high half): keys whose
// halves meet on one probe path are one key to it, so its users must compare what the value
// stands for and chain such keys, as the patterns do (PatternIndex::chained).
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

// A bit array answering "surely absent" for keys never added.
class BitFilter
{
public:
    BitFilter() = default;
    explicit BitFilter(std::size_t keys)
    {
        std::size_t count = MinBits;
        while (count < keys * 8 && count < MaxBits)
            count <<= 1;
        m_bits.assign(count / 64, 0);
        m_mask = count - 1;
    }
    void add(uint64_t key)
    {
        const uint64_t slot = (key >> KeyShift) & m_mask;
        m_bits[slot >> 6] |= uint64_t{1} << (slot & 63);
    }
    bool mayContain(uint64_t key) const
    {
        const uint64_t slot = (key >> KeyShift) & m_mask;
        return (m_bits[slot >> 6] >> (slot & 63)) & 1;
    }
    void prefetch(uint64_t key) const
    {
        __builtin_prefetch(&m_bits[((key >> KeyShift) & m_mask) >> 6]);
    }

private:
    // Eight bits a key, from 8 KiB (cheap to clear) to 32 MiB (a bound on any list).
    static constexpr std::size_t MinBits = std::size_t{1} << 16;
    static constexpr std::size_t MaxBits = std::size_t{1} << 28;
    // Past the lowest bits: anchor keys fix bit 0 (anchorKey).
    static constexpr int KeyShift = 7;
    Table<uint64_t> m_bits;
    uint64_t m_mask = 0;
};

// A count behind each bit of a filter or a length table, so that a key can leave again: four
// bits each, as a bit seldom stands for more than a few keys and the counts would otherwise
// weigh eight times the bits. A count that reaches Saturated has lost track and stays there:
// its bit may only answer "maybe" from then on.
class NibbleCounts
{
public:
    NibbleCounts() = default;
    explicit NibbleCounts(std::size_t count)
        : m_pairs((count + 1) / 2, 0)
    {
    }
    void increment(std::size_t slot)
    {
        const unsigned n = at(slot);
        if (n < Saturated)
            set(slot, n + 1);
    }
    // Counts a key out of a slot that holds it; true when the slot is empty now.
    bool decrement(std::size_t slot)
    {
        const unsigned n = at(slot);
        if (n == Saturated)
            return false;
        set(slot, n - 1);
        return n == 1;
    }
    // Brings the counts from `slot` on near, for a change soon.
    void prefetch(std::size_t slot) const
    {
        __builtin_prefetch(&m_pairs[slot >> 1], 1);
    }

private:
    static constexpr unsigned Saturated = 15;
    unsigned at(std::size_t slot) const
    {
        return (m_pairs[slot >> 1] >> shiftOf(slot)) & 0xF;
    }
    void set(std::size_t slot, unsigned n)
    {
        uint8_t& pair = m_pairs[slot >> 1];
        pair = static_cast<uint8_t>((pair & ~(0xFu << shiftOf(slot))) | (n << shiftOf(slot)));
    }
    static unsigned shiftOf(std::size_t slot)
    {
        return static_cast<unsigned>(slot & 1) * 4;
    }

    Table<uint8_t> m_pairs;
};

// Answers "no pending pattern has this key" from a bit array small enough for the cache:
// most windows are no pattern, or a pattern found or passed long ago. The counts behind the
// bits are touched only when a pattern is added, found or passed.
class PendingFilter
{
public:
    // `maxBitsLog2` bounds the bit array (its cache level); `shift` and `bitShift` pick which
    // key bits choose the word and its three bits, so two filters of one key answer
    // independently.
    PendingFilter(std::size_t patterns, int maxBitsLog2, int shift, int bitShift)
        : m_shift(shift)
        , m_bitShift(bitShift)
    {
        std::size_t count = MinBits;
        while (count < patterns * BitsPerPattern && count < (std::size_t{1} << maxBitsLog2))
            count <<= 1;
        m_bits.assign(count / 64, 0);
        m_counts = NibbleCounts(count);
        m_mask = count / 64 - 1;
    }
    void add(uint64_t key)
    {
        const uint64_t word = wordOf(key);
        for (uint64_t bits = bitsOf(key); bits != 0; bits &= bits - 1)
            m_counts.increment(word << 6 | static_cast<uint64_t>(std::countr_zero(bits)));
        m_bits[word] |= bitsOf(key);
    }
    void remove(uint64_t key)
    {
        const uint64_t word = wordOf(key);
        for (uint64_t bits = bitsOf(key); bits != 0; bits &= bits - 1) {
            const int bit = std::countr_zero(bits);
            if (m_counts.decrement(word << 6 | static_cast<uint64_t>(bit)))
                m_bits[word] &= ~(uint64_t{1} << bit);
        }
    }
    // Brings the counts of `key` near, for a removal soon.
    void prefetch(uint64_t key) const
    {
        m_counts.prefetch(wordOf(key) << 6);
    }
    bool mayContain(uint64_t key) const
    {
        const uint64_t bits = bitsOf(key);
        return (m_bits[wordOf(key)] & bits) == bits;
    }
    // Brings the bits of `key` near, for a probe soon.
    void prefetchBits(uint64_t key) const
    {
        __builtin_prefetch(&m_bits[wordOf(key)]);
    }

private:
    // Sixteen bits a pattern, three set by each: about one false answer in 200. From 8 KiB of
    // bits on, so a small list clears its filter at once.
    static constexpr std::size_t MinBits = std::size_t{1} << 16;
    static constexpr std::size_t BitsPerPattern = 16;

    uint64_t wordOf(uint64_t key) const
    {
        return (key >> m_shift) & m_mask;
    }
    // Three bits of one word: one memory access a probe, and far fewer false answers than
    // one bit in the same space.
    uint64_t bitsOf(uint64_t key) const
    {
        const uint64_t b = key >> m_bitShift;
        return uint64_t{1} << (b & 63) | uint64_t{1} << ((b >> 6) & 63) | uint64_t{1} << ((b >> 12) & 63);
    }

    Table<uint64_t> m_bits;
    NibbleCounts m_counts;
    uint64_t m_mask = 0;
    int m_shift = 0;
    int m_bitShift = 0;
};

// The lengths of the patterns whose first units fall in a slot, a bit each (bit m for the
// short length m, bit 1 for every long one), with a count behind each bit so that a pattern
// can leave again.
class LengthTable
{
public:
    static constexpr int LengthBits = 16;

    explicit LengthTable(int slotsLog2)
        : m_masks(std::size_t{1} << slotsLog2, 0)
        , m_counts(std::size_t{LengthBits} << slotsLog2)
        , m_shift(64 - slotsLog2)
    {
    }
    std::size_t slotOf(uint64_t key) const
    {
        return (key * GoldenGamma) >> m_shift;
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
        m_counts.prefetch(slot * LengthBits);
        __builtin_prefetch(&m_masks[slot], 1);
    }
    void add(std::size_t slot, int bit)
    {
        m_counts.increment(slot * LengthBits + static_cast<std::size_t>(bit));
        m_masks[slot] = static_cast<uint16_t>(m_masks[slot] | 1u << bit);
    }
    void remove(std::size_t slot, int bit)
    {
        if (m_counts.decrement(slot * LengthBits + static_cast<std::size_t>(bit)))
            m_masks[slot] = static_cast<uint16_t>(m_masks[slot] & ~(1u << bit));
    }

private:
    Table<uint16_t> m_masks;
    NibbleCounts m_counts;
    int m_shift;
};

} // namespace lumbrel::dedup
