// Servers that break the protocol, stall or never finish: each fetch must end by itself with
// a reason, and a failed transfer never reaches quan.
#include "fetch/fetcher.h"
#include "tests/support/fetchwindow.h"
#include "tests/support/loopbackhttpserver.h"

#include <QAtomicInteger>
#include <QDeadlineTimer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <memory>
#include <optional>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace std::chrono_literals;
using Server = LoopbackHttpServer;

namespace {

const QString Keep = QStringLiteral("keep me\r\n");

// The overall limit is short and the transfer time-out far longer than the wait for an
// outcome, so every "超时" below is the overall limit at work, never the idle time-out.
constexpr auto TimeLimit = 600ms;
constexpr auto TransferTimeout = 30000ms;
constexpr int OutcomeWaitMs = 10000;
constexpr qint64 SizeCap = 64 * 1024;
constexpr int MaxRedirects = 4;

FetchLimits hostileLimits()
{
    FetchLimits limits;
    limits.timeLimit = TimeLimit;
    limits.transferTimeout = TransferTimeout;
    limits.sizeCap = SizeCap;
    limits.maxRedirects = MaxRedirects;
    return limits;
}

const QByteArray Ok = "HTTP/1.1 200 OK\r\n";
const QByteArray OkChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";

QByteArray okWithLength(qint64 length)
{
    return Ok + "Content-Length: " + QByteArray::number(length) + "\r\nConnection: close\r\n\r\n";
}

QByteArray gzipHead(qint64 length)
{
    return Ok + "Content-Encoding: gzip\r\nContent-Length: " + QByteArray::number(length) +
           "\r\nConnection: close\r\n\r\n";
}

// Sends a head and then one chunk after another on a thread of its own, so the flood goes on
// while the test's thread is busy. Serves one connection; stops when the client leaves, when
// destroyed, or after ten seconds.
class FloodServer final : public QThread
{
public:
    FloodServer(QByteArray head, QByteArray chunk)
        : m_head(std::move(head))
        , m_chunk(std::move(chunk))
    {
        start();
        m_listening.acquire();
    }
    ~FloodServer() override
    {
        m_stop.storeRelaxed(1);
        wait();
    }
    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_port));
    }
    // Bytes the client's side has taken from us so far.
    qint64 sent() const
    {
        return m_sent.loadRelaxed();
    }

private:
    void run() override
    {
        QTcpServer server;
        if (server.listen(QHostAddress::LocalHost))
            m_port = server.serverPort();
        m_listening.release();
        if (!server.waitForNewConnection(5000))
            return;
        const std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        QByteArray request;
        while (!request.contains("\r\n\r\n") && socket->waitForReadyRead(5000))
            request += socket->readAll();
        socket->write(m_head);
        qint64 written = 0;
        const QDeadlineTimer deadline(10000);
        while (!m_stop.loadRelaxed() && !deadline.hasExpired() && socket->state() == QAbstractSocket::ConnectedState) {
            while (socket->bytesToWrite() < 16 * m_chunk.size()) {
                socket->write(m_chunk);
                written += m_chunk.size();
            }
            socket->waitForBytesWritten(50);
            m_sent.storeRelaxed(written - socket->bytesToWrite());
        }
    }

    const QByteArray m_head;
    const QByteArray m_chunk;
    QSemaphore m_listening;
    quint16 m_port = 0;
    QAtomicInteger<qint64> m_sent = 0;
    QAtomicInt m_stop = 0;
};

} // namespace

class TestHostileServers final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void failureLeavesQuan_data();
    void failureLeavesQuan();
    void bodyLongerThanAnnouncedIsCutToTheAnnouncedLength();
    void redirectLoopEndsAfterTheRedirectLimit();
    void serverClosingAtAcceptCannotConnect();

    void bodyFasterThanTheWindowIsHeldBack();
    void compressedBodyIsInflated_data();
    void compressedBodyIsInflated();
    void brokenBodyYieldsNoBytes_data();
    void brokenBodyYieldsNoBytes();

