#include "commands/commands.h"
#include "commands/lineresult.h"
#include "lineops/filters.h"
#include "shell/form1.h"

#include <QPushButton>

namespace lumbrel {

// Each handler reads its area into a temporary that is gone before the result is written: on
// a huge list that is a whole text less in the peak.
void ConnectFilterCommands(Form1& form)
{
    const auto onClick = [&form](int command, auto handler) {
        QObject::connect(form.command(command), &QPushButton::clicked, &form, handler);
    };
    const auto removeEmptyLines = [&form](TextArea* area) {
        LineOpResult r = RemoveEmptyLines(area->content());
        FinishLineCommand(form, std::move(r), area, u"去空行完毕剩余：");
    };
    onClick(2, [=, &form] { removeEmptyLines(form.quan()); });
    onClick(26, [=, &form] { removeEmptyLines(form.list()); });

    const auto filterChinese = [&form](ChineseFilter mode, QStringView prefix) {
        LineOpResult r = FilterChinese(form.quan()->content(), mode);
        FinishLineCommand(form, std::move(r), form.quan(), prefix);
    };
    onClick(3, [=] { filterChinese(ChineseFilter::KeepChinese, u"去英文完毕剩余："); });
    onClick(4, [=] { filterChinese(ChineseFilter::KeepOther, u"去汉字完毕剩余："); });

    // Text2 is read as typed: the number parser allows the spaces around it.
    const auto filterByLength = [&form](LengthFilter mode, QStringView prefix) {
        LineOpResult r = FilterByLength(form.quan()->content(), form.textBox(2)->text(), mode, form.meter());
        FinishLineCommand(form, std::move(r), form.quan(), prefix);
    };
    onClick(6, [=] { filterByLength(LengthFilter::KeepShorter, u"去位长完毕剩余："); });
    onClick(7, [=] { filterByLength(LengthFilter::KeepLonger, u"去位短完毕剩余："); });
}

} // namespace lumbrel
