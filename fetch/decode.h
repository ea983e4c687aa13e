#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace lumbrel {

// Decodes a page body in the named character set. "utf-8" drops a leading byte order mark;
// "gb2312" (and "gbk", "gb18030") is read with the GB18030 decoder, because pages labelled
// gb2312 routinely hold GBK-only characters that a strict GB2312 decoder corrupts. Other
// names go to the platform's decoder of that name. Invalid and truncated byte sequences
// become U+FFFD; an empty body gives an empty text. Nothing when the platform has no decoder
// for the name: an empty text would pass for an empty page.
std::optional<QString> BytesToText(QByteArrayView bytes, QStringView charset);

// The fetch page's character set choice: Option1 or Option2.
enum class PageCharset
{
    Utf8,
    Gb2312,
};

// The name BytesToText is given for the choice: "utf-8" or "gb2312".
QString CharsetName(PageCharset charset);

} // namespace lumbrel
