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

class TestForm1 final : public QObject
{
    Q_OBJECT

private slots:
    void startsWithTitleAndEmptyAreas();
    void startTexts_data();
    void startTexts();
    void controlsSitWhereDesigned();
    void tabSelectionShowsExactlyThatPage();
    void leftStripStaysUncoveredOnEveryTab();

    void dedupThroughTheWindow();
    void dedupRefusalLeavesEverythingAlone();
    void undoBringsBackTheTextBeforeTheCommand();
    void areasKeepNulAndNormalizeLoneBreaks();
    void pasteConvertsLineEnds();
};

void TestForm1::startsWithTitleAndEmptyAreas()
{
    Form1 form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Lumbrel V1.6"));
    for (const char* name : {"quan", "linshi", "dat"})
        QCOMPARE(area(form, name)->content(), QString());
    QCOMPARE(box(form, 2)->text(), QString());
    QCOMPARE(form.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->currentIndex(), 0);
    QCOMPARE(form.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->count(), 4);
    auto* bar = form.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    QCOMPARE(bar->value(), 0);
    for (const char* name : {"Timer1", "Timer2"})
        QVERIFY(!form.findChild<QTimer*>(QString::fromLatin1(name))->isActive());
    QVERIFY(!form.findChild<QCheckBox*>(QStringLiteral("Check1"))->isChecked());
    QVERIFY(!form.findChild<QCheckBox*>(QStringLiteral("Check2"))->isChecked());
    QVERIFY(form.findChild<QRadioButton*>(QStringLiteral("Option1"))->isChecked());
    QCOMPARE(form.size(), QSize(534, 408));
    QVERIFY(!form.windowIcon().availableSizes().isEmpty());
}

void TestForm1::startTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const QList<std::pair<const char*, const char16_t*>> rows = {
        {"Command1", u"去重复"},
        {"Command2", u"去空行"},
        {"Command3", u"去英文"},
        {"Command4", u"去汉字"},
        {"Command5", u"去HTML"},
        {"Command6", u"去位长"},
        {"Command7", u"去位短"},
        {"Command8", u"去掉→"},
        {"Command9", u"去包含"},
        {"Command10", u"复制↑"},
        {"Command11", u"←复制"},
        {"Command12", u"存储→"},
        {"Command13", u"←取回"},
        {"Command14", u"抓取"},
        {"Command15", u"复制内容"},
        {"Command16", u"替换成"},
        {"Command17", u"替换成 vbcrlf"},
        {"Command18", u"留前"},
        {"Command19", u"留后"},
        {"Command20", u"取左位数"},
        {"Command21", u"取右位数"},
        {"Command22", u"每行前面加关键词→"},
        {"Command23", u"←关键词加在每行后面"},
        {"Command24", u"开始"},
        {"Command25", u"打乱顺序"},
        {"Command26", u"←去空行"},
        {"Text1", u"Text1"},
        {"Text3", u"Text3"},
        {"Text4", u"2"},
        {"Text5", u"特征符"},
        {"Text6", u"|=|哈哈"},
        {"Text7", u"Text7"},
        {"Check1", u"停 止"},
        {"Check2", u"模拟蜘蛛"},
        {"Option1", u"utf-8"},
        {"Option2", u"gb2312"},
        {"Label1", u"Label1"},
        {"Label2", u"0"},
        {"Label3", u"网址："},
        {"list", u"list"},
    };
    for (const auto& [name, text] : rows)
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf16(text);
}

void TestForm1::startTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    Form1 form;
    QObject* o = form.findChild<QObject*>(name);
    QVERIFY2(o, qPrintable(name));
    if (auto* b = qobject_cast<QAbstractButton*>(o))
        QCOMPARE(b->text(), text);
    else if (auto* l = qobject_cast<QLineEdit*>(o))
        QCOMPARE(l->text(), text);
    else if (auto* lab = qobject_cast<QLabel*>(o))
        QCOMPARE(lab->text(), text);
    else if (auto* a = qobject_cast<TextArea*>(o))
        QCOMPARE(a->content(), text);
    else
        QFAIL("unexpected control type");
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
    QVERIFY(form.findChild<QLabel*>(QStringLiteral("Label2"))->x() >= form.width());
    QVERIFY(form.findChild<QFrame*>(QStringLiteral("Frame1_5"))->x() >= form.width());
}

