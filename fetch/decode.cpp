#include "fetch/decode.h"

#include <QStringDecoder>

namespace lumbrel {

namespace {

QStringDecoder decoderFor(QStringView charset)
{
    for (const char16_t* gb : {u"gb2312", u"gbk", u"gb18030"}) {
        if (charset.compare(QStringView(gb), Qt::CaseInsensitive) == 0)
            return QStringDecoder("GB18030");
    }
    return QStringDecoder(charset.toLatin1().constData());
}

} // namespace

std::optional<QString> BytesToText(QByteArrayView bytes, QStringView charset)
{
    QStringDecoder decoder = decoderFor(charset);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    // A stateful decoder holds a truncated sequence at the end back, waiting for more bytes.
    // One line feed more flushes it as U+FFFD. The line feed is never part of a multi-byte
    // sequence; some decoders swallow it with the broken sequence, others pass it on.
    QString tail = decoder.decode(QByteArrayView("\n"));
    if (tail.endsWith(u'\n'))
        tail.chop(1);
    if (!tail.isEmpty())
        text += tail;
    return text;
}

QString CharsetName(PageCharset charset)
{
    return charset == PageCharset::Gb2312 ? QStringLiteral("gb2312") : QStringLiteral("utf-8");
}

} // namespace lumbrel
