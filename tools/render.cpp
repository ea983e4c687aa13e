// Renders the window offscreen to PNG files, one a tab page: lumbrel-render OUTDIR
#include "app/connect.h"
#include "app/translations.h"
#include "shell/form1.h"

#include <QApplication>
#include <QDir>
#include <QTabBar>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    lumbrel::InstallChineseTranslations(app);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    lumbrel::Form1 form;
    lumbrel::ConnectCommands(form);
    form.quan()->setContent(QStringLiteral("手机价格\r\niphone 15价格\r\n北京二手房\r\nbuy cheap phone\r\n"));
    form.linshi()->setContent(QStringLiteral("减肥教程\r\n"));
    form.show();
    for (int tab = 0; tab < form.tabStrip()->count(); ++tab) {
        form.tabStrip()->setCurrentIndex(tab);
        QApplication::processEvents();
        const QString file = QStringLiteral("%1/lumbrel-tab%2.png").arg(dir).arg(tab + 1);
        if (!form.grab().save(file))
            return 1;
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
