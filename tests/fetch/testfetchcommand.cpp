#include "fetch/fetchcommand.h"
#include "shell/form1.h"
#include "tests/support/fetchwindow.h"
#include "tests/support/loopbackhttpserver.h"

#include <QCheckBox>
#include <QRadioButton>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace std::chrono_literals;
using Server = LoopbackHttpServer;

namespace {

const QString Keep = QStringLiteral("keep me\r\n");

// Short enough for a quick suite.
FetchLimits quickLimits()
{
    FetchLimits quick;
    quick.timeLimit = 3000ms;
    quick.transferTimeout = 500ms;
    quick.sizeCap = 64 * 1024;
    return quick;
}

struct QuickFetchWindow : FetchWindow
{
    QuickFetchWindow()
        : FetchWindow(quickLimits(), Keep)
    {
    }
};

// The header lines of a raw request head, in order.
QList<std::pair<QByteArray, QByteArray>> headerLines(const QByteArray& head)
{
    QList<std::pair<QByteArray, QByteArray>> headers;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            headers.emplaceBack(line.left(colon), line.mid(colon + 1).trimmed());
    }
    return headers;
}

} // namespace

class TestFetchCommand final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void usesTheDefaultLimits();
    void rejectedAddressesLeaveQuan_data();
    void rejectedAddressesLeaveQuan();
    void pageReplacesQuan_data();
    void pageReplacesQuan();
    void failureNamesItsReasonAndLeavesQuan_data();
    void failureNamesItsReasonAndLeavesQuan();
    void crawlerHeadersFollowCheck2_data();
    void crawlerHeadersFollowCheck2();

    void windowStaysResponsiveWhileWaiting();
    void secondFetchAbandonsTheFirst();
    void closingTheWindowMidFetchIsSafe();

private:
    Server m_server;
};

void TestFetchCommand::initTestCase()
{
    m_server.route("/lf", Server::page("one\ntwo\n"));
    m_server.route("/gbk", Server::page("\xe9\x46\x88\xd2\r\n", "text/html; charset=gb2312"));
    m_server.route("/empty", Server::page({}));
    m_server.route("/silent", Server::silent());
    m_server.route("/big", Server::page(QByteArray(256 * 1024, 'x')));
    // Sooner than the transfer time-out, so only an abandoned fetch misses it.
    m_server.route("/late", Server::late(Server::page("first"), 300));
}

void TestFetchCommand::usesTheDefaultLimits()
{
    Form1 form;
    const FetchLimits& limits = form.findChild<FetchCommand*>(QStringLiteral("FetchCommand"))->limits();
    QCOMPARE(limits.timeLimit, 8000ms);
    QCOMPARE(limits.transferTimeout, 2000ms);
    QCOMPARE(limits.sizeCap, qint64(64) * 1024 * 1024);
}

void TestFetchCommand::rejectedAddressesLeaveQuan_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("status");
    const QString port = QString::number(m_server.port());
    QTest::newRow("start-up Text7 lacks http") << QStringLiteral("Text7") << QStringLiteral("请输入正确的网址");
    QTest::newRow("scheme in capitals lacks http")
        << (QStringLiteral("HTTP://127.0.0.1:") + port + u"/lf") << QStringLiteral("请输入正确的网址");
    // Passes the "http" test, but what is left after cleaning is no web address.
    QTest::newRow("http later in the text is no URL")
        << (QStringLiteral("x http://127.0.0.1:") + port + u"/lf") << QStringLiteral("读取失败：不支持的网址");
    QTest::newRow("file address is never read")
        << QStringLiteral("file:///etc/hostname?http") << QStringLiteral("读取失败：不支持的网址");
    QTest::newRow("ftp address is never read")
        << (QStringLiteral("ftp://127.0.0.1:") + port + u"/http") << QStringLiteral("读取失败：不支持的网址");
}

void TestFetchCommand::rejectedAddressesLeaveQuan()
{
    QFETCH(QString, address);
    QFETCH(QString, status);
    QuickFetchWindow w;
    const qsizetype requests = m_server.requests().size();
    w.fetch(address);
    QTRY_COMPARE(w.status(), status);
    QCOMPARE(w.quan(), Keep);
    QCOMPARE(m_server.requests().size(), requests);
}

