#pragma once

namespace lumbrel {

class Form1;

// Connect the page fetch command (Command14).
void bindFetch(Form1& form);

} // namespace lumbrel
