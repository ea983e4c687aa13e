#pragma once

#include "files/textformat.h"

#include <QByteArray>
#include <QByteArrayView>

namespace lumbrel {

// A character the chosen encoding cannot hold: its line (from 1) and the character.
struct Unencodable
{
    qint64 line = 0;
    char32_t character = 0;
};

// Turns the text areas' form (UTF-8, lines broken by CR LF) into a file's bytes, in pieces:
// each CR LF (and each lone CR or LF) becomes the format's line ending, the characters are
// written in its encoding (a sequence that is not valid UTF-8 as U+FFFD; for a UTF-8 target
// the bytes between line breaks are copied as they are). The byte order mark is not written:
// the caller puts BomBytes() in front when the format has one.
class FileEncoder
{
public:
    explicit FileEncoder(const FileFormat& format);

    // Appends the bytes of the next piece of text. Pieces are cut anywhere; a sequence or a
    // CR LF cut in two is finished with the next piece. Returns false at the first character
    // the encoding cannot hold (what was appended before it stays): failure() says which.
    bool encode(QByteArrayView utf8, QByteArray& out);
    // The text ended: a sequence cut off at its end becomes U+FFFD (a UTF-8 target has
    // copied its bytes as they are).
    bool finish(QByteArray& out);

    const Unencodable& failure() const
    {
        return m_failure;
    }

    // The bytes one call can add per input byte at most (four for a lone CR as CR LF in
    // UTF-16, and for a GB18030 four-byte character from a two-byte sequence).
    static constexpr qsizetype MaxGrowth = 4;

private:
    bool encodeSome(const unsigned char* p, qsizetype n, bool final, char*& o, qsizetype& used);
    void copyUtf8(const unsigned char* p, qsizetype n, char*& o);
    void putEnding(char*& o);
    bool putCharacter(char32_t cp, char*& o);

    FileFormat m_format;
    const void* m_table = nullptr;
    Unencodable m_failure;
    qint64 m_line = 1;
    bool m_afterCr = false;
    unsigned char m_held[4] = {};
    qsizetype m_heldCount = 0;
};

// Whether the whole text fits the encoding; else where it first does not. Checked before a
// save writes anything.
std::optional<Unencodable> FindUnencodable(QByteArrayView utf8, TextEncoding encoding);
// Whether every character has a place in the encoding (UTF-8, UTF-16, GB18030), so the
// check before saving can be left out.
bool HoldsEveryCharacter(TextEncoding encoding);

// The whole text in `format`, byte order mark included; nothing when a character does not
// fit (then `failure`, when given, says which).
std::optional<QByteArray> EncodeAll(QByteArrayView utf8, const FileFormat& format, Unencodable* failure = nullptr);

} // namespace lumbrel
