// "抓取" in the window: a page replaces quan, a failure names its reason and leaves quan.
#include "commands/fetchcommand.h"
#include "tests/support/formfixture.h"
#include "tests/support/loopbackhttpserver.h"

#include <QAbstractButton>
#include <QTabBar>

#include <memory>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString Keep = u"keep me\r\n"_s;
const QString Lines = u"one\r\ntwo\r\n"_s;

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
    // Sooner than the idle time-out, so only an abandoned fetch misses it.
    m_server.route("/late", {head(200, {}, 5) + "first", 400});
    m_server.route("/later", {head(200, {}, 5) + "later", 700});
}

// Returns once a page sent well after "/late"'s has arrived, so that one would have too.
void TestFetchCommand::waitPastLate()
{
    bool arrived = false;
    QObject context;
    HttpGetBytes(
        FetchRequest().setUrl(m_server.url(u"/later"_s)), &context, [&](const FetchResult&) { arrived = true; });
    QTRY_VERIFY(arrived);
}

void TestFetchCommand::fetchShowsThePageOrTheReason_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("ticked"); // the control clicked before the fetch, if any
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("quan");
    const auto row = [](const char* name,
                        const QString& address,
                        const char* status,
                        const QString& quan = Keep,
                        const QString& ticked = {}) {
        QTest::newRow(name) << address << ticked << QString::fromUtf8(status) << quan;
    };
    const QString local = m_server.url({});
    row("start-up Text7 lacks http", u"Text7"_s, "请输入正确的网址");
    row("scheme in capitals lacks http", u"HTTP"_s + local.mid(4) + u"/lf", "请输入正确的网址");
    // Passes the "http" test, but what is left after cleaning is no web address.
    row("http later in the text is no URL", u"x " + local + u"/lf", "读取失败：不支持的网址");
    // Each reason comes from the fetch, checked there; one shows how the window names it.
    row("404", local + u"/nowhere", "读取失败：HTTP 404");

    row("empty page empties quan", local + u"/empty", "读取完毕", QString());
    row("address trimmed, LF lines made CR LF", u"  " + local + u"/lf \r\n ", "读取完毕", Lines);
    row("Option1, as at the start, decodes as utf-8", local + u"/gbk", "读取完毕", u"\uFFFDF\uFFFD\uFFFD\r\n"_s);
    row("Option2 decodes as gb2312", local + u"/gbk", "读取完毕", u"镕堃\r\n"_s, u"Option2"_s);
    row("Check2 sends the crawler's headers", local + u"/lf", "读取完毕", Lines, u"Check2"_s);
}

void TestFetchCommand::fetchShowsThePageOrTheReason()
{
    QFETCH(QString, address);
    QFETCH(QString, ticked);
    QFETCH(QString, status);
    QFETCH(QString, quan);
    Window w;
    if (!ticked.isEmpty())
        child<QAbstractButton>(w.form, ticked)->click();
    const qsizetype before = m_server.requests().size();
    w.fetch(address);
    QTRY_COMPARE(w.form.windowTitle(), status);
    QCOMPARE(w.quan(), quan);
    // With Check2 all three crawler headers go out in order, without it none. (Qt sends a
    // User-Agent of its own when we set none; only the crawler's counts here.)
    const QList<QByteArray> crawler{"If-Modified-Since: 0",
                                    "User-Agent: " + QByteArray(CrawlerUserAgent),
                                    "Content-Type: application/x-www-form-urlencoded"};
    for (const QByteArray& request : m_server.requests().mid(before)) {
        QList<QByteArray> sent;
        for (const QByteArray& line : request.split('\n')) {
            if (crawler.contains(line.trimmed()))
                sent.append(line.trimmed());
        }
        QCOMPARE(sent, ticked == u"Check2"_s ? crawler : QList<QByteArray>());
    }
}

void TestFetchCommand::refusedAddressLeavesTheWaitingFetch()
{
    Window w;
    const qsizetype before = m_server.requests().size();
    w.fetch(m_server.url(u"/late"_s));
    // The server holds the request, and the title says a fetch is on its way.
    QTRY_VERIFY(m_server.requests().size() > before);
    QCOMPARE(w.form.windowTitle(), u"正在读取……"_s);
    QCOMPARE(w.quan(), Keep);
    // Only a fetch that starts replaces the one waiting.
    w.fetch(u"Text7"_s);
    QCOMPARE(w.form.windowTitle(), u"请输入正确的网址"_s);
    QTRY_COMPARE(w.form.windowTitle(), u"读取完毕"_s);
    QCOMPARE(w.quan(), u"first"_s);
    // A second fetch that starts abandons the first.
    w.fetch(m_server.url(u"/late"_s));
    w.fetch(m_server.url(u"/lf"_s));
    waitPastLate();
    QCOMPARE(w.form.windowTitle(), u"读取完毕"_s);
    QCOMPARE(w.quan(), Lines);
}

void TestFetchCommand::closingTheWindowMidFetchIsSafe()
{
    auto w = std::make_unique<Window>();
    w->fetch(m_server.url(u"/late"_s));
    w.reset();
    // The page arrives with no window to write to; nothing may touch the dead one.
    waitPastLate();
}

QTEST_MAIN(TestFetchCommand)
#include "testfetchcommand.moc"
