#include "shell/progressbarmeter.h"

#include <QProgressBar>

#include <limits>

namespace lumbrel {

namespace {
constexpr qsizetype StepsBetweenClockReads = 4096;
constexpr qint64 PaintIntervalMs = 40;
constexpr qsizetype BarLimit = std::numeric_limits<int>::max();

int scaled(qsizetype v, qsizetype max)
{
    if (max <= BarLimit)
        return static_cast<int>(v);
    return static_cast<int>(static_cast<double>(v) / static_cast<double>(max) * BarLimit);
}
} // namespace

ProgressBarMeter::ProgressBarMeter(QProgressBar* bar)
    : m_bar(bar)
{
}

void ProgressBarMeter::start(qsizetype max)
{
    m_max = max;
    m_value = 0;
    m_bar->setMinimum(0);
    m_bar->setMaximum(static_cast<int>(std::min(max, BarLimit)));
    m_bar->setVisible(true);
    m_bar->setValue(0);
    m_untilCheck = StepsBetweenClockReads;
    m_sincePaint.start();
}

void ProgressBarMeter::step()
{
    if (m_value < m_max)
        ++m_value;
    if (--m_untilCheck > 0)
        return;
    m_untilCheck = StepsBetweenClockReads;
    if (m_sincePaint.elapsed() >= PaintIntervalMs)
        show();
}

void ProgressBarMeter::show()
{
    m_bar->setValue(scaled(m_value, m_max));
    m_bar->repaint();
    m_sincePaint.restart();
}

void ProgressBarMeter::pulse(qsizetype done, qsizetype total)
{
    if (total <= 0 || m_sincePaint.elapsed() < PaintIntervalMs)
        return;
    const auto shown = static_cast<qsizetype>(static_cast<double>(done) / static_cast<double>(total) * m_max);
    m_bar->setValue(scaled(shown, m_max));
    m_bar->repaint();
    m_sincePaint.restart();
}

void ProgressBarMeter::finish()
{
    m_value = 0;
    m_bar->setValue(0);
}

} // namespace lumbrel
