#include "app/connect.h"
#include "app/snapshots.h"
#include "bench/benchops.h"
#include "shell/form1.h"
#include "shell/linebox.h"
#include "shell/morepage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace lumbrel::bench {

namespace {

struct WindowOp
{
    const char* name;
    int command; // CommandN, or 0 for a button of the page 更多处理
    std::function<void(Form1&)> prepare;
    bool toLinshi = false;        // the command reads linshi (the store)
    const char* button = nullptr; // the objectName of a button of the page 更多处理
};

// The second list of the set commands into linshi: the file LUMBREL_BENCH_TEMP names, or the
// working text's own file.
void fillTemp(Form1& form, const QString& path)
{
    const QString temp = qEnvironmentVariable("LUMBREL_BENCH_TEMP", path);
    const std::optional<QByteArray> bytes = readFile(temp);
    if (!bytes)
        qFatal("cannot read the temporary text");
    form.linshi()->SendScintilla(QsciScintillaBase::SCI_SETTEXT, bytes->constData());
}

void setBox(Form1& form, int n, const QString& text)
{
    form.textBox(n)->setText(text);
}

void setRegex(Form1& form)
{
    form.morePage()->regexBox()->setText(keywordOr(u"[0-9]{3,}"));
}

const std::vector<WindowOp>& windowOps()
{
    static const std::vector<WindowOp> ops = {
        {"dedup", 1, {}},
        {"empty", 2, {}},
        {"shuffle", 25, {}},
        {"chinese", 3, {}},
        {"nochinese", 4, {}},
        {"html", 5, {}},
        {"shorter", 6, [](Form1& f) { setBox(f, 2, numberOr(u"10")); }},
        {"longer", 7, [](Form1& f) { setBox(f, 2, numberOr(u"10")); }},
        {"contains", 9, [](Form1& f) { setBox(f, 2, keywordOr(u"手机")); }},
        {"remove", 8, [](Form1& f) { setBox(f, 1, keywordOr(u"手机")); }},
        {"replace",
         16,
         [](Form1& f) {
             setBox(f, 1, keywordOr(u"手机"));
             setBox(f, 3, QStringLiteral("电话"));
         }},
        {"split", 17, [](Form1& f) { setBox(f, 3, keywordOr(u",")); }},
        {"prefix", 22, [](Form1& f) { setBox(f, 6, keywordOr(u"PRE")); }},
        {"suffix", 23, [](Form1& f) { setBox(f, 6, keywordOr(u"SUF")); }},
        {"before", 18, [](Form1& f) { setBox(f, 5, keywordOr(u" ")); }},
        {"after", 19, [](Form1& f) { setBox(f, 5, keywordOr(u" ")); }},
        {"left", 20, [](Form1& f) { setBox(f, 4, numberOr(u"2")); }},
        {"right", 21, [](Form1& f) { setBox(f, 4, numberOr(u"2")); }},
        {"store", 12, {}, true},
        {"sort-pinyin", 0, {}, false, "SortPinyin"},
        {"sort-natural", 0, {}, false, "SortNatural"},
        {"sort-length", 0, {}, false, "SortLength"},
        {"list-reverse", 0, {}, false, "ReverseLines"},
        {"list-dedup", 0, {}, false, "ExactDedup"},
        {"list-unique", 0, {}, false, "UniqueOnly"},
        {"list-duplicates", 0, {}, false, "DuplicatesOnly"},
        {"list-count", 0, {}, false, "CountLines"},
        {"list-stats", 0, {}, false, "Statistics"},
        {"list-subtract", 0, {}, false, "SubtractTemp"},
        {"list-intersect", 0, {}, false, "IntersectTemp"},
        {"list-union", 0, {}, false, "UnionTemp"},
        {"remove-all-keywords",
         0,
         [](Form1& f) { f.list()->setContent(benchKeywordList(f.quan()->content())); },
         false,
         "RemoveAllKeywords"},
        {"regex-keep", 0, setRegex, false, "RegexKeep"},
        {"regex-remove", 0, setRegex, false, "RegexRemove"},
        {"regex-extract", 0, setRegex, false, "RegexExtract"},
    };
    return ops;
}

const WindowOp* find(const QString& name)
{
    for (const WindowOp& op : windowOps()) {
        if (name == QLatin1String(op.name))
            return &op;
    }
    return nullptr;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A point in wall and CPU time: on a shared machine the CPU time says what the wall time owes
// to other programs.
struct Instant
{
    double wall;
    double cpu;

    static Instant now()
    {
        static const QElapsedTimer clock = [] {
            QElapsedTimer t;
            t.start();
            return t;
        }();
        return {static_cast<double>(clock.nsecsElapsed()) / 1e9, cpuSeconds()};
    }
    Measure since(const Instant& start) const
    {
        return {wall - start.wall, cpu - start.cpu};
    }
};

// Counts the paints of a widget and when the last one ended, so a measurement can end when
// the change is on screen.
class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(QWidget* widget)
    {
        widget->installEventFilter(this);
    }
    int count() const
    {
        return m_count;
    }
    Instant lastEnd() const
    {
        return m_lastEnd;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || m_inside)
            return false;
        // Delivered from here, to see when it is done.
        m_inside = true;
        QApplication::sendEvent(watched, event);
        m_inside = false;
        ++m_count;
        m_lastEnd = Instant::now();
        return true;
    }

private:
    int m_count = 0;
    bool m_inside = false;
    Instant m_lastEnd{};
};

