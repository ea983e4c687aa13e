#include "tests/support/formfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTabBar>
#include <QWindow>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

class TestForm1 final : public QObject
{
    Q_OBJECT

private slots:
    void startsAsDesignedAndStaysSo();
    void extraRoomGoesToTheAreas();
    void areasKeepEveryUnitAndGiveCrLf();
    void loadedTextStepsBackToTheTextBefore();

    void storeAndRetrieveKeepEveryByteCounterAndCaption();

    void undoKeysOnAButtonTakeTheLastCommandBack();
};

void TestForm1::startsAsDesignedAndStaysSo()
{
    Form1 form;
    wire(form);
    QCOMPARE(form.windowTitle(), u"Lumbrel V1.6"_s);
    QCOMPARE(area(form, "list")->content(), u"list"_s);
    QCOMPARE(child<QLabel>(form, "Label2")->text(), u"0"_s);
    // The captions are what users click by: a wrong character is a wrong command.
    const QStringList captions =
        u"去重复|去空行|去英文|去汉字|去HTML|去位长|去位短|去掉→|去包含|复制↑|←复制|存储→|←取回|抓取|"
        u"复制内容|替换成|替换成 vbcrlf|留前|留后|取左位数|取右位数|每行前面加关键词→|"
        u"←关键词加在每行后面|开始|打乱顺序|←去空行|停 止|模拟蜘蛛"_s.split(u'|');
    for (int n = 1; n <= 28; ++n) {
        const QString name = n <= 26 ? u"Command%1"_s.arg(n) : u"Check%1"_s.arg(n - 26);
        QCOMPARE(child<QAbstractButton>(form, name)->text(), captions[n - 1]);
    }
    // dat, Label2 and the fifth frame lie beyond the right edge.
    for (const char* name : {"dat", "Label2", "Frame1_5"})
        QVERIFY2(child<QWidget>(form, name)->x() >= 534, name);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // 8010 x 6120 twips at 15 a pixel, and no smaller.
    QCOMPARE(form.size(), QSize(534, 408));
    form.resize(300, 200);
    QCOMPARE(form.size(), QSize(534, 408));
    // A status shows exactly its text: "[*]" is no placeholder.
    for (const QString& message : {u"去包含[*]完毕剩余：3行"_s, u"[*[*]]"_s}) {
        form.setStatus(message);
        QCOMPARE(form.windowHandle()->title(), message);
    }
}

void TestForm1::extraRoomGoesToTheAreas()
{
    Form1 form;
    wire(form, true);
    const auto geometries = [&form] {
        QMap<QString, QRect> g;
        for (QWidget* w : form.findChildren<QWidget*>()) {
            if (!w->objectName().isEmpty())
                g.insert(w->objectName(), QRect(w->mapTo(&form, QPoint(0, 0)), w->size()));
        }
        return g;
    };
    const QMap<QString, QRect> designed = geometries();
    form.showMaximized();
    QTRY_VERIFY(form.isMaximized());
    QTRY_VERIFY(form.width() > 534 && form.height() > 408);
    const QMap<QString, QRect> grown = geometries();
    const QSize extra = form.size() - QSize(534, 408);
    const QRect quan = grown[u"quan"_s];
    const QRect linshi = grown[u"linshi"_s];
    // The areas take all the room: quan reaches as far right, linshi as far down, as before.
    QCOMPARE(quan.topLeft(), designed[u"quan"_s].topLeft());
    QCOMPARE(quan.right() - form.width(), designed[u"quan"_s].right() - 534);
    QCOMPARE(linshi.bottom() - form.height(), designed[u"linshi"_s].bottom() - 408);
    QVERIFY(quan.height() > designed[u"quan"_s].height() && linshi.height() > designed[u"linshi"_s].height());
    QCOMPARE(grown[u"ProgressBar1"_s].top() - quan.bottom(),
             designed[u"ProgressBar1"_s].top() - designed[u"quan"_s].bottom());
    // linshi keeps its buttons at its right.
    for (const char* name : {"Command10", "Command11", "Command12", "Command13"}) {
        const QRect before = designed[QString::fromLatin1(name)];
        const QRect after = grown[QString::fromLatin1(name)];
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.topLeft() - linshi.topRight(), before.topLeft() - designed[u"linshi"_s].topRight());
    }
    for (const char* name : {"dat", "Label2", "Frame1_5"})
        QVERIFY2(grown[QString::fromLatin1(name)].x() >= form.width(), name);
    // Every other control stays where it was designed.
    for (auto [name, rect] : designed.asKeyValueRange()) {
        static const QStringList moving =
            u"quan linshi ProgressBar1 Command10 Command11 Command12 Command13 dat Label2 "
            u"Frame1_5 qt_scrollarea_viewport qt_scrollarea_hcontainer "
            u"qt_scrollarea_vcontainer"_s.split(u' ');
        if (!moving.contains(name) && !name.startsWith(u"qt_"_s))
            QVERIFY2(grown[name] == rect, qPrintable(name));
    }
    // 去包含 does not shrink a window the user gave more room.
    area(form, "quan")->setContent(u"a\r\nb\r\nc\r\nd"_s);
    box(form, 2)->setText(u"a"_s);
    click(form, 9);
    QVERIFY(form.isMaximized());
    QCOMPARE(form.size(), QSize(534, 408) + extra);
}

