#pragma once

namespace lumbrel {

class Form1;

// Connect the line commands of the window to their operations.
void bindDedup(Form1& form);    // Command1
void bindFilters(Form1& form);  // Command2, Command3, Command4, Command6, Command7, Command9, Command26, Text2
void bindRewrites(Form1& form); // Command5, Command8, Command16 to Command23, Command25

// The handler of Command9 ("去包含"), which the batch job's keyword step runs just as a
// click does.
void RunContainsFilter(Form1& form);

} // namespace lumbrel
