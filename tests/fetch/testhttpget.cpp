// Servers that answer, break the protocol, stall or never finish: each fetch ends by itself,
// with the page or with a reason and no bytes.
#include "fetch/fetcher.h"
#include "tests/support/loopbackhttpserver.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <atomic>
#include <memory>
#include <optional>
#include <zlib.h>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace std::chrono_literals;

namespace {

// The idle time-out is far longer than the wait for an outcome, so a "超时" is the overall
// limit at work unless a row shortens the idle time-out.
constexpr FetchLimits Limits{.timeLimit = 600ms, .transferTimeout = 60s, .sizeCap = 64 * 1024, .maxRedirects = 4};
constexpr int OutcomeWaitMs = 10000;

const QByteArray Page = "<p>" + QByteArray(3000, 'p') + "\xe4\xb8\xad</p>";
const QByteArray Chunked = head(200, "Transfer-Encoding: chunked\r\n");

// A gzip member (RFC 1952) holding `data`.
QByteArray gzip(const QByteArray& data)
{
    // qCompress gives a 4-byte length, a 2-byte zlib header, raw deflate and a 4-byte Adler-32.
    const QByteArray zlib = qCompress(data);
    const quint32 trailer[] = {
        qToLittleEndian(quint32(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())))),
        qToLittleEndian(quint32(data.size()))};
    return QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10) + zlib.mid(6, zlib.size() - 10) +
           QByteArray(reinterpret_cast<const char*>(trailer), sizeof trailer);
}

Reply coded(const QByteArray& coding, const QByteArray& wire)
{
    return answer(200, wire, "Content-Encoding: " + coding + "\r\n");
}

} // namespace

class TestHttpGet final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetchEnds_data();
    void fetchEnds();
    void pageIsDecodedOnlyWithADecoder_data();
    void pageIsDecodedOnlyWithADecoder();
    void bodyFasterThanTheEventLoopIsHeldBack();
    void retrievalRunsOffTheCallersThread();

private:
    std::optional<FetchResult> get(const QUrl& url, const FetchLimits& limits = Limits);

    LoopbackHttpServer m_server;
    LoopbackHttpServer m_tls{Scheme::Https};
};

void TestHttpGet::initTestCase()
{
    TrustLoopbackCertificate();
}

std::optional<FetchResult> TestHttpGet::get(const QUrl& url, const FetchLimits& limits)
{
    std::optional<FetchResult> result;
    QObject context;
    HttpGetBytes(
        FetchRequest().setUrl(url).setLimits(limits), &context, [&result](const FetchResult& r) { result = r; });
    return QTest::qWaitFor([&result] { return result.has_value(); }, OutcomeWaitMs) ? result : std::nullopt;
}

