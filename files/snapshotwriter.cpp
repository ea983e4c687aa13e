#include "files/snapshotwriter.h"

#include <QElapsedTimer>
#include <QThread>

#include <cstring>

namespace lumbrel {

SnapshotWriter::SnapshotWriter(const QString& root, WriteFaults faults, QObject* parent)
    : QObject(parent)
    , m_folder(root, std::move(faults))
{
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("SnapshotWriter"));
    m_thread->start();
}

SnapshotWriter::~SnapshotWriter()
{
    stop();
}

void SnapshotWriter::submit(SnapshotJob job)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        if (m_waiting) {
            // The waiting job's other areas stay: together they are the newer state.
            for (auto it = job.changed.begin(); it != job.changed.end(); ++it)
                m_waiting->changed[it.key()] = std::move(it.value());
            m_waiting->controls = std::move(job.controls);
            m_waiting->time = job.time;
        } else {
            m_waiting = std::move(job);
        }
    }
    m_wake.notify_one();
}

bool SnapshotWriter::busy() const
{
    const std::lock_guard lock(m_mutex);
    return m_writing || m_waiting.has_value();
}

void SnapshotWriter::setFaults(WriteFaults faults)
{
    const std::lock_guard lock(m_mutex);
    m_newFaults = std::move(faults);
}

QString SnapshotWriter::folder() const
{
    const std::lock_guard lock(m_mutex);
    return m_folderPath;
}

void SnapshotWriter::prepare(const QString& area, qsizetype bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_wanted.insert(area, bytes);
        m_ready.remove(area);
    }
    m_wake.notify_one();
}

QByteArray SnapshotWriter::takePrepared(const QString& area)
{
    const std::lock_guard lock(m_mutex);
    m_wanted.remove(area);
    return m_ready.take(area);
}

void SnapshotWriter::run()
{
    for (;;) {
        SnapshotJob job;
        {
            std::unique_lock lock(m_mutex);
            const auto unprepared = [this] {
                for (auto it = m_wanted.begin(); it != m_wanted.end(); ++it) {
                    if (!m_ready.contains(it.key()))
                        return it;
                }
                return m_wanted.end();
            };
            m_wake.wait(lock, [&] { return m_stopping || m_waiting.has_value() || unprepared() != m_wanted.end(); });
            if (m_stopping)
                return;
            // A keystroke's snapshot is seconds away: its array comes first.
            if (const auto want = unprepared(); want != m_wanted.end()) {
                const QString area = want.key();
                const qsizetype bytes = want.value();
                lock.unlock();
                QByteArray room(bytes, Qt::Uninitialized);
                std::memset(room.data(), 0, static_cast<std::size_t>(room.size()));
                lock.lock();
                const bool wanted = m_wanted.value(area, -1) == bytes;
                // Moved in, not copied: shared with this thread's `room`, the array would be
                // copied again when written to.
                if (wanted)
                    m_ready[area] = std::move(room);
                lock.unlock();
                if (wanted)
                    emit prepared(area);
                continue; // one no longer wanted is let go here, not under the lock
            }
            job = std::move(*m_waiting);
            m_waiting.reset();
            m_writing = true;
            if (m_newFaults) {
                m_folder.setFaults(std::move(*m_newFaults));
                m_newFaults.reset();
            }
        }
        QElapsedTimer clock;
        clock.start();
        const bool ok = m_folder.commit(job.changed, job.controls, job.time, &m_cancel);
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const QStringList areas = job.changed.keys();
        // The texts are let go here, not on the window's thread.
        job = {};
        {
            const std::lock_guard lock(m_mutex);
            m_writing = false;
            m_folderPath = m_folder.path();
            if (m_stopping)
                return;
        }
        emit finished(ok, ok ? QString() : m_folder.errorReason(), areas, seconds);
    }
}

void SnapshotWriter::stop()
{
    if (!m_thread)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_waiting.reset();
        m_wanted.clear();
        m_ready.clear();
    }
    m_cancel = true;
    m_wake.notify_all();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

void SnapshotWriter::removeSnapshots()
{
    stop();
    m_folder.remove();
    const std::lock_guard lock(m_mutex);
    m_folderPath.clear();
}

} // namespace lumbrel
