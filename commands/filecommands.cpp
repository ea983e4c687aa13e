#include "commands/filecommands.h"

#include "files/fileloader.h"
#include "files/filemessages.h"
#include "files/fileprobe.h"
#include "files/filesaver.h"
#include "shell/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QThread>

#include <algorithm>

namespace lumbrel {

namespace {

// The bar's steps while a file is read or written: it follows the bytes.
constexpr qsizetype ProgressSteps = 1000;

const QString FileFilter = QStringLiteral("文本文件 (*.txt *.csv *.tsv *.log);;所有文件 (*)");

// Lines as the file counts them: a final line break ends the last line.
qint64 linesOf(QByteArrayView utf8)
{
    if (utf8.isEmpty())
        return 0;
    const auto lfs = std::count(utf8.begin(), utf8.end(), '\n');
    return utf8.back() == '\n' ? lfs : lfs + 1;
}

QString nameOf(const QString& path)
{
    return QFileInfo(path).fileName();
}

// "name（GB18030，12行）"
QString described(const QString& path, const FileFormat& format, qint64 lines)
{
    return nameOf(path) + u"（" + FormatName(format) + u"，" + QString::number(lines) + u"行）";
}

// The format a new file is written in, or an area's file in another encoding: a byte order
// mark where UTF-16 needs one to be read back, none elsewhere unless the file had one.
FileFormat withEncoding(FileFormat format, TextEncoding encoding)
{
    const bool utf16 = encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
    format.bom = CanHaveBom(encoding) && (utf16 || (format.bom && format.encoding == encoding));
    format.encoding = encoding;
    return format;
}

QString dialogOpen(QWidget* parent, const QString& folder)
{
    // Qt's own dialog, so that it speaks the window's Chinese.
    return QFileDialog::getOpenFileName(
        parent, QStringLiteral("打开文件"), folder, FileFilter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString dialogSave(QWidget* parent, const QString& suggested)
{
    return QFileDialog::getSaveFileName(
        parent, QStringLiteral("保存文件"), suggested, FileFilter, nullptr, QFileDialog::DontUseNativeDialog);
}

} // namespace

FileCommands::FileCommands(Form1& form)
    : QObject(&form)
    , m_form(form)
    , m_loader(new FileLoader(this))
    , m_lastFolder(QDir::homePath())
{
    setObjectName(QStringLiteral("FileCommands"));
    chooseOpen = [this](const QString& folder) { return dialogOpen(&m_form, folder); };
    chooseSave = [this](const QString& suggested) { return dialogSave(&m_form, suggested); };
    ask = [this](const QString& question) {
        return QMessageBox::question(&m_form, QStringLiteral("Lumbrel"), question) == QMessageBox::Yes;
    };

    connect(m_loader, &FileLoader::detected, this, [this](TextEncoding encoding, qint64 textBytes) {
        m_loadBegun = true;
        m_loadArea->beginLoad(textBytes);
        m_form.setStatus(u"正在打开 " + nameOf(m_loadPath) + u"（" + EncodingName(encoding) + u"）……按 Esc 取消");
    });
    connect(m_loader, &FileLoader::progress, this, [this](qint64 done, qint64 total) {
        m_form.meter().pulse(done, total);
    });
    connect(m_loader, &FileLoader::piecesReady, this, [this] {
        const QByteArray piece = m_loader->takePiece();
        if (m_loadArea && m_loadBegun)
            m_loadArea->appendLoaded(piece);
    });
    connect(m_loader, &FileLoader::finished, this, &FileCommands::onLoadFinished);
    connect(m_loader, &FileLoader::failed, this, [this](const QString& reason) { endLoad(reason); });
    // The bar follows the bytes written, a few times a second.
    m_saveTick.setInterval(50);
    connect(&m_saveTick, &QTimer::timeout, this, [this] {
        m_form.meter().pulse(m_saveDone, std::max<qint64>(1, m_saveTotal));
    });
    // The window goes: a save still reading an area stops before the area is gone.
    connect(&form, &Form1::destroying, this, [this] {
        m_cancelSave = true;
        joinSave();
    });

    for (TextArea* area : {form.quan(), form.linshi()}) {
        connect(area, &TextArea::filesDropped, this, [this, area](const QStringList& paths) {
            if (paths.size() != 1) {
                m_form.setStatus(QStringLiteral("一次只能拖入一个文件"));
                return;
            }
            open(area, paths.front());
        });
        connect(area, &TextArea::menuAboutToShow, this, [this, area](QMenu* menu) { addMenuActions(area, menu); });
        // A command's write while the file goes in (a page fetched, a step of the batch job)
        // wins: the reading stops.
        connect(area, &TextArea::loadCancelled, this, [this, area] {
            if (area == m_loadArea)
                endLoad(QStringLiteral("已停止打开 ") + nameOf(m_loadPath));
        });
    }
}

FileCommands::~FileCommands()
{
    m_cancelSave = true;
    joinSave();
}

TextArea* FileCommands::focusedArea() const
{
    for (TextArea* area : {m_form.quan(), m_form.linshi()}) {
        if (area->hasFocus() || area->isAncestorOf(QApplication::focusWidget()))
            return area;
    }
    return m_form.quan();
}

std::optional<FileCommands::AreaFile> FileCommands::fileOf(const TextArea* area) const
{
    const auto it = m_files.constFind(area);
    return it == m_files.constEnd() ? std::nullopt : std::optional(*it);
}

void FileCommands::open(TextArea* area, const QString& path, std::optional<TextEncoding> encoding)
{
    if (busy())
        return;
    // The job writes quan and linshi at every step: a file going in would be cut short.
    if (m_form.check1()->isChecked()) {
        m_form.setStatus(QStringLiteral("批量去关键词运行中，请先停止再打开文件"));
        return;
    }
    const ProbeResult probe = ProbeFile(path, AvailableMemoryBytes(), encoding);
    if (!probe.refusal.isEmpty()) {
        m_form.setStatus(probe.refusal);
        return;
    }
    if (probe.nulInHead && !ask(files::NulInHead(nameOf(path)) + QStringLiteral("。仍要打开吗？")))
        return;
    m_lastFolder = QFileInfo(path).absolutePath();
    m_loadArea = area;
    m_loadPath = path;
    m_loadBegun = false;
    m_form.setBusy(true);
    m_form.meter().start(ProgressSteps);
    m_form.setStatus(u"正在打开 " + nameOf(path) + u"……按 Esc 取消");
    LoadOptions options;
    options.encoding = encoding;
    options.acceptNul = true;
    m_loader->start(path, options);
}

void FileCommands::openWithDialog(TextArea* area)
{
    if (busy())
        return;
    const QString path = chooseOpen(m_lastFolder);
    if (!path.isEmpty())
        open(area, path);
}

void FileCommands::onLoadFinished(const LoadResult& result)
{
    TextArea* area = m_loadArea;
    if (!m_loadBegun)
        area->beginLoad(0);
    // Taken as written by a command, so that Ctrl+Z on a button goes back to the text before.
    m_loadArea = nullptr;
    area->finishLoad();
    m_files.insert(area, {m_loadPath, result.format});
    QString status = u"已打开 " + described(m_loadPath, result.format, result.counts.lines);
    if (result.counts.undecodable > 0)
        status += u"，" + files::Undecodable(result.counts.undecodable);
    if (result.mixedEndings)
        status += u"，换行符不统一（保存时都用 " + LineEndingName(result.format.ending) + u"）";
    m_form.meter().finish();
    m_form.setBusy(false);
    m_form.setStatus(status);
    emit openEnded();
}

void FileCommands::endLoad(const QString& status)
{
    TextArea* area = std::exchange(m_loadArea, nullptr);
    if (!area)
        return;
    m_loader->cancel();
    if (m_loadBegun)
        area->cancelLoad();
    m_form.meter().finish();
    m_form.setBusy(false);
    m_form.setStatus(status);
    emit openEnded();
}

void FileCommands::cancel()
{
    if (m_loadArea)
        endLoad(QStringLiteral("已取消打开 ") + nameOf(m_loadPath));
    else if (m_saveArea)
        m_cancelSave = true;
}

void FileCommands::save(TextArea* area)
{
    if (busy())
        return;
    const std::optional<AreaFile> file = fileOf(area);
    if (!file) {
        saveAs(area);
        return;
    }
    startSave(area, file->path, file->format);
}

void FileCommands::saveAs(TextArea* area, std::optional<TextEncoding> encoding)
{
    if (busy())
        return;
    const std::optional<AreaFile> file = fileOf(area);
    const QString suggested = file ? file->path : QDir(m_lastFolder).filePath(QStringLiteral("未命名.txt"));
    const QString path = chooseSave(suggested);
    if (path.isEmpty())
        return;
    FileFormat format = file ? file->format : FileFormat{};
    if (encoding)
        format = withEncoding(format, *encoding);
    startSave(area, path, format);
}

void FileCommands::startSave(TextArea* area, const QString& path, const FileFormat& format)
{
    m_lastFolder = QFileInfo(path).absolutePath();
    m_saveArea = area;
    m_savePath = path;
    m_saveFormat = format;
    m_cancelSave = false;
    m_saveDone = 0;
    // The thread reads the area's own bytes: nothing may change them until it is done.
    m_form.setBusy(true);
    area->setReadOnly(true);
    const QByteArrayView text = area->utf8();
    m_saveTotal = text.size();
    m_form.meter().start(ProgressSteps);
    m_form.setStatus(u"正在保存 " + nameOf(path) + u"……按 Esc 取消");
    m_saveThread = QThread::create([this, path, text, format] {
        SaveOptions options;
        options.cancel = &m_cancelSave;
        options.progress = [this](qint64 done, qint64) { m_saveDone = done; };
        const SaveResult result = SaveText(path, text, format, options);
        // Counted here too: a gigabyte's lines are a third of a second of the window's time.
        const qint64 lines = linesOf(text);
        QMetaObject::invokeMethod(
            this, [this, result, lines] { onSaveEnded(result, lines); }, Qt::QueuedConnection);
    });
    m_saveThread->start();
    m_saveTick.start();
}

void FileCommands::joinSave()
{
    if (!m_saveThread)
        return;
    m_saveThread->wait();
    delete m_saveThread;
    m_saveThread = nullptr;
}

void FileCommands::onSaveEnded(const SaveResult& result, qint64 lines)
{
    joinSave();
    m_saveTick.stop();
    TextArea* area = std::exchange(m_saveArea, nullptr);
    if (area)
        area->setReadOnly(false);
    m_form.meter().finish();
    m_form.setBusy(false);
    switch (result.status) {
    case SaveResult::Status::Saved:
        if (area)
            m_files.insert(area, {m_savePath, m_saveFormat});
        m_form.setStatus(u"已保存 " + described(m_savePath, m_saveFormat, lines));
        break;
    case SaveResult::Status::Refused:
    case SaveResult::Status::Failed:
        m_form.setStatus(QString::fromUtf16(files::SaveFailedPrefix) + result.reason);
        break;
    case SaveResult::Status::Cancelled:
        m_form.setStatus(u"已取消保存 " + nameOf(m_savePath) + u"，原文件未改动");
        break;
    }
    emit saveEnded();
}

void FileCommands::addMenuActions(TextArea* area, QMenu* menu)
{
    menu->addSeparator();
    QAction* openAction = menu->addAction(QStringLiteral("打开文件…"), this, [this, area] { openWithDialog(area); });
    openAction->setShortcut(QKeySequence::Open);
    const std::optional<AreaFile> file = fileOf(area);
    QMenu* reopen = menu->addMenu(QStringLiteral("重新以其他编码打开"));
    reopen->setEnabled(file.has_value());
    QAction* saveAction = menu->addAction(QStringLiteral("保存"), this, [this, area] { save(area); });
    saveAction->setShortcut(QKeySequence::Save);
    QAction* saveAsAction = menu->addAction(QStringLiteral("另存为…"), this, [this, area] { saveAs(area); });
    saveAsAction->setShortcut(QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_S));
    QMenu* saveIn = menu->addMenu(QStringLiteral("以其他编码另存为"));
    for (TextEncoding encoding : AllEncodings) {
        if (file)
            reopen->addAction(EncodingName(encoding), this, [this, area, path = file->path, encoding] {
                open(area, path, encoding);
            });
        saveIn->addAction(EncodingName(encoding), this, [this, area, encoding] { saveAs(area, encoding); });
    }
    for (QAction* action : menu->actions())
        action->setEnabled(action->isEnabled() && !busy());
}

FileCommands& ConnectFileCommands(Form1& form)
{
    auto* commands = new FileCommands(form);
    const auto shortcut = [&form](const QKeySequence& keys, auto onKeys) {
        auto* s = new QShortcut(keys, &form);
        QObject::connect(s, &QShortcut::activated, &form, onKeys);
        return s;
    };
    shortcut(QKeySequence::Open, [commands] { commands->openWithDialog(commands->focusedArea()); });
    shortcut(QKeySequence::Save, [commands] { commands->save(commands->focusedArea()); });
    shortcut(QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_S),
             [commands] { commands->saveAs(commands->focusedArea()); });
    // Esc is taken only while a file is read or written; otherwise it stays the areas' own.
    QShortcut* escape = shortcut(QKeySequence(Qt::Key_Escape), [commands] { commands->cancel(); });
    escape->setEnabled(false);
    QObject::connect(&form, &Form1::busyChanged, escape, &QShortcut::setEnabled);
    return *commands;
}

} // namespace lumbrel
