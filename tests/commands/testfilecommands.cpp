// Opening and saving files through the window: the dialogs are replaced, the files are real.
#include "commands/filecommands.h"
#include "tests/support/formfixture.h"

#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrl>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

constexpr int WaitMs = 10000;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

struct Window
{
    Form1 form;
    FileCommands* files = nullptr;
    TextArea* quan = area(form, "quan");
    TextArea* linshi = area(form, "linshi");
    QTemporaryDir dir;
    QString chosen; // what the replaced dialogs answer
    bool answer = true;

    Window()
    {
        wire(form, true);
        files = child<FileCommands>(form, "FileCommands");
        files->chooseOpen = [this](const QString&) { return chosen; };
        files->chooseSave = [this](const QString&) { return chosen; };
        files->ask = [this](const QString&) { return answer; };
    }
    QString path(const QString& name) const
    {
        return dir.filePath(name);
    }
    // Runs `action` and waits for the open or save it starts to end.
    template <typename Action> bool waitFor(void (FileCommands::*ended)(), Action action)
    {
        QSignalSpy spy(files, ended);
        action();
        return !spy.isEmpty() || spy.wait(WaitMs);
    }
    bool open(TextArea* into, const QString& file, std::optional<TextEncoding> encoding = {})
    {
        return waitFor(&FileCommands::openEnded, [&] { files->open(into, file, encoding); });
    }
    bool save(TextArea* from)
    {
        return waitFor(&FileCommands::saveEnded, [&] { files->save(from); });
    }
};

} // namespace

class TestFileCommands final : public QObject
{
    Q_OBJECT

private slots:
    void openAndSaveGiveBackTheSameBytes_data();
    void openAndSaveGiveBackTheSameBytes();
    void shortcutsWorkOnTheFocusedArea();
    void droppedFileOpensAndSeveralAreRefused();
    void reopenAsAnotherEncodingFromTheMenu();
    void escapeLeavesTheAreaAsItWas();
    void undoGoesBackToTheTextBefore();
    void refusalsChangeNothing();
    void saveRefusesWhatTheEncodingCannotHold();
    void saveIntoAMissingFolderFails();
};

void TestFileCommands::openAndSaveGiveBackTheSameBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text"); // what the area shows
    QTest::addColumn<QString>("title");
    const QString text = u"手机\r\nphone 价格\r\n\r\n😀"_s;
    const auto encoded = [&text](const char* encoding, const char* bom, const char16_t* breaks) -> QByteArray {
        QStringEncoder encoder(encoding);
        const QByteArray body = encoder.encode(QString(text).replace(u"\r\n"_s, QString::fromUtf16(breaks)));
        return QByteArray(bom) + body;
    };
    QTest::newRow("UTF-8, LF") << encoded("UTF-8", "", u"\n") << text << u"已打开 f.txt（UTF-8，4行）"_s;
    QTest::newRow("UTF-8 with a BOM, CR LF")
        << encoded("UTF-8", "\xEF\xBB\xBF", u"\r\n") << text << u"已打开 f.txt（UTF-8 BOM，4行）"_s;
    QTest::newRow("UTF-16 LE with a BOM, CR LF")
        << encoded("UTF-16LE", "\xFF\xFE", u"\r\n") << text << u"已打开 f.txt（UTF-16 LE BOM，4行）"_s;
    QTest::newRow("GB18030, lone CR") << encoded("GB18030", "", u"\r") << text << u"已打开 f.txt（GB18030，4行）"_s;
    QTest::newRow("empty file") << QByteArray() << QString() << u"已打开 f.txt（UTF-8，0行）"_s;
}

void TestFileCommands::openAndSaveGiveBackTheSameBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QString, title);
    Window w;
    const QString file = w.path(u"f.txt"_s);
    writeAll(file, bytes);
    w.quan->setContent(u"before"_s);
    QVERIFY(w.open(w.quan, file));
    QCOMPARE(w.form.windowTitle(), title);
    QCOMPARE(w.quan->content(), text);
    QVERIFY(!w.form.isBusy());
    // Saved unchanged: the same bytes, over the same file.
    writeAll(file, "changed on disk");
    QVERIFY(w.save(w.quan));
    QCOMPARE(readAll(file), bytes);
    QVERIFY(w.form.windowTitle().startsWith(u"已保存 f.txt"_s));
}

