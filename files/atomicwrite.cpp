#include "files/atomicwrite.h"

#include "files/filemessages.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumbrel {

AtomicFile::AtomicFile(QString path, WriteFaults faults)
    : m_path(std::move(path))
    , m_faults(faults)
{
}

AtomicFile::~AtomicFile()
{
    abort();
}

bool AtomicFile::fail(int error)
{
    if (m_reason.isEmpty())
        m_reason = files::WriteError(error);
    abort();
    return false;
}

bool AtomicFile::open()
{
    m_target = m_path;
    const QFileInfo info(m_path);
    if (info.isSymLink()) {
        const QString resolved = info.canonicalFilePath();
        if (!resolved.isEmpty())
            m_target = resolved;
    }
    const QByteArray target = QFile::encodeName(m_target);
    struct stat st
    {
    };
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return fail(EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        m_reason = files::TargetNotRegular();
        return false;
    }
    const QFileInfo targetInfo(m_target);
    QByteArray pattern = QFile::encodeName(targetInfo.absolutePath() + QStringLiteral("/.") + targetInfo.fileName() +
                                           QStringLiteral(".XXXXXX"));
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        return fail(errno);
    m_tempPath = QFile::decodeName(pattern);
    m_written = 0;
    if (exists) {
        // Replacing a file must not change who may read it. The owner can only be kept by
        // root; elsewhere that step fails harmlessly.
        if (::fchmod(m_fd, st.st_mode & 07777) != 0)
            return fail(errno);
        [[maybe_unused]] const int owned = ::fchown(m_fd, st.st_uid, st.st_gid);
    }
    return true;
}

bool AtomicFile::write(QByteArrayView bytes)
{
    if (m_fd < 0)
        return false;
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        qsizetype chunk = left;
        const bool faulty = m_faults.failAfterBytes >= 0 && m_written + chunk > m_faults.failAfterBytes;
        if (faulty)
            chunk = m_faults.failAfterBytes - m_written;
        ssize_t w = 0;
        if (chunk > 0) {
            w = ::write(m_fd, p, static_cast<std::size_t>(chunk));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return fail(errno);
        }
        p += w;
        left -= w;
        m_written += w;
        if (faulty && m_written >= m_faults.failAfterBytes)
            return fail(m_faults.error);
    }
    return true;
}

bool AtomicFile::commit()
{
    if (m_fd < 0)
        return false;
    if (m_faults.failSync)
        return fail(m_faults.error);
    if (::fsync(m_fd) != 0)
        return fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        m_fd = -1;
        ::unlink(QFile::encodeName(m_tempPath).constData());
        m_tempPath.clear();
        return fail(error);
    }
    const QByteArray temp = QFile::encodeName(m_tempPath);
    if (m_faults.beforeRename)
        m_faults.beforeRename(m_target);
    if (m_faults.failRename || ::rename(temp.constData(), QFile::encodeName(m_target).constData()) != 0) {
        const int error = m_faults.failRename ? m_faults.error : errno;
        ::unlink(temp.constData());
        m_tempPath.clear();
        return fail(error);
    }
    m_tempPath.clear();
    // The rename itself is only durable once the folder is; a failure here leaves the new
    // file in place, so it is not reported.
    const int folder =
        ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void AtomicFile::abort()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.isEmpty()) {
        ::unlink(QFile::encodeName(m_tempPath).constData());
        m_tempPath.clear();
    }
}

} // namespace lumbrel
