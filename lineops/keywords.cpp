#include "lineops/keywords.h"

#include "lineops/bigarray.h"

#include <QChar>
#include <QRandomGenerator>

#include <algorithm>
#include <bit>
#include <limits>
#include <numeric>
#include <string_view>
#include <thread>

namespace lumbrel {

namespace {

constexpr std::int32_t MatchBase = std::numeric_limits<std::int32_t>::min();
constexpr std::uint32_t NoState = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t Root = 0;
// The class of a high surrogate that begins pairs which case folding changes: the pair is
// folded as one character before its units go in, as FoldLine does.
constexpr std::uint32_t FoldingPair = std::numeric_limits<std::uint32_t>::max();
constexpr qsizetype PulseEvery = 16384;
// Below this many lines a second thread costs more than it saves.
constexpr qsizetype ParallelLines = 4096;
constexpr std::size_t UnitCount = 0x10000;
// A state's children may make the double array grow by fewer slots than this a child.
constexpr std::uint32_t SparseLimit = 64;

inline bool isLow(char16_t u)
{
    return (u & 0xFC00) == 0xDC00;
}

// For each high surrogate, whether case folding changes a pair it begins (a few scripts above
// U+FFFF have case). Worked out once from Qt's own tables.
const std::vector<bool>& pairFoldingHighs()
{
    static const std::vector<bool> marks = [] {
        std::vector<bool> m(0x400);
        for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
            if (QChar::toCaseFolded(c) != c)
                m[QChar::highSurrogate(c) - 0xD800] = true;
        }
        return m;
    }();
    return marks;
}

std::u16string_view unitsOf(QStringView v)
{
    return {reinterpret_cast<const char16_t*>(v.utf16()), static_cast<std::size_t>(v.size())};
}

// The slots of the double array taken so far, and the search for room: 64 candidate bases a
// step, one AND of shifted words per child class.
class SlotMap
{
public:
    void take(std::size_t p)
    {
        const std::size_t w = p / 64;
        if (w >= m_words.size())
            m_words.resize(std::max(w + 1, 2 * m_words.size()), 0);
        m_words[w] |= std::uint64_t{1} << (p % 64);
        m_top = std::max(m_top, p + 1);
    }

    std::size_t firstFree()
    {
        while (m_head < m_words.size() && m_words[m_head] == ~std::uint64_t{0})
            ++m_head;
        return m_head * 64 + (m_head < m_words.size() ? std::countr_zero(~m_words[m_head]) : 0);
    }

    // Bit i set: slot p + i is free (every slot past the end is).
    std::uint64_t freeFrom(std::size_t p) const
    {
        const std::size_t w = p / 64;
        const unsigned shift = p % 64;
        const std::uint64_t taken = shift == 0 ? word(w) : (word(w) >> shift) | (word(w + 1) << (64 - shift));
        return ~taken;
    }

    // One past the last slot taken.
    std::size_t top() const
    {
        return m_top;
    }

private:
    std::uint64_t word(std::size_t w) const
    {
        return w < m_words.size() ? m_words[w] : 0;
    }

    std::vector<std::uint64_t> m_words;
    std::size_t m_head = 0; // every word before it is full
    std::size_t m_top = 0;
};

} // namespace

QList<QStringView> BatchKeywordViews(QStringView list)
{
    QList<QStringView> keywords;
    const qsizetype n = list.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = list.indexOf(CrLf, start);
        if (end < 0)
            end = n;
        const QStringView line = list.sliced(start, end - start);
        if (line.contains(u"##"))
            break;
        // The shortest of the keywords the job takes from this line: after its last lone LF,
        // or after the one before it when the line ends with that LF.
        const qsizetype last = line.lastIndexOf(u'\n');
        qsizetype from = last + 1;
        if (last >= 0 && from == line.size())
            from = last > 0 ? line.lastIndexOf(u'\n', last - 1) + 1 : 0;
        if (from < line.size())
            keywords.append(line.sliced(from));
        start = end + CrLf.size();
    }
    return keywords;
}

