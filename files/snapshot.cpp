#include "files/snapshot.h"

#include "files/filemessages.h"
#include "files/utf8scan.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumbrel {

namespace {

constexpr int ManifestFormat = 1;
const QString ManifestName = QStringLiteral("manifest.json");
// A manifest holds the boxes' texts, which may be long, but never the areas'.
constexpr qint64 LargestManifest = qint64{256} << 20;
// JSON numbers are doubles: every integer up to here is exact.
constexpr qint64 LargestInteger = qint64{1} << 53;
constexpr int LargestTab = 999;
// Texts go to disk in pieces, so that a stop is noticed within one piece.
constexpr qsizetype PieceBytes = qsizetype{8} << 20;

const QRegularExpression& sessionName()
{
    static const QRegularExpression name(QStringLiteral("^session-[0-9]{1,10}-[0-9]{1,16}(-[0-9]{1,3})?$"));
    return name;
}

std::optional<qint64> integer(const QJsonValue& value, qint64 low, qint64 high)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!(d >= static_cast<double>(low) && d <= static_cast<double>(high)))
        return std::nullopt;
    const auto n = static_cast<qint64>(d);
    if (static_cast<double>(n) != d)
        return std::nullopt;
    return n;
}

// Whether a JSON string carries `s` exactly: never an unpaired surrogate, and Qt's JSON drops
// a byte order mark at the start of a string (writing and reading).
bool jsonSafe(QStringView s)
{
    return s.isValidUtf16() && !s.startsWith(QChar(0xFEFF));
}

QJsonValue textValue(const QString& text)
{
    if (jsonSafe(text))
        return text;
    // Any other text goes as its code units.
    QByteArray units(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        units[2 * i] = static_cast<char>(u & 0xFF);
        units[2 * i + 1] = static_cast<char>(u >> 8);
    }
    return QJsonObject{{QStringLiteral("utf16le"), QString::fromLatin1(units.toBase64())}};
}

std::optional<QString> readText(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    if (o.size() != 1 || !o.value(QStringLiteral("utf16le")).isString())
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(o.value(QStringLiteral("utf16le")).toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() % 2 != 0)
        return std::nullopt;
    const QByteArray& units = decoded.decoded;
    QString text(units.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto lo = static_cast<unsigned char>(units[2 * i]);
        const auto hi = static_cast<unsigned char>(units[2 * i + 1]);
        text[i] = QChar(static_cast<char16_t>(lo | (hi << 8)));
    }
    return text;
}

// The generation a file name gives its area: "quan.12.txt" is 12 for "quan"; 0 when it is
// no file of that area.
qint64 fileGeneration(const QString& area, const QString& file)
{
    const QString prefix = area + u'.';
    const QString suffix = QStringLiteral(".txt");
    if (!file.startsWith(prefix) || !file.endsWith(suffix) || file.size() <= prefix.size() + suffix.size())
        return 0;
    const QStringView digits = QStringView(file).sliced(prefix.size(), file.size() - prefix.size() - suffix.size());
    if (digits.size() > 16 || digits.front() == u'0')
        return 0;
    qint64 n = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}

