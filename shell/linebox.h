#pragma once

#include <QLineEdit>

namespace lumbrel {

// A single-line text box that also reports double-clicks (Text2 measures its own length).
// It takes text of any length: a keyword cut at some limit would silently be another keyword.
class LineBox final : public QLineEdit
{
    Q_OBJECT

public:
    explicit LineBox(const QString& text = {}, QWidget* parent = nullptr);

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

} // namespace lumbrel
