#pragma once

namespace lumbrel {

class Form1;

// Connect the buffer transfer commands (Command10 to Command13, Command15).
void bindTransfers(Form1& form);

} // namespace lumbrel
