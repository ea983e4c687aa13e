// lumbrel-bench [--runs N] [--window] [--op NAME]... [--keyword TEXT] [--number N] FILE...
// lumbrel-bench --op fetch-gaps   (no file: the window's stalls during hostile fetches)
// lumbrel-bench --op open FILE / --op save FILE   (through the window: seconds, peak and the
// longest event-loop gap, gap_ms)
// Runs each operation on each file in a child process of its own (so the peak memory is the
// operation's) and prints: op=NAME lines=N mb=UTF8_MB seconds=MEDIAN peak_mb=PEAK cpu_s=MEAN_CPU
// With --window the commands run through the real window, offscreen, click to message; the
// window ops paste, keystroke, idle (CPU seconds over 5 s) and snapshot (seconds: the writer's
// for the whole text; gap_ms, typing_gap_ms, store_gap_ms: the longest event-loop gaps while the
// snapshots of a command, a keystroke and 存储→ are taken and written, medians of the runs;
// max_gap_ms: the longest of all) are run only when named.
// The file ops decode-file and save-file work on the file itself (read, detect and decode it;
// write it back to a temporary file beside it) rather than on its text.
// lumbrel-bench --make-line CHARS FILE writes one line of CHARS units of page-like text.
// --keyword and --number fill the box of every command that takes a text or a number
// (defaults: "手机" for contains, remove and replace, each other command its own; 10 for
// shorter and longer, 2 for left and right).
#include "app/hugepages.h"
#include "bench/benchops.h"
#include "lineops/linemodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace lumbrel::bench {

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void resetPeak()
{
    // Linux resets the resident peak (VmHWM) on "5" written here.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double peakSinceResetMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return peakMb();
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    }
    return peakMb();
}

namespace {
std::map<QString, BenchOp>& registry()
{
    static std::map<QString, BenchOp> ops;
    return ops;
}

void report(const QString& name, qsizetype lines, qsizetype bytes, double seconds, double peak, const char* extra = "")
{
    std::printf("op=%s lines=%lld mb=%.1f seconds=%.3f peak_mb=%.0f%s\n",
                qPrintable(name),
                static_cast<long long>(lines),
                static_cast<double>(bytes) / 1e6,
                seconds,
                peak,
                extra);
    std::fflush(stdout);
}

} // namespace

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "lumbrel-bench: cannot read %s\n", qPrintable(path));
        return std::nullopt;
    }
    return file.readAll();
}

namespace {

int runInWindow(const QString& name, const QString& path, int runs, int argc, char** argv)
{
    qsizetype lines = 0;
    qsizetype size = 0;
    {
        // Counted, then let go: the peak is to be the window's, not this program's copy.
        const std::optional<QByteArray> bytes = readFile(path);
        if (!bytes)
            return 2;
        // CountLines on the bytes: UTF-8 keeps every LF a byte of its own.
        if (bytes->contains("\r\n"))
            lines = bytes->count('\n') + (bytes->endsWith('\n') ? 0 : 1);
        size = bytes->size();
    }
    QApplication app(argc, argv);
    const WindowRun run = runWindowOp(name, path, runs);
    QString extra = QStringLiteral(" idle_mb=%1").arg(run.idlePeakMb, 0, 'f', 0);
    if (run.cpuSeconds >= 0)
        extra += QStringLiteral(" cpu_s=%1").arg(run.cpuSeconds, 0, 'f', 3);
    if (run.gapMs >= 0)
        extra += QStringLiteral(" gap_ms=%1").arg(run.gapMs, 0, 'f', 1);
    if (run.typingGapMs >= 0) {
        extra += QStringLiteral(" typing_gap_ms=%1 store_gap_ms=%2 max_gap_ms=%3")
                     .arg(run.typingGapMs, 0, 'f', 1)
                     .arg(run.copyGapMs, 0, 'f', 1)
                     .arg(run.maxGapMs, 0, 'f', 1);
    }
    const QByteArray idle = extra.toLatin1();
    report(name + QStringLiteral("@window"), lines, size, run.seconds, run.peakMb, idle.constData());
    return 0;
}

int runOnFile(const BenchOp& op, const QString& path, int runs, int argc, char** argv)
{
    // The file is not read first: reading it is the op.
    const QCoreApplication app(argc, argv);
    const qsizetype size = QFileInfo(path).size();
    resetPeak();
    std::vector<double> seconds;
    qsizetype lines = 0;
    for (int r = 0; r < runs; ++r)
        seconds.push_back(op.runFile(path, lines));
    std::sort(seconds.begin(), seconds.end());
    report(op.name, lines, size, seconds[seconds.size() / 2], peakSinceResetMb());
    return 0;
}

int runOne(const BenchOp& op, const QString& path, int runs, int argc, char** argv)
{
    if (op.runFile)
        return runOnFile(op, path, runs, argc, argv);
    std::optional<QByteArray> bytes = readFile(path);
    if (!bytes)
        return 2;
    const QString text = QString::fromUtf8(*bytes);
    const qsizetype size = bytes->size();
    // The file's bytes are no part of the operation: its peak counts the text it works on.
    bytes.reset();
    std::unique_ptr<QCoreApplication> app;
    if (op.needsWidgets)
        app = std::make_unique<QApplication>(argc, argv);
    resetPeak();
    std::vector<double> seconds;
    // CPU time (both cores summed) as well: on a shared machine it varies less than the wall time.
    const auto cpuNow = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const double cpuBefore = cpuNow();
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        op.run(text);
        seconds.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    const QByteArray cpu = QStringLiteral(" cpu_s=%1").arg((cpuNow() - cpuBefore) / runs, 0, 'f', 3).toLatin1();
    std::sort(seconds.begin(), seconds.end());
    report(op.name, CountLines(text), size, seconds[seconds.size() / 2], peakSinceResetMb(), cpu.constData());
    return 0;
}
// One line without a break, like a fetched page stripped of its tags: about two thirds Chinese
// (three UTF-8 bytes each), the rest words, numbers and punctuation. The same every time.
int makeLine(qsizetype units, const QString& path)
{
    static const QString chinese =
        QString::fromUtf16(u"的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动"
                           u"同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自"
                           u"手机价格新款官网首页登录注册购物车联系我们关于版权所有");
    static const char* const words[] = {
        "home", "news", "login", "2024", "iPhone", "http", "www", "page", "list", "more"};
    quint32 state = 1;
    const auto next = [&state](quint32 bound) {
        state = state * 1664525U + 1013904223U;
        return (state >> 8) % bound;
    };
    QString line;
    line.reserve(units + 16);
    while (line.size() < units) {
        if (next(3) != 0) {
            for (quint32 n = 2 + next(10); n > 0; --n)
                line += chinese.at(next(static_cast<quint32>(chinese.size())));
            line += next(4) == 0 ? QString::fromUtf16(u"，") : QString();
        } else {
            line += QLatin1String(words[next(std::size(words))]);
            line += next(2) == 0 ? QStringLiteral(" ") : QStringLiteral(" | ");
        }
    }
    line.truncate(units);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(line.toUtf8()) < 0) {
        std::fprintf(stderr, "lumbrel-bench: cannot write %s\n", qPrintable(path));
        return 2;
    }
    return 0;
}

} // namespace

