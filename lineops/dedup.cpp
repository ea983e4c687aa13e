#include "lineops/dedup.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

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

inline uint64_t mix(uint64_t h, uint64_t salt)
{
    h ^= salt * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 29;
    return h | 1; // 0 marks an empty slot
}

// Open addressing map from a non-zero 64-bit key to a 32-bit value.
class FlatMap
{
public:
    explicit FlatMap(std::size_t expected)
    {
        std::size_t cap = 16;
        while (cap < expected * 2)
            cap <<= 1;
        m_keys.assign(cap, 0);
        m_values.assign(cap, NoLine);
        m_mask = cap - 1;
    }

    // The value stored for `key`, or NoLine.
    uint32_t find(uint64_t key) const
    {
        for (std::size_t i = key & m_mask;; i = (i + 1) & m_mask) {
            if (m_keys[i] == key)
                return m_values[i];
            if (m_keys[i] == 0)
                return NoLine;
        }
    }

    // Inserts `key` with `value` unless present; returns the value stored for it.
    uint32_t insert(uint64_t key, uint32_t value)
    {
        if ((m_size + 1) * 2 > m_keys.size())
            grow();
        for (std::size_t i = key & m_mask;; i = (i + 1) & m_mask) {
            if (m_keys[i] == key)
                return m_values[i];
            if (m_keys[i] == 0) {
                m_keys[i] = key;
                m_values[i] = value;
                ++m_size;
                return value;
            }
        }
    }

private:
    void grow()
    {
        std::vector<uint64_t> keys(m_keys.size() * 2, 0);
        std::vector<uint32_t> values(m_keys.size() * 2, NoLine);
        const std::size_t mask = keys.size() - 1;
        for (std::size_t j = 0; j < m_keys.size(); ++j) {
            if (m_keys[j] == 0)
                continue;
            std::size_t i = m_keys[j] & mask;
            while (keys[i] != 0)
                i = (i + 1) & mask;
            keys[i] = m_keys[j];
            values[i] = m_values[j];
        }
        m_keys.swap(keys);
        m_values.swap(values);
        m_mask = mask;
    }

    std::vector<uint64_t> m_keys;
    std::vector<uint32_t> m_values;
    std::size_t m_mask = 0;
    std::size_t m_size = 0;
};

// Answers "no pending pattern has this key" from a bit array small enough for the cache:
// most windows are no pattern, or a pattern found long ago. The counts behind the bits are
// touched only when a pattern is added or found; four bits each, as a slot seldom holds
// more than a few patterns and the counts would otherwise weigh eight times the bits.
class PendingFilter
{
public:
    // `maxBits` bounds the bit array (its cache level); `shift` picks which key bits choose
    // the slot, so two filters of one key answer independently.
    PendingFilter(std::size_t patterns, int maxBitsLog2, int shift)
        : m_shift(shift)
    {
        std::size_t count = 1 << 16;
        while (count < patterns * 16 && count < (std::size_t{1} << maxBitsLog2))
            count <<= 1;
        m_bits.assign(count / 64, 0);
        m_counts.assign(count / 2, 0);
        m_mask = count - 1;
    }
    void add(uint64_t key)
    {
        const uint64_t slot = (key >> m_shift) & m_mask;
        const unsigned n = countAt(slot);
        if (n < Saturated)
            setCount(slot, n + 1);
        m_bits[slot >> 6] |= uint64_t{1} << (slot & 63);
    }
    void remove(uint64_t key)
    {
        const uint64_t slot = (key >> m_shift) & m_mask;
        // A saturated slot has lost its count and stays set: it may only answer "maybe".
        const unsigned n = countAt(slot);
        if (n == Saturated)
            return;
        setCount(slot, n - 1);
        if (n != 1)
            return;
        m_bits[slot >> 6] &= ~(uint64_t{1} << (slot & 63));
    }
    bool mayContain(uint64_t key) const
    {
        const uint64_t slot = (key >> m_shift) & m_mask;
        return (m_bits[slot >> 6] >> (slot & 63)) & 1;
    }

private:
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
    std::vector<uint64_t> m_bits;
    std::vector<uint8_t> m_counts;
    uint64_t m_mask = 0;
    int m_shift = 0;
};

bool hasLoneBreak(QStringView line)
{
    // Lines never hold CR LF, so any CR or LF in a line is a lone one.
    return line.contains(u'\r') || line.contains(u'\n');
}

class SubstringFinder
{
public:
    explicit SubstringFinder(const LineList& lines)
        : m_lines(lines)
        , m_patterns(lines.size())
        , m_near(lines.size(), 24, 24)
        , m_far(lines.size(), 27, 1)
        , m_anchors(64)
        , m_anchorLengths(64)
    {
    }

