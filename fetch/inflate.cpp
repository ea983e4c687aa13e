#include "fetch/inflate.h"

#include <algorithm>
#include <utility>
#include <zlib.h>

namespace lumbrel {

namespace {

// Output is produced in pieces this size, so the cap is checked well before memory runs out.
constexpr qsizetype OutputStep = 64 * 1024;
// zlib counts in uInt.
constexpr qsizetype InputStep = qsizetype(1) << 30;

bool isZlibHeader(quint8 b0, quint8 b1)
{
    return (b0 & 0x0F) == Z_DEFLATED && ((b0 << 8) | b1) % 31 == 0;
}

} // namespace

struct BodyInflater::Stream
{
    z_stream z{};

    ~Stream()
    {
        inflateEnd(&z);
    }
};

BodyInflater::Coding BodyInflater::codingOf(QByteArrayView contentEncoding)
{
    const QByteArray coding = contentEncoding.trimmed().toByteArray().toLower();
    if (coding == "gzip" || coding == "x-gzip")
        return Coding::Gzip;
    if (coding == "deflate")
        return Coding::Deflate;
    return Coding::Identity;
}

BodyInflater::BodyInflater(Coding coding)
    : m_coding(coding)
{
}

BodyInflater::~BodyInflater() = default;

bool BodyInflater::start(QByteArrayView head)
{
    // gzip (some servers label zlib data so: 32 takes either header); "deflate" is meant to be
    // zlib, but many servers send raw deflate, which has no header to recognise.
    int windowBits = MAX_WBITS + 32;
    if (m_coding == Coding::Deflate && !isZlibHeader(quint8(head[0]), quint8(head[1])))
        windowBits = -MAX_WBITS;
    auto stream = std::make_unique<Stream>();
    if (inflateInit2(&stream->z, windowBits) != Z_OK)
        return false;
    m_stream = std::move(stream);
    return true;
}

bool BodyInflater::feed(QByteArrayView input, QByteArray& out, qint64 cap)
{
    if (m_coding == Coding::Identity) {
        out += input;
        return true;
    }
    if (m_failed)
        return false;
    QByteArray head;
    if (!m_stream) {
        m_head += input;
        if (m_head.size() < 2)
            return true;
        head = std::exchange(m_head, {});
        if (!start(head)) {
            m_failed = true;
            return false;
        }
        input = head;
    }
    z_stream& z = m_stream->z;
    while (!input.isEmpty() && out.size() <= cap) {
        const qsizetype piece = std::min(input.size(), InputStep);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        z.avail_in = static_cast<uInt>(piece);
        if (!inflatePiece(out, cap)) {
            m_failed = true;
            return false;
        }
        const qsizetype used = piece - qsizetype(z.avail_in);
        if (used == 0)
            break; // held back by the cap
        input = input.sliced(used);
    }
    return true;
}

bool BodyInflater::inflatePiece(QByteArray& out, qint64 cap)
{
    z_stream& z = m_stream->z;
    bool outputPending = false;
    while ((z.avail_in > 0 || outputPending) && out.size() <= cap) {
        if (m_ended) {
            // Another gzip member goes on the page; anything else after the end is not read.
            if (m_coding != Coding::Gzip || z.avail_in == 0 || *z.next_in != 0x1F) {
                z.avail_in = 0;
                return true;
            }
            inflateReset(&z);
            m_ended = false;
        }
        const qsizetype before = out.size();
        out.resize(before + OutputStep);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        z.avail_out = static_cast<uInt>(OutputStep);
        const int rc = inflate(&z, Z_NO_FLUSH);
        out.resize(before + OutputStep - qsizetype(z.avail_out));
        outputPending = z.avail_out == 0;
        if (rc == Z_STREAM_END) {
            m_ended = true;
            outputPending = false;
        } else if (rc == Z_BUF_ERROR) {
            return true; // all input taken; the rest comes with the next bytes
        } else if (rc != Z_OK) {
            return false;
        }
    }
    return true;
}

bool BodyInflater::complete() const
{
    return m_coding == Coding::Identity || m_ended;
}

} // namespace lumbrel