private:
    std::optional<FetchResult> get(const QString& path);

    Server m_server;
};

void TestHostileServers::initTestCase()
{
    const QByteArray page(4000, 'p');
    const QByteArray zipped = Server::gzip(page);

    m_server.route("/headers-slow", Server::rawDrip(Ok, "X-Filler: 0123456789\r\n", 100));
    // Qt reads a head byte by byte on its network thread and looks at an abort only once no
    // byte is waiting, so an endless flood would keep that thread busy after the fetch has
    // ended (and the window waiting for it as the fetch is cleaned up); 256 KiB is a flood to
    // the fetch and keeps the suite quick.
    Server::Response headerFlood =
        Server::rawDrip(Ok, QByteArray("X-Filler: " + QByteArray(1000, 'f') + "\r\n").repeated(16), 0);
    headerFlood.dripChunks = 16;
    m_server.route("/headers-fast", headerFlood);
    m_server.route("/chunked-slow", Server::rawDrip(OkChunked, "10\r\n0123456789abcdef\r\n", 50));
    m_server.route("/chunked-fast", Server::rawDrip(OkChunked, "4000\r\n" + QByteArray(16 * 1024, 'c') + "\r\n", 0));
    m_server.route("/close-delimited-fast", Server::drip(QByteArray(16 * 1024, 'x'), 0));
    m_server.route("/slowloris", Server::rawDrip(okWithLength(1000), "x", 100));
    m_server.route("/slowloris-close-delimited", Server::drip("x", 100));

    m_server.route("/loop", Server::redirect("/loop"));
    m_server.route("/to-ftp", Server::redirect("ftp://127.0.0.1/page"));
    m_server.route("/to-file", Server::redirect("file:///etc/hostname"));
    m_server.route("/to-javascript", Server::redirect("javascript:alert(1)"));
    m_server.route("/to-data", Server::redirect("data:text/html,hello"));

    m_server.route("/length-short", Server::raw(okWithLength(100), "only part of it"));
    m_server.route("/length-long", Server::raw(okWithLength(5), "hello and then some"));
    m_server.route("/cut-mid-chunk", Server::raw(OkChunked, "10\r\n01234567"));
    m_server.route("/cut-between-chunks", Server::raw(OkChunked, "5\r\nhello\r\n"));

    m_server.route("/gzip-garbage", Server::raw(gzipHead(20), "this is not gzip....."));
    const QByteArray noTrailer = zipped.left(zipped.size() - 8);
    m_server.route("/gzip-no-trailer", Server::raw(gzipHead(noTrailer.size()), noTrailer));
    const QByteArray halfStream = zipped.left(zipped.size() / 2);
    m_server.route("/gzip-half", Server::raw(gzipHead(halfStream.size()), halfStream));
    // Without a length the close looks like the end; only the stream itself shows the cut.
    m_server.route("/gzip-half-close-delimited",
                   Server::raw(Ok + "Content-Encoding: gzip\r\nConnection: close\r\n\r\n", halfStream));

    m_server.route("/not-http", Server::raw("SSH-2.0-OpenSSH_9.2\r\n"));
    m_server.route("/garbage-head", Server::raw("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", "body"));
    m_server.route("/status-not-a-number", Server::raw("HTTP/1.1 OK 200\r\nContent-Length: 4\r\n\r\n", "body"));
    m_server.route("/nothing", Server::raw({}));
}

