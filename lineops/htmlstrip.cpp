#include "lineops/htmlstrip.h"

#include <algorithm>
#include <optional>

namespace lumbrel {

namespace {

// One pass: removes every match of "<", a unit accepted by `opens`, then the longest run
// without "<" that ends with ">". Each start looks at the units up to the next "<" only;
// a unit is looked at from at most two starts (the "<" before it, and the one before that
// when the two "<" stand side by side), so the pass is linear. No match gives no text, which
// spares a copy.
template <typename Opens> std::optional<QString> removeTags(QStringView text, Opens opens)
{
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    QString out;
    qsizetype copiedTo = 0; // text[copiedTo, pos) still to be copied
    qsizetype pos = 0;
    while (pos < n) {
        const char16_t* lt = std::find(s + pos, s + n, u'<');
        const qsizetype p = lt - s;
        if (p >= n - 1)
            break; // no "<", or one at the very end: nothing more can match
        if (!opens(s[p + 1])) {
            pos = p + 1;
            continue;
        }
        // Up to the next "<", remembering the last ">".
        qsizetype lastGt = -1;
        qsizetype q = p + 2;
        for (; q < n && s[q] != u'<'; ++q) {
            if (s[q] == u'>')
                lastGt = q;
        }
        if (lastGt < 0) {
            pos = p + 1;
            continue;
        }
        if (out.isNull())
            out.reserve(n);
        out.append(text.sliced(copiedTo, p - copiedTo));
        copiedTo = lastGt + 1;
        pos = lastGt + 1;
    }
    if (out.isNull())
        return std::nullopt;
    out.append(text.sliced(copiedTo));
    return out;
}

} // namespace

QString StripHtmlTags(QStringView text)
{
    std::optional<QString> first = removeTags(text, [](char16_t c) { return c != u'\n'; });
    if (!first)
        first = text.toString();
    std::optional<QString> second = removeTags(*first, [](char16_t c) { return c == u'/'; });
    return second ? *std::move(second) : *std::move(first);
}

} // namespace lumbrel
