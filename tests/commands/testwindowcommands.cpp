#include "tests/support/formfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QProgressBar>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

using Boxes = QMap<int, QString>;

const QString Old = u"old"_s;

} // namespace

class TestWindowCommands final : public QObject
{
    Q_OBJECT

private slots:
    void clickCommand_data();
    void clickCommand();
    void groupedResultsEndAndSplitWithEmptyLines_data();
    void groupedResultsEndAndSplitWithEmptyLines();
    void shuffleMovesEveryLineEmptyOnesTooAndShowsNothing();
    void doubleClickMeasuresText2();
};

void TestWindowCommands::clickCommand_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<Boxes>("boxes"); // typed into Text<n> before the click
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("linshi"); // linshi holds "old" before the click
    QTest::addColumn<QString>("title");
    QTest::addColumn<Boxes>("shown"); // boxes that must then show something other than what was typed
    QTest::addColumn<int>("bar");     // the progress bar's maximum after the click (its value is 0)
    const Boxes none;
    const int untouched = 100;
    // The copy commands move their area's text to the clipboard, an empty text too.
    QTest::newRow("复制↑ moves quan") << 10 << none << u"a\r\n手机\r\n\r\n"_s << QString() << Old << u"复制成功"_s
                                      << none << untouched;
    QTest::newRow("复制内容 moves an empty quan")
        << 15 << none << QString() << QString() << Old << u"复制成功"_s << none << untouched;
    QTest::newRow("←复制 moves linshi") << 11 << none << u"x"_s << u"x"_s << QString() << u"复制成功"_s << none
                                        << untouched;
    QTest::newRow("去重复 keeps first occurrences, reversed")
        << 1 << none << u"abc\r\nab\r\nx\r\nabc\r\n"_s << u"x\r\nabc\r\n"_s << Old << u"去重复完毕剩余：2行"_s << none
        << 5;
    QTest::newRow("去重复 refuses two lines")
        << 1 << none << u"a\r\nb"_s << u"a\r\nb"_s << Old << u"数据不足，人工去除吧"_s << none << untouched;
    QTest::newRow("去空行 in quan") << 2 << none << u"a\r\n\r\n\r\n\r\n\r\nb"_s << u"a\r\n\r\nb"_s << Old
                                    << u"去空行完毕剩余：3行"_s << none << untouched;
    QTest::newRow("←去空行 in list") << 26 << none << u"a\r\n\r\nb"_s << u"a\r\nb"_s << Old << u"去空行完毕剩余：2行"_s
                                     << none << untouched;
    QTest::newRow("←去空行 refuses a list without a line break")
        << 26 << none << u"list"_s << u"list"_s << Old << u"没有发现空行符 去空行失败"_s << none << untouched;
    QTest::newRow("去英文 keeps Chinese lines and replaces linshi")
        << 3 << none << u"中A\r\nB\r\n中C"_s << u"中C\r\n中A\r\n"_s << u"B\r\n"_s << u"去英文完毕剩余：2行"_s << none
        << untouched;
    QTest::newRow("去汉字 keeps the other lines")
        << 4 << none << u"中A\r\nB\r\n中C"_s << u"B\r\n"_s << u"中C\r\n中A\r\n"_s << u"去汉字完毕剩余：1行"_s << none
        << untouched;
    QTest::newRow("去HTML") << 5 << none << u"x < y <b>z</b>\r\n<a\r\nhref=\"u\">link</a>"_s << u"x < y z\r\nlink"_s
                            << Old << u"去HTML完毕"_s << none << untouched;
    // Text2 is read as typed, not cleaned and written back.
    QTest::newRow("去位长") << 6 << Boxes{{2, u" 3 "_s}} << u"abc\r\nde\r\nabcdef"_s << u"de\r\n\r\n"_s
                            << u"abcdef\r\nabc\r\n\r\n"_s << u"去位长完毕剩余：2行"_s << none << 3;
    // A Chinese input method types full-width digits: "３" works as "3" and stays as typed.
    QTest::newRow("去位长 with a full-width 3")
        << 6 << Boxes{{2, u"３"_s}} << u"abc\r\nde\r\nabcdef"_s << u"de\r\n\r\n"_s << u"abcdef\r\nabc\r\n\r\n"_s
        << u"去位长完毕剩余：2行"_s << none << 3;
    QTest::newRow("去位短") << 7 << Boxes{{2, u" 3 "_s}} << u"abc\r\nde\r\nabcdef"_s << u"abcdef\r\n\r\n"_s
                            << u"de\r\nabc\r\n\r\n"_s << u"去位短完毕剩余：2行"_s << none << 3;
    QTest::newRow("去位长 refuses a text without a line break")
        << 6 << Boxes{{2, u"3"_s}} << u"abc"_s << u"abc"_s << Old << u"数据不足，没发现换行符"_s << none << untouched;
    QTest::newRow("去包含 removing nothing empties linshi")
        << 9 << Boxes{{2, u"zz"_s}} << u"a\r\nb\r\nc\r\nd"_s << u"d\r\nc\r\nb\r\na\r\n\r\n"_s << QString()
        << u"去包含zz完毕剩余：5行"_s << none << 4;
    // Past the 32,767 units a line edit keeps by default: a cut keyword would be another one.
    const QString keyword = QString(39'999, u'a') + u'b';
    const QString start = keyword.first(39'999);
    QTest::newRow("去包含 takes the whole of a long keyword")
        << 9 << Boxes{{2, keyword}} << start + u"\r\ny\r\nz\r\nx"_s + keyword << u"z\r\ny\r\n"_s + start + u"\r\n\r\n"_s
        << u"x"_s + keyword + u"\r\n"_s << u"去包含"_s + keyword + u"完毕剩余：4行"_s << none << 4;
    QTest::newRow("去包含 refuses an empty keyword first")
        << 9 << Boxes{{2, QString()}} << QString() << QString() << Old << u"请输入关键词"_s << none << untouched;
    QTest::newRow("去掉→ strips the breaks of Text1 and keeps its spaces")
        << 8 << Boxes{{1, u" a\r\n"_s}} << u"x a y\r\na"_s << u"x y\r\na"_s << Old << u"完毕"_s << Boxes{{1, u" a"_s}}
        << untouched;
    QTest::newRow("替换成 trims Text1 and Text3")
        << 16 << Boxes{{1, u" a "_s}, {3, u" - "_s}} << u"a b a"_s << u"- b -"_s << Old << u"替换完毕"_s
        << Boxes{{1, u"a"_s}, {3, u"-"_s}} << untouched;
    QTest::newRow("替换成 vbcrlf splits at Text3, a lone space kept")
        << 17 << Boxes{{3, u" "_s}} << u"a b  c"_s << u"a\r\nb\r\n\r\nc"_s << Old << u"替换完毕"_s << none << untouched;
    // The bar counts the lines left after runs of empty lines are shortened.
    QTest::newRow("每行前面加关键词→ with the start keyword")
        << 22 << none << u"a\r\n\r\n\r\n\r\nb"_s << u"|=|哈哈b\r\n|=|哈哈a\r\n\r\n"_s << Old << u"处理完毕剩余：3行"_s
        << Boxes{{6, u"|=|哈哈"_s}} << 2;
    QTest::newRow("←关键词加在每行后面 trims Text6")
        << 23 << Boxes{{6, u"  K  "_s}} << u" a \r\n\r\nb"_s << u"bK\r\naK\r\n\r\n"_s << Old << u"处理完毕剩余：3行"_s
        << Boxes{{6, u"K"_s}} << 2;
    QTest::newRow("留前 with the start marker") << 18 << none << u"前特征符后\r\nx"_s << u"x\r\n前\r\n"_s << Old
                                                << u"处理完毕剩余：2行"_s << Boxes{{5, u"特征符"_s}} << 2;
    QTest::newRow("留后 trims Text5; a final break counts a line")
        << 19 << Boxes{{5, u" | "_s}} << u"a|1\r\nb|2\r\n"_s << u"\r\n2\r\n1\r\n"_s << Old << u"处理完毕剩余：3行"_s
        << Boxes{{5, u"|"_s}} << 3;
    QTest::newRow("取左位数 with the start count") << 20 << none << u"abc\r\nxy"_s << u"xy\r\nab\r\n"_s << Old
                                                   << u"处理完毕剩余：2行"_s << Boxes{{4, u"2"_s}} << 2;
    QTest::newRow("取右位数 trims Text4") << 21 << Boxes{{4, u" 1 "_s}} << u"abc\r\nxy"_s << u"y\r\nc\r\n"_s << Old
                                          << u"处理完毕剩余：2行"_s << Boxes{{4, u"1"_s}} << 2;
    // The rules the tooltips state, each named by the rule.
    QTest::newRow("去重复: a line that is part of an earlier kept line is a duplicate")
        << 1 << none << u"北京租房\r\n上海\r\n北京\r\n北京租房"_s << u"上海\r\n北京租房\r\n"_s << Old
        << u"去重复完毕剩余：2行"_s << none << 4;
    QTest::newRow("去重复: two line breaks are enough")
        << 1 << none << u"a\r\nb\r\n"_s << u"b\r\na\r\n"_s << Old << u"去重复完毕剩余：2行"_s << none << 3;
    QTest::newRow("去空行: three empty lines in a row go at once")
        << 2 << none << u"a\r\n\r\n\r\n\r\nb"_s << u"a\r\nb"_s << Old << u"去空行完毕剩余：2行"_s << none << untouched;
    QTest::newRow("去空行: a line of spaces is no empty line")
        << 2 << none << u"a\r\n \r\nb"_s << u"a\r\n \r\nb"_s << Old << u"去空行完毕剩余：3行"_s << none << untouched;
    QTest::newRow("去英文: English, digit and empty lines go to linshi, both sides reversed")
        << 3 << none << u"中A\r\n12\r\n\r\nB\r\n中C"_s << u"中C\r\n中A\r\n"_s << u"B\r\n\r\n12\r\n"_s
        << u"去英文完毕剩余：2行"_s << none << untouched;
    QTest::newRow("去HTML: a > in the text goes with the tag before it")
        << 5 << none << u"<b>5 > 3</b>\r\nx"_s << u" 3\r\nx"_s << Old << u"去HTML完毕"_s << none << untouched;
    QTest::newRow("去包含: the keyword is case-sensitive")
        << 9 << Boxes{{2, u"A"_s}} << u"a1\r\nb2\r\nA3\r\nc4"_s << u"c4\r\nb2\r\na1\r\n\r\n"_s << u"A3\r\n"_s
        << u"去包含A完毕剩余：4行"_s << none << 4;
    QTest::newRow("去包含: a space is a keyword, removed lines reversed")
        << 9 << Boxes{{2, u" "_s}} << u"a b\r\nc\r\nd e\r\nf"_s << u"f\r\nc\r\n\r\n"_s << u"d e\r\na b\r\n"_s
        << u"去包含 完毕剩余：3行"_s << none << 4;
    QTest::newRow("去包含: two line breaks are too few")
        << 9 << Boxes{{2, u"a"_s}} << u"a\r\nb\r\nc"_s << u"a\r\nb\r\nc"_s << Old << u"数据不足，人工去除吧"_s << none
        << untouched;
    QTest::newRow("去掉→: Text1 is case-sensitive")
        << 8 << Boxes{{1, u"a"_s}} << u"aAa"_s << u"A"_s << Old << u"完毕"_s << none << untouched;
    QTest::newRow("替换成: an empty right box deletes")
        << 16 << Boxes{{1, u"a"_s}, {3, QString()}} << u"bab"_s << u"bb"_s << Old << u"替换完毕"_s << none << untouched;
    QTest::newRow("取左位数: each line is trimmed first")
        << 20 << Boxes{{4, u"2"_s}} << u" abc \r\nxy"_s << u"xy\r\nab\r\n"_s << Old << u"处理完毕剩余：2行"_s << none
        << 2;
    QTest::newRow("取左位数: 2.5 rounds to 2") << 20 << Boxes{{4, u"2.5"_s}} << u"abcd\r\nx"_s << u"x\r\nab\r\n"_s
                                               << Old << u"处理完毕剩余：2行"_s << none << 2;
    QTest::newRow("取右位数: 3.5 rounds to 4") << 21 << Boxes{{4, u"3.5"_s}} << u"abcde\r\nx"_s << u"x\r\nbcde\r\n"_s
                                               << Old << u"处理完毕剩余：2行"_s << none << 2;
    QTest::newRow("留前: the marker is case-sensitive")
        << 18 << Boxes{{5, u"X"_s}} << u"axb\r\ny"_s << u"y\r\naxb\r\n"_s << Old << u"处理完毕剩余：2行"_s << none << 2;
    QTest::newRow("留后: the piece ends at the second marker")
        << 19 << Boxes{{5, u"|"_s}} << u"a|1|2\r\nb"_s << u"b\r\n1\r\n"_s << Old << u"处理完毕剩余：2行"_s << none << 2;
    QTest::newRow("a refused 取右位数 still trims Text4")
        << 21 << Boxes{{4, u" x "_s}} << u"a\r\nb"_s << u"a\r\nb"_s << Old << u"您输入的不是数字"_s
        << Boxes{{4, u"x"_s}} << untouched;
}

void TestWindowCommands::clickCommand()
{
    QFETCH(int, command);
    QFETCH(Boxes, boxes);
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QString, linshi);
    QFETCH(QString, title);
    QFETCH(Boxes, shown);
    QFETCH(int, bar);
    Form1 form;
    wire(form);
    for (auto [n, text] : boxes.asKeyValueRange())
        box(form, n)->setText(text);
    // "←去空行" works on the keyword list, every other command on quan.
    TextArea* target = area(form, command == 26 ? "list" : "quan");
    target->setContent(input);
    target->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    area(form, "linshi")->setContent(Old);
    QApplication::clipboard()->setText(u"left over"_s);
    click(form, command);
    // The clipboard gets the platform's line breaks.
    if (title == u"复制成功"_s)
        QCOMPARE(QApplication::clipboard()->text(), QString(command == 11 ? Old : input).replace(u"\r\n"_s, u"\n"_s));
    QCOMPARE(target->content(), output);
    QCOMPARE(area(form, "linshi")->content(), linshi);
    QCOMPARE(form.windowTitle(), title);
    for (int n : boxes.keys() + shown.keys())
        QCOMPARE(box(form, n)->text(), shown.value(n, boxes.value(n)));
    // The bar stays shown, back at 0.
    auto* progress = child<QProgressBar>(form, "ProgressBar1");
    QCOMPARE(progress->maximum(), bar);
    QCOMPARE(progress->value(), 0);
    QVERIFY(progress->isVisibleTo(&form));
    // A command's write is one undo step; a refusal has nothing to undo.
    target->undo();
    QCOMPARE(target->content(), input);
}

