#pragma once

namespace lumbrel {

class Form1;

// Connects every command and the batch job to `form` and puts on every control the tooltip
// that explains it: call it right after constructing the window. Form1 alone is controls
// without behaviour.
void ConnectCommands(Form1& form);

} // namespace lumbrel
