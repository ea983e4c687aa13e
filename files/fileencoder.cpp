#include "files/fileencoder.h"

#include "files/legacycharsets.h"
#include "files/utf8scan.h"

#include <cstring>

namespace lumbrel {

namespace {

using detail::LegacyCharset;

char32_t codePointAt(const unsigned char* p, int length)
{
    char32_t cp = p[0] & (0x7F >> length);
    for (int k = 1; k < length; ++k)
        cp = cp << 6 | (p[k] & 0x3F);
    return cp;
}

} // namespace

bool HoldsEveryCharacter(TextEncoding encoding)
{
    return encoding != TextEncoding::Big5 && encoding != TextEncoding::ShiftJis;
}

FileEncoder::FileEncoder(const FileFormat& format)
    : m_format(format)
{
    if (format.encoding == TextEncoding::Gb18030 || format.encoding == TextEncoding::Big5 ||
        format.encoding == TextEncoding::ShiftJis)
        m_table = &detail::Legacy(format.encoding);
}

void FileEncoder::putEnding(char*& o)
{
    ++m_line;
    const auto unit = [&](char c) {
        if (m_format.encoding == TextEncoding::Utf16LE) {
            *o++ = c;
            *o++ = '\0';
        } else if (m_format.encoding == TextEncoding::Utf16BE) {
            *o++ = '\0';
            *o++ = c;
        } else {
            *o++ = c;
        }
    };
    if (m_format.ending != LineEnding::Lf)
        unit('\r');
    if (m_format.ending != LineEnding::Cr)
        unit('\n');
}

bool FileEncoder::putCharacter(char32_t cp, char*& o)
{
    switch (m_format.encoding) {
    case TextEncoding::Utf8: {
        // Only U+FFFD for a broken sequence comes here; whole ones are copied.
        *o++ = '\xEF';
        *o++ = '\xBF';
        *o++ = '\xBD';
        return true;
    }
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        char16_t units[2] = {static_cast<char16_t>(cp), 0};
        int count = 1;
        if (cp >= 0x10000) {
            units[0] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            units[1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            count = 2;
        }
        for (int k = 0; k < count; ++k) {
            const char low = static_cast<char>(units[k] & 0xFF);
            const char high = static_cast<char>(units[k] >> 8);
            *o++ = m_format.encoding == TextEncoding::Utf16LE ? low : high;
            *o++ = m_format.encoding == TextEncoding::Utf16LE ? high : low;
        }
        return true;
    }
    default: {
        const quint32 bytes = detail::LegacyBytes(*static_cast<const LegacyCharset*>(m_table), cp);
        if (bytes == LegacyCharset::NoBytes) {
            m_failure = {m_line, cp};
            return false;
        }
        if (bytes >= 0x1000000) {
            *o++ = static_cast<char>(bytes >> 24);
            *o++ = static_cast<char>(bytes >> 16);
        }
        if (bytes >= 0x100)
            *o++ = static_cast<char>(bytes >> 8);
        *o++ = static_cast<char>(bytes);
        return true;
    }
    }
}

void FileEncoder::copyUtf8(const unsigned char* p, qsizetype n, char*& o)
{
    // Between the breaks the area's bytes are the file's bytes, copied in runs as long as
    // the ending allows: with CR LF every pair stays inside the run. A sequence cut by the
    // end of the piece needs no care: its two parts are copied one after the other.
    qsizetype run = 0;
    qsizetype skip = 0; // up to here the breaks are handled
    if (m_afterCr && n > 0 && p[0] == '\n') {
        run = skip = 1;
    }
    m_afterCr = false;
    const auto flush = [&](qsizetype end) {
        std::memcpy(o, p + run, static_cast<std::size_t>(end - run));
        o += end - run;
    };
    const auto at = [&](qsizetype k) {
        if (k < skip)
            return;
        const bool pair = p[k] == '\r' && k + 1 < n && p[k + 1] == '\n';
        skip = pair ? k + 2 : k + 1;
        if (pair && m_format.ending == LineEnding::CrLf) {
            ++m_line;
            return;
        }
        flush(k);
        run = skip;
        putEnding(o);
        // A CR at the end: an LF at the start of the next piece is its pair.
        m_afterCr = p[k] == '\r' && k + 1 == n;
    };
    detail::ForEachBreakByte(p, n, at);
    flush(n);
}

bool FileEncoder::encodeSome(const unsigned char* p, qsizetype n, bool final, char*& o, qsizetype& used)
{
    if (m_format.encoding == TextEncoding::Utf8) {
        copyUtf8(p, n, o);
        used = n;
        return true;
    }
    const auto* plain = m_table ? static_cast<const LegacyCharset*>(m_table)->plain.data() : nullptr;
    qsizetype i = 0;
    while (i < n) {
        const unsigned b = p[i];
        if (b == '\r' || b == '\n') {
            if (b == '\n' && m_afterCr) {
                m_afterCr = false;
            } else {
                putEnding(o);
                m_afterCr = b == '\r';
            }
            ++i;
            continue;
        }
        m_afterCr = false;
        if (plain && plain[b]) {
            *o++ = static_cast<char>(b);
            ++i;
            continue;
        }
        char32_t cp = b;
        int length = 1;
        if (b >= 0x80) {
            const int s = detail::Utf8Sequence(p + i, n - i);
            if (s == 0 && !final)
                break;
            if (s > 0) {
                length = s;
                cp = codePointAt(p + i, s);
            } else {
                length = s == 0 ? static_cast<int>(n - i) : -s;
                cp = 0xFFFD;
            }
        }
        if (!putCharacter(cp, o)) {
            used = i;
            return false;
        }
        i += length;
    }
    used = i;
    return true;
}

bool FileEncoder::encode(QByteArrayView utf8, QByteArray& out)
{
    if (utf8.isEmpty())
        return true;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    qsizetype n = utf8.size();
    const qsizetype old = out.size();
    out.resize(old + MaxGrowth * (n + 8) + 8);
    char* o = out.data() + old;
    if (m_heldCount > 0) {
        unsigned char joined[12];
        const qsizetype held = m_heldCount;
        const qsizetype taken = std::min<qsizetype>(n, 8);
        std::memcpy(joined, m_held, static_cast<std::size_t>(held));
        std::memcpy(joined + held, p, static_cast<std::size_t>(taken));
        m_heldCount = 0;
        qsizetype used = 0;
        if (!encodeSome(joined, held + taken, false, o, used)) {
            out.resize(o - out.data());
            return false;
        }
        if (used < held || taken == n) {
            m_heldCount = held + taken - used;
            std::memcpy(m_held, joined + used, static_cast<std::size_t>(m_heldCount));
            out.resize(o - out.data());
            return true;
        }
        p += used - held;
        n -= used - held;
    }
    qsizetype used = 0;
    const bool ok = encodeSome(p, n, false, o, used);
    if (ok) {
        m_heldCount = n - used;
        std::memcpy(m_held, p + used, static_cast<std::size_t>(m_heldCount));
    }
    out.resize(o - out.data());
    return ok;
}

bool FileEncoder::finish(QByteArray& out)
{
    const qsizetype old = out.size();
    out.resize(old + MaxGrowth * 8 + 8);
    char* o = out.data() + old;
    qsizetype used = 0;
    const qsizetype held = m_heldCount;
    m_heldCount = 0;
    const bool ok = encodeSome(m_held, held, true, o, used);
    out.resize(o - out.data());
    return ok;
}

std::optional<Unencodable> FindUnencodable(QByteArrayView utf8, TextEncoding encoding)
{
    if (HoldsEveryCharacter(encoding))
        return std::nullopt;
    const auto& cs = detail::Legacy(encoding);
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const qsizetype n = utf8.size();
    qint64 line = 1;
    for (qsizetype i = 0; i < n;) {
        const unsigned b = p[i];
        if (b < 0x80) {
            line += b == '\n' || (b == '\r' && (i + 1 == n || p[i + 1] != '\n'));
            ++i;
            continue;
        }
        const int s = detail::Utf8Sequence(p + i, n - i);
        const char32_t cp = s > 0 ? codePointAt(p + i, s) : 0xFFFD;
        if (detail::LegacyBytes(cs, cp) == LegacyCharset::NoBytes)
            return Unencodable{line, cp};
        i += s > 0 ? s : s == 0 ? n - i : -s;
    }
    return std::nullopt;
}

std::optional<QByteArray> EncodeAll(QByteArrayView utf8, const FileFormat& format, Unencodable* failure)
{
    FileEncoder encoder(format);
    QByteArray bytes;
    if (format.bom)
        bytes.append(BomBytes(format.encoding));
    if (!encoder.encode(utf8, bytes) || !encoder.finish(bytes)) {
        if (failure)
            *failure = encoder.failure();
        return std::nullopt;
    }
    return bytes;
}

} // namespace lumbrel
