// The crash snapshots through windows composed as main composes them: a window killed in a child
// process is given back whole by the next start, a kill inside a snapshot gives back the one
// before, a normal close leaves nothing, and a failing disk or a damaged snapshot never stops a
// window. Children are this very program, run again with LUMBREL_SNAPSHOT_CHILD set.
#include "app/snapshots.h"
#include "app/translations.h"
#include "files/snapshot.h"
#include "tests/support/formfixture.h"

#include <QApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

// What a child does, where it writes what its window held, and what makes its texts its own.
constexpr char ChildRole[] = "LUMBREL_SNAPSHOT_CHILD";
constexpr char ChildState[] = "LUMBREL_SNAPSHOT_STATE";
constexpr char ChildTag[] = "LUMBREL_SNAPSHOT_TAG";
constexpr char ChildKillAt[] = "LUMBREL_SNAPSHOT_KILL_AT";

// Everything a restore must bring back, read straight from the controls.
struct WindowState
{
    QMap<QString, QByteArray> areas;
    QMap<QString, QString> texts;
    QMap<QString, bool> checks;
    int tab = 0;

    friend bool operator==(const WindowState&, const WindowState&) = default;
};

QDataStream& operator<<(QDataStream& s, const WindowState& w)
{
    return s << w.areas << w.texts << w.checks << w.tab;
}

QDataStream& operator>>(QDataStream& s, WindowState& w)
{
    return s >> w.areas >> w.texts >> w.checks >> w.tab;
}

WindowState capture(Form1& form)
{
    WindowState w;
    for (const char* name : {"quan", "linshi", "dat", "list"})
        w.areas.insert(QLatin1String(name), area(form, QLatin1String(name))->utf8().toByteArray());
    for (const LineBox* b : form.findChildren<LineBox*>())
        w.texts.insert(b->objectName(), b->text());
    w.texts.insert(u"Label2"_s, form.label(2)->text());
    w.texts.insert(u"Command12"_s, form.command(12)->text());
    for (const QAbstractButton* b : form.findChildren<QAbstractButton*>()) {
        if (qobject_cast<const QCheckBox*>(b) || qobject_cast<const QRadioButton*>(b))
            w.checks.insert(b->objectName(), b->isChecked());
    }
    w.tab = form.tabStrip()->currentIndex();
    return w;
}

bool saveState(const WindowState& w, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out << w;
    return out.status() == QDataStream::Ok;
}

WindowState loadState(const QString& path)
{
    WindowState w;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QDataStream in(&file);
        in >> w;
    }
    return w;
}

// A list with every hard case: CR LF, NUL, Chinese, an emoji, an empty line, a long line.
QString hostileList(const QString& tag)
{
    return u"手机壳 "_s + tag + u"\r\nabc\r\n\u0000NUL行\r\n价格😀\r\n\r\nplain line\r\n中文\u0000\r\n"_s +
           QString(5000, u'长') + u"\r\nend "_s + tag;
}

// Text as a Chinese input method gives it: committed whole, as typing.
void typeCommitted(QWidget* widget, const QString& text)
{
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(widget, &commit);
}

void out(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Runs the event loop until `done` or `ms` pass.
bool waitFor(const std::function<bool()>& done, int ms = 20'000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(20);
    }
    return true;
}

SnapshotKeeper& compose(Form1& form, const SnapshotOptions& options = {})
{
    ConnectCommands(form);
    return KeepSnapshots(form, options);
}

// The work of a user: a paste, commands, a store, settings.
void doCommands(Form1& form, const QString& tag)
{
    form.quan()->setContent(hostileList(tag));
    form.command(3)->click();  // 去英文: the other lines go to linshi
    form.command(12)->click(); // 存储→: linshi to dat, the counter to 1
    form.linshi()->setContent(u"临时\r\n\u0000\r\n😀 "_s + tag);
    form.list()->setContent(u"关键词1\r\n关键词2\r\n"_s + tag);
    form.check2()->setChecked(true);
    child<QRadioButton>(form, "Option2")->setChecked(true);
    form.morePage()->ignoreCase()->setChecked(true);
    form.tabStrip()->setCurrentIndex(3);
    form.textBox(6)->setText(u"|=|\r\n\u0000😀"_s + tag);
}

// Then typing into a box and into quan: no command follows it.
void doTyping(Form1& form, const QString& tag)
{
    QTest::keyClicks(form.textBox(1), u" abc"_s);
    typeCommitted(form.textBox(1), u"键入"_s + tag);
    typeCommitted(form.quan(), u"打字"_s);
}