void TestFetchCommand::pageReplacesQuan_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("gb");
    QTest::addColumn<QString>("quan");
    QTest::newRow("LF lines become CR LF lines")
        << m_server.url(QStringLiteral("/lf")) << false << QStringLiteral("one\r\ntwo\r\n");
    QTest::newRow("Option2 decodes as gb2312")
        << m_server.url(QStringLiteral("/gbk")) << true << QStringLiteral("镕堃\r\n");
    QTest::newRow("Option1 decodes the same bytes as utf-8")
        << m_server.url(QStringLiteral("/gbk")) << false << QStringLiteral("\uFFFDF\uFFFD\uFFFD\r\n");
    QTest::newRow("empty page empties quan") << m_server.url(QStringLiteral("/empty")) << false << QString();
    QTest::newRow("line break and spaces around the address are dropped")
        << (u"  " + m_server.url(QStringLiteral("/lf")) + u" \r\n ") << false << QStringLiteral("one\r\ntwo\r\n");
}

void TestFetchCommand::pageReplacesQuan()
{
    QFETCH(QString, address);
    QFETCH(bool, gb);
    QFETCH(QString, quan);
    QuickFetchWindow w;
    if (gb)
        w.form.findChild<QRadioButton*>(QStringLiteral("Option2"))->click();
    w.fetch(address);
    QTRY_COMPARE(w.status(), QStringLiteral("读取完毕"));
    QCOMPARE(w.quan(), quan);
}

void TestFetchCommand::failureNamesItsReasonAndLeavesQuan_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("status");
    QTest::newRow("404") << m_server.url(QStringLiteral("/nowhere")) << QStringLiteral("读取失败：HTTP 404");
    QTest::newRow("silent server times out")
        << m_server.url(QStringLiteral("/silent")) << QStringLiteral("读取失败：超时");
    QTest::newRow("page over the cap") << m_server.url(QStringLiteral("/big")) << QStringLiteral("读取失败：页面过大");
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    QTest::newRow("refused connection") << refused << QStringLiteral("读取失败：无法连接");
}

void TestFetchCommand::failureNamesItsReasonAndLeavesQuan()
{
    QFETCH(QString, address);
    QFETCH(QString, status);
    QuickFetchWindow w;
    w.fetch(address);
    QTRY_COMPARE(w.status(), status);
    QCOMPARE(w.quan(), Keep);
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
    QuickFetchWindow w;
    w.form.findChild<QCheckBox*>(QStringLiteral("Check2"))->setChecked(crawler);
    w.fetch(m_server.url(QStringLiteral("/lf")));
    QTRY_COMPARE(w.status(), QStringLiteral("读取完毕"));

    const QByteArray agent(CrawlerUserAgent);
    QList<std::pair<QByteArray, QByteArray>> ours;
    for (const auto& [name, value] : headerLines(m_server.requests().constLast())) {
        const QByteArray lower = name.toLower();
        // Qt sends a User-Agent of its own when we set none; only the crawler's counts here.
        if (lower == "if-modified-since" || lower == "content-type" || (lower == "user-agent" && value == agent))
            ours.emplaceBack(name, value);
    }
    QList<std::pair<QByteArray, QByteArray>> expected;
    if (crawler) {
        expected = {
            {"If-Modified-Since", "0"}, {"User-Agent", agent}, {"Content-Type", "application/x-www-form-urlencoded"}};
    }
    QCOMPARE(ours, expected);
}

void TestFetchCommand::windowStaysResponsiveWhileWaiting()
{
    QuickFetchWindow w;
    w.fetch(m_server.url(QStringLiteral("/silent")));
    // Another command runs to its end while the fetch is still waiting.
    area(w.form, "quan")->setContent(QStringLiteral("a\r\nb\r\na\r\n"));
    click(w.form, 1);
    QCOMPARE(w.status(), QStringLiteral("去重复完毕剩余：2行"));
    QTRY_COMPARE(w.status(), QStringLiteral("读取失败：超时"));
    // The failed fetch leaves what the other command wrote.
    QCOMPARE(w.quan(), QStringLiteral("b\r\na\r\n"));
}

void TestFetchCommand::secondFetchAbandonsTheFirst()
{
    QuickFetchWindow w;
    w.fetch(m_server.url(QStringLiteral("/late")));
    w.fetch(m_server.url(QStringLiteral("/lf")));
    QTRY_COMPARE(w.status(), QStringLiteral("读取完毕"));
    QCOMPARE(w.quan(), QStringLiteral("one\r\ntwo\r\n"));
    // Long enough for the first page to have arrived, had it still been waited for.
    QTest::qWait(1000);
    QCOMPARE(w.quan(), QStringLiteral("one\r\ntwo\r\n"));
    QCOMPARE(w.status(), QStringLiteral("读取完毕"));
}

void TestFetchCommand::closingTheWindowMidFetchIsSafe()
{
    auto* w = new QuickFetchWindow;
    w->fetch(m_server.url(QStringLiteral("/late")));
    delete w;
    // The page arrives with no window to write to; nothing may touch the dead one.
    QTest::qWait(1000);
}

QTEST_MAIN(TestFetchCommand)
#include "testfetchcommand.moc"
