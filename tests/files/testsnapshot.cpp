// The crash snapshots on disk: the manifest read back exactly or refused, commits that leave one
// whole snapshot whatever fails and wherever the process dies, and the search for the snapshots
// of windows that are gone, against real folders, locks and killed child processes.
#include "files/snapshot.h"
#include "files/snapshotwriter.h"
#include "tests/files/filetesthelpers.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <mutex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(lumbrel::SnapshotManifest)
Q_DECLARE_METATYPE(lumbrel::WriteFaults)

namespace {

using Texts = QMap<QString, QByteArray>;

// The writer's ends, recorded on this thread (the writer emits from its own).
struct Ends
{
    explicit Ends(SnapshotWriter& writer)
    {
        QObject::connect(&writer,
                         &SnapshotWriter::finished,
                         &receiver,
                         [this](bool done, const QString&, const QStringList& written, double) {
                             ok << done;
                             areas << written;
                         });
    }
    QObject receiver;
    QList<bool> ok;
    QList<QStringList> areas;
};

mode_t modeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Units that make JSON and UTF-16 hard: NUL, breaks, quotes, both halves of a surrogate pair
// alone and together, Chinese, control characters.
const QString Hostile =
    u"a\u0000\r\n\"\\/\u4E2D\u6587\u0001\u001F\u007F\uFEFF\U0001F600"_s + QChar(0xD800) + QChar(0xDC00) + QChar(0xDBFF);

QString randomText(QRandomGenerator& rng, int maxLength)
{
    QString s;
    for (int n = static_cast<int>(rng.bounded(maxLength + 1)); n > 0; --n)
        s += Hostile[static_cast<qsizetype>(rng.bounded(static_cast<int>(Hostile.size())))];
    return s;
}

SnapshotManifest randomManifest(QRandomGenerator& rng)
{
    static const QStringList names{u"quan"_s, u"linshi"_s, u"dat"_s, u"list"_s, u"A_1"_s, u"z"_s};
    SnapshotManifest m;
    m.generation = 1 + rng.bounded(1000);
    m.time = static_cast<qint64>(rng.generate64() >> 11); // up to 2^53
    for (const QString& name : names) {
        if (rng.bounded(2) == 0)
            m.areas.insert(name, {SnapshotAreaFile(name, 1 + rng.bounded(m.generation)), rng.bounded(1 << 30)});
    }
    // Keys are objectNames: any valid UTF-16.
    const auto key = [&rng] {
        QString k = randomText(rng, 6);
        return QStringView(k).isValidUtf16() && !k.startsWith(QChar(0xFEFF))
                   ? k
                   : u"name"_s + QString::fromLatin1(k.toUtf8().toHex());
    };
    for (int k = static_cast<int>(rng.bounded(6)); k > 0; --k)
        m.controls.texts.insert(key(), randomText(rng, 40));
    for (int k = static_cast<int>(rng.bounded(6)); k > 0; --k)
        m.controls.checks.insert(key(), rng.bounded(2) == 1);
    m.controls.tab = static_cast<int>(rng.bounded(1000));
    return m;
}

// A manifest as JSON with one field changed, for the refusals.
QByteArray edited(const std::function<void(QJsonObject&)>& edit)
{
    SnapshotManifest m;
    m.time = 1'700'000'000'000;
    m.generation = 3;
    m.areas.insert(u"quan"_s, {u"quan.3.txt"_s, 10});
    m.controls.texts.insert(u"Text1"_s, u"x"_s);
    m.controls.checks.insert(u"Check2"_s, true);
    QJsonObject o = QJsonDocument::fromJson(WriteManifest(m)).object();
    edit(o);
    return QJsonDocument(o).toJson();
}

void setArea(QJsonObject& o, const QString& name, const QJsonValue& value)
{
    QJsonObject areas = o.value(u"areas"_s).toObject();
    areas.insert(name, value);
    o.insert(u"areas"_s, areas);
}

QJsonObject areaEntry(const QString& file, double bytes)
{
    return {{u"file"_s, file}, {u"bytes"_s, bytes}};
}

// The snapshot a search finds under `root`, read back whole; the folder's window must be gone.
struct Found
{
    int damaged = -1;
    bool found = false;
    SnapshotManifest manifest;
    Texts texts;
};

Found findAndRead(const QString& root, bool remove = true)
{
    Found f;
    OrphanSearch search = FindOrphanSnapshot(root);
    f.damaged = search.damaged;
    if (!search.newest)
        return f;
    f.found = true;
    f.manifest = search.newest->manifest();
    f.texts = search.newest->readTexts().value_or(Texts{{u"unreadable"_s, {}}});
    if (remove)
        search.newest->remove();
    return f;
}

SnapshotControls controlsWith(const QString& text, int tab = 0)
{
    SnapshotControls c;
    c.texts.insert(u"Text1"_s, text);
    c.checks.insert(u"Check2"_s, tab % 2 == 1);
    c.tab = tab;
    return c;
}

// The files of the only session folder under `root`, and that folder.
QString onlySession(const QString& root)
{
    const QStringList folders = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return folders.size() == 1 ? root + u'/' + folders.front() : QString();
}

// Runs `body` in a forked child and waits for its end; true when the child was killed by
// SIGKILL (from a seam), false when it exited.
bool killedInChild(const std::function<void()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

class TestSnapshot final : public QObject
{
    Q_OBJECT

private slots:
    void manifestComesBackExactly_data();
    void manifestComesBackExactly();
    void randomManifestsComeBackExactly();
    void foreignManifestsAreRefused_data();
    void foreignManifestsAreRefused();
    void everyCutManifestIsRefused();
    void rootFollowsTheStateHome_data();
    void rootFollowsTheStateHome();
    void commitsKeepOnlyTheLatestFiles();
    void randomCommitsReadBackAsTheLastOne();
    void failedCommitLeavesTheLastOne_data();
    void failedCommitLeavesTheLastOne();
    void killedCommitLeavesTheLastOne_data();
    void killedCommitLeavesTheLastOne();
    void unwritableRootFailsWithItsReason();
    void searchSkipsRunningWindows();
    void searchRemovesEmptyAndDamaged_data();
    void searchRemovesEmptyAndDamaged();
    void searchOffersTheNewestAndKeepsTheOthers();
    void searchLeavesForeignEntries();
    void changedFileAfterTheSearchIsNotRead_data();
    void changedFileAfterTheSearchIsNotRead();
    void writerMergesJobsThatWait();
    void writerRemovesItsFolder();
    void writerMakesRoomReady();
};

void TestSnapshot::manifestComesBackExactly_data()
{
    QTest::addColumn<SnapshotManifest>("manifest");
    SnapshotManifest plain;
    plain.time = 1;
    plain.generation = 1;
    QTest::newRow("no areas, no controls") << plain;
    SnapshotManifest hostile = plain;
    hostile.generation = 7;
    hostile.areas.insert(u"quan"_s, {u"quan.7.txt"_s, 27'345'678});
    hostile.areas.insert(u"list"_s, {u"list.1.txt"_s, 0});
    hostile.controls.texts.insert(u"Text1"_s, Hostile);
    hostile.controls.texts.insert(u"a\u0000\r\n\"\\/\u4E2D\U0001F600"_s, u""_s);
    hostile.controls.texts.insert(u"lone high at the end"_s, QString(QChar(0xD83D)));
    hostile.controls.texts.insert(u"byte order marks in front"_s, u"\uFEFF\uFEFFa"_s);
    hostile.controls.checks.insert(u"Option2"_s, true);
    hostile.controls.checks.insert(u"Check2"_s, false);
    hostile.controls.tab = 4;
    QTest::newRow("texts with NUL, breaks and unpaired surrogates") << hostile;
    SnapshotManifest largest = plain;
    largest.time = qint64{1} << 53;
    largest.generation = qint64{1} << 53;
    largest.areas.insert(u"dat"_s, {SnapshotAreaFile(u"dat"_s, largest.generation), qint64{1} << 53});
    largest.controls.tab = 999;
    QTest::newRow("largest numbers") << largest;
    SnapshotManifest longText = plain;
    longText.controls.texts.insert(u"Text6"_s, QString(1 << 20, QChar(0x4E2D)));
    QTest::newRow("a box of a million characters") << longText;
}

void TestSnapshot::manifestComesBackExactly()
{
    QFETCH(SnapshotManifest, manifest);
    const std::optional<SnapshotManifest> read = ReadManifest(WriteManifest(manifest));
    QVERIFY(read.has_value());
    QCOMPARE(read->controls.texts, manifest.controls.texts);
    QVERIFY(*read == manifest);
}

void TestSnapshot::randomManifestsComeBackExactly()
{
    QRandomGenerator rng(20241207);
    for (int round = 0; round < 2000; ++round) {
        const SnapshotManifest m = randomManifest(rng);
        const std::optional<SnapshotManifest> read = ReadManifest(WriteManifest(m));
        QVERIFY2(read && *read == m, qPrintable(QString::number(round)));
    }
}

void TestSnapshot::foreignManifestsAreRefused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("not JSON") << QByteArray("\x00\xFF{", 3);
    QTest::newRow("an array") << QByteArray("[1,2]");
    QTest::newRow("another format") << edited([](QJsonObject& o) { o.insert(u"format"_s, 2); });
    QTest::newRow("no time") << edited([](QJsonObject& o) { o.remove(u"time"_s); });
    QTest::newRow("time below zero") << edited([](QJsonObject& o) { o.insert(u"time"_s, -1); });
    QTest::newRow("time as text") << edited([](QJsonObject& o) { o.insert(u"time"_s, u"1"_s); });
    QTest::newRow("generation zero") << edited([](QJsonObject& o) { o.insert(u"generation"_s, 0); });
    QTest::newRow("tab past the last") << edited([](QJsonObject& o) { o.insert(u"tab"_s, 1000); });
    QTest::newRow("tab with a fraction") << edited([](QJsonObject& o) { o.insert(u"tab"_s, 1.5); });
    QTest::newRow("size with a fraction")
        << edited([](QJsonObject& o) { setArea(o, u"quan"_s, areaEntry(u"quan.3.txt"_s, 10.5)); });
    QTest::newRow("size past 2^53") << edited(
        [](QJsonObject& o) { setArea(o, u"quan"_s, areaEntry(u"quan.3.txt"_s, 1e18)); });
    QTest::newRow("another area's file") << edited(
        [](QJsonObject& o) { setArea(o, u"quan"_s, areaEntry(u"linshi.3.txt"_s, 1)); });
    QTest::newRow("a path out of the folder")
        << edited([](QJsonObject& o) { setArea(o, u"quan"_s, areaEntry(u"quan.1.txt/../../../etc/passwd"_s, 1)); });
    QTest::newRow("a later generation") << edited(
        [](QJsonObject& o) { setArea(o, u"quan"_s, areaEntry(u"quan.4.txt"_s, 1)); });
    QTest::newRow("generation with a leading zero")
        << edited([](QJsonObject& o) { setArea(o, u"quan"_s, areaEntry(u"quan.03.txt"_s, 1)); });
    QTest::newRow("an area name with a slash")
        << edited([](QJsonObject& o) { setArea(o, u"../quan"_s, areaEntry(u"../quan.1.txt"_s, 1)); });
    QTest::newRow("an area entry with more") << edited([](QJsonObject& o) {
        QJsonObject a = areaEntry(u"quan.3.txt"_s, 1);
        a.insert(u"path"_s, u"/tmp"_s);
        setArea(o, u"quan"_s, a);
    });
    QTest::newRow("a text as a number") << edited([](QJsonObject& o) {
        o.insert(u"texts"_s, QJsonObject{{u"Text1"_s, 1}});
    });
    QTest::newRow("code units of odd length") << edited([](QJsonObject& o) {
        o.insert(u"texts"_s, QJsonObject{{u"Text1"_s, QJsonObject{{u"utf16le"_s, u"AA=="_s}}}});
    });
    QTest::newRow("code units not base64") << edited([](QJsonObject& o) {
        o.insert(u"texts"_s, QJsonObject{{u"Text1"_s, QJsonObject{{u"utf16le"_s, u"!!!!"_s}}}});
    });
    QTest::newRow("a check as a number") << edited([](QJsonObject& o) {
        o.insert(u"checks"_s, QJsonObject{{u"Check2"_s, 1}});
    });
}

void TestSnapshot::foreignManifestsAreRefused()
{
    QFETCH(QByteArray, json);
    QVERIFY(!ReadManifest(json).has_value());
}

void TestSnapshot::everyCutManifestIsRefused()
{
    // What a torn write would leave: no prefix of a manifest is one.
    QRandomGenerator rng(7);
    const QByteArray whole = WriteManifest(randomManifest(rng));
    QVERIFY(ReadManifest(whole).has_value());
    const qsizetype end = whole.lastIndexOf('}') + 1;
    for (qsizetype cut = 0; cut < end; ++cut)
        QVERIFY2(!ReadManifest(whole.first(cut)).has_value(), qPrintable(QString::number(cut)));
}

void TestSnapshot::rootFollowsTheStateHome_data()
{
    QTest::addColumn<QByteArray>("stateHome");
    QTest::addColumn<QString>("root");
    QTest::newRow("set") << QByteArray("/var/tmp/state") << u"/var/tmp/state/lumbrel"_s;
    QTest::newRow("unset") << QByteArray() << QDir::homePath() + u"/.local/state/lumbrel"_s;
    QTest::newRow("relative, so not used") << QByteArray("state") << QDir::homePath() + u"/.local/state/lumbrel"_s;
}

void TestSnapshot::rootFollowsTheStateHome()
{
    QFETCH(QByteArray, stateHome);
    QFETCH(QString, root);
    const QByteArray before = qgetenv("XDG_STATE_HOME");
    if (stateHome.isEmpty())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", stateHome);
    const QString got = SnapshotRoot();
    qputenv("XDG_STATE_HOME", before);
    QCOMPARE(got, root);
}

void TestSnapshot::commitsKeepOnlyTheLatestFiles()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(u"state/lumbrel"_s);
    SnapshotFolder folder(root);
    QVERIFY(folder.path().isEmpty());
    QVERIFY(!QFileInfo::exists(root)); // nothing on disk before the first commit
    const Texts first{{u"quan"_s, "a\r\nb"}, {u"linshi"_s, "x"}, {u"dat"_s, {}}, {u"list"_s, "list"}};
    QVERIFY(folder.commit(first, controlsWith(u"one"_s), 100));
    const QString session = folder.path();
    QCOMPARE(onlySession(root), session);
    QCOMPARE(modeOf(dir.filePath(u"state"_s)), mode_t(0700));
    QCOMPARE(modeOf(root), mode_t(0700));
    QCOMPARE(modeOf(session), mode_t(0700));
    QCOMPARE(modeOf(session + u".lock"_s), mode_t(0600));
    QVERIFY(folder.commit({{u"quan"_s, "c"}}, controlsWith(u"two"_s), 200));
    QCOMPARE(entries(session),
             (QStringList{u"dat.1.txt"_s, u"linshi.1.txt"_s, u"list.1.txt"_s, u"manifest.json"_s, u"quan.2.txt"_s}));
    for (const QString& file : entries(session))
        QCOMPARE(modeOf(session + u'/' + file), mode_t(0600));
    QCOMPARE(readBytes(session + u"/quan.2.txt"_s), QByteArray("c"));
    QVERIFY(folder.commit({{u"quan"_s, "d"}, {u"dat"_s, "e"}}, controlsWith(u"three"_s), 300));
    QCOMPARE(entries(session),
             (QStringList{u"dat.3.txt"_s, u"linshi.1.txt"_s, u"list.1.txt"_s, u"manifest.json"_s, u"quan.3.txt"_s}));
    const std::optional<SnapshotManifest> manifest = ReadManifest(readBytes(session + u"/manifest.json"_s));
    QVERIFY(manifest && *manifest == folder.committed());
    QCOMPARE(manifest->generation, 3);
    QCOMPARE(manifest->time, 300);
    QCOMPARE(manifest->controls, controlsWith(u"three"_s));
    // The normal end: nothing stays.
    folder.remove();
    QCOMPARE(entries(root), QStringList());
}

