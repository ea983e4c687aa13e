// "抓取" in the window: a page replaces quan, a failure names its reason and leaves quan.
#include "app/connect.h"
#include "commands/fetchcommand.h"
#include "tests/support/formfixture.h"
#include "tests/support/loopbackhttpserver.h"

#include <QRadioButton>
#include <QTabBar>

#include <memory>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace std::chrono_literals;

namespace {

const QString Keep = QStringLiteral("keep me\r\n");
const QString Lines = QStringLiteral("one\r\ntwo\r\n");

// The window on its fetch page, with limits short enough for a quick suite.
struct Window
{
    Form1 form;

    Window()
    {
        ConnectCommands(form);
        form.show();
        child<QTabBar>(form, "TabStrip1")->setCurrentIndex(3);
        child<FetchCommand>(form, "FetchCommand")
            ->setLimits({.timeLimit = 3s, .transferTimeout = 500ms, .sizeCap = 64 * 1024});
        area(form, "quan")->setContent(Keep);
    }
    void fetch(const QString& address)
    {
        box(form, 7)->setText(address);
        click(form, 14);
    }
    QString quan()
    {
        return area(form, "quan")->content();
    }
};

} // namespace

class TestFetchCommand final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetchShowsThePageOrTheReason_data();
    void fetchShowsThePageOrTheReason();
    void crawlerHeadersFollowCheck2_data();
    void crawlerHeadersFollowCheck2();
    void statusShowsReadingWhileTheServerWaits();
    void secondFetchAbandonsTheFirst();
    void refusedAddressLeavesTheWaitingFetch();
    void closingTheWindowMidFetchIsSafe();

private:
    void waitPastLate();

    LoopbackHttpServer m_server;
};

void TestFetchCommand::initTestCase()
{
    m_server.route("/lf", answer(200, "one\ntwo\n"));
    m_server.route("/gbk", answer(200, "\xe9\x46\x88\xd2\r\n"));
    m_server.route("/empty", answer(200, {}));
    m_server.route("/silent", {{}, -1});
    m_server.route("/big", answer(200, QByteArray(256 * 1024, 'x')));
    // Sooner than the idle time-out, so only an abandoned fetch misses it.
    m_server.route("/late", {head(200, {}, 5) + "first", 300});
    m_server.route("/slow", {head(200, {}, 5) + "slow\n", 400});
    m_server.route("/later", {head(200, {}, 5) + "later", 700});
}

// Returns once a page sent well after "/late"'s has arrived, so that one would have too.
void TestFetchCommand::waitPastLate()
{
    bool arrived = false;
    QObject context;
    HttpGetBytes(FetchRequest().setUrl(m_server.url(QStringLiteral("/later"))), &context, [&](const FetchResult&) {
        arrived = true;
    });
    QTRY_VERIFY(arrived);
}

void TestFetchCommand::fetchShowsThePageOrTheReason_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("gb");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("quan");
    const auto row =
        [](const char* name, const QString& address, const char* status, const QString& quan = Keep, bool gb = false) {
            QTest::newRow(name) << address << gb << QString::fromUtf8(status) << quan;
        };
    const QString local = m_server.url({});
    row("start-up Text7 lacks http", QStringLiteral("Text7"), "请输入正确的网址");
    row("scheme in capitals lacks http", QStringLiteral("HTTP") + local.mid(4) + u"/lf", "请输入正确的网址");
    // Passes the "http" test, but what is left after cleaning is no web address.
    row("http later in the text is no URL", u"x " + local + u"/lf", "读取失败：不支持的网址");
    row("file address is never read", QStringLiteral("file:///etc/hostname?http"), "读取失败：不支持的网址");
    row("404", local + u"/nowhere", "读取失败：HTTP 404");
    row("silent server times out", local + u"/silent", "读取失败：超时");
    row("page over the cap", local + u"/big", "读取失败：页面过大");
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    row("refused connection", refused, "读取失败：无法连接");

    row("LF lines become CR LF lines", local + u"/lf", "读取完毕", Lines);
    row("empty page empties quan", local + u"/empty", "读取完毕", QString());
    row("line break and spaces around the address are dropped", u"  " + local + u"/lf \r\n ", "读取完毕", Lines);
    row("Option1 decodes as utf-8", local + u"/gbk", "读取完毕", QStringLiteral("\uFFFDF\uFFFD\uFFFD\r\n"));
    row("Option2 decodes as gb2312", local + u"/gbk", "读取完毕", QStringLiteral("镕堃\r\n"), true);
}

