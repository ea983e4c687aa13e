#include "shell/textarea.h"

#include "lineops/linemodel.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

#include <algorithm>
#include <cstring>
#include <memory>

namespace lumbrel {

namespace {

// While a whole text is written, no per-change notice: each one makes the editor hand the
// inserted and removed text, converted, to accessibility, about 0.1 s on a million lines
// for nobody. With a screen reader active the notices stay.
class QuietWrite
{
public:
    explicit QuietWrite(const TextArea& area)
        : m_area(area)
        , m_quiet(!QAccessible::isActive())
    {
        if (!m_quiet)
            return;
        m_mask = m_area.SendScintilla(QsciScintillaBase::SCI_GETMODEVENTMASK);
        m_area.SendScintilla(QsciScintillaBase::SCI_SETMODEVENTMASK, 0L);
    }
    ~QuietWrite()
    {
        if (m_quiet)
            m_area.SendScintilla(QsciScintillaBase::SCI_SETMODEVENTMASK, m_mask);
    }
    QuietWrite(const QuietWrite&) = delete;
    QuietWrite& operator=(const QuietWrite&) = delete;

private:
    const TextArea& m_area;
    bool m_quiet;
    long m_mask = 0;
};

} // namespace

TextArea::TextArea(QWidget* parent)
    : QsciScintilla(parent)
{
    // A document without style bytes: the areas are plain text, and a style byte per text
    // byte would cost a second copy of every huge list.
    const long plain = SendScintilla(SCI_CREATEDOCUMENT, 0UL, static_cast<long>(SC_DOCUMENTOPTION_STYLES_NONE));
    SendScintilla(SCI_SETDOCPOINTER, 0UL, plain);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, plain);
    applyDocumentSettings();
    // Scintilla shows a stray byte 0x80-0xFF as a hex blob, but every write here comes from a
    // QString, so the areas only ever hold valid UTF-8 and no such blob can show. Registered,
    // those 128 blobs make every non-ASCII character a map lookup in each layout and paint
    // pass over its line: a tenth of a second a paint on a line of millions of Chinese
    // characters. The blobs of the control characters stay.
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const char key[2] = {static_cast<char>(byte), '\0'};
        SendScintilla(SCI_CLEARREPRESENTATION, reinterpret_cast<unsigned long>(key), 0L);
    }
    setWrapMode(WrapNone);
    setMarginWidth(0, 0);
    setMarginWidth(1, 0);
    setMarginWidth(2, 0);
    setFolding(NoFoldStyle);
    setAutoIndent(false);
    SendScintilla(SCI_SETPASTECONVERTENDINGS, 1L);
    // The horizontal scroll bar follows the longest line shown instead of a fixed width.
    SendScintilla(SCI_SETSCROLLWIDTH, 1L);
    SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1L);
    // Keep the layout of the lines on screen: a line of millions of characters then costs its
    // layout once per change, not once per scroll or caret blink.
    SendScintilla(SCI_SETLAYOUTCACHE, static_cast<unsigned long>(SC_CACHE_PAGE));
    // No styling work waits for idle time: the areas have no lexer and no style bytes.
    SendScintilla(SCI_SETIDLESTYLING, static_cast<unsigned long>(SC_IDLESTYLING_NONE));
    m_caretPeriod = SendScintilla(SCI_GETCARETPERIOD);
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, &TextArea::fitCaretToLine);
    // Typing after a step back from a loaded file makes a new branch: no step forward then.
    connect(this,
            &QsciScintillaBase::SCN_MODIFIED,
            this,
            [this](int, int type, const char*, int, int, int, int, int, int, int) {
                if (!(type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)))
                    return;
                // Typing, undo, or a write from outside: the kept bytes are no longer the text.
                dropWrittenText();
                if (type & SC_PERFORMED_USER)
                    forgetLaterDocument();
            });
    // Scintilla's own shortcuts stay; nothing else gets in the way of plain text.
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

TextArea::~TextArea()
{
    releaseDocument(m_earlierDocument);
    releaseDocument(m_laterDocument);
    releaseDocument(m_earlierBeforeLoad.first);
}

void TextArea::applyDocumentSettings()
{
    setUtf8(true);
    setEolMode(EolWindows);
    setTabWidth(4);
}

QString TextArea::content() const
{
    const long length = SendScintilla(SCI_GETLENGTH);
    if (length <= 0)
        return {};
    // The buffer is contiguous and may hold NUL bytes; read it with its length.
    const auto* bytes = reinterpret_cast<const char*>(SendScintilla(SCI_GETCHARACTERPOINTER));
    return QString::fromUtf8(bytes, length);
}

qsizetype TextArea::setContent(QString text)
{
    if (m_loading)
        cancelLoad();
    forgetLaterDocument();
    // A UTF-16 unit takes one to three bytes in the editor; two is near a Chinese list's mean.
    keepUndoWithinBudget(SendScintilla(SCI_GETLENGTH) + 2 * text.size());
    QByteArray bytes;
    qsizetype lines = 0;
    {
        // The UTF-16 text is let go before the editor makes its copies: on a huge list that
        // is the difference of a whole text in the peak.
        const QString normalized = NormalizeLineEnds(std::move(text));
        lines = CountLines(normalized);
        bytes = normalized.toUtf8();
    }
    const QuietWrite quiet(*this);
    SendScintilla(SCI_TARGETWHOLEDOCUMENT);
    // One replace of the whole document is one undo step and keeps NUL bytes.
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
    if (m_keepWritten)
        m_written = std::move(bytes);
    showStart();
    emit written();
    return lines;
}

