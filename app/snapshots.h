#pragma once

#include "files/atomicwrite.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

namespace lumbrel {

class Form1;
class OrphanSnapshot;
class SnapshotWriter;
class TextArea;
struct SnapshotControls;
struct SnapshotManifest;

struct SnapshotOptions
{
    QString root;             // empty: SnapshotRoot()
    WriteFaults faults;       // tests make the disk fail or the process die here
    int typingDelayMs = 3000; // the longest a keystroke waits for its snapshot
};

// Keeps snapshots of one window's areas and controls, so that an abnormal end loses at most
// the last few seconds of typing and nothing of a completed command. A command's snapshot is
// taken at the next turn of the event loop (one command writes several areas in the same
// turn), typing's at most typingDelayMs after its first keystroke; the texts are gathered on
// the window's thread and written on the writer's. A command's bytes are handed over; a text
// that must be copied (typed, prepended, appended) is copied into memory the writer made
// ready, the snapshot waiting for it when it is not ready yet.
// Destroyed normally (the window closed, the application quit), it removes the snapshots.
class SnapshotKeeper final : public QObject
{
    Q_OBJECT

public:
    SnapshotKeeper(Form1& form, const SnapshotOptions& options);
    ~SnapshotKeeper() override;

    // The restored snapshot's folder is removed once this window's first snapshot is on disk.
    void adopt(std::unique_ptr<OrphanSnapshot> orphan);
    // Takes a snapshot of everything at the next turn of the event loop.
    void takeAll();
    // The faults of the snapshots written from now on (tests).
    void setFaults(WriteFaults faults);
    // This window's folder once its first snapshot is written.
    QString folder() const;

    // The failure line in the title: "快照未能保存：" and the reason.
    static QString failureMessage(const QString& reason);

signals:
    // A snapshot was written, or failed; on the window's thread.
    void snapshotWritten(bool ok, double seconds);

private:
    void soon();
    void typed();
    void prepareCopy(TextArea* area);
    void roomReady(const QString& area);
    void take();
    void gather();
    void done(bool ok, const QString& reason, const QStringList& areas, double seconds);
    void close();
    SnapshotControls gatherControls() const;

    Form1& m_form;
    SnapshotWriter* m_writer = nullptr;
    std::unique_ptr<OrphanSnapshot> m_adopted;
    QList<TextArea*> m_areas;
    QSet<TextArea*> m_dirty;
    // Areas whose next copy goes into an array the writer makes ready, and those of them whose
    // array is not ready yet.
    QSet<TextArea*> m_prepared;
    QSet<TextArea*> m_awaited;
    std::unique_ptr<SnapshotControls> m_lastControls; // as last handed to the writer
    QTimer m_soon;
    QTimer m_typing;
    QTimer m_roomWait;        // the longest a snapshot waits for its arrays
    bool m_pending = false;   // a snapshot waits for the writer to finish the last one
    bool m_postponed = false; // a snapshot waits for its arrays
    bool m_failureShown = false;
};

// Composes the snapshots into a window built like main's: first offers back, in a question
// box, the newest snapshot a window that did not close normally left behind (yes restores
// every area and box, with no undo history; no removes it), then keeps this window's. Call it
// right after ConnectCommands. The keeper belongs to `form`.
SnapshotKeeper& KeepSnapshots(Form1& form, const SnapshotOptions& options = {});

// What the question box asks, for a snapshot of `time` (ms since the epoch) holding `bytes`
// of text: "上次 Lumbrel 没有正常关闭。要恢复 12月7日 12:30:15 未保存的内容（27.3 MB）吗？"
QString RestoreQuestion(qint64 time, qint64 bytes);
// The title after a damaged snapshot was found and removed.
QString DamagedSnapshotMessage();

} // namespace lumbrel
