#include "files/legacycharsets.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace lumbrel::detail {

namespace {

struct Grammar
{
    const char* name;
    bool (*lead)(unsigned byte);
    bool (*trail)(unsigned byte);
};

Grammar grammarOf(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Big5:
        return {"Big5",
                [](unsigned b) { return b >= 0x81 && b <= 0xFE; },
                [](unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE); }};
    case TextEncoding::ShiftJis:
        return {"Shift_JIS",
                [](unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); },
                [](unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }};
    default:
        return {"GB18030",
                [](unsigned b) { return b >= 0x81 && b <= 0xFE; },
                [](unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }};
    }
}

class Mapper
{
public:
    explicit Mapper(const char* name)
        : m_name(name)
    {
        QStringEncoder encoder(name);
        m_replacementBytes = encoder.encode(QStringView(u"\uFFFD"));
        if (encoder.hasError())
            m_replacementBytes.clear();
    }

    // The code point `bytes` (one character's sequence) map to, or Invalid. The platform
    // marks an unmapped sequence with U+FFFD or with its substitution character U+001A.
    qint32 map(QByteArrayView bytes) const
    {
        QStringDecoder decoder(m_name);
        const QString text = decoder.decode(bytes);
        return pointOf(text, bytes);
    }

    // Maps `count` sequences of `width` bytes each in one call; falls back to one call a
    // sequence when the output does not line up one character a sequence.
    void mapAll(const QByteArray& batch, qsizetype width, qint32* out) const
    {
        const qsizetype count = batch.size() / width;
        QStringDecoder decoder(m_name);
        const QString text = decoder.decode(batch);
        if (text.size() == count) {
            bool bmp = true;
            for (const QChar c : text)
                bmp = bmp && !c.isSurrogate();
            if (bmp) {
                for (qsizetype k = 0; k < count; ++k)
                    out[k] = pointOf(text.sliced(k, 1), QByteArrayView(batch).sliced(k * width, width));
                return;
            }
        }
        for (qsizetype k = 0; k < count; ++k)
            out[k] = map(QByteArrayView(batch).sliced(k * width, width));
    }

    QByteArray canonical(char32_t cp) const
    {
        QStringEncoder encoder(m_name);
        const QByteArray bytes = encoder.encode(QString::fromUcs4(&cp, 1));
        return encoder.hasError() ? QByteArray() : bytes;
    }

private:
    qint32 pointOf(QStringView text, QByteArrayView bytes) const
    {
        const QList<uint> points = text.toUcs4();
        if (points.size() != 1)
            return LegacyCharset::Invalid;
        const uint cp = points.front();
        if (cp == 0xFFFD && bytes != QByteArrayView(m_replacementBytes))
            return LegacyCharset::Invalid;
        if (cp == 0x1A && bytes != QByteArrayView("\x1a"))
            return LegacyCharset::Invalid;
        return static_cast<qint32>(cp);
    }

    const char* m_name;
    QByteArray m_replacementBytes;
};

quint32 pack(QByteArrayView bytes)
{
    quint32 value = 0;
    for (const char c : bytes)
        value = value << 8 | static_cast<unsigned char>(c);
    return value;
}