// The child "work": the commands; once their snapshot is written, the typing and the
// window's state saved; then it waits to be killed.
int workChild(Form1& form)
{
    SnapshotKeeper& keeper = compose(form);
    form.show();
    const QString tag = qEnvironmentVariable(ChildTag);
    bool typed = false;
    QObject::connect(&keeper, &SnapshotKeeper::snapshotWritten, &form, [&](bool ok) {
        if (typed)
            return;
        typed = true;
        doTyping(form, tag);
        if (!ok || !saveState(capture(form), qEnvironmentVariable(ChildState)))
            QCoreApplication::exit(3);
        out(u"typed"_s);
    });
    doCommands(form, tag);
    return QApplication::exec();
}

// The child "seam": a first snapshot, its state saved, then a second snapshot whose commit
// dies before the rename of LUMBREL_SNAPSHOT_KILL_AT.
int seamChild(Form1& form)
{
    const QString killAt = qEnvironmentVariable(ChildKillAt);
    SnapshotOptions options;
    int manifests = 0; // on the writer's thread only
    options.faults.beforeRename = [&manifests, killAt](const QString& target) {
        const QString name = QFileInfo(target).fileName();
        if (manifests == 1 && name == killAt)
            ::raise(SIGKILL);
        if (name == u"manifest.json"_s)
            ++manifests;
    };
    SnapshotKeeper& keeper = compose(form, options);
    form.show();
    form.quan()->setContent(hostileList(u"A"_s));
    form.command(2)->click(); // 去空行
    QObject::connect(&keeper, &SnapshotKeeper::snapshotWritten, &form, [&form](bool ok) {
        if (!ok || !saveState(capture(form), qEnvironmentVariable(ChildState)))
            QCoreApplication::exit(3);
        out(u"first"_s);
        form.command(3)->click(); // 去英文 writes quan and linshi
    });
    return QApplication::exec();
}

