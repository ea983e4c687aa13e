#pragma once

#include <QtGlobal>

namespace lumbrel {

// How a line loop reports its progress: start once with the number of lines, step after
// lines, finish at the end. The window drives its progress bar with it; tests and
// benchmarks pass a recording or a null meter.
class ProgressMeter
{
public:
    ProgressMeter() = default;
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;
    virtual ~ProgressMeter() = default;

    // Minimum 0, maximum `max`, shown, value 0.
    virtual void start(qsizetype max) = 0;
    // Value up by 1 while it is below the maximum.
    virtual void step() = 0;
    // Value back to 0; the bar stays shown.
    virtual void finish() = 0;

    // A long pass before the counted steps (the duplicate search) shows how far it is, so the
    // bar moves; it changes nothing of the counted value.
    virtual void pulse(qsizetype /*done*/, qsizetype /*total*/)
    {
    }
};

class NullProgressMeter final : public ProgressMeter
{
public:
    void start(qsizetype /*max*/) override
    {
    }
    void step() override
    {
    }
    void finish() override
    {
    }
};

} // namespace lumbrel
