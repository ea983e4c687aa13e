#pragma once

#include "files/textformat.h"
#include "shell/textarea.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QThread;

namespace lumbrel {

class FileLoader;
class Form1;
struct LoadResult;
struct SaveResult;

// Opening files into quan or linshi and saving them back: Ctrl+O, a file dropped on an area
// or given on the command line, Ctrl+S, Ctrl+Shift+S, and the areas' menus ("re-open as",
// "save as" in another encoding). A file is read and decoded on a thread of its own and goes
// into the area in pieces, so the window keeps answering; Esc stops it and leaves the area as
// it was. A save writes the area's own bytes from a thread of its own, atomically. While a
// file is read or written the window's commands take no input (Form1::setBusy). The child of
// the window named "FileCommands".
class FileCommands final : public QObject
{
    Q_OBJECT

public:
    explicit FileCommands(Form1& form);
    ~FileCommands() override;

    // The dialogs, replaceable by tests. `chooseOpen` gets the folder to start in and gives
    // the path (empty: cancelled); `chooseSave` gets a path to suggest; `ask` a yes/no question.
    std::function<QString(const QString& folder)> chooseOpen;
    std::function<QString(const QString& suggested)> chooseSave;
    std::function<bool(const QString& question)> ask;

    // The area a shortcut works on: quan or linshi when it has the focus, quan otherwise.
    TextArea* focusedArea() const;

    void open(TextArea* area, const QString& path, std::optional<TextEncoding> encoding = {});
    void openWithDialog(TextArea* area);
    // Ctrl+S: to the file the area came from, as it was read; a new text goes to saveAs.
    void save(TextArea* area);
    // Ctrl+Shift+S: to a file the user chooses, in the area's format or in `encoding`.
    void saveAs(TextArea* area, std::optional<TextEncoding> encoding = {});
    // Esc: stops the reading (the area stays as it was) or the writing (the file too).
    void cancel();

    bool busy() const
    {
        return m_loadArea || m_saveArea;
    }

    // The file an area was opened from or last saved to, and its format.
    struct AreaFile
    {
        QString path;
        FileFormat format;
    };
    std::optional<AreaFile> fileOf(const TextArea* area) const;

signals:
    // An open or a save has ended, whichever way; the title says how.
    void openEnded();
    void saveEnded();

private:
    void addMenuActions(TextArea* area, QMenu* menu);
    void endLoad(const QString& status);
    void onLoadFinished(const LoadResult& result);
    void startSave(TextArea* area, const QString& path, const FileFormat& format);
    void onSaveEnded(const SaveResult& result, qint64 lines);
    void joinSave();

    Form1& m_form;
    FileLoader* m_loader = nullptr;
    QPointer<TextArea> m_loadArea;
    QString m_loadPath;
    bool m_loadBegun = false;
    QPointer<TextArea> m_saveArea;
    QString m_savePath;
    FileFormat m_saveFormat;
    qint64 m_saveTotal = 0;
    QTimer m_saveTick;
    QThread* m_saveThread = nullptr;
    std::atomic<bool> m_cancelSave{false};
    std::atomic<qint64> m_saveDone{0};
    QHash<const TextArea*, AreaFile> m_files;
    QString m_lastFolder;
};

// Connects Ctrl+O, Ctrl+S, Ctrl+Shift+S and Esc, the areas' drops and menus.
FileCommands& ConnectFileCommands(Form1& form);

} // namespace lumbrel
