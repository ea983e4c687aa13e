#include "lineops/linefold.h"

#include <QChar>
#include <QRandomGenerator>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <thread>

namespace lumbrel {

namespace {

// Below this many lines a second thread costs more than it saves.
constexpr qsizetype ParallelLines = 4096;
constexpr qsizetype PulseEvery = 16384;

inline bool isHigh(char16_t u)
{
    return (u & 0xFC00) == 0xD800;
}

inline bool isLow(char16_t u)
{
    return (u & 0xFC00) == 0xDC00;
}

// The folded form of the character at s[i] (one unit, or two for a surrogate pair, in `units`).
inline char32_t foldedAt(const char16_t* s, qsizetype n, qsizetype i, LineFolds folds, int& units)
{
    char32_t c = s[i];
    units = 1;
    if (c < 0x80)
        return folds.testFlag(LineFold::Case) && c >= u'A' && c <= u'Z' ? c + 32 : c;
    if (folds.testFlag(LineFold::Width)) {
        if (c >= 0xFF01 && c <= 0xFF5E) {
            c -= 0xFEE0;
            return folds.testFlag(LineFold::Case) && c >= u'A' && c <= u'Z' ? c + 32 : c;
        }
        if (c == 0x3000)
            return u' ';
    }
    if (!folds.testFlag(LineFold::Case))
        return c;
    if (isHigh(static_cast<char16_t>(c)) && i + 1 < n && isLow(s[i + 1])) {
        units = 2;
        return QChar::toCaseFolded(QChar::surrogateToUcs4(static_cast<char16_t>(c), s[i + 1]));
    }
    // An unpaired surrogate folds to itself.
    return QChar::toCaseFolded(c);
}

inline QStringView trimmed(QStringView line, LineFolds folds)
{
    if (!folds.testFlag(LineFold::Spaces))
        return line;
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && line[begin].isSpace())
        ++begin;
    while (end > begin && line[end - 1].isSpace())
        --end;
    return line.sliced(begin, end - begin);
}

} // namespace

// One lookup a unit instead of Unicode's tables. Made once per choice, on first use (65,536
// entries, well under a millisecond).
const char16_t* UnitFolds(LineFolds folds)
{
    const auto make = [](LineFolds f) {
        auto* map = new char16_t[0x10000];
        for (char32_t c = 0; c < 0x10000; ++c) {
            const auto u = static_cast<char16_t>(c);
            int units = 1;
            map[c] = isHigh(u) || isLow(u) ? u : static_cast<char16_t>(foldedAt(&u, 1, 0, f, units));
        }
        return map;
    };
    static const char16_t* const maps[4] = {
        make(LineFolds()),
        make(LineFold::Case),
        make(LineFold::Width),
        make(LineFold::Case | LineFold::Width),
    };
    return maps[(folds.testFlag(LineFold::Case) ? 1 : 0) + (folds.testFlag(LineFold::Width) ? 2 : 0)];
}

namespace {

// The position of the first character that folding changes, or the line's size.
qsizetype firstChange(QStringView line, LineFolds folds, const char16_t* map)
{
    const auto* s = reinterpret_cast<const char16_t*>(line.utf16());
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = s[i];
        if (map[u] != u)
            return i;
        if (isHigh(u) && i + 1 < n && isLow(s[i + 1]) && folds.testFlag(LineFold::Case)) {
            int units = 2;
            if (foldedAt(s, n, i, folds, units) != QChar::surrogateToUcs4(u, s[i + 1]))
                return i;
            ++i;
        }
    }
    return n;
}

// Writes the folded form of line[from..] to `out`; folding keeps every character's unit count.
char16_t* foldRest(QStringView line, qsizetype from, LineFolds folds, const char16_t* map, char16_t* out)
{
    const auto* s = reinterpret_cast<const char16_t*>(line.utf16());
    const qsizetype n = line.size();
    // Only case folding reads a pair as one character; without it each unit maps through the
    // table, which leaves surrogates as they are.
    const bool pairs = folds.testFlag(LineFold::Case);
    for (qsizetype i = from; i < n; ++i) {
        const char16_t u = s[i];
        if (pairs && isHigh(u) && i + 1 < n && isLow(s[i + 1])) {
            int units = 2;
            const char32_t f = foldedAt(s, n, i, folds, units);
            *out++ = QChar::highSurrogate(f);
            *out++ = QChar::lowSurrogate(f);
            ++i;
        } else {
            *out++ = map[u];
        }
    }
    return out;
}

