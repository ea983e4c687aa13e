#include "files/filedecoder.h"

#include "files/legacycharsets.h"
#include "files/utf8scan.h"

#include <algorithm>
#include <cstring>

namespace lumbrel {

namespace {

using detail::LegacyCharset;

inline void putCodePoint(char32_t cp, char*& o)
{
    if (cp < 0x80) {
        *o++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *o++ = static_cast<char>(0xC0 | cp >> 6);
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = static_cast<char>(0xE0 | cp >> 12);
        *o++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *o++ = static_cast<char>(0xF0 | cp >> 18);
        *o++ = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

LineEnding DominantEnding(const DecodeCounts& counts)
{
    if (counts.crlf > counts.lf && counts.crlf >= counts.cr)
        return LineEnding::CrLf;
    if (counts.cr > counts.lf && counts.cr > counts.crlf)
        return LineEnding::Cr;
    return LineEnding::Lf;
}

bool HasMixedEndings(const DecodeCounts& counts)
{
    return (counts.crlf > 0) + (counts.lf > 0) + (counts.cr > 0) > 1;
}

FileDecoder::FileDecoder(TextEncoding encoding)
    : m_encoding(encoding)
{
    if (encoding == TextEncoding::Gb18030 || encoding == TextEncoding::Big5 || encoding == TextEncoding::ShiftJis)
        m_table = &detail::Legacy(encoding);
}

void FileDecoder::lineBreak(unsigned char byte, char*& o)
{
    if (byte == '\n' && m_afterCr) {
        ++m_counts.crlf;
        m_afterCr = false;
        return;
    }
    if (m_afterCr)
        ++m_counts.cr;
    if (byte == '\n')
        ++m_counts.lf;
    m_afterCr = byte == '\r';
    m_lineOpen = false;
    *o++ = '\r';
    *o++ = '\n';
}

void FileDecoder::invalid(qsizetype bytes, char*& o)
{
    m_counts.undecodable += bytes;
    putCodePoint(0xFFFD, o);
}

void FileDecoder::copyValidUtf8(const unsigned char* p, qsizetype n, char*& o)
{
    if (n == 0)
        return;
    if (m_afterCr && p[0] != '\n') {
        ++m_counts.cr;
        m_afterCr = false;
    }
    // Runs between lone breaks are copied whole, CR LF pairs inside them as they are.
    qsizetype run = 0;
    qsizetype skip = 0; // the LF of a pair that starts in the block before
    const auto flush = [&](qsizetype end) {
        std::memcpy(o, p + run, static_cast<std::size_t>(end - run));
        o += end - run;
    };
    const auto lone = [&](qsizetype at) {
        flush(at);
        run = at + 1;
        if (p[at] == '\n' && m_afterCr) {
            ++m_counts.crlf;
            m_afterCr = false;
            return;
        }
        if (p[at] == '\r' && at + 1 == n) {
            // Whether an LF follows shows in the next bytes.
            lineBreak('\r', o);
            return;
        }
        ++(p[at] == '\n' ? m_counts.lf : m_counts.cr);
        *o++ = '\r';
        *o++ = '\n';
    };
    const auto at = [&](qsizetype k) {
        if (k < skip)
            return;
        if (p[k] == '\r' && k + 1 < n && p[k + 1] == '\n') {
            ++m_counts.crlf;
            skip = k + 2;
            return;
        }
        lone(k);
    };
    detail::ForEachBreakByte(p, n, at);
    flush(n);
    m_lineOpen = p[n - 1] != '\n' && p[n - 1] != '\r';
}

qsizetype FileDecoder::decodeUtf8(const unsigned char* p, qsizetype n, bool final, char*& o)
{
    // Valid text, nearly every file, is checked a block at a time and copied in runs.
    qsizetype i = detail::WholeSequencesEnd(p, n);
    if (detail::IsValidUtf8(p, i))
        copyValidUtf8(p, i, o);
    else
        i = 0;
    while (i < n) {
        // A run of plain ASCII and whole valid sequences is copied as it is.
        const qsizetype start = i;
        i += detail::ValidUtf8Run<true>(p + i, n - i, &m_counts.crlf);
        if (i > start) {
            if (m_afterCr) {
                ++m_counts.cr;
                m_afterCr = false;
            }
            // The run takes whole CR LF pairs as they are: they are the areas' breaks.
            m_lineOpen = p[i - 1] != '\n';
            std::memcpy(o, p + start, static_cast<std::size_t>(i - start));
            o += i - start;
        }
        if (i == n)
            break;
        if (p[i] < 0x80) {
            lineBreak(p[i], o);
            ++i;
            continue;
        }
        const int sequence = detail::Utf8Sequence(p + i, n - i);
        if (sequence == 0 && !final)
            return i;
        if (m_afterCr) {
            ++m_counts.cr;
            m_afterCr = false;
        }
        m_lineOpen = true;
        const qsizetype bad = sequence == 0 ? n - i : -sequence;
        invalid(bad, o);
        i += bad;
    }
    return n;
}

qsizetype FileDecoder::decodeUtf16(const unsigned char* p, qsizetype n, bool final, char*& o)
{
    const bool le = m_encoding == TextEncoding::Utf16LE;
    const auto unitAt = [&](qsizetype k) -> char32_t {
        return le ? static_cast<char32_t>(p[k] | p[k + 1] << 8) : static_cast<char32_t>(p[k] << 8 | p[k + 1]);
    };
    qsizetype i = 0;
    while (i + 2 <= n) {
        const char32_t u = unitAt(i);
        if (u == '\r' || u == '\n') {
            lineBreak(static_cast<unsigned char>(u), o);
            i += 2;
            continue;
        }
        if (m_afterCr) {
            ++m_counts.cr;
            m_afterCr = false;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > n) {
                if (!final)
                    return i;
                m_lineOpen = true;
                invalid(n - i, o);
                return n;
            }
            const char32_t low = unitAt(i + 2);
            m_lineOpen = true;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                putCodePoint(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), o);
                i += 4;
            } else {
                invalid(2, o);
                i += 2;
            }
            continue;
        }
        m_lineOpen = true;
        if (u >= 0xDC00 && u <= 0xDFFF)
            invalid(2, o);
        else
            putCodePoint(u, o);
        i += 2;
    }
    if (i < n && final) {
        if (m_afterCr) {
            ++m_counts.cr;
            m_afterCr = false;
        }
        m_lineOpen = true;
        invalid(n - i, o);
        return n;
    }
    return i;
}

qsizetype FileDecoder::decodeLegacy(const unsigned char* p, qsizetype n, bool final, char*& o)
{
    const auto& cs = *static_cast<const LegacyCharset*>(m_table);
    qsizetype i = 0;
    while (i < n) {
        const qsizetype start = i;
        while (i < n && cs.plain[p[i]])
            ++i;
        if (i > start) {
            if (m_afterCr) {
                ++m_counts.cr;
                m_afterCr = false;
            }
            m_lineOpen = true;
            std::memcpy(o, p + start, static_cast<std::size_t>(i - start));
            o += i - start;
            if (i == n)
                break;
        }
        const unsigned b = p[i];
        if (b == '\r' || b == '\n') {
            lineBreak(static_cast<unsigned char>(b), o);
            ++i;
            continue;
        }
        const qint32 single = cs.single[b];
        qint32 cp = single;
        qsizetype used = 1;
        qsizetype bad = 1;
        if (single == LegacyCharset::Lead) {
            if (i + 1 >= n && !final)
                return i;
            const unsigned t = i + 1 < n ? p[i + 1] : 0x100;
            cp = LegacyCharset::Invalid;
            if (cs.gb18030 && t >= 0x30 && t <= 0x39) {
                if (i + 3 >= n && !final)
                    return i;
                if (i + 3 < n && p[i + 2] >= 0x81 && p[i + 2] <= 0xFE && p[i + 3] >= 0x30 && p[i + 3] <= 0x39) {
                    cp = detail::Gb18030Four(cs, b, t, p[i + 2], p[i + 3]);
                    used = bad = 4;
                }
            } else if (t < 0x100 && cs.trail[t]) {
                cp = cs.pairs[(b - 0x80) * 256 + t];
                used = 2;
                // An unmapped pair whose second byte is ASCII gives that byte back: it may be
                // a line break or a letter of the next word.
                bad = t < 0x80 ? 1 : 2;
            }
        }
        if (m_afterCr) {
            ++m_counts.cr;
            m_afterCr = false;
        }
        m_lineOpen = true;
        if (cp >= 0) {
            putCodePoint(static_cast<char32_t>(cp), o);
            i += used;
        } else {
            invalid(bad, o);
            i += bad;
        }
    }
    return n;
}

qsizetype FileDecoder::decodeSome(const unsigned char* p, qsizetype n, bool final, char* out, char*& end)
{
    char* o = out;
    qsizetype used = 0;
    switch (m_encoding) {
    case TextEncoding::Utf8:
        used = decodeUtf8(p, n, final, o);
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        used = decodeUtf16(p, n, final, o);
        break;
    default:
        used = decodeLegacy(p, n, final, o);
        break;
    }
    end = o;
    return used;
}

void FileDecoder::decode(QByteArrayView bytes, QByteArray& out)
{
    if (bytes.isEmpty())
        return;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    qsizetype n = bytes.size();
    const qsizetype old = out.size();
    out.resize(old + MaxGrowth * (n + HeldBytes) + 16);
    char* o = out.data() + old;
    char* end = o;

    // The byte order mark may come a byte at a time: hold the bytes until it is clear.
    const QByteArrayView bom = m_bomChecked ? QByteArrayView() : BomBytes(m_encoding);
    if (!m_bomChecked) {
        while (m_heldCount < bom.size() && n > 0) {
            m_held[m_heldCount++] = *p++;
            --n;
        }
        const QByteArrayView held(m_held, m_heldCount);
        if (m_heldCount < bom.size() && bom.startsWith(held)) {
            out.resize(old);
            return;
        }
        m_bomChecked = true;
        if (!bom.isEmpty() && held == bom) {
            m_bomSeen = true;
            m_heldCount = 0;
        }
    }

    if (m_heldCount > 0) {
        // The held bytes and a few new ones finish the cut sequence; what they leave over
        // is read again from the new bytes.
        unsigned char joined[HeldBytes + 8];
        const qsizetype held = m_heldCount;
        const qsizetype taken = std::min<qsizetype>(n, 8);
        std::memcpy(joined, m_held, static_cast<std::size_t>(held));
        std::memcpy(joined + held, p, static_cast<std::size_t>(taken));
        m_heldCount = 0;
        const qsizetype used = decodeSome(joined, held + taken, false, o, end);
        o = end;
        if (used < held || taken == n) {
            // Everything given is in `joined`; keep what it could not finish.
            m_heldCount = held + taken - used;
            std::memcpy(m_held, joined + used, static_cast<std::size_t>(m_heldCount));
            out.resize(o - out.data());
            return;
        }
        p += used - held;
        n -= used - held;
    }
    const qsizetype used = decodeSome(p, n, false, o, end);
    m_heldCount = n - used;
    Q_ASSERT(m_heldCount <= 3);
    std::memcpy(m_held, p + used, static_cast<std::size_t>(m_heldCount));
    out.resize(end - out.data());
}

void FileDecoder::finish(QByteArray& out)
{
    m_bomChecked = true;
    const qsizetype old = out.size();
    out.resize(old + MaxGrowth * HeldBytes + 16);
    char* end = out.data() + old;
    if (m_heldCount > 0) {
        const qsizetype held = m_heldCount;
        unsigned char bytes[HeldBytes];
        std::memcpy(bytes, m_held, static_cast<std::size_t>(held));
        m_heldCount = 0;
        decodeSome(bytes, held, true, out.data() + old, end);
    }
    if (m_afterCr) {
        ++m_counts.cr;
        m_afterCr = false;
    }
    out.resize(end - out.data());
    m_counts.lines = m_counts.crlf + m_counts.lf + m_counts.cr + (m_lineOpen ? 1 : 0);
}

DecodedText DecodeAll(QByteArrayView bytes, TextEncoding encoding)
{
    FileDecoder decoder(encoding);
    DecodedText result;
    decoder.decode(bytes, result.text);
    decoder.finish(result.text);
    result.counts = decoder.counts();
    result.bom = decoder.bomSeen();
    return result;
}

} // namespace lumbrel