void TestForm1::tabSelectionShowsExactlyThatPage()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* tabs = form.findChild<QTabBar*>(QStringLiteral("TabStrip1"));
    for (int selected : {2, 0, 3, 1, 2}) {
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(selected).center());
        QCOMPARE(tabs->currentIndex(), selected);
        for (int n = 1; n <= 4; ++n) {
            auto* frame = form.findChild<QFrame*>(QStringLiteral("Frame1_%1").arg(n));
            QCOMPARE(frame->isVisible(), n == selected + 1);
        }
    }
}

void TestForm1::leftStripStaysUncoveredOnEveryTab()
{
    Form1 form;
    form.show();
    auto* tabs = form.findChild<QTabBar*>(QStringLiteral("TabStrip1"));
    for (int t = 0; t < 4; ++t) {
        tabs->setCurrentIndex(t);
        auto* frame = form.findChild<QFrame*>(QStringLiteral("Frame1_%1").arg(t + 1));
        for (int n : {1, 2, 25}) {
            QVERIFY(button(form, n)->isVisible());
            QVERIFY(!frame->geometry().intersects(button(form, n)->geometry()));
        }
        QVERIFY(button(form, 15)->isVisible());
    }
}

void TestForm1::dedupThroughTheWindow()
{
    Form1 form;
    form.show();
    area(form, "quan")->setContent(QStringLiteral("abc\r\nab\r\nx\r\nabc\r\n"));
    click(form, 1);
    QCOMPARE(area(form, "quan")->content(), QStringLiteral("x\r\nabc\r\n"));
    QCOMPARE(form.windowTitle(), QStringLiteral("去重复完毕剩余：2行"));
    auto* bar = form.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->maximum(), 5);
    QVERIFY(bar->isVisible());
}

void TestForm1::dedupRefusalLeavesEverythingAlone()
{
    Form1 form;
    area(form, "quan")->setContent(QStringLiteral("a\r\nb"));
    auto* bar = form.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    const int maxBefore = bar->maximum();
    click(form, 1);
    QCOMPARE(form.windowTitle(), QStringLiteral("数据不足，人工去除吧"));
    QCOMPARE(area(form, "quan")->content(), QStringLiteral("a\r\nb"));
    QCOMPARE(bar->maximum(), maxBefore);
}

void TestForm1::undoBringsBackTheTextBeforeTheCommand()
{
    Form1 form;
    TextArea* quan = area(form, "quan");
    quan->setContent(QStringLiteral("a\r\nb\r\na"));
    click(form, 1);
    QCOMPARE(quan->content(), QStringLiteral("b\r\na\r\n"));
    quan->undo();
    QCOMPARE(quan->content(), QStringLiteral("a\r\nb\r\na"));
}

void TestForm1::areasKeepNulAndNormalizeLoneBreaks()
{
    Form1 form;
    TextArea* quan = area(form, "quan");
    const QString withNul = QString::fromUtf16(u"a\0b\r\n\0", 6);
    quan->setContent(withNul);
    QCOMPARE(quan->content(), withNul);
    QCOMPARE(quan->setContent(QStringLiteral("a\nb\rc")), qsizetype{3});
    QCOMPARE(quan->content(), QStringLiteral("a\r\nb\r\nc"));
    const QString wide = QStringLiteral("中文\U0001F600\r\n");
    quan->setContent(wide);
    QCOMPARE(quan->content(), wide);
}

void TestForm1::pasteConvertsLineEnds()
{
    Form1 form;
    form.show();
    TextArea* quan = area(form, "quan");
    QApplication::clipboard()->setText(QStringLiteral("x\ny\rz"));
    quan->paste();
    QCOMPARE(quan->content(), QStringLiteral("x\r\ny\r\nz"));
    quan->setFocus();
    QTest::keyClick(quan, Qt::Key_Return);
    // Enter types CR LF.
    QCOMPARE(quan->content(), QStringLiteral("x\r\ny\r\nz\r\n"));
}

QTEST_MAIN(TestForm1)
#include "testform1.moc"
