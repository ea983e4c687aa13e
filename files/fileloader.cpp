#include "files/fileloader.h"

#include "files/filemessages.h"
#include "files/fileprobe.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumbrel {

// What the reading thread and the window share, one for each load: a cancelled load's
// thread keeps its own to the end.
struct FileLoader::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> pieces;
    int maxPieces = 2;
    bool cancelled = false;

    bool isCancelled()
    {
        const std::lock_guard lock(mutex);
        return cancelled;
    }
};

namespace {

struct LoadEvents
{
    std::function<void(TextEncoding, qint64)> detected;
    std::function<void(qint64, qint64)> progress;
    std::function<void()> pieceReady;
    std::function<void(const LoadResult&)> finished;
    std::function<void(const QString&)> failed;
};

class FileHandle
{
public:
    explicit FileHandle(int fd)
        : m_fd(fd)
    {
    }
    ~FileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const
    {
        return m_fd;
    }

private:
    int m_fd;
};

// Up to `length` bytes at `offset`; fewer only at the end of the file. -1 with errno set.
qint64 readAt(int fd, char* to, qint64 length, qint64 offset)
{
    qint64 got = 0;
    while (got < length) {
        const ssize_t r = ::pread(fd, to + got, static_cast<std::size_t>(length - got), offset + got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += r;
    }
    return got;
}

class Load
{
public:
    Load(QString path, const LoadOptions& options, FileLoader::Shared& shared, const LoadEvents& events)
        : m_path(std::move(path))
        , m_name(QFileInfo(m_path).fileName())
        , m_options(options)
        , m_shared(shared)
        , m_events(events)
    {
    }

    void run()
    {
        const qint64 available = m_options.availableBytes >= 0 ? m_options.availableBytes : AvailableMemoryBytes();
        int fd = -1;
        const ProbeResult probe = detail::ProbeAndOpen(m_path, available, m_options.encoding, fd);
        if (!probe.refusal.isEmpty())
            return m_events.failed(probe.refusal);
        const FileHandle file(fd);
        if (probe.nulInHead && !m_options.acceptNul)
            return m_events.failed(files::NulInHead(m_name));
        struct stat opened
        {
        };
        ::fstat(fd, &opened);
        m_fd = fd;
        m_size = probe.size;
        m_buffer.resize(std::max<qsizetype>(m_options.pieceBytes, 16));

        std::optional<TextEncoding> encoding = m_options.encoding;
        if (!encoding) {
            char head[3] = {};
            const qint64 got = readAt(fd, head, 3, 0);
            if (got < 0)
                return m_events.failed(files::ReadError(m_name, errno));
            encoding = EncodingFromBom(QByteArrayView(head, got));
        }
        if (!encoding) {
            m_total = 2 * m_size;
            encoding = detect();
            if (!encoding)
                return;
            m_done = m_size;
        } else {
            m_total = m_size;
        }
        m_events.detected(*encoding, *encoding == TextEncoding::Utf8 ? m_size : m_size + m_size / 2);
        m_events.progress(m_done, m_total);

        FileDecoder decoder(*encoding);
        LoadResult result;
        for (qint64 offset = 0; offset < m_size;) {
            if (m_shared.isCancelled())
                return;
            const qint64 got = readAt(fd, m_buffer.data(), std::min<qint64>(m_buffer.size(), m_size - offset), offset);
            if (got < 0)
                return m_events.failed(files::ReadError(m_name, errno));
            if (got == 0)
                return m_events.failed(files::Shrank(m_name));
            offset += got;
            QByteArray& piece = freeBuffer();
            decoder.decode(QByteArrayView(m_buffer.constData(), got), piece);
            if (offset == m_size) {
                if (grew())
                    return m_events.failed(files::Grew(m_name));
                decoder.finish(piece);
            }
            result.textBytes += piece.size();
            if (!piece.isEmpty() && !deliver(piece))
                return;
            m_events.progress(m_done + offset, m_total);
        }
        if (m_size == 0 && grew())
            return m_events.failed(files::Grew(m_name));
        // The file read must still be the file at the path, whole.
        struct stat now
        {
        };
        struct stat atPath
        {
        };
        if (::fstat(fd, &now) != 0 || now.st_size != m_size)
            return m_events.failed(now.st_size < m_size ? files::Shrank(m_name) : files::Grew(m_name));
        // Written to in place while it was read, at the same size.
        if (now.st_mtim.tv_sec != opened.st_mtim.tv_sec || now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec)
            return m_events.failed(files::Rewritten(m_name));
        if (::stat(QFile::encodeName(m_path).constData(), &atPath) != 0 || atPath.st_ino != opened.st_ino ||
            atPath.st_dev != opened.st_dev)
            return m_events.failed(files::Replaced(m_name));

        result.counts = decoder.counts();
        result.format = {*encoding, decoder.bomSeen(), DominantEnding(result.counts)};
        result.mixedEndings = HasMixedEndings(result.counts);
        result.fileBytes = m_size;
        {
            // Done once the window has the last piece.
            std::unique_lock lock(m_shared.mutex);
            m_shared.changed.wait(lock, [&] { return m_shared.cancelled || m_shared.pieces.empty(); });
            if (m_shared.cancelled)
                return;
        }
        m_events.finished(result);
    }

private:
    // The encoding of a file without a byte order mark; nothing when the load ended.
    std::optional<TextEncoding> detect()
    {
        Utf8Validator validator;
        for (qint64 offset = 0; offset < m_size;) {
            if (m_shared.isCancelled())
                return std::nullopt;
            const qint64 got =
                readAt(m_fd, m_buffer.data(), std::min<qint64>(m_buffer.size(), m_size - offset), offset);
            if (got < 0) {
                m_events.failed(files::ReadError(m_name, errno));
                return std::nullopt;
            }
            if (got == 0) {
                m_events.failed(files::Shrank(m_name));
                return std::nullopt;
            }
            offset += got;
            if (!validator.feed(QByteArrayView(m_buffer.constData(), got)))
                break;
            m_events.progress(offset, m_total);
        }
        if (validator.finish())
            return TextEncoding::Utf8;
        // A sample from the line of the first bad byte, read from an even offset so UTF-16
        // stays aligned.
        const qint64 first = validator.firstInvalid();
        qint64 from = std::max<qint64>(0, first - (qint64{64} << 10));
        from -= from % 2;
        QByteArray window(static_cast<qsizetype>(std::min(m_size, first + SampleBytes) - from), Qt::Uninitialized);
        const qint64 got = readAt(m_fd, window.data(), window.size(), from);
        if (got < 0) {
            m_events.failed(files::ReadError(m_name, errno));
            return std::nullopt;
        }
        window.truncate(static_cast<qsizetype>(got));
        const qsizetype start = std::min(SampleStart(window, static_cast<qsizetype>(first - from)), window.size());
        return GuessLegacyEncoding(QByteArrayView(window).sliced(start, std::min(SampleBytes, window.size() - start)));
    }

    bool grew()
    {
        char extra = 0;
        return readAt(m_fd, &extra, 1, m_size) > 0;
    }

    // An empty buffer for the next piece: one the window has let go of when there is one, so
    // its memory, already mapped, is written again instead of fresh pages each time.
    QByteArray& freeBuffer()
    {
        for (QByteArray& buffer : m_pool) {
            if (buffer.isDetached()) {
                // The window's last read of it comes before its release of it.
                std::atomic_thread_fence(std::memory_order_acquire);
                buffer.resize(0);
                return buffer;
            }
        }
        QByteArray fresh;
        fresh.reserve(FileDecoder::MaxGrowth * (m_buffer.size() + FileDecoder::HeldBytes) + 64);
        // A window that keeps its pieces makes every buffer a new one.
        if (static_cast<int>(m_pool.size()) < m_shared.maxPieces + 2) {
            m_pool.push_back(std::move(fresh));
            return m_pool.back();
        }
        m_spare = std::move(fresh);
        return m_spare;
    }

    // Queues a piece (sharing its buffer), first waiting for room; false when the load was
    // cancelled.
    bool deliver(const QByteArray& piece)
    {
        {
            std::unique_lock lock(m_shared.mutex);
            m_shared.changed.wait(lock, [&] {
                return m_shared.cancelled || static_cast<int>(m_shared.pieces.size()) < m_shared.maxPieces;
            });
            if (m_shared.cancelled)
                return false;
            m_shared.pieces.push_back(piece);
        }
        m_events.pieceReady();
        return true;
    }

    QString m_path;
    QString m_name;
    LoadOptions m_options;
    FileLoader::Shared& m_shared;
    const LoadEvents& m_events;
    QByteArray m_buffer;
    std::vector<QByteArray> m_pool; // the pieces' buffers, shared with the window while it holds them
    QByteArray m_spare;
    int m_fd = -1;
    qint64 m_size = 0;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

} // namespace

FileLoader::FileLoader(QObject* parent)
    : QObject(parent)
{
}

FileLoader::~FileLoader()
{
    stop();
}

void FileLoader::start(const QString& path, const LoadOptions& options)
{
    stop();
    const quint64 generation = ++m_generation;
    auto shared = std::make_shared<Shared>();
    shared->maxPieces = std::max(1, options.piecesInFlight);
    m_shared = shared;
    // Each event runs on the loader's thread, and only while this load is the current one.
    const auto post = [this, generation](std::function<void()> event) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, event = std::move(event)] {
                if (generation == m_generation)
                    event();
            },
            Qt::QueuedConnection);
    };
    LoadEvents events;
    events.detected = [post, this](TextEncoding encoding, qint64 textBytes) {
        post([=, this] { emit detected(encoding, textBytes); });
    };
    events.progress = [post, this](qint64 done, qint64 total) { post([=, this] { emit progress(done, total); }); };
    events.pieceReady = [post, this] { post([this] { emit piecesReady(); }); };
    events.finished = [post, this](const LoadResult& result) {
        post([=, this] {
            m_shared.reset();
            emit finished(result);
        });
    };
    events.failed = [post, this](const QString& reason) {
        post([=, this] {
            // The pieces not taken yet are of a text that is not coming.
            if (m_shared) {
                const std::lock_guard lock(m_shared->mutex);
                m_shared->cancelled = true;
                m_shared->changed.notify_all();
            }
            m_shared.reset();
            emit failed(reason);
        });
    };
    m_thread = QThread::create(
        [path, options, shared, events = std::move(events)] { Load(path, options, *shared, events).run(); });
    m_thread->start();
}

void FileLoader::cancel()
{
    stop();
}

void FileLoader::stop()
{
    ++m_generation;
    if (m_shared) {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->cancelled = true;
        m_shared->pieces.clear();
        m_shared->changed.notify_all();
    }
    m_shared.reset();
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
}

bool FileLoader::isLoading() const
{
    return m_shared != nullptr;
}

QByteArray FileLoader::takePiece()
{
    if (!m_shared)
        return {};
    const std::lock_guard lock(m_shared->mutex);
    if (m_shared->pieces.empty())
        return {};
    QByteArray piece = std::move(m_shared->pieces.front());
    m_shared->pieces.pop_front();
    m_shared->changed.notify_all();
    return piece;
}

} // namespace lumbrel
