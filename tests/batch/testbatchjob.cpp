#include "shell/form1.h"
#include "tests/support/formfixture.h"

#include <QSignalSpy>
#include <QTimer>

using namespace lumbrel;
using namespace lumbrel::testing;

namespace {

// The job waits 300 ms, then 100 ms before every keyword; a few seconds cover any test here.
constexpr int JobTimeoutMs = 10000;

const QString Markers = QStringLiteral("#####\r\n#####\r\n#####");
const QString Finished = QStringLiteral("批量去关键词完毕");

struct Job
{
    Form1 form;
    TextArea* quan = area(form, "quan");
    TextArea* linshi = area(form, "linshi");
    TextArea* list = area(form, "list");
    QLabel* label1 = form.findChild<QLabel*>(QStringLiteral("Label1"));
    QCheckBox* check1 = form.findChild<QCheckBox*>(QStringLiteral("Check1"));
    QTimer* timer1 = form.findChild<QTimer*>(QStringLiteral("Timer1"));
    QTimer* timer2 = form.findChild<QTimer*>(QStringLiteral("Timer2"));

    bool idle() const
    {
        return !timer1->isActive() && !timer2->isActive();
    }
};

} // namespace

class TestBatchJob final : public QObject
{
    Q_OBJECT

private slots:
    void startAppendsEndMarkersOnce_data();
    void startAppendsEndMarkersOnce();
    void runsEveryKeywordThenFinishes_data();
    void runsEveryKeywordThenFinishes();
    void finishedListEndsAtOnce();
    void keywordWithTwoHashesEndsTheJobUnprocessed();

    void blankKeywordHaltsAndStartResumes();
    void tooFewLinesHaltTheJob();

    void linshiGathersOneBlockPerKeyword();
    void everyStepReversesQuanAndAddsTwoEmptyLines();

    void clearingCheck1LetsExactlyOneMoreStepRun();
    void startDuringAJobKeepsASingleChain();
    void lastKeywordWithoutBreakIsNotReappliedForever();
};

void TestBatchJob::startAppendsEndMarkersOnce_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("started");
    QTest::newRow("a trailing break makes no blank keyword")
        << QStringLiteral("a\r\nb\r\n") << QStringLiteral("a\r\nb\r\n") + Markers;
    QTest::newRow("no trailing break") << QStringLiteral("a\r\nb") << QStringLiteral("a\r\nb\r\n") + Markers;
    QTest::newRow("one keyword") << QStringLiteral("a") << QStringLiteral("a\r\n") + Markers;
    QTest::newRow("two blank lines fold into one")
        << QStringLiteral("a\r\n\r\n\r\nb") << QStringLiteral("a\r\n\r\nb\r\n") + Markers;
    QTest::newRow("a list holding # is left alone") << QStringLiteral("a#\r\n\r\nb") << QStringLiteral("a#\r\n\r\nb");
}

void TestBatchJob::startAppendsEndMarkersOnce()
{
    QFETCH(QString, list);
    QFETCH(QString, started);
    Job job;
    job.list->setContent(list);
    click(job.form, 24);
    QCOMPARE(job.list->content(), started);
    QCOMPARE(job.label1->text(), QStringLiteral("1"));
    QVERIFY(job.check1->isChecked());
    QVERIFY(job.timer1->isActive());
    QCOMPARE(job.timer1->interval(), 300);
}

void TestBatchJob::runsEveryKeywordThenFinishes_data()
{
    QTest::addColumn<QString>("list");
    QTest::newRow("with a trailing break") << QStringLiteral("a\r\nb\r\n");
    QTest::newRow("without a trailing break") << QStringLiteral("a\r\nb");
}

