#pragma once

#include <QString>
#include <Qsci/qsciscintilla.h>

namespace lumbrel {

// The multi-line text areas (quan, linshi, dat, list). Whole-text get and set are exact,
// NUL characters included; line ends are CR LF (typed, pasted, dropped or written); every
// write is one undo step of the area.
class TextArea final : public QsciScintilla
{
    Q_OBJECT

public:
    explicit TextArea(QWidget* parent = nullptr);

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

    // A caret on a line longer than this many bytes does not blink.
    static constexpr long SteadyCaretLineBytes = 100'000;

signals:
    // A command wrote the area (setContent, prependContent, appendArea); typing does not.
    void written();

protected:
    QByteArray fromMimeData(const QMimeData* source, bool& rectangular) const override;

private:
    void showStart();
    void fitCaretToLine();
    // Lets the older undo steps go when keeping them beside a step of `step` bytes would
    // pass the budget.
    void keepUndoWithinBudget(qsizetype step);

    // Undo keeps every replaced text; on huge lists that would grow without end, so past this
    // many bytes the older steps are let go (the last command stays undoable).
    static constexpr qsizetype UndoBudgetBytes = qsizetype{64} << 20;
    qsizetype m_undoBytes = 0;
    long m_caretPeriod = 0; // the blink period of a normal line, in milliseconds
};

} // namespace lumbrel
