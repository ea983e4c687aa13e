#include "app/connect.h"
#include "app/tooltips.h"
#include "app/translations.h"
#include "shell/form1.h"
#include "tests/support/formfixture.h"
#include "tests/support/testhelpers.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTimer>
#include <QWindow>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

class TestForm1 final : public QObject
{
    Q_OBJECT

private slots:
    void startsAsDesigned();
    void tabSelectionShowsExactlyThatPageAndTheLeftStrip();

    void areasKeepNulAndNormalizeLoneBreaks();
    void pasteAndEnterGiveCrLf();
    void areasSkipWorkThatAHugeLineMultiplies();
    void boxesTakeAnyLength();

    void copyMovesToTheClipboard_data();
    void copyMovesToTheClipboard();
    void storeAndRetrieveKeepEveryByteCounterAndCaption();

    void everyControlExplainsItsRule();
    void menusAreChineseWhateverTheLocale();
    void undoKeysOnAButtonTakeTheLastCommandBack();
    void cannotBeMaximised();
    void statusShowsBracketStarAsTyped();
};

void TestForm1::startsAsDesigned()
{
    Form1 form;
    ConnectCommands(form);
    QCOMPARE(form.windowTitle(), u"Lumbrel V1.6"_s);
    for (const char* name : {"quan", "linshi", "dat"})
        QCOMPARE(area(form, name)->content(), QString());
    QCOMPARE(area(form, "list")->content(), u"list"_s);
    QCOMPARE(box(form, 2)->text(), QString());
    QCOMPARE(child<QLabel>(form, "Label1")->text(), u"Label1"_s);
    QCOMPARE(child<QLabel>(form, "Label2")->text(), u"0"_s);
    QVERIFY(!child<QTimer>(form, "Timer1")->isActive() && !child<QTimer>(form, "Timer2")->isActive());
    // No job runs, and the fetch starts as a plain UTF-8 visitor.
    QVERIFY(!child<QCheckBox>(form, "Check1")->isChecked() && !child<QCheckBox>(form, "Check2")->isChecked());
    QVERIFY(child<QRadioButton>(form, "Option1")->isChecked());
    // 8010 x 6120 twips at 15 a pixel; dat, Label2 and the fifth frame lie beyond the right edge.
    QCOMPARE(form.size(), QSize(534, 408));
    // The captions are what users click by: a wrong character is a wrong command.
    const QStringList commands =
        u"去重复|去空行|去英文|去汉字|去HTML|去位长|去位短|去掉→|去包含|复制↑|←复制|存储→|←取回|抓取|"
        u"复制内容|替换成|替换成 vbcrlf|留前|留后|取左位数|取右位数|每行前面加关键词→|"
        u"←关键词加在每行后面|开始|打乱顺序|←去空行"_s.split(u'|');
    for (int n = 1; n <= 26; ++n)
        QCOMPARE(button(form, n)->text(), commands[n - 1]);
    QCOMPARE(child<QCheckBox>(form, "Check1")->text(), u"停 止"_s);
    QCOMPARE(child<QCheckBox>(form, "Check2")->text(), u"模拟蜘蛛"_s);
    QVERIFY(area(form, "dat")->x() >= form.width());
    QVERIFY(child<QLabel>(form, "Label2")->x() >= form.width());
    QVERIFY(child<QFrame>(form, "Frame1_5")->x() >= form.width());
}

void TestForm1::tabSelectionShowsExactlyThatPageAndTheLeftStrip()
{
    Form1 form;
    ConnectCommands(form);
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
    ConnectCommands(form);
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
    ConnectCommands(form);
    form.show();
    TextArea* quan = area(form, "quan");
    QApplication::clipboard()->setText(u"x\ny\rz"_s);
    quan->paste();
    QCOMPARE(quan->content(), u"x\r\ny\r\nz"_s);
    quan->setFocus();
    QTest::keyClick(quan, Qt::Key_Return);
    QCOMPARE(quan->content(), u"x\r\ny\r\nz\r\n"_s);
}

void TestForm1::areasSkipWorkThatAHugeLineMultiplies()
{
    Form1 form;
    ConnectCommands(form);
    form.show();
    TextArea* quan = area(form, "quan");
    const auto send = [quan](unsigned int message, unsigned long wParam = 0) {
        return quan->SendScintilla(message, wParam);
    };
    QCOMPARE(send(QsciScintillaBase::SCI_GETWRAPMODE), long{QsciScintillaBase::SC_WRAP_NONE});
    QCOMPARE(send(QsciScintillaBase::SCI_GETSCROLLWIDTHTRACKING), 1L);
    QCOMPARE(send(QsciScintillaBase::SCI_GETLAYOUTCACHE), long{QsciScintillaBase::SC_CACHE_PAGE});
    QCOMPARE(send(QsciScintillaBase::SCI_GETIDLESTYLING), long{QsciScintillaBase::SC_IDLESTYLING_NONE});
    QCOMPARE(quan->lexer(), nullptr);
    // No blob for stray high bytes (every lead byte of a Chinese character would be looked up),
    // while control characters still show as one.
    const auto representation = [quan](const char* character) {
        return quan->SendScintilla(
            QsciScintillaBase::SCI_GETREPRESENTATION, character, static_cast<const char*>(nullptr));
    };
    QCOMPARE(representation("\xE4"), 0L);
    QCOMPARE(representation("\x01"), 3L);
    // The caret blinks on a normal line and stays lit on a huge one.
    const long blink = send(QsciScintillaBase::SCI_GETCARETPERIOD);
    QVERIFY(blink > 0);
    quan->setContent(QString(TextArea::SteadyCaretLineBytes + 1, u'a') + u"\r\nb"_s);
    QTRY_COMPARE(send(QsciScintillaBase::SCI_GETCARETPERIOD), 0L);
    send(QsciScintillaBase::SCI_GOTOLINE, 1);
    QTRY_COMPARE(send(QsciScintillaBase::SCI_GETCARETPERIOD), blink);
}

