#pragma once

#include "files/filedecoder.h"
#include "files/textformat.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QThread;

namespace lumbrel {

struct LoadOptions
{
    // Read in this encoding instead of the detected one ("re-open as"). A byte order mark of
    // that encoding is still dropped and remembered.
    std::optional<TextEncoding> encoding;
    // The memory the file may take a quarter of; negative: AvailableMemoryBytes() then.
    qint64 availableBytes = -1;
    // The user was asked and wants a file with NUL characters in its head read anyway.
    bool acceptNul = false;
    // File bytes a piece is made of (its text is about as long), and how many pieces may
    // wait for the window before the reader stops and waits.
    qsizetype pieceBytes = qsizetype{4} << 20;
    int piecesInFlight = 2;
};

struct LoadResult
{
    FileFormat format;   // what to save back with: encoding, BOM, the dominant line ending
    DecodeCounts counts; // lines, undecodable bytes, each kind of line break
    bool mixedEndings = false;
    qint64 fileBytes = 0; // bytes read
    qint64 textBytes = 0; // bytes of text delivered in the pieces (UTF-8, CR LF)
};

// Reads and decodes a file on a thread of its own and hands its text over in pieces, for a
// window that puts them into a text area one at a time and so never stops answering.
//
// start(): the file is looked at as ProbeFile does (a refusal is failed()), then, unless an
// encoding is given, its encoding found: a byte order mark decides; else the whole file is
// checked for strict UTF-8 first (the first part of the progress), because one bad byte
// near the end makes it another encoding; else GuessLegacyEncoding judges a sample at the
// first bad byte. Then it is read again and decoded (the second part).
//
// Pieces: each piecesReady() announces one piece; takePiece() hands out the oldest. Each is
// UTF-8 with CR LF breaks, ends on a whole character and a whole CR LF, and is never empty.
// At most piecesInFlight pieces wait: the reader sleeps until the window takes one.
// finished() comes once the window has taken the last piece; failed() (with a reason from
// files/filemessages.h) may come after pieces were taken: the window then throws them away.
// A file that shrinks, grows, vanishes, is replaced or written to while it is read fails.
//
// cancel() stops the load: after it returns, no signal of that load arrives and takePiece()
// gives nothing. start() while loading cancels first. Deleting the loader cancels and waits
// for the thread (which stops at its next piece or read, at once when it waits).
class FileLoader final : public QObject
{
    Q_OBJECT

public:
    explicit FileLoader(QObject* parent = nullptr);
    ~FileLoader() override;

    void start(const QString& path, const LoadOptions& options = {});
    void cancel();
    bool isLoading() const;

    // The oldest waiting piece, or an empty array when none waits.
    QByteArray takePiece();

    struct Shared;

signals:
    // The encoding is known, before the first piece: the title can name it, and the area can
    // make room for the text at once (growing a huge document piece by piece copies it again
    // and again). `textBytes` is the text's expected size: the file's size for UTF-8, half as
    // much again for the other encodings; lone LF or CR breaks add a byte each.
    void detected(lumbrel::TextEncoding encoding, qint64 textBytes);
    // `done` of `total` work units (bytes read, counted once per pass).
    void progress(qint64 done, qint64 total);
    void piecesReady();
    void finished(const lumbrel::LoadResult& result);
    void failed(const QString& reason);

private:
    void stop();

    std::shared_ptr<Shared> m_shared;
    QThread* m_thread = nullptr;
    quint64 m_generation = 0;
};

} // namespace lumbrel
