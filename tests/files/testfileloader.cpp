// The loader end to end on real files: pieces and results, the bounded queue, files that change
// while they are read, cancelling and deleting it in the middle.
#include "files/filedecoder.h"
#include "files/fileloader.h"
#include "tests/files/filetesthelpers.h"

#include <QDateTime>
#include <QEventLoop>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lumbrel;
using namespace lumbrel::testing;

Q_DECLARE_METATYPE(lumbrel::LoadResult)

namespace {

// Takes every piece as it is announced, as the window does.
struct Collector
{
    explicit Collector(FileLoader& loader)
    {
        QObject::connect(&loader, &FileLoader::detected, &loader, [this](TextEncoding e, qint64 bytes) {
            QVERIFY(pieces.isEmpty());
            detected = e;
            estimate = bytes;
        });
        QObject::connect(&loader, &FileLoader::piecesReady, &loader, [this, &loader] {
            QVERIFY(detected.has_value());
            const QByteArray piece = loader.takePiece();
            QVERIFY(!piece.isEmpty());
            pieces.append(piece);
        });
        QObject::connect(&loader, &FileLoader::finished, &loader, [this](const LoadResult& r) {
            result = r;
            done = true;
            loop.quit();
        });
        QObject::connect(&loader, &FileLoader::failed, &loader, [this](const QString& reason) {
            failure = reason;
            done = true;
            loop.quit();
        });
        QObject::connect(&loader, &FileLoader::progress, &loader, [this](qint64 d, qint64 t) {
            progressDone = d;
            progressTotal = t;
        });
    }
    // Runs the event loop until the load ends (QTRY's polling would sleep between pieces).
    bool wait()
    {
        if (!done) {
            QTimer::singleShot(20000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return done;
    }
    QByteArray text() const
    {
        return pieces.join();
    }
    QEventLoop loop;
    std::optional<TextEncoding> detected;
    qint64 estimate = -1;
    QByteArrayList pieces;
    LoadResult result;
    QString failure;
    bool done = false;
    qint64 progressDone = -1;
    qint64 progressTotal = -1;
};

QByteArray keywordList(int lines, const char* charset)
{
    QString text;
    for (int k = 0; k < lines; ++k)
        text += QStringLiteral("手机壳 %1 价格\n").arg(k);
    QStringEncoder encoder(charset);
    return encoder.encode(text);
}

} // namespace

class TestFileLoader final : public QObject
{
    Q_OBJECT

private slots:
    void loadsInPieces_data();
    void loadsInPieces();
    void forcedEncodingIsUsed();
    void refusalFails();
    void nulInHeadNeedsConsent();
    void readerWaitsForTheWindow();
    void fileThatChangesWhileReadFails_data();
    void fileThatChangesWhileReadFails();
    void cancelStopsEverySignal();
    void deletingMidLoadIsSafe();
};

void TestFileLoader::loadsInPieces_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format");
    QTest::newRow("UTF-8") << keywordList(3000, "UTF-8") << QStringLiteral("UTF-8");
    QTest::newRow("GB18030") << keywordList(3000, "GB18030") << QStringLiteral("GB18030");
    QTest::newRow("UTF-16 LE with BOM") << QByteArray("\xFF\xFE") + keywordList(3000, "UTF-16LE")
                                        << QStringLiteral("UTF-16 LE BOM");
    QTest::newRow("UTF-16 LE without BOM: its zero bytes are no NUL characters")
        << keywordList(3000, "UTF-16LE") << QStringLiteral("UTF-16 LE");
    QTest::newRow("an ASCII file with one GBK line at its end")
        << QByteArray(200000, 'a') + "\n" + keywordList(1, "GB18030") << QStringLiteral("GB18030");
    QTest::newRow("an empty file") << QByteArray() << QStringLiteral("UTF-8");
}

void TestFileLoader::loadsInPieces()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeBytes(path, bytes));
    FileLoader loader;
    Collector got(loader);
    LoadOptions options;
    options.pieceBytes = 1000; // many pieces, cut anywhere
    loader.start(path, options);
    QVERIFY(got.wait());
    QCOMPARE(got.failure, QString());
    QCOMPARE(FormatName(got.result.format), format);
    const DecodedText expected = DecodeAll(bytes, got.result.format.encoding);
    QCOMPARE(got.text(), expected.text);
    QCOMPARE(got.result.counts.lines, expected.counts.lines);
    QCOMPARE(got.result.format.ending, DominantEnding(expected.counts));
    QCOMPARE(got.result.fileBytes, bytes.size());
    QCOMPARE(got.result.textBytes, expected.text.size());
    QCOMPARE(got.progressDone, got.progressTotal);
    QCOMPARE(got.detected, got.result.format.encoding);
    // The estimate is room enough for text with CR LF breaks.
    QVERIFY(got.estimate >= expected.text.size() - expected.counts.lf - expected.counts.cr);
    QVERIFY(!loader.isLoading());
}

