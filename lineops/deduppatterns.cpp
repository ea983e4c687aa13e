#include "lineops/deduppatterns.h"

#include <algorithm>
#include <bit>
#include <thread>
#include <utility>

namespace lumbrel::dedup {

namespace {

// The hashing core tells how far it is every this many lines: often enough that the finding
// core seldom waits, seldom enough that the store costs nothing.
constexpr uint32_t PublishEvery = 1024;
// The finding core's pulse, every this many lines: a few hundred a million-line list.
constexpr uint32_t PulseEvery = 4096;
// How many lines ahead the finding core fetches a line's slot in the patterns map. A
// repeated line is compared with its first occurrence, far back in the text: the slot's
// line is looked up halfway and its text fetched a quarter ahead.
constexpr uint32_t Ahead = 16;

using LongStart = std::pair<uint64_t, qsizetype>; // a long pattern's anchor key and length

// Sorts pairs whose first halves are hashes, so spread evenly: one counting pass on their
// top bits, then each bucket (a few pairs, or the copies of one repeated line) on its own.
void sortByHash(std::vector<LongStart>& pairs)
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
    std::vector<LongStart> sorted(pairs.size());
    for (const auto& p : pairs)
        sorted[end[bucketOf(p.first)]++] = p;
    // Each bucket now ends where the next one began.
    for (std::size_t b = 0, begin = 0; b + 1 < end.size(); begin = end[b++])
        std::sort(sorted.begin() + static_cast<std::ptrdiff_t>(begin), sorted.begin() + end[b]);
    pairs.swap(sorted);
}

// The distinct lengths of the long patterns of each anchor, ascending, one group an anchor.
void buildGroups(PatternIndex& index, std::vector<LongStart>& longStarts)
{
    sortByHash(longStarts);
    std::size_t anchors = 0;
    for (std::size_t k = 0; k < longStarts.size(); ++k)
        anchors += k == 0 || longStarts[k].first != longStarts[k - 1].first ? 1 : 0;
    index.anchors = FlatMap<true>(anchors);
    index.anchorBits = BitFilter(2 * longStarts.size());
    index.groupLengths.reserve(longStarts.size());
    for (std::size_t k = 0; k < longStarts.size(); ++k) {
        if (k == 0 || longStarts[k].first != longStarts[k - 1].first) {
            index.anchors.insert(longStarts[k].first, static_cast<uint32_t>(index.groupStart.size()));
            index.anchorBits.add(longStarts[k].first);
            index.groupStart.push_back(static_cast<uint32_t>(index.groupLengths.size()));
        } else if (longStarts[k].second == longStarts[k - 1].second) {
            continue;
        }
        index.groupLengths.push_back(longStarts[k].second);
    }
    index.groupStart.push_back(static_cast<uint32_t>(index.groupLengths.size()));
}

} // namespace

PatternIndex::PatternIndex(const LineList& lineList)
    : lines(lineList)
    , hashes(static_cast<std::size_t>(lineList.size()))
    , first(static_cast<std::size_t>(lineList.size()), NoLine)
    , patterns(static_cast<std::size_t>(lineList.size()))
    , chained(static_cast<std::size_t>(lineList.size()), 0)
{
    qsizetype maxLen = 0;
    qsizetype belowMax = 0; // the longest length shorter than the longest
    for (QStringView line : lines) {
        if (line.size() > maxLen) {
            belowMax = maxLen;
            maxLen = line.size();
        } else if (line.size() < maxLen) {
            belowMax = std::max(belowMax, line.size());
        }
        units += static_cast<std::size_t>(line.size());
        longLines += line.size() >= AnchorLength ? 1 : 0;
    }
    powCap = std::max(belowMax, AnchorLength);
    pow.resize(static_cast<std::size_t>(powCap) + 1);
    pow[0] = 1;
    for (std::size_t i = 1; i < pow.size(); ++i)
        pow[i] = pow[i - 1] * Base;
}

