#pragma once

#include "files/textformat.h"

#include <QString>

#include <optional>

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
// NUL test reads the head in `encoding` when given (a "re-open as"), else in UTF-16 after a
// UTF-16 byte order mark or when the head is not UTF-8 and GuessLegacyEncoding takes it for
// UTF-16 (there a zero byte is half of an ASCII character), else byte by byte. The messages
// name the file by its file name.
ProbeResult ProbeFile(const QString& path, qint64 availableBytes, std::optional<TextEncoding> encoding = {});

// The memory the system can give without swapping (MemAvailable of /proc/meminfo), or -1
// when it is not known.
qint64 AvailableMemoryBytes();

namespace detail {
// ProbeFile's work, leaving the file open for reading in `fd` when it is not refused (-1
// otherwise), so the loader reads the very file it looked at.
ProbeResult ProbeAndOpen(const QString& path, qint64 availableBytes, std::optional<TextEncoding> encoding, int& fd);
} // namespace detail

} // namespace lumbrel
