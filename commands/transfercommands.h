#pragma once

#include <QString>
#include <QStringView>

namespace lumbrel {

class Form1;

// Connect the buffer transfer commands (Command10 to Command13, Command15).
void ConnectTransferCommands(Form1& form);

// The store counter shown by a caption: its whole number, or 0 when it holds none.
qint64 StoreCounter(const QString& caption);

} // namespace lumbrel
