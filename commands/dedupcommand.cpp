#include "commands/commands.h"
#include "commands/lineresult.h"
#include "lineops/dedup.h"
#include "shell/form1.h"

#include <QPushButton>

namespace lumbrel {

void ConnectDedupCommand(Form1& form)
{
    QObject::connect(form.command(1), &QPushButton::clicked, &form, [&form] {
        // The read text is a temporary: it is gone before the result is written.
        LineOpResult r = RemoveDuplicates(form.quan()->content(), form.meter());
        FinishLineCommand(form, std::move(r), form.quan(), u"去重复完毕剩余：");
    });
}

} // namespace lumbrel
