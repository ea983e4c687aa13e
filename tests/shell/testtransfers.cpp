#include "shell/form1.h"
#include "tests/support/formfixture.h"

#include <QApplication>
#include <QClipboard>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

class TestTransfers final : public QObject
{
    Q_OBJECT

private slots:
    void copyMovesToTheClipboard_data();
    void copyMovesToTheClipboard();
    void storeAndRetrieveKeepCounterAndCaption();
    void storeCountsFromANonNumberCaptionAsZero();
    void retrieveIsOneUndoStepAndKeepsEveryByte();
};

void TestTransfers::copyMovesToTheClipboard_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::newRow("复制↑ moves quan") << 10 << u"quan"_s << u"a\r\n手机"_s;
    QTest::newRow("复制内容 moves quan") << 15 << u"quan"_s << u"b"_s;
    QTest::newRow("←复制 moves linshi") << 11 << u"linshi"_s << u"c\r\n"_s;
    QTest::newRow("an empty area leaves an empty clipboard") << 10 << u"quan"_s << QString();
}

void TestTransfers::copyMovesToTheClipboard()
{
    QFETCH(int, command);
    QFETCH(QString, source);
    QFETCH(QString, text);
    Form1 form;
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

void TestTransfers::storeAndRetrieveKeepCounterAndCaption()
{
    Form1 form;
    TextArea* linshi = area(form, "linshi");
    TextArea* dat = area(form, "dat");
    auto* label2 = child<QLabel>(form, "Label2");
    linshi->setContent(u"A"_s);
    click(form, 12);
    QCOMPARE(form.windowTitle(), u"存入成功"_s);
    QCOMPARE(label2->text(), u"1"_s);
    QCOMPARE(button(form, 12)->text(), u"存储1→"_s);
    linshi->setContent(u"B"_s);
    click(form, 12);
    // Each store puts a line break in front, even into the empty storage.
    QCOMPARE(dat->content(), u"\r\nA\r\nB"_s);
    QCOMPARE(linshi->content(), QString());
    QCOMPARE(label2->text(), u"2"_s);
    QCOMPARE(button(form, 12)->text(), u"存储2→"_s);

    click(form, 13);
    QCOMPARE(linshi->content(), u"\r\n\r\nA\r\nB"_s);
    QCOMPARE(dat->content(), QString());
    QCOMPARE(label2->text(), u"0"_s);
    QCOMPARE(button(form, 12)->text(), u"存储→"_s);
    QCOMPARE(form.windowTitle(), u"取回成功"_s);
    // Retrieving an empty storage still adds a line break.
    click(form, 13);
    QCOMPARE(linshi->content(), u"\r\n\r\nA\r\nB\r\n"_s);
}

void TestTransfers::storeCountsFromANonNumberCaptionAsZero()
{
    Form1 form;
    child<QLabel>(form, "Label2")->setText(u"x"_s);
    click(form, 12);
    QCOMPARE(child<QLabel>(form, "Label2")->text(), u"1"_s);
    QCOMPARE(area(form, "dat")->content(), u"\r\n"_s);
}

void TestTransfers::retrieveIsOneUndoStepAndKeepsEveryByte()
{
    Form1 form;
    TextArea* linshi = area(form, "linshi");
    const QString stored = u"a\0b\r\n手机😀\r\n"_s;
    linshi->setContent(stored);
    click(form, 12);
    linshi->setContent(u"x"_s);
    click(form, 13);
    QCOMPARE(linshi->content(), u"x\r\n\r\n"_s + stored);
    linshi->undo();
    QCOMPARE(linshi->content(), u"x"_s);
}

QTEST_MAIN(TestTransfers)
#include "testtransfers.moc"
