// The page 更多处理 through its controls, one row a rule its tooltips state.
#include "tests/support/formfixture.h"

#include <QTabBar>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

const QString Old = u"old"_s;

} // namespace

class TestMoreCommands final : public QObject
{
    Q_OBJECT

private slots:
    void clickCommand_data();
    void clickCommand();
    void keywordAndRegexCommands_data();
    void keywordAndRegexCommands();
    void oneUndoStepTakesBothAreasBack();
};

void TestMoreCommands::clickCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("ticked"); // check boxes ticked before the click
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("linshi");
    QTest::addColumn<QString>("quanAfter");
    QTest::addColumn<QString>("linshiAfter");
    QTest::addColumn<QString>("title");
    const QStringList none;
    const auto row = [](const char* rule,
                        const char16_t* command,
                        const QStringList& ticked,
                        const QString& quan,
                        const QString& linshi,
                        const QString& quanAfter,
                        const QString& linshiAfter,
                        const QString& title) {
        QTest::newRow(rule) << QString::fromUtf16(command) << ticked << quan << linshi << quanAfter << linshiAfter
                            << title;
    };
    row("拼音排序: digits and signs first, Chinese by pinyin, Latin letters last",
        u"SortPinyin",
        none,
        u"中\r\nb\r\n阿\r\n2\r\n爸\r\nA\r\n车"_s,
        Old,
        u"2\r\n阿\r\n爸\r\n车\r\n中\r\nA\r\nb\r\n"_s,
        Old,
        u"拼音排序完毕剩余：7行"_s);
    // A NUL is ignored by the collation: the two lines are equal to it and keep their order.
    row("拼音排序: equal lines keep their order",
        u"SortPinyin",
        none,
        u"b\r\na\0\r\na\r\n"_s,
        Old,
        u"a\0\r\na\r\nb\r\n"_s,
        Old,
        u"拼音排序完毕剩余：3行"_s);
    row("自然排序: digit runs by value, full-width ones too",
        u"SortNatural",
        none,
        u"关键词10\r\n关键词2\r\n关键词１"_s,
        Old,
        u"关键词１\r\n关键词2\r\n关键词10\r\n"_s,
        Old,
        u"自然排序完毕剩余：3行"_s);
    row("按长度排序: an emoji is one character, equal lengths keep their order",
        u"SortLength",
        none,
        u"😀😀\r\nabc\r\n中\r\nxy\r\n😀"_s,
        Old,
        u"中\r\n😀\r\n😀😀\r\nxy\r\nabc\r\n"_s,
        Old,
        u"按长度排序完毕剩余：5行"_s);
    row("倒转顺序: a final line break ends the last line",
        u"ReverseLines",
        none,
        u"a\r\nb\r\nc\r\n"_s,
        Old,
        u"c\r\nb\r\na\r\n"_s,
        Old,
        u"倒转顺序完毕剩余：3行"_s);
    row("统计频次: most frequent first, ties by first occurrence",
        u"CountLines",
        none,
        u"y\r\nb\r\na\r\nb\r\nc\r\na\r\nb\r\ny"_s,
        Old,
        u"b\t3\r\ny\t2\r\na\t2\r\nc\t1\r\n"_s,
        Old,
        u"统计频次完毕剩余：4行"_s);
    row("统计: the text stays, an emoji counts one character",
        u"Statistics",
        none,
        u"a\r\n\r\na\r\n中文😀"_s,
        Old,
        u"a\r\n\r\na\r\n中文😀"_s,
        Old,
        u"统计：共4行，不重复3行，空行1行，最长3字"_s);
    row("精确去重: later copies go to linshi in their order, no empty line added",
        u"ExactDedup",
        none,
        u"a\r\nb\r\na\r\n\r\n\r\nb"_s,
        Old,
        u"a\r\nb\r\n\r\n"_s,
        u"a\r\n\r\nb\r\n"_s,
        u"精确去重完毕剩余：3行，重复的3行移到临时区"_s);
    row("只留唯一: every copy of a repeated line goes",
        u"UniqueOnly",
        none,
        u"a\r\nb\r\na\r\nc"_s,
        Old,
        u"b\r\nc\r\n"_s,
        u"a\r\na\r\n"_s,
        u"只留唯一完毕剩余：2行，重复的2行移到临时区"_s);
    row("只留重复: the first copy of a repeated line stays",
        u"DuplicatesOnly",
        none,
        u"a\r\nb\r\na\r\nc\r\na"_s,
        Old,
        u"a\r\n"_s,
        u"b\r\na\r\nc\r\na\r\n"_s,
        u"只留重复完毕剩余：1行，其余4行移到临时区"_s);
    row("减去临时区: whole lines only, linshi stays",
        u"SubtractTemp",
        none,
        u"a\r\nb\r\na\r\nab\r\nc"_s,
        u"a\r\nx"_s,
        u"b\r\nab\r\nc\r\n"_s,
        u"a\r\nx"_s,
        u"减去临时区完毕剩余：3行，减去2行"_s);
    row("与临时区交集: linshi stays",
        u"IntersectTemp",
        none,
        u"a\r\nb\r\na\r\nc"_s,
        u"a\r\nx"_s,
        u"a\r\na\r\n"_s,
        u"a\r\nx"_s,
        u"与临时区交集完毕剩余：2行，去掉2行"_s);
    row("并入临时区: first occurrences of both, linshi stays",
        u"UnionTemp",
        none,
        u"a\r\nb\r\na"_s,
        u"b\r\nc"_s,
        u"a\r\nb\r\nc\r\n"_s,
        u"b\r\nc"_s,
        u"并入临时区完毕剩余：3行，去掉重复的2行"_s);
    row("忽略大小写: lines differing in case are one, the first stays as it was",
        u"ExactDedup",
        {u"IgnoreCase"_s},
        u"Ab\r\naB\r\nab"_s,
        Old,
        u"Ab\r\n"_s,
        u"aB\r\nab\r\n"_s,
        u"精确去重完毕剩余：1行，重复的2行移到临时区"_s);
    row("忽略首尾空白: spaces, tabs and wide spaces at the ends do not count",
        u"SubtractTemp",
        {u"IgnoreSpaces"_s},
        u" a\u3000\r\nb\r\n\ta b"_s,
        u"a\r\na b"_s,
        u"b\r\n"_s,
        u"a\r\na b"_s,
        u"减去临时区完毕剩余：1行，减去2行"_s);
    row("忽略首尾空白: a line of blanks is an empty line",
        u"Statistics",
        {u"IgnoreSpaces"_s},
        u" \r\n\u3000\r\na"_s,
        Old,
        u" \r\n\u3000\r\na"_s,
        Old,
        u"统计：共3行，不重复2行，空行2行，最长1字"_s);
    row("全角半角相同: full-width letters, digits and signs equal their ASCII forms",
        u"CountLines",
        {u"IgnoreWidth"_s},
        u"Ａ１！\r\nA1!\r\nＡ１!"_s,
        Old,
        u"Ａ１！\t3\r\n"_s,
        Old,
        u"统计频次完毕剩余：1行"_s);
    row("全角半角相同 and 忽略大小写 together",
        u"UniqueOnly",
        (QStringList{u"IgnoreWidth"_s, u"IgnoreCase"_s}),
        u"ａ\r\nA\r\nb"_s,
        Old,
        u"b\r\n"_s,
        u"ａ\r\nA\r\n"_s,
        u"只留唯一完毕剩余：1行，重复的2行移到临时区"_s);
    // Refused: nothing changes.
    row("an empty quan is refused", u"SortPinyin", none, QString(), Old, QString(), Old, u"工作区没有内容"_s);
    row("an empty linshi is refused by the set commands",
        u"UnionTemp",
        none,
        u"a"_s,
        QString(),
        u"a"_s,
        QString(),
        u"临时区没有内容"_s);
}

