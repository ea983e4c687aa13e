#include "lineops/linesort.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>

#include <algorithm>
#include <atomic>
#include <cstdint>
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
template <typename Before> void sampleSort(ZeroedVector<std::uint32_t>& items, Before before)
{
    const std::size_t m = items.size();
    if (m < 8192) {
        std::sort(items.begin(), items.end(), before);
        return;
    }
    constexpr std::size_t Oversample = 4;
    const std::size_t buckets = std::clamp<std::size_t>(m / 512, 2, 4096);
    std::vector<std::uint32_t> sample;
    sample.reserve(buckets * Oversample);
    for (std::size_t k = 0; k < buckets * Oversample; ++k)
        sample.push_back(items[k * m / (buckets * Oversample)]);
    std::sort(sample.begin(), sample.end(), before);
    std::vector<std::uint32_t> splitters;
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
    ZeroedVector<std::uint32_t> placed(m);
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

    // QCollatorSortKey has no empty state, so each core fills a list of its own.
    const qsizetype half = d < ParallelLines ? d : d / 2;
    std::vector<QCollatorSortKey> keys[2];
    const auto makeKeys = [&](int part, bool onMain) {
        QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
        collator.setNumericMode(numeric);
        const qsizetype from = part == 0 ? 0 : half;
        const qsizetype to = part == 0 ? half : d;
        std::vector<QCollatorSortKey>& out = keys[part];
        out.reserve(static_cast<std::size_t>(to - from));
        for (qsizetype k = from; k < to; ++k) {
            const QStringView line = lines[distinct[static_cast<std::size_t>(k)]];
            out.push_back(collator.sortKey(QString::fromRawData(line.data(), line.size())));
            if (onMain && (k - from) % PulseEvery == 0)
                meter.pulse(k - from, (to - from) * 3 / 2);
        }
    };
    if (half < d) {
        std::thread other(makeKeys, 1, false);
        makeKeys(0, true);
        other.join();
    } else {
        makeKeys(0, true);
    }
    const auto keyOf = [&](std::uint32_t k) -> const QCollatorSortKey& {
        return k < half ? keys[0][k] : keys[1][k - static_cast<std::size_t>(half)];
    };
    // Positions in `distinct`; equal keys keep input order, so the sort is deterministic.
    const auto before = [&](std::uint32_t a, std::uint32_t b) {
        const int c = keyOf(a).compare(keyOf(b));
        return c < 0 || (c == 0 && a < b);
    };
    ZeroedVector<std::uint32_t> sorted(static_cast<std::size_t>(d));
    for (std::size_t k = 0; k < sorted.size(); ++k)
        sorted[k] = static_cast<std::uint32_t>(k);
    sampleSort(sorted, before);
    meter.pulse(5, 6);

    ZeroedVector<std::uint32_t> distinctRank(static_cast<std::size_t>(d));
    std::uint32_t r = 0;
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        if (k == 0 || keyOf(sorted[k - 1]).compare(keyOf(sorted[k])) != 0)
            ++r;
        distinctRank[sorted[k]] = r;
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
