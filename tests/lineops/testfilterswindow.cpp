#include "shell/form1.h"
#include "tests/support/formfixture.h"

#include <QTimer>

using namespace lumbrel;
using namespace lumbrel::testing;

namespace {

QProgressBar* progressBar(Form1& form)
{
    return form.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
}

QLabel* label1(Form1& form)
{
    return form.findChild<QLabel*>(QStringLiteral("Label1"));
}

QTimer* timer1(Form1& form)
{
    return form.findChild<QTimer*>(QStringLiteral("Timer1"));
}

QCheckBox* check1(Form1& form)
{
    return form.findChild<QCheckBox*>(QStringLiteral("Check1"));
}

} // namespace

class TestFiltersWindow final : public QObject
{
    Q_OBJECT

private slots:
    void emptyLinesInQuan();
    void emptyLinesInListLeaveQuanAlone();
    void emptyLinesRefusalKeepsTheArea();

    void chineseFiltersReplaceLinshi_data();
    void chineseFiltersReplaceLinshi();

    void lengthFilterWritesBothAreasAndResetsTheBar_data();
    void lengthFilterWritesBothAreasAndResetsTheBar();
    void lengthRefusalLeavesEverythingAlone_data();
    void lengthRefusalLeavesEverythingAlone();

    void containsFilterReportsAndResizes();
    void containsFilterInJobModeGathersAndContinues();
    void containsRefusalLeavesEverythingAlone_data();
    void containsRefusalLeavesEverythingAlone();

    void doubleClickMeasuresText2_data();
    void doubleClickMeasuresText2();
};

void TestFiltersWindow::emptyLinesInQuan()
{
    Form1 form;
    area(form, "quan")->setContent(QStringLiteral("a\r\n\r\n\r\n\r\n\r\nb"));
    click(form, 2);
    QCOMPARE(area(form, "quan")->content(), QStringLiteral("a\r\n\r\nb"));
    QCOMPARE(form.windowTitle(), QStringLiteral("去空行完毕剩余：3行"));
}

void TestFiltersWindow::emptyLinesInListLeaveQuanAlone()
{
    Form1 form;
    area(form, "quan")->setContent(QStringLiteral("x\r\n\r\ny"));
    area(form, "list")->setContent(QStringLiteral("a\r\n\r\nb"));
    click(form, 26);
    QCOMPARE(area(form, "list")->content(), QStringLiteral("a\r\nb"));
    QCOMPARE(area(form, "quan")->content(), QStringLiteral("x\r\n\r\ny"));
    QCOMPARE(form.windowTitle(), QStringLiteral("去空行完毕剩余：2行"));
}

void TestFiltersWindow::emptyLinesRefusalKeepsTheArea()
{
    Form1 form;
    // The list starts with its design-time text, one line without a break.
    click(form, 26);
    QCOMPARE(form.windowTitle(), QStringLiteral("没有发现空行符 去空行失败"));
    QCOMPARE(area(form, "list")->content(), QStringLiteral("list"));
    area(form, "quan")->setContent(QStringLiteral("abc"));
    click(form, 2);
    QCOMPARE(form.windowTitle(), QStringLiteral("没有发现空行符 去空行失败"));
    QCOMPARE(area(form, "quan")->content(), QStringLiteral("abc"));
}

void TestFiltersWindow::chineseFiltersReplaceLinshi_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("linshi");
    QTest::addColumn<QString>("title");
    QTest::newRow("去英文") << 3 << QStringLiteral("中C\r\n中A\r\n") << QStringLiteral("B\r\n")
                            << QStringLiteral("去英文完毕剩余：2行");
    QTest::newRow("去汉字") << 4 << QStringLiteral("B\r\n") << QStringLiteral("中C\r\n中A\r\n")
                            << QStringLiteral("去汉字完毕剩余：1行");
}

