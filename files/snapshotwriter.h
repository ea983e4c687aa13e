#pragma once

#include "files/snapshot.h"

#include <QObject>
#include <QStringList>

#include <condition_variable>
#include <mutex>

class QThread;

namespace lumbrel {

// One snapshot as the window hands it over: the texts of the areas changed since the last
// one (shared byte arrays: handing them over copies nothing), and all the controls.
struct SnapshotJob
{
    QMap<QString, QByteArray> changed;
    SnapshotControls controls;
    qint64 time = 0; // ms since the epoch
};

// Writes snapshots into a SnapshotFolder on a thread of its own, so that the window never
// waits for the disk. One job is written at a time; a job handed over while another waits
// is merged into it (the newer text of an area and the newer controls win), so the disk is
// never behind by more than one job, and what is committed is always a state the window
// was in.
class SnapshotWriter final : public QObject
{
    Q_OBJECT

public:
    explicit SnapshotWriter(const QString& root, WriteFaults faults = {}, QObject* parent = nullptr);
    // Stops the thread (a write in progress is abandoned and its files removed) and leaves
    // the last committed snapshot where it is, as a crash would; removeSnapshots() first for
    // the normal end.
    ~SnapshotWriter() override;

    void submit(SnapshotJob job);
    // A job is waiting or being written.
    bool busy() const;
    // The faults of the jobs written from now on (tests).
    void setFaults(WriteFaults faults);
    // The normal end: stops the thread, abandoning a write in progress, and removes the
    // folder and its lock. Nothing is written after it.
    void removeSnapshots();
    // The session folder, once the first commit made it (empty before). Any thread.
    QString folder() const;

    // Makes an array of `bytes` ready for the next copy of `area`'s text, its memory touched
    // on the writer's thread: the thread that first writes to tens of megabytes of fresh
    // memory waits for the system to provide it (a tenth of a second on some virtual
    // machines), and that must not be the window's.
    void prepare(const QString& area, qsizetype bytes);
    // The array prepared for `area` (empty when it is not ready yet); the request is gone
    // either way.
    QByteArray takePrepared(const QString& area);

signals:
    // The end of one job, on the window's thread: `areas` names the texts it held, `seconds`
    // is the time the writing took. `reason` (failures only) is for after "快照未能保存：".
    void finished(bool ok, const QString& reason, const QStringList& areas, double seconds);
    // The array prepare() asked for is ready, on the window's thread.
    void prepared(const QString& area);

private:
    void run();
    void stop();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<SnapshotJob> m_waiting;
    bool m_writing = false;
    bool m_stopping = false;
    std::atomic<bool> m_cancel{false};
    std::optional<WriteFaults> m_newFaults;
    QMap<QString, qsizetype> m_wanted; // arrays asked for and not yet taken
    QMap<QString, QByteArray> m_ready;
    QString m_folderPath;
    SnapshotFolder m_folder;
    QThread* m_thread = nullptr;
};

} // namespace lumbrel
