#pragma once

#include <QString>
#include <QStringView>

namespace lumbrel {

// Removes HTML tags from the whole text in two passes, each removing every non-overlapping
// match from left to right:
//  1. a "<", any one unit but LF (CR, "/", "<" and ">" included), then everything up to and
//     including the last ">" before the next "<" (or the end of the text);
//  2. the same with "/" as the unit after the "<".
// A "<" with no such ">" stays, and the scan goes on at the unit after it. Tags may span
// lines; the text between tags, line breaks included, stays as it is. Linear in the text.
QString StripHtmlTags(QStringView text);

} // namespace lumbrel