void TestSnapshot::randomCommitsReadBackAsTheLastOne()
{
    // The literal reading: after any run of commits, a search gives back each area's last text
    // and the last controls, and the folder holds one file an area besides the manifest.
    QRandomGenerator rng(11);
    const QStringList names{u"quan"_s, u"linshi"_s, u"dat"_s, u"list"_s};
    for (int round = 0; round < 20; ++round) {
        QTemporaryDir dir;
        Texts expected;
        SnapshotControls controls;
        qint64 time = 0;
        {
            SnapshotFolder folder(dir.path());
            for (int commit = 1 + static_cast<int>(rng.bounded(6)); commit > 0; --commit) {
                Texts changed;
                for (const QString& name : names) {
                    if (rng.bounded(2) == 0 || expected.isEmpty())
                        changed.insert(name, randomText(rng, 200).toUtf8());
                }
                controls = controlsWith(randomText(rng, 20), static_cast<int>(rng.bounded(5)));
                time = rng.bounded(1'000'000);
                QVERIFY(folder.commit(changed, controls, time));
                expected.insert(changed);
                QCOMPARE(entries(folder.path()).size(), expected.size() + 1);
            }
        } // let go, as a crash would
        const Found f = findAndRead(dir.path());
        QVERIFY(f.found);
        QCOMPARE(f.texts, expected);
        QCOMPARE(f.manifest.controls, controls);
        QCOMPARE(f.manifest.time, time);
        QCOMPARE(entries(dir.path()), QStringList());
    }
}

