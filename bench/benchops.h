#pragma once

#include <QString>

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

} // namespace lumbrel::bench
