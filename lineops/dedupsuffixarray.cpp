#include "lineops/dedupsuffixarray.h"

#include "lineops/deduptables.h"

#include <algorithm>
#include <bit>
#include <divsufsort.h>
#include <limits>

namespace lumbrel::dedup {

namespace {

// The hand-over's pulse, every this many lines.
constexpr uint32_t PulseEvery = 1024;

// Finds, for each long first occurrence without line breaks, the first line before it that
// holds it. The first occurrences of AnchorLength units or more not found inside an earlier
// line yet are written as bytes, one to three for a unit (each unit encoded apart as in UTF-8,
// lone surrogates too): a byte match of an encoded pattern starts at a unit and is a unit
// match, and an LF byte between lines keeps a pattern without line breaks inside one line.
// Lines keep their order, so the smallest text position of a pattern's occurrences lies in an
// earlier line exactly when it is before the pattern's own start.
class SuffixArrayFinder
{
public:
    SuffixArrayFinder(const LineList& lines, const std::vector<uint32_t>& first, const std::vector<uint32_t>& container)
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
        m_start.assign(static_cast<std::size_t>(lines.size()), -1);
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

    // The first line holding line f (a long first occurrence without line breaks, written
    // here) before f itself, or NoLine.
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
    // Positions a block of the array: a range's minimum reads at most two partial blocks and
    // two minima of 2^k blocks, and the minima (log n levels of one a block) weigh under a
    // byte a position.
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
        best = std::min(best, m_minima[static_cast<std::size_t>(level)][firstFull]);
        best = std::min(best, m_minima[static_cast<std::size_t>(level)][lastFull - w]);
        return best;
    }

    std::vector<uint8_t> m_text;
    std::vector<saidx_t> m_sa;
    std::vector<int32_t> m_start;      // each long first occurrence's first byte, or -1
    std::vector<int32_t> m_end;        // the end of each encoded line, ascending
    std::vector<uint32_t> m_lineOfEnd; // the line of each end
    std::vector<std::vector<int32_t>> m_minima;
};

} // namespace

void FindLongContainers(const LineList& lines,
                        const std::vector<uint32_t>& first,
                        std::vector<uint32_t>& container,
                        ProgressMeter& meter)
{
    const SuffixArrayFinder finder(lines, first, container);
    const auto n = static_cast<uint32_t>(lines.size());
    for (uint32_t f = 0; f < n; ++f) {
        if (f % PulseEvery == 0)
            meter.pulse(f, n);
        if (first[f] != f || lines[f].size() < AnchorLength || container[f] < f || hasLoneBreak(lines[f]))
            continue;
        const uint32_t c = finder.earlierContainer(f);
        if (c != NoLine)
            container[f] = c;
    }
}

} // namespace lumbrel::dedup