void TestSnapshot::failedCommitLeavesTheLastOne_data()
{
    QTest::addColumn<WriteFaults>("faults");
    QTest::addColumn<QString>("reason");
    WriteFaults fullInArea;
    fullInArea.failAfterBytes = 4; // the area's text is longer, the first commit's files shorter
    QTest::newRow("disk full in an area's text") << fullInArea << u"磁盘空间不足"_s;
    WriteFaults quota;
    quota.failAfterBytes = 300; // past the area, inside the manifest
    quota.error = EDQUOT;
    QTest::newRow("quota reached in the manifest") << quota << u"超出磁盘配额"_s;
    WriteFaults sync;
    sync.failSync = true;
    sync.error = EIO;
    QTest::newRow("sync fails") << sync << u"读写出错"_s;
    WriteFaults rename;
    rename.failRename = true;
    rename.error = EROFS;
    QTest::newRow("rename fails") << rename << u"只读的文件系统"_s;
}

void TestSnapshot::failedCommitLeavesTheLastOne()
{
    QFETCH(WriteFaults, faults);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const Texts first{{u"quan"_s, "q1"}, {u"linshi"_s, "l1"}};
    {
        SnapshotFolder folder(dir.path());
        QVERIFY(folder.commit(first, controlsWith(u"one"_s), 1));
        const QStringList before = entries(folder.path());
        folder.setFaults(faults);
        QVERIFY(!folder.commit({{u"quan"_s, QByteArray(200, 'q')}}, controlsWith(u"two"_s), 2));
        QCOMPARE(folder.errorReason(), reason);
        // Nothing of the failed commit stays: no temporary file, no file of its generation.
        QCOMPARE(entries(folder.path()), before);
        // And the next commit builds on the last good one.
        folder.setFaults({});
        QVERIFY(folder.commit({{u"linshi"_s, "l3"}}, controlsWith(u"three"_s), 3));
    }
    const Found f = findAndRead(dir.path());
    QCOMPARE(f.texts, (Texts{{u"quan"_s, "q1"}, {u"linshi"_s, "l3"}}));
    QCOMPARE(f.manifest.controls, controlsWith(u"three"_s));
}

