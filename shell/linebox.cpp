#include "shell/linebox.h"

#include <limits>

namespace lumbrel {

LineBox::LineBox(const QString& text, QWidget* parent)
    : QLineEdit(parent)
{
    // The default limit is 32,767 units.
    setMaxLength(std::numeric_limits<int>::max());
    setText(text);
}

void LineBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

} // namespace lumbrel
