#include "shell/form1.h"
#include "shell/linemodel.h"
#include "tests/support/formfixture.h"

#include <QProgressBar>

using namespace lumbrel;
using namespace lumbrel::testing;

namespace {

QProgressBar* bar(Form1& form)
{
    return form.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
}

QStringList sortedLines(const QString& text)
{
    QStringList lines;
    for (QStringView line : SplitLines(text))
        lines.append(line.toString());
    lines.sort();
    return lines;
}

} // namespace

class TestRewritesForm final : public QObject
{
    Q_OBJECT

private slots:
    void commandWithOneBox_data();
    void commandWithOneBox();
    void replaceCleansBothBoxes();
    void replaceWritesTheAreaEvenWithoutMatch();
    void htmlStripThroughTheWindow();
    void lineCommandsDriveTheMeter_data();
    void lineCommandsDriveTheMeter();
    void refusalsLeaveTheAreaAndTheMeter_data();
    void refusalsLeaveTheAreaAndTheMeter();
    void shuffleKeepsLinesAndTitle();
};

void TestRewritesForm::commandWithOneBox_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("boxNumber");
    QTest::addColumn<QString>("boxText"); // empty: the box keeps its start text
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("expectedQuan");
    QTest::addColumn<QString>("expectedBox");
    QTest::addColumn<QString>("expectedTitle");
    QTest::newRow("去掉→ removes the start text of Text1")
        << 8 << 1 << QString() << QStringLiteral("aText1b\r\nText1") << QStringLiteral("ab\r\n")
        << QStringLiteral("Text1") << QStringLiteral("完毕");
    QTest::newRow("去掉→ keeps the spaces of Text1")
        << 8 << 1 << QStringLiteral(" a ") << QStringLiteral("x a y\r\na") << QStringLiteral("xy\r\na")
        << QStringLiteral(" a ") << QStringLiteral("完毕");
    QTest::newRow("替换成 vbcrlf splits at a comma in Text3")
        << 17 << 3 << QStringLiteral(",") << QStringLiteral("a,b,c") << QStringLiteral("a\r\nb\r\nc")
        << QStringLiteral(",") << QStringLiteral("替换完毕");
    QTest::newRow("每行前面加关键词→ with the start keyword")
        << 22 << 6 << QString() << QStringLiteral("a\r\nb\r\nc")
        << QStringLiteral("|=|哈哈c\r\n|=|哈哈b\r\n|=|哈哈a\r\n\r\n") << QStringLiteral("|=|哈哈")
        << QStringLiteral("处理完毕剩余：4行");
    QTest::newRow("←关键词加在每行后面 trims the keyword into Text6")
        << 23 << 6 << QStringLiteral("  K  ") << QStringLiteral(" a \r\n\r\nb") << QStringLiteral("bK\r\naK\r\n\r\n")
        << QStringLiteral("K") << QStringLiteral("处理完毕剩余：3行");
    QTest::newRow("留前 with the start marker")
        << 18 << 5 << QString() << QStringLiteral("前特征符后\r\nx") << QStringLiteral("x\r\n前\r\n")
        << QStringLiteral("特征符") << QStringLiteral("处理完毕剩余：2行");
    QTest::newRow("留后 trims the marker into Text5; a final break counts a line")
        << 19 << 5 << QStringLiteral(" | ") << QStringLiteral("a|1\r\nb|2\r\n") << QStringLiteral("\r\n2\r\n1\r\n")
        << QStringLiteral("|") << QStringLiteral("处理完毕剩余：3行");
    QTest::newRow("取左位数 with the start count 2")
        << 20 << 4 << QString() << QStringLiteral("abc\r\nxy") << QStringLiteral("xy\r\nab\r\n") << QStringLiteral("2")
        << QStringLiteral("处理完毕剩余：2行");
    QTest::newRow("取右位数 trims the count into Text4")
        << 21 << 4 << QStringLiteral(" 1 ") << QStringLiteral("abc\r\nxy") << QStringLiteral("y\r\nc\r\n")
        << QStringLiteral("1") << QStringLiteral("处理完毕剩余：2行");
}

void TestRewritesForm::commandWithOneBox()
{
    QFETCH(int, command);
    QFETCH(int, boxNumber);
    QFETCH(QString, boxText);
    QFETCH(QString, quan);
    QFETCH(QString, expectedQuan);
    QFETCH(QString, expectedBox);
    QFETCH(QString, expectedTitle);
    Form1 form;
    if (!boxText.isEmpty())
        box(form, boxNumber)->setText(boxText);
    area(form, "quan")->setContent(quan);
    click(form, command);
    QCOMPARE(area(form, "quan")->content(), expectedQuan);
    QCOMPARE(box(form, boxNumber)->text(), expectedBox);
    QCOMPARE(form.windowTitle(), expectedTitle);
}

void TestRewritesForm::replaceCleansBothBoxes()
{
    Form1 form;
    box(form, 1)->setText(QStringLiteral(" a "));
    box(form, 3)->setText(QStringLiteral(" - "));
    area(form, "quan")->setContent(QStringLiteral("a b a"));
    click(form, 16);
    QCOMPARE(box(form, 1)->text(), QStringLiteral("a"));
    QCOMPARE(box(form, 3)->text(), QStringLiteral("-"));
    QCOMPARE(area(form, "quan")->content(), QStringLiteral("- b -"));
    QCOMPARE(form.windowTitle(), QStringLiteral("替换完毕"));
}