void TestFetchCommand::fetchShowsThePageOrTheReason()
{
    QFETCH(QString, address);
    QFETCH(bool, gb);
    QFETCH(QString, status);
    QFETCH(QString, quan);
    Window w;
    child<QRadioButton>(w.form, gb ? "Option2" : "Option1")->click();
    w.fetch(address);
    QTRY_COMPARE(w.form.windowTitle(), status);
    QCOMPARE(w.quan(), quan);
}

void TestFetchCommand::crawlerHeadersFollowCheck2_data()
{
    QTest::addColumn<bool>("crawler");
    QTest::newRow("Check2 checked sends the three headers in order") << true;
    QTest::newRow("Check2 clear sends none of them") << false;
}

void TestFetchCommand::crawlerHeadersFollowCheck2()
{
    QFETCH(bool, crawler);
    Window w;
    child<QCheckBox>(w.form, "Check2")->setChecked(crawler);
    w.fetch(m_server.url(QStringLiteral("/lf")));
    QTRY_COMPARE(w.form.windowTitle(), QStringLiteral("读取完毕"));
    // Qt sends a User-Agent of its own when we set none; only the crawler's counts here.
    const QList<QByteArray> headers{"If-Modified-Since: 0",
                                    "User-Agent: " + QByteArray(CrawlerUserAgent),
                                    "Content-Type: application/x-www-form-urlencoded"};
    QList<QByteArray> sent;
    for (const QByteArray& line : m_server.requests().constLast().split('\n')) {
        if (headers.contains(line.trimmed()))
            sent.append(line.trimmed());
    }
    QCOMPARE(sent, crawler ? headers : QList<QByteArray>());
}

void TestFetchCommand::statusShowsReadingWhileTheServerWaits()
{
    Window w;
    const qsizetype before = m_server.requests().size();
    w.fetch(m_server.url(QStringLiteral("/slow")));
    // The server holds the request, and the title says a fetch is on its way.
    QTRY_VERIFY(m_server.requests().size() > before);
    QCOMPARE(w.form.windowTitle(), QStringLiteral("正在读取……"));
    QCOMPARE(w.quan(), Keep);
    QTRY_COMPARE(w.form.windowTitle(), QStringLiteral("读取完毕"));
    QCOMPARE(w.quan(), QStringLiteral("slow\r\n"));
}

void TestFetchCommand::secondFetchAbandonsTheFirst()
{
    Window w;
    w.fetch(m_server.url(QStringLiteral("/late")));
    w.fetch(m_server.url(QStringLiteral("/lf")));
    waitPastLate();
    QCOMPARE(w.form.windowTitle(), QStringLiteral("读取完毕"));
    QCOMPARE(w.quan(), Lines);
}

void TestFetchCommand::refusedAddressLeavesTheWaitingFetch()
{
    Window w;
    w.fetch(m_server.url(QStringLiteral("/late")));
    w.fetch(QStringLiteral("Text7"));
    QCOMPARE(w.form.windowTitle(), QStringLiteral("请输入正确的网址"));
    // Only a fetch that starts replaces the one waiting.
    QTRY_COMPARE(w.form.windowTitle(), QStringLiteral("读取完毕"));
    QCOMPARE(w.quan(), QStringLiteral("first"));
}

void TestFetchCommand::closingTheWindowMidFetchIsSafe()
{
    auto w = std::make_unique<Window>();
    w->fetch(m_server.url(QStringLiteral("/late")));
    w.reset();
    // The page arrives with no window to write to; nothing may touch the dead one.
    waitPastLate();
}

QTEST_MAIN(TestFetchCommand)
#include "testfetchcommand.moc"