// The child "readonly": commands over a state folder it may not write into, as a user whose
// folder is read-only. Prints the title after each command's snapshot has failed.
int readOnlyChild(Form1& form)
{
    SnapshotKeeper& keeper = compose(form);
    QSignalSpy written(&keeper, &SnapshotKeeper::snapshotWritten);
    form.quan()->setContent(u"b\r\na\r\nb\r\n\r\n\r\nc"_s);
    form.command(1)->click(); // 去重复
    if (!written.wait(10'000) || written.takeFirst().at(0).toBool())
        return 4;
    out(u"first="_s + form.windowTitle());
    form.command(2)->click(); // 去空行
    if (!written.wait(10'000) || written.takeFirst().at(0).toBool())
        return 5;
    out(u"second="_s + form.windowTitle());
    out(u"quan="_s + QString::fromUtf8(form.quan()->utf8().toByteArray().toPercentEncoding()));
    return 0;
}

int runChild(int argc, char** argv, const QByteArray& role)
{
    // Without root's powers, so that the folder's permission bits hold.
    if (role == "readonly" && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        return 2;
    QApplication app(argc, argv);
    Form1 form;
    if (role == "work")
        return workChild(form);
    if (role == "seam")
        return seamChild(form);
    if (role == "readonly")
        return readOnlyChild(form);
    return 2;
}

// Answers the question box of the next start, if one comes, and remembers what it asked.
class Answerer final : public QObject
{
public:
    explicit Answerer(QMessageBox::StandardButton answer)
        : m_answer(answer)
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            ++asked;
            question = box->text();
            buttons.clear();
            for (const QAbstractButton* b : box->buttons())
                buttons << b->text();
            buttons.sort();
            box->button(m_answer)->click();
        });
        m_poll.start(10);
    }

    int asked = 0;
    QString question;
    QStringList buttons;

private:
    QMessageBox::StandardButton m_answer;
    QTimer m_poll;
};

// The session folders under `root`.
QStringList sessions(const QString& root)
{
    return QDir(root).entryList({u"session-*"_s}, QDir::Dirs | QDir::NoDotAndDotDot);
}

// Whether some snapshot under `root` holds `w`'s Text1 and the sizes of its areas: the last
// change a child made is on disk.
bool onDisk(const QString& root, const WindowState& w)
{
    for (const QString& session : sessions(root)) {
        QFile file(root + u'/' + session + u"/manifest.json"_s);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const std::optional<SnapshotManifest> m = ReadManifest(file.readAll());
        if (!m || m->controls.texts.value(u"Text1"_s) != w.texts.value(u"Text1"_s))
            continue;
        bool sizes = true;
        for (auto it = w.areas.begin(); it != w.areas.end(); ++it)
            sizes = sizes && m->areas.value(it.key()).bytes == it.value().size();
        if (sizes)
            return true;
    }
    return false;
}

// A child of this program in the role given, with its state file in `dir`.
class Child
{
public:
    Child(const QByteArray& role, const QString& dir, const QString& tag, const QString& killAt = {})
        : m_state(dir + u"/state-"_s + tag)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(ChildRole), QLatin1String(role));
        env.insert(QLatin1String(ChildState), m_state);
        env.insert(QLatin1String(ChildTag), tag);
        env.insert(QLatin1String(ChildKillAt), killAt);
        m_process.setProcessEnvironment(env);
        m_process.start(QCoreApplication::applicationFilePath(), {});
    }
    ~Child()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    // Waits for the line the child prints when it reaches `mark`.
    bool reached(const QString& mark)
    {
        return waitFor([&] {
                   m_output += m_process.readAllStandardOutput();
                   return m_output.contains((mark + u'\n').toUtf8()) || m_process.state() == QProcess::NotRunning;
               }) &&
               m_output.contains((mark + u'\n').toUtf8());
    }
    WindowState state() const
    {
        return loadState(m_state);
    }
    // SIGKILL, and reaped: its lock is then stale.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    bool diedOfSigkill()
    {
        m_process.waitForFinished(20'000);
        return m_process.exitStatus() == QProcess::CrashExit;
    }
    QProcess& process()
    {
        return m_process;
    }
    QString errors()
    {
        return QString::fromUtf8(m_process.readAllStandardError());
    }

private:
    QProcess m_process;
    QString m_state;
    QByteArray m_output;
};

// A window built like main's over the state in XDG_STATE_HOME, answering the question with
// `answer`; its state after the start.
struct Start
{
    int asked = 0;
    QString question;
    QStringList buttons;
    QString title;
    WindowState state;
};

Start startWindow(QMessageBox::StandardButton answer = QMessageBox::No)
{
    Start s;
    Form1 form;
    const Answerer answerer(answer);
    compose(form);
    s.asked = answerer.asked;
    s.question = answerer.question;
    s.buttons = answerer.buttons;
    s.title = form.windowTitle();
    s.state = capture(form);
    return s;
}

} // namespace

class TestSnapshots final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void areaHandsOverTheTextItHolds_data();
    void areaHandsOverTheTextItHolds();
    void copyGoesIntoTheRoomGiven_data();
    void copyGoesIntoTheRoomGiven();
    void questionNamesTimeAndSize_data();
    void questionNamesTimeAndSize();
    void changeOutsideACommandIsKept_data();
    void changeOutsideACommandIsKept();
    void killedWindowIsGivenBackWhole();
    void killInsideASnapshotGivesBackTheOneBefore_data();
    void killInsideASnapshotGivesBackTheOneBefore();
    void restoredWindowHasNoUndoAndKeepsItsOwn();
    void declinedRestoreRemovesTheSnapshot();
    void normalCloseLeavesNothing();
    void damagedSnapshotIsReportedAndRemoved_data();
    void damagedSnapshotIsReportedAndRemoved();
    void twoWindowsKeepTheirOwnAndTheNewestOrphanIsOffered();
    void failingDiskShowsOneQuietLine();
    void readOnlyStateFolderShowsOneQuietLine();

private:
    std::unique_ptr<QTemporaryDir> m_state;
    QString root() const
    {
        return m_state->filePath(u"lumbrel"_s);
    }
};

void TestSnapshots::init()
{
    // Never the user's own folder: each test has a state home of its own.
    m_state = std::make_unique<QTemporaryDir>();
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
}

void TestSnapshots::cleanup()
{
    m_state.reset();
}

