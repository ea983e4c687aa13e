#include "batch/batchjob.h"

#include "commands/containscommand.h"
#include "lineops/linemodel.h"
#include "shell/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace lumbrel {

namespace {

// The hand-shake flag in Label1's caption: "1" once started or a step has completed, "0"
// while a step has begun and not completed (a refused step leaves it so).
const QString StepDone = QStringLiteral("1");
const QString StepBegun = QStringLiteral("0");

} // namespace

BatchJob::BatchJob(Form1& form, ContainsCommand& contains)
    : QObject(&form)
    , m_form(form)
    , m_contains(contains)
{
    setObjectName(QStringLiteral("BatchJob"));
    contains.setStepHook([this](const ContainsOutcome& outcome) { return takeStep(outcome); });
    connect(form.command(24), &QPushButton::clicked, this, &BatchJob::start);
    connect(form.timer1(), &QTimer::timeout, this, &BatchJob::continueJob);
    connect(form.timer2(), &QTimer::timeout, this, &BatchJob::keywordStep);
}

void BatchJob::start()
{
    TextArea* list = m_form.list();
    const QString keywords = list->content();
    if (!keywords.contains(u'#')) {
        const QString marker = QStringLiteral("#####");
        const QString marked = keywords + CrLf + marker + CrLf + marker + CrLf + marker;
        // One fold of doubled breaks: a trailing break of the list makes no blank keyword.
        list->setContent(ReplaceAll(marked, u"\r\n\r\n", CrLf));
    }
    m_form.label(1)->setText(StepDone);
    m_form.timer1()->start(m_delays.startMs);
    m_form.check1()->setChecked(true);
}

void BatchJob::finish()
{
    m_form.setStatus(QStringLiteral("批量去关键词完毕"));
    m_form.check1()->setChecked(false);
    m_form.timer1()->stop();
}

void BatchJob::continueJob()
{
    // Timer1 is single-shot, so its tick has disarmed it already.
    if (m_form.label(1)->text() == StepDone)
        m_form.timer2()->start(m_delays.stepMs);
}

void BatchJob::keywordStep()
{
    TextArea* list = m_form.list();
    const QString keywords = list->content();
    // A list that has run empty ends the job rather than feeding an empty keyword.
    if (keywords.isEmpty()) {
        finish();
        return;
    }
    const qsizetype lineEnd = keywords.indexOf(CrLf);
    const QString keyword = lineEnd < 0 ? keywords : keywords.first(lineEnd);
    if (keyword.contains(QStringLiteral("##"))) {
        finish();
        return;
    }
    m_form.label(1)->setText(StepBegun);
    m_form.textBox(2)->setText(keyword);
    // The last keyword, without a line break, is consumed too: keeping it would apply it
    // again at every step and the job would never end.
    const qsizetype lf = keywords.indexOf(u'\n');
    list->setContent(lf < 0 ? QString() : keywords.sliced(lf + 1));
    m_stepping = true;
    m_contains.run();
    m_stepping = false;
}

bool BatchJob::takeStep(const ContainsOutcome& outcome)
{
    const bool running = m_form.check1()->checkState() == Qt::Checked;
    // A click while no job runs ends as a plain "去包含".
    if (!running && !m_stepping)
        return false;
    // Each step's lines go in front of those of the earlier keywords, the one step that runs
    // after the user unticked Check1 too: replacing linshi would lose every earlier block.
    m_form.linshi()->prependContent(outcome.removed + CrLf);
    if (running)
        m_form.timer1()->start(m_delays.continueMs);
    else
        m_form.setStatus(ContainsCommand::message(outcome));
    return true;
}

void ConnectBatchJob(Form1& form, ContainsCommand& contains)
{
    new BatchJob(form, contains);
}

} // namespace lumbrel
