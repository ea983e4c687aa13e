#include "app/connect.h"
#include "bench/benchops.h"
#include "shell/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <algorithm>
#include <functional>
#include <vector>

namespace lumbrel::bench {

namespace {

struct WindowOp
{
    const char* name;
    int command;
    std::function<void(Form1&)> prepare;
    bool toLinshi = false; // the command reads linshi (the store)
};

void setBox(Form1& form, int n, const QString& text)
{
    form.textBox(n)->setText(text);
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

} // namespace

bool hasWindowOp(const QString& name)
{
    return find(name) != nullptr;
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
        form.setStatus(QStringLiteral("bench"));
        QApplication::processEvents();
        // The paste's own peak is the editor's; from here on it is the command's.
        resetPeak();
        QElapsedTimer t;
        t.start();
        form.command(op->command)->click();
        // The commands finish inside the click; the repaint shows the result.
        QApplication::processEvents();
        seconds.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
        result.peakMb = std::max(result.peakMb, peakSinceResetMb());
        if (op->command != 25 && form.windowTitle() == QStringLiteral("bench"))
            qWarning("%s showed no message", op->name);
    }
    std::sort(seconds.begin(), seconds.end());
    result.seconds = seconds[seconds.size() / 2];
    return result;
}

} // namespace lumbrel::bench