void TestBatchJob::runsEveryKeywordThenFinishes()
{
    QFETCH(QString, list);
    Job job;
    job.quan->setContent(QStringLiteral("a1\r\nb2\r\nc3\r\nab4\r\nc5"));
    job.list->setContent(list);
    click(job.form, 24);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    QCOMPARE(job.list->content(), Markers);
    QVERIFY(!job.check1->isChecked());
    QVERIFY(job.idle());
    QCOMPARE(job.label1->text(), QStringLiteral("1"));
    QCOMPARE(job.form.findChild<LineBox*>(QStringLiteral("Text2"))->text(), QStringLiteral("b"));
    // Lines with a went in the first step, lines with b in the second.
    QCOMPARE(job.linshi->content(), QStringLiteral("b2\r\n\r\nab4\r\na1\r\n\r\n"));
    // Each step reversed quan and closed its one group with an empty line.
    QCOMPARE(job.quan->content(), QStringLiteral("\r\n\r\nc3\r\nc5\r\n\r\n"));
}

void TestBatchJob::finishedListEndsAtOnce()
{
    Job job;
    job.quan->setContent(QStringLiteral("a1\r\nb2\r\nc3\r\nd4"));
    job.list->setContent(Markers);
    job.form.setWindowTitle(QStringLiteral("before"));
    click(job.form, 24);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    QCOMPARE(job.list->content(), Markers);
    QCOMPARE(job.quan->content(), QStringLiteral("a1\r\nb2\r\nc3\r\nd4"));
    QVERIFY(!job.check1->isChecked());
    QVERIFY(job.idle());
}

void TestBatchJob::keywordWithTwoHashesEndsTheJobUnprocessed()
{
    Job job;
    job.quan->setContent(QStringLiteral("a1\r\nb2\r\nc3\r\nd4"));
    job.list->setContent(QStringLiteral("a\r\nx##y\r\nb"));
    click(job.form, 24);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    QCOMPARE(job.list->content(), QStringLiteral("x##y\r\nb"));
    QCOMPARE(job.linshi->content(), QStringLiteral("a1\r\n\r\n"));
    QVERIFY(!job.check1->isChecked());
}

void TestBatchJob::blankKeywordHaltsAndStartResumes()
{
    Job job;
    job.quan->setContent(QStringLiteral("a1\r\nb2\r\nc3\r\nd4"));
    job.list->setContent(QStringLiteral("a\r\n\r\n\r\nb"));
    click(job.form, 24);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), QStringLiteral("请输入关键词"), JobTimeoutMs);
    QCOMPARE(job.label1->text(), QStringLiteral("0"));
    QVERIFY(job.check1->isChecked());
    QVERIFY(job.idle());
    // The blank keyword has been consumed: "开始" resumes with the next one.
    QCOMPARE(job.list->content(), QStringLiteral("b\r\n") + Markers);
    click(job.form, 24);
    QCOMPARE(job.list->content(), QStringLiteral("b\r\n") + Markers);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    QCOMPARE(job.linshi->content(), QStringLiteral("b2\r\n\r\na1\r\n\r\n"));
}

void TestBatchJob::tooFewLinesHaltTheJob()
{
    Job job;
    job.quan->setContent(QStringLiteral("a1\r\nb2\r\nc3"));
    job.list->setContent(QStringLiteral("a\r\nb"));
    click(job.form, 24);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), QStringLiteral("数据不足，人工去除吧"), JobTimeoutMs);
    QCOMPARE(job.label1->text(), QStringLiteral("0"));
    QVERIFY(job.check1->isChecked());
    QVERIFY(job.idle());
    QCOMPARE(job.list->content(), QStringLiteral("b\r\n") + Markers);
    QCOMPARE(job.quan->content(), QStringLiteral("a1\r\nb2\r\nc3"));
}

void TestBatchJob::linshiGathersOneBlockPerKeyword()
{
    Job job;
    job.quan->setContent(QStringLiteral("k1 x\r\nk2 y\r\nk1 z\r\nw\r\nk2 v"));
    job.linshi->setContent(QStringLiteral("before"));
    job.list->setContent(QStringLiteral("k1\r\nnone\r\nk2"));
    click(job.form, 24);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    // Newest block first; a keyword that removed nothing leaves a lone CR LF.
    QCOMPARE(job.linshi->content(),
             QStringLiteral("k2 v\r\nk2 y\r\n\r\n"
                            "\r\n"
                            "k1 z\r\nk1 x\r\n\r\n"
                            "before"));
}