void TestSnapshots::areaHandsOverTheTextItHolds_data()
{
    QTest::addColumn<std::function<void(TextArea&)>>("change"); // after a command's write
    const auto none = [](TextArea&) {};
    QTest::newRow("nothing since the write") << std::function<void(TextArea&)>(none);
    QTest::newRow("typed into") << std::function<void(TextArea&)>([](TextArea& a) { QTest::keyClicks(&a, u"x"_s); });
    QTest::newRow("typed over, same length") << std::function<void(TextArea&)>([](TextArea& a) {
        a.SendScintilla(QsciScintillaBase::SCI_SETSEL, 0UL, 1L);
        typeCommitted(&a, u"Z"_s);
    });
    QTest::newRow("prepended to") << std::function<void(TextArea&)>(
        [](TextArea& a) { a.prependContent(u"front\r\n"_s); });
    QTest::newRow("another area appended") << std::function<void(TextArea&)>([](TextArea& a) {
        TextArea other;
        other.setContent(u"other"_s);
        a.appendArea(other);
    });
    QTest::newRow("undone") << std::function<void(TextArea&)>([](TextArea& a) { a.undo(); });
    QTest::newRow("set through the editor") << std::function<void(TextArea&)>(
        [](TextArea& a) { a.SendScintilla(QsciScintillaBase::SCI_SETTEXT, "other"); });
    QTest::newRow("a file loaded") << std::function<void(TextArea&)>([](TextArea& a) {
        a.beginLoad(4);
        a.appendLoaded("load");
        a.finishLoad();
    });
    QTest::newRow("a load begun and cancelled") << std::function<void(TextArea&)>([](TextArea& a) {
        a.beginLoad(4);
        a.appendLoaded("load");
        a.cancelLoad();
    });
    QTest::newRow("taken once already") << std::function<void(TextArea&)>(
        [](TextArea& a) { QCOMPARE(a.takeText(), a.utf8().toByteArray()); });
    QTest::newRow("keeping turned off") << std::function<void(TextArea&)>(
        [](TextArea& a) { a.keepWrittenText(false); });
}

void TestSnapshots::areaHandsOverTheTextItHolds()
{
    QFETCH(std::function<void(TextArea&)>, change);
    TextArea area;
    area.setContent(u"before"_s);
    area.keepWrittenText(true);
    area.setContent(u"a\r\n\u0000中\rb\n😀"_s);
    change(area);
    // Never the bytes of a write the area no longer holds.
    const QByteArray taken = area.takeText();
    QCOMPARE(taken, area.utf8().toByteArray());
    QVERIFY(taken.constData() != area.utf8().data() || taken.isEmpty());
    QCOMPARE(area.takeText(), taken);
}

void TestSnapshots::copyGoesIntoTheRoomGiven_data()
{
    QTest::addColumn<qsizetype>("room");
    QTest::addColumn<bool>("shared"); // another array holds the room too
    QTest::addColumn<bool>("used");
    QTest::newRow("room to spare is used") << qsizetype{100} << false << true;
    QTest::newRow("room of the very size is used") << qsizetype{12} << false << true;
    QTest::newRow("too little room is not") << qsizetype{11} << false << false;
    QTest::newRow("room another array holds is not") << qsizetype{100} << true << false;
}

void TestSnapshots::copyGoesIntoTheRoomGiven()
{
    QFETCH(qsizetype, room);
    QFETCH(bool, shared);
    QFETCH(bool, used);
    TextArea area;
    area.keepWrittenText(true);
    area.setContent(u"ab\r\n\u0000中文"_s);
    QTest::keyClicks(&area, u"x"_s); // typed: nothing to hand over
    const QByteArray text = area.utf8().toByteArray();
    QCOMPARE(text.size(), 12);
    QByteArray given(room, 'r');
    const QByteArray other = shared ? given : QByteArray();
    const char* at = given.constData();
    const QByteArray taken = area.takeText(std::move(given));
    QCOMPARE(taken, text);
    QCOMPARE(taken.constData() == at, used);
    if (shared)
        QCOMPARE(other, QByteArray(room, 'r'));
}

void TestSnapshots::questionNamesTimeAndSize_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("question");
    const int year = QDate::currentDate().year();
    const QDateTime thisYear(QDate(year, 12, 7), QTime(12, 30, 15));
    const QString ask = u"上次 Lumbrel 没有正常关闭。要恢复 "_s;
    QTest::newRow("this year, megabytes")
        << thisYear << qint64{27'345'678} << ask + u"12月7日 12:30:15 未保存的内容（27.3 MB）吗？"_s;
    QTest::newRow("an earlier year names it")
        << QDateTime(QDate(year - 1, 1, 2), QTime(3, 4, 5)) << qint64{0}
        << ask + QString::number(year - 1) + u"年1月2日 03:04:05 未保存的内容（0 字节）吗？"_s;
    QTest::newRow("bytes below a kilobyte")
        << thisYear << qint64{999} << ask + u"12月7日 12:30:15 未保存的内容（999 字节）吗？"_s;
    QTest::newRow("kilobytes") << thisYear << qint64{1000} << ask + u"12月7日 12:30:15 未保存的内容（1.0 KB）吗？"_s;
    QTest::newRow("gigabytes") << thisYear << qint64{1'500'000'000}
                               << ask + u"12月7日 12:30:15 未保存的内容（1.5 GB）吗？"_s;
}

