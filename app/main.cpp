#include "app/connect.h"
#include "app/hugepages.h"
#include "app/snapshots.h"
#include "app/translations.h"
#include "shell/form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    lumbrel::RestartWithHugePages(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumbrel"));
    lumbrel::InstallChineseTranslations(app);
    lumbrel::Form1 window;
    lumbrel::ConnectCommands(window);
    // Offers back what a crash left, then keeps this window's work until it closes normally.
    lumbrel::KeepSnapshots(window);
    window.show();
    lumbrel::OpenFromCommandLine(window, QApplication::arguments().mid(1));
    return QApplication::exec();
}
