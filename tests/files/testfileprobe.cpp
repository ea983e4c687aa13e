// The look at a file before it is read: every kind of path that is not a readable text file is
// refused with its message, at once, and a NUL near the start is flagged.
#include "files/fileprobe.h"
#include "tests/files/filetesthelpers.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace lumbrel;
using namespace lumbrel::testing;

class TestFileProbe final : public QObject
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void nulInHead_data();
    void nulInHead();
    void unreadableFileIsRefused();
    void availableMemoryIsKnown();
};

void TestFileProbe::refusals_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("available");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("a readable file is read") << QStringLiteral("file") << qint64{-1} << QString();
    QTest::newRow("a folder is not a file")
        << QStringLiteral("folder") << qint64{-1} << QStringLiteral("不是文件：probe（是文件夹）");
    // Opening a FIFO for reading waits for a writer: it must be refused from its type.
    QTest::newRow("a FIFO is refused at once")
        << QStringLiteral("fifo") << qint64{-1} << QStringLiteral("不是普通文件：probe（管道、设备等）");
    QTest::newRow("a device is refused") << QStringLiteral("/dev/zero") << qint64{-1}
                                         << QStringLiteral("不是普通文件：zero（管道、设备等）");
    QTest::newRow("a vanished path") << QStringLiteral("missing") << qint64{-1} << QStringLiteral("找不到文件：probe");
    QTest::newRow("over a quarter of the free memory")
        << QStringLiteral("file") << qint64{4 * (1 << 20) - 4}
        << QStringLiteral("文件太大：1 MB，可用内存 3 MB（最多可打开可用内存的四分之一）");
    QTest::newRow("exactly a quarter of the free memory")
        << QStringLiteral("file") << qint64{4 * (1 << 20)} << QString();
}

void TestFileProbe::refusals()
{
    QFETCH(QString, kind);
    QFETCH(qint64, available);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("probe"));
    if (kind == QStringLiteral("file"))
        QVERIFY(writeBytes(path, QByteArray(1 << 20, 'a')));
    else if (kind == QStringLiteral("folder"))
        QVERIFY(QDir().mkdir(path));
    else if (kind == QStringLiteral("fifo"))
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    else if (kind.startsWith(u'/'))
        path = kind;
    const ProbeResult result = ProbeFile(path, available);
    QCOMPARE(result.refusal, refusal);
    if (refusal.isEmpty())
        QCOMPARE(result.size, qint64{1 << 20});
}

void TestFileProbe::nulInHead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("nul");
    QTest::newRow("text has no NUL") << QByteArray("plain\r\ntext") << false;
    QTest::newRow("a NUL byte near the start") << QByteArray("ab\0cd", 5) << true;
    QTest::newRow("a NUL byte after the first 64 KiB is not looked for")
        << QByteArray(64 * 1024, 'a') + QByteArray(1, '\0') << false;
    QTest::newRow("UTF-16 with a BOM holds zero bytes, not NUL characters") << QByteArray("\xFF\xFEh\0i\0", 6) << false;
    QTest::newRow("a NUL character in UTF-16") << QByteArray("\xFE\xFF\0h\0\0", 6) << true;
    const QString chinese = QStringLiteral("手机壳 case\r\n笔记本电脑 price\r\n");
    QTest::newRow("UTF-16 without a BOM holds zero bytes, not NUL characters")
        << QByteArray(reinterpret_cast<const char*>(chinese.utf16()), chinese.size() * 2) << false;
    QTest::newRow("an empty file") << QByteArray() << false;
}

void TestFileProbe::nulInHead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, nul);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("head"));
    QVERIFY(writeBytes(path, bytes));
    const ProbeResult result = ProbeFile(path, -1);
    QVERIFY(result.refusal.isEmpty());
    QCOMPARE(result.nulInHead, nul);
    QCOMPARE(result.size, bytes.size());
}

void TestFileProbe::unreadableFileIsRefused()
{
    // As root (CI) every file is readable: the look runs in a child without root's powers.
    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString path = dir.filePath(QStringLiteral("secret.txt"));
    QVERIFY(writeBytes(path, "secret"));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
    const int status = runUnprivileged(
        [&] { return ProbeFile(path, -1).refusal == QStringLiteral("没有权限读取：secret.txt") ? 0 : 1; });
    QCOMPARE(status, 0);
}

void TestFileProbe::availableMemoryIsKnown()
{
    QVERIFY(AvailableMemoryBytes() > 0);
}

QTEST_APPLESS_MAIN(TestFileProbe)
#include "testfileprobe.moc"