void TestHttpGet::fetchEnds_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<bool>("tls"); // the reply comes from the https server
    QTest::addColumn<FetchLimits>("limits");
    QTest::addColumn<QString>("reason"); // none when the page arrives
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("requests"); // what the server is asked, or -1 (Qt retries some failures)
    const auto page = [](const char* name, const Reply& r, const QByteArray& body = Page, bool tls = false) {
        QTest::newRow(name) << r << tls << Limits << QString() << body << -1;
    };
    // A failure gives no bytes.
    const auto row = [](const char* name, const Reply& r, const char* reason, FetchLimits limits = Limits, int n = -1) {
        QTest::newRow(name) << r << false << limits << QString::fromUtf8(reason) << QByteArray() << n;
    };
    const QByteArray zlib = qCompress(Page).mid(4);
    const auto at = [](LoopbackHttpServer& server, const char* path) {
        return server.url(QLatin1String(path)).toLatin1();
    };
    m_server.route("/page", answer(200, Page));
    m_tls.route("/page", answer(200, Page));
    m_server.route("/up", redirect(at(m_tls, "/page")));
    page("empty 200 is a page", answer(200, {}), QByteArray());
    page("redirect is followed", redirect("/page"));
    page("body beyond the announced length is no part of it",
         Reply{head(200, {}, 5) + "hello and then some"},
         QByteArray("hello"));
    page("gzip", coded("gzip", gzip(Page)));
    page("x-gzip", coded("x-gzip", gzip(Page)));
    page("two gzip members make one page", coded("gzip", gzip(Page.left(99)) + gzip(Page.mid(99))));
    page("bytes after the gzip end are ignored", coded("gzip", gzip(Page) + "junk"));
    page("deflate with its zlib header", coded("deflate", zlib));
    page("deflate without a header", coded("deflate", zlib.mid(2, zlib.size() - 6)));
    page("unknown coding passes through", coded("sdch", Page));
    // A browser follows a change of scheme either way; each hop is still only http or https.
    page("https to http", redirect(at(m_server, "/page")), Page, true);
    page("https to http to https", redirect(at(m_server, "/up")), Page, true);

    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray filler = "X-Filler: " + QByteArray(1000, 'f') + "\r\n";
    const QByteArray half = gzip(Page).left(gzip(Page).size() / 2);
    const QByteArray gzipHead = head(200, "Content-Encoding: gzip\r\n");

    row("404 gives its status", answer(404, "<html>error page</html>"), "HTTP 404");
    // The time limit lies beyond the wait: only the idle time-out can end this one.
    row("silent server hits the idle time-out", {{}, -1}, "超时", {.timeLimit = 60s, .transferTimeout = 300ms});
    // Qt reads a head byte by byte on its own thread and heeds an abort only once no byte is
    // waiting: 256 KiB is a flood to the fetch, yet leaves that thread free soon after.
    row("header lines that never end, quickly", {ok, 0, filler.repeated(16), 16}, "超时");
    row("chunked body that never ends, slowly", {Chunked, 50, "10\r\n0123456789abcdef\r\n"}, "超时");

    row("announced body over the cap", answer(200, QByteArray(256 * 1024, 'x')), "页面过大");
    row("chunked body that never ends, quickly",
        {Chunked, 0, "4000\r\n" + QByteArray(16 * 1024, 'c') + "\r\n"},
        "页面过大");
    // Small on the wire, large once inflated: the cap counts what we would keep.
    row("inflated body over the cap", coded("gzip", gzip(QByteArray(1024 * 1024, '\0'))), "页面过大");

    // The last answer was a redirect; its status is the reason.
    row("redirect loop stops at the limit", redirect("/row"), "HTTP 301", Limits, Limits.maxRedirects + 1);
    row("redirect to a local file is checked like any address", redirect("file:///etc/hostname"), "不支持的网址");

    row("close short of the Content-Length", {head(200, {}, 100) + "only part of it"}, "无法连接");
    row("close in the middle of a chunk", {Chunked + "10\r\n01234567"}, "无法连接");
    row("close before the last chunk", {Chunked + "5\r\nhello\r\n"}, "无法连接");
    row("gzip body that is no gzip", coded("gzip", "this is not gzip....."), "无法连接");
    // Read no further than the first bytes that show it cannot be inflated.
    row("endless gzip body that is no gzip", {gzipHead, 50, "this is not gzip"}, "无法连接");
    row("gzip body without its trailer", coded("gzip", gzip(Page).chopped(8)), "无法连接");
    // Without a length the close looks like the end; only the stream itself shows the cut.
    row("close-delimited gzip body cut in the middle", {gzipHead + half}, "无法连接");
    row("status line of another protocol", {"SSH-2.0-server\r\n"}, "无法连接");
    row("status line without a number", {"HTTP/1.1 OK 200\r\nContent-Length: 4\r\n\r\nbody"}, "无法连接");
    row("close without a byte of answer", {}, "无法连接");
}

void TestHttpGet::fetchEnds()
{
    QFETCH(Reply, reply);
    QFETCH(bool, tls);
    QFETCH(FetchLimits, limits);
    QFETCH(QString, reason);
    QFETCH(QByteArray, body);
    QFETCH(int, requests);
    LoopbackHttpServer& server = tls ? m_tls : m_server;
    server.route("/row", reply);
    const qsizetype before = server.requests().size();
    const auto result = get(server.url(QStringLiteral("/row")), limits);
    QVERIFY(result);
    QCOMPARE(result->failureReason(), reason);
    QCOMPARE(result->body, body);
    QVERIFY(requests < 0 || server.requests().size() - before == requests);
}

