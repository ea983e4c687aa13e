#include "app/tooltips.h"

#include "shell/form1.h"

namespace lumbrel {

namespace {

// Every rule below is the one its command's tests check; reword a tooltip only together
// with the behaviour. "倒序" and the empty line after every 2000 lines are how the line
// commands write their results.
const char16_t* const Table[][2] = {
    {u"Command1",
     u"去掉重复的行（工作区）。\n某行若已包含在前面保留的行中（整行相同或是其中一段），也算重复而被删除，"
     u"例如前面有“北京租房”，后面的“北京”就会被去掉。\n结果倒序排列；少于 3 行时不处理。"},
    {u"Command2",
     u"去掉工作区中的空行，行序不变。\n连续很多空行时一次可能去不干净，可再点一次；只有空格的行不算空行。"},
    {u"Command25", u"把工作区各行随机打乱顺序（空行也参与），不显示提示。"},
    {u"Command15", u"把工作区全部内容复制到剪贴板，然后清空工作区（是移动，不是复制一份）。"},
    {u"Command10", u"把工作区全部内容复制到剪贴板，然后清空工作区（是移动，不是复制一份）。"},
    {u"Command11", u"把临时区全部内容复制到剪贴板，然后清空临时区（是移动，不是复制一份）。"},
    {u"Command12", u"把临时区的内容换行后追加到看不见的存储区，并清空临时区。\n按钮上的数字是取回以来存入的次数。"},
    {u"Command13", u"把存储区的全部内容换行后接到临时区末尾，并清空存储区，存入次数归零。"},
    {u"Command3",
     u"只留下含汉字的行；不含汉字的行（英文、数字、空行）移到临时区，替换其原内容。\n两边结果都倒序排列。"},
    {u"Command4", u"只留下不含汉字的行；含汉字的行移到临时区，替换其原内容。\n两边结果都倒序排列。"},
    {u"Command5", u"删除工作区中所有 HTML 标签（跨行的标签也删），标签之间的文字和换行原样保留。"},
    {u"Text2",
     u"去位长、去位短的字数 N（整数，可用全角数字），或去包含的关键词（按原样匹配，区分大小写，空格也算）。\n"
     u"双击：把框里的内容换成它的字数（不计首尾空格和换行），用来量一行的长度。批量去关键词时这里显示当前关键词。"},
    {u"Command6",
     u"留下字数少于上框 N 的行；其余的行（含正好 N 个字的）移到临时区，替换其原内容。\n"
     u"结果倒序排列，每 2000 行后多一个空行。"},
    {u"Command7",
     u"留下字数多于上框 N 的行；其余的行（含正好 N 个字的）移到临时区，替换其原内容。\n"
     u"结果倒序排列，每 2000 行后多一个空行。"},
    {u"Command9",
     u"删除含有上框关键词的所有行（区分大小写），删除的行移到临时区，替换其原内容。\n"
     u"工作区结果倒序排列，每 2000 行后多一个空行；少于 4 行时不处理。"},
    {u"Command8", u"删除工作区中所有右框的文字（框中的换行被去掉，空格保留）。"},
    {u"Text1", u"要删除或被替换的文字，区分大小写。"},
    {u"Command16", u"把工作区中所有左框的文字替换成右框的文字（两框首尾空格先去掉）。右框为空即删除。"},
    {u"Text3", u"替换成：新的文字。\n替换成 vbcrlf：在这里的文字处断行（空格保留，一个空格即按空格断行）。"},
    {u"Command17", u"把工作区中所有左框的文字换成换行，把用逗号、空格等隔开的列表变成一行一个。"},
    {u"Command22",
     u"在每行前面加上右框的关键词。各行先去掉首尾空格，空行被删除。\n结果倒序排列，每 2000 行后多一个空行。"},
    {u"Text6", u"加在每行前面或后面的关键词（首尾空格会去掉）。"},
    {u"Command23",
     u"在每行后面加上左框的关键词。各行先去掉首尾空格，空行被删除。\n结果倒序排列，每 2000 行后多一个空行。"},
    {u"list",
     u"批量去关键词用的关键词列表，一行一个。\n开始后从上往下逐个取用，取过的关键词从列表中去掉；"
     u"含“##”的行表示结束。"},
    {u"Check1", u"批量去关键词运行时自动打勾；取消打勾即停止（停下前可能还会再处理一个关键词）。"},
    {u"Command24",
     u"批量去关键词：按左边列表逐个关键词执行去包含，删去工作区中含任一关键词的行。\n"
     u"删除的行依次加到临时区最前面；列表中没有“#”时末尾自动加上“#####”结束行。每处理一个关键词，工作区倒序一次。"},
    {u"Command26", u"去掉左边关键词列表中的空行（规则同去空行）。"},
    {u"Command20", u"每行去掉首尾空格后，只留前 N 个字（N 在右框）；不超过 N 个字的行不变。\n结果倒序排列。"},
    {u"Text4", u"取左位数、取右位数的字数 N（可用全角数字；小数按四舍六入五取偶取整）。"},
    {u"Command21", u"每行去掉首尾空格后，只留后 N 个字（N 在左框）；不超过 N 个字的行不变。\n结果倒序排列。"},
    {u"Command18", u"每行只留特征符（右框）第一次出现之前的部分；没有特征符的行不变。\n结果倒序排列。"},
    {u"Text5", u"留前、留后用的特征符（首尾空格会去掉，区分大小写）。"},
    {u"Command19", u"每行只留特征符（左框）第一次出现之后、第二次出现之前的部分；没有特征符的行不变。\n结果倒序排列。"},
    {u"Text7", u"要抓取的网页地址，须以 http:// 或 https:// 开头。"},
    {u"Check2", u"打勾后以百度蜘蛛的身份访问网页（发送蜘蛛的 User-Agent 等请求头）。"},
    {u"Command14",
     u"抓取网址框中的网页，把网页文字放入工作区（替换原内容）。\n等待时状态栏显示“正在读取……”，最多等 8 "
     u"秒；失败时显示原因，工作区不变。"},
    {u"Option1", u"按 UTF-8 编码解读网页。"},
    {u"Option2", u"按 GB2312（GBK）编码解读网页。"},
    {u"quan", u"工作区：各命令读写这里的文字，一行一个。\n点完命令后按 Ctrl+Z 可撤销，Ctrl+Y 重做。"},
    {u"linshi",
     u"临时区：筛选命令删除的行放在这里（替换原内容；批量去关键词时累加在最前面）。\n右边按钮把它复制、存储或取回。"},
};

} // namespace

const std::vector<std::pair<QString, QString>>& Tooltips()
{
    static const std::vector<std::pair<QString, QString>> table = [] {
        std::vector<std::pair<QString, QString>> t;
        for (const auto& row : Table)
            t.emplace_back(QString::fromUtf16(row[0]), QString::fromUtf16(row[1]));
        return t;
    }();
    return table;
}

void ApplyTooltips(Form1& form)
{
    for (const auto& [name, text] : Tooltips()) {
        if (auto* control = form.findChild<QWidget*>(name))
            control->setToolTip(text);
    }
}

} // namespace lumbrel