QStringList BatchKeywords(QStringView list)
{
    QStringList keywords;
    for (QStringView k : BatchKeywordViews(list))
        keywords.append(k.toString());
    return keywords;
}

KeywordSet::KeywordSet(const QList<QStringView>& keywords, LineFolds folds, int searchBlocks)
    : m_classes(UnitCount, 0)
    , m_foldedClasses(UnitCount, 0)
{
    folds &= LineFold::Case | LineFold::Width;
    // The folded keywords, as views of one buffer (or of the keywords when nothing folds).
    std::vector<std::u16string_view> keys;
    keys.reserve(static_cast<std::size_t>(keywords.size()));
    QString buffer;
    if (folds) {
        qsizetype total = 0;
        for (QStringView k : keywords)
            total += k.size();
        buffer = QString(total, Qt::Uninitialized);
        auto* out = reinterpret_cast<char16_t*>(buffer.data());
        for (QStringView k : keywords) {
            char16_t* end = FoldUnits(k, folds, out);
            if (end != out)
                keys.emplace_back(out, static_cast<std::size_t>(end - out));
            out = end;
        }
    } else {
        for (QStringView k : keywords) {
            if (!k.isEmpty())
                keys.push_back(unitsOf(k));
        }
    }
    m_multiplier = QRandomGenerator::global()->generate() | 1;
    if (keys.empty()) {
        m_slots = ZeroedVector<Slot>(1);
        return;
    }
    m_empty = false;

    // Classes number the units the keywords hold, in unit order, so that keywords sorted by
    // their units list each state's children by class. A text unit takes the class of its
    // folded form.
    std::vector<std::uint32_t>& classOf = m_foldedClasses;
    for (std::u16string_view key : keys) {
        for (char16_t u : key)
            classOf[u] = 1;
    }
    std::uint32_t classCount = 0;
    for (std::uint32_t& c : classOf) {
        if (c != 0)
            c = ++classCount;
    }
    if (folds) {
        const char16_t* map = UnitFolds(folds);
        for (std::size_t u = 0; u < UnitCount; ++u)
            m_classes[u] = classOf[map[u]];
        if (folds.testFlag(LineFold::Case)) {
            const std::vector<bool>& marks = pairFoldingHighs();
            for (std::size_t h = 0; h < marks.size(); ++h) {
                if (marks[h])
                    m_classes[0xD800 + h] = FoldingPair;
            }
        }
    } else {
        m_classes = classOf;
    }

    // The trie of the sorted keywords, nodes in the order they are made. A keyword that has an
    // earlier one as its prefix (a copy, too) would only lengthen a path no scan goes down.
    // Sorted by their first four units packed in one number, the rest compared only on a tie.
    struct Sorting
    {
        std::uint64_t head;
        std::uint32_t index;
    };
    std::vector<Sorting> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::uint64_t head = 0;
        for (std::size_t k = 0; k < 4; ++k)
            head = head << 16 | (k < keys[i].size() ? keys[i][k] : 0);
        order[i] = {head, static_cast<std::uint32_t>(i)};
    }
    std::sort(order.begin(), order.end(), [&](const Sorting& a, const Sorting& b) {
        return a.head != b.head ? a.head < b.head : keys[a.index] < keys[b.index];
    });
    // At most one node a keyword unit, so the arrays never move while they fill.
    std::size_t units = 1;
    for (std::u16string_view key : keys)
        units += key.size();
    ZeroedVector<std::uint32_t> parent;
    ZeroedVector<std::uint32_t> edge; // the class of the unit leading to the node
    ZeroedVector<char> terminal;
    parent.reserve(units);
    edge.reserve(units);
    terminal.reserve(units);
    parent.push_back(Root);
    edge.push_back(0);
    terminal.push_back(0);
    std::vector<std::uint32_t> path{Root}; // the last keyword's nodes by depth
    std::vector<char> covered{0};          // covered[d]: a keyword ends on path[1..d]
    std::u16string_view previous;
    for (const Sorting& sorted : order) {
        const std::u16string_view key = keys[sorted.index];
        const std::size_t most = std::min({key.size(), previous.size(), path.size() - 1});
        std::size_t shared = 0;
        while (shared < most && key[shared] == previous[shared])
            ++shared;
        previous = key;
        path.resize(shared + 1);
        covered.resize(shared + 1);
        if (covered[shared])
            continue;
        for (std::size_t d = shared; d < key.size(); ++d) {
            parent.push_back(path.back());
            edge.push_back(classOf[key[d]]);
            terminal.push_back(0);
            path.push_back(static_cast<std::uint32_t>(parent.size() - 1));
            covered.push_back(0);
        }
        terminal[path.back()] = 1;
        covered.back() = 1;
    }
    const std::size_t n = parent.size();

    // Each node's children, by class, in one array.
    ZeroedVector<std::uint32_t> childStart(n + 1);
    for (std::size_t v = 1; v < n; ++v)
        ++childStart[parent[v] + 1];
    std::partial_sum(childStart.begin(), childStart.end(), childStart.begin());
    ZeroedVector<std::uint32_t> children(n - 1);
    ZeroedVector<std::uint32_t> childClass(n - 1);
    {
        ZeroedVector<std::uint32_t> cursor(childStart.begin(), childStart.end() - 1);
        for (std::size_t v = 1; v < n; ++v) {
            const std::uint32_t k = cursor[parent[v]]++;
            children[k] = static_cast<std::uint32_t>(v);
            childClass[k] = edge[v];
        }
    }
    const auto childOf = [&](std::uint32_t v, std::uint32_t c) {
        const auto first = childClass.begin() + childStart[v];
        const auto last = childClass.begin() + childStart[v + 1];
        const auto it = std::lower_bound(first, last, c);
        return it != last && *it == c ? children[static_cast<std::size_t>(it - childClass.begin())] : NoState;
    };

    // Failure links, breadth first. A node matches when a keyword ends there or at its failure
    // node; the scan stops at the first match, so the children of a matching node are never
    // reached and take no states.
    ZeroedVector<std::uint32_t> fail(n); // Root
    ZeroedVector<char> matches(n);
    ZeroedVector<std::uint32_t> states;
    states.reserve(n);
    states.push_back(Root);
    for (std::size_t i = 0; i < states.size(); ++i) {
        const std::uint32_t v = states[i];
        if (matches[v])
            continue;
        for (std::uint32_t k = childStart[v]; k < childStart[v + 1]; ++k) {
            const std::uint32_t w = children[k];
            std::uint32_t f = Root;
            if (v != Root) {
                for (std::uint32_t s = fail[v];; s = fail[s]) {
                    const std::uint32_t g = childOf(s, edge[w]);
                    if (g != NoState) {
                        f = g;
                        break;
                    }
                    if (s == Root)
                        break;
                }
            }
            fail[w] = f;
            matches[w] = terminal[w] || matches[f];
            states.push_back(w);
        }
    }
    m_states = static_cast<qsizetype>(states.size());

    // The double array, breadth first: the root's children at their classes (base 0), every
    // other state's at the first base where all of them find free slots, 64 bases a step for
    // at most `searchBlocks` steps; past that the state keeps its transitions in a small hash
    // table.
    SlotMap taken;
    ZeroedVector<std::uint32_t> pos(n); // set for every state before it is read
    ZeroedVector<std::int32_t> base(n);
    pos[Root] = 0;
    taken.take(0);
    for (std::uint32_t v : states) {
        const std::uint32_t k0 = childStart[v];
        const std::uint32_t k1 = childStart[v + 1];
        if (matches[v] || k0 == k1)
            continue;
        std::size_t b = 0;
        bool placed = v == Root;
        if (!placed) {
            const std::uint32_t c0 = childClass[k0];
            const std::uint32_t cLast = childClass[k1 - 1];
            const auto search = [&](std::size_t from) {
                b = from & ~std::size_t{63};
                for (int block = 0; block < searchBlocks; ++block, b += 64) {
                    std::uint64_t room = ~std::uint64_t{0};
                    for (std::uint32_t k = k0; k < k1 && room != 0; ++k)
                        room &= taken.freeFrom(b + childClass[k]);
                    if (room != 0) {
                        b += static_cast<std::size_t>(std::countr_zero(room));
                        return true;
                    }
                }
                return false;
            };
            // Where the first free slot could take a child, then where the children would just
            // reach past the last slot taken (the states with many children find room there
            // rather than among the others). A base is taken only if the array grows by less
            // than SparseLimit slots a child.
            const std::size_t first = taken.firstFree();
            const std::size_t most = taken.top() + SparseLimit * (k1 - k0);
            placed = (search(first >= c0 ? first - c0 : 0) && b + cLast < most) ||
                     (search(taken.top() >= cLast ? taken.top() - cLast : 0) && b + cLast < most);
        }
        if (placed) {
            base[v] = static_cast<std::int32_t>(b);
            for (std::uint32_t k = k0; k < k1; ++k) {
                const std::uint32_t w = children[k];
                pos[w] = static_cast<std::uint32_t>(b + edge[w]);
                taken.take(pos[w]);
            }
            continue;
        }
        // A table of its own, at most half full, hashed by class with a secret multiplier.
        const std::size_t offset = m_tables.size();
        const int bits = static_cast<int>(std::bit_width(2 * (k1 - k0) - 1));
        base[v] = -1 - static_cast<std::int32_t>(offset);
        m_tables.push_back(static_cast<std::uint32_t>(32 - bits));
        m_tables.resize(offset + 1 + (std::size_t{2} << bits), 0);
        for (std::uint32_t k = k0; k < k1; ++k) {
            const std::uint32_t w = children[k];
            pos[w] = static_cast<std::uint32_t>(taken.firstFree());
            taken.take(pos[w]);
            std::uint32_t i = (edge[w] * m_multiplier) >> (32 - bits);
            while (m_tables[offset + 1 + 2 * i] != 0)
                i = (i + 1) & ((1U << bits) - 1);
            m_tables[offset + 1 + 2 * i] = edge[w];
            m_tables[offset + 2 + 2 * i] = pos[w];
        }
        ++m_hashedStates;
    }

    // Room past the last slot taken for every class from any base.
    const std::size_t size = taken.top() + classCount + 1;
    m_slots = ZeroedVector<Slot>(size); // all empty: no state's complement is 0
    for (std::uint32_t v : states) {
        Slot& slot = m_slots[pos[v]];
        slot.base = matches[v] ? MatchBase : base[v];
        slot.check = v == Root ? 0 : ~pos[parent[v]];
        slot.fail = pos[fail[v]];
    }
}

