#include "commands/transfercommands.h"

#include "lineops/linemodel.h"
#include "shell/form1.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

#include <limits>

namespace lumbrel {

namespace {

// The clipboard speaks the platform's line breaks, so that a list copied out works with the
// line tools there (no stray CR at the end of every line); pasting takes any.
QString withPlatformBreaks(QString text)
{
#if defined(Q_OS_WIN)
    return text;
#else
    return ReplaceAll(text, CrLf, u"\n");
#endif
}

// Text is moved, not copied: the source area is emptied once the clipboard holds it.
void moveToClipboard(Form1& form, TextArea* source)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(withPlatformBreaks(source->content()));
    source->setContent({});
    form.setStatus(QStringLiteral("复制成功"));
}

QString storeCaption(qint64 counter)
{
    return QStringLiteral("存储") + QString::number(counter) + QStringLiteral("→");
}

} // namespace

qint64 StoreCounter(const QString& caption)
{
    bool ok = false;
    const qint64 value = caption.trimmed().toLongLong(&ok);
    return ok ? value : 0;
}

void ConnectTransferCommands(Form1& form)
{
    for (int n : {10, 15}) {
        QObject::connect(
            form.command(n), &QPushButton::clicked, &form, [&form] { moveToClipboard(form, form.quan()); });
    }
    QObject::connect(form.command(11), &QPushButton::clicked, &form, [&form] { moveToClipboard(form, form.linshi()); });

    // Store and retrieve append: their cost is the text moved, not the text already there.
    QObject::connect(form.command(12), &QPushButton::clicked, &form, [&form] {
        const qint64 counter = StoreCounter(form.label(2)->text());
        const qint64 next = counter < std::numeric_limits<qint64>::max() ? counter + 1 : counter;
        form.label(2)->setText(QString::number(next));
        form.command(12)->setText(storeCaption(next));
        form.dat()->appendArea(*form.linshi());
        form.linshi()->setContent({});
        form.setStatus(QStringLiteral("存入成功"));
    });
    QObject::connect(form.command(13), &QPushButton::clicked, &form, [&form] {
        form.label(2)->setText(QStringLiteral("0"));
        form.command(12)->setText(QStringLiteral("存储→"));
        form.linshi()->appendArea(*form.dat());
        form.dat()->setContent({});
        form.setStatus(QStringLiteral("取回成功"));
    });
}

} // namespace lumbrel