BoxParams& boxParams()
{
    static BoxParams params;
    return params;
}

QString keywordOr(const char16_t* fallback)
{
    return boxParams().keyword.value_or(QString::fromUtf16(fallback));
}

QString numberOr(const char16_t* fallback)
{
    return boxParams().number.value_or(QString::fromUtf16(fallback));
}

bool registerOp(BenchOp op)
{
    const QString name = op.name;
    registry()[name] = std::move(op);
    return true;
}

} // namespace lumbrel::bench

int main(int argc, char** argv)
{
    // As the program does: the window's numbers are the program's.
    lumbrel::RestartWithHugePages(argv);
    using namespace lumbrel::bench;
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    std::vector<QString> ops;
    std::vector<QString> files;
    int runs = 5;
    bool window = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QStringLiteral("--op") && i + 1 < argc) {
            ops.push_back(QString::fromLocal8Bit(argv[++i]));
        } else if (arg == QStringLiteral("--runs") && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == QStringLiteral("--keyword") && i + 1 < argc) {
            boxParams().keyword = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QStringLiteral("--number") && i + 1 < argc) {
            boxParams().number = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QStringLiteral("--make-line") && i + 2 < argc) {
            return makeLine(std::atoll(argv[i + 1]), QString::fromLocal8Bit(argv[i + 2]));
        } else if (arg == QStringLiteral("--window")) {
            window = true;
        } else if (arg == QStringLiteral("--list")) {
            for (const auto& [name, op] : registry())
                std::printf("%s\n", qPrintable(name));
            return 0;
        } else if (arg.startsWith(u'-')) {
            // An option it does not know is no file to read: the usage says what there is.
            files.clear();
            break;
        } else {
            files.push_back(arg);
        }
    }
    if (ops.size() == 1 && ops.front() == QStringLiteral("fetch-gaps"))
        return runFetchGaps(argc, argv);
    if (files.empty()) {
        std::fprintf(stderr,
                     "usage: lumbrel-bench [--runs N] [--window] [--op NAME]... [--keyword TEXT] [--number N] FILE...\n"
                     "       (--list names the ops)\n"
                     "       lumbrel-bench --make-line CHARS FILE\n");
        return 2;
    }
    if (ops.empty()) {
        if (window) {
            for (const QString& name : windowOpNames())
                ops.push_back(name);
        } else {
            for (const auto& [name, op] : registry())
                ops.push_back(name);
        }
    }
    int status = 0;
    for (const QString& name : ops) {
        const auto it = registry().find(name);
        const bool inWindow = window || isFileWindowOp(name);
        if (inWindow ? !hasWindowOp(name) : it == registry().end()) {
            std::fprintf(stderr, "lumbrel-bench: no %s named %s\n", window ? "window command" : "op", qPrintable(name));
            status = 2;
            continue;
        }
        for (const QString& file : files) {
            const pid_t child = fork();
            if (child == 0)
                _exit(inWindow ? runInWindow(name, file, runs, argc, argv)
                               : runOne(it->second, file, runs, argc, argv));
            int childStatus = 0;
            waitpid(child, &childStatus, 0);
            if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0)
                status = 1;
        }
    }
    return status;
}
