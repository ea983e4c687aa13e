#pragma once

#include "lineops/progressmeter.h"

#include <QElapsedTimer>

class QProgressBar;

namespace lumbrel {

// Drives ProgressBar1. During a long loop the bar is repainted a few dozen times a second
// at most; no events are processed, so no user input is taken mid-command.
class ProgressBarMeter final : public ProgressMeter
{
public:
    explicit ProgressBarMeter(QProgressBar* bar);

    void start(qsizetype max) override;
    void step() override;
    void finish() override;
    void pulse(qsizetype done, qsizetype total) override;

private:
    void show();

    QProgressBar* m_bar;
    qsizetype m_value = 0;
    qsizetype m_max = 0;
    qsizetype m_untilCheck = 0;
    QElapsedTimer m_sincePaint;
};

} // namespace lumbrel
