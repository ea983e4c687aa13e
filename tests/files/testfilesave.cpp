// Saving: the bytes written, the refusal before writing, and that every failure leaves the old
// file as it was with no temporary file behind.
#include "files/filemessages.h"
#include "files/filesaver.h"
#include "tests/files/filetesthelpers.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace lumbrel;
using namespace lumbrel::testing;

Q_DECLARE_METATYPE(lumbrel::WriteFaults)

namespace {

const QByteArray OldBytes = "old text\nkept\n";

mode_t modeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

class TestFileSave final : public QObject
{
    Q_OBJECT

private slots:
    void writesTheFormatInChunks();
    void refusalNamesTheLineAndWritesNothing();
    void failureLeavesTheOldFile_data();
    void failureLeavesTheOldFile();
    void readOnlyFolderLeavesTheOldFile();
    void missingFolderFails();
    void folderAsTargetFails();
    void newFileIsTheOwnersOnly();
    void replacedFileKeepsItsPermissions();
    void linkIsFollowed();
    void cancelLeavesTheOldFile();
};

void TestFileSave::writesTheFormatInChunks()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeBytes(path, OldBytes));
    const QByteArray text = QStringLiteral("手机壳\r\n价格\r\n\r\nend").toUtf8();
    SaveOptions options;
    options.chunkBytes = 3; // cuts characters and CR LF pairs
    qint64 lastDone = -1;
    options.progress = [&](qint64 done, qint64 total) {
        QCOMPARE(total, text.size());
        QVERIFY(done > lastDone);
        lastDone = done;
    };
    const SaveResult result = SaveText(path, text, {TextEncoding::Gb18030, false, LineEnding::Lf}, options);
    QCOMPARE(result.status, SaveResult::Status::Saved);
    QCOMPARE(lastDone, text.size());
    const QByteArray expected =
        *EncodeAll(QByteArray("\xE6\x89\x8B\xE6\x9C\xBA\xE5\xA3\xB3\n\xE4\xBB\xB7\xE6\xA0\xBC\n\nend"),
                   {TextEncoding::Gb18030, false, LineEnding::Lf});
    QCOMPARE(readBytes(path), expected);
    QCOMPARE(result.bytes, expected.size());
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("list.txt")});

    QCOMPARE(SaveText(path, "a\r\nb", {TextEncoding::Utf16LE, true, LineEnding::CrLf}).status,
             SaveResult::Status::Saved);
    QCOMPARE(readBytes(path),
             QByteArray("\xFF\xFE"
                        "a\0\r\0\n\0b\0",
                        10));
}

void TestFileSave::refusalNamesTheLineAndWritesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big5.txt"));
    QVERIFY(writeBytes(path, OldBytes));
    const QByteArray text = QStringLiteral("臺灣\r\n\r\n中国手机\r\n").toUtf8();
    const SaveResult result = SaveText(path, text, {TextEncoding::Big5, false, LineEnding::CrLf});
    QCOMPARE(result.status, SaveResult::Status::Refused);
    QCOMPARE(result.reason, QStringLiteral("第3行的“国”无法用Big5保存"));
    QCOMPARE(result.unencodable->line, 3);
    QCOMPARE(readBytes(path), OldBytes);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("big5.txt")});
}

void TestFileSave::failureLeavesTheOldFile_data()
{
    QTest::addColumn<WriteFaults>("faults");
    QTest::addColumn<QString>("reason");
    WriteFaults full;
    full.failAfterBytes = 5000; // in the middle of the second chunk
    QTest::newRow("a disk that fills up") << full << QStringLiteral("磁盘空间不足");
    WriteFaults fullAtOnce;
    fullAtOnce.failAfterBytes = 0;
    QTest::newRow("a disk that is full") << fullAtOnce << QStringLiteral("磁盘空间不足");
    WriteFaults sync;
    sync.failSync = true;
    sync.error = EIO;
    QTest::newRow("fsync fails") << sync << QStringLiteral("读写出错");
    WriteFaults rename;
    rename.failRename = true;
    rename.error = EACCES;
    QTest::newRow("the rename fails") << rename << QStringLiteral("没有权限");
}

void TestFileSave::failureLeavesTheOldFile()
{
    QFETCH(WriteFaults, faults);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeBytes(path, OldBytes));
    SaveOptions options;
    options.faults = faults;
    options.chunkBytes = 4096;
    const QByteArray text(20000, 'x');
    const SaveResult result = SaveText(path, text, {}, options);
    QCOMPARE(result.status, SaveResult::Status::Failed);
    QCOMPARE(result.reason, reason);
    QCOMPARE(readBytes(path), OldBytes);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("list.txt")});
}

void TestFileSave::readOnlyFolderLeavesTheOldFile()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/list.txt");
    QVERIFY(writeBytes(path, OldBytes));
    // The child may enter the folders but write in none of them.
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    const int status = runUnprivileged([&] {
        const SaveResult result = SaveText(path, "new text", {});
        return result.status == SaveResult::Status::Failed && result.reason == QStringLiteral("没有权限") ? 0 : 1;
    });
    QCOMPARE(status, 0);
    QCOMPARE(readBytes(path), OldBytes);
    QCOMPARE(entries(folder), QStringList{QStringLiteral("list.txt")});
    ::chmod(QFile::encodeName(folder).constData(), 0755);
}

void TestFileSave::missingFolderFails()
{
    QTemporaryDir dir;
    const SaveResult result = SaveText(dir.filePath(QStringLiteral("gone/list.txt")), "x", {});
    QCOMPARE(result.status, SaveResult::Status::Failed);
    QCOMPARE(result.reason, QStringLiteral("文件夹不存在"));
}

void TestFileSave::folderAsTargetFails()
{
    QTemporaryDir dir;
    const SaveResult result = SaveText(dir.path(), "x", {});
    QCOMPARE(result.status, SaveResult::Status::Failed);
    QCOMPARE(result.reason, QStringLiteral("目标是文件夹"));
}

void TestFileSave::newFileIsTheOwnersOnly()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.txt"));
    QCOMPARE(SaveText(path, "x", {}).status, SaveResult::Status::Saved);
    QCOMPARE(modeOf(path), mode_t{0600});
}

void TestFileSave::replacedFileKeepsItsPermissions()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shared.txt"));
    QVERIFY(writeBytes(path, OldBytes));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0664) == 0);
    QCOMPARE(SaveText(path, "x", {}).status, SaveResult::Status::Saved);
    QCOMPARE(modeOf(path), mode_t{0664});
    QCOMPARE(readBytes(path), QByteArray("x"));
}

void TestFileSave::linkIsFollowed()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.txt"));
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    QVERIFY(writeBytes(target, OldBytes));
    QVERIFY(QFile::link(target, link));
    QCOMPARE(SaveText(link, "new", {}).status, SaveResult::Status::Saved);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readBytes(target), QByteArray("new"));
}

void TestFileSave::cancelLeavesTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeBytes(path, OldBytes));
    std::atomic<bool> cancel = false;
    SaveOptions options;
    options.cancel = &cancel;
    options.chunkBytes = 100;
    options.progress = [&](qint64 done, qint64) {
        if (done >= 300)
            cancel = true;
    };
    const SaveResult result = SaveText(path, QByteArray(1000, 'y'), {}, options);
    QCOMPARE(result.status, SaveResult::Status::Cancelled);
    QCOMPARE(readBytes(path), OldBytes);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("list.txt")});
}

QTEST_APPLESS_MAIN(TestFileSave)
#include "testfilesave.moc"
