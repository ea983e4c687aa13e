#include "lineops/regexlines.h"

#include "lineops/bigarray.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <re2/re2.h>
#include <string>
#include <string_view>
#include <vector>

namespace lumbrel {

namespace {

// RE2's budget for a pattern's programs and its automata's caches: a huge pattern fails to
// compile with RE2's own reason rather than taking gigabytes; an automaton that runs out of
// its cache falls back, within RE2, to a slower exact search.
constexpr std::int64_t MemoryBudget = std::int64_t{16} << 20;
constexpr qsizetype PulseEvery = 16384;
// Extract reads the clock after this many searches: cheap next to the searches, and often
// enough that a search of a long line does not overrun the deadline by much.
constexpr int ClockEvery = 16;

inline bool isHigh(char16_t u)
{
    return (u & 0xFC00) == 0xD800;
}

inline bool isLow(char16_t u)
{
    return (u & 0xFC00) == 0xDC00;
}

// The UTF-8 bytes of code point c.
inline char* putUtf8(char* o, char32_t c)
{
    if (c < 0x80) {
        *o++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *o++ = static_cast<char>(0xC0 | (c >> 6));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *o++ = static_cast<char>(0xE0 | (c >> 12));
        *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *o++ = static_cast<char>(0xF0 | (c >> 18));
        *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return o;
}

// The character at s[i] (i < n) as a code point (an unpaired surrogate as U+FFFD), and how
// many units it takes.
inline char32_t codePointAt(const char16_t* s, qsizetype n, qsizetype i, int& units)
{
    const char16_t u = s[i];
    units = 1;
    if (isHigh(u) && i + 1 < n && isLow(s[i + 1])) {
        units = 2;
        return QChar::surrogateToUcs4(u, s[i + 1]);
    }
    return isHigh(u) || isLow(u) ? char32_t{0xFFFD} : char32_t{u};
}

// The bytes a character takes in UTF-8, from its first byte (1 for a byte inside a character).
inline qsizetype utf8Length(unsigned char lead)
{
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

std::string toUtf8(QStringView text)
{
    std::string out(static_cast<std::size_t>(3 * text.size()), '\0');
    const auto* s = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    char* o = out.data();
    for (qsizetype i = 0; i < n;) {
        int units = 1;
        o = putUtf8(o, codePointAt(s, n, i, units));
        i += units;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

// The working lines as RE2 reads them: UTF-8, joined by LF (a final CR LF adds nothing).
struct Utf8Lines
{
    std::unique_ptr<char[]> bytes;
    qsizetype size = 0;
    ZeroedVector<qsizetype> starts;     // each line's first byte; one more: size + 1
    std::vector<qsizetype> loneLfLines; // the lines holding a lone LF, in order

    qsizetype count() const
    {
        return static_cast<qsizetype>(starts.size()) - 1;
    }
    qsizetype start(qsizetype line) const
    {
        return starts[static_cast<std::size_t>(line)];
    }
    qsizetype end(qsizetype line) const
    {
        return starts[static_cast<std::size_t>(line) + 1] - 1;
    }
    re2::StringPiece all() const
    {
        return {bytes.get(), static_cast<std::size_t>(size)};
    }
    re2::StringPiece line(qsizetype i) const
    {
        return {bytes.get() + start(i), static_cast<std::size_t>(end(i) - start(i))};
    }
};

Utf8Lines toUtf8Lines(QStringView text)
{
    Utf8Lines r;
    const auto* s = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    const qsizetype last = text.endsWith(CrLf) ? n - 2 : n;
    const auto capacity = static_cast<std::size_t>(3 * last + 1);
    r.bytes.reset(new char[capacity]);
    AdviseHugePages(r.bytes.get(), capacity);
    char* const begin = r.bytes.get();
    char* o = begin;
    r.starts.reserve(static_cast<std::size_t>(CountListLines(text)) + 1);
    r.starts.push_back(0);
    bool loneLf = false;
    // One branch a unit for the common cases, most common first: a list mixes Chinese and
    // ASCII in runs too short for a wider step to pay.
    for (qsizetype i = 0; i < last;) {
        const char16_t u = s[i];
        if (u >= 0x800 && (u & 0xF800) != 0xD800) {
            o[0] = static_cast<char>(0xE0 | (u >> 12));
            o[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            o[2] = static_cast<char>(0x80 | (u & 0x3F));
            o += 3;
            ++i;
        } else if (u < 0x80) {
            if (u == u'\r' && i + 1 < n && s[i + 1] == u'\n') {
                // The line being written is the last one started.
                if (loneLf)
                    r.loneLfLines.push_back(r.count());
                loneLf = false;
                *o++ = '\n';
                r.starts.push_back(o - begin);
                i += 2;
            } else {
                loneLf |= u == u'\n';
                *o++ = static_cast<char>(u);
                ++i;
            }
        } else {
            int units = 1;
            o = putUtf8(o, codePointAt(s, n, i, units));
            i += units;
        }
    }
    if (loneLf)
        r.loneLfLines.push_back(r.count());
    r.size = o - begin;
    r.starts.push_back(r.size + 1);
    return r;
}

// Whether the pattern can tell the whole text's start or end from a line's (\A, \z, or a flag
// group that turns m off, after which ^ and $ mean them): then the lines are matched one by
// one. The pattern's text is searched, not its parse, so an escaped backslash before A or a
// class holding "(?-m" counts too; that only costs speed.
bool tellsTextFromLine(std::string_view p)
{
    if (p.find("\\A") != std::string_view::npos || p.find("\\z") != std::string_view::npos)
        return true;
    for (std::size_t i = p.find("(?"); i != std::string_view::npos; i = p.find("(?", i + 1)) {
        bool off = false;
        for (std::size_t j = i + 2; j < p.size() && std::strchr("imsU-", p[j]) != nullptr && p[j] != '\0'; ++j) {
            off |= p[j] == '-';
            if (off && p[j] == 'm')
                return true;
        }
    }
    return false;
}

// The search: every line a text of its own, but as few calls to RE2 as the lines allow. Lines
// without a lone LF are searched together, joined by LF, with the pattern made multi-line and
// kept off LF (never_nl), so that a match lies within one line and ^ and $ meet each line's
// ends as they would in the line alone; context beyond a search's range is the neighbouring
// line's, as it would be the line's own ends. A match that still holds an LF (\C matches any
// byte) sends its line to the single-line search.
class LineSearch
{
public:
    LineSearch(const Utf8Lines& lines, const RE2& single, const RE2* joined, ProgressMeter& meter)
        : m_lines(lines)
        , m_single(single)
        , m_joined(joined)
        , m_meter(meter)
    {
    }

    // Calls hit(line) once for each line with a match.
    template <typename Hit> void linesWithMatch(Hit hit)
    {
        forEachStretch(
            [&](qsizetype first, qsizetype end) {
                const qsizetype endByte = m_lines.end(end - 1);
                qsizetype pos = m_lines.start(first);
                qsizetype line = first;
                re2::StringPiece m;
                while (pos <= endByte) {
                    if (!m_joined->Match(m_lines.all(),
                                         static_cast<std::size_t>(pos),
                                         static_cast<std::size_t>(endByte),
                                         RE2::UNANCHORED,
                                         &m,
                                         1))
                        break;
                    const qsizetype at = m.data() - m_lines.bytes.get();
                    line = lineAt(at, line);
                    if (!holdsLf(m) || singleHas(line))
                        hit(line);
                    // The lines after a hit are tried one by one while they match, each search
                    // kept within its line: when most lines match, that is cheaper than a search
                    // that finds the match and then looks back for its start.
                    while (++line < end && joinedHas(line)) {
                        hit(line);
                        if (line % PulseEvery == 0)
                            m_meter.pulse(line, m_lines.count());
                    }
                    pos = m_lines.start(std::min(line + 1, end));
                }
            },
            [&](qsizetype line) {
                if (singleHas(line))
                    hit(line);
            });
    }

    // Extract's searches each may read to their line's end, so one pattern can make them
    // quadratic in a long line; past the deadline they stop and stopped() says so.
    void setDeadline(std::chrono::steady_clock::time_point deadline)
    {
        m_deadline = deadline;
        m_hasDeadline = true;
    }

    bool stopped() const
    {
        return m_stopped;
    }

    // Calls take(line, from, to) for each piece Extract takes: byte offsets into the joined
    // text, in order.
    template <typename Take> void pieces(Take take)
    {
        const int group = m_single.NumberOfCapturingGroups() > 0 ? 1 : 0;
        const auto piece = [&](qsizetype line, const re2::StringPiece* m, const char* base) {
            const re2::StringPiece& p = m[group];
            if (p.data() != nullptr && !p.empty())
                take(line, p.data() - base, p.data() - base + static_cast<qsizetype>(p.size()));
        };
        const char* base = m_lines.bytes.get();
        forEachStretch(
            [&](qsizetype first, qsizetype end) {
                const qsizetype endByte = m_lines.end(end - 1);
                qsizetype pos = m_lines.start(first);
                qsizetype line = first;
                re2::StringPiece m[2];
                while (pos <= endByte) {
                    if (!m_joined->Match(m_lines.all(),
                                         static_cast<std::size_t>(pos),
                                         static_cast<std::size_t>(endByte),
                                         RE2::UNANCHORED,
                                         m,
                                         1 + group))
                        break;
                    if (overdue())
                        return;
                    const qsizetype at = m[0].data() - base;
                    line = lineAt(at, line);
                    if (holdsLf(m[0])) {
                        singlePieces(line, std::max(pos, m_lines.start(line)) - m_lines.start(line), piece);
                        pos = m_lines.start(line + 1);
                        continue;
                    }
                    piece(line, m, base);
                    pos = m[0].empty() ? at + (at < m_lines.size ? utf8Length(static_cast<unsigned char>(base[at])) : 1)
                                       : at + static_cast<qsizetype>(m[0].size());
                }
            },
            [&](qsizetype line) { singlePieces(line, 0, piece); });
    }

private:
    // Calls onStretch(first, end) for each run of lines the joined search can take, and
    // onLine(line) for each line it cannot, in order.
    template <typename OnStretch, typename OnLine> void forEachStretch(OnStretch onStretch, OnLine onLine)
    {
        const qsizetype n = m_lines.count();
        if (m_joined == nullptr) {
            for (qsizetype line = 0; line < n && !m_stopped; ++line) {
                onLine(line);
                if (line % PulseEvery == 0)
                    m_meter.pulse(line, n);
            }
            return;
        }
        qsizetype first = 0;
        for (qsizetype lone : m_lines.loneLfLines) {
            if (first < lone)
                onStretch(first, lone);
            if (m_stopped)
                return;
            onLine(lone);
            first = lone + 1;
        }
        if (first < n)
            onStretch(first, n);
    }

    bool overdue()
    {
        if (!m_hasDeadline || m_stopped || ++m_searches % ClockEvery != 0)
            return m_stopped;
        m_stopped = std::chrono::steady_clock::now() >= m_deadline;
        return m_stopped;
    }

    // The line holding byte `at`, searched forward from `from`.
    qsizetype lineAt(qsizetype at, qsizetype from)
    {
        qsizetype line = from;
        while (m_lines.start(line + 1) <= at)
            ++line;
        if (line / PulseEvery != from / PulseEvery)
            m_meter.pulse(line, m_lines.count());
        return line;
    }

    static bool holdsLf(const re2::StringPiece& m)
    {
        return !m.empty() && std::memchr(m.data(), '\n', m.size()) != nullptr;
    }

    // Whether the joined pattern matches within the line: the search cannot leave its range,
    // so the match holds no LF, and the context beyond it is the line's own ends.
    bool joinedHas(qsizetype line) const
    {
        return m_joined->Match(m_lines.all(),
                               static_cast<std::size_t>(m_lines.start(line)),
                               static_cast<std::size_t>(m_lines.end(line)),
                               RE2::UNANCHORED,
                               nullptr,
                               0);
    }

    bool singleHas(qsizetype line) const
    {
        const re2::StringPiece text = m_lines.line(line);
        return m_single.Match(text, 0, text.size(), RE2::UNANCHORED, nullptr, 0);
    }

    // The pieces of one line matched alone, from its byte `from` on.
    template <typename Piece> void singlePieces(qsizetype line, qsizetype from, Piece& piece)
    {
        const re2::StringPiece text = m_lines.line(line);
        const int group = m_single.NumberOfCapturingGroups() > 0 ? 1 : 0;
        re2::StringPiece m[2];
        auto pos = static_cast<std::size_t>(from);
        while (pos <= text.size()) {
            if (!m_single.Match(text, pos, text.size(), RE2::UNANCHORED, m, 1 + group) || overdue())
                break;
            piece(line, m, m_lines.bytes.get());
            const auto at = static_cast<std::size_t>(m[0].data() - text.data());
            pos = m[0].empty() ? at + static_cast<std::size_t>(
                                          at < text.size() ? utf8Length(static_cast<unsigned char>(text[at])) : 1)
                               : at + m[0].size();
        }
    }

    const Utf8Lines& m_lines;
    const RE2& m_single;
    const RE2* m_joined;
    ProgressMeter& m_meter;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_hasDeadline = false;
    bool m_stopped = false;
    int m_searches = 0;
};

// Walks the working text and its UTF-8 form together, to turn byte offsets (in order) into
// unit offsets.
class UnitCursor
{
public:
    explicit UnitCursor(QStringView text)
        : m_s(reinterpret_cast<const char16_t*>(text.utf16()))
        , m_n(text.size())
    {
    }

    // The unit offset of byte `to`, rounded down to its character's start; the cursor stays
    // there. `to` never goes back past the last call's.
    qsizetype startOf(qsizetype to)
    {
        while (m_byte < to) {
            int units = 1;
            const qsizetype bytes = stepAt(m_unit, units);
            if (m_byte + bytes > to)
                break;
            m_byte += bytes;
            m_unit += units;
        }
        return m_unit;
    }

    // The unit offset of byte `to`, rounded up to the end of its character; the cursor stays.
    qsizetype endOf(qsizetype to) const
    {
        qsizetype byte = m_byte;
        qsizetype unit = m_unit;
        while (byte < to) {
            int units = 1;
            byte += stepAt(unit, units);
            unit += units;
        }
        return unit;
    }

private:
    // The bytes of the character (or CR LF) at unit i, and its units.
    qsizetype stepAt(qsizetype i, int& units) const
    {
        if (m_s[i] == u'\r' && i + 1 < m_n && m_s[i + 1] == u'\n') {
            units = 2;
            return 1;
        }
        const char32_t c = codePointAt(m_s, m_n, i, units);
        return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }

    const char16_t* m_s;
    qsizetype m_n;
    qsizetype m_byte = 0;
    qsizetype m_unit = 0;
};

} // namespace

std::chrono::milliseconds ExtractTimeLimit(QStringView text)
{
    // A second, and a second more for each 16 Mi characters: several times what a linear
    // pattern needs on this machine's slower core.
    return std::chrono::milliseconds(1000 + text.size() / (qsizetype{16} << 20) * 1000);
}

ListOpResult RegexLines(QStringView text,
                        QStringView pattern,
                        RegexMode mode,
                        bool ignoreCase,
                        ProgressMeter& meter,
                        std::optional<std::chrono::milliseconds> extractLimit)
{
    if (pattern.isEmpty())
        return ListOpResult::refuse(NoPattern);
    const std::string source = toUtf8(pattern);
    RE2::Options options;
    options.set_log_errors(false);
    options.set_case_sensitive(!ignoreCase);
    options.set_max_mem(MemoryBudget);
    const RE2 single(source, options);
    if (!single.ok())
        return ListOpResult::refuse(BadPattern + QString::fromStdString(single.error()));
    if (text.isEmpty())
        return ListOpResult::refuse(NoWorkingText);

    const Utf8Lines lines = toUtf8Lines(text);
    meter.start(lines.count());
    std::unique_ptr<RE2> joined;
    if (!tellsTextFromLine(source)) {
        RE2::Options lineOptions = options;
        lineOptions.set_never_nl(true);
        joined = std::make_unique<RE2>("(?m)" + source, lineOptions);
        if (!joined->ok())
            joined.reset();
    }
    LineSearch search(lines, single, joined.get(), meter);

    ListOpResult r;
    if (mode == RegexMode::Extract) {
        if (extractLimit)
            search.setDeadline(std::chrono::steady_clock::now() + *extractLimit);
        QString out;
        UnitCursor cursor(text);
        search.pieces([&](qsizetype, qsizetype from, qsizetype to) {
            const qsizetype a = cursor.startOf(from);
            const qsizetype b = cursor.endOf(to);
            out.append(text.sliced(a, b - a)).append(CrLf);
            ++r.kept;
        });
        if (search.stopped()) {
            meter.finish();
            return ListOpResult::refuse(ExtractTooSlow);
        }
        r.text = std::move(out);
        r.removed = lines.count();
    } else {
        std::vector<quint64> hits(static_cast<std::size_t>((lines.count() + 63) / 64), 0);
        search.linesWithMatch(
            [&](qsizetype line) { hits[static_cast<std::size_t>(line / 64)] |= quint64{1} << (line % 64); });
        const bool keepHits = mode == RegexMode::Keep;
        qsizetype i = 0;
        const LinePartition parts = PartitionListLines(text, [&](QStringView) {
            const bool hit = (hits[static_cast<std::size_t>(i / 64)] >> (i % 64)) & 1;
            ++i;
            return hit == keepHits;
        });
        r = JoinInOrder(text, parts, true);
    }
    meter.finish();
    return r;
}

} // namespace lumbrel