void TestSnapshots::questionNamesTimeAndSize()
{
    QFETCH(QDateTime, time);
    QFETCH(qint64, bytes);
    QFETCH(QString, question);
    QCOMPARE(RestoreQuestion(time.toMSecsSinceEpoch(), bytes), question);
}

void TestSnapshots::changeOutsideACommandIsKept_data()
{
    QTest::addColumn<std::function<void(Form1&)>>("change");
    using Change = std::function<void(Form1&)>;
    QTest::newRow("keys typed into a box") << Change([](Form1& f) { QTest::keyClicks(f.textBox(1), u"ab"_s); });
    QTest::newRow("a word from an input method into a box")
        << Change([](Form1& f) { typeCommitted(f.textBox(5), u"标记"_s); });
    QTest::newRow("keys typed into quan") << Change([](Form1& f) { QTest::keyClicks(f.quan(), u"ab"_s); });
    QTest::newRow("a word from an input method into list")
        << Change([](Form1& f) { typeCommitted(f.list(), u"关键词"_s); });
    QTest::newRow("another tab") << Change([](Form1& f) { f.tabStrip()->setCurrentIndex(4); });
    QTest::newRow("another option") << Change([](Form1& f) { child<QRadioButton>(f, "Option2")->click(); });
    QTest::newRow("a check box of the fifth page") << Change([](Form1& f) { f.morePage()->ignoreWidth()->click(); });
    // Texts past a megabyte with no bytes to hand over: copied into memory made ready.
    QTest::newRow("typed into a long quan") << Change([](Form1& f) {
        f.quan()->setContent(hostileList(u"q"_s).repeated(100));
        QTest::keyClicks(f.quan(), u"x"_s);
    });
    QTest::newRow("a long linshi stored into dat") << Change([](Form1& f) {
        f.linshi()->setContent(hostileList(u"l"_s).repeated(100));
        f.command(12)->click();
    });
    QTest::newRow("a long linshi prepended to") << Change([](Form1& f) {
        f.linshi()->setContent(hostileList(u"p"_s).repeated(100));
        f.linshi()->prependContent(u"前\r\n"_s);
    });
}