void TestSnapshot::killedCommitLeavesTheLastOne_data()
{
    QTest::addColumn<QString>("killAt"); // the file whose rename the process dies before
    QTest::addColumn<int>("killedCommit");
    QTest::addColumn<bool>("offered");
    QTest::newRow("second commit, before its area's rename") << u"quan.2.txt"_s << 2 << true;
    QTest::newRow("second commit, before the manifest's rename") << u"manifest.json"_s << 2 << true;
    QTest::newRow("first commit, before the manifest's rename") << u"manifest.json"_s << 1 << false;
}

void TestSnapshot::killedCommitLeavesTheLastOne()
{
    QFETCH(QString, killAt);
    QFETCH(int, killedCommit);
    QFETCH(bool, offered);
    QTemporaryDir dir;
    const Texts first{{u"quan"_s, QByteArray("first\r\n\0\xE4\xB8\xAD", 11)}, {u"list"_s, "k"}};
    const bool killed = killedInChild([&] {
        int commits = 0;
        WriteFaults faults;
        faults.beforeRename = [&](const QString& target) {
            if (commits + 1 == killedCommit && QFileInfo(target).fileName() == killAt)
                ::raise(SIGKILL);
        };
        SnapshotFolder folder(dir.path(), faults);
        if (!folder.commit(first, controlsWith(u"one"_s), 1))
            _exit(3);
        ++commits;
        folder.commit({{u"quan"_s, "second"}}, controlsWith(u"two"_s), 2);
        _exit(4);
    });
    QVERIFY(killed);
    const Found f = findAndRead(dir.path());
    QCOMPARE(f.damaged, 0);
    QCOMPARE(f.found, offered);
    if (offered) {
        QCOMPARE(f.texts, first);
        QCOMPARE(f.manifest.controls, controlsWith(u"one"_s));
    }
    // Offered or not, the search leaves nothing of it behind.
    QCOMPARE(entries(dir.path()), QStringList());
}