void TestHostileServers::failureLeavesQuan_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("status");
    const QString timeout = QStringLiteral("读取失败：超时");
    const QString tooLarge = QStringLiteral("读取失败：页面过大");
    const QString unsupported = QStringLiteral("读取失败：不支持的网址");
    const QString broken = QStringLiteral("读取失败：无法连接");

    const auto row = [](const char* name, const char* path, const QString& status) {
        QTest::newRow(name) << QString::fromLatin1(path) << status;
    };
    row("header lines that never end, slowly, stop at the time limit", "/headers-slow", timeout);
    row("header lines that never end, quickly, stop at the time limit", "/headers-fast", timeout);
    row("chunked body that never ends, slowly, stops at the time limit", "/chunked-slow", timeout);
    row("chunked body that never ends, quickly, stops at the cap", "/chunked-fast", tooLarge);
    row("close-delimited body that never ends, quickly, stops at the cap", "/close-delimited-fast", tooLarge);
    row("one byte every 100 ms of an announced body stops at the time limit", "/slowloris", timeout);
    row("one byte every 100 ms of a close-delimited body stops at the time limit",
        "/slowloris-close-delimited",
        timeout);

    row("redirect to ftp is refused", "/to-ftp", unsupported);
    row("redirect to file is refused", "/to-file", unsupported);
    row("redirect to javascript is refused", "/to-javascript", unsupported);
    row("redirect to data is refused", "/to-data", unsupported);

    row("close mid-body, short of the Content-Length, is a failure", "/length-short", broken);
    row("close in the middle of a chunk is a failure", "/cut-mid-chunk", broken);
    row("close before the last chunk is a failure", "/cut-between-chunks", broken);

    row("gzip body that is no gzip is a failure", "/gzip-garbage", broken);
    row("gzip body without its trailer is a failure", "/gzip-no-trailer", broken);
    row("gzip body cut in the middle is a failure", "/gzip-half", broken);
    row("close in the middle of a close-delimited gzip body is a failure", "/gzip-half-close-delimited", broken);

    row("status line of another protocol cannot connect", "/not-http", broken);
    row("binary head cannot connect", "/garbage-head", broken);
    row("status line without a number cannot connect", "/status-not-a-number", broken);
    row("close without a byte of answer cannot connect", "/nothing", broken);
}

void TestHostileServers::failureLeavesQuan()
{
    QFETCH(QString, path);
    QFETCH(QString, status);
    FetchWindow w(hostileLimits(), Keep);
    w.fetch(m_server.url(path));
    QTRY_COMPARE_WITH_TIMEOUT(w.status(), status, OutcomeWaitMs);
    QCOMPARE(w.quan(), Keep);
}

void TestHostileServers::bodyLongerThanAnnouncedIsCutToTheAnnouncedLength()
{
    // The announced length is met; what follows it is no part of this response.
    FetchWindow w(hostileLimits(), Keep);
    w.fetch(m_server.url(QStringLiteral("/length-long")));
    QTRY_COMPARE_WITH_TIMEOUT(w.status(), QStringLiteral("读取完毕"), OutcomeWaitMs);
    QCOMPARE(w.quan(), QStringLiteral("hello"));
}

void TestHostileServers::redirectLoopEndsAfterTheRedirectLimit()
{
    FetchWindow w(hostileLimits(), Keep);
    const qsizetype before = m_server.requests().size();
    w.fetch(m_server.url(QStringLiteral("/loop")));
    // The last answer was a redirect; its status is the reason.
    QTRY_COMPARE_WITH_TIMEOUT(w.status(), QStringLiteral("读取失败：HTTP 301"), OutcomeWaitMs);
    QCOMPARE(w.quan(), Keep);
    QCOMPARE(m_server.requests().size() - before, MaxRedirects + 1);
}

void TestHostileServers::serverClosingAtAcceptCannotConnect()
{
    Server closing;
    closing.setHangUpOnAccept(true);
    FetchWindow w(hostileLimits(), Keep);
    w.fetch(closing.url(QStringLiteral("/")));
    QTRY_COMPARE_WITH_TIMEOUT(w.status(), QStringLiteral("读取失败：无法连接"), OutcomeWaitMs);
    QCOMPARE(w.quan(), Keep);
    // The client may try again once, not without end.
    QVERIFY2(closing.accepted() <= 3, qPrintable(QString::number(closing.accepted())));
}