void TestWindowCommands::groupedResultsEndAndSplitWithEmptyLines_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<Boxes>("boxes"); // chosen so that every line stays
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("去位长") << 6 << Boxes{{2, u"100"_s}} << QString() << QString();
    QTest::newRow("去位短") << 7 << Boxes{{2, u"0"_s}} << QString() << QString();
    QTest::newRow("去包含") << 9 << Boxes{{2, u"zz"_s}} << QString() << QString();
    QTest::newRow("每行前面加关键词→") << 22 << Boxes{{6, u"P"_s}} << u"P"_s << QString();
    QTest::newRow("←关键词加在每行后面") << 23 << Boxes{{6, u"P"_s}} << QString() << u"P"_s;
}

void TestWindowCommands::groupedResultsEndAndSplitWithEmptyLines()
{
    QFETCH(int, command);
    QFETCH(Boxes, boxes);
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    Form1 form;
    wire(form);
    for (auto [n, text] : boxes.asKeyValueRange())
        box(form, n)->setText(text);
    // "The result is reversed and ends with an empty line; past 2000 lines more empty lines
    // split it: one after the original line 2000, then one every 2001 lines."
    for (int count : {4, 4503}) {
        QStringList input;
        for (int i = 1; i <= count; ++i)
            input << u"k%1"_s.arg(i);
        area(form, "quan")->setContent(input.join(u"\r\n"_s));
        click(form, command);
        QStringList expected;
        for (int i = count; i >= 1; --i) {
            expected << prefix + input[i - 1] + suffix;
            if (i == 1 || i == 2001 || i == 4002)
                expected << QString();
        }
        QCOMPARE(area(form, "quan")->content(), expected.join(u"\r\n"_s) + u"\r\n"_s);
    }
}

