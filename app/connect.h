#pragma once

#include <QStringList>

namespace lumbrel {

class Form1;

// Connects every command and the batch job to `form` and puts on every control the tooltip
// that explains it: call it right after constructing the window. Form1 alone is controls
// without behaviour.
void ConnectCommands(Form1& form);

// `lumbrel FILE`: opens the file into quan (the first of the arguments; the others are
// ignored).
void OpenFromCommandLine(Form1& form, const QStringList& arguments);

} // namespace lumbrel
