#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace lumbrel {

// Undoes the Content-Encoding of a response body as its bytes arrive. Qt can do this itself,
// but it takes a gzip stream that stops short of its end for a whole page; this one tells.
class BodyInflater
{
public:
    enum class Coding
    {
        Identity,
        Gzip,
        Deflate,
    };

    // "gzip" and "x-gzip", "deflate"; anything else (none, "identity", codings we never ask
    // for) passes through unchanged.
    static Coding codingOf(QByteArrayView contentEncoding);

    explicit BodyInflater(Coding coding);
    ~BodyInflater();
    BodyInflater(const BodyInflater&) = delete;
    BodyInflater& operator=(const BodyInflater&) = delete;

    // Appends what `input` decodes to onto `out`, and stops early once `out` holds more than
    // `cap` bytes, so a small stream cannot make a huge page. False once the data is no valid
    // stream; the rest is then ignored.
    bool feed(QByteArrayView input, QByteArray& out, qint64 cap);

    // Whether the stream has reached its end (a pass-through always has). Bytes after the
    // end are ignored, except further gzip members, which are read on.
    bool complete() const;

private:
    struct Stream;

    bool start(QByteArrayView head);
    // Inflates the stream's pending input until it is used up or `out` holds more than `cap`.
    bool inflatePiece(QByteArray& out, qint64 cap);

    Coding m_coding;
    std::unique_ptr<Stream> m_stream;
    // The first bytes of a deflate body, until two tell whether a zlib header is there.
    QByteArray m_head;
    bool m_ended = false;
    bool m_failed = false;
};

} // namespace lumbrel
