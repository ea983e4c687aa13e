#pragma once

#include "files/textformat.h"

#include <QByteArray>
#include <QByteArrayView>

namespace lumbrel {

struct DecodeCounts
{
    qint64 undecodable = 0; // bytes that could not be decoded; each run of them became U+FFFD
    qint64 crlf = 0;        // CR LF pairs
    qint64 lf = 0;          // lone LF
    qint64 cr = 0;          // lone CR
    qint64 lines = 0;       // lines, known after finish(): a final line break ends the last line,
                            // it starts none (so "a" is one line, "a\n" one, "" none)
};

// The line ending a file is written back with: the most frequent kind (ties go LF, then
// CR LF, then CR); LF when the file has no line break.
LineEnding DominantEnding(const DecodeCounts& counts);
// Whether the file mixes kinds of line break.
bool HasMixedEndings(const DecodeCounts& counts);

// Turns a file's bytes, fed in pieces of any size, into the text areas' form: UTF-8 whose
// only line breaks are CR LF. CR LF, lone LF and lone CR each become one CR LF. Bytes that
// cannot be decoded become U+FFFD (one for each maximal invalid subsequence in UTF-8, one
// for each bad byte or unmapped character elsewhere) and are counted. A UTF-8 or UTF-16
// byte order mark at the very start is dropped and reported by bomSeen(). The output does
// not depend on how the input is cut into pieces, and each call's output ends on a whole
// character and a whole CR LF, so it can go into the area at once.
class FileDecoder
{
public:
    explicit FileDecoder(TextEncoding encoding);

    // Appends the text of the next bytes to `out`. A sequence cut off at the end of `bytes`
    // is held back until the next call.
    void decode(QByteArrayView bytes, QByteArray& out);
    // The input ended: a held-back partial sequence is undecodable. Call once, last.
    void finish(QByteArray& out);

    const DecodeCounts& counts() const
    {
        return m_counts;
    }
    bool bomSeen() const
    {
        return m_bomSeen;
    }
    TextEncoding encoding() const
    {
        return m_encoding;
    }

    // The bytes one decode() call can add per input byte at most (plus HeldBytes).
    static constexpr qsizetype MaxGrowth = 3;
    static constexpr qsizetype HeldBytes = 8;

private:
    qsizetype decodeSome(const unsigned char* p, qsizetype n, bool final, char* out, char*& end);
    qsizetype decodeUtf8(const unsigned char* p, qsizetype n, bool final, char*& o);
    void copyValidUtf8(const unsigned char* p, qsizetype n, char*& o);
    qsizetype decodeUtf16(const unsigned char* p, qsizetype n, bool final, char*& o);
    qsizetype decodeLegacy(const unsigned char* p, qsizetype n, bool final, char*& o);
    void lineBreak(unsigned char byte, char*& o);
    void invalid(qsizetype bytes, char*& o);

    TextEncoding m_encoding;
    const void* m_table = nullptr; // the legacy encoding's tables
    DecodeCounts m_counts;
    unsigned char m_held[HeldBytes] = {};
    qsizetype m_heldCount = 0;
    bool m_bomChecked = false; // the bytes a byte order mark would take have been seen
    bool m_bomSeen = false;
    bool m_afterCr = false;  // the last character was a CR: an LF next is its pair
    bool m_lineOpen = false; // characters since the last break
};

// The whole of `bytes` decoded at once: the text and the counts.
struct DecodedText
{
    QByteArray text;
    DecodeCounts counts;
    bool bom = false;
};
DecodedText DecodeAll(QByteArrayView bytes, TextEncoding encoding);

} // namespace lumbrel
