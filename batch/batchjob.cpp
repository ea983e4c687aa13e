#include "batch/batchjob.h"

#include "lineops/bindings/bindings.h"
#include "shell/form1.h"
#include "shell/linemodel.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace lumbrel {

namespace {

// The wait after "开始" before the first step, and the pause before every keyword step;
// the window takes the user's input in these pauses.
constexpr int StartDelayMs = 300;
constexpr int StepDelayMs = 100;

// The hand-shake flag in Label1's caption: "1" once started or a step has completed, "0"
// while a step has begun and not completed (a refused step leaves it so).
const QString StepDone = QStringLiteral("1");
const QString StepBegun = QStringLiteral("0");

void start(Form1& form)
{
    TextArea* list = form.list();
    const QString keywords = list->content();
    if (!keywords.contains(u'#')) {
        const QString marker = QStringLiteral("#####");
        const QString marked = keywords + CrLf + marker + CrLf + marker + CrLf + marker;
        // One fold of doubled breaks: a trailing break of the list makes no blank keyword.
        list->setContent(ReplaceAll(marked, u"\r\n\r\n", CrLf));
    }
    form.label(1)->setText(StepDone);
    form.timer1()->start(StartDelayMs);
    form.check1()->setChecked(true);
}

void finish(Form1& form)
{
    form.setStatus(QStringLiteral("批量去关键词完毕"));
    form.check1()->setChecked(false);
    form.timer1()->stop();
}

void continueJob(Form1& form)
{
    // Timer1 is single-shot, so its tick has disarmed it already.
    if (form.label(1)->text() == StepDone)
        form.timer2()->start(StepDelayMs);
}

void keywordStep(Form1& form)
{
    TextArea* list = form.list();
    const QString keywords = list->content();
    // A list that has run empty ends the job rather than feeding an empty keyword.
    if (keywords.isEmpty()) {
        finish(form);
        return;
    }
    const qsizetype lineEnd = keywords.indexOf(CrLf);
    const QString keyword = lineEnd < 0 ? keywords : keywords.first(lineEnd);
    if (keyword.contains(QStringLiteral("##"))) {
        finish(form);
        return;
    }
    form.label(1)->setText(StepBegun);
    form.textBox(2)->setText(keyword);
    // The last keyword, without a line break, is consumed too: keeping it would apply it
    // again at every step and the job would never end.
    const qsizetype lf = keywords.indexOf(u'\n');
    list->setContent(lf < 0 ? QString() : keywords.sliced(lf + 1));
    RunContainsFilter(form);
}

} // namespace

void bindBatch(Form1& form)
{
    QObject::connect(form.command(24), &QPushButton::clicked, &form, [&form] { start(form); });
    QObject::connect(form.timer1(), &QTimer::timeout, &form, [&form] { continueJob(form); });
    QObject::connect(form.timer2(), &QTimer::timeout, &form, [&form] { keywordStep(form); });
}

} // namespace lumbrel
