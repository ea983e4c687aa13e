#include "app/snapshots.h"

#include "files/snapshot.h"
#include "files/snapshotwriter.h"
#include "shell/form1.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

namespace lumbrel {

namespace {

// The store counter shows in two places; both come back.
const QString CounterLabel = QStringLiteral("Label2");
const QString CounterButton = QStringLiteral("Command12");
// Below this a copy is quick in any fresh memory.
constexpr qsizetype PreparedCopyBytes = qsizetype{1} << 20;
// The longest a snapshot waits for the memory of its copies; then it copies into fresh memory.
constexpr int RoomWaitMs = 1000;
// Check1 says a batch job runs, and no job outlives its window: ticked after a restore, it
// would make the next 去包含 act as a step of a job that is not there.
const QString JobRunning = QStringLiteral("Check1");

QList<TextArea*> areasOf(const Form1& form)
{
    QList<TextArea*> areas;
    for (TextArea* a : form.findChildren<TextArea*>()) {
        if (IsSnapshotAreaName(a->objectName()))
            areas << a;
    }
    return areas;
}

QList<LineBox*> boxesOf(const Form1& form)
{
    QList<LineBox*> boxes;
    for (LineBox* b : form.findChildren<LineBox*>()) {
        if (!b->objectName().isEmpty())
            boxes << b;
    }
    return boxes;
}

// Every check box and option button of the window but the job's flag.
QList<QAbstractButton*> checksOf(const Form1& form)
{
    QList<QAbstractButton*> checks;
    for (QAbstractButton* b : form.findChildren<QAbstractButton*>()) {
        const bool check = qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
        if (check && !b->objectName().isEmpty() && b->objectName() != JobRunning)
            checks << b;
    }
    return checks;
}

// The bytes as they were, NUL characters and every line break included, with no undo step
// back to the empty start.
void putText(TextArea& area, const QByteArray& bytes)
{
    area.SendScintilla(QsciScintillaBase::SCI_CLEARALL);
    if (!bytes.isEmpty())
        area.SendScintilla(
            QsciScintillaBase::SCI_APPENDTEXT, static_cast<unsigned long>(bytes.size()), bytes.constData());
    area.SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    area.SendScintilla(QsciScintillaBase::SCI_SETEMPTYSELECTION, 0L);
    area.SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, 0L);
}

void restore(Form1& form, const SnapshotControls& controls, const QMap<QString, QByteArray>& texts)
{
    for (TextArea* a : areasOf(form)) {
        const auto text = texts.find(a->objectName());
        if (text != texts.end())
            putText(*a, *text);
    }
    for (LineBox* b : boxesOf(form)) {
        const auto text = controls.texts.find(b->objectName());
        if (text != controls.texts.end())
            b->setText(*text);
    }
    if (const auto label = controls.texts.find(CounterLabel); label != controls.texts.end())
        form.label(2)->setText(*label);
    if (const auto caption = controls.texts.find(CounterButton); caption != controls.texts.end())
        form.command(12)->setText(*caption);
    for (QAbstractButton* b : checksOf(form)) {
        const auto checked = controls.checks.find(b->objectName());
        if (checked == controls.checks.end())
            continue;
        // An option button is unticked by ticking its sibling; unticking it alone does nothing.
        if (!*checked && b->autoExclusive())
            continue;
        b->setChecked(*checked);
    }
    QTabBar* tabs = form.tabStrip();
    if (controls.tab < tabs->count())
        tabs->setCurrentIndex(controls.tab);
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1000)
        return QString::number(bytes) + QStringLiteral(" 字节");
    const auto scaled = [bytes](double unit, const char* name) -> QString {
        return QString::number(static_cast<double>(bytes) / unit, 'f', 1) + u' ' + QLatin1String(name);
    };
    if (bytes < 1'000'000)
        return scaled(1e3, "KB");
    if (bytes < 1'000'000'000)
        return scaled(1e6, "MB");
    return scaled(1e9, "GB");
}

} // namespace

QString RestoreQuestion(qint64 time, qint64 bytes)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(time).toLocalTime();
    const bool thisYear = when.date().year() == QDate::currentDate().year();
    const QString format = thisYear ? QStringLiteral("M月d日 HH:mm:ss") : QStringLiteral("yyyy年M月d日 HH:mm:ss");
    return QStringLiteral("上次 Lumbrel 没有正常关闭。要恢复 ") + when.toString(format) +
           QStringLiteral(" 未保存的内容（") + sizeText(bytes) + QStringLiteral("）吗？");
}

QString DamagedSnapshotMessage()
{
    return QStringLiteral("上次未保存的内容已损坏，无法恢复");
}