void TestSnapshot::unwritableRootFailsWithItsReason()
{
    // A read-only state folder is the window's test, run as a child without root's powers; a
    // state home that is a file is no folder.
    QTemporaryDir dir;
    const QString file = dir.filePath(u"file"_s);
    QVERIFY(writeBytes(file, "x"));
    SnapshotFolder under(file + u"/lumbrel"_s);
    QVERIFY(!under.commit({{u"quan"_s, "x"}}, {}, 1));
    QCOMPARE(under.errorReason(), u"文件夹不存在"_s);
}

void TestSnapshot::searchSkipsRunningWindows()
{
    QTemporaryDir dir;
    SnapshotFolder running(dir.path());
    QVERIFY(running.commit({{u"quan"_s, "mine"}}, {}, 1));
    // A window of this very process runs: its lock is held, whatever its age (a window runs
    // for hours; QLockFile's own default takes a lock older than 30 s for a dead one).
    QFile lock(running.path() + u".lock"_s);
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    lock.close();
    const Found f = findAndRead(dir.path());
    QVERIFY(!f.found);
    QCOMPARE(f.damaged, 0);
    QCOMPARE(onlySession(dir.path()), running.path());
    QVERIFY(QFileInfo::exists(running.path() + u".lock"_s));
}

void TestSnapshot::searchRemovesEmptyAndDamaged_data()
{
    QTest::addColumn<QString>("damage"); // done to a let-go snapshot before the search
    QTest::addColumn<int>("damaged");
    QTest::newRow("no manifest: died before its first commit") << u"no manifest"_s << 0;
    QTest::newRow("manifest of garbage") << u"garbage"_s << 1;
    QTest::newRow("manifest empty") << u"empty manifest"_s << 1;
    QTest::newRow("an area's file missing") << u"missing file"_s << 1;
    QTest::newRow("an area's file short") << u"short file"_s << 1;
    QTest::newRow("an area's file long") << u"long file"_s << 1;
}