LegacyCharset build(TextEncoding encoding)
{
    const Grammar grammar = grammarOf(encoding);
    const Mapper mapper(grammar.name);
    LegacyCharset cs;
    cs.gb18030 = encoding == TextEncoding::Gb18030;
    cs.fromBmp.assign(0x10000, LegacyCharset::NoBytes);
    // Where two sequences map to one character, the platform's encoder says which is written.
    const auto addReverse = [&](qint32 cp, QByteArrayView bytes) {
        if (cp < 0)
            return;
        const quint32 packed = pack(bytes);
        quint32* slot = nullptr;
        if (cp < 0x10000) {
            slot = &cs.fromBmp[static_cast<std::size_t>(cp)];
        } else {
            const auto [it, added] = cs.fromSupplementary.try_emplace(static_cast<char32_t>(cp), packed);
            if (added)
                return;
            slot = &it->second;
        }
        if (*slot == LegacyCharset::NoBytes)
            *slot = packed;
        else if (*slot != packed && mapper.canonical(static_cast<char32_t>(cp)) == bytes)
            *slot = packed;
    };

    // ASCII is ASCII in every file we read: the platform's IBM variant of Shift_JIS would
    // swap some control characters.
    for (unsigned b = 0; b < 256; ++b) {
        cs.trail[b] = grammar.trail(b);
        if (b < 0x80)
            cs.single[b] = static_cast<qint32>(b);
        else if (grammar.lead(b))
            cs.single[b] = LegacyCharset::Lead;
        else
            cs.single[b] = mapper.map(QByteArrayView(reinterpret_cast<const char*>(&b), 1));
        cs.plain[b] = b < 0x80 && b != '\r' && b != '\n';
        const char byte = static_cast<char>(b);
        addReverse(cs.single[b], QByteArrayView(&byte, 1));
    }

    cs.pairs.assign(128 * 256, LegacyCharset::Invalid);
    for (unsigned lead = 0x80; lead < 0x100; ++lead) {
        if (cs.single[lead] != LegacyCharset::Lead)
            continue;
        QByteArray batch;
        std::vector<unsigned> trails;
        for (unsigned t = 0; t < 256; ++t) {
            if (!cs.trail[t])
                continue;
            batch.append(static_cast<char>(lead));
            batch.append(static_cast<char>(t));
            trails.push_back(t);
        }
        std::vector<qint32> points(trails.size());
        mapper.mapAll(batch, 2, points.data());
        for (std::size_t k = 0; k < trails.size(); ++k) {
            cs.pairs[(lead - 0x80) * 256 + trails[k]] = points[k];
            addReverse(points[k], QByteArrayView(batch).sliced(static_cast<qsizetype>(2 * k), 2));
        }
    }

    if (cs.gb18030) {
        cs.fourBmp.assign(static_cast<std::size_t>(Gb18030FourIndex(0x84, 0x31, 0xA4, 0x39)) + 1,
                          LegacyCharset::Invalid);
        QByteArray batch;
        for (unsigned b1 = 0x81; b1 <= 0x84; ++b1) {
            for (unsigned b2 = 0x30; b2 <= 0x39; ++b2) {
                batch.clear();
                for (unsigned b3 = 0x81; b3 <= 0xFE; ++b3) {
                    for (unsigned b4 = 0x30; b4 <= 0x39; ++b4) {
                        if (Gb18030FourIndex(b1, b2, b3, b4) >= static_cast<qint32>(cs.fourBmp.size()))
                            break;
                        for (const unsigned b : {b1, b2, b3, b4})
                            batch.append(static_cast<char>(b));
                    }
                }
                if (batch.isEmpty())
                    continue;
                const qint32 first = Gb18030FourIndex(b1, b2, 0x81, 0x30);
                mapper.mapAll(batch, 4, cs.fourBmp.data() + first);
                for (qsizetype k = 0; k < batch.size() / 4; ++k)
                    addReverse(cs.fourBmp[static_cast<std::size_t>(first + k)], QByteArrayView(batch).sliced(4 * k, 4));
            }
        }
    }
    return cs;
}

} // namespace

const LegacyCharset& Legacy(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Big5: {
        static const LegacyCharset big5 = build(TextEncoding::Big5);
        return big5;
    }
    case TextEncoding::ShiftJis: {
        static const LegacyCharset sjis = build(TextEncoding::ShiftJis);
        return sjis;
    }
    default: {
        static const LegacyCharset gb = build(TextEncoding::Gb18030);
        return gb;
    }
    }
}

quint32 LegacyBytes(const LegacyCharset& cs, char32_t cp)
{
    if (cp < 0x10000)
        return cs.fromBmp[cp];
    if (cs.gb18030) {
        if (cp > 0x10FFFF)
            return LegacyCharset::NoBytes;
        quint32 index = cp - 0x10000;
        const quint32 b4 = 0x30 + index % 10;
        index /= 10;
        const quint32 b3 = 0x81 + index % 126;
        index /= 126;
        const quint32 b2 = 0x30 + index % 10;
        const quint32 b1 = 0x90 + index / 10;
        return b1 << 24 | b2 << 16 | b3 << 8 | b4;
    }
    const auto it = cs.fromSupplementary.find(cp);
    return it == cs.fromSupplementary.end() ? LegacyCharset::NoBytes : it->second;
}

} // namespace lumbrel::detail
