#pragma once

#include <QByteArrayView>
#include <QString>

#include <cerrno>
#include <functional>

namespace lumbrel {

// Failures a test makes happen where a real one cannot be made on demand (a full disk, a
// failing fsync or rename). The default injects nothing.
struct WriteFaults
{
    qint64 failAfterBytes = -1; // writing past this many bytes fails with `error`, after
                                // writing up to it (as a disk that fills up does)
    bool failSync = false;      // the fsync of the temporary file fails with `error`
    bool failRename = false;    // the rename over the target fails with `error`
    int error = ENOSPC;
    // Called with the target's path once the temporary file is written, synced and closed,
    // right before the rename: a test stops the process there (a crash at the worst moment).
    std::function<void(const QString& target)> beforeRename;
};

// Replaces a file all at once: the bytes go to a temporary file in the target's folder, which
// is flushed, fsync'ed and renamed over the target, and the folder is fsync'ed after. Until
// commit() succeeds the target is untouched, and a temporary file that is not committed is
// removed (on failure and in the destructor). A new file is readable and writable by its
// owner only (0600); a file that is replaced keeps its permission bits (and its owner and
// group where the system allows). A symbolic link is followed: the file it points to is
// replaced, the link stays. Not thread-safe; usable from any one thread.
class AtomicFile
{
public:
    explicit AtomicFile(QString path, WriteFaults faults = {});
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. False when the target is a folder or not a regular file,
    // or the folder cannot be written.
    bool open();
    bool write(QByteArrayView bytes);
    bool commit();
    // Removes the temporary file; the target stays as it was.
    void abort();

    // The reason of the first failure, for after "保存失败：" (files/filemessages.h).
    const QString& errorReason() const
    {
        return m_reason;
    }
    // The path of the temporary file while one exists (for tests).
    const QString& temporaryPath() const
    {
        return m_tempPath;
    }

private:
    bool fail(int error);

    QString m_path;
    QString m_target; // m_path with a symbolic link followed
    QString m_tempPath;
    WriteFaults m_faults;
    QString m_reason;
    int m_fd = -1;
    qint64 m_written = 0;
};

} // namespace lumbrel
