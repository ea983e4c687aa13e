#pragma once

// Helpers shared by the tests of the pure operations (Qt Core only).
#include "lineops/linemodel.h"
#include "lineops/progressmeter.h"

#include <QRandomGenerator>
#include <QStringList>

namespace lumbrel::testing {

inline const QString CRLF = QStringLiteral("\r\n");

// Remembers how a line loop drove it; `started` stays -1 when the loop never began.
class RecordingMeter final : public ProgressMeter
{
public:
    void start(qsizetype max) override
    {
        started = max;
    }
    void step() override
    {
        ++steps;
    }
    void finish() override
    {
        ++finished;
    }
    qsizetype started = -1;
    qsizetype steps = 0;
    int finished = 0;
};

// Front-joining as the commands describe it: every line prepended in turn. Quadratic, so
// for small inputs only.
inline QString literalFrontJoin(const QStringList& lines)
{
    QString built;
    for (const QString& line : lines)
        built = line + CRLF + built;
    return built;
}

// Grouped front-joining as the commands describe it: a line counter, the group closed (and
// the counter reset) when it passes 2000, each join a prepend.
inline QString literalGroupedJoin(const QStringList& lines)
{
    QString built;
    QString group;
    int count = 0;
    for (const QString& line : lines) {
        if (++count > 2000) {
            built = group + CRLF + built;
            group.clear();
            count = 0;
        }
        group = line + CRLF + group;
    }
    return group + CRLF + built;
}

// The lines by the list rule, written out plainly: split at every CR LF, then drop the empty
// piece a final CR LF leaves.
inline QStringList literalLines(const QString& text)
{
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(CRLF);
    if (text.endsWith(CRLF))
        lines.removeLast();
    return lines;
}

// Every line followed by CR LF.
inline QString literalJoin(const QStringList& lines)
{
    QString out;
    for (const QString& line : lines)
        out += line + CRLF;
    return out;
}

// `length` code units drawn from `alphabet`.
inline QString randomText(QRandomGenerator& rng, const QString& alphabet, int length)
{
    QString s;
    for (int k = 0; k < length; ++k)
        s.append(alphabet[rng.bounded(static_cast<int>(alphabet.size()))]);
    return s;
}

} // namespace lumbrel::testing