// Makes the folder and those above it that are missing, each readable by the user only.
// 0, or the errno of the step that failed.
int makePath(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    const QByteArray native = QFile::encodeName(clean);
    for (qsizetype at = 1; at <= native.size(); ++at) {
        if (at < native.size() && native[at] != '/')
            continue;
        const QByteArray part = native.first(at);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat st
    {
    };
    if (::stat(native.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::optional<SnapshotManifest> readManifestFile(const QString& folder)
{
    QFile file(folder + u'/' + ManifestName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > LargestManifest)
        return std::nullopt;
    return ReadManifest(file.readAll());
}

// Every file the manifest names is there, with its size.
bool filesComplete(const QString& folder, const SnapshotManifest& manifest)
{
    for (const SnapshotManifest::Area& area : manifest.areas) {
        const QFileInfo info(folder + u'/' + area.file);
        if (!info.isFile() || info.size() != area.bytes)
            return false;
    }
    return true;
}

std::unique_ptr<QLockFile> lockOf(const QString& folder)
{
    auto lock = std::make_unique<QLockFile>(folder + QStringLiteral(".lock"));
    // Age says nothing here: a window holds its lock for hours. Only a lock whose process is
    // gone is stale.
    lock->setStaleLockTime(0);
    return lock;
}

} // namespace

QString SnapshotRoot()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/lumbrel");
}

qint64 SnapshotManifest::textBytes() const
{
    qint64 sum = 0;
    for (const Area& a : areas)
        sum += a.bytes;
    return sum;
}

bool IsSnapshotAreaName(QStringView name)
{
    if (name.isEmpty() || name.size() > 64)
        return false;
    const auto letter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    if (!letter(name.front()))
        return false;
    return std::all_of(
        name.begin(), name.end(), [&](QChar c) { return letter(c) || (c >= u'0' && c <= u'9') || c == u'_'; });
}

QString SnapshotAreaFile(const QString& area, qint64 generation)
{
    return area + u'.' + QString::number(generation) + QStringLiteral(".txt");
}

QByteArray WriteManifest(const SnapshotManifest& manifest)
{
    QJsonObject areas;
    for (auto it = manifest.areas.begin(); it != manifest.areas.end(); ++it) {
        areas.insert(
            it.key(),
            QJsonObject{{QStringLiteral("file"), it->file}, {QStringLiteral("bytes"), static_cast<double>(it->bytes)}});
    }
    // A name JSON cannot carry exactly is no control's.
    QJsonObject texts;
    for (auto it = manifest.controls.texts.begin(); it != manifest.controls.texts.end(); ++it) {
        if (jsonSafe(it.key()))
            texts.insert(it.key(), textValue(it.value()));
    }
    QJsonObject checks;
    for (auto it = manifest.controls.checks.begin(); it != manifest.controls.checks.end(); ++it) {
        if (jsonSafe(it.key()))
            checks.insert(it.key(), it.value());
    }
    const QJsonObject root{
        {QStringLiteral("format"), ManifestFormat},
        {QStringLiteral("time"), static_cast<double>(manifest.time)},
        {QStringLiteral("generation"), static_cast<double>(manifest.generation)},
        {QStringLiteral("areas"), areas},
        {QStringLiteral("texts"), texts},
        {QStringLiteral("checks"), checks},
        {QStringLiteral("tab"), manifest.controls.tab},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<SnapshotManifest> ReadManifest(QByteArrayView json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    if (integer(root.value(QStringLiteral("format")), ManifestFormat, ManifestFormat) != ManifestFormat)
        return std::nullopt;
    SnapshotManifest m;
    const auto time = integer(root.value(QStringLiteral("time")), 0, LargestInteger);
    const auto generation = integer(root.value(QStringLiteral("generation")), 1, LargestInteger);
    const auto tab = integer(root.value(QStringLiteral("tab")), 0, LargestTab);
    const QJsonValue areas = root.value(QStringLiteral("areas"));
    const QJsonValue texts = root.value(QStringLiteral("texts"));
    const QJsonValue checks = root.value(QStringLiteral("checks"));
    if (!time || !generation || !tab || !areas.isObject() || !texts.isObject() || !checks.isObject())
        return std::nullopt;
    m.time = *time;
    m.generation = *generation;
    m.controls.tab = static_cast<int>(*tab);
    const QJsonObject areaObject = areas.toObject();
    for (auto it = areaObject.begin(); it != areaObject.end(); ++it) {
        if (!IsSnapshotAreaName(it.key()) || !it->isObject())
            return std::nullopt;
        const QJsonObject a = it->toObject();
        const QJsonValue file = a.value(QStringLiteral("file"));
        const auto bytes = integer(a.value(QStringLiteral("bytes")), 0, LargestInteger);
        if (a.size() != 2 || !file.isString() || !bytes)
            return std::nullopt;
        // A file of its own area and of this session's past: never a path elsewhere.
        const qint64 g = fileGeneration(it.key(), file.toString());
        if (g < 1 || g > m.generation)
            return std::nullopt;
        m.areas.insert(it.key(), {file.toString(), *bytes});
    }
    const QJsonObject textObject = texts.toObject();
    for (auto it = textObject.begin(); it != textObject.end(); ++it) {
        const std::optional<QString> text = readText(it.value());
        if (!text || !jsonSafe(it.key()))
            return std::nullopt;
        m.controls.texts.insert(it.key(), *text);
    }
    const QJsonObject checkObject = checks.toObject();
    for (auto it = checkObject.begin(); it != checkObject.end(); ++it) {
        if (!it->isBool() || !jsonSafe(it.key()))
            return std::nullopt;
        m.controls.checks.insert(it.key(), it->toBool());
    }
    return m;
}

SnapshotFolder::SnapshotFolder(QString root, WriteFaults faults)
    : m_root(std::move(root))
    , m_faults(std::move(faults))
{
}

SnapshotFolder::~SnapshotFolder() = default;

bool SnapshotFolder::fail(int error)
{
    m_reason = files::WriteError(error);
    return false;
}

bool SnapshotFolder::open()
{
    if (m_lock)
        return true;
    if (const int error = makePath(m_root))
        return fail(error);
    const QByteArray root = QFile::encodeName(m_root);
    if (::access(root.constData(), W_OK | X_OK) != 0)
        return fail(errno);
    const QString base = QStringLiteral("%1/session-%2-%3")
                             .arg(m_root)
                             .arg(QCoreApplication::applicationPid())
                             .arg(QDateTime::currentMSecsSinceEpoch());
    // Two windows of one process may start in the same millisecond, or one may follow another
    // that was let go there.
    for (int n = 1; n <= 100; ++n) {
        const QString folder = n == 1 ? base : base + u'-' + QString::number(n);
        std::unique_ptr<QLockFile> lock = lockOf(folder);
        if (!lock->tryLock(0)) {
            if (lock->error() == QLockFile::LockFailedError)
                continue;
            return fail(lock->error() == QLockFile::PermissionError ? EACCES : EIO);
        }
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
            const int error = errno;
            if (error == EEXIST)
                continue;
            return fail(error);
        }
        // The lock names this process and its host: the user's business only.
        ::chmod(QFile::encodeName(lock->fileName()).constData(), 0600);
        m_lock = std::move(lock);
        m_path = folder;
        return true;
    }
    return fail(EEXIST);
}

bool SnapshotFolder::writeFile(const QString& name, QByteArrayView bytes, const std::atomic<bool>* cancel)
{
    AtomicFile file(m_path + u'/' + name, m_faults);
    if (!file.open()) {
        m_reason = file.errorReason();
        return false;
    }
    for (qsizetype at = 0; at < bytes.size(); at += PieceBytes) {
        if (cancel && cancel->load()) {
            m_reason = QStringLiteral("已停止");
            return false;
        }
        if (!file.write(bytes.sliced(at, std::min(PieceBytes, bytes.size() - at)))) {
            m_reason = file.errorReason();
            return false;
        }
    }
    if ((cancel && cancel->load()) || !file.commit()) {
        m_reason = file.errorReason().isEmpty() ? QStringLiteral("已停止") : file.errorReason();
        return false;
    }
    return true;
}

bool SnapshotFolder::commit(const QMap<QString, QByteArray>& changed,
                            const SnapshotControls& controls,
                            qint64 time,
                            const std::atomic<bool>* cancel)
{
    m_reason.clear();
    if (!open())
        return false;
    SnapshotManifest next = m_committed;
    next.generation = m_committed.generation + 1;
    next.time = time;
    next.controls = controls;
    QStringList written;
    const auto undo = [&] {
        for (const QString& file : std::as_const(written))
            QFile::remove(m_path + u'/' + file);
        return false;
    };
    for (auto it = changed.begin(); it != changed.end(); ++it) {
        Q_ASSERT(IsSnapshotAreaName(it.key()));
        if (!IsSnapshotAreaName(it.key()))
            continue;
        const QString file = SnapshotAreaFile(it.key(), next.generation);
        if (!writeFile(file, it.value(), cancel))
            return undo();
        written << file;
        next.areas.insert(it.key(), {file, it.value().size()});
    }
    // The commit point: before the rename the last snapshot stands, after it this one.
    if (!writeFile(ManifestName, WriteManifest(next), cancel))
        return undo();
    m_committed = std::move(next);
    removeUnnamedFiles();
    return true;
}

void SnapshotFolder::removeUnnamedFiles()
{
    QDir folder(m_path);
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (name == ManifestName)
            continue;
        const bool named = std::any_of(m_committed.areas.begin(),
                                       m_committed.areas.end(),
                                       [&](const SnapshotManifest::Area& a) { return a.file == name; });
        if (!named)
            folder.remove(name);
    }
}

void SnapshotFolder::remove()
{
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
    // The lock goes last: a folder without a held lock would be taken for an orphan.
    m_lock.reset();
    m_path.clear();
    m_committed = {};
}

OrphanSnapshot::OrphanSnapshot(QString folder, std::unique_ptr<QLockFile> lock, SnapshotManifest manifest)
    : m_folder(std::move(folder))
    , m_lock(std::move(lock))
    , m_manifest(std::move(manifest))
{
}

OrphanSnapshot::~OrphanSnapshot() = default;

std::optional<QMap<QString, QByteArray>> OrphanSnapshot::readTexts() const
{
    QMap<QString, QByteArray> texts;
    for (auto it = m_manifest.areas.begin(); it != m_manifest.areas.end(); ++it) {
        QFile file(m_folder + u'/' + it->file);
        if (!file.open(QIODevice::ReadOnly) || file.size() != it->bytes)
            return std::nullopt;
        QByteArray bytes = file.readAll();
        if (bytes.size() != it->bytes ||
            !detail::IsValidUtf8(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size()))
            return std::nullopt;
        texts.insert(it.key(), std::move(bytes));
    }
    return texts;
}

void OrphanSnapshot::remove()
{
    QDir(m_folder).removeRecursively();
    m_lock.reset();
}

OrphanSearch FindOrphanSnapshot(const QString& root)
{
    OrphanSearch search;
    const QDir dir(root);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    std::vector<std::unique_ptr<OrphanSnapshot>> found;
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        const bool isLock = name.endsWith(QStringLiteral(".lock"));
        const QString session = isLock ? name.chopped(5) : name;
        if (!sessionName().match(session).hasMatch())
            continue;
        const QString folder = dir.filePath(session);
        if (isLock) {
            // A lock without its folder: its window died before making it, or after removing it.
            if (!QFileInfo(folder).exists()) {
                std::unique_ptr<QLockFile> lock = lockOf(folder);
                if (lock->tryLock(0))
                    lock.reset();
            }
            continue;
        }
        if (!entry.isDir())
            continue;
        // Taken only when its window is gone, and then held: no other start takes it now.
        std::unique_ptr<QLockFile> lock = lockOf(folder);
        if (!lock->tryLock(0))
            continue;
        if (!QFileInfo::exists(folder + u'/' + ManifestName)) {
            // The window died before its first commit: nothing to give back.
            QDir(folder).removeRecursively();
            continue;
        }
        std::optional<SnapshotManifest> manifest = readManifestFile(folder);
        if (!manifest || !filesComplete(folder, *manifest)) {
            QDir(folder).removeRecursively();
            ++search.damaged;
            continue;
        }
        found.push_back(std::make_unique<OrphanSnapshot>(folder, std::move(lock), std::move(*manifest)));
    }
    const auto newest = std::max_element(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return std::pair(a->manifest().time, a->folder()) < std::pair(b->manifest().time, b->folder());
    });
    if (newest != found.end())
        search.newest = std::move(*newest);
    // The others wait for a later start: their locks are let go as `found` goes.
    return search;
}

} // namespace lumbrel
