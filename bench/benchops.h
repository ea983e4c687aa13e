#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace lumbrel::bench {

// One measured operation: `run` gets the file's text (UTF-16) and does the work once.
struct BenchOp
{
    QString name;
    std::function<void(const QString& text)> run;
    bool needsWidgets = false;
};

// Adds an operation to the registry; each ops_*.cpp registers its own at start-up.
bool registerOp(BenchOp op);

// Runs the named command through the real window (offscreen): the file's text is put into
// quan, the button clicked, and the time from click to message measured. Returns false
// when no command has that name.
bool hasWindowOp(const QString& name);
QStringList windowOpNames();
double runWindowOp(const QString& name, const QString& text, int runs);

} // namespace lumbrel::bench
