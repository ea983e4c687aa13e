// Renders the window offscreen to PNG files: one a tab page, one grown beyond its designed
// size, one with a tooltip shown and one with the working area's context menu open.
//   lumbrel-render OUTDIR [FAMILY POINTS]
#include "app/connect.h"
#include "app/translations.h"
#include "commands/filecommands.h"
#include "shell/form1.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStringEncoder>
#include <QTabBar>
#include <QToolTip>

#include <cstdio>
#include <memory>

namespace {

// The window with `popup` (a tooltip or a menu, a window of its own) painted where it stands,
// on a canvas large enough for both.
QPixmap withPopup(QWidget& form, QWidget& popup)
{
    const QRect popupRect(popup.pos() - form.mapToGlobal(QPoint(0, 0)), popup.size());
    const QRect canvas = form.rect().united(popupRect);
    const qreal ratio = form.devicePixelRatioF();
    QPixmap shot(canvas.size() * ratio);
    shot.setDevicePixelRatio(ratio);
    shot.fill(QColor(0x5a, 0x6e, 0x82));
    QPainter painter(&shot);
    painter.drawPixmap(-canvas.topLeft(), form.grab());
    painter.drawPixmap(popupRect.topLeft() - canvas.topLeft(), popup.grab());
    return shot;
}

// The window under a plain title bar holding its caption, which is the status line: offscreen
// windows have no frame to show it.
QPixmap withTitle(QWidget& form)
{
    const QPixmap body = form.grab();
    const qreal ratio = body.devicePixelRatio();
    const int bar = QFontMetrics(form.font()).height() + 10;
    QPixmap shot(QSize(form.width(), form.height() + bar) * ratio);
    shot.setDevicePixelRatio(ratio);
    shot.fill(QColor(0xdd, 0xe3, 0xea));
    QPainter painter(&shot);
    painter.setFont(form.font());
    painter.drawText(QRect(8, 0, form.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft, form.windowTitle());
    painter.drawPixmap(0, bar, body);
    return shot;
}

bool save(const QPixmap& shot, const QString& file)
{
    if (!shot.save(file))
        return false;
    std::printf("%s\n", qPrintable(file));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    lumbrel::InstallChineseTranslations(app);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    if (argc > 3)
        QApplication::setFont(QFont(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]).toInt()));
    QDir().mkpath(dir);
    lumbrel::Form1 form;
    lumbrel::ConnectCommands(form);
    form.quan()->setContent(QStringLiteral("手机价格\r\niphone 15价格\r\n北京二手房\r\nbuy cheap phone\r\n"));
    form.linshi()->setContent(QStringLiteral("减肥教程\r\n"));
    form.show();
    for (int tab = 0; tab < form.tabStrip()->count(); ++tab) {
        form.tabStrip()->setCurrentIndex(tab);
        QApplication::processEvents();
        if (!save(form.grab(), QStringLiteral("%1/lumbrel-tab%2.png").arg(dir).arg(tab + 1)))
            return 1;
    }
    form.tabStrip()->setCurrentIndex(0);
    // Grown: the room beyond the designed size goes to the areas.
    form.resize(form.size() + QSize(266, 192));
    QApplication::processEvents();
    if (!save(form.grab(), QStringLiteral("%1/lumbrel-grown.png").arg(dir)))
        return 1;
    form.resize(lumbrel::Form1::designedSize());
    QApplication::processEvents();

    // A GB18030 file opened into quan: the title names it, its encoding and its lines.
    {
        const QString path = QDir(dir).filePath(QStringLiteral("关键词.txt"));
        QFile file(path);
        QStringEncoder gb("GB18030");
        const QByteArray bytes = gb.encode(QStringLiteral("手机价格\r\n北京二手房\r\n减肥教程\r\n英语培训\r\n"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        file.close();
        auto* files = form.findChild<lumbrel::FileCommands*>();
        QEventLoop loop;
        QObject::connect(files, &lumbrel::FileCommands::openEnded, &loop, &QEventLoop::quit);
        files->open(form.quan(), path);
        if (files->busy())
            loop.exec();
        QFile::remove(path);
        QApplication::processEvents();
        if (!save(withTitle(form), QStringLiteral("%1/lumbrel-file.png").arg(dir)))
            return 1;
    }

    QPushButton* dedup = form.command(1);
    QToolTip::showText(dedup->mapToGlobal(QPoint(dedup->width() / 2, dedup->height())), dedup->toolTip(), dedup);
    QApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("QTipLabel") && w->isVisible() &&
            !save(withPopup(form, *w), QStringLiteral("%1/lumbrel-tooltip.png").arg(dir)))
            return 1;
    }
    QToolTip::hideText();

    form.quan()->setSelection(0, 0, 0, 4);
    const std::unique_ptr<QMenu> menu(form.quan()->createStandardContextMenu());
    menu->popup(form.quan()->mapToGlobal(QPoint(120, 30)));
    QApplication::processEvents();
    return save(withPopup(form, *menu), QStringLiteral("%1/lumbrel-menu.png").arg(dir)) ? 0 : 1;
}
