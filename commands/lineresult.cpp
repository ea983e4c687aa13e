#include "commands/lineresult.h"

#include "shell/form1.h"

namespace lumbrel {

QString CountMessage(QStringView prefix, qsizetype count)
{
    return prefix.toString() + QString::number(count) + QStringLiteral("行");
}

std::optional<qsizetype> WriteResult(Form1& form, LineOpResult result, TextArea* target)
{
    if (result.refused()) {
        form.setStatus(result.refusal);
        return std::nullopt;
    }
    const qsizetype count = target->setContent(std::move(result.text));
    if (result.setAside)
        form.linshi()->setContent(*std::move(result.setAside));
    return count;
}

void FinishLineCommand(Form1& form, LineOpResult result, TextArea* target, QStringView prefix)
{
    if (const std::optional<qsizetype> count = WriteResult(form, std::move(result), target))
        form.setStatus(CountMessage(prefix, *count));
}

} // namespace lumbrel