void TestSnapshot::searchRemovesEmptyAndDamaged()
{
    QFETCH(QString, damage);
    QFETCH(int, damaged);
    QTemporaryDir dir;
    QString session;
    {
        SnapshotFolder folder(dir.path());
        QVERIFY(folder.commit({{u"quan"_s, "text"}}, {}, 1));
        session = folder.path();
    }
    const QString manifest = session + u"/manifest.json"_s;
    const QString quan = session + u"/quan.1.txt"_s;
    if (damage == u"no manifest"_s)
        QVERIFY(QFile::remove(manifest));
    else if (damage == u"garbage"_s)
        QVERIFY(writeBytes(manifest, "{\"format\":1,\"time\":"));
    else if (damage == u"empty manifest"_s)
        QVERIFY(writeBytes(manifest, {}));
    else if (damage == u"missing file"_s)
        QVERIFY(QFile::remove(quan));
    else if (damage == u"short file"_s)
        QVERIFY(writeBytes(quan, "tex"));
    else if (damage == u"long file"_s)
        QVERIFY(writeBytes(quan, "texts"));
    const Found f = findAndRead(dir.path());
    QVERIFY(!f.found);
    QCOMPARE(f.damaged, damaged);
    QCOMPARE(entries(dir.path()), QStringList());
}

