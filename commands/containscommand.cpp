#include "commands/containscommand.h"

#include "commands/lineresult.h"
#include "lineops/filters.h"
#include "shell/form1.h"

#include <QLabel>
#include <QPushButton>

namespace lumbrel {

namespace {

// Twips of the window's outer height after "去包含".
constexpr int ContainsFilterHeightTwips = 6705;

// Double-click on Text2: the box shows the length of its own cleaned text, so a sample line
// pasted there gives the N of the length filters.
void measureText2(Form1& form)
{
    LineBox* box = form.textBox(2);
    box->setText(QString::number(StripLineBreaks(box->text()).size()));
}

} // namespace

ContainsCommand::ContainsCommand(Form1& form)
    : QObject(&form)
    , m_form(form)
{
    setObjectName(QStringLiteral("ContainsCommand"));
}

void ContainsCommand::setStepHook(StepHook hook)
{
    m_stepHook = std::move(hook);
}

void ContainsCommand::run()
{
    // Text2 is read as typed: a keyword's spaces count.
    QString keyword = m_form.textBox(2)->text();
    LineOpResult r = RemoveContaining(m_form.quan()->content(), keyword, m_form.meter());
    std::optional<QString> removed = std::exchange(r.setAside, std::nullopt);
    const std::optional<qsizetype> remaining = WriteResult(m_form, std::move(r), m_form.quan());
    if (!remaining)
        return;
    m_form.setOuterHeight(Form1::px(ContainsFilterHeightTwips));
    m_form.label(1)->setText(QStringLiteral("1"));
    ContainsOutcome outcome{std::move(keyword), std::move(removed).value_or(QString()), *remaining};
    if (m_stepHook && m_stepHook(outcome))
        return;
    m_form.setStatus(message(outcome));
    m_form.linshi()->setContent(std::move(outcome.removed));
}

QString ContainsCommand::message(const ContainsOutcome& outcome)
{
    return QStringLiteral("去包含") + outcome.keyword + CountMessage(u"完毕剩余：", outcome.remaining);
}

ContainsCommand& ConnectContainsCommand(Form1& form)
{
    auto* command = new ContainsCommand(form);
    QObject::connect(form.command(9), &QPushButton::clicked, command, &ContainsCommand::run);
    QObject::connect(form.textBox(2), &LineBox::doubleClicked, &form, [&form] { measureText2(form); });
    return *command;
}

} // namespace lumbrel
