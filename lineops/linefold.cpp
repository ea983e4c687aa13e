#include "lineops/linefold.h"

#include <QChar>
#include <QRandomGenerator>

#include <algorithm>
#include <bit>
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

// The position of the first character that folding changes, or the line's size.
qsizetype firstChange(QStringView line, LineFolds folds)
{
    const auto* s = reinterpret_cast<const char16_t*>(line.utf16());
    const qsizetype n = line.size();
    int units = 1;
    for (qsizetype i = 0; i < n; i += units) {
        // ASCII outside A..Z never changes: the common case costs one test a unit.
        if (s[i] < 0x80 && !(s[i] >= u'A' && s[i] <= u'Z' && folds.testFlag(LineFold::Case))) {
            units = 1;
            continue;
        }
        const char32_t f = foldedAt(s, n, i, folds, units);
        const char32_t c = units == 2 ? QChar::surrogateToUcs4(s[i], s[i + 1]) : s[i];
        if (f != c)
            return i;
    }
    return n;
}

// Writes the folded form of line[from..] to `out`; folding keeps every character's unit count.
char16_t* foldRest(QStringView line, qsizetype from, LineFolds folds, char16_t* out)
{
    const auto* s = reinterpret_cast<const char16_t*>(line.utf16());
    const qsizetype n = line.size();
    int units = 1;
    for (qsizetype i = from; i < n; i += units) {
        const char32_t f = foldedAt(s, n, i, folds, units);
        if (units == 2) {
            *out++ = QChar::highSurrogate(f);
            *out++ = QChar::lowSurrogate(f);
        } else {
            *out++ = static_cast<char16_t>(f);
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
    foldRest(kept, 0, folds, reinterpret_cast<char16_t*>(out.data()));
    return out;
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
    const qsizetype half = n < ParallelLines ? n : n / 2;
    qsizetype secondStart = 0;
    for (qsizetype i = 0; i < half; ++i)
        secondStart += lines[i].size();
    splitInTwo(n, [&](qsizetype from, qsizetype to, bool) {
        char16_t* out = buffer + (from == 0 ? 0 : secondStart);
        for (qsizetype i = from; i < to; ++i) {
            const QStringView line = trimmed(lines[i], folds);
            const qsizetype change = firstChange(line, folds);
            if (change == line.size()) {
                m_keys[i] = line;
                continue;
            }
            char16_t* start = out;
            out = std::copy(line.utf16(), line.utf16() + change, out);
            out = foldRest(line, change, folds, out);
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
    splitInTwo(n, [&](qsizetype from, qsizetype to, bool onMain) {
        qsizetype ones = 0;
        for (qsizetype i = from; i < to; ++i) {
            const std::uint64_t h = hash(keys[i]);
            hashes[static_cast<std::size_t>(i)] = h;
            ones += static_cast<qsizetype>(h >> 63);
            if (onMain && i % PulseEvery == 0)
                meter.pulse(i - from, 3 * (to - from));
        }
        upper[onMain ? 0 : 1] = ones;
    });
    const qsizetype ones = upper[0] + upper[1];
    qsizetype distinct[2] = {};

    const auto group = [&](std::uint64_t part, qsizetype members, bool onMain) {
        // At most half full, so a probe ends after two slots on average. The table starts small
        // and doubles as groups come: few distinct lines keep it in the cache, and the memory
        // follows the distinct lines, not all of them.
        const std::size_t most = std::bit_ceil(static_cast<std::size_t>(2 * members + 2));
        std::size_t slotCount = std::min<std::size_t>(most, 4096);
        std::size_t mask = slotCount - 1;
        // A slot holds 32 bits of the hash (above the ones that place it) and the line index + 1.
        ZeroedVector<std::uint64_t> table(slotCount);
        const auto grow = [&] {
            slotCount *= 2;
            mask = slotCount - 1;
            ZeroedVector<std::uint64_t> bigger(slotCount);
            for (const std::uint64_t slot : table) {
                if (slot == 0)
                    continue;
                std::size_t pos = hashes[static_cast<std::uint32_t>(slot) - 1] & mask;
                while (bigger[pos] != 0)
                    pos = (pos + 1) & mask;
                bigger[pos] = slot;
            }
            table.swap(bigger);
        };
        constexpr qsizetype Ahead = 16;
        qsizetype found = 0;
        for (qsizetype i = 0; i < n; ++i) {
            if (i + Ahead < n) {
                const std::uint64_t later = hashes[static_cast<std::size_t>(i + Ahead)];
                if (later >> 63 == part)
                    __builtin_prefetch(&table[later & mask]);
            }
            if (onMain && i % PulseEvery == 0)
                meter.pulse(n + 2 * i, 3 * n);
            const std::uint64_t h = hashes[static_cast<std::size_t>(i)];
            if (h >> 63 != part)
                continue;
            const std::uint64_t tag = (h >> 31) & 0xFFFFFFFFULL;
            std::size_t pos = h & mask;
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