void TestWindowCommands::shuffleMovesEveryLineEmptyOnesTooAndShowsNothing()
{
    Form1 form;
    wire(form);
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << (i % 10 == 0 ? QString() : u"line%1"_s.arg(i));
    area(form, "quan")->setContent(lines.join(u"\r\n"_s));
    form.setStatus(u"before"_s);
    click(form, 25);
    QStringList shuffled = area(form, "quan")->content().split(u"\r\n"_s);
    QVERIFY(shuffled != lines);
    // The empty lines move too: 20 of 200 staying at their places has no real chance.
    const auto emptyAt = [](const QStringList& l) {
        QList<qsizetype> at;
        for (qsizetype i = 0; i < l.size(); ++i) {
            if (l[i].isEmpty())
                at << i;
        }
        return at;
    };
    QVERIFY(emptyAt(shuffled) != emptyAt(lines));
    shuffled.sort();
    lines.sort();
    QCOMPARE(shuffled, lines);
    QCOMPARE(form.windowTitle(), u"before"_s);
}

void TestWindowCommands::doubleClickMeasuresText2()
{
    Form1 form;
    wire(form, true);
    // Outer spaces and line breaks do not count, tabs and wide spaces do; a character above
    // U+FFFF counts 2.
    for (const QString& text : {u"  a b\r\n"_s, u"\ta\u3000 "_s, u"手\U0001F600"_s}) {
        box(form, 2)->setText(text);
        QTest::mouseDClick(box(form, 2), Qt::LeftButton);
        QCOMPARE(box(form, 2)->text(), u"3"_s);
    }
}

QTEST_MAIN(TestWindowCommands)
#include "testwindowcommands.moc"