void TestFiltersWindow::chineseFiltersReplaceLinshi()
{
    QFETCH(int, command);
    QFETCH(QString, quan);
    QFETCH(QString, linshi);
    QFETCH(QString, title);
    Form1 form;
    area(form, "quan")->setContent(QStringLiteral("中A\r\nB\r\n中C"));
    area(form, "linshi")->setContent(QStringLiteral("old"));
    click(form, command);
    QCOMPARE(area(form, "quan")->content(), quan);
    QCOMPARE(area(form, "linshi")->content(), linshi);
    QCOMPARE(form.windowTitle(), title);
    // These two never touch the bar.
    QCOMPARE(progressBar(form)->maximum(), 100);
}

void TestFiltersWindow::lengthFilterWritesBothAreasAndResetsTheBar_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("linshi");
    QTest::addColumn<QString>("title");
    QTest::newRow("去位长") << 6 << QStringLiteral("de\r\n\r\n") << QStringLiteral("abcdef\r\nabc\r\n\r\n")
                            << QStringLiteral("去位长完毕剩余：2行");
    QTest::newRow("去位短") << 7 << QStringLiteral("abcdef\r\n\r\n") << QStringLiteral("de\r\nabc\r\n\r\n")
                            << QStringLiteral("去位短完毕剩余：2行");
}

void TestFiltersWindow::lengthFilterWritesBothAreasAndResetsTheBar()
{
    QFETCH(int, command);
    QFETCH(QString, quan);
    QFETCH(QString, linshi);
    QFETCH(QString, title);
    Form1 form;
    area(form, "quan")->setContent(QStringLiteral("abc\r\nde\r\nabcdef"));
    area(form, "linshi")->setContent(QStringLiteral("old"));
    box(form, 2)->setText(QStringLiteral(" 3 "));
    click(form, command);
    QCOMPARE(area(form, "quan")->content(), quan);
    QCOMPARE(area(form, "linshi")->content(), linshi);
    QCOMPARE(form.windowTitle(), title);
    // Text2 is read as typed, not cleaned and written back.
    QCOMPARE(box(form, 2)->text(), QStringLiteral(" 3 "));
    QCOMPARE(progressBar(form)->maximum(), 3);
    QCOMPARE(progressBar(form)->value(), 0);
}

void TestFiltersWindow::lengthRefusalLeavesEverythingAlone_data()
{
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<QString>("title");
    QTest::newRow("no line break") << QStringLiteral("abc") << QStringLiteral("3")
                                   << QStringLiteral("数据不足，没发现换行符");
    QTest::newRow("no number") << QStringLiteral("a\r\nb") << QStringLiteral(" x ")
                               << QStringLiteral("您输入的不是数字");
    QTest::newRow("not whole") << QStringLiteral("a\r\nb") << QStringLiteral("7.5") << QStringLiteral("非整数");
}

void TestFiltersWindow::lengthRefusalLeavesEverythingAlone()
{
    QFETCH(QString, quan);
    QFETCH(QString, text2);
    QFETCH(QString, title);
    for (int command : {6, 7}) {
        Form1 form;
        area(form, "quan")->setContent(quan);
        area(form, "linshi")->setContent(QStringLiteral("old"));
        box(form, 2)->setText(text2);
        click(form, command);
        QCOMPARE(form.windowTitle(), title);
        QCOMPARE(area(form, "quan")->content(), quan);
        QCOMPARE(area(form, "linshi")->content(), QStringLiteral("old"));
        QCOMPARE(box(form, 2)->text(), text2);
        QCOMPARE(progressBar(form)->maximum(), 100);
    }
}

void TestFiltersWindow::containsFilterReportsAndResizes()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    area(form, "quan")->setContent(QStringLiteral("a1\r\nb2\r\na3\r\nc4"));
    area(form, "linshi")->setContent(QStringLiteral("old"));
    box(form, 2)->setText(QStringLiteral("a"));
    click(form, 9);
    QCOMPARE(area(form, "quan")->content(), QStringLiteral("c4\r\nb2\r\n\r\n"));
    QCOMPARE(area(form, "linshi")->content(), QStringLiteral("a3\r\na1\r\n"));
    QCOMPARE(form.windowTitle(), QStringLiteral("去包含a完毕剩余：3行"));
    QCOMPARE(label1(form)->text(), QStringLiteral("1"));
    QVERIFY(!timer1(form)->isActive());
    QCOMPARE(form.frameGeometry().height(), Form1::px(6705));
    QCOMPARE(progressBar(form)->maximum(), 4);
    QCOMPARE(progressBar(form)->value(), 0);

    // Nothing to remove: linshi is emptied, not left as it was.
    box(form, 2)->setText(QStringLiteral("zz"));
    click(form, 9);
    QCOMPARE(area(form, "linshi")->content(), QString());
    QCOMPARE(area(form, "quan")->content(), QStringLiteral("\r\n\r\nb2\r\nc4\r\n\r\n"));
}