// Runs the event loop until the view has painted after `before` paints and then painted no
// more for a while: a change often brings a second paint (the scroll bars it resized).
// Returns when the last paint ended.
Instant settle(const PaintCounter& paints, int before)
{
    QElapsedTimer waited;
    waited.start();
    while (paints.count() == before && waited.elapsed() < 60'000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (paints.count() == before)
        qWarning("the view never painted");
    for (int seen = -1; seen != paints.count();) {
        seen = paints.count();
        QEventLoop quiet;
        QTimer::singleShot(100, &quiet, &QEventLoop::quit);
        quiet.exec();
    }
    return paints.lastEnd();
}

// What a user feels of a text in quan: its paste, a key typed into it, and the idle window.
// Each returns its measure for one fresh window.
struct ViewOp
{
    const char* name;
    Measure (*run)(TextArea& quan, const PaintCounter& paints, QString text);
};

Measure pasteSeconds(TextArea& quan, const PaintCounter& paints, QString text)
{
    const int before = paints.count();
    const Instant start = Instant::now();
    quan.setContent(std::move(text));
    return settle(paints, before).since(start);
}

void pasteAndSettle(TextArea& quan, const PaintCounter& paints, QString text)
{
    const int before = paints.count();
    quan.setContent(std::move(text));
    settle(paints, before);
}

Measure keystrokeSeconds(TextArea& quan, const PaintCounter& paints, QString text)
{
    pasteAndSettle(quan, paints, std::move(text));
    // The caret at the end of the first line, as End puts it, and the view there.
    quan.SendScintilla(QsciScintillaBase::SCI_GOTOPOS,
                       quan.SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, 0UL));
    const int moved = paints.count();
    quan.viewport()->update();
    settle(paints, moved);
    const long length = quan.SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    const int before = paints.count();
    const Instant start = Instant::now();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(&quan, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(&quan, &release);
    const Measure measure = settle(paints, before).since(start);
    if (quan.SendScintilla(QsciScintillaBase::SCI_GETLENGTH) != length + 1)
        qWarning("the key typed nothing");
    return measure;
}

// Reported as its CPU seconds: the wall time is the 5 s it waits.
Measure idleCpuSeconds(TextArea& quan, const PaintCounter& paints, QString text)
{
    pasteAndSettle(quan, paints, std::move(text));
    const Instant start = Instant::now();
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = Instant::now().since(start).cpu;
    return {cpu, cpu};
}

constexpr ViewOp ViewOps[] = {
    {"paste", pasteSeconds},
    {"keystroke", keystrokeSeconds},
    {"idle", idleCpuSeconds},
};

const ViewOp* findView(const QString& name)
{
    for (const ViewOp& op : ViewOps) {
        if (name == QLatin1String(op.name))
            return &op;
    }
    return nullptr;
}

WindowRun runViewOp(const ViewOp& op, const QString& path, int runs)
{
    WindowRun result;
    std::vector<Measure> measures;
    for (int r = 0; r < runs; ++r) {
        Form1 form;
        ConnectCommands(form);
        form.show();
        form.activateWindow();
        TextArea& quan = *form.quan();
        // The user has clicked into the area: its caret blinks.
        quan.setFocus();
        const PaintCounter paints(quan.viewport());
        QApplication::processEvents();
        QString text;
        {
            const std::optional<QByteArray> bytes = readFile(path);
            if (!bytes)
                qFatal("cannot read the text");
            text = QString::fromUtf8(*bytes);
        }
        resetPeak();
        measures.push_back(op.run(quan, paints, std::move(text)));
        result.peakMb = std::max(result.peakMb, peakSinceResetMb());
    }
    std::sort(measures.begin(), measures.end(), [](const Measure& a, const Measure& b) { return a.wall < b.wall; });
    result.seconds = measures[measures.size() / 2].wall;
    result.cpuSeconds = measures[measures.size() / 2].cpu;
    return result;
}

// The longest the event loop waits while it runs until `done`: a 1 ms timer measures its own
// lateness. Returns milliseconds; -1 when `done` never came within a minute.
double longestGap(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QEventLoop loop;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (done() || now > qint64{60} * 1'000'000'000)
            loop.quit();
    });
    tick.start();
    loop.exec();
    return done() ? static_cast<double>(longest) / 1e6 : -1;
}