void TestFileCommands::shortcutsWorkOnTheFocusedArea()
{
    Window w;
    const QString in = w.path(u"in.txt"_s);
    writeAll(in, "a\nb\n");
    w.chosen = in;
    // Ctrl+O opens into the area with the focus.
    w.linshi->setFocus();
    QVERIFY(w.waitFor(&FileCommands::openEnded, [&] { QTest::keyClick(w.linshi, Qt::Key_O, Qt::ControlModifier); }));
    QCOMPARE(w.linshi->content(), u"a\r\nb\r\n"_s);
    QCOMPARE(w.quan->content(), QString());
    // Ctrl+Shift+S writes a new file in the format the area was read in; Ctrl+S then writes there.
    const QString out = w.path(u"out.txt"_s);
    w.chosen = out;
    QVERIFY(w.waitFor(&FileCommands::saveEnded,
                      [&] { QTest::keyClick(w.linshi, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier); }));
    QCOMPARE(readAll(out), QByteArray("a\nb\n"));
    QCOMPARE(QFile(out).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    w.linshi->setContent(u"c"_s);
    QVERIFY(w.waitFor(&FileCommands::saveEnded, [&] { QTest::keyClick(w.linshi, Qt::Key_S, Qt::ControlModifier); }));
    QCOMPARE(readAll(out), QByteArray("c"));
    // A text never opened goes to a new file: UTF-8 without a BOM, LF.
    w.quan->setContent(u"新\r\n"_s);
    const QString fresh = w.path(u"new.txt"_s);
    w.chosen = fresh;
    w.quan->setFocus();
    QVERIFY(w.waitFor(&FileCommands::saveEnded, [&] { QTest::keyClick(w.quan, Qt::Key_S, Qt::ControlModifier); }));
    QCOMPARE(readAll(fresh), QByteArray("\xE6\x96\xB0\n"));
}

void TestFileCommands::droppedFileOpensAndSeveralAreRefused()
{
    Window w;
    const QString file = w.path(u"d.txt"_s);
    writeAll(file, "x\r\ny");
    const auto drop = [&w](const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        QWidget* target = w.quan->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
    };
    w.quan->setContent(u"kept"_s);
    drop({file, file});
    QCOMPARE(w.form.windowTitle(), u"一次只能拖入一个文件"_s);
    QCOMPARE(w.quan->content(), u"kept"_s);
    QVERIFY(w.waitFor(&FileCommands::openEnded, [&] { drop({file}); }));
    QCOMPARE(w.quan->content(), u"x\r\ny"_s);
}

void TestFileCommands::reopenAsAnotherEncodingFromTheMenu()
{
    Window w;
    const QString file = w.path(u"gbk.txt"_s);
    // GBK bytes that are valid UTF-8 too: the guess is UTF-8, the user knows better.
    writeAll(file, "\xC3\xA9");
    QVERIFY(w.open(w.quan, file));
    QCOMPARE(w.quan->content(), u"é"_s);
    const auto menuAction = [](QMenu* menu, const QString& text) -> QAction* {
        for (QAction* a : menu->actions()) {
            if (a->text() == text)
                return a;
        }
        return nullptr;
    };
    QMenu menu;
    emit w.quan->menuAboutToShow(&menu);
    QAction* reopen = menuAction(&menu, u"重新以其他编码打开"_s);
    QVERIFY(reopen && reopen->menu());
    QAction* gb = menuAction(reopen->menu(), u"GB18030"_s);
    QVERIFY(gb);
    QVERIFY(w.waitFor(&FileCommands::openEnded, [gb] { gb->trigger(); }));
    QCOMPARE(w.quan->content(), u"茅"_s);
    QCOMPARE(w.form.windowTitle(), u"已打开 gbk.txt（GB18030，1行）"_s);
    // Saved back as it was read now.
    QVERIFY(w.save(w.quan));
    QCOMPARE(readAll(file), QByteArray("\xC3\xA9"));
}

void TestFileCommands::escapeLeavesTheAreaAsItWas()
{
    Window w;
    const QString file = w.path(u"big.txt"_s);
    writeAll(file, QByteArray("line\n").repeated(200000));
    w.quan->setContent(u"as it was"_s);
    w.files->open(w.quan, file);
    // Nothing of the file goes in before the event loop runs, so Esc comes first.
    QVERIFY(w.form.isBusy());
    QVERIFY(!button(w.form, 1)->isEnabled());
    QTest::keyClick(&w.form, Qt::Key_Escape);
    QCOMPARE(w.form.windowTitle(), u"已取消打开 big.txt"_s);
    QCOMPARE(w.quan->content(), u"as it was"_s);
    QVERIFY(!w.form.isBusy());
    QVERIFY(button(w.form, 1)->isEnabled());
    QTest::qWait(50);
    QCOMPARE(w.quan->content(), u"as it was"_s);
}

void TestFileCommands::undoGoesBackToTheTextBefore()
{
    Window w;
    const QString file = w.path(u"u.txt"_s);
    writeAll(file, "opened");
    w.quan->setContent(u"before"_s);
    QVERIFY(w.open(w.quan, file));
    button(w.form, 1)->setFocus();
    QTest::keyClick(button(w.form, 1), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.quan->content(), u"before"_s);
    QTest::keyClick(button(w.form, 1), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w.quan->content(), u"opened"_s);
}

void TestFileCommands::refusalsChangeNothing()
{
    Window w;
    w.quan->setContent(u"kept"_s);
    const QString nul = w.path(u"nul.bin"_s);
    writeAll(nul, QByteArray("a\0b", 3));
    struct Case
    {
        QString path;
        QString title;
    };
    const QList<Case> cases{
        {w.path(u"missing.txt"_s), u"找不到文件：missing.txt"_s},
        {w.dir.path(), u"不是文件："_s + QFileInfo(w.dir.path()).fileName() + u"（是文件夹）"_s},
        {u"/dev/zero"_s, u"不是普通文件：zero（管道、设备等）"_s},
    };
    for (const Case& c : cases) {
        w.files->open(w.quan, c.path);
        QCOMPARE(w.form.windowTitle(), c.title);
        QCOMPARE(w.quan->content(), u"kept"_s);
        QVERIFY(!w.form.isBusy());
    }
    // NUL bytes near the start: asked first; "no" changes nothing, "yes" opens.
    w.answer = false;
    w.files->open(w.quan, nul);
    QVERIFY(!w.form.isBusy());
    QCOMPARE(w.quan->content(), u"kept"_s);
    w.answer = true;
    QVERIFY(w.open(w.quan, nul));
    QCOMPARE(w.quan->content(), u"a\0b"_s);
    // While the batch job runs, its areas take no file.
    child<QCheckBox>(w.form, "Check1")->setChecked(true);
    w.files->open(w.quan, nul);
    QCOMPARE(w.form.windowTitle(), u"批量去关键词运行中，请先停止再打开文件"_s);
}

void TestFileCommands::saveRefusesWhatTheEncodingCannotHold()
{
    Window w;
    const QString file = w.path(u"b5.txt"_s);
    w.quan->setContent(u"中文\r\n€ and 😀"_s);
    w.chosen = file;
    QVERIFY(w.waitFor(&FileCommands::saveEnded, [&] { w.files->saveAs(w.quan, TextEncoding::Big5); }));
    QCOMPARE(w.form.windowTitle(), u"保存失败：第2行的“😀”无法用Big5保存"_s);
    QVERIFY(!QFile::exists(file));
    QVERIFY(!w.quan->isReadOnly());
}

void TestFileCommands::saveIntoAMissingFolderFails()
{
    Window w;
    w.quan->setContent(u"text"_s);
    w.chosen = w.path(u"gone/f.txt"_s);
    QVERIFY(w.waitFor(&FileCommands::saveEnded, [&] { w.files->saveAs(w.quan); }));
    QCOMPARE(w.form.windowTitle(), u"保存失败：文件夹不存在"_s);
    QCOMPARE(w.quan->content(), u"text"_s);
    QVERIFY(!w.form.isBusy());
}

QTEST_MAIN(TestFileCommands)
#include "testfilecommands.moc"