void TestFileLoader::forcedEncodingIsUsed()
{
    // Re-open as: GBK bytes read as UTF-8 on request, every bad byte counted.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gbk.txt"));
    const QByteArray bytes = keywordList(10, "GB18030");
    QVERIFY(writeBytes(path, bytes));
    FileLoader loader;
    Collector got(loader);
    LoadOptions options;
    options.encoding = TextEncoding::Utf8;
    loader.start(path, options);
    QVERIFY(got.wait());
    QCOMPARE(got.result.format.encoding, TextEncoding::Utf8);
    QCOMPARE(got.result.counts.undecodable, DecodeAll(bytes, TextEncoding::Utf8).counts.undecodable);
    QVERIFY(got.result.counts.undecodable > 0);
}

void TestFileLoader::refusalFails()
{
    QTemporaryDir dir;
    FileLoader loader;
    Collector got(loader);
    loader.start(dir.path());
    QVERIFY(got.wait());
    QVERIFY(got.failure.startsWith(QStringLiteral("不是文件：")));
    QVERIFY(got.pieces.isEmpty());

    got.done = false;
    LoadOptions tight;
    tight.availableBytes = 100;
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    QVERIFY(writeBytes(path, QByteArray(1000, 'a')));
    loader.start(path, tight);
    QVERIFY(got.wait());
    QVERIFY(got.failure.startsWith(QStringLiteral("文件太大：")));
}

void TestFileLoader::nulInHeadNeedsConsent()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("binary.bin"));
    QVERIFY(writeBytes(path, QByteArray("ab\0cd\n", 6)));
    FileLoader loader;
    Collector got(loader);
    loader.start(path);
    QVERIFY(got.wait());
    QCOMPARE(got.failure, QStringLiteral("文件开头有 NUL 字符，可能不是文本：binary.bin"));

    got.done = false;
    got.failure.clear();
    LoadOptions consent;
    consent.acceptNul = true;
    loader.start(path, consent);
    QVERIFY(got.wait());
    QCOMPARE(got.failure, QString());
    QCOMPARE(got.text(), QByteArray("ab\0cd\r\n", 7));
}

void TestFileLoader::readerWaitsForTheWindow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeBytes(path, QByteArray(10000, 'a')));
    FileLoader loader;
    QSignalSpy ready(&loader, &FileLoader::piecesReady);
    QSignalSpy finished(&loader, &FileLoader::finished);
    LoadOptions options;
    options.pieceBytes = 1000;
    options.piecesInFlight = 2;
    loader.start(path, options);
    QTRY_COMPARE(ready.count(), 2);
    // Nobody takes a piece: the reader makes no third.
    QTest::qWait(100);
    QCOMPARE(ready.count(), 2);
    QByteArray text;
    while (finished.isEmpty()) {
        const QByteArray piece = loader.takePiece();
        text += piece;
        if (piece.isEmpty())
            QTest::qWait(5);
    }
    QCOMPARE(text, QByteArray(10000, 'a'));
    QCOMPARE(ready.count(), 10);
}

