#include "commands/commands.h"
#include "lineops/filters.h"
#include "shell/form1.h"

#include <QLabel>
#include <QPushButton>

namespace lumbrel {

namespace {

// Twips of the window's outer height after "去包含".
constexpr int ContainsFilterHeightTwips = 6705;

QString remaining(const char16_t* prefix, qsizetype count)
{
    return QString::fromUtf16(prefix) + QString::number(count) + QStringLiteral("行");
}

void runRemoveEmptyLines(Form1& form, TextArea* area)
{
    LineOpResult r = RemoveEmptyLines(area->content());
    if (r.refused()) {
        form.setStatus(r.refusal);
        return;
    }
    form.setStatus(remaining(u"去空行完毕剩余：", area->setContent(std::move(r.text))));
}

void runChineseFilter(Form1& form, ChineseFilter mode, const char16_t* prefix)
{
    LineOpResult r = FilterChinese(form.quan()->content(), mode);
    const qsizetype count = form.quan()->setContent(std::move(r.text));
    form.linshi()->setContent(std::move(r.setAside).value_or(QString()));
    form.setStatus(remaining(prefix, count));
}

void runLengthFilter(Form1& form, LengthFilter mode, const char16_t* prefix)
{
    // Text2 is read as typed: the number parser allows the spaces around it.
    LineOpResult r = FilterByLength(form.quan()->content(), form.textBox(2)->text(), mode, form.meter());
    if (r.refused()) {
        form.setStatus(r.refusal);
        return;
    }
    const qsizetype count = form.quan()->setContent(std::move(r.text));
    form.linshi()->setContent(std::move(r.setAside).value_or(QString()));
    form.setStatus(remaining(prefix, count));
}

// Double-click on Text2: the box shows the length of its own cleaned text, so a sample line
// pasted there gives the N of the length filters.
void measureText2(Form1& form)
{
    LineBox* box = form.textBox(2);
    box->setText(QString::number(StripLineBreaks(box->text()).size()));
}

} // namespace

std::optional<ContainsOutcome> ApplyContainsFilter(Form1& form)
{
    QString keyword = form.textBox(2)->text();
    LineOpResult r = RemoveContaining(form.quan()->content(), keyword, form.meter());
    if (r.refused()) {
        form.setStatus(r.refusal);
        return std::nullopt;
    }
    form.setOuterHeight(Form1::px(ContainsFilterHeightTwips));
    const qsizetype count = form.quan()->setContent(std::move(r.text));
    form.label(1)->setText(QStringLiteral("1"));
    return ContainsOutcome{std::move(keyword), std::move(r.setAside).value_or(QString()), count};
}

void FinishContainsFilter(Form1& form, ContainsOutcome outcome)
{
    form.linshi()->setContent(std::move(outcome.removed));
    form.setStatus(QStringLiteral("去包含") + outcome.keyword + remaining(u"完毕剩余：", outcome.remaining));
}

void ConnectFilterCommands(Form1& form)
{
    QObject::connect(
        form.command(2), &QPushButton::clicked, &form, [&form] { runRemoveEmptyLines(form, form.quan()); });
    QObject::connect(
        form.command(26), &QPushButton::clicked, &form, [&form] { runRemoveEmptyLines(form, form.list()); });
    QObject::connect(form.command(3), &QPushButton::clicked, &form, [&form] {
        runChineseFilter(form, ChineseFilter::KeepChinese, u"去英文完毕剩余：");
    });
    QObject::connect(form.command(4), &QPushButton::clicked, &form, [&form] {
        runChineseFilter(form, ChineseFilter::KeepOther, u"去汉字完毕剩余：");
    });
    QObject::connect(form.command(6), &QPushButton::clicked, &form, [&form] {
        runLengthFilter(form, LengthFilter::KeepShorter, u"去位长完毕剩余：");
    });
    QObject::connect(form.command(7), &QPushButton::clicked, &form, [&form] {
        runLengthFilter(form, LengthFilter::KeepLonger, u"去位短完毕剩余：");
    });
    QObject::connect(form.textBox(2), &LineBox::doubleClicked, &form, [&form] { measureText2(form); });
}

} // namespace lumbrel
