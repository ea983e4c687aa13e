#include "lineops/linesort.h"

#include "lineops/collationkeys.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace lumbrel {

namespace {

constexpr qsizetype ParallelLines = 4096;
constexpr qsizetype PulseEvery = 4096;

// The lines in the order of their ranks, equal ranks in input order: a counting sort that
// reads the lines in input order and writes each where its rank's lines go, so the reads
// stream and the writes go to as many places as there are ranks. Linear in the lines and the
// ranks.
ListOpResult joinByRank(const LineList& lines, const ZeroedVector<std::uint32_t>& rank, std::uint32_t ranks)
{
    const qsizetype n = lines.size();
    ZeroedVector<qsizetype> at(static_cast<std::size_t>(ranks) + 1);
    for (qsizetype i = 0; i < n; ++i)
        at[rank[static_cast<std::size_t>(i)] + 1] += lines[i].size() + 2;
    for (std::size_t r = 1; r < at.size(); ++r)
        at[r] += at[r - 1];
    ListOpResult r;
    r.kept = n;
    r.text = BigString(at.back());
    auto* base = reinterpret_cast<char16_t*>(r.text.data());
    for (qsizetype i = 0; i < n; ++i) {
        const QStringView line = lines[i];
        char16_t* out = base + at[rank[static_cast<std::size_t>(i)]];
        out = std::copy(line.utf16(), line.utf16() + line.size(), out);
        out[0] = u'\r';
        out[1] = u'\n';
        at[rank[static_cast<std::size_t>(i)]] += line.size() + 2;
    }
    return r;
}

// Ranks by character count, counted on both cores. Counts are ranks themselves while they stay
// small; a few huge lines would make the count table huge, so then the distinct counts are
// sorted and numbered.
ZeroedVector<std::uint32_t> lengthRanks(const LineList& lines, std::uint32_t& ranks)
{
    const qsizetype n = lines.size();
    ZeroedVector<std::uint32_t> rank(static_cast<std::size_t>(n));
    qsizetype longest[2] = {};
    const auto count = [&](qsizetype from, qsizetype to, int part) {
        for (qsizetype i = from; i < to; ++i) {
            const qsizetype length = CharacterCount(lines[i]);
            rank[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(std::min<qsizetype>(length, UINT32_MAX));
            longest[part] = std::max(longest[part], length);
        }
    };
    if (n < ParallelLines) {
        count(0, n, 0);
    } else {
        std::thread other(count, n / 2, n, 1);
        count(0, n / 2, 0);
        other.join();
    }
    const qsizetype most = std::max(longest[0], longest[1]);
    if (most <= 4 * n + 65536) {
        ranks = static_cast<std::uint32_t>(most) + 1;
        return rank;
    }
    // Lines of 2^32 characters and more cannot be told apart by the 32-bit counts: counted again.
    const auto lengthOf = [&](std::size_t i) {
        return rank[i] < UINT32_MAX ? qsizetype{rank[i]} : CharacterCount(lines[static_cast<qsizetype>(i)]);
    };
    std::vector<qsizetype> distinct(rank.size());
    for (std::size_t i = 0; i < rank.size(); ++i)
        distinct[i] = lengthOf(i);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    for (std::size_t i = 0; i < rank.size(); ++i)
        rank[i] = static_cast<std::uint32_t>(std::lower_bound(distinct.begin(), distinct.end(), lengthOf(i)) -
                                             distinct.begin());
    ranks = static_cast<std::uint32_t>(distinct.size());
    return rank;
}

// Sorts `items` by `before` (a strict total order), on both cores for big lists. A key
// comparison chases two pointers into a million scattered keys, so it is the cache misses that
// cost: the items are first put into buckets between sorted sample items (a binary search over
// a few thousand keys that stay in the cache), then each bucket, whose keys fit in the cache,
// is sorted on its own.
template <typename Item, typename Before> void sampleSort(ZeroedVector<Item>& items, Before before)
{
    const std::size_t m = items.size();
    if (m < 8192) {
        std::sort(items.begin(), items.end(), before);
        return;
    }
    constexpr std::size_t Oversample = 4;
    const std::size_t buckets = std::clamp<std::size_t>(m / 512, 2, 4096);
    std::vector<Item> sample;
    sample.reserve(buckets * Oversample);
    for (std::size_t k = 0; k < buckets * Oversample; ++k)
        sample.push_back(items[k * m / (buckets * Oversample)]);
    std::sort(sample.begin(), sample.end(), before);
    std::vector<Item> splitters;
    for (std::size_t b = 1; b < buckets; ++b)
        splitters.push_back(sample[b * Oversample]);

    // Bucket b holds the items above splitters[b - 1] and up to splitters[b].
    ZeroedVector<std::uint32_t> bucketOf(m);
    const auto classify = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            bucketOf[k] = static_cast<std::uint32_t>(
                std::lower_bound(splitters.begin(), splitters.end(), items[k], before) - splitters.begin());
    };
    std::thread other(classify, m / 2, m);
    classify(0, m / 2);
    other.join();

    std::vector<std::size_t> start(buckets + 1, 0);
    for (std::size_t k = 0; k < m; ++k)
        ++start[bucketOf[k] + 1];
    for (std::size_t b = 1; b <= buckets; ++b)
        start[b] += start[b - 1];
    ZeroedVector<Item> placed(m);
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t k = 0; k < m; ++k)
        placed[next[bucketOf[k]]++] = items[k];
    items.swap(placed);

