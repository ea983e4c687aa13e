#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace lumbrel {

// Decodes a page body in the named character set. "utf-8" drops a leading byte order mark;
// "gb2312" (and "gbk", "gb18030") is read with the GB18030 decoder, because pages labelled
// gb2312 routinely hold GBK-only characters that a strict GB2312 decoder corrupts. Other
// names go to the platform's decoder of that name, unknown ones to UTF-8. Invalid and
// truncated byte sequences become U+FFFD; an empty body gives an empty text.
QString BytesToText(QByteArrayView bytes, QStringView charset);

// The character set of the fetch page's choice: "gb2312" when the choice contains "gb"
// (case-sensitive), otherwise "utf-8".
QString CharsetForChoice(QStringView choice);

} // namespace lumbrel
