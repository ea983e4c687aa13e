#pragma once

// Snapshots of a running window's texts, so that a crash, a kill or a power cut loses at most
// the last few seconds of work. Qt Core only; what to keep and when is the window's business
// (app/snapshots.h), how it lies on disk is this file's.
//
// On disk, under the root (SnapshotRoot()), each running window has
//   session-<pid>-<start ms>.lock   a QLockFile, held for as long as the window runs
//   session-<pid>-<start ms>/       0700: <area>.<generation>.txt (0600, an area's text as
//                                   the area stores it: UTF-8, CR LF) and manifest.json
// The lock is made before the folder and removed after it, so a folder whose lock is not
// held belongs to no running window. A snapshot writes the changed areas to files of a new
// generation, then replaces the manifest, which names every area's file and its size: the
// manifest's rename is the commit point. Only then are the files it no longer names removed.
// So a kill at any moment leaves one whole snapshot, and the folder holds at most the texts
// of two snapshots.
#include "files/atomicwrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <QStringView>

#include <atomic>
#include <memory>
#include <optional>

class QLockFile;

namespace lumbrel {

// $XDG_STATE_HOME/lumbrel, or ~/.local/state/lumbrel when that is unset or not absolute.
QString SnapshotRoot();

// Everything a snapshot keeps beside the areas' texts, each control under its objectName.
struct SnapshotControls
{
    QMap<QString, QString> texts; // text boxes, and captions that count something
    QMap<QString, bool> checks;   // check boxes and option buttons
    int tab = 0;

    friend bool operator==(const SnapshotControls&, const SnapshotControls&) = default;
};

// The commit point of a snapshot.
struct SnapshotManifest
{
    struct Area
    {
        QString file; // SnapshotAreaFile(name, some generation up to the manifest's)
        qint64 bytes = 0;

        friend bool operator==(const Area&, const Area&) = default;
    };
    qint64 time = 0;       // when the window's state was taken, ms since the epoch (UTC)
    qint64 generation = 0; // counts the snapshots of one session, from 1
    QMap<QString, Area> areas;
    SnapshotControls controls;

    qint64 textBytes() const;

    friend bool operator==(const SnapshotManifest&, const SnapshotManifest&) = default;
};

// An area's name as the files use it: 1 to 64 ASCII letters, digits and '_', a letter first.
bool IsSnapshotAreaName(QStringView name);
// "quan.12.txt".
QString SnapshotAreaFile(const QString& area, qint64 generation);

// The manifest as JSON. Texts a JSON string would not carry exactly (an unpaired surrogate,
// a byte order mark in front) are kept as their code units, so every text comes back exactly;
// a control whose name is such a text is left out.
QByteArray WriteManifest(const SnapshotManifest& manifest);
// Any bytes: the manifest they hold, or nothing when they are not exactly what WriteManifest
// writes for some manifest (wrong types, unknown format, a file name that does not belong
// to its area, sizes or times out of range). Never reads a file.
std::optional<SnapshotManifest> ReadManifest(QByteArrayView json);

// One running window's snapshots. Made lazily: nothing is on disk before the first commit.
// Used from one thread at a time.
class SnapshotFolder
{
public:
    explicit SnapshotFolder(QString root, WriteFaults faults = {});
    // Leaves the lock and the folder as they are, as a crash would (remove() is the normal
    // end). The lock is let go, so the folder becomes an orphan for the next start.
    ~SnapshotFolder();
    SnapshotFolder(const SnapshotFolder&) = delete;
    SnapshotFolder& operator=(const SnapshotFolder&) = delete;

    // Commits one snapshot: each text of `changed` (area name to its whole text) goes to a
    // file of a new generation, the areas not named keep the file of the last commit, and
    // the manifest with `controls` and `time` is replaced. False, with errorReason(), when
    // any step fails or `cancel` is set: the last committed snapshot stays whole and this
    // one's files are removed.
    bool commit(const QMap<QString, QByteArray>& changed,
                const SnapshotControls& controls,
                qint64 time,
                const std::atomic<bool>* cancel = nullptr);
    // Removes the folder, then the lock: the normal end of the window.
    void remove();

    void setFaults(WriteFaults faults)
    {
        m_faults = std::move(faults);
    }
    // The folder, once made (empty before).
    const QString& path() const
    {
        return m_path;
    }
    // The reason of the last failure, for after "快照未能保存：" (files::WriteError's words).
    const QString& errorReason() const
    {
        return m_reason;
    }
    const SnapshotManifest& committed() const
    {
        return m_committed;
    }

private:
    bool open();
    bool fail(int error);
    bool writeFile(const QString& name, QByteArrayView bytes, const std::atomic<bool>* cancel);
    void removeUnnamedFiles();

    QString m_root;
    WriteFaults m_faults;
    std::unique_ptr<QLockFile> m_lock;
    QString m_path;
    QString m_reason;
    SnapshotManifest m_committed;
};

// A snapshot left by a window that is gone, held (its lock taken) while this start decides
// what to do with it, so that no other start offers it at the same time. Destroyed without
// remove(), it is let go untouched and a later start offers it again.
class OrphanSnapshot
{
public:
    OrphanSnapshot(QString folder, std::unique_ptr<QLockFile> lock, SnapshotManifest manifest);
    ~OrphanSnapshot();
    OrphanSnapshot(const OrphanSnapshot&) = delete;
    OrphanSnapshot& operator=(const OrphanSnapshot&) = delete;

    const QString& folder() const
    {
        return m_folder;
    }
    const SnapshotManifest& manifest() const
    {
        return m_manifest;
    }
    // Every area's text, area name to bytes: nothing when a file is missing, is not of the
    // size the manifest says or is not valid UTF-8.
    std::optional<QMap<QString, QByteArray>> readTexts() const;
    // Removes the folder, then the lock.
    void remove();

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    SnapshotManifest m_manifest;
};

struct OrphanSearch
{
    std::unique_ptr<OrphanSnapshot> newest; // the one to offer; null when there is none
    int damaged = 0;                        // damaged ones, found and removed
};

// Looks through `root` for snapshots whose window is gone (their lock is stale or missing).
// The newest (by the manifest's time) is taken and returned; the others are let go for a
// later start. Empty ones (the window died before its first commit) and left-over locks are
// removed quietly; damaged ones (a manifest ReadManifest refuses, an area file missing or of
// another size) are removed and counted. Reads the manifests, never the texts.
OrphanSearch FindOrphanSnapshot(const QString& root);

} // namespace lumbrel
