#include "shell/linemodel.h"

#include <QStringMatcher>

namespace lumbrel {

namespace {

constexpr char16_t Cr = u'\r';
constexpr char16_t Lf = u'\n';

// Copies `v` to `out` and returns the position behind it.
inline char16_t* put(char16_t* out, QStringView v)
{
    if (!v.isEmpty())
        std::copy(v.utf16(), v.utf16() + v.size(), out);
    return out + v.size();
}

inline char16_t* putCrLf(char16_t* out)
{
    out[0] = Cr;
    out[1] = Lf;
    return out + 2;
}

template <typename IsGroupStart>
QString
reverseJoin(const LineList& lines, QStringView prefix, QStringView suffix, IsGroupStart isGroupStart, qsizetype groups)
{
    qsizetype size = 2 * groups;
    for (QStringView line : lines)
        size += line.size() + prefix.size() + suffix.size() + 2;
    QString result(size, Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(result.data());
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        out = put(out, prefix);
        out = put(out, lines[i]);
        out = put(out, suffix);
        out = putCrLf(out);
        if (isGroupStart(i))
            out = putCrLf(out);
    }
    if (lines.isEmpty() && groups > 0)
        putCrLf(out);
    return result;
}

} // namespace

qsizetype CountLines(QStringView text)
{
    if (!text.contains(CrLf))
        return 0;
    const qsizetype lfs = text.count(QChar(Lf));
    return text.endsWith(QChar(Lf)) ? lfs : lfs + 1;
}

QString RemoveLineBreaks(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c != QChar(Cr) && c != QChar(Lf))
            out.append(c);
    }
    return out;
}

QStringView TrimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

QString StripLineBreaks(QStringView text)
{
    // Removing CR LF, then CR, then LF removes every CR and every LF, in any order.
    const QString removed = RemoveLineBreaks(text);
    return TrimSpaces(removed).toString();
}

LineList SplitLines(QStringView text)
{
    LineList lines;
    if (text.isEmpty())
        return lines;
    qsizetype start = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype lf = text.indexOf(QChar(Lf), from);
        if (lf < 0)
            break;
        from = lf + 1;
        if (lf > start && text[lf - 1] == Cr) {
            lines.append(text.sliced(start, lf - 1 - start));
            start = lf + 1;
        }
    }
    lines.append(text.sliced(start));
    return lines;
}

QString NormalizeLineEnds(QString text)
{
    const qsizetype n = text.size();
    const char16_t* s = reinterpret_cast<const char16_t*>(text.constData());
    qsizetype lone = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (s[i] == Cr) {
            if (i + 1 < n && s[i + 1] == Lf)
                ++i;
            else
                ++lone;
        } else if (s[i] == Lf) {
            ++lone;
        }
    }
    if (lone == 0)
        return text;
    QString out(n + lone, Qt::Uninitialized);
    auto* o = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < n; ++i) {
        if (s[i] == Cr || s[i] == Lf) {
            o = putCrLf(o);
            if (s[i] == Cr && i + 1 < n && s[i + 1] == Lf)
                ++i;
        } else {
            *o++ = s[i];
        }
    }
    return out;
}

QString ReplaceAll(QStringView text, QStringView from, QStringView to)
{
    if (from.isEmpty() || text.size() < from.size())
        return text.toString();
    const QStringMatcher matcher(from, Qt::CaseSensitive);
    qsizetype hit = matcher.indexIn(text, 0);
    if (hit < 0)
        return text.toString();
    QString out;
    out.reserve(to.size() > from.size() ? text.size() + text.size() / from.size() * (to.size() - from.size())
                                        : text.size());
    qsizetype pos = 0;
    while (hit >= 0) {
        out.append(text.sliced(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
        hit = matcher.indexIn(text, pos);
    }
    out.append(text.sliced(pos));
    out.squeeze();
    return out;
}

QString FrontJoin(const LineList& lines, QStringView prefix, QStringView suffix)
{
    return reverseJoin(
        lines, prefix, suffix, [](qsizetype) { return false; }, 0);
}

QString GroupedFrontJoin(const LineList& lines, QStringView prefix, QStringView suffix)
{
    // The first group starts at 0, the next at 2000, then every 2001 lines: the line that
    // closes a group opens the next one without being counted.
    const auto isGroupStart = [](qsizetype i) {
        return i == 0 || (i >= GroupSize && (i - GroupSize) % (GroupSize + 1) == 0);
    };
    const qsizetype n = lines.size();
    const qsizetype groups = n <= GroupSize ? 1 : 1 + (n - GroupSize - 1) / (GroupSize + 1) + 1;
    return reverseJoin(lines, prefix, suffix, isGroupStart, groups);
}

} // namespace lumbrel