inline std::uint32_t KeywordSet::hashed(std::int32_t base, std::uint32_t unitClass) const
{
    const std::uint32_t* table = m_tables.data() + (-1 - static_cast<std::int64_t>(base));
    const std::uint32_t shift = table[0];
    const std::uint32_t mask = 0xFFFFFFFFU >> shift;
    for (std::uint32_t i = (unitClass * m_multiplier) >> shift;; i = (i + 1) & mask) {
        const std::uint32_t c = table[1 + 2 * i];
        if (c == unitClass)
            return table[2 + 2 * i];
        if (c == 0)
            return NoState;
    }
}

inline std::uint32_t KeywordSet::next(std::uint32_t state, std::uint32_t unitClass) const
{
    const Slot* cells = m_slots.data();
    for (;;) {
        const std::int32_t b = cells[state].base;
        if (b >= 0) [[likely]] {
            const std::uint32_t t = static_cast<std::uint32_t>(b) + unitClass;
            if (cells[t].check == ~state)
                return t;
        } else {
            const std::uint32_t t = hashed(b, unitClass);
            if (t != NoState)
                return t;
        }
        if (state == Root)
            return Root;
        state = cells[state].fail;
    }
}

bool KeywordSet::foldedPairAt(const char16_t*& p, const char16_t* end, std::uint32_t& state) const
{
    char16_t folded[2] = {p[-1], 0};
    int count = 1;
    if (p < end && isLow(*p)) {
        const char32_t f = QChar::toCaseFolded(QChar::surrogateToUcs4(p[-1], *p));
        ++p;
        folded[0] = QChar::highSurrogate(f);
        folded[1] = QChar::lowSurrogate(f);
        count = 2;
    }
    for (int k = 0; k < count; ++k) {
        const std::uint32_t c = m_foldedClasses[folded[k]];
        if (c == 0) {
            state = Root;
            continue;
        }
        state = next(state, c);
        if (m_slots[state].base == MatchBase)
            return true;
    }
    return false;
}

