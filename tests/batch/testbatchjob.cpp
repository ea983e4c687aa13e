#include "batch/batchjob.h"
#include "tests/support/formfixture.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>

#include <memory>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

// The job's pauses are shortened to 20 ms; a few seconds cover any test here.
constexpr int JobTimeoutMs = 10000;

const QString Markers = u"#####\r\n#####\r\n#####"_s;
const QString Finished = u"批量去关键词完毕"_s;

struct Job
{
    Form1 form;
    TextArea* quan = area(form, "quan");
    TextArea* linshi = area(form, "linshi");
    TextArea* list = area(form, "list");
    QLabel* label1 = child<QLabel>(form, "Label1");
    QCheckBox* check1 = child<QCheckBox>(form, "Check1");
    QTimer* timer1 = child<QTimer>(form, "Timer1");
    QTimer* timer2 = child<QTimer>(form, "Timer2");
    // Every keyword step is one tick of Timer2.
    QSignalSpy steps{timer2, &QTimer::timeout};
    QSignalSpy titles{&form, &QWidget::windowTitleChanged};

    Job(const QString& text, const QString& keywords)
    {
        ConnectCommands(form);
        // Short pauses, still long enough to see the first step waiting.
        child<BatchJob>(form, "BatchJob")->setDelays({.startMs = 20, .stepMs = 20, .continueMs = 1});
        quan->setContent(text);
        linshi->setContent(u"before"_s);
        list->setContent(keywords);
    }
    bool idle() const
    {
        return !timer1->isActive() && !timer2->isActive();
    }
    // "开始": end markers appended to the list unless it holds "#", then the first wait (the
    // tests see the job run on from there).
    void start(const QString& started)
    {
        click(form, 24);
        QCOMPARE(list->content(), started);
    }
};

} // namespace

class TestBatchJob final : public QObject
{
    Q_OBJECT

private slots:
    void runsToTheEnd_data();
    void runsToTheEnd();
    void refusedStepHaltsTheJobUntilStartIsPressed();
    void clearingCheck1LetsExactlyOneMoreStepRunAndKeepsEveryLine();
    void closingTheWindowMidJobIsSafe();
};

void TestBatchJob::runsToTheEnd_data()
{
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("quanAfter");
    QTest::addColumn<QString>("linshiAfter");
    QTest::addColumn<QString>("listAfter");
    QTest::addColumn<int>("steps");
    // Each step reverses quan and closes its group with an empty line; linshi gathers one
    // block per keyword, newest first, a lone CR LF for a keyword that removed nothing.
    QTest::newRow("every keyword runs, then the end markers finish the job")
        << u"a1\r\nb2\r\nc3\r\nab4\r\nc5"_s << u"a\r\nnone\r\nb\r\n"_s << u"\r\n\r\nc5\r\nc3\r\n\r\n\r\n\r\n"_s
        << u"b2\r\n\r\n\r\nab4\r\na1\r\n\r\nbefore"_s << Markers << 4;
    // Without end markers (the list holds "#"), keeping the last keyword would re-apply it forever.
    QTest::newRow("the last keyword without a line break is consumed")
        << u"a#1\r\nb2\r\nc3\r\nd4"_s << u"a#\r\nb"_s << u"\r\n\r\nc3\r\nd4\r\n\r\n"_s
        << u"b2\r\n\r\na#1\r\n\r\nbefore"_s << QString() << 3;
}

void TestBatchJob::runsToTheEnd()
{
    QFETCH(QString, quan);
    QFETCH(QString, list);
    QFETCH(QString, quanAfter);
    QFETCH(QString, linshiAfter);
    QFETCH(QString, listAfter);
    QFETCH(int, steps);
    Job job(quan, list);
    const QString started = list.contains(u'#') ? list : list + Markers;
    job.start(started);
    // A second press while the first step waits keeps a single chain of steps.
    QSignalSpy firstWait(job.timer1, &QTimer::timeout);
    QVERIFY(firstWait.wait(JobTimeoutMs));
    QVERIFY(job.timer2->isActive());
    job.start(started);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    QCOMPARE(job.quan->content(), quanAfter);
    QCOMPARE(job.linshi->content(), linshiAfter);
    QCOMPARE(job.list->content(), listAfter);
    // Text2 shows the keyword of the last step.
    QCOMPARE(child<LineBox>(job.form, "Text2")->text(), u"b"_s);
    QVERIFY(!job.check1->isChecked());
    QCOMPARE(job.label1->text(), u"1"_s);
    // No timer is armed, so no step can follow.
    QVERIFY(job.idle());
    QCOMPARE(job.steps.count(), steps);
    // The steps themselves leave the title alone; only the end of the job shows.
    QCOMPARE(job.titles.count(), 1);
}

