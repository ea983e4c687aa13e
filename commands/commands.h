#pragma once

namespace lumbrel {

class Form1;

// Connect the line commands of the window to their operations. "去包含" (Command9), the
// transfers and the fetch have headers of their own.
void ConnectDedupCommand(Form1& form);    // Command1
void ConnectFilterCommands(Form1& form);  // Command2, Command3, Command4, Command6, Command7, Command26
void ConnectRewriteCommands(Form1& form); // Command5, Command8, Command16 to Command23, Command25
void ConnectMoreCommands(Form1& form);    // the page 更多处理

} // namespace lumbrel
