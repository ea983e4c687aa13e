#pragma once

namespace lumbrel {

class Form1;

// Connect the batch keyword removal job: Command24 and the ticks of Timer1 and Timer2.
// The job's whole state lives in the window's controls: the keyword queue in `list`, the
// running mark in Check1, the hand-shake flag in Label1's caption, and the two one-shot
// timers (Timer1 continues the job, Timer2 runs the next keyword step through Command9).
void bindBatch(Form1& form);

} // namespace lumbrel
