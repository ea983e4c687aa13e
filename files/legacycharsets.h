#pragma once

// The double-byte encodings (GB18030, Big5, Shift_JIS) as lookup tables, so files are decoded
// straight to UTF-8 with every bad byte counted, and encoded straight from UTF-8 with every
// character that has no place found. The tables are filled once, from the platform's
// decoder, so the mappings are the platform's own.
#include "files/textformat.h"

#include <QtGlobal>

#include <array>
#include <unordered_map>
#include <vector>

namespace lumbrel::detail {

struct LegacyCharset
{
    static constexpr qint32 Invalid = -1;
    static constexpr qint32 Lead = -2;
    static constexpr quint32 NoBytes = 0xFFFFFFFF;

    // For each byte alone: its code point, Invalid, or Lead (it starts a longer sequence).
    std::array<qint32, 256> single{};
    // Whether a byte can follow a lead byte in a two-byte sequence.
    std::array<bool, 256> trail{};
    // The code point of lead L and trail T at (L - 0x80) * 256 + T, or Invalid.
    std::vector<qint32> pairs;
    // GB18030 only: the four-byte sequences 81 30 81 30 to 84 31 A4 39 by their linear
    // index, code point or Invalid.
    std::vector<qint32> fourBmp;
    // Bytes that plain ASCII copies through (every ASCII byte but CR and LF, when the
    // encoding maps it to itself).
    std::array<bool, 256> plain{};

    // Encoding: a BMP code point's bytes, big-endian in the value (one byte below 0x100,
    // two below 0x10000, else four), or NoBytes.
    std::vector<quint32> fromBmp;
    // Code points above the BMP that a two-byte sequence maps to (GB18030 computes its own).
    std::unordered_map<char32_t, quint32> fromSupplementary;

    bool gb18030 = false;
};

// The tables of Gb18030, Big5 or ShiftJis, filled on first use (safe from any thread).
const LegacyCharset& Legacy(TextEncoding encoding);

// GB18030's four-byte sequences above the BMP: 90 30 81 30 is U+10000, counting up.
inline constexpr qint32 Gb18030FourIndex(unsigned b1, unsigned b2, unsigned b3, unsigned b4)
{
    return static_cast<qint32>((((b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30));
}
inline constexpr qint32 Gb18030SupplementaryBase = Gb18030FourIndex(0x90, 0x30, 0x81, 0x30);

// The code point of a four-byte GB18030 sequence (bytes already in their ranges), or Invalid.
inline qint32 Gb18030Four(const LegacyCharset& cs, unsigned b1, unsigned b2, unsigned b3, unsigned b4)
{
    const qint32 index = Gb18030FourIndex(b1, b2, b3, b4);
    if (index < static_cast<qint32>(cs.fourBmp.size()))
        return cs.fourBmp[static_cast<std::size_t>(index)];
    const qint32 cp = index - Gb18030SupplementaryBase + 0x10000;
    return cp >= 0x10000 && cp <= 0x10FFFF ? cp : LegacyCharset::Invalid;
}

// The bytes of `cp` in the encoding, packed as in fromBmp, or NoBytes.
quint32 LegacyBytes(const LegacyCharset& cs, char32_t cp);

} // namespace lumbrel::detail