void TestForm1::areasKeepEveryUnitAndGiveCrLf()
{
    Form1 form;
    wire(form, true);
    TextArea* quan = area(form, "quan");
    // The horizontal scroll bar reaches the end of the longest line.
    QCOMPARE(quan->SendScintilla(QsciScintillaBase::SCI_GETSCROLLWIDTHTRACKING), 1L);
    const QString exact = u"a\0b\r\n\0中文\U0001F600\r\n"_s;
    quan->setContent(exact);
    QCOMPARE(quan->content(), exact);
    // LF CR is two breaks; in CR CR LF only the first CR is lone.
    QCOMPARE(quan->setContent(u"a\nb\rc\n\rd\r\r\n"_s), qsizetype{6});
    QCOMPARE(quan->content(), u"a\r\nb\r\nc\r\n\r\nd\r\n\r\n"_s);
    QApplication::clipboard()->setText(u"x\ny\rz"_s);
    quan->setContent(QString());
    quan->paste();
    quan->setFocus();
    QTest::keyClick(quan, Qt::Key_Return);
    QCOMPARE(quan->content(), u"x\r\ny\r\nz\r\n"_s);
    // What a huge line would multiply: no lookup for the lead bytes of Chinese characters
    // (control characters still show as a blob), and no caret blinking on it.
    QCOMPARE(quan->SendScintilla(QsciScintillaBase::SCI_GETREPRESENTATION, "\xE4", nullptr), 0L);
    QCOMPARE(quan->SendScintilla(QsciScintillaBase::SCI_GETREPRESENTATION, "\x01", nullptr), 3L);
    const long blink = quan->SendScintilla(QsciScintillaBase::SCI_GETCARETPERIOD);
    quan->setContent(QString(TextArea::SteadyCaretLineBytes + 1, u'a') + u"\r\nb"_s);
    QTRY_COMPARE(quan->SendScintilla(QsciScintillaBase::SCI_GETCARETPERIOD), 0L);
    quan->SendScintilla(QsciScintillaBase::SCI_GOTOLINE, 1);
    QTRY_COMPARE(quan->SendScintilla(QsciScintillaBase::SCI_GETCARETPERIOD), blink);
}

