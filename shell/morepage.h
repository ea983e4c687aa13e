#pragma once

#include <QFrame>

#include <array>

class QCheckBox;
class QPushButton;

namespace lumbrel {

class LineBox;

// The commands of the page "更多处理", in the order of their buttons.
enum class MoreCommand
{
    SortPinyin,
    SortNatural,
    SortLength,
    ReverseLines,
    CountLines,
    Statistics,
    ExactDedup,
    UniqueOnly,
    DuplicatesOnly,
    SubtractTemp,
    IntersectTemp,
    UnionTemp,
    RemoveAllKeywords,
    RegexKeep,
    RegexRemove,
    RegexExtract,
};
inline constexpr int MoreCommandCount = static_cast<int>(MoreCommand::RegexExtract) + 1;

// The fifth tab page, "更多处理": sorting, exact de-duplication, set operations with linshi,
// counts, every keyword of `list` at once and regular expressions, each control named as its
// command (SortPinyin, ...), with the three check boxes that say how lines are compared
// (IgnoreCase, IgnoreSpaces, IgnoreWidth) and the pattern's box (RegexBox). Controls only.
class MorePage final : public QFrame
{
    Q_OBJECT

public:
    explicit MorePage(QWidget* parent);

    QPushButton* command(MoreCommand c) const
    {
        return m_commands.at(static_cast<std::size_t>(c));
    }
    QCheckBox* ignoreCase() const
    {
        return m_ignoreCase;
    }
    QCheckBox* ignoreSpaces() const
    {
        return m_ignoreSpaces;
    }
    QCheckBox* ignoreWidth() const
    {
        return m_ignoreWidth;
    }
    LineBox* regexBox() const
    {
        return m_regexBox;
    }

private:
    std::array<QPushButton*, MoreCommandCount> m_commands{};
    QCheckBox* m_ignoreCase = nullptr;
    QCheckBox* m_ignoreSpaces = nullptr;
    QCheckBox* m_ignoreWidth = nullptr;
    LineBox* m_regexBox = nullptr;
};

} // namespace lumbrel
