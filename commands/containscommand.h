#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace lumbrel {

class Form1;

// What a completed "去包含" run leaves for its end.
struct ContainsOutcome
{
    QString keyword;
    // The lines taken out of quan, front-joined.
    QString removed;
    // The lines left in quan.
    qsizetype remaining = 0;
};

// "去包含" (Command9): removes from quan every line holding Text2's keyword. The same run is
// the step of the batch job, which takes a completed run's outcome through the step hook:
// the job's protocol decides where the removed lines go and what follows. Without the hook
// taking it, a run ends plainly: the removed lines replace linshi and the status line counts
// quan. A refused run shows its message and changes nothing else, Label1 and the timers
// included, which is how a refused keyword halts the job.
class ContainsCommand final : public QObject
{
    Q_OBJECT

public:
    // True when the hook took the outcome; the plain end is then skipped.
    using StepHook = std::function<bool(const ContainsOutcome&)>;

    explicit ContainsCommand(Form1& form);

    void setStepHook(StepHook hook);

    // One run, as a click does: the filter, the window's new height, Label1 at "1", then the
    // hook or the plain end.
    void run();

    // "去包含", the keyword, "完毕剩余：", the count, "行".
    static QString message(const ContainsOutcome& outcome);

private:
    Form1& m_form;
    StepHook m_stepHook;
};

// Connects Command9 and Text2's double-click (the box shows the length of its text); the
// command is the window's child named "ContainsCommand".
ContainsCommand& ConnectContainsCommand(Form1& form);

} // namespace lumbrel
