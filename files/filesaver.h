#pragma once

#include "files/atomicwrite.h"
#include "files/fileencoder.h"
#include "files/textformat.h"

#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

namespace lumbrel {

struct SaveOptions
{
    // Called from the saving thread after each chunk: input bytes done of the total.
    std::function<void(qint64 done, qint64 total)> progress;
    // Set from any thread to stop; the target then stays as it was.
    const std::atomic<bool>* cancel = nullptr;
    WriteFaults faults;
    qsizetype chunkBytes = qsizetype{4} << 20;
};

struct SaveResult
{
    enum class Status
    {
        Saved,
        Refused,   // a character the encoding cannot hold; nothing was written
        Failed,    // writing failed; the target is as it was and no temporary file is left
        Cancelled, // the target is as it was
    };
    Status status = Status::Saved;
    // Refused: files::CannotEncode's text; Failed: the reason to show after "保存失败：".
    QString reason;
    std::optional<Unencodable> unencodable;
    qint64 bytes = 0; // written to the file when saved
};

// Writes the text areas' form of a text (UTF-8, CR LF breaks; what SCI_GETCHARACTERPOINTER
// shows) to `path` in `format`, atomically (AtomicFile), in chunks: a UTF-8 target is never
// converted to UTF-16, and no whole-text copy is made. Text the encoding cannot hold is
// refused with the line of the first such character before anything is written. Needs no
// GUI: runs on any thread while `utf8` stays unchanged.
SaveResult
SaveText(const QString& path, QByteArrayView utf8, const FileFormat& format, const SaveOptions& options = {});

} // namespace lumbrel
