#include "files/fileprobe.h"

#include "files/filemessages.h"
#include "files/textformat.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumbrel {

namespace {

// Whether the head holds a NUL character in the encoding the file will be read in: given,
// or named by a byte order mark, or UTF-16 when the head is not UTF-8 and reads as UTF-16
// (the zero bytes are then half of its ASCII characters), else bytes.
bool hasNul(QByteArrayView head, std::optional<TextEncoding> encoding)
{
    if (!encoding)
        encoding = EncodingFromBom(head);
    if (!encoding && head.contains('\0')) {
        Utf8Validator validator;
        validator.feed(head);
        if (validator.firstInvalid() >= 0) {
            const qsizetype start = SampleStart(head, validator.firstInvalid());
            encoding = GuessLegacyEncoding(head.sliced(start));
        }
    }
    if (encoding != TextEncoding::Utf16LE && encoding != TextEncoding::Utf16BE)
        return head.contains('\0');
    const qsizetype from = head.startsWith(BomBytes(*encoding)) ? 2 : 0;
    for (qsizetype i = from; i + 1 < head.size(); i += 2) {
        if (head[i] == '\0' && head[i + 1] == '\0')
            return true;
    }
    return false;
}

} // namespace

namespace detail {

ProbeResult ProbeAndOpen(const QString& path, qint64 availableBytes, std::optional<TextEncoding> encoding, int& fd)
{
    fd = -1;
    ProbeResult result;
    const QString name = QFileInfo(path).fileName();
    const QByteArray native = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::stat(native.constData(), &st) != 0) {
        result.refusal = files::ReadError(name, errno);
        return result;
    }
    if (S_ISDIR(st.st_mode)) {
        result.refusal = files::IsFolder(name);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.refusal = files::NotRegularFile(name);
        return result;
    }
    if (availableBytes >= 0 && st.st_size > availableBytes / 4) {
        result.refusal = files::TooBig(st.st_size, availableBytes);
        return result;
    }
    // Non-blocking, in case a FIFO took the file's place since the look: the open must not
    // wait for a writer.
    const int opened = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0) {
        result.refusal = files::ReadError(name, errno);
        return result;
    }
    struct stat now
    {
    };
    if (::fstat(opened, &now) != 0 || !S_ISREG(now.st_mode)) {
        ::close(opened);
        result.refusal = S_ISDIR(now.st_mode) ? files::IsFolder(name) : files::NotRegularFile(name);
        return result;
    }
    result.size = now.st_size;
    if (availableBytes >= 0 && result.size > availableBytes / 4) {
        ::close(opened);
        result.refusal = files::TooBig(result.size, availableBytes);
        return result;
    }
    QByteArray head(static_cast<qsizetype>(std::min(HeadBytes, result.size)), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < head.size()) {
        const ssize_t r = ::pread(opened, head.data() + got, static_cast<std::size_t>(head.size() - got), got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            const int error = errno;
            ::close(opened);
            result.refusal = files::ReadError(name, error);
            return result;
        }
        if (r == 0)
            break;
        got += r;
    }
    head.truncate(got);
    result.nulInHead = hasNul(head, encoding);
    fd = opened;
    return result;
}

} // namespace detail

ProbeResult ProbeFile(const QString& path, qint64 availableBytes, std::optional<TextEncoding> encoding)
{
    int fd = -1;
    ProbeResult result = detail::ProbeAndOpen(path, availableBytes, encoding, fd);
    if (fd >= 0)
        ::close(fd);
    return result;
}

qint64 AvailableMemoryBytes()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    // A proc file tells no size: read it to its end.
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:")) {
            bool ok = false;
            const qint64 kib = line.mid(13).trimmed().split(' ').front().toLongLong(&ok);
            return ok ? kib * 1024 : -1;
        }
    }
    return -1;
}

} // namespace lumbrel
