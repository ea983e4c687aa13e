#pragma once

// Names of the window's controls, as tests find them.
#include "shell/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace lumbrel::testing {

inline QPushButton* button(Form1& form, int n)
{
    auto* b = form.findChild<QPushButton*>(QStringLiteral("Command%1").arg(n));
    Q_ASSERT(b);
    return b;
}

inline TextArea* area(Form1& form, const char* name)
{
    auto* a = form.findChild<TextArea*>(QString::fromLatin1(name));
    Q_ASSERT(a);
    return a;
}

inline LineBox* box(Form1& form, int n)
{
    auto* t = form.findChild<LineBox*>(QStringLiteral("Text%1").arg(n));
    Q_ASSERT(t);
    return t;
}

template <typename T> T* child(Form1& form, const char* name)
{
    auto* c = form.findChild<T*>(QString::fromLatin1(name));
    Q_ASSERT(c);
    return c;
}

inline void click(Form1& form, int n)
{
    QTest::mouseClick(button(form, n), Qt::LeftButton);
}

} // namespace lumbrel::testing