void TestMoreCommands::clickCommand()
{
    QFETCH(QString, command);
    QFETCH(QStringList, ticked);
    QFETCH(QString, quan);
    QFETCH(QString, linshi);
    QFETCH(QString, quanAfter);
    QFETCH(QString, linshiAfter);
    QFETCH(QString, title);
    Form1 form;
    wire(form);
    for (const QString& name : ticked)
        child<QCheckBox>(form, name)->setChecked(true);
    area(form, "quan")->setContent(quan);
    area(form, "linshi")->setContent(linshi);
    child<QPushButton>(form, command)->click();
    QCOMPARE(area(form, "quan")->content(), quanAfter);
    QCOMPARE(area(form, "linshi")->content(), linshiAfter);
    QCOMPARE(form.windowTitle(), title);
}

void TestMoreCommands::keywordAndRegexCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("fold");        // 忽略大小写 and 全角半角相同 ticked
    QTest::addColumn<QString>("keywords"); // list
    QTest::addColumn<QString>("pattern");  // RegexBox
    QTest::addColumn<QString>("quan");
    QTest::addColumn<QString>("quanAfter");
    QTest::addColumn<QString>("linshiAfter");
    QTest::addColumn<QString>("title");
    const QString list = u"a\r\n\r\nb c\r\n##\r\nz"_s;
    QTest::newRow("一次去除全部关键词: the job's keywords up to ##, kept and removed in input order")
        << u"RemoveAllKeywords"_s << false << list << QString() << u"xa\r\nz1\r\nyb c\r\nb\r\nA"_s
        << u"z1\r\nb\r\nA\r\n"_s << u"xa\r\nyb c\r\n"_s << u"一次去除全部关键词完毕剩余：3行，2行移到临时区"_s;
    QTest::newRow("一次去除全部关键词: case and width folded when ticked")
        << u"RemoveAllKeywords"_s << true << u"ＡＢ"_s << QString() << u"xab\r\ny"_s << u"y\r\n"_s << u"xab\r\n"_s
        << u"一次去除全部关键词完毕剩余：1行，1行移到临时区"_s;
    QTest::newRow("一次去除全部关键词: a list without keywords is refused")
        << u"RemoveAllKeywords"_s << false << u"\r\n##"_s << QString() << u"a"_s << u"a"_s << Old
        << u"关键词列表中没有关键词"_s;
    QTest::newRow("正则保留: the other lines go to linshi")
        << u"RegexKeep"_s << false << list << u"[0-9]{3,}"_s << u"a123\r\nb12\r\nc"_s << u"a123\r\n"_s
        << u"b12\r\nc\r\n"_s << u"正则保留完毕剩余：1行，2行移到临时区"_s;
    QTest::newRow("正则删除: ^ and $ are each line's start and end")
        << u"RegexRemove"_s << false << list << u"^b.*2$"_s << u"a123\r\nb12\r\nc"_s << u"a123\r\nc\r\n"_s
        << u"b12\r\n"_s << u"正则删除完毕剩余：2行，1行移到临时区"_s;
    QTest::newRow("正则保留: 忽略大小写 ignores case")
        << u"RegexKeep"_s << true << list << u"ABC"_s << u"xabc\r\ny"_s << u"xabc\r\n"_s << u"y\r\n"_s
        << u"正则保留完毕剩余：1行，1行移到临时区"_s;
    QTest::newRow("正则提取: every match a line, the first group's text, linshi stays")
        << u"RegexExtract"_s << false << list << u"(\\d+)-"_s << u"a12-b3-\r\nx\r\n4-"_s << u"12\r\n3\r\n4\r\n"_s << Old
        << u"正则提取完毕剩余：3行"_s;
    QTest::newRow("正则提取: empty matches give no line")
        << u"RegexExtract"_s << false << list << u"x*"_s << u"axxb\r\nc"_s << u"xx\r\n"_s << Old
        << u"正则提取完毕剩余：1行"_s;
    QTest::newRow("正则提取: searches that reread a long line stop, nothing changes")
        << u"RegexExtract"_s << false << list << u"a*b|a"_s << QString(200000, u'a') << QString(200000, u'a') << Old
        << u"正则提取用时过长，已停止，内容未改变（该表达式在长行上要反复扫描）"_s;
    QTest::newRow("an empty pattern is refused")
        << u"RegexKeep"_s << false << list << QString() << u"a"_s << u"a"_s << Old << u"请输入正则表达式"_s;
    QTest::newRow("an invalid pattern is refused with RE2's reason")
        << u"RegexRemove"_s << false << list << u"(a"_s << u"a"_s << u"a"_s << Old
        << u"正则表达式有误：missing ): (a"_s;
}