void TestBatchJob::refusedStepHaltsTheJobUntilStartIsPressed()
{
    Job job(u"a1\r\nb2\r\nc3\r\nd4"_s, u"a\r\n\r\n\r\nb"_s);
    // Two blank lines fold into one at the start, so one blank keyword is left.
    job.start(u"a\r\n\r\nb\r\n"_s + Markers);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), u"请输入关键词"_s, JobTimeoutMs);
    // The step had begun and never completed; the job is still on but nothing is pending.
    QCOMPARE(job.label1->text(), u"0"_s);
    QVERIFY(job.check1->isChecked());
    QVERIFY(job.idle());
    // The refused keyword has been consumed: "开始" resumes with the next one.
    QCOMPARE(job.list->content(), u"b\r\n"_s + Markers);
    job.start(u"b\r\n"_s + Markers);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    QCOMPARE(job.linshi->content(), u"b2\r\n\r\na1\r\n\r\nbefore"_s);
    // Each step's block is one undo step of its own.
    job.linshi->undo();
    QCOMPARE(job.linshi->content(), u"a1\r\n\r\nbefore"_s);
}

void TestBatchJob::clearingCheck1LetsExactlyOneMoreStepRunAndKeepsEveryLine()
{
    const QString start = u"a1\r\nb2\r\nc3\r\nd4\r\nb5\r\nc6\r\nx7"_s;
    Job job(start, u"a\r\nb\r\nc\r\nd"_s);
    click(job.form, 24);
    // The user clears Check1 right after the second step, while Timer1's 1 ms tick is due
    // (the first tick ends the start's wait).
    int continueTicks = 0;
    QObject::connect(job.timer1, &QTimer::timeout, &job.form, [&] {
        if (++continueTicks == 3)
            QTest::mouseClick(job.check1, Qt::LeftButton);
    });
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), u"去包含c完毕剩余：7行"_s, JobTimeoutMs);
    QVERIFY(!job.check1->isChecked());
    // The last step's block goes in front like every other: nothing the earlier steps set
    // aside is lost. (Each step reversed quan, so the blocks list their lines in turn.)
    QCOMPARE(job.linshi->content(), u"c6\r\nc3\r\n\r\nb2\r\nb5\r\n\r\na1\r\n\r\nbefore"_s);
    QStringList all = job.quan->content().split(u"\r\n"_s) + job.linshi->content().split(u"\r\n"_s);
    all.removeAll(QString());
    all.removeAll(u"before"_s);
    QStringList started = start.split(u"\r\n"_s);
    all.sort();
    started.sort();
    QCOMPARE(all, started);
    QCOMPARE(job.label1->text(), u"1"_s);
    QCOMPARE(job.form.frameGeometry().height(), Form1::px(6705));
    // Nothing is pending, so the chain has ended and d stays in the list.
    QVERIFY(job.idle());
    QCOMPARE(job.steps.count(), 3);
    QCOMPARE(job.list->content(), u"d\r\n"_s + Markers);
}

void TestBatchJob::closingTheWindowMidJobIsSafe()
{
    auto job = std::make_unique<Job>(u"abc\r\n"_s.repeated(10), u"a\r\nb\r\n"_s);
    job->form.show();
    click(job->form, 24);
    // Closed right after the first step, with the next one pending.
    QVERIFY(job->steps.wait(JobTimeoutMs));
    QVERIFY(job->timer1->isActive());
    job->form.close();
    job.reset();
    // Pending ticks die with the window's timers.
    QApplication::processEvents();
}

QTEST_MAIN(TestBatchJob)
#include "testbatchjob.moc"