void TestForm1::boxesTakeAnyLength()
{
    Form1 form;
    ConnectCommands(form);
    // Past the 32,767 units a line edit keeps by default; a cut keyword would be another one.
    const QString keyword = QString(39'999, u'a') + u'b';
    for (int n = 1; n <= 7; ++n) {
        box(form, n)->setText(keyword);
        QCOMPARE(box(form, n)->text(), keyword);
    }
    // 去包含 removes the line with the whole keyword, not the one holding only its start.
    const QString start = keyword.first(39'999);
    area(form, "quan")->setContent(u"x"_s + keyword + u"\r\n"_s + start + u"\r\ny\r\nz"_s);
    click(form, 9);
    const auto lines = [&form](const char* name) {
        QStringList l = sortedLines(area(form, name)->content());
        l.removeAll(QString());
        return l;
    };
    QCOMPARE(lines("quan"), (QStringList{start, u"y"_s, u"z"_s}));
    QCOMPARE(lines("linshi"), QStringList{u"x"_s + keyword});
}

void TestForm1::copyMovesToTheClipboard_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::newRow("复制↑ moves quan") << 10 << u"quan"_s << u"a\r\n手机"_s;
    QTest::newRow("复制内容 moves quan") << 15 << u"quan"_s << u"b"_s;
    QTest::newRow("←复制 moves linshi") << 11 << u"linshi"_s << u"c\r\n"_s;
    QTest::newRow("an empty area leaves an empty clipboard") << 10 << u"quan"_s << QString();
}

void TestForm1::copyMovesToTheClipboard()
{
    QFETCH(int, command);
    QFETCH(QString, source);
    QFETCH(QString, text);
    Form1 form;
    ConnectCommands(form);
    QApplication::clipboard()->setText(u"left over"_s);
    const QString other = source == u"quan"_s ? u"linshi"_s : u"quan"_s;
    area(form, qPrintable(source))->setContent(text);
    area(form, qPrintable(other))->setContent(u"other"_s);
    click(form, command);
    QCOMPARE(QApplication::clipboard()->text(), text);
    QCOMPARE(area(form, qPrintable(source))->content(), QString());
    QCOMPARE(area(form, qPrintable(other))->content(), u"other"_s);
    QCOMPARE(form.windowTitle(), u"复制成功"_s);
}

void TestForm1::storeAndRetrieveKeepEveryByteCounterAndCaption()
{
    Form1 form;
    ConnectCommands(form);
    TextArea* linshi = area(form, "linshi");
    TextArea* dat = area(form, "dat");
    auto* label2 = child<QLabel>(form, "Label2");
    // A caption that holds no number counts as 0.
    label2->setText(u"x"_s);
    const QString stored = u"a\0b\r\n手机😀"_s;
    linshi->setContent(stored);
    click(form, 12);
    QCOMPARE(form.windowTitle(), u"存入成功"_s);
    QCOMPARE(label2->text(), u"1"_s);
    QCOMPARE(button(form, 12)->text(), u"存储1→"_s);
    linshi->setContent(u"B"_s);
    click(form, 12);
    // Each store puts a line break in front, even into the empty storage.
    QCOMPARE(dat->content(), u"\r\n"_s + stored + u"\r\nB"_s);
    QCOMPARE(linshi->content(), QString());
    QCOMPARE(label2->text(), u"2"_s);
    QCOMPARE(button(form, 12)->text(), u"存储2→"_s);

    linshi->setContent(u"x"_s);
    click(form, 13);
    QCOMPARE(linshi->content(), u"x\r\n\r\n"_s + stored + u"\r\nB"_s);
    QCOMPARE(dat->content(), QString());
    QCOMPARE(label2->text(), u"0"_s);
    QCOMPARE(button(form, 12)->text(), u"存储→"_s);
    QCOMPARE(form.windowTitle(), u"取回成功"_s);
    // Retrieving is one undo step; retrieving an empty storage still adds a line break.
    linshi->undo();
    QCOMPARE(linshi->content(), u"x"_s);
    click(form, 13);
    QCOMPARE(linshi->content(), u"x\r\n"_s);
}

void TestForm1::everyControlExplainsItsRule()
{
    Form1 form;
    ConnectCommands(form);
    for (const auto& [name, text] : Tooltips())
        QVERIFY2(form.findChild<QWidget*>(name), qPrintable(name));
    // Every command, box, check box, option button and visible area.
    const auto chinese = [](QChar c) { return c >= u'\u4E00' && c <= u'\u9FA5'; };
    int controls = 0;
    for (QWidget* w : form.findChildren<QWidget*>()) {
        static const QRegularExpression designed(u"^(Command\\d+|Text\\d|Check\\d|Option\\d|quan|linshi|list)$"_s);
        if (!designed.match(w->objectName()).hasMatch())
            continue;
        ++controls;
        const QString tip = w->toolTip();
        QVERIFY2(std::any_of(tip.begin(), tip.end(), chinese), qPrintable(w->objectName()));
    }
    QCOMPARE(controls, 26 + 7 + 2 + 2 + 3);
    // The rules that surprised users are stated on every control they apply to.
    const QList<std::pair<QString, QString>> rules{
        {u"6 7 9 22 23"_s, u"倒序排列，每 2000 行后多一个空行"_s},
        {u"1 3 4 18 19 20 21"_s, u"倒序排列"_s},
        {u"10 11 15"_s, u"然后清空"_s},
        {u"3 4 6 7 9"_s, u"移到临时区，替换其原内容"_s},
        {u"1"_s, u"包含在前面保留的行中"_s},
    };
    for (const auto& [commands, rule] : rules) {
        for (const QString& n : commands.split(u' '))
            QVERIFY2(button(form, n.toInt())->toolTip().contains(rule), qPrintable(n + rule));
    }
    QVERIFY(child<QCheckBox>(form, "Check1")->toolTip().contains(u"运行时自动打勾；取消打勾即停止"_s));
    QVERIFY(box(form, 2)->toolTip().contains(u"双击：把框里的内容换成它的字数"_s));
}

void TestForm1::menusAreChineseWhateverTheLocale()
{
    // The suite runs in the C locale.
    QVERIFY(InstallChineseTranslations(*QCoreApplication::instance()));
    Form1 form;
    ConnectCommands(form);
    const QStringList expected{
        u"撤消(&U)"_s, u"重做(&R)"_s, u"剪切(&T)"_s, u"复制(&C)"_s, u"粘贴(&P)"_s, u"删除"_s, u"全选"_s};
    for (QMenu* menu : {area(form, "quan")->createStandardContextMenu(), box(form, 2)->createStandardContextMenu()}) {
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            if (!action->isSeparator())
                texts << action->text().section(u'\t', 0, 0);
        }
        QCOMPARE(texts, expected);
        delete menu;
    }
}

