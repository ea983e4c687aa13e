#include "commands/commands.h"
#include "commands/lineresult.h"
#include "lineops/keywords.h"
#include "lineops/lineset.h"
#include "lineops/linesort.h"
#include "lineops/regexlines.h"
#include "shell/form1.h"

#include <QCheckBox>
#include <QPushButton>

#include <future>

namespace lumbrel {

namespace {

// How the page's three check boxes say lines are compared.
LineFolds foldsOf(const MorePage& page)
{
    LineFolds folds;
    folds.setFlag(LineFold::Case, page.ignoreCase()->isChecked());
    folds.setFlag(LineFold::Spaces, page.ignoreSpaces()->isChecked());
    folds.setFlag(LineFold::Width, page.ignoreWidth()->isChecked());
    return folds;
}

// Writes a list command's result (quan, and linshi where lines moved there) and shows
// `done`, the lines left, and what became of the others: "精确去重完毕剩余：9行，重复的3行移到临时区".
void finish(Form1& form, ListOpResult r, QStringView done, QStringView others = {})
{
    const qsizetype removed = r.removed;
    const std::optional<qsizetype> count = WriteResult(form, std::move(r), form.quan());
    if (!count)
        return;
    QString message = CountMessage(QString(done.toString() + u"完毕剩余："), *count);
    if (!others.isEmpty())
        message += u"，" + others.toString().arg(removed);
    form.setStatus(message);
}

} // namespace

void ConnectMoreCommands(Form1& form)
{
    MorePage* page = form.morePage();
    const auto onClick = [&form, page](MoreCommand command, auto run) {
        QObject::connect(page->command(command), &QPushButton::clicked, &form, run);
    };
    // Each handler reads the areas into temporaries that are gone before the result is written.
    const auto sort = [&form](SortOrder order, QStringView done) {
        ListOpResult r = SortLines(form.quan()->content(), order, form.meter());
        finish(form, std::move(r), done);
    };
    onClick(MoreCommand::SortPinyin, [=] { sort(SortOrder::Pinyin, u"拼音排序"); });
    onClick(MoreCommand::SortNatural, [=] { sort(SortOrder::Natural, u"自然排序"); });
    onClick(MoreCommand::SortLength, [=] { sort(SortOrder::Length, u"按长度排序"); });
    onClick(MoreCommand::ReverseLines, [&form] {
        ListOpResult r = ReverseLines(form.quan()->content());
        finish(form, std::move(r), u"倒转顺序");
    });

    using OneList = ListOpResult (*)(QStringView, LineFolds, ProgressMeter&);
    const auto oneList = [&form, page](OneList op, QStringView done, QStringView others) {
        ListOpResult r = op(form.quan()->content(), foldsOf(*page), form.meter());
        finish(form, std::move(r), done, others);
    };
    onClick(MoreCommand::ExactDedup, [=] { oneList(ExactDedup, u"精确去重", u"重复的%1行移到临时区"); });
    onClick(MoreCommand::UniqueOnly, [=] { oneList(UniqueOnly, u"只留唯一", u"重复的%1行移到临时区"); });
    onClick(MoreCommand::DuplicatesOnly, [=] { oneList(DuplicatesOnly, u"只留重复", u"其余%1行移到临时区"); });
    onClick(MoreCommand::CountLines, [=] { oneList(CountOccurrences, u"统计频次", {}); });

    using TwoLists = ListOpResult (*)(QStringView, QStringView, LineFolds, ProgressMeter&);
    const auto withTemp = [&form, page](TwoLists op, QStringView done, QStringView others) {
        // The two areas are decoded at once, one on each core: a million lines take a tenth of
        // a second. Nothing changes linshi meanwhile, so its bytes hold still.
        std::future<QString> temp =
            std::async(std::launch::async, [bytes = form.linshi()->utf8()] { return QString::fromUtf8(bytes); });
        const QString quan = form.quan()->content();
        ListOpResult r = op(quan, temp.get(), foldsOf(*page), form.meter());
        finish(form, std::move(r), done, others);
    };
    onClick(MoreCommand::SubtractTemp, [=] { withTemp(SubtractLines, u"减去临时区", u"减去%1行"); });
    onClick(MoreCommand::IntersectTemp, [=] { withTemp(IntersectLines, u"与临时区交集", u"去掉%1行"); });
    onClick(MoreCommand::UnionTemp, [=] { withTemp(UnionLines, u"并入临时区", u"去掉重复的%1行"); });

    onClick(MoreCommand::RemoveAllKeywords, [&form, page] {
        ListOpResult r =
            RemoveAllKeywords(form.quan()->content(), form.list()->content(), foldsOf(*page), form.meter());
        finish(form, std::move(r), u"一次去除全部关键词", u"%1行移到临时区");
    });
    const auto regex = [&form, page](RegexMode mode, QStringView done, QStringView others) {
        const QString text = form.quan()->content();
        ListOpResult r = RegexLines(text,
                                    page->regexBox()->text(),
                                    mode,
                                    page->ignoreCase()->isChecked(),
                                    form.meter(),
                                    ExtractTimeLimit(text));
        finish(form, std::move(r), done, others);
    };
    onClick(MoreCommand::RegexKeep, [=] { regex(RegexMode::Keep, u"正则保留", u"%1行移到临时区"); });
    onClick(MoreCommand::RegexRemove, [=] { regex(RegexMode::Remove, u"正则删除", u"%1行移到临时区"); });
    onClick(MoreCommand::RegexExtract, [=] { regex(RegexMode::Extract, u"正则提取", {}); });

    onClick(MoreCommand::Statistics, [&form, page] {
        const ListStatistics s = LineStatistics(form.quan()->content(), foldsOf(*page), form.meter());
        form.setStatus(s.refused() ? s.refusal : s.message());
    });
}

} // namespace lumbrel
