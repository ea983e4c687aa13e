#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace lumbrel {

class Form1;

// objectName → the Chinese tooltip that states the control's real rule: what it does, which
// area it reads and writes, where removed lines go, what its box's value means.
const std::vector<std::pair<QString, QString>>& Tooltips();

// Puts every tooltip of the table on its control.
void ApplyTooltips(Form1& form);

} // namespace lumbrel