void TestBatchJob::everyStepReversesQuanAndAddsTwoEmptyLines()
{
    Job job;
    job.quan->setContent(QStringLiteral("l1\r\nl2\r\nl3\r\nl4"));
    job.list->setContent(QStringLiteral("zz\r\nyy"));
    click(job.form, 24);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    // After zz: l4 l3 l2 l1 and two empty lines; after yy the two lead and two more follow.
    QCOMPARE(job.quan->content(), QStringLiteral("\r\n\r\nl1\r\nl2\r\nl3\r\nl4\r\n\r\n"));
}

void TestBatchJob::clearingCheck1LetsExactlyOneMoreStepRun()
{
    Job job;
    job.quan->setContent(QStringLiteral("a1\r\nb2\r\nc3\r\nd4\r\nb5"));
    job.linshi->setContent(QStringLiteral("before"));
    job.list->setContent(QStringLiteral("a\r\nb\r\nc"));
    click(job.form, 24);
    // The user clears Check1 right after the first step, while Timer1's 1 ms tick is due.
    int continueTicks = 0;
    QObject::connect(job.timer1, &QTimer::timeout, &job.form, [&] {
        if (++continueTicks == 2)
            QTest::mouseClick(job.check1, Qt::LeftButton);
    });
    QSignalSpy steps(job.timer2, &QTimer::timeout);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), QStringLiteral("去包含b完毕剩余：5行"), JobTimeoutMs);
    QVERIFY(!job.check1->isChecked());
    // The last step reported like a plain 去包含: linshi holds its own lines only.
    // (quan was reversed by the first step, so b5 came before b2.)
    QCOMPARE(job.linshi->content(), QStringLiteral("b2\r\nb5\r\n"));
    QCOMPARE(job.label1->text(), QStringLiteral("1"));
    // Nothing is pending, so the chain has ended and c stays in the list.
    QVERIFY(job.idle());
    QTest::qWait(600);
    QCOMPARE(steps.count(), 2);
    QCOMPARE(job.list->content(), QStringLiteral("c\r\n") + Markers);
}

void TestBatchJob::startDuringAJobKeepsASingleChain()
{
    Job job;
    job.quan->setContent(QStringLiteral("a1\r\nb2\r\nc3\r\nd4"));
    job.list->setContent(QStringLiteral("a\r\nb\r\nc"));
    QSignalSpy steps(job.timer2, &QTimer::timeout);
    click(job.form, 24);
    // A second press while the first step's wait is pending, one in the middle of the job.
    QTRY_VERIFY_WITH_TIMEOUT(job.timer2->isActive(), JobTimeoutMs);
    click(job.form, 24);
    QCOMPARE(job.timer1->interval(), 300);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    QVERIFY(job.idle());
    // One step per keyword and one that finds the markers; each keyword's block once.
    QCOMPARE(steps.count(), 4);
    QCOMPARE(job.linshi->content(), QStringLiteral("c3\r\n\r\nb2\r\n\r\na1\r\n\r\n"));
}

void TestBatchJob::lastKeywordWithoutBreakIsNotReappliedForever()
{
    Job job;
    job.quan->setContent(QStringLiteral("a#1\r\nb2\r\nc3\r\nd4"));
    // A "#" in the list means no end markers; its last keyword has no line break.
    job.list->setContent(QStringLiteral("a#\r\nb"));
    QSignalSpy steps(job.timer2, &QTimer::timeout);
    click(job.form, 24);
    QTRY_COMPARE_WITH_TIMEOUT(job.form.windowTitle(), Finished, JobTimeoutMs);
    QCOMPARE(job.list->content(), QString());
    QVERIFY(!job.check1->isChecked());
    QVERIFY(job.idle());
    QCOMPARE(steps.count(), 3);
    QCOMPARE(job.linshi->content(), QStringLiteral("b2\r\n\r\na#1\r\n\r\n"));
}

QTEST_MAIN(TestBatchJob)
#include "testbatchjob.moc"
