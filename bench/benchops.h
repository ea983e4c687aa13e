#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace lumbrel::bench {

// One measured operation: `run` gets the file's text (UTF-16) and does the work once. An op
// on the file itself (reading, saving) has `runFile` instead: it gets the path, does the
// work once, sets the number of lines and returns the seconds the work took (its set-up
// left out).
struct BenchOp
{
    QString name;
    std::function<void(const QString& text)> run;
    bool needsWidgets = false;
    std::function<double(const QString& path, qsizetype& lines)> runFile = {};
};

// The parameters of the commands that take a box, given by --keyword and --number. A command
// keeps its own default when one is not given.
struct BoxParams
{
    std::optional<QString> keyword;
    std::optional<QString> number;
};
BoxParams& boxParams();

// The keyword (or number) to type into a command's box: the one given, or `fallback`.
QString keywordOr(const char16_t* fallback);
QString numberOr(const char16_t* fallback);
// The keyword list of remove-all-keywords for `text`, CR LF between keywords.
const QString& benchKeywordList(const QString& text);

// Adds an operation to the registry; each ops_*.cpp registers its own at start-up.
bool registerOp(BenchOp op);

// Runs the named command through the real window (offscreen): the file is put into quan as
// a paste would, the button clicked, and the time from click to message measured. The view
// ops measure the area itself: paste (text set until painted), keystroke (a key at the end of
// the first line until painted) and idle (CPU seconds over 5 s of idle event loop); snapshot
// measures the crash snapshots (the writer's seconds for the whole text, and the longest the
// event loop waits while a command's and a keystroke's snapshots are taken and written). They
// are not among windowOpNames(), which lists the commands.
bool hasWindowOp(const QString& name);
QStringList windowOpNames();
struct Measure
{
    double wall = 0;
    double cpu = 0; // user and system time of this process
};
struct WindowRun
{
    double seconds = 0;     // median, click to message (idle: CPU seconds)
    double idlePeakMb = 0;  // the window shown, before any text
    double peakMb = 0;      // the highest resident memory during a command, text and window included
    double cpuSeconds = -1; // the view ops: CPU time of the median run
    // open and save: the longest event-loop gap while the file is read or written.
    // snapshot: the longest event-loop gap while a command's snapshot is taken and written
    // (median of the runs), the same for a keystroke's and for 存储→'s (their texts copied),
    // and the longest gap of all the runs.
    double gapMs = -1;
    double typingGapMs = -1;
    double copyGapMs = -1;
    double maxGapMs = -1;
};
WindowRun runWindowOp(const QString& name, const QString& path, int runs);

// `--op open` and `--op save`: a file read into quan and written out again, through the
// window; they run as window ops with or without --window.
bool isFileWindowOp(const QString& name);
WindowRun runFileWindowOp(const QString& name, const QString& path, int runs);

// `--op fetch-gaps`: the window's longest stall while a fetch meets each hostile server. It
// needs no file and prints one line per server.
int runFetchGaps(int argc, char** argv);

// The whole file, or nothing (with a message) when it cannot be read.
std::optional<QByteArray> readFile(const QString& path);

// Peak resident memory of this process so far.
double peakMb();

// The peak resident memory since the last resetPeak() (Linux; else the process's peak).
void resetPeak();
double peakSinceResetMb();

} // namespace lumbrel::bench
