#pragma once

#include <QString>

#include <optional>

namespace lumbrel {

class Form1;

// Connect the line commands of the window to their operations.
void ConnectDedupCommand(Form1& form);    // Command1
void ConnectFilterCommands(Form1& form);  // Command2, Command3, Command4, Command6, Command7, Command26, Text2
void ConnectRewriteCommands(Form1& form); // Command5, Command8, Command16 to Command23, Command25

struct ContainsOutcome
{
    QString keyword;
    // The lines taken out of quan, front-joined.
    QString removed;
    // The lines left in quan.
    qsizetype remaining = 0;
};

// "去包含" (Command9) up to where a plain click and a step of the batch job part: the lines
// holding Text2's keyword are taken out of quan, the window takes its new height and Label1
// shows "1". Nothing when the keyword was refused: then only the status line has changed, so
// Label1 and the timers stay as they were.
std::optional<ContainsOutcome> ApplyContainsFilter(Form1& form);
// The end of a plain "去包含": the removed lines replace linshi and the status line counts quan.
void FinishContainsFilter(Form1& form, ContainsOutcome outcome);

} // namespace lumbrel
