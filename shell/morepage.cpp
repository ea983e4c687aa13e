#include "shell/morepage.h"

#include "shell/linebox.h"

#include <QCheckBox>
#include <QPushButton>

namespace lumbrel {

namespace {

// Four rows of controls as high as the designed boxes, to hold twice the designed pages'
// controls in the same room (twips, from the page's top left).
constexpr int RowHeight = 270;
constexpr int RowTops[] = {15, 315, 615, 915};

QRect twips(int left, int top, int width, int height)
{
    // 15 twips a pixel, as the designed controls.
    return {(left + 7) / 15, (top + 7) / 15, (width + 7) / 15, (height + 7) / 15};
}

struct Slot
{
    MoreCommand command;
    const char16_t* name;
    const char16_t* caption;
    int row;
    int width;
};

constexpr Slot Slots[] = {
    {MoreCommand::SortPinyin, u"SortPinyin", u"拼音排序", 0, 855},
    {MoreCommand::SortNatural, u"SortNatural", u"自然排序", 0, 855},
    {MoreCommand::SortLength, u"SortLength", u"按长度排序", 0, 1050},
    {MoreCommand::ReverseLines, u"ReverseLines", u"倒转顺序", 0, 855},
    {MoreCommand::CountLines, u"CountLines", u"统计频次", 0, 855},
    {MoreCommand::Statistics, u"Statistics", u"统计", 0, 615},
    {MoreCommand::ExactDedup, u"ExactDedup", u"精确去重", 1, 855},
    {MoreCommand::UniqueOnly, u"UniqueOnly", u"只留唯一", 1, 855},
    {MoreCommand::DuplicatesOnly, u"DuplicatesOnly", u"只留重复", 1, 855},
    {MoreCommand::SubtractTemp, u"SubtractTemp", u"减去临时区", 1, 1050},
    {MoreCommand::IntersectTemp, u"IntersectTemp", u"与临时区交集", 1, 1230},
    {MoreCommand::UnionTemp, u"UnionTemp", u"并入临时区", 1, 1050},
    {MoreCommand::RegexKeep, u"RegexKeep", u"正则保留", 3, 855},
    {MoreCommand::RegexRemove, u"RegexRemove", u"正则删除", 3, 855},
    {MoreCommand::RegexExtract, u"RegexExtract", u"正则提取", 3, 855},
};

// The pattern's box stands in front of the regular-expression buttons.
constexpr int RegexBoxWidth = 3135;

constexpr int Left = 120;
constexpr int Gap = 45;

} // namespace

MorePage::MorePage(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("MorePage"));
    int next[4] = {Left, Left, Left, Left + RegexBoxWidth + Gap}; // where each row's next control goes
    const auto put = [&](QWidget* w, const QString& name, int row, int width) {
        w->setObjectName(name);
        w->setGeometry(twips(next[row], RowTops[row], width, RowHeight));
        next[row] += width + Gap;
    };
    for (const Slot& slot : Slots) {
        auto* b = new QPushButton(QString::fromUtf16(slot.caption), this);
        put(b, QString::fromUtf16(slot.name), slot.row, slot.width);
        m_commands.at(static_cast<std::size_t>(slot.command)) = b;
    }
    const auto check = [&](const char16_t* name, const char16_t* caption, int width) {
        auto* c = new QCheckBox(QString::fromUtf16(caption), this);
        put(c, QString::fromUtf16(name), 2, width);
        return c;
    };
    m_ignoreCase = check(u"IgnoreCase", u"忽略大小写", 1215);
    m_ignoreSpaces = check(u"IgnoreSpaces", u"忽略首尾空白", 1395);
    m_ignoreWidth = check(u"IgnoreWidth", u"全角半角相同", 1395);
    auto* all = new QPushButton(QStringLiteral("一次去除全部关键词"), this);
    put(all, QStringLiteral("RemoveAllKeywords"), 2, 1755);
    m_commands.at(static_cast<std::size_t>(MoreCommand::RemoveAllKeywords)) = all;
    m_regexBox = new LineBox(QString(), this);
    m_regexBox->setObjectName(QStringLiteral("RegexBox"));
    m_regexBox->setPlaceholderText(QStringLiteral("正则表达式"));
    m_regexBox->setGeometry(twips(Left, RowTops[3], RegexBoxWidth, RowHeight));
}

} // namespace lumbrel
