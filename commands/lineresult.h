#pragma once

#include "lineops/lineop.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace lumbrel {

class Form1;
class TextArea;

// `prefix`, the count and "行": the end of most messages.
QString CountMessage(QStringView prefix, qsizetype count);

// The one way a line command ends: a refusal only shows its message and changes nothing;
// otherwise the text goes into `target` and the set-aside text, when there is one, into
// linshi. Returns the line count of the new text, nothing when refused.
std::optional<qsizetype> WriteResult(Form1& form, LineOpResult result, TextArea* target);

// WriteResult, then `prefix` + the count + "行" on the status line.
void FinishLineCommand(Form1& form, LineOpResult result, TextArea* target, QStringView prefix);

} // namespace lumbrel