std::optional<FetchResult> TestHostileServers::get(const QString& path)
{
    std::optional<FetchResult> result;
    QObject context;
    HttpGetBytes(FetchRequest().setUrl(QUrl(m_server.url(path))).setLimits(hostileLimits()),
                 &context,
                 [&result](const FetchResult& r) { result = r; });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, OutcomeWaitMs))
        return std::nullopt;
    return result;
}

void TestHostileServers::bodyFasterThanTheWindowIsHeldBack()
{
    // Stands for a command that runs long while the fetch waits: all the while nothing takes
    // the body, and Qt must not read it into memory on its own thread meanwhile.
    const int busyMs = 1500;
    // Beyond the read-ahead and what the two sockets' kernel buffers hold between them.
    const qint64 heldBack = 12 * 1024 * 1024;

    FloodServer flood("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", QByteArray(64 * 1024, 'f'));
    std::optional<FetchResult> result;
    QObject context;
    HttpGetBytes(FetchRequest().setUrl(flood.url()).setLimits(hostileLimits()).setTimeLimit(20000ms),
                 &context,
                 [&result](const FetchResult& r) { result = r; });
    QVERIFY(QTest::qWaitFor([&flood] { return flood.sent() > 0; }, OutcomeWaitMs));
    QThread::msleep(busyMs);
    QVERIFY(QTest::qWaitFor([&result] { return result.has_value(); }, OutcomeWaitMs));
    QCOMPARE(result->failureReason(), QStringLiteral("页面过大"));
    QVERIFY2(flood.sent() < heldBack, qPrintable(QString::number(flood.sent())));
}

void TestHostileServers::compressedBodyIsInflated_data()
{
    QTest::addColumn<QByteArray>("coding");
    QTest::addColumn<QByteArray>("wire");
    const QByteArray page = "<p>" + QByteArray(3000, 'p') + "</p>";
    const QByteArray zlib = qCompress(page).mid(4); // qCompress puts the length first
    const QByteArray deflate = zlib.mid(2, zlib.size() - 6);
    const QByteArray half = page.left(1500);
    QTest::newRow("gzip") << QByteArray("gzip") << Server::gzip(page);
    QTest::newRow("x-gzip") << QByteArray("x-gzip") << Server::gzip(page);
    QTest::newRow("two gzip members make one page")
        << QByteArray("gzip") << Server::gzip(half) + Server::gzip(page.mid(1500));
    QTest::newRow("bytes after the gzip end are ignored") << QByteArray("gzip") << Server::gzip(page) + "junk";
    QTest::newRow("deflate with its zlib header") << QByteArray("deflate") << zlib;
    QTest::newRow("deflate without a header") << QByteArray("deflate") << deflate;
    QTest::newRow("unknown coding passes through") << QByteArray("sdch") << page;
}

void TestHostileServers::compressedBodyIsInflated()
{
    QFETCH(QByteArray, coding);
    QFETCH(QByteArray, wire);
    const QByteArray page = "<p>" + QByteArray(3000, 'p') + "</p>";
    m_server.route("/compressed", Server::page(wire).header("Content-Encoding", coding));
    const auto result = get(QStringLiteral("/compressed"));
    QVERIFY(result);
    QVERIFY2(result->ok(), qPrintable(result->failureReason()));
    QCOMPARE(result->body, page);
}

void TestHostileServers::brokenBodyYieldsNoBytes_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("short of its Content-Length") << QStringLiteral("/length-short");
    QTest::newRow("cut mid-chunk") << QStringLiteral("/cut-mid-chunk");
    QTest::newRow("truncated gzip") << QStringLiteral("/gzip-half");
    QTest::newRow("truncated close-delimited gzip") << QStringLiteral("/gzip-half-close-delimited");
    QTest::newRow("still arriving at the time limit") << QStringLiteral("/slowloris");
}

void TestHostileServers::brokenBodyYieldsNoBytes()
{
    QFETCH(QString, path);
    const auto result = get(path);
    QVERIFY(result);
    QVERIFY(!result->ok());
    QVERIFY(result->body.isEmpty());
}

QTEST_MAIN(TestHostileServers)
#include "testhostileservers.moc"