void TextArea::keepUndoWithinBudget(qsizetype step)
{
    // Typing and pasting are not counted as they happen; the text they left stands in for
    // them. The older steps go before this write's copies are made, not after.
    m_undoBytes = std::max(m_undoBytes, static_cast<qsizetype>(SendScintilla(SCI_GETLENGTH))) + step;
    if (m_undoBytes > UndoBudgetBytes) {
        SendScintilla(SCI_EMPTYUNDOBUFFER);
        releaseDocument(m_earlierDocument);
        m_undoBytes = step;
    }
}

void TextArea::prependContent(const QString& text)
{
    if (m_loading)
        cancelLoad();
    forgetLaterDocument();
    // A normalized text ends in no lone CR, so nothing pairs up with the text behind it.
    const QByteArray bytes = NormalizeLineEnds(text).toUtf8();
    keepUndoWithinBudget(bytes.size());
    dropWrittenText();
    const QuietWrite quiet(*this);
    SendScintilla(SCI_SETTARGETRANGE, 0UL, 0L);
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
    showStart();
    emit written();
}

void TextArea::appendArea(const TextArea& source)
{
    Q_ASSERT(&source != this);
    if (m_loading)
        cancelLoad();
    forgetLaterDocument();
    const long length = source.SendScintilla(SCI_GETLENGTH);
    keepUndoWithinBudget(length + 2);
    dropWrittenText();
    const QuietWrite quiet(*this);
    SendScintilla(SCI_BEGINUNDOACTION);
    SendScintilla(SCI_APPENDTEXT, 2UL, "\r\n");
    if (length > 0) {
        const auto* bytes = reinterpret_cast<const char*>(source.SendScintilla(SCI_GETCHARACTERPOINTER));
        SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(length), bytes);
    }
    SendScintilla(SCI_ENDUNDOACTION);
    showStart();
    emit written();
}

void TextArea::releaseDocument(long& document)
{
    if (document != 0)
        SendScintilla(SCI_RELEASEDOCUMENT, 0UL, document);
    document = 0;
}

void TextArea::forgetLaterDocument()
{
    releaseDocument(m_laterDocument);
}

void TextArea::showDocument(long document, long* keep)
{
    dropWrittenText();
    const long current = SendScintilla(SCI_GETDOCPOINTER);
    // The view lets go of its document when it takes another: a reference keeps it.
    if (keep) {
        SendScintilla(SCI_ADDREFDOCUMENT, 0UL, current);
        *keep = current;
    }
    SendScintilla(SCI_SETDOCPOINTER, 0UL, document);
    showStart();
}

void TextArea::beginLoad(qint64 expectedBytes)
{
    if (m_loading)
        cancelLoad();
    forgetLaterDocument();
    // Back in place if the load is cancelled.
    m_earlierBeforeLoad = {std::exchange(m_earlierDocument, 0), m_earlierBytes};
    // Past 2 GiB the document needs positions wider than 32 bits.
    const long large = expectedBytes >= (qint64{1} << 31) ? SC_DOCUMENTOPTION_TEXT_LARGE : 0;
    m_earlierBytes = std::max(m_undoBytes, static_cast<qsizetype>(SendScintilla(SCI_GETLENGTH)));
    const long document =
        SendScintilla(SCI_CREATEDOCUMENT, 0UL, static_cast<long>(SC_DOCUMENTOPTION_STYLES_NONE) | large);
    showDocument(document, &m_earlierDocument);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, document); // the view holds it now
    applyDocumentSettings();
    SendScintilla(SCI_SETUNDOCOLLECTION, 0L);
    // A little more than expected: a text that fills its room exactly would make the last
    // piece copy the whole text into a larger one.
    if (expectedBytes > 0)
        SendScintilla(SCI_ALLOCATE, static_cast<unsigned long>(expectedBytes + expectedBytes / 64 + (1 << 20)));
    setReadOnly(true);
    m_loading = true;
}

void TextArea::appendLoaded(QByteArrayView utf8)
{
    Q_ASSERT(m_loading);
    if (utf8.isEmpty())
        return;
    dropWrittenText();
    const QuietWrite quiet(*this);
    setReadOnly(false);
    SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(utf8.size()), utf8.data());
    setReadOnly(true);
}

void TextArea::cancelLoad()
{
    if (!m_loading)
        return;
    m_loading = false;
    setReadOnly(false);
    const long before = m_earlierDocument;
    std::tie(m_earlierDocument, m_earlierBytes) = std::exchange(m_earlierBeforeLoad, {0, 0});
    showDocument(before, nullptr);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, before); // the view holds it again
    emit loadCancelled();
}