// The snapshots of one window holding the file: first its whole text as a command writes it
// (the bytes handed over, the writer's time measured), then a shuffle of every line, then a key
// typed into it (the text copied from the area into room made ready, its snapshot the usual
// 3 s later), then 存储→ (dat's text copied at once). The state folder is a temporary one.
WindowRun runSnapshotOp(const QString& path, int runs)
{
    WindowRun result;
    std::vector<double> seconds;
    std::vector<double> command;
    std::vector<double> typing;
    std::vector<double> store;
    for (int r = 0; r < runs; ++r) {
        const QTemporaryDir state;
        SnapshotOptions options;
        options.root = state.filePath(QStringLiteral("lumbrel"));
        Form1 form;
        ConnectCommands(form);
        SnapshotKeeper& keeper = KeepSnapshots(form, options);
        form.show();
        QApplication::processEvents();
        int written = 0;
        double writerSeconds = 0;
        QObject::connect(&keeper, &SnapshotKeeper::snapshotWritten, &form, [&](bool ok, double s) {
            if (!ok)
                qFatal("a snapshot failed: %s", qPrintable(form.windowTitle()));
            ++written;
            writerSeconds = s;
        });
        {
            const std::optional<QByteArray> bytes = readFile(path);
            if (!bytes)
                qFatal("cannot read the text");
            form.quan()->setContent(QString::fromUtf8(*bytes));
        }
        if (longestGap([&] { return written == 1; }) < 0)
            qFatal("no snapshot of the text");
        seconds.push_back(writerSeconds);
        // A command: the click is the command's time, the gaps after it the snapshot's.
        form.command(25)->click();
        command.push_back(longestGap([&] { return written == 2; }));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(form.quan(), &press);
        typing.push_back(longestGap([&] { return written == 3; }));
        // 存储→ appends linshi to dat: no bytes to hand over, dat's text is copied.
        form.linshi()->setContent(form.quan()->content());
        if (longestGap([&] { return written == 4; }) < 0)
            qFatal("no snapshot of linshi");
        form.command(12)->click();
        store.push_back(longestGap([&] { return written == 5; }));
    }
    // Medians: a shared virtual machine stalls a whole process for 0.1 s now and then, whatever
    // it does; the longest of all is there too.
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    result.seconds = median(seconds);
    result.gapMs = median(command);
    result.typingGapMs = median(typing);
    result.copyGapMs = median(store);
    for (const std::vector<double>* v : {&command, &typing, &store})
        result.maxGapMs = std::max(result.maxGapMs, *std::max_element(v->begin(), v->end()));
    result.peakMb = peakMb();
    return result;
}

} // namespace

bool hasWindowOp(const QString& name)
{
    return find(name) != nullptr || findView(name) != nullptr || isFileWindowOp(name) ||
           name == QLatin1String("snapshot");
}

QStringList windowOpNames()
{
    QStringList names;
    for (const WindowOp& op : windowOps())
        names.append(QLatin1String(op.name));
    return names;
}

WindowRun runWindowOp(const QString& name, const QString& path, int runs)
{
    if (const ViewOp* view = findView(name))
        return runViewOp(*view, path, runs);
    if (isFileWindowOp(name))
        return runFileWindowOp(name, path, runs);
    if (name == QLatin1String("snapshot"))
        return runSnapshotOp(path, runs);
    const WindowOp* op = find(name);
    WindowRun result;
    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
        // A fresh window each run: one paste, one click, as a user starts a list.
        if (r == 0)
            resetPeak();
        Form1 form;
        ConnectCommands(form);
        form.show();
        QApplication::processEvents();
        if (r == 0)
            result.idlePeakMb = peakSinceResetMb();
        TextArea* source = op->toLinshi ? form.linshi() : form.quan();
        {
            // Put in as a paste or an opened file would: straight into the area, held nowhere else.
            const std::optional<QByteArray> bytes = readFile(path);
            if (!bytes)
                qFatal("cannot read the text");
            source->SendScintilla(QsciScintillaBase::SCI_SETTEXT, bytes->constData());
        }
        if (op->prepare)
            op->prepare(form);
        if (op->button && QByteArrayView(op->button).endsWith("Temp"))
            fillTemp(form, path);
        form.setStatus(QStringLiteral("bench"));
        QApplication::processEvents();
        // The paste's own peak is the editor's; from here on it is the command's.
        resetPeak();
        QElapsedTimer t;
        t.start();
        QPushButton* button =
            op->button ? form.findChild<QPushButton*>(QLatin1String(op->button)) : form.command(op->command);
        button->click();
        // The commands finish inside the click; the repaint shows the result.
        QApplication::processEvents();
        seconds.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
        result.peakMb = std::max(result.peakMb, peakSinceResetMb());
        if (op->command != 25 &&
            (form.windowTitle() == QStringLiteral("bench") || form.windowTitle() == QStringLiteral("工作区没有内容")))
            qWarning("%s showed no message", op->name);
    }
    std::sort(seconds.begin(), seconds.end());
    result.seconds = seconds[seconds.size() / 2];
    return result;
}

} // namespace lumbrel::bench
