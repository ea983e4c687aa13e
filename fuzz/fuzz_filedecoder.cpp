// File decoding (FileDecoder) in every encoding: any bytes, cut into pieces anywhere, give
// valid UTF-8 whose only line breaks are CR LF, the same text and counts however they are cut,
// and text that saves and opens again unchanged where the encoding holds every character.
#include "files/filedecoder.h"
#include "files/fileencoder.h"
#include "fuzz/fuzzinput.h"

#include <QStringDecoder>

#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

namespace {

bool isValidUtf8(const QByteArray& text)
{
    // The decoder of the platform with no state: valid UTF-8 reads back to the same bytes.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString read = decoder.decode(text);
    return !decoder.hasError() && read.toUtf8() == text;
}

bool onlyCrLfBreaks(const QByteArray& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const TextEncoding encoding = AllEncodings[in.take() % std::size(AllEncodings)];
    const qsizetype piece = 1 + in.take() % 16;
    const QByteArrayView bytes(in.data, static_cast<qsizetype>(std::min<std::size_t>(in.size, 16384)));

    const DecodedText whole = DecodeAll(bytes, encoding);
    FUZZ_CHECK(isValidUtf8(whole.text));
    FUZZ_CHECK(onlyCrLfBreaks(whole.text));
    const DecodeCounts& c = whole.counts;
    FUZZ_CHECK(c.lines == c.crlf + c.lf + c.cr + (whole.text.isEmpty() || whole.text.endsWith('\n') ? 0 : 1));
    FUZZ_CHECK(c.undecodable <= bytes.size());

    FileDecoder cut(encoding);
    QByteArray text;
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        cut.decode(bytes.sliced(at, std::min(piece, bytes.size() - at)), text);
    cut.finish(text);
    FUZZ_CHECK(text == whole.text);
    FUZZ_CHECK(cut.counts().undecodable == c.undecodable && cut.counts().lines == c.lines);
    FUZZ_CHECK(cut.counts().crlf == c.crlf && cut.counts().lf == c.lf && cut.counts().cr == c.cr);
    FUZZ_CHECK(cut.bomSeen() == whole.bom);

    // Saved in the encoding it was read in and read again, the text stays as it was.
    if (HoldsEveryCharacter(encoding)) {
        const FileFormat format{encoding, whole.bom, DominantEnding(c)};
        const std::optional<QByteArray> saved = EncodeAll(whole.text, format);
        FUZZ_CHECK(saved.has_value());
        const DecodedText again = DecodeAll(*saved, encoding);
        FUZZ_CHECK(again.text == whole.text);
        FUZZ_CHECK(again.counts.undecodable == 0);
        // Text that was read without fault and has one kind of line break saves as the very
        // bytes it was read from.
        if (c.undecodable == 0 && !HasMixedEndings(c))
            FUZZ_CHECK(*saved == bytes);
    }
    return 0;
}
