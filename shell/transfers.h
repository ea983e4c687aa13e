#pragma once

#include <QString>
#include <QStringView>

namespace lumbrel {

class Form1;

// Connect the buffer transfer commands (Command10 to Command13, Command15).
void bindTransfers(Form1& form);

// The storage area, the temporary area and the store counter, after a store or a retrieval.
struct StoreState
{
    QString storage;
    QString temporary;
    qint64 counter = 0;
};

// "存储→": the temporary text goes to the end of the storage text behind a CR LF (added
// also when either is empty); the temporary text is emptied and the counter goes up by one.
StoreState Store(QStringView storage, QStringView temporary, qint64 counter);

// "←取回": the storage text goes to the end of the temporary text behind a CR LF (added also
// when either is empty); the storage text is emptied and the counter goes back to 0.
StoreState Retrieve(QStringView temporary, QStringView storage);

// The store counter shown by a caption: its whole number, or 0 when it holds none.
qint64 StoreCounter(const QString& caption);

} // namespace lumbrel