void TestSnapshot::searchOffersTheNewestAndKeepsTheOthers()
{
    QTemporaryDir dir;
    const auto letGo = [&](const QByteArray& text, qint64 time) {
        SnapshotFolder folder(dir.path());
        // Let go in the same millisecond as the one before, it takes a name of its own.
        QVERIFY(folder.commit({{u"quan"_s, text}}, {}, time));
    };
    // Made in this order, so the folder names do not sort as the times do.
    letGo("middle", 200);
    letGo("newest", 300);
    letGo("oldest", 100);
    // A left-over lock without its folder goes quietly.
    QVERIFY(killedInChild([&] {
        QLockFile lock(dir.filePath(u"session-1-1.lock"_s));
        if (lock.tryLock(0))
            ::raise(SIGKILL);
    }));
    QVERIFY(QFileInfo::exists(dir.filePath(u"session-1-1.lock"_s)));
    for (const QByteArray text : {"newest", "middle", "oldest"}) {
        const Found f = findAndRead(dir.path());
        QVERIFY(f.found);
        QCOMPARE(f.texts.value(u"quan"_s), text);
    }
    QVERIFY(!findAndRead(dir.path()).found);
    QCOMPARE(entries(dir.path()), QStringList());
}

void TestSnapshot::searchLeavesForeignEntries()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(u"other/session-1-1"_s));
    QVERIFY(QDir(dir.path()).mkdir(u"session-x-1"_s));
    QVERIFY(writeBytes(dir.filePath(u"notes.txt"_s), "mine"));
    // Named like a session but a link: never followed, never removed.
    QVERIFY(QFile::link(dir.filePath(u"other"_s), dir.filePath(u"session-2-2"_s)));
    const QStringList before = entries(dir.path());
    const Found f = findAndRead(dir.path());
    QVERIFY(!f.found);
    QCOMPARE(f.damaged, 0);
    QCOMPARE(entries(dir.path()), before);
    QVERIFY(QFileInfo::exists(dir.filePath(u"other/session-1-1"_s)));
}

void TestSnapshot::changedFileAfterTheSearchIsNotRead_data()
{
    QTest::addColumn<QByteArray>("replacement");
    QTest::newRow("same size, not UTF-8") << QByteArray("\xFF\xFE\xFD\xFC");
    QTest::newRow("same size, cut sequence") << QByteArray("ab\xE4\xB8");
    QTest::newRow("shorter") << QByteArray("abc");
}

void TestSnapshot::changedFileAfterTheSearchIsNotRead()
{
    QFETCH(QByteArray, replacement);
    QTemporaryDir dir;
    QString session;
    {
        SnapshotFolder folder(dir.path());
        QVERIFY(folder.commit({{u"quan"_s, "abcd"}}, {}, 1));
        session = folder.path();
    }
    OrphanSearch search = FindOrphanSnapshot(dir.path());
    QVERIFY(search.newest);
    QVERIFY(writeBytes(session + u"/quan.1.txt"_s, replacement));
    QVERIFY(!search.newest->readTexts().has_value());
}