void TestMoreCommands::keywordAndRegexCommands()
{
    QFETCH(QString, command);
    QFETCH(bool, fold);
    QFETCH(QString, keywords);
    QFETCH(QString, pattern);
    QFETCH(QString, quan);
    QFETCH(QString, quanAfter);
    QFETCH(QString, linshiAfter);
    QFETCH(QString, title);
    Form1 form;
    wire(form);
    child<QCheckBox>(form, "IgnoreCase")->setChecked(fold);
    child<QCheckBox>(form, "IgnoreWidth")->setChecked(fold);
    area(form, "list")->setContent(keywords);
    child<LineBox>(form, "RegexBox")->setText(pattern);
    area(form, "quan")->setContent(quan);
    area(form, "linshi")->setContent(Old);
    child<QPushButton>(form, command)->click();
    QCOMPARE(area(form, "quan")->content(), quanAfter);
    QCOMPARE(area(form, "linshi")->content(), linshiAfter);
    QCOMPARE(form.windowTitle(), title);
    // The keyword list is read, never changed.
    QCOMPARE(area(form, "list")->content(), keywords);
}

void TestMoreCommands::oneUndoStepTakesBothAreasBack()
{
    Form1 form;
    wire(form, true);
    auto* tabs = child<QTabBar>(form, "TabStrip1");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(4).center());
    area(form, "quan")->setContent(u"a\r\nb\r\na"_s);
    area(form, "linshi")->setContent(Old);
    auto* dedup = child<QPushButton>(form, "ExactDedup");
    QVERIFY(dedup->isVisible());
    QTest::mouseClick(dedup, Qt::LeftButton);
    QCOMPARE(area(form, "linshi")->content(), u"a\r\n"_s);
    QTest::keyClick(dedup, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(area(form, "quan")->content(), u"a\r\nb\r\na"_s);
    QCOMPARE(area(form, "linshi")->content(), Old);
}

QTEST_MAIN(TestMoreCommands)
#include "testmorecommands.moc"
