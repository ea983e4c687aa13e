#include "fetch/fetcher.h"
#include "tests/support/loopbackhttpserver.h"

#include <QPointer>
#include <QTest>

#include <optional>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace std::chrono_literals;
using Server = LoopbackHttpServer;

namespace {

// Short limits keep the suite quick; each row lengthens only the limit it does not test.
FetchRequest quick(const QString& address)
{
    return FetchRequest().setUrl(QUrl(address)).setTimeLimit(5000ms).setTransferTimeout(3000ms).setSizeCap(64 * 1024);
}

} // namespace

class TestHttpGet final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void pageArrives_data();
    void pageArrives();
    void failures_data();
    void failures();
    void redirectLoopStopsAtTheLimit();
    void abandonedFetchReportsNothing();
    void destroyedContextGetsNoCallback();

private:
    std::optional<FetchResult> get(const FetchRequest& request);

    Server m_server;
};

std::optional<FetchResult> TestHttpGet::get(const FetchRequest& request)
{
    std::optional<FetchResult> result;
    QObject context;
    HttpGetBytes(request, &context, [&result](const FetchResult& r) { result = r; });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 20000))
        return std::nullopt;
    return result;
}

void TestHttpGet::initTestCase()
{
    m_server.route("/utf8", Server::page("\xe4\xb8\xad\n\xff", "text/html; charset=utf-8"));
    m_server.route("/empty", Server::page({}));
    m_server.route("/gzip", Server::page(Server::gzip("inflated \xe4\xb8\xad")).header("Content-Encoding", "gzip"));
    m_server.route("/moved", Server::redirect(m_server.url(QStringLiteral("/utf8")).toLatin1()));
    m_server.route("/moved-relative", Server::redirect("/utf8"));
    m_server.route("/to-file", Server::redirect("file:///etc/hostname"));
    m_server.route("/silent", Server::silent());
    m_server.route("/drip", Server::drip(QByteArray(100, 'x'), 50));
    m_server.route("/big", Server::page(QByteArray(256 * 1024, 'x')));
    // Never ends on its own: only a cap checked while the body arrives stops it.
    m_server.route("/endless", Server::drip(QByteArray(16 * 1024, 'x'), 20));
    // Small on the wire, large once inflated: the cap counts what we would keep.
    m_server.route("/big-gzip",
                   Server::page(Server::gzip(QByteArray(1024 * 1024, '\0'))).header("Content-Encoding", "gzip"));
    m_server.route("/late", Server::late(Server::page("late"), 300));
    m_server.route("/loop", Server::redirect("/loop"));
}

void TestHttpGet::pageArrives_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::newRow("200 gives the body byte for byte")
        << QStringLiteral("/utf8") << QByteArray("\xe4\xb8\xad\n\xff") << QByteArray("text/html; charset=utf-8");
    QTest::newRow("empty 200 is a page") << QStringLiteral("/empty") << QByteArray() << QByteArray("text/html");
    QTest::newRow("gzip body is inflated")
        << QStringLiteral("/gzip") << QByteArray("inflated \xe4\xb8\xad") << QByteArray("text/html");
    QTest::newRow("redirect to another local page is followed")
        << QStringLiteral("/moved") << QByteArray("\xe4\xb8\xad\n\xff") << QByteArray("text/html; charset=utf-8");
    QTest::newRow("relative redirect is followed")
        << QStringLiteral("/moved-relative") << QByteArray("\xe4\xb8\xad\n\xff")
        << QByteArray("text/html; charset=utf-8");
}

void TestHttpGet::pageArrives()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    const auto result = get(quick(m_server.url(path)));
    QVERIFY(result);
    QVERIFY2(result->ok(), qPrintable(result->failureReason()));
    QCOMPARE(result->httpStatus, 200);
    QCOMPARE(result->body, body);
    QCOMPARE(result->contentType, contentType);
}

void TestHttpGet::failures_data()
{
    QTest::addColumn<FetchRequest>("request");
    QTest::addColumn<QString>("reason");

    const auto at = [this](const char* path) { return quick(m_server.url(QString::fromLatin1(path))); };
    QTest::newRow("404 gives its status and no body") << at("/nowhere") << QStringLiteral("HTTP 404");
    QTest::newRow("redirect to a file address is refused") << at("/to-file") << QStringLiteral("不支持的网址");
    QTest::newRow("silent server hits the transfer time-out")
        << at("/silent").setTransferTimeout(300ms) << QStringLiteral("超时");
    QTest::newRow("body still arriving at the time limit times out")
        << at("/drip").setTimeLimit(400ms) << QStringLiteral("超时");
    QTest::newRow("announced body over the cap is abandoned") << at("/big") << QStringLiteral("页面过大");
    QTest::newRow("endless body is abandoned at the cap") << at("/endless") << QStringLiteral("页面过大");
    QTest::newRow("inflated body over the cap is abandoned") << at("/big-gzip") << QStringLiteral("页面过大");
    QTest::newRow("file address is never read")
        << quick(QStringLiteral("file:///etc/hostname")) << QStringLiteral("不支持的网址");

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 freePort = closed.serverPort();
    closed.close();
    QTest::newRow("refused connection cannot connect")
        << quick(QStringLiteral("http://127.0.0.1:%1/").arg(freePort)) << QStringLiteral("无法连接");
}

void TestHttpGet::failures()
{
    QFETCH(FetchRequest, request);
    QFETCH(QString, reason);
    const auto result = get(request);
    QVERIFY(result);
    QCOMPARE(result->failureReason(), reason);
    QVERIFY(result->body.isEmpty());
}

void TestHttpGet::redirectLoopStopsAtTheLimit()
{
    const qsizetype before = m_server.requests().size();
    FetchRequest request = quick(m_server.url(QStringLiteral("/loop")));
    request.limits.maxRedirects = 3;
    const auto result = get(request);
    QVERIFY(result);
    QCOMPARE(result->failureReason(), QStringLiteral("HTTP 301"));
    QCOMPARE(m_server.requests().size() - before, 4);
}

void TestHttpGet::abandonedFetchReportsNothing()
{
    QObject context;
    bool called = false;
    QPointer<PageFetch> fetch = HttpGetBytes(
        quick(m_server.url(QStringLiteral("/late"))), &context, [&called](const FetchResult&) { called = true; });
    fetch->abandon();
    QTest::qWait(600);
    QVERIFY(!called);
    QVERIFY(!fetch); // it cleaned itself up
}

void TestHttpGet::destroyedContextGetsNoCallback()
{
    bool called = false;
    auto* context = new QObject;
    HttpGetBytes(
        quick(m_server.url(QStringLiteral("/late"))), context, [&called](const FetchResult&) { called = true; });
    delete context;
    QTest::qWait(600);
    QVERIFY(!called);
}

QTEST_GUILESS_MAIN(TestHttpGet)
#include "testhttpget.moc"
