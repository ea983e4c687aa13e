#include "shell/form1.h"
#include "tests/support/formfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabBar>
#include <QTimer>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

class TestForm1 final : public QObject
{
    Q_OBJECT

private slots:
    void startsAsDesigned();
    void controlsSitWhereDesigned();
    void tabSelectionShowsExactlyThatPageAndTheLeftStrip();

    void areasKeepNulAndNormalizeLoneBreaks();
    void pasteAndEnterGiveCrLf();
};

void TestForm1::startsAsDesigned()
{
    Form1 form;
    QCOMPARE(form.windowTitle(), u"Lumbrel V1.6"_s);
    for (const char* name : {"quan", "linshi", "dat"})
        QCOMPARE(area(form, name)->content(), QString());
    QCOMPARE(box(form, 2)->text(), QString());
    QCOMPARE(child<QTabBar>(form, "TabStrip1")->currentIndex(), 0);
    QCOMPARE(child<QTabBar>(form, "TabStrip1")->count(), 4);
    QCOMPARE(child<QProgressBar>(form, "ProgressBar1")->value(), 0);
    QVERIFY(!child<QTimer>(form, "Timer1")->isActive() && !child<QTimer>(form, "Timer2")->isActive());
    QVERIFY(!child<QCheckBox>(form, "Check1")->isChecked() && !child<QCheckBox>(form, "Check2")->isChecked());
    QVERIFY(child<QRadioButton>(form, "Option1")->isChecked());
    QCOMPARE(form.size(), QSize(534, 408));
    QVERIFY(!form.windowIcon().availableSizes().isEmpty());
    const QStringList commands =
        u"去重复|去空行|去英文|去汉字|去HTML|去位长|去位短|去掉→|去包含|复制↑|←复制|存储→|←取回|抓取|"
        u"复制内容|替换成|替换成 vbcrlf|留前|留后|取左位数|取右位数|每行前面加关键词→|"
        u"←关键词加在每行后面|开始|打乱顺序|←去空行"_s.split(u'|');
    QCOMPARE(commands.size(), 26);
    for (int n = 1; n <= 26; ++n)
        QCOMPARE(button(form, n)->text(), commands[n - 1]);
    const QStringList boxes = u"Text1 - Text3 2 特征符 |=|哈哈 Text7"_s.split(u' ');
    for (int n : {1, 3, 4, 5, 6, 7})
        QCOMPARE(box(form, n)->text(), boxes[n - 1]);
    QCOMPARE(child<QCheckBox>(form, "Check1")->text(), u"停 止"_s);
    QCOMPARE(child<QCheckBox>(form, "Check2")->text(), u"模拟蜘蛛"_s);
    QCOMPARE(child<QRadioButton>(form, "Option1")->text(), u"utf-8"_s);
    QCOMPARE(child<QRadioButton>(form, "Option2")->text(), u"gb2312"_s);
    QCOMPARE(child<QLabel>(form, "Label1")->text(), u"Label1"_s);
    QCOMPARE(child<QLabel>(form, "Label2")->text(), u"0"_s);
    QCOMPARE(child<QLabel>(form, "Label3")->text(), u"网址："_s);
    QCOMPARE(area(form, "list")->content(), u"list"_s);
}

void TestForm1::controlsSitWhereDesigned()
{
    Form1 form;
    // Twips at 15 a pixel: a few controls of the window and of the pages.
    QCOMPARE(button(form, 1)->geometry(), QRect(16, 31, 65, 24));
    QCOMPARE(area(form, "quan")->geometry(), QRect(8, 117, 521, 145));
    QCOMPARE(area(form, "linshi")->geometry(), QRect(8, 280, 457, 121));
    QCOMPARE(button(form, 9)->geometry(), QRect(368, 45, 57, 25));
    // dat, Label2 and the fifth frame lie beyond the right edge.
    QVERIFY(area(form, "dat")->x() >= form.width());
    QVERIFY(child<QLabel>(form, "Label2")->x() >= form.width());
    QVERIFY(child<QFrame>(form, "Frame1_5")->x() >= form.width());
}

void TestForm1::tabSelectionShowsExactlyThatPageAndTheLeftStrip()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* tabs = child<QTabBar>(form, "TabStrip1");
    for (int selected : {2, 0, 3, 1}) {
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(selected).center());
        QCOMPARE(tabs->currentIndex(), selected);
        for (int n = 1; n <= 4; ++n)
            QCOMPARE(form.findChild<QFrame*>(u"Frame1_%1"_s.arg(n))->isVisible(), n == selected + 1);
        const QRect page = form.findChild<QFrame*>(u"Frame1_%1"_s.arg(selected + 1))->geometry();
        for (int n : {1, 2, 15, 25}) {
            QVERIFY(button(form, n)->isVisible());
            QVERIFY(!page.intersects(button(form, n)->geometry()));
        }
    }
}

void TestForm1::areasKeepNulAndNormalizeLoneBreaks()
{
    Form1 form;
    TextArea* quan = area(form, "quan");
    for (const QString& exact : {u"a\0b\r\n\0"_s, u"中文\U0001F600\r\n"_s}) {
        quan->setContent(exact);
        QCOMPARE(quan->content(), exact);
    }
    // LF CR is two breaks; in CR CR LF only the first CR is lone.
    QCOMPARE(quan->setContent(u"a\nb\rc\n\rd\r\r\n"_s), qsizetype{6});
    QCOMPARE(quan->content(), u"a\r\nb\r\nc\r\n\r\nd\r\n\r\n"_s);
}

void TestForm1::pasteAndEnterGiveCrLf()
{
    Form1 form;
    form.show();
    TextArea* quan = area(form, "quan");
    QApplication::clipboard()->setText(u"x\ny\rz"_s);
    quan->paste();
    QCOMPARE(quan->content(), u"x\r\ny\r\nz"_s);
    quan->setFocus();
    QTest::keyClick(quan, Qt::Key_Return);
    QCOMPARE(quan->content(), u"x\r\ny\r\nz\r\n"_s);
}

QTEST_MAIN(TestForm1)
#include "testform1.moc"