void TestSnapshots::changeOutsideACommandIsKept()
{
    QFETCH(std::function<void(Form1&)>, change);
    Form1 form;
    SnapshotOptions options;
    options.typingDelayMs = 100;
    SnapshotKeeper& keeper = compose(form, options);
    QSignalSpy written(&keeper, &SnapshotKeeper::snapshotWritten);
    change(form);
    QVERIFY(waitFor([&] { return !written.isEmpty() && onDisk(root(), capture(form)); }));
    QFile file(keeper.folder() + u"/manifest.json"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const std::optional<SnapshotManifest> m = ReadManifest(file.readAll());
    QVERIFY(m);
    const WindowState now = capture(form);
    QCOMPARE(m->controls.texts, now.texts);
    QMap<QString, bool> checks = now.checks;
    checks.remove(u"Check1"_s);
    QCOMPARE(m->controls.checks, checks);
    QCOMPARE(m->controls.tab, now.tab);
    for (auto it = now.areas.begin(); it != now.areas.end(); ++it) {
        QFile text(keeper.folder() + u'/' + m->areas.value(it.key()).file);
        QVERIFY(text.open(QIODevice::ReadOnly));
        QCOMPARE(text.readAll(), it.value());
    }
}

void TestSnapshots::killedWindowIsGivenBackWhole()
{
    Child child("work", m_state->path(), u"甲"_s);
    QVERIFY2(child.reached(u"typed"_s), qPrintable(child.errors()));
    const WindowState expected = child.state();
    QCOMPARE(expected.texts.value(u"Text1"_s), u"Text1 abc键入甲"_s);
    QVERIFY(expected.areas.value(u"quan"_s).startsWith("打字"));
    QVERIFY(expected.areas.value(u"dat"_s).contains("abc"));
    QCOMPARE(expected.texts.value(u"Label2"_s), u"1"_s);
    // The typing's snapshot follows within its delay; then the window dies without a word.
    QVERIFY(waitFor([&] { return onDisk(root(), expected); }));
    child.kill();

    // As main starts: Qt's own words in Chinese too.
    QVERIFY(InstallChineseTranslations(*QCoreApplication::instance()));
    const Start start = startWindow(QMessageBox::Yes);
    QCOMPARE(start.asked, 1);
    QCOMPARE(start.buttons, (QStringList{u"否(&N)"_s, u"是(&Y)"_s}));
    QVERIFY2(start.question.startsWith(u"上次 Lumbrel 没有正常关闭。要恢复 "_s), qPrintable(start.question));
    QVERIFY(start.question.contains(u"KB）吗？"_s));
    QCOMPARE(start.title, u"已恢复上次未保存的内容"_s);
    QCOMPARE(start.state.areas, expected.areas);
    QCOMPARE(start.state.texts, expected.texts);
    QCOMPARE(start.state.checks, expected.checks);
    QCOMPARE(start.state.tab, 3);
    QVERIFY(start.state == expected);
    // Given back and then closed normally: nothing is offered again.
    QCOMPARE(startWindow().asked, 0);
    QCOMPARE(QDir(root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestSnapshots::killInsideASnapshotGivesBackTheOneBefore_data()
{
    QTest::addColumn<QString>("killAt");
    // The second snapshot writes linshi's and then quan's text, then its manifest.
    QTest::newRow("before quan's file is renamed, linshi's already in place") << u"quan.2.txt"_s;
    QTest::newRow("before the manifest is renamed") << u"manifest.json"_s;
}

void TestSnapshots::killInsideASnapshotGivesBackTheOneBefore()
{
    QFETCH(QString, killAt);
    Child child("seam", m_state->path(), u"A"_s, killAt);
    QVERIFY2(child.reached(u"first"_s), qPrintable(child.errors()));
    QVERIFY(child.diedOfSigkill());
    const WindowState first = child.state();
    QVERIFY(first.areas.value(u"quan"_s).contains("abc"));

    const Start start = startWindow(QMessageBox::Yes);
    QCOMPARE(start.asked, 1);
    QCOMPARE(start.state.areas, first.areas);
    QVERIFY(start.state == first);
}

void TestSnapshots::restoredWindowHasNoUndoAndKeepsItsOwn()
{
    // A snapshot let go by a window of this process, as a crash leaves it.
    const QByteArray quan("a\r\n\0\xE4\xB8\xAD\r\xF0\x9F\x98\x80", 12);
    {
        SnapshotFolder left(root());
        SnapshotControls controls;
        controls.texts.insert(u"Text3"_s, u"x\u0000y"_s + QChar(0xD800));
        controls.checks.insert(u"Option2"_s, true);
        controls.checks.insert(u"Option1"_s, false);
        controls.checks.insert(u"Check1"_s, true); // a job ran: it does not come back
        controls.tab = 1;
        QVERIFY(left.commit({{u"quan"_s, quan}, {u"list"_s, {}}}, controls, 1));
    }
    QString orphan = sessions(root()).value(0);
    Form1 form;
    {
        const Answerer answerer(QMessageBox::Yes);
        SnapshotKeeper& keeper = compose(form);
        QCOMPARE(answerer.asked, 1);
        QSignalSpy written(&keeper, &SnapshotKeeper::snapshotWritten);
        QCOMPARE(form.quan()->utf8().toByteArray(), quan);
        QCOMPARE(form.list()->utf8().toByteArray(), QByteArray());
        QCOMPARE(form.linshi()->utf8().toByteArray(), QByteArray()); // not in the snapshot: as started
        QCOMPARE(form.textBox(3)->text(), u"x\u0000y"_s + QChar(0xD800));
        QVERIFY(form.findChild<QRadioButton*>(u"Option2"_s)->isChecked());
        QVERIFY(!form.findChild<QRadioButton*>(u"Option1"_s)->isChecked());
        QVERIFY(!form.check1()->isChecked());
        QCOMPARE(form.tabStrip()->currentIndex(), 1);
        QVERIFY(form.tabPage(1)->isVisibleTo(&form));
        // Ctrl+Z cannot go back to the empty start.
        QCOMPARE(form.quan()->SendScintilla(QsciScintillaBase::SCI_CANUNDO), 0);
        QTest::keyClick(form.quan(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form.quan()->utf8().toByteArray(), quan);
        // The orphan goes once this window's own snapshot holds the text.
        QVERIFY(written.wait(10'000));
        QCOMPARE(written.first().at(0).toBool(), true);
        QVERIFY(!sessions(root()).contains(orphan));
        const QString own = keeper.folder();
        QFile manifest(own + u"/manifest.json"_s);
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        const std::optional<SnapshotManifest> m = ReadManifest(manifest.readAll());
        QVERIFY(m);
        QCOMPARE(m->areas.value(u"quan"_s).bytes, quan.size());
        QCOMPARE(m->controls.texts.value(u"Text3"_s), u"x\u0000y"_s + QChar(0xD800));
    }
}

void TestSnapshots::declinedRestoreRemovesTheSnapshot()
{
    {
        SnapshotFolder left(root());
        QVERIFY(left.commit({{u"quan"_s, "kept?"}}, {}, 1));
    }
    const Start no = startWindow(QMessageBox::No);
    QCOMPARE(no.asked, 1);
    QCOMPARE(no.state.areas.value(u"quan"_s), QByteArray());
    QCOMPARE(no.title, u"Lumbrel V1.6"_s);
    QCOMPARE(startWindow().asked, 0);
    QCOMPARE(QDir(root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestSnapshots::normalCloseLeavesNothing()
{
    {
        Form1 form;
        SnapshotKeeper& keeper = compose(form);
        QSignalSpy written(&keeper, &SnapshotKeeper::snapshotWritten);
        form.quan()->setContent(u"a\r\n\r\nb"_s);
        form.command(2)->click();
        QVERIFY(written.wait(10'000));
        QCOMPARE(sessions(root()).size(), 1);
        // Typing waits for its snapshot; the window closes before it comes.
        QTest::keyClicks(form.textBox(1), u"x"_s);
    }
    QCOMPARE(QDir(root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    const Start again = startWindow(QMessageBox::Yes);
    QCOMPARE(again.asked, 0);
    QCOMPARE(again.title, u"Lumbrel V1.6"_s);
    // A window nobody touched writes nothing at all.
    QCOMPARE(QDir(root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TestSnapshots::damagedSnapshotIsReportedAndRemoved_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("asked"); // the damage shows only once the texts are read
    // Each kind of damage the search finds is its own test; here, what the window shows.
    QTest::newRow("a manifest of garbage") << u"garbage"_s << 0;
    QTest::newRow("an area's file not UTF-8, of the right size") << u"not utf-8"_s << 1;
}

void TestSnapshots::damagedSnapshotIsReportedAndRemoved()
{
    QFETCH(QString, damage);
    QFETCH(int, asked);
    QString session;
    {
        SnapshotFolder left(root());
        QVERIFY(left.commit({{u"quan"_s, "text"}}, {}, 1));
        session = left.path();
    }
    if (damage == u"garbage"_s) {
        QFile f(session + u"/manifest.json"_s);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("{\"format\": 1, \"areas\": [") > 0);
    } else {
        QFile f(session + u"/quan.1.txt"_s);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("\xFF\xFE\xFD\xFC") == 4);
    }
    const Start start = startWindow(QMessageBox::Yes);
    QCOMPARE(start.asked, asked);
    QCOMPARE(start.title, DamagedSnapshotMessage());
    QCOMPARE(start.state.areas.value(u"quan"_s), QByteArray());
    QCOMPARE(sessions(root()), QStringList());
    QCOMPARE(startWindow().asked, 0);
}

void TestSnapshots::twoWindowsKeepTheirOwnAndTheNewestOrphanIsOffered()
{
    // Three windows at once; the third keeps running throughout.
    Child older("work", m_state->path(), u"一"_s);
    QVERIFY2(older.reached(u"typed"_s), qPrintable(older.errors()));
    QVERIFY(waitFor([&] { return onDisk(root(), older.state()); }));
    Child newer("work", m_state->path(), u"二"_s);
    QVERIFY2(newer.reached(u"typed"_s), qPrintable(newer.errors()));
    QVERIFY(waitFor([&] { return onDisk(root(), newer.state()); }));
    Child running("work", m_state->path(), u"三"_s);
    QVERIFY2(running.reached(u"typed"_s), qPrintable(running.errors()));
    QVERIFY(waitFor([&] { return onDisk(root(), running.state()); }));
    QCOMPARE(sessions(root()).size(), 3);
    older.kill();
    newer.kill();

    // The newest whose window is gone, then the other; never the running one's.
    const Start first = startWindow(QMessageBox::Yes);
    QCOMPARE(first.asked, 1);
    QVERIFY(first.state == newer.state());
    const Start second = startWindow(QMessageBox::Yes);
    QCOMPARE(second.asked, 1);
    QVERIFY(second.state == older.state());
    QCOMPARE(startWindow().asked, 0);
    QCOMPARE(sessions(root()).size(), 1);
    running.kill();
    const Start last = startWindow(QMessageBox::Yes);
    QCOMPARE(last.asked, 1);
    QVERIFY(last.state == running.state());
}

void TestSnapshots::failingDiskShowsOneQuietLine()
{
    Form1 form;
    WriteFaults full;
    full.failAfterBytes = 0;
    SnapshotOptions options;
    options.faults = full;
    SnapshotKeeper& keeper = compose(form, options);
    QSignalSpy written(&keeper, &SnapshotKeeper::snapshotWritten);
    const QString failure = SnapshotKeeper::failureMessage(u"磁盘空间不足"_s);
    // A command on a fresh list; the title once its snapshot has been tried.
    const auto command = [&](int n) {
        form.quan()->setContent(u"b\r\na\r\nb\r\n\r\n\r\nc"_s);
        form.command(n)->click();
        const QString message = form.windowTitle();
        [&] { QVERIFY(written.wait(10'000)); }();
        return std::pair(message, form.windowTitle());
    };
    const auto [dedup, afterDedup] = command(1);
    QCOMPARE(dedup, u"去重复完毕剩余：3行"_s);
    QCOMPARE(written.last().at(0).toBool(), false);
    QCOMPARE(afterDedup, failure);
    // The window works on, and the failure is not shown again with every command.
    const auto [empty, afterEmpty] = command(2);
    QCOMPARE(afterEmpty, empty);
    QCOMPARE(form.quan()->content(), u"b\r\na\r\nb\r\nc"_s);
    // Once a snapshot gets through, a later failure shows again.
    keeper.setFaults({});
    const auto [through, afterThrough] = command(1);
    QCOMPARE(written.last().at(0).toBool(), true);
    QCOMPARE(afterThrough, through);
    // And it holds every area, the ones only the failed snapshots had too.
    QFile manifest(keeper.folder() + u"/manifest.json"_s);
    QVERIFY(manifest.open(QIODevice::ReadOnly));
    const std::optional<SnapshotManifest> m = ReadManifest(manifest.readAll());
    QVERIFY(m);
    QCOMPARE(m->areas.keys(), (QStringList{u"dat"_s, u"linshi"_s, u"list"_s, u"quan"_s}));
    QCOMPARE(m->areas.value(u"quan"_s).bytes, form.quan()->utf8().size());
    keeper.setFaults(full);
    const auto [again, afterAgain] = command(1);
    QCOMPARE(written.last().at(0).toBool(), false);
    QCOMPARE(afterAgain, failure);
}

void TestSnapshots::readOnlyStateFolderShowsOneQuietLine()
{
    // The child runs without root's powers: the folders above must let it through.
    QVERIFY(QFile::setPermissions(
        m_state->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    QVERIFY(QDir().mkdir(root()));
    QVERIFY(QFile::setPermissions(root(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    Child child("readonly", m_state->path(), u"ro"_s);
    QVERIFY(child.process().waitForFinished(30'000));
    const QString output = QString::fromUtf8(child.process().readAllStandardOutput());
    QVERIFY2(child.process().exitCode() == 0, qPrintable(output + child.errors()));
    QVERIFY2(output.contains(u"first=快照未能保存：没有权限\n"_s), qPrintable(output));
    QVERIFY2(output.contains(u"second=去空行完毕剩余：3行\n"_s), qPrintable(output));
    QVERIFY2(output.contains(u"quan=c%0D%0Aa%0D%0Ab\n"_s), qPrintable(output));
    QCOMPARE(QDir(root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

int main(int argc, char** argv)
{
    const QByteArray role = qgetenv(ChildRole);
    if (!role.isEmpty())
        return runChild(argc, argv, role);
    QApplication app(argc, argv);
    TestSnapshots test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "testsnapshots.moc"