void TestFiltersWindow::containsFilterInJobModeGathersAndContinues()
{
    Form1 form;
    area(form, "quan")->setContent(QStringLiteral("a1\r\nb2\r\na3\r\nc4"));
    area(form, "linshi")->setContent(QStringLiteral("x"));
    box(form, 2)->setText(QStringLiteral("a"));
    check1(form)->setChecked(true);
    click(form, 9);
    QCOMPARE(area(form, "linshi")->content(), QStringLiteral("a3\r\na1\r\n\r\nx"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Lumbrel V1.6"));
    QCOMPARE(label1(form)->text(), QStringLiteral("1"));
    QVERIFY(timer1(form)->isActive());
    QCOMPARE(timer1(form)->interval(), 1);

    // A step that removes nothing still puts one CR LF in front.
    timer1(form)->stop();
    box(form, 2)->setText(QStringLiteral("zz"));
    click(form, 9);
    QCOMPARE(area(form, "linshi")->content(), QStringLiteral("\r\na3\r\na1\r\n\r\nx"));
    // linshi grows at its front without being rewritten; each step is still one undo step.
    area(form, "linshi")->undo();
    QCOMPARE(area(form, "linshi")->content(), QStringLiteral("a3\r\na1\r\n\r\nx"));
}

void TestFiltersWindow::containsRefusalLeavesEverythingAlone_data()
{
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("title");
    QTest::newRow("empty keyword") << QString() << QString() << QStringLiteral("请输入关键词");
    QTest::newRow("three lines") << QStringLiteral("a\r\nb\r\nc") << QStringLiteral("a")
                                 << QStringLiteral("数据不足，人工去除吧");
}

void TestFiltersWindow::containsRefusalLeavesEverythingAlone()
{
    QFETCH(QString, quan);
    QFETCH(QString, keyword);
    QFETCH(QString, title);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const int heightBefore = form.frameGeometry().height();
    area(form, "quan")->setContent(quan);
    area(form, "linshi")->setContent(QStringLiteral("old"));
    box(form, 2)->setText(keyword);
    // Refusals must not continue a running job either.
    check1(form)->setChecked(true);
    click(form, 9);
    QCOMPARE(form.windowTitle(), title);
    QCOMPARE(area(form, "quan")->content(), quan);
    QCOMPARE(area(form, "linshi")->content(), QStringLiteral("old"));
    QCOMPARE(box(form, 2)->text(), keyword);
    QCOMPARE(label1(form)->text(), QStringLiteral("Label1"));
    QVERIFY(!timer1(form)->isActive());
    QCOMPARE(form.frameGeometry().height(), heightBefore);
    QCOMPARE(progressBar(form)->maximum(), 100);
}

void TestFiltersWindow::doubleClickMeasuresText2_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("length");
    QTest::newRow("outer spaces and line breaks do not count") << QStringLiteral("  abc\r\n") << QStringLiteral("3");
    QTest::newRow("empty box shows 0") << QString() << QStringLiteral("0");
    QTest::newRow("inner spaces count") << QStringLiteral("a b") << QStringLiteral("3");
    QTest::newRow("a character above U+FFFF counts 2") << QStringLiteral("手\U0001F600") << QStringLiteral("3");
}

void TestFiltersWindow::doubleClickMeasuresText2()
{
    QFETCH(QString, text);
    QFETCH(QString, length);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    box(form, 2)->setText(text);
    QTest::mouseDClick(box(form, 2), Qt::LeftButton);
    QCOMPARE(box(form, 2)->text(), length);
}

QTEST_MAIN(TestFiltersWindow)
#include "testfilterswindow.moc"
