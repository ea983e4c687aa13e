#include "commands/commands.h"
#include "lineops/dedup.h"
#include "shell/form1.h"

#include <QPushButton>

namespace lumbrel {

void ConnectDedupCommand(Form1& form)
{
    QObject::connect(form.command(1), &QPushButton::clicked, &form, [&form] {
        // The read text is a temporary: it is gone before the result is written.
        LineOpResult r = RemoveDuplicates(form.quan()->content(), form.meter());
        if (r.refused()) {
            form.setStatus(r.refusal);
            return;
        }
        const qsizetype count = form.quan()->setContent(std::move(r.text));
        form.setStatus(QStringLiteral("去重复完毕剩余：") + QString::number(count) + QStringLiteral("行"));
    });
}

} // namespace lumbrel
