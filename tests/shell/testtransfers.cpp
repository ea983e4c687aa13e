#include "shell/form1.h"
#include "shell/transfers.h"
#include "tests/support/formfixture.h"

#include <QApplication>
#include <QClipboard>

using namespace lumbrel;
using namespace lumbrel::testing;

namespace {

QLabel* label2(Form1& form)
{
    return form.findChild<QLabel*>(QStringLiteral("Label2"));
}

} // namespace

class TestTransfers final : public QObject
{
    Q_OBJECT

private slots:
    void storeAppendsBehindALineBreak_data();
    void storeAppendsBehindALineBreak();
    void retrieveAppendsBehindALineBreak_data();
    void retrieveAppendsBehindALineBreak();

    void copyMovesToTheClipboard_data();
    void copyMovesToTheClipboard();
    void storeTwiceThenRetrieve();
    void storeCountsFromANonNumberCaptionAsZero();
};

void TestTransfers::storeAppendsBehindALineBreak_data()
{
    QTest::addColumn<QString>("storage");
    QTest::addColumn<QString>("temporary");
    QTest::addColumn<qint64>("counter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("into empty storage it starts with a line break")
        << QString() << QStringLiteral("A") << qint64{0} << QStringLiteral("\r\nA");
    QTest::newRow("behind earlier text") << QStringLiteral("\r\nA") << QStringLiteral("B") << qint64{1}
                                         << QStringLiteral("\r\nA\r\nB");
    QTest::newRow("an empty temporary text still adds a line break")
        << QStringLiteral("x") << QString() << qint64{4} << QStringLiteral("x\r\n");
}

void TestTransfers::storeAppendsBehindALineBreak()
{
    QFETCH(QString, storage);
    QFETCH(QString, temporary);
    QFETCH(qint64, counter);
    QFETCH(QString, expected);
    const StoreState s = Store(storage, temporary, counter);
    QCOMPARE(s.storage, expected);
    QCOMPARE(s.temporary, QString());
    QCOMPARE(s.counter, counter + 1);
}

void TestTransfers::retrieveAppendsBehindALineBreak_data()
{
    QTest::addColumn<QString>("temporary");
    QTest::addColumn<QString>("storage");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty temporary after one store")
        << QString() << QStringLiteral("\r\nA") << QStringLiteral("\r\n\r\nA");
    QTest::newRow("empty storage still adds a line break")
        << QStringLiteral("t") << QString() << QStringLiteral("t\r\n");
    QTest::newRow("behind the temporary text")
        << QStringLiteral("t") << QStringLiteral("s") << QStringLiteral("t\r\ns");
}

void TestTransfers::retrieveAppendsBehindALineBreak()
{
    QFETCH(QString, temporary);
    QFETCH(QString, storage);
    QFETCH(QString, expected);
    const StoreState s = Retrieve(temporary, storage);
    QCOMPARE(s.temporary, expected);
    QCOMPARE(s.storage, QString());
    QCOMPARE(s.counter, qint64{0});
}

void TestTransfers::copyMovesToTheClipboard_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::newRow("复制↑ moves quan") << 10 << QStringLiteral("quan") << QStringLiteral("a\r\n手机");
    QTest::newRow("复制内容 moves quan") << 15 << QStringLiteral("quan") << QStringLiteral("b");
    QTest::newRow("←复制 moves linshi") << 11 << QStringLiteral("linshi") << QStringLiteral("c\r\n");
    QTest::newRow("an empty area leaves an empty clipboard") << 10 << QStringLiteral("quan") << QString();
}

void TestTransfers::copyMovesToTheClipboard()
{
    QFETCH(int, command);
    QFETCH(QString, source);
    QFETCH(QString, text);
    Form1 form;
    QApplication::clipboard()->setText(QStringLiteral("left over"));
    TextArea* from = area(form, qPrintable(source));
    from->setContent(text);
    const QString otherName = source == QStringLiteral("quan") ? QStringLiteral("linshi") : QStringLiteral("quan");
    area(form, qPrintable(otherName))->setContent(QStringLiteral("other"));
    click(form, command);
    QCOMPARE(QApplication::clipboard()->text(), text);
    QCOMPARE(from->content(), QString());
    QCOMPARE(area(form, qPrintable(otherName))->content(), QStringLiteral("other"));
    QCOMPARE(form.windowTitle(), QStringLiteral("复制成功"));
}

void TestTransfers::storeTwiceThenRetrieve()
{
    Form1 form;
    TextArea* linshi = area(form, "linshi");
    TextArea* dat = area(form, "dat");
    linshi->setContent(QStringLiteral("A"));
    click(form, 12);
    QCOMPARE(form.windowTitle(), QStringLiteral("存入成功"));
    QCOMPARE(label2(form)->text(), QStringLiteral("1"));
    QCOMPARE(button(form, 12)->text(), QStringLiteral("存储1→"));
    linshi->setContent(QStringLiteral("B"));
    click(form, 12);
    QCOMPARE(dat->content(), QStringLiteral("\r\nA\r\nB"));
    QCOMPARE(linshi->content(), QString());
    QCOMPARE(label2(form)->text(), QStringLiteral("2"));
    QCOMPARE(button(form, 12)->text(), QStringLiteral("存储2→"));

    click(form, 13);
    QCOMPARE(linshi->content(), QStringLiteral("\r\n\r\nA\r\nB"));
    QCOMPARE(dat->content(), QString());
    QCOMPARE(label2(form)->text(), QStringLiteral("0"));
    QCOMPARE(button(form, 12)->text(), QStringLiteral("存储→"));
    QCOMPARE(form.windowTitle(), QStringLiteral("取回成功"));
}

void TestTransfers::storeCountsFromANonNumberCaptionAsZero()
{
    Form1 form;
    label2(form)->setText(QStringLiteral("x"));
    click(form, 12);
    QCOMPARE(label2(form)->text(), QStringLiteral("1"));
    QCOMPARE(area(form, "dat")->content(), QStringLiteral("\r\n"));
}

QTEST_MAIN(TestTransfers)
#include "testtransfers.moc"
