// lumbrel-batchwall CORPUS KEYS
// Runs the batch keyword job through the window, with its real timer pauses, over CORPUS
// with the keyword list KEYS, and checks that the window answers clicks between steps: a
// click on the tab strip is posted every 250 ms and the time until it is handled recorded.
// Prints the wall time of the job and the click latencies.
#include "app/connect.h"
#include "lineops/linemodel.h"
#include "shell/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace lumbrel;

namespace {

QString readText(const char* path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", path);
    return QString::fromUtf8(file.readAll());
}

void postClick(QWidget* widget, QPoint at)
{
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    QApplication::postEvent(
        widget, new QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, {}));
    QApplication::postEvent(
        widget, new QMouseEvent(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, {}));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumbrel-batchwall CORPUS KEYS\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    Form1 form;
    ConnectCommands(form);
    form.show();
    form.quan()->setContent(readText(argv[1]));
    form.list()->setContent(readText(argv[2]));
    const qsizetype keywords = CountLines(form.list()->content());

    auto* tabs = form.findChild<QTabBar*>(QStringLiteral("TabStrip1"));
    std::vector<double> latencies;
    QElapsedTimer sincePosted;
    bool waiting = false;
    QObject::connect(tabs, &QTabBar::currentChanged, &form, [&] {
        if (waiting)
            latencies.push_back(static_cast<double>(sincePosted.nsecsElapsed()) / 1e6);
        waiting = false;
    });
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &form, [&] {
        if (waiting)
            return;
        waiting = true;
        sincePosted.start();
        postClick(tabs, tabs->tabRect(tabs->currentIndex() == 0 ? 2 : 0).center());
    });

    int steps = 0;
    QObject::connect(form.timer2(), &QTimer::timeout, &form, [&] { ++steps; });
    QElapsedTimer wall;
    // In job mode the only message is the end, or the refusal that halts the job.
    QObject::connect(&form, &QWidget::windowTitleChanged, &form, [&] { app.quit(); });
    wall.start();
    form.command(24)->click();
    probe.start(250);
    app.exec();
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;

    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty() ? 0.0 : latencies[static_cast<std::size_t>(q * (latencies.size() - 1))];
    };
    std::printf("keywords=%lld steps=%d seconds=%.1f per_step_ms=%.1f status=%s quan_lines=%lld\n",
                static_cast<long long>(keywords),
                steps,
                seconds,
                steps > 0 ? seconds * 1000.0 / steps : 0.0,
                qPrintable(form.windowTitle()),
                static_cast<long long>(CountLines(form.quan()->content())));
    std::printf("clicks answered=%zu latency_ms median=%.1f p95=%.1f max=%.1f\n",
                latencies.size(),
                at(0.5),
                at(0.95),
                latencies.empty() ? 0.0 : latencies.back());
    return 0;
}
