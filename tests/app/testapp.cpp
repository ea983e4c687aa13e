// What the composed window adds to the controls: a Chinese tooltip on each and Chinese menus.
// What each tooltip says is checked where the command is tested, rule by rule.
#include "app/translations.h"
#include "commands/filecommands.h"
#include "tests/support/formfixture.h"

#include <QApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

class TestApp final : public QObject
{
    Q_OBJECT

private slots:
    void everyControlExplainsItselfInChinese();
    void aFileOnTheCommandLineOpensIntoQuan();
};

void TestApp::everyControlExplainsItselfInChinese()
{
    // The suite runs in the C locale.
    QVERIFY(InstallChineseTranslations(*QCoreApplication::instance()));
    Form1 form;
    wire(form);
    // Every command, box, check box, option button and visible area, the fifth page's too.
    static const QRegularExpression designed(u"^(Command\\d+|Text\\d|Check\\d|Option\\d|quan|linshi|list)$"_s);
    const QList<QWidget*> more = child<QWidget>(form, "MorePage")->findChildren<QWidget*>();
    static const QRegularExpression chinese(u"[\u4E00-\u9FA5]"_s);
    int controls = 0;
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if (!designed.match(w->objectName()).hasMatch() && !more.contains(w))
            continue;
        ++controls;
        QVERIFY2(w->toolTip().contains(chinese), qPrintable(w->objectName()));
    }
    QCOMPARE(controls, 26 + 7 + 2 + 2 + 3 + 16 + 3 + 1);
    // So do the context menus: the areas' own and the boxes' from Qt.
    const QStringList expected{
        u"撤消(&U)"_s, u"重做(&R)"_s, u"剪切(&T)"_s, u"复制(&C)"_s, u"粘贴(&P)"_s, u"删除"_s, u"全选"_s};
    for (QMenu* menu : {area(form, "quan")->createStandardContextMenu(), box(form, 2)->createStandardContextMenu()}) {
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            if (!action->isSeparator())
                texts << action->text().section(u'\t', 0, 0);
        }
        QCOMPARE(texts, expected);
        delete menu;
    }
}

void TestApp::aFileOnTheCommandLineOpensIntoQuan()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"list.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("a\nb\n");
    file.close();
    Form1 form;
    wire(form);
    QSignalSpy opened(child<FileCommands>(form, "FileCommands"), &FileCommands::openEnded);
    OpenFromCommandLine(form, {path, u"ignored"_s});
    QVERIFY(opened.wait(10000));
    QCOMPARE(area(form, "quan")->content(), u"a\r\nb\r\n"_s);
    QCOMPARE(form.windowTitle(), u"已打开 list.txt（UTF-8，2行）"_s);
}

QTEST_MAIN(TestApp)
#include "testapp.moc"