void TestForm1::loadedTextStepsBackToTheTextBefore()
{
    Form1 form;
    wire(form, true);
    TextArea* quan = area(form, "quan");
    quan->setFocus();
    QTest::keyClicks(quan, u"old"_s);
    const auto key = [quan](Qt::Key k, Qt::KeyboardModifiers m = Qt::ControlModifier) { QTest::keyClick(quan, k, m); };

    quan->beginLoad(16);
    quan->appendLoaded("a\r\n\xe4\xb8\xad");
    // Nothing is typed into a text still loading.
    QTest::keyClicks(quan, u"x"_s);
    quan->appendLoaded("\r\nb");
    quan->finishLoad();
    QCOMPARE(quan->content(), u"a\r\n中\r\nb"_s);
    QCOMPARE(quan->utf8(), QByteArrayView("a\r\n\xe4\xb8\xad\r\nb"));
    // One step back is the text before, with its own history behind it; and forward again.
    key(Qt::Key_Z);
    QCOMPARE(quan->content(), u"old"_s);
    key(Qt::Key_Z);
    QCOMPARE(quan->content(), QString());
    key(Qt::Key_Y);
    QCOMPARE(quan->content(), u"old"_s);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(quan->content(), u"a\r\n中\r\nb"_s);

    // A cancelled load leaves the text and its history as they were.
    quan->beginLoad(0);
    quan->appendLoaded("partial");
    quan->cancelLoad();
    QCOMPARE(quan->content(), u"a\r\n中\r\nb"_s);
    key(Qt::Key_Z);
    QCOMPARE(quan->content(), u"old"_s);
    key(Qt::Key_Y);

    // A command's write while a load runs ends the load first: the write lands on the text before.
    quan->beginLoad(0);
    quan->appendLoaded("partial");
    quan->prependContent(u"new\r\n"_s);
    QVERIFY(!quan->isLoading());
    QVERIFY(!quan->isReadOnly());
    QCOMPARE(quan->content(), u"new\r\na\r\n中\r\nb"_s);
    key(Qt::Key_Z);
    QCOMPARE(quan->content(), u"a\r\n中\r\nb"_s);
}

void TestForm1::storeAndRetrieveKeepEveryByteCounterAndCaption()
{
    Form1 form;
    wire(form);
    TextArea* linshi = area(form, "linshi");
    auto* label2 = child<QLabel>(form, "Label2");
    // A caption that holds no number counts as 0.
    label2->setText(u"x"_s);
    const QString stored = u"a\0b\r\n手机😀"_s;
    for (const QString& text : {stored, u"B"_s}) {
        linshi->setContent(text);
        click(form, 12);
        QCOMPARE(form.windowTitle(), u"存入成功"_s);
    }
    // Each store puts a line break in front, even into the empty storage.
    QCOMPARE(area(form, "dat")->content(), u"\r\n"_s + stored + u"\r\nB"_s);
    QCOMPARE(linshi->content(), QString());
    QCOMPARE(label2->text(), u"2"_s);
    QCOMPARE(button(form, 12)->text(), u"存储2→"_s);

    linshi->setContent(u"x"_s);
    click(form, 13);
    QCOMPARE(linshi->content(), u"x\r\n\r\n"_s + stored + u"\r\nB"_s);
    QCOMPARE(label2->text(), u"0"_s);
    QCOMPARE(button(form, 12)->text(), u"存储→"_s);
    QCOMPARE(form.windowTitle(), u"取回成功"_s);
    // Retrieving is one undo step and empties the storage: retrieving again adds a line break only.
    linshi->undo();
    click(form, 13);
    QCOMPARE(linshi->content(), u"x\r\n"_s);
}

void TestForm1::undoKeysOnAButtonTakeTheLastCommandBack()
{
    Form1 form;
    wire(form, true);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    TextArea* quan = area(form, "quan");
    TextArea* linshi = area(form, "linshi");
    // Before any command the keys work on quan: here on what the user typed (a whole text
    // set in code would count as a write).
    quan->setFocus();
    QTest::keyClicks(quan, u"abc"_s);
    QTest::keyClick(quan, Qt::Key_Return);
    QTest::keyClicks(quan, u"de"_s);
    const QString typed = u"abc\r\nde"_s;
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
    const QString kept = quan->content() + linshi->content();
    QTest::keyClick(command, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(quan->content() + linshi->content(), typed);
    QTest::keyClick(command, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(quan->content() + linshi->content(), kept);

    // In a box the keys are the box's own.
    box(form, 2)->setFocus();
    QTest::keyClicks(box(form, 2), u"9"_s);
    QTest::keyClick(box(form, 2), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box(form, 2)->text(), u"3"_s);
    QCOMPARE(quan->content() + linshi->content(), kept);

    // 存储→ and ←取回 move text into and out of dat, which keeps no undo: taking back only
    // linshi's half would leave the text in neither area or in both.
    click(form, 12);
    QTest::keyClick(button(form, 12), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(linshi->content(), QString());
    click(form, 13);
    const QString retrieved = linshi->content();
    QVERIFY(!retrieved.isEmpty());
    QTest::keyClick(button(form, 13), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(linshi->content(), retrieved);
}

QTEST_MAIN(TestForm1)
#include "testform1.moc"
