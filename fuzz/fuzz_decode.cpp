// Page decoding (BytesToText) in both character sets of the fetch page: any bytes give valid
// UTF-16 and keep their line feeds, and text written out as UTF-8 or GB18030 reads back as it
// was.
#include "fetch/decode.h"
#include "fuzz/fuzzinput.h"

#include <QStringEncoder>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

namespace {

bool isValidUtf16(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate()) {
            if (i + 1 == text.size() || !text[i + 1].isLowSurrogate())
                return false;
            ++i;
        } else if (text[i].isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

// Lone surrogates cannot be written in either charset; they become U+FFFD first.
QString withoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const bool gb = in.take() & 1;
    const QString charset = CharsetName(gb ? PageCharset::Gb2312 : PageCharset::Utf8);
    QByteArray bytes(reinterpret_cast<const char*>(in.data),
                     static_cast<qsizetype>(std::min<std::size_t>(in.size, 8192)));

    // Any bytes: valid UTF-16 out, and no line feed is lost to a broken sequence before it.
    // (How many U+FFFD a broken sequence becomes may differ at the end of the body: Qt's
    // decoder gives one for each byte in the middle, one for the lot at the end.)
    const QString text = BytesToText(bytes, charset).value();
    FUZZ_CHECK(isValidUtf16(text));
    const QString followed = BytesToText(QByteArray(bytes + '\n'), charset).value();
    FUZZ_CHECK(followed.endsWith(u'\n'));
    FUZZ_CHECK(followed.count(u'\n') == text.count(u'\n') + 1);

    // Text written out reads back unchanged. UTF-8 drops a leading byte order mark; in GB18030
    // a leading U+FEFF is kept, like any other character.
    QString original = withoutLoneSurrogates(in.rest());
    if (original.size() > 4096)
        original.truncate(4096);
    const QString expected = !gb && original.startsWith(QChar(0xFEFF)) ? original.mid(1) : original;
    QStringEncoder encoder = gb ? QStringEncoder("GB18030") : QStringEncoder(QStringEncoder::Utf8);
    FUZZ_CHECK(encoder.isValid());
    const QByteArray written = encoder.encode(original);
    FUZZ_CHECK(!encoder.hasError());
    FUZZ_CHECK(BytesToText(written, charset) == expected);
    return 0;
}
