#pragma once

// Helpers of the files tests: real files in real folders, and a child process without root's
// powers where a test needs a permission to be refused.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace lumbrel::testing {

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every entry of a folder, hidden ones included: a left-over temporary file shows here.
inline QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs `body` in a child process as the unprivileged user 65534 when this process is root
// (root reads and writes whatever the permission bits say), else in a child as it is. The
// exit status of `body` comes back; -1 when the child could not drop root.
inline int runUnprivileged(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(255);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace lumbrel::testing
