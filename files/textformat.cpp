#include "files/textformat.h"

#include "files/filedecoder.h"
#include "files/utf8scan.h"

#include <cstring>
#include <memory>
#include <uchardet/uchardet.h>

namespace lumbrel {

QString EncodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    case TextEncoding::Gb18030:
        return QStringLiteral("GB18030");
    case TextEncoding::Big5:
        return QStringLiteral("Big5");
    case TextEncoding::ShiftJis:
        return QStringLiteral("Shift_JIS");
    }
    return {};
}

QString FormatName(const FileFormat& format)
{
    return format.bom ? EncodingName(format.encoding) + QStringLiteral(" BOM") : EncodingName(format.encoding);
}

QString LineEndingName(LineEnding ending)
{
    switch (ending) {
    case LineEnding::CrLf:
        return QStringLiteral("CR LF");
    case LineEnding::Lf:
        return QStringLiteral("LF");
    case LineEnding::Cr:
        return QStringLiteral("CR");
    }
    return {};
}

bool CanHaveBom(TextEncoding encoding)
{
    return !BomBytes(encoding).isEmpty();
}

QByteArrayView BomBytes(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return "\xEF\xBB\xBF";
    case TextEncoding::Utf16LE:
        return "\xFF\xFE";
    case TextEncoding::Utf16BE:
        return "\xFE\xFF";
    default:
        return {};
    }
}

std::optional<TextEncoding> EncodingFromBom(QByteArrayView head)
{
    for (const TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16LE, TextEncoding::Utf16BE}) {
        if (head.startsWith(BomBytes(encoding)))
            return encoding;
    }
    return std::nullopt;
}

bool Utf8Validator::feed(QByteArrayView bytes)
{
    if (m_firstInvalid >= 0)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    qsizetype n = bytes.size();
    qsizetype i = 0;
    if (m_heldCount > 0) {
        // Finish the sequence cut off at the end of the last piece.
        while (i < n && m_heldCount < 4) {
            m_held[m_heldCount++] = p[i++];
            const int s = detail::Utf8Sequence(m_held, m_heldCount);
            if (s < 0) {
                m_firstInvalid = m_offset;
                return false;
            }
            if (s > 0) {
                m_offset += m_heldCount;
                m_heldCount = 0;
                break;
            }
        }
        if (m_heldCount > 0)
            return true;
    }
    // Whole blocks first; the slow walk below only finds where a bad block goes wrong.
    const qsizetype whole = i + detail::WholeSequencesEnd(p + i, n - i);
    if (detail::IsValidUtf8(p + i, whole - i))
        i = whole;
    while (i < n) {
        i += detail::ValidUtf8Run<false>(p + i, n - i);
        if (i == n)
            break;
        const int s = detail::Utf8Sequence(p + i, n - i);
        if (s < 0) {
            m_firstInvalid = m_offset + i;
            return false;
        }
        if (s == 0) {
            m_heldCount = static_cast<int>(n - i);
            std::memcpy(m_held, p + i, static_cast<std::size_t>(m_heldCount));
            m_offset += i;
            return true;
        }
        i += s;
    }
    m_offset += n;
    return true;
}

bool Utf8Validator::finish()
{
    if (m_firstInvalid < 0 && m_heldCount > 0)
        m_firstInvalid = m_offset;
    return m_firstInvalid < 0;
}

namespace {

// What a reading of the sample looks like, for the detection rule.
struct Reading
{
    qint64 undecodable = 0;
    qint64 controls = 0;   // C0 and C1 controls but TAB, LF, FF, CR; NUL included
    qint64 privateUse = 0; // U+E000..U+F8FF and the supplementary private planes
    qint64 nonAscii = 0;
};

Reading readingOf(QByteArrayView sample, TextEncoding encoding)
{
    FileDecoder decoder(encoding);
    QByteArray text;
    // No finish(): a sequence cut off by the sample's end counts against nobody.
    decoder.decode(sample, text);
    Reading r;
    r.undecodable = decoder.counts().undecodable;
    const auto* p = reinterpret_cast<const unsigned char*>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned b = p[i];
        if (b < 0x80) {
            r.controls += (b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != '\r') || b == 0x7F;
            ++i;
            continue;
        }
        ++r.nonAscii;
        const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        char32_t cp = b & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + k < n; ++k)
            cp = cp << 6 | (p[i + k] & 0x3F);
        r.controls += cp >= 0x80 && cp < 0xA0;
        r.privateUse += (cp >= 0xE000 && cp <= 0xF8FF) || cp >= 0xF0000;
        i += length;
    }
    return r;
}