std::size_t PatternIndex::shortsAfter(uint32_t from) const
{
    std::size_t count = 0;
    for (uint32_t f = from + 1; f < lines.size(); ++f) {
        const qsizetype size = lines[f].size();
        count += first[f] == f && size > 0 && size < AnchorLength ? 1 : 0;
    }
    return count;
}

void HashContents(PatternIndex& index, std::atomic<uint32_t>& hashed)
{
    const LineList& lines = index.lines;
    const auto n = static_cast<uint32_t>(lines.size());
    index.longBits = BitFilter(2 * index.longLines);
    std::vector<LongStart> longStarts;
    longStarts.reserve(index.longLines);
    unsigned breaks = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const QStringView line = lines[i];
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
        index.hashes[i] = h;
        if (line.size() == 1)
            index.singles[line[0].unicode()] = true;
        if (line.size() >= AnchorLength) {
            longStarts.emplace_back(anchorKey(anchor), line.size());
            index.longBits.add(mix(h, static_cast<uint64_t>(line.size())));
        }
        if (i % PublishEvery == PublishEvery - 1)
            hashed.store(i + 1, std::memory_order_release);
    }
    index.anyBreak = breaks != 0;
    hashed.store(n, std::memory_order_release);
    // A repeated line adds nothing to the groups: they are built after, from the contents.
    buildGroups(index, longStarts);
}

void FindFirstOccurrences(PatternIndex& index, const std::atomic<uint32_t>& hashed, ProgressMeter& meter)
{
    const LineList& lines = index.lines;
    const auto n = static_cast<uint32_t>(lines.size());
    // The table is far larger than the cache: each line's slot is fetched a few lines ahead.
    uint32_t aheadFirst[Ahead];
    std::fill(std::begin(aheadFirst), std::end(aheadFirst), NoLine);
    uint32_t available = 0;
    const auto hashOfLine = [&](uint32_t i) {
        while (i >= available) {
            available = hashed.load(std::memory_order_acquire);
            if (i >= available)
                std::this_thread::yield();
        }
        return index.hashes[i];
    };
    const auto keyOfLine = [&](uint32_t i) { return mix(hashOfLine(i), static_cast<uint64_t>(lines[i].size())); };
    const auto peekAhead = [&](uint32_t i) {
        const uint32_t f = index.patterns.find(keyOfLine(i));
        aheadFirst[i % Ahead] = f;
        if (f != NoLine)
            __builtin_prefetch(&lines[f]);
    };
    const auto fetchAhead = [&](uint32_t i) {
        if (const uint32_t f = aheadFirst[i % Ahead]; f != NoLine)
            __builtin_prefetch(lines[f].utf16());
    };
    for (uint32_t i = 0; i < std::min(n, Ahead); ++i)
        index.patterns.prefetch(keyOfLine(i));
    std::size_t distinctUnits = 0;
    std::size_t distinctCount = 0;
    std::size_t quadCount = 0;
    // The bar shows the patterns built in its first quarter, the scan in the rest.
    for (uint32_t i = 0; i < n; ++i) {
        if (i % PulseEvery == 0)
            meter.pulse(i, qsizetype{4} * n);
        const QStringView line = lines[i];
        if (i + Ahead / 4 < n)
            fetchAhead(i + Ahead / 4);
        if (i + Ahead / 2 < n)
            peekAhead(i + Ahead / 2);
        if (i + Ahead < n)
            index.patterns.prefetch(keyOfLine(i + Ahead));
        if (line.isEmpty())
            continue;
        uint64_t key = keyOfLine(i);
        for (;;) {
            const uint32_t f = index.patterns.insert(key, i);
            if (f == i || lines[f] == line) {
                index.first[i] = f;
                break;
            }
            // A different content with the same key: it goes on a chain of keys.
            index.chained[f] = 1;
            key = nextOnChain(key);
        }
        if (index.first[i] != i)
            continue;
        distinctUnits += static_cast<std::size_t>(line.size());
        ++distinctCount;
        quadCount += line.size() >= 4 ? 1 : 0;
    }
    index.distinctUnits = distinctUnits;
    index.distinctCount = distinctCount;
    index.quadCount = quadCount;
}

} // namespace lumbrel::dedup