QString SnapshotKeeper::failureMessage(const QString& reason)
{
    return QStringLiteral("快照未能保存：") + reason;
}

SnapshotKeeper::SnapshotKeeper(Form1& form, const SnapshotOptions& options)
    : QObject(&form)
    , m_form(form)
    , m_writer(new SnapshotWriter(options.root.isEmpty() ? SnapshotRoot() : options.root, options.faults, this))
{
    setObjectName(QStringLiteral("SnapshotKeeper"));
    connect(m_writer, &SnapshotWriter::finished, this, &SnapshotKeeper::done);
    m_soon.setSingleShot(true);
    m_soon.setInterval(0);
    m_typing.setSingleShot(true);
    m_typing.setInterval(options.typingDelayMs);
    connect(&m_soon, &QTimer::timeout, this, &SnapshotKeeper::take);
    connect(&m_typing, &QTimer::timeout, this, &SnapshotKeeper::take);
    m_roomWait.setSingleShot(true);
    m_roomWait.setInterval(RoomWaitMs);
    connect(&m_roomWait, &QTimer::timeout, this, [this] {
        // Late: what is not ready is copied into fresh memory.
        m_awaited.clear();
        m_postponed = false;
        take();
    });
    connect(m_writer, &SnapshotWriter::prepared, this, &SnapshotKeeper::roomReady);

    for (TextArea* a : areasOf(form)) {
        m_areas << a;
        a->keepWrittenText(true);
        // The first snapshot holds every area.
        m_dirty.insert(a);
        connect(a, &TextArea::written, this, [this, a] {
            m_dirty.insert(a);
            soon();
        });
        // Typing, pasting, undo: whatever changes the text outside a command.
        connect(a,
                &QsciScintillaBase::SCN_MODIFIED,
                this,
                [this, a](int, int type, const char*, int, int, int, int, int, int, int) {
                    if (type & (QsciScintillaBase::SC_MOD_INSERTTEXT | QsciScintillaBase::SC_MOD_DELETETEXT)) {
                        m_dirty.insert(a);
                        prepareCopy(a);
                        typed();
                    }
                });
    }
    for (LineBox* b : boxesOf(form))
        connect(b, &QLineEdit::textChanged, this, &SnapshotKeeper::typed);
    for (QAbstractButton* b : checksOf(form))
        connect(b, &QAbstractButton::toggled, this, &SnapshotKeeper::soon);
    connect(form.tabStrip(), &QTabBar::currentChanged, this, &SnapshotKeeper::soon);
    // A session that ends in order quits the application: that is a normal close too.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &SnapshotKeeper::close);
}

SnapshotKeeper::~SnapshotKeeper()
{
    close();
}

void SnapshotKeeper::adopt(std::unique_ptr<OrphanSnapshot> orphan)
{
    m_adopted = std::move(orphan);
}

void SnapshotKeeper::takeAll()
{
    for (TextArea* a : std::as_const(m_areas))
        m_dirty.insert(a);
    m_lastControls.reset();
    soon();
}

void SnapshotKeeper::setFaults(WriteFaults faults)
{
    if (m_writer)
        m_writer->setFaults(std::move(faults));
}

QString SnapshotKeeper::folder() const
{
    return m_writer ? m_writer->folder() : QString();
}

void SnapshotKeeper::soon()
{
    if (!m_soon.isActive())
        m_soon.start();
}

void SnapshotKeeper::prepareCopy(TextArea* area)
{
    // Typed text is copied when its snapshot comes, seconds later: its array is made ready
    // meanwhile, with room for what is typed till then.
    const qsizetype length = area->utf8().size();
    if (!m_writer || m_prepared.contains(area) || length < PreparedCopyBytes)
        return;
    m_prepared.insert(area);
    m_awaited.insert(area);
    m_writer->prepare(area->objectName(), length + length / 8 + (qsizetype{64} << 10));
}

void SnapshotKeeper::roomReady(const QString& area)
{
    for (TextArea* a : std::as_const(m_areas)) {
        if (a->objectName() == area)
            m_awaited.remove(a);
    }
    if (m_postponed && m_awaited.isEmpty()) {
        m_postponed = false;
        m_roomWait.stop();
        take();
    }
}

void SnapshotKeeper::typed()
{
    // Not pushed back by every key: a keystroke waits at most this long, however fast the
    // typing goes on.
    if (!m_typing.isActive())
        m_typing.start();
}

SnapshotControls SnapshotKeeper::gatherControls() const
{
    SnapshotControls c;
    for (const LineBox* b : boxesOf(m_form))
        c.texts.insert(b->objectName(), b->text());
    c.texts.insert(CounterLabel, m_form.label(2)->text());
    c.texts.insert(CounterButton, m_form.command(12)->text());
    for (const QAbstractButton* b : checksOf(m_form))
        c.checks.insert(b->objectName(), b->isChecked());
    c.tab = m_form.tabStrip()->currentIndex();
    return c;
}

