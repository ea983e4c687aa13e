// lumbrel-bench --op fetch-gaps: how long the window's thread goes unserved while "抓取" meets
// each hostile server. A 10 ms timer ticks on the window's thread from the click until 500 ms
// after the outcome shows (so the clean-up after the outcome counts too); the longest gap
// between two ticks is the measure. The servers run on a thread of their own, so their
// flooding is no work of the window's thread.
#include "bench/benchops.h"
#include "shell/form1.h"
#include "tests/support/loopbackhttpserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace lumbrel::bench {

namespace {

using namespace lumbrel::testing;

struct Hostile
{
    const char* name;
    Reply reply;
};

std::vector<Hostile> hostiles()
{
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray chunked = head(200, "Transfer-Encoding: chunked\r\n");
    const QByteArray filler = QByteArray("X-Filler: " + QByteArray(1000, 'f') + "\r\n").repeated(64);
    // Inflates to just past the default 64 MiB cap.
    const QByteArray bomb = qCompress(QByteArray(65 * 1024 * 1024, '\0')).mid(4);
    return {
        {"hanging", {{}, -1}},
        {"header-drip", {ok, 100, "X-Filler: 0123456789\r\n"}},
        {"header-flood", {ok, 0, filler}},
        {"chunk-drip", {chunked, 50, "10\r\n0123456789abcdef\r\n"}},
        {"chunk-flood", {chunked, 0, "10000\r\n" + QByteArray(64 * 1024, 'c') + "\r\n"}},
        {"body-flood", {head(200), 0, QByteArray(64 * 1024, 'x')}},
        {"length-short", {head(200, {}, 100) + "only part of it"}},
        {"length-drip", {head(200, {}, 1000), 100, "x"}},
        {"length-huge", {head(200, {}, qint64(1) << 40), 0, QByteArray(64 * 1024, 'x')}},
        {"redirect-loop", redirect("/hostile")},
        {"deflate-bomb", answer(200, bomb, "Content-Encoding: deflate\r\n")},
        {"not-gzip-drip", {head(200, "Content-Encoding: gzip\r\n"), 50, "this is not gzip"}},
    };
}

// One hostile server on a thread of its own, for one fetch; gone (connections closed) with it.
class ServerThread final : public QThread
{
public:
    explicit ServerThread(Reply reply)
        : m_reply(std::move(reply))
    {
        start();
        m_ready.acquire();
    }
    ~ServerThread() override
    {
        quit();
        wait();
    }
    QString url() const
    {
        return m_url;
    }

protected:
    void run() override
    {
        LoopbackHttpServer server;
        server.route("/hostile", m_reply);
        m_url = server.url(QStringLiteral("/hostile"));
        m_ready.release();
        exec();
    }

private:
    Reply m_reply;
    QString m_url;
    QSemaphore m_ready;
};

struct Gaps
{
    double longestMs = 0;
    double outcomeSeconds = 0;
    QString outcome;
};

Gaps measure(Form1& form, const QString& url)
{
    form.setStatus(QStringLiteral("bench"));
    form.textBox(7)->setText(url);
    QApplication::processEvents();
    Gaps gaps;
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 outcomeAt = -1;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        gaps.longestMs = std::max(gaps.longestMs, static_cast<double>(now - last) / 1e6);
        last = now;
        if (outcomeAt < 0 && form.windowTitle().startsWith(u"读取")) {
            outcomeAt = now;
            gaps.outcomeSeconds = static_cast<double>(now) / 1e9;
            gaps.outcome = form.windowTitle();
        }
        if (outcomeAt >= 0 && now - outcomeAt >= 500'000'000)
            loop.quit();
    });
    clock.start();
    tick.start();
    form.command(14)->click();
    loop.exec();
    return gaps;
}

} // namespace

int runFetchGaps(int argc, char** argv)
{
    QApplication app(argc, argv);
    Form1 form;
    form.show();
    QApplication::processEvents();
    for (const Hostile& hostile : hostiles()) {
        const Gaps gaps = [&] {
            ServerThread server(hostile.reply);
            return measure(form, server.url());
        }();
        std::printf("op=fetch-gaps server=%s seconds=%.3f max_gap_ms=%.0f outcome=%s\n",
                    hostile.name,
                    gaps.outcomeSeconds,
                    gaps.longestMs,
                    gaps.outcome.toUtf8().constData());
        std::fflush(stdout);
    }
    return 0;
}

} // namespace lumbrel::bench