void TestForm1::undoKeysOnAButtonTakeTheLastCommandBack()
{
    Form1 form;
    ConnectCommands(form);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    TextArea* quan = area(form, "quan");
    TextArea* linshi = area(form, "linshi");
    // Before any command the keys work on quan: here on what the user typed.
    quan->setFocus();
    QTest::keyClicks(quan, u"abc"_s);
    QTest::keyClick(quan, Qt::Key_Return);
    QTest::keyClicks(quan, u"de"_s);
    const QString typed = u"abc\r\nde"_s;
    QCOMPARE(quan->content(), typed);
    auto* tabs = child<QTabBar>(form, "TabStrip1");
    tabs->setFocus();
    QTest::keyClick(tabs, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(quan->content(), QString());
    QTest::keyClick(tabs, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(quan->content(), typed);

    // 去位长 writes quan and linshi: both come back, and both go forward again.
    box(form, 2)->setText(u"3"_s);
    QPushButton* command = button(form, 6);
    command->setFocus();
    click(form, 6);
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), command);
    const QString kept = quan->content();
    QCOMPARE(linshi->content(), u"abc\r\n\r\n"_s);
    QTest::keyClick(command, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(quan->content(), typed);
    QCOMPARE(linshi->content(), QString());
    QTest::keyClick(command, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(quan->content(), kept);
    QCOMPARE(linshi->content(), u"abc\r\n\r\n"_s);

    // In a box the keys are the box's own.
    LineBox* text2 = box(form, 2);
    text2->setFocus();
    QTest::keyClicks(text2, u"9"_s);
    QTest::keyClick(text2, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text2->text(), u"3"_s);
    QCOMPARE(quan->content(), kept);

    // ←取回 empties dat, which keeps no undo: its text stays in linshi.
    click(form, 13);
    const QString retrieved = linshi->content();
    QTest::keyClick(button(form, 13), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(linshi->content(), retrieved);
}

void TestForm1::cannotBeMaximised()
{
    Form1 form;
    ConnectCommands(form);
    QVERIFY(!form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    form.showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.isMaximized());
    QCOMPARE(form.size(), QSize(534, 408));
}

void TestForm1::statusShowsBracketStarAsTyped()
{
    Form1 form;
    form.show();
    for (const QString& message : {u"去包含[*]完毕剩余：3行"_s, u"[*][*]"_s, u"[*[*]]"_s}) {
        form.setStatus(message);
        QCOMPARE(form.windowHandle()->title(), message);
    }
}

QTEST_MAIN(TestForm1)
#include "testform1.moc"