    // first[i]: the first line with the content of line i. container[f]: the first line that
    // holds the content of line f as a strict substring, or NoLine.
    void run(std::vector<uint32_t>& first, std::vector<uint32_t>& container, ProgressMeter& meter)
    {
        const auto n = static_cast<uint32_t>(m_lines.size());
        first.assign(n, NoLine);
        container.assign(n, NoLine);
        m_chained.assign(n, 0);
        qsizetype maxLen = 0;
        for (QStringView line : m_lines)
            maxLen = std::max(maxLen, line.size());
        m_pow.resize(static_cast<std::size_t>(maxLen) + 1);
        m_pow[0] = 1;
        for (std::size_t i = 1; i < m_pow.size(); ++i)
            m_pow[i] = m_pow[i - 1] * Base;
        m_isShortLength.assign(AnchorLength, 0);

        // Patterns: one per distinct non-empty content.
        for (uint32_t i = 0; i < n; ++i) {
            const QStringView line = m_lines[i];
            if (line.isEmpty())
                continue;
            const uint64_t h = hashOf(line);
            uint64_t key = mix(h, static_cast<uint64_t>(line.size()));
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
            m_near.add(mix(h, static_cast<uint64_t>(line.size())));
            m_far.add(mix(h, static_cast<uint64_t>(line.size())));
            if (line.size() < AnchorLength) {
                m_isShortLength[line.size()] = 1;
            } else {
                const uint64_t a = mix(hashOf(line.first(AnchorLength)), 0xA11C);
                const uint32_t group = m_anchors.insert(a, static_cast<uint32_t>(m_groups.size()));
                if (group == m_groups.size())
                    m_groups.emplace_back();
                const uint64_t gl = mix(static_cast<uint64_t>(group) << 32 | static_cast<uint64_t>(line.size()), 0x6C);
                if (m_anchorLengths.find(gl) == NoLine) {
                    m_anchorLengths.insert(gl, 1);
                    m_groups[group].push_back(line.size());
                }
            }
        }
        for (qsizetype m = 1; m < AnchorLength; ++m) {
            if (m_isShortLength[m])
                m_shortLengths.push_back(m);
        }

        // Texts: every first occurrence of a content, in order, so the first container seen
        // is the earliest.
        std::vector<uint64_t> prefix;
        for (uint32_t j = 0; j < n; ++j) {
            if ((j & 4095) == 0)
                meter.pulse(j, n);
            // A repeated content, or a line inside an earlier one, adds no new container.
            if (first[j] != j || container[j] < j || m_lines[j].size() < 2)
                continue;
            scanLine(j, prefix, container);
        }
    }

private:
    static uint64_t hashOf(QStringView s)
    {
        uint64_t h = 0;
        for (QChar c : s)
            h = h * Base + c.unicode();
        return h;
    }

    uint64_t windowHash(const std::vector<uint64_t>& prefix, qsizetype s, qsizetype m) const
    {
        return prefix[s + m] - prefix[s] * m_pow[m];
    }

    void record(uint32_t j, QStringView window, uint64_t h, std::vector<uint32_t>& container)
    {
        const uint64_t filterKey = mix(h, static_cast<uint64_t>(window.size()));
        // A small filter the second-level cache holds, then a larger, sparser one.
        if (!m_near.mayContain(filterKey) || !m_far.mayContain(filterKey))
            return;
        uint64_t key = filterKey;
        for (;;) {
            const uint32_t f = m_patterns.find(key);
            if (f == NoLine)
                return;
            // A pattern already found needs no comparison, unless another shares its key.
            if (container[f] != NoLine && !m_chained[f])
                return;
            if (m_lines[f] == window) {
                if (container[f] == NoLine) {
                    container[f] = j;
                    if (!m_chained[f])
                        m_near.remove(filterKey);
                    m_far.remove(filterKey);
                }
                return;
            }
            key = mix(key, 0x51);
        }
    }

    void scanLine(uint32_t j, std::vector<uint64_t>& prefix, std::vector<uint32_t>& container)
    {
        const QStringView line = m_lines[j];
        const qsizetype len = line.size();
        prefix.resize(static_cast<std::size_t>(len) + 1);
        prefix[0] = 0;
        for (qsizetype i = 0; i < len; ++i)
            prefix[i + 1] = prefix[i] * Base + line[i].unicode();

        for (qsizetype m : m_shortLengths) {
            if (m >= len)
                break;
            for (qsizetype s = 0; s + m <= len; ++s)
                record(j, line.sliced(s, m), windowHash(prefix, s, m), container);
        }
        if (m_groups.empty() || len <= AnchorLength)
            return;
        for (qsizetype s = 0; s + AnchorLength <= len; ++s) {
            const uint32_t group = m_anchors.find(mix(windowHash(prefix, s, AnchorLength), 0xA11C));
            if (group == NoLine)
                continue;
            for (qsizetype m : m_groups[group]) {
                if (m < len && s + m <= len)
                    record(j, line.sliced(s, m), windowHash(prefix, s, m), container);
            }
        }
    }

    const LineList& m_lines;
    FlatMap m_patterns;
    PendingFilter m_near;
    PendingFilter m_far;
    FlatMap m_anchors;
    FlatMap m_anchorLengths;
    std::vector<std::vector<qsizetype>> m_groups;
    std::vector<uint64_t> m_pow;
    std::vector<char> m_isShortLength;
    std::vector<char> m_chained;
    std::vector<qsizetype> m_shortLengths;
};

} // namespace

std::vector<char> DuplicateKeepMask(const LineList& lines, ProgressMeter& meter)
{
    const auto n = static_cast<uint32_t>(lines.size());
    std::vector<char> keep(n, 0);
    if (n == 0)
        return keep;
    std::vector<uint32_t> first;
    std::vector<uint32_t> container;
    SubstringFinder(lines).run(first, container, meter);

    bool anyLoneBreak = false;
    for (QStringView line : lines)
        anyLoneBreak = anyLoneBreak || hasLoneBreak(line);

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
            if (!dropped && hasLoneBreak(line)) {
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
    LineList kept;
    kept.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (keep[static_cast<std::size_t>(i)]) {
            kept.append(lines[i]);
            meter.step();
        }
    }
    meter.finish();
    LineOpResult result;
    result.text = FrontJoin(kept);
    return result;
}

} // namespace lumbrel
