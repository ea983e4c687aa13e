#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace lumbrel {

// The encodings a file is read and written in. GB18030 covers GB2312 and GBK.
enum class TextEncoding
{
    Utf8,
    Utf16LE,
    Utf16BE,
    Gb18030,
    Big5,
    ShiftJis,
};

// How the lines of a file end. The text areas always use CR LF; this is the file's own.
enum class LineEnding
{
    CrLf,
    Lf,
    Cr,
};

// What a file was read as and is written back as. A new file is UTF-8 without BOM, LF.
struct FileFormat
{
    TextEncoding encoding = TextEncoding::Utf8;
    bool bom = false; // a byte order mark in front (UTF-8 and UTF-16 only)
    LineEnding ending = LineEnding::Lf;

    friend bool operator==(const FileFormat&, const FileFormat&) = default;
};

// Every encoding, in the order a "re-open as" or "save as" menu lists them.
inline constexpr TextEncoding AllEncodings[] = {
    TextEncoding::Utf8,
    TextEncoding::Gb18030,
    TextEncoding::Utf16LE,
    TextEncoding::Utf16BE,
    TextEncoding::Big5,
    TextEncoding::ShiftJis,
};

// The name shown in the title and the menus: "UTF-8", "UTF-16 LE", "UTF-16 BE", "GB18030",
// "Big5", "Shift_JIS".
QString EncodingName(TextEncoding encoding);
// The encoding name with " BOM" after it when the format has one: "UTF-8 BOM".
QString FormatName(const FileFormat& format);
// "CR LF", "LF", "CR".
QString LineEndingName(LineEnding ending);

// Whether the encoding can carry a byte order mark (UTF-8, UTF-16).
bool CanHaveBom(TextEncoding encoding);
// The byte order mark of the encoding; empty for the others.
QByteArrayView BomBytes(TextEncoding encoding);

// The encoding a leading byte order mark names: EF BB BF UTF-8, FF FE UTF-16 LE, FE FF
// UTF-16 BE; nothing without one.
std::optional<TextEncoding> EncodingFromBom(QByteArrayView head);

// Checks whether a byte stream is strictly valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF), fed in pieces of any size.
class Utf8Validator
{
public:
    // Returns false once an invalid sequence has been seen (in this or an earlier piece).
    bool feed(QByteArrayView bytes);
    // The stream ended: false when it is invalid or ends inside a sequence.
    bool finish();
    // The stream offset of the first invalid byte; -1 while none is known.
    qint64 firstInvalid() const
    {
        return m_firstInvalid;
    }

private:
    unsigned char m_held[4] = {};
    int m_heldCount = 0;
    qint64 m_offset = 0; // bytes fed before the held ones
    qint64 m_firstInvalid = -1;
};

// The encoding of bytes that carry no byte order mark and are not valid UTF-8, judged on a
// sample (a few hundred KiB starting at a line start; a sequence cut off at the sample's end
// is not held against any encoding). GB18030 unless uchardet names Big5, Shift_JIS or
// UTF-16 and that reading is sure while the GB18030 one is doubtful:
// - sure: no undecodable byte, no control character other than TAB, LF, FF and CR (NUL
//   included), no private-use character;
// - doubtful: an undecodable byte, or a control character as above, or fewer than two thirds
//   of its non-ASCII characters lie where common Chinese text lies in GB2312 (the hanzi rows
//   B0-F7 and the punctuation rows A1 and A3).
// uchardet 0.0.7 never names UTF-16 without a BOM; UTF-16 is then the candidate when the
// sample holds NUL bytes, LE when most fall on odd offsets, BE when most fall on even ones.
TextEncoding GuessLegacyEncoding(QByteArrayView sample);

// The format of a whole file's bytes, line ending left at LF: a BOM decides; else valid UTF-8
// (empty and ASCII-only included) is UTF-8; else GuessLegacyEncoding on a sample that starts
// at the line of the first invalid UTF-8 sequence. FileLoader does the same on a file
// without holding it whole. UTF-16 without a BOM that holds nothing but ASCII is valid UTF-8
// (with a NUL byte after each letter), so it is taken for UTF-8: the NUL test then asks, and
// "re-open as" UTF-16 reads it.
FileFormat DetectFormat(QByteArrayView bytes);

// Where the sample GuessLegacyEncoding judges starts in `bytes` (which start at an even file
// offset), for bytes whose first invalid UTF-8 byte is at `firstInvalid`: the start of that
// byte's line, looked for at most 64 KiB back (a UTF-16 LF's zero byte skipped); else 0 when
// that reaches the start, else `firstInvalid`. The sample is the SampleBytes from there.
inline constexpr qsizetype SampleBytes = qsizetype{1} << 19;
qsizetype SampleStart(QByteArrayView bytes, qsizetype firstInvalid);

} // namespace lumbrel