void TestFileLoader::fileThatChangesWhileReadFails_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("failure");
    QTest::newRow("grows") << QStringLiteral("grow") << QStringLiteral("文件在读取时变大了：list.txt");
    QTest::newRow("shrinks") << QStringLiteral("shrink") << QStringLiteral("文件在读取时变小了：list.txt");
    QTest::newRow("is deleted") << QStringLiteral("delete") << QStringLiteral("文件在读取时被删除或替换了：list.txt");
    QTest::newRow("is replaced") << QStringLiteral("replace") << QStringLiteral("文件在读取时被删除或替换了：list.txt");
    QTest::newRow("is written to at the same size")
        << QStringLiteral("rewrite") << QStringLiteral("文件在读取时被改写了：list.txt");
}

void TestFileLoader::fileThatChangesWhileReadFails()
{
    QFETCH(QString, change);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeBytes(path, QByteArray(10000, 'a')));
    FileLoader loader;
    QSignalSpy ready(&loader, &FileLoader::piecesReady);
    Collector got(loader);
    QObject::disconnect(&loader, &FileLoader::piecesReady, &loader, nullptr);
    LoadOptions options;
    options.pieceBytes = 1000;
    options.piecesInFlight = 1;
    loader.start(path, options);
    // The reader waits with the first piece queued: the file changes under it.
    QTRY_COMPARE(ready.count(), 1);
    if (change == QStringLiteral("grow")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("more");
    } else if (change == QStringLiteral("shrink")) {
        QVERIFY(QFile::resize(path, 5000));
    } else if (change == QStringLiteral("rewrite")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(9000));
        file.write("b");
        // A time stamp a little later than the one the loader saw, on any file system.
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    } else if (change == QStringLiteral("delete")) {
        QVERIFY(QFile::remove(path));
    } else {
        const QString other = dir.filePath(QStringLiteral("other.txt"));
        QVERIFY(writeBytes(other, QByteArray(10000, 'a')));
        QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
    }
    while (!got.done) {
        loader.takePiece();
        QTest::qWait(5);
    }
    QCOMPARE(got.failure, failure);
    QVERIFY(!loader.isLoading());
}

void TestFileLoader::cancelStopsEverySignal()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeBytes(path, QByteArray(100000, 'a')));
    FileLoader loader;
    QSignalSpy ready(&loader, &FileLoader::piecesReady);
    QSignalSpy progress(&loader, &FileLoader::progress);
    QSignalSpy finished(&loader, &FileLoader::finished);
    QSignalSpy failed(&loader, &FileLoader::failed);
    LoadOptions options;
    options.pieceBytes = 1000;
    options.piecesInFlight = 1;
    loader.start(path, options);
    QTRY_COMPARE(ready.count(), 1);
    QVERIFY(!loader.takePiece().isEmpty());
    loader.cancel();
    const qsizetype readySoFar = ready.count();
    const qsizetype progressSoFar = progress.count();
    QVERIFY(!loader.isLoading());
    QVERIFY(loader.takePiece().isEmpty());
    QTest::qWait(50);
    QCOMPARE(ready.count(), readySoFar);
    QCOMPARE(progress.count(), progressSoFar);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(failed.count(), 0);

    // The loader is good for the next file.
    Collector got(loader);
    loader.start(path);
    QVERIFY(got.wait());
    QCOMPARE(got.text(), QByteArray(100000, 'a'));
}

void TestFileLoader::deletingMidLoadIsSafe()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    QVERIFY(writeBytes(path, QByteArray(100000, 'a')));
    for (int waitFor = 0; waitFor < 3; ++waitFor) {
        auto* loader = new FileLoader;
        QSignalSpy ready(loader, &FileLoader::piecesReady);
        LoadOptions options;
        options.pieceBytes = 1000;
        options.piecesInFlight = 1;
        loader->start(path, options);
        // Deleted while the reader is blocked on a full queue, or before it got there.
        if (waitFor > 0)
            QTRY_VERIFY(ready.count() >= 1);
        delete loader;
        QTest::qWait(20);
    }
}

QTEST_GUILESS_MAIN(TestFileLoader)
#include "testfileloader.moc"