__extension__ using Wide = unsigned __int128;

inline std::uint64_t mum(std::uint64_t a, std::uint64_t b)
{
    const Wide r = static_cast<Wide>(a) * b;
    return static_cast<std::uint64_t>(r) ^ static_cast<std::uint64_t>(r >> 64);
}

inline std::uint64_t load64(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t load32(const unsigned char* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Runs `work(from, to, onMain)` over [0, n) in two halves, the second on a thread of its own
// when n is big enough; `onMain` tells the half that runs on the calling thread (the only
// one that may touch the meter).
// A HyperLogLog sketch of the number of distinct hashes: about 2 % off, in 4 KiB, whatever
// the number of lines.
class DistinctSketch
{
public:
    void add(std::uint64_t h)
    {
        // The register from the low bits, the rank from the bits above them; neither overlaps
        // the bits that pick a table and a slot.
        const auto rest = static_cast<std::uint32_t>(h >> Bits) << Bits | (1U << (Bits - 1));
        const auto rank = static_cast<std::uint8_t>(std::countl_zero(rest) + 1);
        std::uint8_t& r = m_registers[h & (Registers - 1)];
        r = std::max(r, rank);
    }
    void merge(const DistinctSketch& other)
    {
        for (std::size_t k = 0; k < Registers; ++k)
            m_registers[k] = std::max(m_registers[k], other.m_registers[k]);
    }
    double estimate() const
    {
        double sum = 0;
        std::size_t zeros = 0;
        for (std::uint8_t r : m_registers) {
            sum += std::ldexp(1.0, -r);
            zeros += r == 0 ? 1 : 0;
        }
        constexpr double m = Registers;
        const double raw = 0.7213 / (1 + 1.079 / m) * m * m / sum;
        if (raw < 2.5 * m && zeros > 0)
            return m * std::log(m / static_cast<double>(zeros));
        return raw;
    }

private:
    static constexpr int Bits = 12;
    static constexpr std::size_t Registers = std::size_t{1} << Bits;
    std::uint8_t m_registers[Registers] = {};
};

template <typename Work> void splitInTwo(qsizetype n, Work work)
{
    if (n < ParallelLines) {
        work(qsizetype{0}, n, true);
        return;
    }
    const qsizetype half = n / 2;
    std::thread other([&] { work(half, n, false); });
    work(qsizetype{0}, half, true);
    other.join();
}

} // namespace

QString FoldLine(QStringView line, LineFolds folds)
{
    const QStringView kept = trimmed(line, folds);
    QString out(kept.size(), Qt::Uninitialized);
    foldRest(kept, 0, folds, UnitFolds(folds), reinterpret_cast<char16_t*>(out.data()));
    return out;
}

char16_t* FoldUnits(QStringView line, LineFolds folds, char16_t* out)
{
    return foldRest(line, 0, folds, UnitFolds(folds), out);
}

qsizetype CharacterCount(QStringView line)
{
    const auto* s = reinterpret_cast<const char16_t*>(line.utf16());
    const qsizetype n = line.size();
    qsizetype pairs = 0;
    for (qsizetype i = 0; i + 1 < n; ++i) {
        if (isHigh(s[i]) && isLow(s[i + 1])) {
            ++pairs;
            ++i;
        }
    }
    return n - pairs;
}

LineKeys::LineKeys(const LineList& lines, LineFolds folds)
    : m_lines(&lines)
    , m_folded(folds != LineFolds())
{
    if (!m_folded)
        return;
    const qsizetype n = lines.size();
    m_keys.resize(n);
    // Folding never lengthens a line, so each half writes into its own part of one buffer
    // sized for every line, and no view into it ever moves.
    qsizetype total = 0;
    for (QStringView line : lines)
        total += line.size();
    m_buffer = QString(total, Qt::Uninitialized);
    auto* buffer = reinterpret_cast<char16_t*>(m_buffer.data());
    const char16_t* map = UnitFolds(folds);
    const qsizetype half = n < ParallelLines ? n : n / 2;
    qsizetype secondStart = 0;
    for (qsizetype i = 0; i < half; ++i)
        secondStart += lines[i].size();
    splitInTwo(n, [&](qsizetype from, qsizetype to, bool) {
        char16_t* out = buffer + (from == 0 ? 0 : secondStart);
        for (qsizetype i = from; i < to; ++i) {
            const QStringView line = trimmed(lines[i], folds);
            const qsizetype change = firstChange(line, folds, map);
            if (change == line.size()) {
                m_keys[i] = line;
                continue;
            }
            char16_t* start = out;
            out = std::copy(line.utf16(), line.utf16() + change, out);
            out = foldRest(line, change, folds, map, out);
            m_keys[i] = QStringView(start, out - start);
        }
    });
}

LineHasher::LineHasher()
    : LineHasher(QRandomGenerator::global()->generate64())
{
}

LineHasher::LineHasher(std::uint64_t seed)
{
    // Secrets drawn from the seed, none of them zero: a product with a known factor of zero
    // would let crafted input wipe out everything hashed before it.
    std::uint64_t state = seed;
    for (std::uint64_t& s : m_secret) {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        s = (z ^ (z >> 31)) | 1;
    }
}

std::uint64_t LineHasher::operator()(QStringView units) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(units.utf16());
    std::size_t len = static_cast<std::size_t>(units.size()) * 2;
    std::uint64_t h = m_secret[0] ^ mum(len ^ m_secret[1], m_secret[2]);
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (len <= 16) {
        if (len >= 4) {
            // Two overlapping 32-bit reads from each end cover 4..16 bytes.
            const std::size_t mid = (len >> 3) << 2;
            a = load32(p) << 32 | load32(p + mid);
            b = load32(p + len - 4) << 32 | load32(p + len - 4 - mid);
        } else if (len == 2) {
            a = static_cast<std::uint64_t>(p[0]) | static_cast<std::uint64_t>(p[1]) << 8;
        }
    } else {
        while (len > 16) {
            h = mum(load64(p) ^ m_secret[1], load64(p + 8) ^ h);
            p += 16;
            len -= 16;
        }
        a = load64(p + len - 16);
        b = load64(p + len - 8);
    }
    return mum(mum(a ^ m_secret[1], b ^ h) ^ m_secret[2], h ^ m_secret[0]);
}

