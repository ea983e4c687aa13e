#pragma once

#include <QString>

namespace lumbrel {

// What a quick look at a file before reading it found.
struct ProbeResult
{
    QString refusal;        // why the file is not read (files/filemessages.h); empty when it can be
    qint64 size = 0;        // bytes
    bool nulInHead = false; // a NUL character in the first HeadBytes: probably not text, ask first
};

inline constexpr qint64 HeadBytes = qint64{64} << 10;

// Looks at `path` without blocking and without reading more than its first HeadBytes:
// refuses a path that does not exist, a folder, anything but a regular file (a FIFO or a
// device is refused from its type, never opened for reading), a file that cannot be read,
// and a file larger than a quarter of `availableBytes` (no limit when it is negative). The
// NUL test counts 16-bit units after a UTF-16 byte order mark, bytes otherwise. The messages
// name the file by its file name.
ProbeResult ProbeFile(const QString& path, qint64 availableBytes);

// The memory the system can give without swapping (MemAvailable of /proc/meminfo), or -1
// when it is not known.
qint64 AvailableMemoryBytes();

namespace detail {
// ProbeFile's work, leaving the file open for reading in `fd` when it is not refused (-1
// otherwise), so the loader reads the very file it looked at.
ProbeResult ProbeAndOpen(const QString& path, qint64 availableBytes, int& fd);
} // namespace detail

} // namespace lumbrel