void TextArea::finishLoad()
{
    Q_ASSERT(m_loading);
    m_loading = false;
    setReadOnly(false);
    SendScintilla(SCI_SETUNDOCOLLECTION, 1L);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    m_undoBytes = SendScintilla(SCI_GETLENGTH);
    releaseDocument(m_earlierBeforeLoad.first);
    // A step back to the text before keeps that text and its history: only within the budget.
    if (m_earlierBytes > UndoBudgetBytes)
        releaseDocument(m_earlierDocument);
    showStart();
    emit written();
}

QByteArrayView TextArea::utf8() const
{
    const long length = SendScintilla(SCI_GETLENGTH);
    if (length <= 0)
        return {};
    return {reinterpret_cast<const char*>(SendScintilla(SCI_GETCHARACTERPOINTER)), length};
}

void TextArea::keepWrittenText(bool on)
{
    m_keepWritten = on;
    if (!on)
        dropWrittenText();
}

bool TextArea::holdsWrittenText() const
{
    // A write that went past the notices and changed the length is caught here too.
    return !m_written.isNull() && m_written.size() == SendScintilla(SCI_GETLENGTH);
}

QByteArray TextArea::takeText(QByteArray room)
{
    if (holdsWrittenText())
        return std::exchange(m_written, {});
    dropWrittenText();
    const QByteArrayView text = utf8();
    if (text.isEmpty() || !room.isDetached() || room.capacity() < text.size())
        return {text.data(), text.size()};
    room.resize(text.size());
    std::memcpy(room.data(), text.data(), static_cast<std::size_t>(text.size()));
    return room;
}

void TextArea::undo()
{
    if (!m_loading && SendScintilla(SCI_CANUNDO) == 0 && m_earlierDocument != 0) {
        const long earlier = std::exchange(m_earlierDocument, 0);
        showDocument(earlier, &m_laterDocument);
        SendScintilla(SCI_RELEASEDOCUMENT, 0UL, earlier);
        emit written();
        return;
    }
    QsciScintilla::undo();
}

void TextArea::redo()
{
    if (!m_loading && SendScintilla(SCI_CANREDO) == 0 && m_laterDocument != 0) {
        const long later = std::exchange(m_laterDocument, 0);
        showDocument(later, &m_earlierDocument);
        SendScintilla(SCI_RELEASEDOCUMENT, 0UL, later);
        emit written();
        return;
    }
    QsciScintilla::redo();
}

void TextArea::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Undo)) {
        undo();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Redo) ||
        event->keyCombination() == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z)) {
        redo();
        event->accept();
        return;
    }
    QsciScintilla::keyPressEvent(event);
}

void TextArea::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu(createStandardContextMenu());
    if (!menu)
        return;
    emit menuAboutToShow(menu.get());
    menu->exec(event->globalPos());
}

namespace {

// The local files a drag carries; none when it carries anything else too.
QStringList localFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}

} // namespace

void TextArea::dragEnterEvent(QDragEnterEvent* event)
{
    if (localFiles(event->mimeData()).isEmpty())
        QsciScintilla::dragEnterEvent(event);
    else
        event->acceptProposedAction();
}

void TextArea::dragMoveEvent(QDragMoveEvent* event)
{
    if (localFiles(event->mimeData()).isEmpty())
        QsciScintilla::dragMoveEvent(event);
    else
        event->acceptProposedAction();
}

void TextArea::dropEvent(QDropEvent* event)
{
    const QStringList paths = localFiles(event->mimeData());
    if (paths.isEmpty()) {
        QsciScintilla::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(paths);
}

void TextArea::dropUndo()
{
    SendScintilla(SCI_SETUNDOCOLLECTION, 0L);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
}

void TextArea::fitCaretToLine()
{
    // Each blink repaints the caret's line, and a paint walks that whole line: on a line of
    // megabytes a blinking caret keeps a core busy in an idle window. There it stays lit.
    const long line = SendScintilla(SCI_LINEFROMPOSITION, SendScintilla(SCI_GETCURRENTPOS));
    const long period = SendScintilla(SCI_LINELENGTH, line) > SteadyCaretLineBytes ? 0 : m_caretPeriod;
    if (SendScintilla(SCI_GETCARETPERIOD) != period)
        SendScintilla(SCI_SETCARETPERIOD, period);
}

void TextArea::showStart()
{
    // Caret and view back to the start without "scroll caret into view": that lays out the
    // whole first line, seconds on a line of millions of characters.
    SendScintilla(SCI_SETEMPTYSELECTION, 0L);
    SendScintilla(SCI_SETFIRSTVISIBLELINE, 0L);
    SendScintilla(SCI_SETXOFFSET, 0L);
    // Now, not at the next update notice: that comes with the first paint, and a change of
    // the blink then costs a second paint of the line.
    fitCaretToLine();
}

QByteArray TextArea::fromMimeData(const QMimeData* source, bool& rectangular) const
{
    rectangular = false;
    if (!source->hasText())
        return QsciScintilla::fromMimeData(source, rectangular);
    return NormalizeLineEnds(source->text()).toUtf8();
}

} // namespace lumbrel