void SnapshotKeeper::take()
{
    // While it waits for its arrays, a snapshot is taken when they are ready, not before.
    if (!m_writer || m_postponed)
        return;
    // One job at a time: the texts are gathered when the writer can take them, so a run of
    // commands while it writes costs one gathering, of the state after the last.
    if (m_writer->busy()) {
        m_pending = true;
        return;
    }
    m_pending = false;
    m_soon.stop();
    m_typing.stop();
    // A text to copy goes into memory the writer made ready: the first touch of tens of
    // megabytes of fresh memory is the system's work, up to a tenth of a second.
    for (TextArea* a : std::as_const(m_areas)) {
        if (m_dirty.contains(a) && !a->isLoading() && !a->holdsWrittenText())
            prepareCopy(a);
    }
    if (!m_awaited.isEmpty()) {
        m_postponed = true;
        m_roomWait.start();
        return;
    }
    gather();
}

void SnapshotKeeper::gather()
{
    SnapshotJob job;
    for (TextArea* a : std::as_const(m_areas)) {
        // A file still coming in is not the area's text yet: its end (written()) brings it.
        if (!m_dirty.contains(a) || a->isLoading())
            continue;
        QByteArray room = m_prepared.remove(a) ? m_writer->takePrepared(a->objectName()) : QByteArray();
        m_awaited.remove(a);
        job.changed.insert(a->objectName(), a->takeText(std::move(room)));
        m_dirty.remove(a);
    }
    SnapshotControls controls = gatherControls();
    if (job.changed.isEmpty() && m_lastControls && *m_lastControls == controls)
        return;
    m_lastControls = std::make_unique<SnapshotControls>(controls);
    job.controls = std::move(controls);
    job.time = QDateTime::currentMSecsSinceEpoch();
    m_writer->submit(std::move(job));
}

void SnapshotKeeper::done(bool ok, const QString& reason, const QStringList& areas, double seconds)
{
    if (ok) {
        // Shown again should the disk fail again later.
        m_failureShown = false;
        // The restored text is safe in this window's snapshot now.
        if (m_adopted) {
            m_adopted->remove();
            m_adopted.reset();
        }
    } else {
        // Whatever did not reach the disk goes with the next snapshot.
        for (TextArea* a : std::as_const(m_areas)) {
            if (areas.contains(a->objectName()))
                m_dirty.insert(a);
        }
        m_lastControls.reset();
        // One quiet line, not one a command: the window works on without snapshots.
        if (!m_failureShown) {
            m_failureShown = true;
            m_form.setStatus(failureMessage(reason));
        }
    }
    emit snapshotWritten(ok, seconds);
    if (m_pending)
        take();
}

void SnapshotKeeper::close()
{
    if (!m_writer)
        return;
    m_soon.stop();
    m_typing.stop();
    m_roomWait.stop();
    m_writer->removeSnapshots();
    delete m_writer;
    m_writer = nullptr;
    if (m_adopted) {
        m_adopted->remove();
        m_adopted.reset();
    }
}

SnapshotKeeper& KeepSnapshots(Form1& form, const SnapshotOptions& options)
{
    SnapshotOptions kept = options;
    if (kept.root.isEmpty())
        kept.root = SnapshotRoot();
    OrphanSearch search = FindOrphanSnapshot(kept.root);
    QString status;
    if (search.damaged > 0)
        status = DamagedSnapshotMessage();
    std::unique_ptr<OrphanSnapshot> restored;
    if (search.newest) {
        const SnapshotManifest& manifest = search.newest->manifest();
        const QMessageBox::StandardButton answer =
            QMessageBox::question(&form,
                                  QStringLiteral("Lumbrel"),
                                  RestoreQuestion(manifest.time, manifest.textBytes()),
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::Yes);
        std::optional<QMap<QString, QByteArray>> texts;
        if (answer == QMessageBox::Yes)
            texts = search.newest->readTexts();
        if (texts) {
            restore(form, manifest.controls, *texts);
            status = QStringLiteral("已恢复上次未保存的内容");
            restored = std::move(search.newest);
        } else {
            if (answer == QMessageBox::Yes)
                status = DamagedSnapshotMessage();
            search.newest->remove();
        }
    }
    if (!status.isEmpty())
        form.setStatus(status);
    auto* keeper = new SnapshotKeeper(form, kept);
    if (restored) {
        keeper->adopt(std::move(restored));
        keeper->takeAll();
    }
    return *keeper;
}

} // namespace lumbrel
