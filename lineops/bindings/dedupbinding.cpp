#include "lineops/bindings/bindings.h"
#include "lineops/dedup.h"
#include "shell/form1.h"

#include <QPushButton>

namespace lumbrel {

void bindDedup(Form1& form)
{
    QObject::connect(form.command(1), &QPushButton::clicked, &form, [&form] {
        const QString text = form.quan()->content();
        const LineOpResult r = RemoveDuplicates(text, form.meter());
        if (r.refused()) {
            form.setStatus(r.refusal);
            return;
        }
        const qsizetype count = form.quan()->setContent(r.text);
        form.setStatus(QStringLiteral("去重复完毕剩余：") + QString::number(count) + QStringLiteral("行"));
    });
}

} // namespace lumbrel