void TestRewritesForm::replaceWritesTheAreaEvenWithoutMatch()
{
    // The write shows as an undo step of the area.
    const QList<std::pair<int, QString>> commands = {
        {8, QStringLiteral("完毕")}, {16, QStringLiteral("替换完毕")}, {17, QStringLiteral("替换完毕")}};
    for (const auto& [command, title] : commands) {
        Form1 form;
        TextArea* quan = area(form, "quan");
        quan->setContent(QStringLiteral("nothing to find"));
        quan->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
        click(form, command);
        QCOMPARE(quan->content(), QStringLiteral("nothing to find"));
        QVERIFY2(quan->isUndoAvailable(), qPrintable(QString::number(command)));
        QCOMPARE(form.windowTitle(), title);
    }
}

void TestRewritesForm::htmlStripThroughTheWindow()
{
    Form1 form;
    TextArea* quan = area(form, "quan");
    quan->setContent(QStringLiteral("x < y <b>z</b>\r\n<a\r\nhref=\"u\">link</a>"));
    click(form, 5);
    QCOMPARE(quan->content(), QStringLiteral("x < y z\r\nlink"));
    QCOMPARE(form.windowTitle(), QStringLiteral("去HTML完毕"));
    quan->setContent({});
    form.setStatus(QStringLiteral("before"));
    click(form, 5);
    QCOMPARE(quan->content(), QString());
    QCOMPARE(form.windowTitle(), QStringLiteral("去HTML完毕"));
}

void TestRewritesForm::lineCommandsDriveTheMeter_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("quan");
    QTest::addColumn<int>("maximum");
    QTest::newRow("keyword in front: entries after the empty runs are shortened")
        << 22 << QStringLiteral("a\r\n\r\n\r\n\r\nb") << 2;
    QTest::newRow("keep before: every entry") << 18 << QStringLiteral("a\r\n\r\n\r\n\r\nb") << 5;
    QTest::newRow("take left") << 20 << QStringLiteral("a\r\nb\r\nc") << 3;
}

void TestRewritesForm::lineCommandsDriveTheMeter()
{
    QFETCH(int, command);
    QFETCH(QString, quan);
    QFETCH(int, maximum);
    Form1 form;
    form.show();
    area(form, "quan")->setContent(quan);
    click(form, command);
    QCOMPARE(bar(form)->maximum(), maximum);
    QCOMPARE(bar(form)->value(), 0);
    QVERIFY(bar(form)->isVisible());
}

void TestRewritesForm::refusalsLeaveTheAreaAndTheMeter_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("boxNumber");
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("expectedBox");
    QTest::addColumn<QString>("title");
    const QString noBreak = QStringLiteral("数据不足 没有发现换行符");
    QTest::newRow("keyword commands do not clean Text6 when refused")
        << 22 << 6 << QStringLiteral("abc") << QStringLiteral(" K ") << QStringLiteral(" K ") << noBreak;
    QTest::newRow("keep before cleans Text5 first")
        << 18 << 5 << QStringLiteral("a|b") << QStringLiteral(" | ") << QStringLiteral("|") << noBreak;
    QTest::newRow("take left: no break comes before no number")
        << 20 << 4 << QStringLiteral("abc") << QStringLiteral(" x ") << QStringLiteral("x") << noBreak;
    QTest::newRow("take right: no number") << 21 << 4 << QStringLiteral("a\r\nb") << QStringLiteral(" x ")
                                           << QStringLiteral("x") << QStringLiteral("您输入的不是数字");
}

void TestRewritesForm::refusalsLeaveTheAreaAndTheMeter()
{
    QFETCH(int, command);
    QFETCH(int, boxNumber);
    QFETCH(QString, quan);
    QFETCH(QString, boxText);
    QFETCH(QString, expectedBox);
    QFETCH(QString, title);
    Form1 form;
    area(form, "quan")->setContent(quan);
    box(form, boxNumber)->setText(boxText);
    const int maxBefore = bar(form)->maximum();
    click(form, command);
    QCOMPARE(form.windowTitle(), title);
    QCOMPARE(area(form, "quan")->content(), quan);
    QCOMPARE(box(form, boxNumber)->text(), expectedBox);
    QCOMPARE(bar(form)->maximum(), maxBefore);
}

void TestRewritesForm::shuffleKeepsLinesAndTitle()
{
    Form1 form;
    TextArea* quan = area(form, "quan");
    QString text;
    for (int i = 0; i < 300; ++i)
        text += QStringLiteral("line %1\r\n").arg(i % 50);
    quan->setContent(text);
    form.setStatus(QStringLiteral("去HTML完毕"));
    const int maxBefore = bar(form)->maximum();
    click(form, 25);
    const QString shuffled = quan->content();
    QCOMPARE(sortedLines(shuffled), sortedLines(text));
    QCOMPARE(shuffled.size(), text.size());
    QCOMPARE(form.windowTitle(), QStringLiteral("去HTML完毕"));
    QCOMPARE(bar(form)->maximum(), maxBefore);
    // 301 lines left in their order by chance is out of the question.
    QVERIFY(shuffled != text);
}

QTEST_MAIN(TestRewritesForm)
#include "testrewritesform.moc"