bool KeywordSet::foundIn(QStringView line) const
{
    const auto* p = reinterpret_cast<const char16_t*>(line.utf16());
    const char16_t* const end = p + line.size();
    const std::uint32_t* classes = m_classes.data();
    const Slot* cells = m_slots.data();
    std::uint32_t state = Root;
    while (p < end) {
        const std::uint32_t c = classes[*p++];
        if (c == 0) {
            // A unit no keyword holds: nothing read so far can go on to a match.
            state = Root;
            continue;
        }
        if (c == FoldingPair) [[unlikely]] {
            if (foldedPairAt(p, end, state))
                return true;
            continue;
        }
        state = next(state, c);
        if (cells[state].base == MatchBase)
            return true;
    }
    return false;
}

ListOpResult RemoveAllKeywords(QStringView text, QStringView list, LineFolds folds, ProgressMeter& meter)
{
    if (text.isEmpty())
        return ListOpResult::refuse(NoWorkingText);
    const QList<QStringView> keywords = BatchKeywordViews(list);
    if (keywords.isEmpty())
        return ListOpResult::refuse(NoKeywords);
    const qsizetype lines = CountListLines(text);
    meter.start(lines);
    const KeywordSet set(keywords, folds);
    // Both cores scan, each half of the text; the halves meet after a CR LF near the middle.
    qsizetype middle = lines < ParallelLines ? -1 : text.indexOf(CrLf, text.size() / 2);
    middle = middle < 0 ? text.size() : middle + CrLf.size();
    const QStringView first = text.first(middle);
    const QStringView second = text.sliced(middle);
    LinePartition later;
    std::thread other;
    if (!second.isEmpty())
        other = std::thread(
            [&] { later = PartitionListLines(second, [&](QStringView line) { return !set.foundIn(line); }); });
    qsizetype done = 0;
    LinePartition parts = PartitionListLines(first, [&](QStringView line) {
        if (++done % PulseEvery == 0)
            meter.pulse(done, lines / (second.isEmpty() ? 1 : 2));
        return !set.foundIn(line);
    });
    if (other.joinable()) {
        other.join();
        // The later half's bits go on after the first half's lines.
        parts.passed.resize(static_cast<std::size_t>((parts.lines + later.lines + 63) / 64), 0);
        for (qsizetype i = 0; i < later.lines; ++i) {
            if ((later.passed[static_cast<std::size_t>(i / 64)] >> (i % 64)) & 1) {
                const qsizetype at = parts.lines + i;
                parts.passed[static_cast<std::size_t>(at / 64)] |= quint64{1} << (at % 64);
            }
        }
        parts.lines += later.lines;
        for (int side = 0; side < 2; ++side) {
            parts.sideLines[side] += later.sideLines[side];
            parts.sideUnits[side] += later.sideUnits[side];
        }
    }
    ListOpResult r = JoinInOrder(text, parts, true);
    meter.finish();
    return r;
}

} // namespace lumbrel
