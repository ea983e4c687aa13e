#include "lineops/rewrites.h"

#include "lineops/linemodel.h"
#include "lineops/number.h"
#include "lineops/textsearch.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumbrel {

namespace {

QString noLineBreak()
{
    return QStringLiteral("数据不足 没有发现换行符");
}

// The cut commands clean their box first, also when they then refuse a text without CR LF.
BoxedOpResult cleanBoxFirst(QStringView text, QStringView box)
{
    BoxedOpResult out;
    out.box = StripLineBreaks(box);
    if (!text.contains(CrLf))
        out.result = LineOpResult::refuse(noLineBreak());
    return out;
}

// Cleans lines with StripLineBreaks without copying the common ones: a line without a lone
// CR or LF only loses its outer spaces, which a view can do. The few that hold one are
// cleaned into storage of their own, which lives as long as the cleaner.
class LineCleaner
{
public:
    LineCleaner(QStringView text, qsizetype lineCount)
        : m_anyLoneBreak(hasLoneBreak(text, lineCount))
    {
    }

    QStringView operator()(QStringView line)
    {
        if (m_anyLoneBreak && (line.contains(u'\r') || line.contains(u'\n'))) {
            m_owned.append(StripLineBreaks(line));
            return m_owned.constLast();
        }
        return TrimSpaces(line);
    }

private:
    // A line never holds CR LF, so a text whose CR and LF all stand in its n - 1 line breaks
    // has no lone one. One pass that counts both, which the compiler can vectorise.
    static bool hasLoneBreak(QStringView text, qsizetype lineCount)
    {
        qsizetype crs = 0;
        qsizetype lfs = 0;
        const char16_t* s = text.utf16();
        for (qsizetype i = 0; i < text.size(); ++i) {
            crs += s[i] == u'\r';
            lfs += s[i] == u'\n';
        }
        return crs != lineCount - 1 || lfs != lineCount - 1;
    }

    bool m_anyLoneBreak;
    QStringList m_owned;
};

// Number of CR LF left of a run of k by replacing every three by one, then every two by one,
// each in one left-to-right pass.
qsizetype collapsedRun(qsizetype k)
{
    const qsizetype afterThrees = k / 3 + k % 3;
    return afterThrees / 2 + afterThrees % 2;
}

// Which lines are left once the runs of CR LF are shortened as above, asked for the lines in
// order. A run of k CR LF in a row encloses k - 1 empty lines (lines that are neither the
// first nor the last), and only those go, so the text itself need not be rebuilt.
class CollapsedLines
{
public:
    explicit CollapsedLines(const LineList& lines)
        : m_lines(lines)
    {
    }

    bool survives(qsizetype i)
    {
        const qsizetype n = m_lines.size();
        if (i == 0 || i == n - 1 || !m_lines[i].isEmpty())
            return true;
        if (i >= m_runEnd) {
            m_runEnd = i;
            while (m_runEnd < n - 1 && m_lines[m_runEnd].isEmpty())
                ++m_runEnd;
            m_runLeft = collapsedRun(m_runEnd - i + 1) - 1;
        }
        if (m_runLeft == 0)
            return false;
        --m_runLeft;
        return true;
    }

private:
    const LineList& m_lines;
    qsizetype m_runEnd = 0;
    qsizetype m_runLeft = 0;
};

} // namespace

ReplaceResult RemoveText(QStringView text, QStringView search)
{
    ReplaceResult r;
    r.search = RemoveLineBreaks(search);
    r.text = ReplaceAll(text, r.search, {});
    return r;
}

ReplaceResult ReplaceText(QStringView text, QStringView search, QStringView replacement)
{
    ReplaceResult r;
    r.search = StripLineBreaks(search);
    r.replacement = StripLineBreaks(replacement);
    r.text = ReplaceAll(text, r.search, r.replacement);
    return r;
}

