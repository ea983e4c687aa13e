#pragma once

// Names of the window's controls, as tests find them.
#include "app/connect.h"
#include "shell/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace lumbrel::testing {

using namespace Qt::StringLiterals;

template <typename T> T* child(Form1& form, QAnyStringView name)
{
    auto* c = form.findChild<T*>(name.toString());
    Q_ASSERT(c);
    return c;
}

inline constexpr auto area = [](Form1& form, QAnyStringView name) { return child<TextArea>(form, name); };
inline constexpr auto button = [](Form1& form, int n) { return child<QPushButton>(form, u"Command%1"_s.arg(n)); };
inline constexpr auto box = [](Form1& form, int n) { return child<LineBox>(form, u"Text%1"_s.arg(n)); };
// Wires the commands, as the application does; `shown` also shows the window and waits for it.
inline void wire(Form1& form, bool shown = false)
{
    ConnectCommands(form);
    if (shown) {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
}
inline constexpr auto click = [](Form1& form, int n) { QTest::mouseClick(button(form, n), Qt::LeftButton); };

} // namespace lumbrel::testing
