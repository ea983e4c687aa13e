#pragma once

#include <QObject>

namespace lumbrel {

class ContainsCommand;
struct ContainsOutcome;
class Form1;

// The pauses of the job. The window uses the defaults; tests shorten them.
struct BatchDelays
{
    // After "开始", before the first step.
    int startMs = 300;
    // Before every keyword step; the window takes the user's input in these pauses.
    int stepMs = 100;
    // After a completed keyword step, before the job checks whether to go on.
    int continueMs = 1;
};

// The batch keyword removal job: Command24 and the ticks of Timer1 and Timer2. Its whole
// state lives in the window's controls: the keyword queue in `list`, the running mark in
// Check1, the hand-shake flag in Label1's caption, and the two one-shot timers (Timer1
// continues the job, Timer2 runs the next keyword step through "去包含"). It takes every
// completed "去包含" run while Check1 is ticked, a click's too, and the step it ran itself
// after the user unticked Check1: each puts its removed lines in front of linshi.
class BatchJob final : public QObject
{
    Q_OBJECT

public:
    // Connects itself to the window's controls and to `contains`, as the window's child.
    BatchJob(Form1& form, ContainsCommand& contains);

    void setDelays(const BatchDelays& delays)
    {
        m_delays = delays;
    }

private:
    void start();
    void finish();
    void continueJob();
    void keywordStep();
    bool takeStep(const ContainsOutcome& outcome);

    Form1& m_form;
    ContainsCommand& m_contains;
    BatchDelays m_delays;
    // While the job's own keyword step runs.
    bool m_stepping = false;
};

// Connect the job to the window; the job is the window's child named "BatchJob".
void ConnectBatchJob(Form1& form, ContainsCommand& contains);

} // namespace lumbrel