    std::atomic<std::size_t> nextBucket{0};
    const auto sortBuckets = [&] {
        for (std::size_t b; (b = nextBucket.fetch_add(1)) < buckets;)
            std::sort(items.begin() + static_cast<std::ptrdiff_t>(start[b]),
                      items.begin() + static_cast<std::ptrdiff_t>(start[b + 1]),
                      before);
    };
    std::thread helper(sortBuckets);
    sortBuckets();
    helper.join();
}

// Ranks by collation: one sort key for each distinct non-empty line (made on both cores, each
// with a collator of its own), the distinct lines sorted by key, equal keys sharing a rank.
// Empty lines have rank 0: QCollator::compare puts them before every other line, even one of
// ignorable characters only, whose key equals the empty key.
ZeroedVector<std::uint32_t>
collationRanks(const LineList& lines, bool numeric, ProgressMeter& meter, std::uint32_t& ranks)
{
    const qsizetype n = lines.size();
    // Grouping is a small part of the sort: the bar moves with the keys and the sort.
    NullProgressMeter quiet;
    const LineGroups groups = GroupLines(lines, quiet);
    ZeroedVector<std::uint32_t> distinct; // first occurrences of non-empty lines, in input order
    distinct.reserve(static_cast<std::size_t>(groups.distinct));
    for (qsizetype i = 0; i < n; ++i) {
        if (groups.first[static_cast<std::size_t>(i)] == i && !lines[i].isEmpty())
            distinct.push_back(static_cast<std::uint32_t>(i));
    }
    const qsizetype d = static_cast<qsizetype>(distinct.size());

    const CollationKeys keys(lines, distinct, numeric, meter);
    // Sorted by the keys' first eight bytes, held beside the positions so most comparisons
    // touch no key at all; the rest of the key only where those are equal. Equal keys keep
    // input order, so the sort is deterministic.
    struct Entry
    {
        std::uint64_t prefix;
        std::uint32_t k; // position in `distinct`
    };
    // The rest of two keys with equal prefixes: a prefix ending in a zero byte holds the whole key.
    const auto restCompare = [&keys](const Entry& a, const Entry& b) {
        return (a.prefix & 0xFF) == 0 ? 0 : std::strcmp(keys.key(a.k) + 8, keys.key(b.k) + 8);
    };
    const auto before = [&](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int c = restCompare(a, b);
        return c < 0 || (c == 0 && a.k < b.k);
    };
    ZeroedVector<Entry> sorted(static_cast<std::size_t>(d));
    for (std::size_t k = 0; k < sorted.size(); ++k)
        sorted[k] = {keys.prefix(k), static_cast<std::uint32_t>(k)};
    sampleSort(sorted, before);
    meter.pulse(5, 6);

    ZeroedVector<std::uint32_t> distinctRank(static_cast<std::size_t>(d));
    std::uint32_t r = 0;
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        if (k == 0 || sorted[k - 1].prefix != sorted[k].prefix || restCompare(sorted[k - 1], sorted[k]) != 0)
            ++r;
        distinctRank[sorted[k].k] = r;
    }
    ranks = r + 1;
    // The rank of each line through its first occurrence's place among the distinct lines.
    ZeroedVector<std::uint32_t> rank(static_cast<std::size_t>(n), 0);
    for (std::size_t k = 0; k < distinct.size(); ++k)
        rank[distinct[k]] = distinctRank[k];
    for (std::size_t i = 0; i < rank.size(); ++i)
        rank[i] = rank[groups.first[i]];
    return rank;
}

} // namespace

ListOpResult SortLines(QStringView text, SortOrder order, ProgressMeter& meter)
{
    if (text.isEmpty())
        return ListOpResult::refuse(NoWorkingText);
    const LineList lines = SplitListLines(text);
    meter.start(lines.size());
    std::uint32_t ranks = 0;
    const ZeroedVector<std::uint32_t> rank = order == SortOrder::Length
                                                 ? lengthRanks(lines, ranks)
                                                 : collationRanks(lines, order == SortOrder::Natural, meter, ranks);
    ListOpResult r = joinByRank(lines, rank, ranks);
    meter.finish();
    return r;
}

ListOpResult ReverseLines(QStringView text)
{
    if (text.isEmpty())
        return ListOpResult::refuse(NoWorkingText);
    LineList lines = SplitListLines(text);
    std::reverse(lines.begin(), lines.end());
    ListOpResult r;
    r.kept = lines.size();
    r.text = JoinListLines(lines);
    return r;
}

} // namespace lumbrel