ReplaceResult BreakAtText(QStringView text, QStringView search)
{
    ReplaceResult r;
    r.search = RemoveLineBreaks(search);
    r.replacement = CrLf.toString();
    r.text = ReplaceAll(text, r.search, r.replacement);
    return r;
}

BoxedOpResult AddKeyword(QStringView text, QStringView keyword, KeywordSide side, ProgressMeter& meter)
{
    BoxedOpResult out;
    if (!text.contains(CrLf)) {
        out.result = LineOpResult::refuse(noLineBreak());
        return out;
    }
    out.box = StripLineBreaks(keyword);
    LineList lines = SplitLines(text);
    const qsizetype n = lines.size();
    qsizetype entries = 0;
    CollapsedLines counted(lines);
    for (qsizetype i = 0; i < n; ++i)
        entries += counted.survives(i) ? 1 : 0;
    meter.start(entries);
    LineCleaner clean(text, n);
    CollapsedLines collapsed(lines);
    qsizetype kept = 0;
    for (qsizetype i = 0; i < n; ++i) {
        // Lines the shortening removes are empty and would be dropped anyway; they only take
        // no step of the meter.
        const bool entry = collapsed.survives(i);
        const QStringView line = clean(lines[i]);
        if (!line.isEmpty())
            lines[kept++] = line;
        if (entry)
            meter.step();
    }
    lines.resize(kept);
    meter.finish();
    const QStringView word = *out.box;
    out.result.text =
        side == KeywordSide::Front ? GroupedFrontJoin(lines, word, {}) : GroupedFrontJoin(lines, {}, word);
    return out;
}

BoxedOpResult KeepPiece(QStringView text, QStringView marker, MarkerPiece piece, ProgressMeter& meter)
{
    BoxedOpResult out = cleanBoxFirst(text, marker);
    if (out.result.refused())
        return out;
    const QStringView m = *out.box;
    // O(line + marker) a line, O(1) for one shorter than the marker: O(text + marker) in all.
    const TextSearch search(m);
    LineList lines = SplitLines(text);
    meter.start(lines.size());
    for (QStringView& line : lines) {
        // An empty marker cuts a line into one piece, the whole line; "留后" keeps it too.
        const qsizetype first = m.isEmpty() ? -1 : search.indexIn(line);
        if (first >= 0) {
            if (piece == MarkerPiece::Before) {
                line = line.first(first);
            } else {
                const qsizetype from = first + m.size();
                const qsizetype second = search.indexIn(line, from);
                line = line.sliced(from, (second < 0 ? line.size() : second) - from);
            }
        }
        meter.step();
    }
    meter.finish();
    out.result.text = FrontJoin(lines);
    return out;
}

qsizetype CutLength(double value)
{
    if (std::isnan(value) || value <= 0)
        return 0;
    constexpr double Max = std::numeric_limits<qint32>::max();
    if (value >= Max)
        return static_cast<qsizetype>(Max);
    // Nearest, ties to even, whatever the floating-point rounding mode.
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below + 1;
    if (fraction < 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) == 0.0))
        rounded = below;
    return static_cast<qsizetype>(rounded);
}

BoxedOpResult TakeChars(QStringView text, QStringView count, LineEnd end, ProgressMeter& meter)
{
    BoxedOpResult out = cleanBoxFirst(text, count);
    if (out.result.refused())
        return out;
    const std::optional<double> value = ParseNumber(*out.box);
    if (!value) {
        out.result = LineOpResult::refuse(QStringLiteral("您输入的不是数字"));
        return out;
    }
    const qsizetype cut = CutLength(*value);
    LineList lines = SplitLines(text);
    LineCleaner clean(text, lines.size());
    meter.start(lines.size());
    for (QStringView& line : lines) {
        line = clean(line);
        if (*value < static_cast<double>(line.size())) {
            const qsizetype keep = std::min(cut, line.size());
            line = end == LineEnd::Left ? line.first(keep) : line.last(keep);
        }
        meter.step();
    }
    meter.finish();
    out.result.text = FrontJoin(lines);
    return out;
}

} // namespace lumbrel
