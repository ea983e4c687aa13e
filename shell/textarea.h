#pragma once

#include <QString>
#include <Qsci/qsciscintilla.h>

#include <utility>

namespace lumbrel {

// The multi-line text areas (quan, linshi, dat, list). Whole-text get and set are exact,
// NUL characters included; line ends are CR LF (typed, pasted, dropped or written); every
// write is one undo step of the area.
class TextArea final : public QsciScintilla
{
    Q_OBJECT

public:
    explicit TextArea(QWidget* parent = nullptr);
    ~TextArea() override;

    // The whole text, exactly as written (an unpaired surrogate comes back as U+FFFD).
    QString content() const;

    // Replaces the whole text as one undo step; a lone CR or LF becomes CR LF. Returns the
    // line count (CountLines) of the text the area now holds, so messages need no read-back.
    // Pass the text by move when it is not needed after: it is let go before the write.
    qsizetype setContent(QString text);

    // Puts `text` in front of the whole text as one undo step; a lone CR or LF becomes CR LF.
    // Costs the size of `text` only, however long the area's text is.
    void prependContent(const QString& text);

    // Puts a CR LF and then the whole text of `source` (another area) at the end, as one undo
    // step. The text goes across as it is stored, so it costs one copy and no conversion.
    void appendArea(const TextArea& source);

    // Stops keeping undo steps: for an area the user never edits, whose old texts would only
    // take memory.
    void dropUndo();

    // Loading a file in pieces, so that the window keeps answering: the area shows a new,
    // read-only document that grows piece by piece. `expectedBytes` reserves its room up front
    // (a growing buffer would copy the whole text again and again).
    void beginLoad(qint64 expectedBytes);
    // `utf8`: valid UTF-8 whose only line breaks are CR LF.
    void appendLoaded(QByteArrayView utf8);
    // Brings back the text the area held before the load, with its undo history.
    void cancelLoad();
    // Keeps the loaded text with an undo history of its own; its one step back is the text
    // before, when that is within the undo budget.
    void finishLoad();
    bool isLoading() const
    {
        return m_loading;
    }

    // The whole text as the area stores it (UTF-8, CR LF), without a copy. It stays valid until
    // the area is next changed: keep the area read-only while another thread reads it.
    QByteArrayView utf8() const;

    // For the crash snapshots, which take the whole text after every command: while on,
    // setContent keeps the bytes it wrote (shared, not copied) until takeText() takes them or
    // anything else changes the area.
    void keepWrittenText(bool on);
    // The whole text as an array of its own (UTF-8, CR LF, as utf8() shows it): the bytes
    // setContent kept, when nothing changed the area since, else a copy of utf8(), made in
    // `room` when that is an unshared array with room enough (memory made ready elsewhere).
    QByteArray takeText(QByteArray room = {});
    // Whether takeText() has bytes to hand over, rather than a copy to make.
    bool holdsWrittenText() const;

    void undo() override;
    void redo() override;

    // A caret on a line longer than this many bytes does not blink.
    static constexpr long SteadyCaretLineBytes = 100'000;

signals:
    // A command wrote the area (setContent, prependContent, appendArea, a finished load);
    // typing does not.
    void written();
    // Files were dropped on the area (their local paths); the area takes no text from them.
    void filesDropped(const QStringList& paths);
    // The area's context menu is about to open: actions may be added to it.
    void menuAboutToShow(QMenu* menu);
    // A load ended before it finished: cancelled, or ended by a command's write.
    void loadCancelled();

protected:
    QByteArray fromMimeData(const QMimeData* source, bool& rectangular) const override;
    // Undo and redo keys go through undo() and redo(), which also step between a loaded file
    // and the text before it.
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Local files dropped on the area are offered to open, not pasted as their names.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showStart();
    void fitCaretToLine();
    // Lets the older undo steps go when keeping them beside a step of `step` bytes would
    // pass the budget.
    void keepUndoWithinBudget(qsizetype step);
    // The settings that belong to a document rather than to the view.
    void applyDocumentSettings();
    // Shows `document` instead of the current one, which goes into `keep` (released when
    // `keep` is null).
    void showDocument(long document, long* keep);
    // A write of the area's own: the text after a step back can no longer be stepped to.
    void forgetLaterDocument();
    void releaseDocument(long& document);
    void dropWrittenText()
    {
        m_written = {};
    }

    // Undo keeps every replaced text; on huge lists that would grow without end, so past this
    // many bytes the older steps are let go (the last command stays undoable).
    static constexpr qsizetype UndoBudgetBytes = qsizetype{64} << 20;
    qsizetype m_undoBytes = 0;
    long m_caretPeriod = 0; // the blink period of a normal line, in milliseconds
    bool m_loading = false;
    bool m_keepWritten = false;
    QByteArray m_written; // what setContent wrote, while keepWrittenText is on
    // Documents undo and redo can step to beyond the current document's own history: the text
    // before a loaded file, and the loaded file after a step back. 0 when there is none.
    long m_earlierDocument = 0;
    long m_laterDocument = 0;
    // The text and undo history the earlier document holds, as the budget counts them.
    qsizetype m_earlierBytes = 0;
    // While a load runs: the earlier document of the text the load replaces, and its bytes.
    std::pair<long, qsizetype> m_earlierBeforeLoad{0, 0};
};

} // namespace lumbrel