void TestSnapshot::writerMergesJobsThatWait()
{
    QTemporaryDir dir;
    // The first job's manifest waits in the seam until two more jobs are handed over.
    QSemaphore entered;
    QSemaphore release;
    int manifests = 0;
    WriteFaults faults;
    faults.beforeRename = [&](const QString& target) {
        if (QFileInfo(target).fileName() == u"manifest.json"_s && ++manifests == 1) {
            entered.release();
            release.acquire();
        }
    };
    SnapshotWriter writer(dir.path(), faults);
    Ends ends(writer);
    writer.submit({{{u"quan"_s, "q1"}, {u"linshi"_s, "l1"}}, controlsWith(u"one"_s), 1});
    QVERIFY(entered.tryAcquire(1, 10'000));
    QVERIFY(writer.busy());
    writer.submit({{{u"quan"_s, "q2"}, {u"dat"_s, "d2"}}, controlsWith(u"two"_s), 2});
    writer.submit({{{u"quan"_s, "q3"}}, controlsWith(u"three"_s), 3});
    release.release();
    QTRY_COMPARE_WITH_TIMEOUT(ends.ok.size(), 2, 10'000);
    QVERIFY(!writer.busy());
    QCOMPARE(ends.ok, (QList<bool>{true, true}));
    QCOMPARE(ends.areas.at(0), (QStringList{u"linshi"_s, u"quan"_s}));
    // The two that waited went as one: the newer quan, and dat of the one before.
    QCOMPARE(ends.areas.at(1), (QStringList{u"dat"_s, u"quan"_s}));
    QCOMPARE(manifests, 2);
    const QString folder = writer.folder();
    QVERIFY(!folder.isEmpty());
    const std::optional<SnapshotManifest> m = ReadManifest(readBytes(folder + u"/manifest.json"_s));
    QVERIFY(m);
    QCOMPARE(m->controls, controlsWith(u"three"_s));
    QCOMPARE(m->time, 3);
    QCOMPARE(readBytes(folder + u'/' + m->areas.value(u"quan"_s).file), QByteArray("q3"));
    QCOMPARE(readBytes(folder + u'/' + m->areas.value(u"dat"_s).file), QByteArray("d2"));
    QCOMPARE(readBytes(folder + u'/' + m->areas.value(u"linshi"_s).file), QByteArray("l1"));
}

void TestSnapshot::writerRemovesItsFolder()
{
    QTemporaryDir dir;
    SnapshotWriter writer(dir.path());
    Ends ends(writer);
    writer.submit({{{u"quan"_s, "q"}}, {}, 1});
    QTRY_COMPARE_WITH_TIMEOUT(ends.ok.size(), 1, 10'000);
    QCOMPARE(entries(dir.path()).size(), 2); // the folder and its lock
    writer.removeSnapshots();
    QCOMPARE(entries(dir.path()), QStringList());
    writer.submit({{{u"quan"_s, "after"}}, {}, 2});
    QTest::qWait(50);
    QCOMPARE(entries(dir.path()), QStringList());
}

void TestSnapshot::writerMakesRoomReady()
{
    QTemporaryDir dir;
    SnapshotWriter writer(dir.path());
    // Taken before it is ready: nothing, and the request is gone.
    writer.prepare(u"quan"_s, qsizetype{64} << 20);
    const QByteArray early = writer.takePrepared(u"quan"_s);
    QTest::qWait(300);
    QVERIFY(writer.takePrepared(u"quan"_s).isNull() || !early.isNull());
    // Taken the moment it is announced, as the window may: unshared (else the copy into it
    // would copy it first), with the room asked for, nothing written to disk.
    // Taken on the writer's thread itself, within the announcement: no later.
    std::mutex mutex;
    QByteArray room;
    bool unshared = false;
    QObject::connect(
        &writer,
        &SnapshotWriter::prepared,
        &writer,
        [&](const QString& area) {
            const std::lock_guard lock(mutex);
            room = writer.takePrepared(area);
            unshared = room.isDetached();
        },
        Qt::DirectConnection);
    writer.prepare(u"list"_s, qsizetype{8} << 20);
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 const std::lock_guard lock(mutex);
                                 return !room.isNull();
                             }()),
                             20'000);
    const std::lock_guard lock(mutex);
    QVERIFY(unshared);
    QVERIFY(room.capacity() >= qsizetype{8} << 20);
    QCOMPARE(entries(dir.path()), QStringList());
}

QTEST_GUILESS_MAIN(TestSnapshot)
#include "testsnapshot.moc"