LineGroups GroupLines(const LineList& keys, ProgressMeter& meter)
{
    LineGroups g;
    const qsizetype n = keys.size();
    g.first = ZeroedVector<std::uint32_t>(static_cast<std::size_t>(n));
    g.count = ZeroedVector<std::uint32_t>(static_cast<std::size_t>(n));
    if (n == 0)
        return g;

    const LineHasher hash;
    ZeroedVector<std::uint64_t> hashes(static_cast<std::size_t>(n));
    // Lines go to the core named by their hash's top bit: each keeps a table of its own, and a
    // line's group is wholly in one of them.
    qsizetype upper[2] = {};
    // Each half also sketches how many distinct lines each table will hold, so the tables are
    // made at about their size instead of doubling their way there from fresh memory.
    DistinctSketch sketches[2][2];
    splitInTwo(n, [&](qsizetype from, qsizetype to, bool onMain) {
        qsizetype ones = 0;
        DistinctSketch(&sketch)[2] = sketches[onMain ? 0 : 1];
        for (qsizetype i = from; i < to; ++i) {
            const std::uint64_t h = hash(keys[i]);
            hashes[static_cast<std::size_t>(i)] = h;
            ones += static_cast<qsizetype>(h >> 63);
            sketch[h >> 63].add(h);
            if (onMain && i % PulseEvery == 0)
                meter.pulse(i - from, 3 * (to - from));
        }
        upper[onMain ? 0 : 1] = ones;
    });
    const qsizetype ones = upper[0] + upper[1];
    qsizetype distinct[2] = {};
    double expected[2];
    for (int part = 0; part < 2; ++part) {
        sketches[0][part].merge(sketches[1][part]);
        expected[part] = sketches[0][part].estimate();
    }

    const auto group = [&](std::uint64_t part, qsizetype members, bool onMain) {
        // At most half full, so a probe ends after two slots on average. The table is sized by
        // the distinct lines, not all of them (few distinct lines keep it in the cache), and
        // doubles if the sketch guessed low.
        const std::size_t most = std::bit_ceil(static_cast<std::size_t>(2 * members + 2));
        // Small lists start small and grow (cheap at their size, and every list of the tests
        // goes through the growth); big ones start at the sketch's size.
        const auto guess = static_cast<std::size_t>(2.2 * expected[part]) + 2;
        std::size_t slotCount =
            n < ParallelLines ? 64 : std::min(most, std::bit_ceil(std::max<std::size_t>(guess, 4096)));
        std::size_t mask = slotCount - 1;
        // A slot holds the hash's top 32 bits, whose low bits place it (so a bigger table needs
        // nothing else), and the line index + 1.
        ZeroedVector<std::uint64_t> table(slotCount);
        const auto grow = [&] {
            slotCount *= 2;
            mask = slotCount - 1;
            ZeroedVector<std::uint64_t> bigger(slotCount);
            for (std::size_t k = 0; k < table.size(); ++k) {
                // Writes land anywhere in the bigger table: its slots are fetched ahead too.
                if (k + 16 < table.size() && table[k + 16] != 0)
                    __builtin_prefetch(&bigger[(table[k + 16] >> 32) & mask], 1);
                const std::uint64_t slot = table[k];
                if (slot == 0)
                    continue;
                std::size_t pos = (slot >> 32) & mask;
                while (bigger[pos] != 0)
                    pos = (pos + 1) & mask;
                bigger[pos] = slot;
            }
            table.swap(bigger);
        };
        // A line's lookup waits on up to three scattered loads: its slot, the earlier line's
        // view, that line's text. Each is fetched ahead, a later line's slot first, then (with
        // the slot at hand) the view of the line it names, then that view's text.
        constexpr qsizetype SlotAhead = 16;
        constexpr qsizetype ViewAhead = 8;
        constexpr qsizetype TextAhead = 4;
        const auto homeMatch = [&](qsizetype later) -> const QStringView* {
            const std::uint64_t h = hashes[static_cast<std::size_t>(later)];
            if (h >> 63 != part)
                return nullptr;
            const std::uint64_t slot = table[(h >> 32) & mask];
            return slot != 0 && slot >> 32 == h >> 32 ? &keys[static_cast<std::uint32_t>(slot) - 1] : nullptr;
        };
        qsizetype found = 0;
        for (qsizetype i = 0; i < n; ++i) {
            if (i + SlotAhead < n) {
                const std::uint64_t later = hashes[static_cast<std::size_t>(i + SlotAhead)];
                if (later >> 63 == part)
                    __builtin_prefetch(&table[(later >> 32) & mask]);
            }
            if (i + ViewAhead < n) {
                if (const QStringView* view = homeMatch(i + ViewAhead))
                    __builtin_prefetch(view);
            }
            if (i + TextAhead < n) {
                if (const QStringView* view = homeMatch(i + TextAhead))
                    __builtin_prefetch(view->data());
            }
            if (onMain && i % PulseEvery == 0)
                meter.pulse(n + 2 * i, 3 * n);
            const std::uint64_t h = hashes[static_cast<std::size_t>(i)];
            if (h >> 63 != part)
                continue;
            const std::uint64_t tag = h >> 32;
            std::size_t pos = tag & mask;
            for (;;) {
                const std::uint64_t slot = table[pos];
                if (slot == 0) {
                    table[pos] = tag << 32 | static_cast<std::uint64_t>(i + 1);
                    g.first[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i);
                    g.count[static_cast<std::size_t>(i)] = 1;
                    if (static_cast<std::size_t>(++found) * 2 > slotCount)
                        grow();
                    break;
                }
                if (slot >> 32 == tag) {
                    const auto j = static_cast<std::uint32_t>(slot) - 1;
                    if (keys[j] == keys[i]) {
                        g.first[static_cast<std::size_t>(i)] = j;
                        ++g.count[j];
                        break;
                    }
                }
                pos = (pos + 1) & mask;
            }
        }
        distinct[part] = found;
    };
    if (n < ParallelLines) {
        group(0, n - ones, true);
        group(1, ones, false);
    } else {
        std::thread other([&] { group(1, ones, false); });
        group(0, n - ones, true);
        other.join();
    }
    g.distinct = distinct[0] + distinct[1];
    return g;
}

} // namespace lumbrel
