// The files through the window: `--op open` reads a file into quan as Ctrl+O does, `--op save`
// writes it back out as Ctrl+Shift+S does (into a new file beside it, removed after). Each
// reports the seconds from the command to its message, the peak memory and the longest time
// the event loop went without turning.
#include "app/connect.h"
#include "bench/benchops.h"
#include "commands/filecommands.h"
#include "shell/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace lumbrel::bench {

namespace {

// The longest wait between two ticks of a timer that asks for one every millisecond: how long
// the window could not answer.
class GapMeter final : public QObject
{
public:
    GapMeter()
    {
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_timer.start(1);
    }
    double longestMs() const
    {
        return static_cast<double>(m_longest) / 1e6;
    }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Runs the event loop until `ended` is emitted by `files`.
void waitFor(FileCommands* files, void (FileCommands::*ended)())
{
    QEventLoop loop;
    QObject::connect(files, ended, &loop, &QEventLoop::quit);
    loop.exec();
}

bool openInto(Form1& form, FileCommands* files, const QString& path)
{
    QEventLoop loop;
    QObject::connect(files, &FileCommands::openEnded, &loop, &QEventLoop::quit);
    files->open(form.quan(), path);
    if (files->busy())
        loop.exec();
    if (!form.windowTitle().startsWith(QStringLiteral("已打开"))) {
        qWarning("%s", qPrintable(form.windowTitle()));
        return false;
    }
    return true;
}

} // namespace

bool isFileWindowOp(const QString& name)
{
    return name == QStringLiteral("open") || name == QStringLiteral("save");
}

WindowRun runFileWindowOp(const QString& name, const QString& path, int runs)
{
    WindowRun result;
    result.gapMs = 0;
    std::vector<double> seconds;
    const QString copy = path + QStringLiteral(".saved");
    for (int r = 0; r < runs; ++r) {
        Form1 form;
        ConnectCommands(form);
        form.resize(form.size() * 2);
        form.show();
        QApplication::processEvents();
        auto* files = form.findChild<FileCommands*>();
        files->chooseSave = [&copy](const QString&) { return copy; };
        if (name == QStringLiteral("save") && !openInto(form, files, path))
            qFatal("cannot open the file to save");
        QApplication::processEvents();
        resetPeak();
        QElapsedTimer t;
        const GapMeter gaps;
        t.start();
        if (name == QStringLiteral("open")) {
            if (!openInto(form, files, path))
                qFatal("cannot open the file");
        } else {
            files->saveAs(form.quan());
            if (files->busy())
                waitFor(files, &FileCommands::saveEnded);
            if (!form.windowTitle().startsWith(QStringLiteral("已保存")))
                qFatal("%s", qPrintable(form.windowTitle()));
        }
        seconds.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
        result.peakMb = std::max(result.peakMb, peakSinceResetMb());
        result.gapMs = std::max(result.gapMs, gaps.longestMs());
        QFile::remove(copy);
    }
    std::sort(seconds.begin(), seconds.end());
    result.seconds = seconds[seconds.size() / 2];
    return result;
}

} // namespace lumbrel::bench