// Of the non-ASCII characters a GB18030 reading gives, those common Chinese text is made
// of: GB2312's hanzi rows (B0-F7) and its punctuation and full-width rows (A1, A3).
qint64 commonGbCharacters(QByteArrayView sample)
{
    const auto* p = reinterpret_cast<const unsigned char*>(sample.data());
    const qsizetype n = sample.size();
    qint64 common = 0;
    for (qsizetype i = 0; i < n;) {
        const unsigned b = p[i];
        if (b < 0x81 || b > 0xFE || i + 1 >= n) {
            ++i;
            continue;
        }
        const unsigned t = p[i + 1];
        if (t >= 0x30 && t <= 0x39) {
            i += 4;
            continue;
        }
        common += (b == 0xA1 || b == 0xA3 || (b >= 0xB0 && b <= 0xF7)) && t >= 0xA1 && t <= 0xFE;
        i += 2;
    }
    return common;
}

std::optional<TextEncoding> detectorCandidate(QByteArrayView sample)
{
    const std::unique_ptr<uchardet, void (*)(uchardet_t)> detector(uchardet_new(), uchardet_delete);
    if (!detector)
        return std::nullopt;
    uchardet_handle_data(detector.get(), sample.data(), static_cast<std::size_t>(sample.size()));
    uchardet_data_end(detector.get());
    const QByteArray name = QByteArray(uchardet_get_charset(detector.get())).toUpper();
    if (name == "BIG5")
        return TextEncoding::Big5;
    if (name == "SHIFT_JIS")
        return TextEncoding::ShiftJis;
    if (name == "UTF-16LE" || name == "UTF-16")
        return TextEncoding::Utf16LE;
    if (name == "UTF-16BE")
        return TextEncoding::Utf16BE;
    return std::nullopt;
}

} // namespace

TextEncoding GuessLegacyEncoding(QByteArrayView sample)
{
    std::optional<TextEncoding> candidate = detectorCandidate(sample);
    if (!candidate) {
        // NUL bytes in text are the other half of UTF-16's ASCII characters.
        qint64 even = 0;
        qint64 odd = 0;
        for (qsizetype i = 0; i < sample.size(); ++i) {
            if (sample[i] == '\0')
                ++(i % 2 == 0 ? even : odd);
        }
        if (even + odd > 0)
            candidate = odd >= even ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
    }
    if (!candidate)
        return TextEncoding::Gb18030;
    const Reading other = readingOf(sample, *candidate);
    if (other.undecodable > 0 || other.controls > 0 || other.privateUse > 0)
        return TextEncoding::Gb18030;
    const Reading gb = readingOf(sample, TextEncoding::Gb18030);
    const bool doubtful = gb.undecodable > 0 || gb.controls > 0 || 3 * commonGbCharacters(sample) < 2 * gb.nonAscii;
    return doubtful ? *candidate : TextEncoding::Gb18030;
}

qsizetype SampleStart(QByteArrayView bytes, qsizetype firstInvalid)
{
    const qsizetype floor = std::max<qsizetype>(0, firstInvalid - (qsizetype{64} << 10));
    for (qsizetype i = firstInvalid - 1; i >= floor; --i) {
        if (bytes[i] != '\n')
            continue;
        // In UTF-16 LE the LF is followed by its zero byte, at an odd offset.
        qsizetype start = i + 1;
        if (start % 2 == 1 && start < bytes.size() && bytes[start] == '\0')
            ++start;
        return start;
    }
    // No line start near: the whole head when it is short, else the invalid byte itself.
    return floor == 0 ? 0 : firstInvalid;
}

FileFormat DetectFormat(QByteArrayView bytes)
{
    FileFormat format;
    if (const std::optional<TextEncoding> bom = EncodingFromBom(bytes)) {
        format.encoding = *bom;
        format.bom = true;
        return format;
    }
    Utf8Validator validator;
    validator.feed(bytes);
    if (validator.finish())
        return format;
    const qsizetype start = SampleStart(bytes, validator.firstInvalid());
    format.encoding = GuessLegacyEncoding(bytes.sliced(start, std::min(SampleBytes, bytes.size() - start)));
    return format;
}

} // namespace lumbrel
