#include "bench/benchops.h"
#include "fetch/decode.h"

#include <QStringEncoder>

namespace lumbrel::bench {
namespace {

// The file's text as a page body in `charset`. Encoded on the first run only (the reported
// median leaves that run out), so the later runs time the decoding alone.
const QByteArray& bodyOf(const QString& text, const char* charset)
{
    static QByteArray body;
    static const QChar* source = nullptr;
    static QByteArray encodedAs;
    if (source != text.constData() || encodedAs != charset) {
        QStringEncoder encoder(charset);
        body = encoder.encode(text);
        source = text.constData();
        encodedAs = charset;
    }
    return body;
}

void decode(const QString& text, const char* encoding, QStringView charset)
{
    const QString back = BytesToText(bodyOf(text, encoding), charset).value_or(QString());
    if (back.size() != text.size())
        qFatal("decoding changed the text");
}

const bool registered = [] {
    registerOp({QStringLiteral("decode-utf8"), [](const QString& text) { decode(text, "UTF-8", u"utf-8"); }});
    registerOp({QStringLiteral("decode-gb18030"), [](const QString& text) { decode(text, "GB18030", u"gb2312"); }});
    return true;
}();

} // namespace
} // namespace lumbrel::bench