void TestHttpGet::pageIsDecodedOnlyWithADecoder_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("text");
    QTest::newRow("a page in a charset with a decoder")
        << answer(200, "a\xe4\xb8\xad") << QStringLiteral("utf-8") << QString() << QStringLiteral("a中");
    // An empty text would be shown as an empty page read.
    QTest::newRow("a page without a decoder is a failure")
        << answer(200, "a\xe4\xb8\xad") << QStringLiteral("no-such-set") << QStringLiteral("缺少字符集解码器")
        << QString();
    QTest::newRow("a failed fetch keeps its own reason")
        << answer(404, "gone") << QStringLiteral("no-such-set") << QStringLiteral("HTTP 404") << QString();
}

void TestHttpGet::pageIsDecodedOnlyWithADecoder()
{
    QFETCH(Reply, reply);
    QFETCH(QString, charset);
    QFETCH(QString, reason);
    QFETCH(QString, text);
    m_server.route("/decoded", reply);
    std::optional<PageText> page;
    QObject context;
    FetchText(FetchRequest().setUrl(m_server.url(QStringLiteral("/decoded"))).setLimits(Limits),
              charset,
              &context,
              [&page](const PageText& p) { page = p; });
    QVERIFY(QTest::qWaitFor([&page] { return page.has_value(); }, OutcomeWaitMs));
    QCOMPARE(page->failureReason(), reason);
    QCOMPARE(page->text, text);
}

void TestHttpGet::bodyFasterThanTheEventLoopIsHeldBack()
{
    // A server on a thread of its own floods the fetch: it is cut at the cap, and Qt reads no
    // further ahead than the fetch has taken.
    struct : QTcpServer
    {
        qintptr client = -1;
        void incomingConnection(qintptr descriptor) override
        {
            client = descriptor;
        }
    } server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    std::optional<FetchResult> result;
    QObject context;
    HttpGetBytes(FetchRequest()
                     .setUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort())))
                     .setLimits(Limits)
                     .setTimeLimit(20s),
                 &context,
                 [&result](const FetchResult& r) { result = r; });
    QVERIFY(QTest::qWaitFor([&server] { return server.client >= 0; }, OutcomeWaitMs));
    std::atomic<qint64> sent = 0;
    std::atomic<bool> stop = false;
    std::unique_ptr<QThread> flood(QThread::create([&] {
        QTcpSocket socket;
        socket.setSocketDescriptor(server.client);
        socket.write(head(200));
        const QByteArray chunk(64 * 1024, 'f');
        qint64 written = 0;
        const QDeadlineTimer deadline(10s);
        while (!stop && !deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
            while (socket.bytesToWrite() < 16 * chunk.size())
                written += socket.write(chunk);
            socket.waitForBytesWritten(50);
            sent = written - socket.bytesToWrite();
        }
    }));
    flood->start();
    QVERIFY(QTest::qWaitFor([&result] { return result.has_value(); }, OutcomeWaitMs));
    stop = true;
    flood->wait();
    QCOMPARE(result->failureReason(), QStringLiteral("页面过大"));
    // Beyond the read-ahead and what the two sockets' kernel buffers hold between them.
    QVERIFY2(sent < 12 * 1024 * 1024, qPrintable(QString::number(sent)));
}

void TestHttpGet::retrievalRunsOffTheCallersThread()
{
    // The server has a thread of its own, so this one can stand still like a window that is busy.
    QSemaphore ready;
    QString url;
    std::unique_ptr<QThread> serverThread(QThread::create([&] {
        LoopbackHttpServer server;
        server.route("/page", answer(200, Page));
        url = server.url(QStringLiteral("/page"));
        QEventLoop loop;
        ready.release();
        loop.exec();
    }));
    serverThread->start();
    ready.acquire();
    std::optional<FetchResult> result;
    QObject context;
    const PageFetch* fetch = HttpGetBytes(
        FetchRequest().setUrl(url).setLimits(Limits), &context, [&result](const FetchResult& r) { result = r; });
    QThread* retrieval = fetch->retrievalThread();
    QVERIFY(retrieval);
    // The whole retrieval ends while this thread takes no event; the page then comes here.
    const QDeadlineTimer deadline(OutcomeWaitMs);
    while (!retrieval->isFinished() && !deadline.hasExpired())
        QThread::msleep(1);
    QVERIFY(retrieval->isFinished());
    QVERIFY(!result);
    QTRY_VERIFY(result);
    QCOMPARE(result->body, Page);
    serverThread->quit();
    serverThread->wait();
}

QTEST_GUILESS_MAIN(TestHttpGet)
#include "testhttpget.moc"
