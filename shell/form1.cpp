#include "shell/form1.h"

#include <QCheckBox>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <QTimer>

#include <limits>

namespace lumbrel {

namespace {

constexpr int ClientWidthTwips = 8010;
constexpr int ClientHeightTwips = 6120;
// The strip at the left of the pages where Command1, Command2 and Command25 stand.
constexpr int LeftStripTwips = 1150;
// The tab row: above the top of Command1 (470), below the top of the strip (80).
constexpr int TabRowTwips = 360;
// Captions are not shrunk below this size: past it they would be unreadable anyway.
constexpr qreal SmallestPoints = 6.0;

struct Placed
{
    int left;
    int top;
    int width;
    int height;
};

QRect rectOf(Placed p)
{
    return {Form1::px(p.left), Form1::px(p.top), Form1::px(p.width), Form1::px(p.height)};
}

template <typename W> W* place(W* widget, const QString& name, Placed where)
{
    widget->setObjectName(name);
    widget->setGeometry(rectOf(where));
    return widget;
}

// The tab row: its tabs take the row's height, not the font's line height (which CJK fonts
// make tall), so the row keeps its designed height whatever the font.
class TabRow final : public QTabBar
{
public:
    TabRow(int rowHeight, QWidget* parent)
        : QTabBar(parent)
        , m_rowHeight(rowHeight)
    {
    }

protected:
    QSize tabSizeHint(int index) const override
    {
        return {QTabBar::tabSizeHint(index).width(), m_rowHeight};
    }

private:
    int m_rowHeight;
};

} // namespace

int Form1::px(int twips)
{
    return (twips + 7) / 15;
}

Form1::Form1(QWidget* parent)
    : QWidget(parent)
    , m_progressBar(new QProgressBar(this))
    , m_meter(m_progressBar)
{
    setObjectName(QStringLiteral("Form1"));
    // The designed size is where the window starts and the least it can be: every control has
    // room there, and extra room goes to the text areas (resizeEvent).
    setMinimumSize(designedSize());
    resize(designedSize());
    setWindowTitle(QStringLiteral("Lumbrel V1.6"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/lumbrel-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);

    const QRect strip = rectOf({120, 80, 7815, 1600});
    // The tab row keeps its designed height whatever the font, so the pages and the buttons
    // beside them stay where they were placed; fitCaptions makes the captions fit the row.
    const int rowHeight = px(TabRowTwips);
    m_tabStrip = new TabRow(rowHeight, this);
    m_tabStrip->setObjectName(QStringLiteral("TabStrip1"));
    m_tabStrip->setDrawBase(true);
    m_tabStrip->setExpanding(false);
    for (const char16_t* caption : {u"文本基本处理", u"文本替换操作", u"关键词操作", u"模拟蜘蛛访问", u"更多处理"})
        m_tabStrip->addTab(QString::fromUtf16(caption));
    m_tabStrip->setGeometry(strip.left(), strip.top(), strip.width(), rowHeight);
    // The tab strip's client area: the box below its tab row.
    auto* client = new QFrame(this);
    client->setObjectName(QStringLiteral("TabStrip1Client"));
    client->setFrameShape(QFrame::StyledPanel);
    client->setGeometry(strip.left(), strip.top() + rowHeight, strip.width(), strip.height() - rowHeight);

    const auto button = [this](int n, const char16_t* caption, Placed where, QWidget* parentWidget) {
        addButton(n, caption, rectOf(where), parentWidget);
    };
    const auto area = [this](const QString& name, Placed where, QWidget* parentWidget) {
        return place(new TextArea(parentWidget), name, where);
    };

    // Page frames cover the client area but for the strip at its left.
    for (int n = 1; n <= 5; ++n) {
        auto* frame = new QFrame(this);
        frame->setObjectName(QStringLiteral("Frame1_%1").arg(n));
        m_pages[static_cast<std::size_t>(n - 1)] = frame;
    }
    // The fifth tab shows the page of commands beyond the designed four; the fifth frame is no page.
    m_morePage = new MorePage(this);
    const int stripPx = px(LeftStripTwips);
    for (int index = 0; index < m_tabStrip->count(); ++index) {
        QFrame* p = tabPage(index);
        p->setGeometry(client->x() + stripPx, client->y(), client->width() - stripPx, client->height());
        p->setVisible(index == 0);
    }
    page(5)->setGeometry(rectOf({14760, 2760, 6735, 735}));

    button(1, u"去重复", {240, 470, 975, 360}, this);
    button(2, u"去空行", {240, 850, 975, 360}, this);
    button(25, u"打乱顺序", {240, 1240, 975, 360}, this);
    button(15, u"复制内容", {6840, 120, 1095, 255}, this);
    m_quan = area(QStringLiteral("quan"), {120, 1750, 7815, 2175}, this);
    place(m_progressBar, QStringLiteral("ProgressBar1"), {120, 3960, 7815, 135});
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_linshi = area(QStringLiteral("linshi"), {120, 4200, 6855, 1815}, this);
    button(10, u"复制↑", {7080, 4200, 855, 375}, this);
    button(13, u"←取回", {7080, 4680, 855, 375}, this);
    button(12, u"存储→", {7080, 5160, 855, 375}, this);
    button(11, u"←复制", {7080, 5640, 855, 375}, this);
    m_dat = area(QStringLiteral("dat"), {8160, 4200, 6495, 1815}, this);
    m_labels[1] = place(new QLabel(QStringLiteral("0"), this), QStringLiteral("Label2"), {14880, 4560, 615, 255});

    buildPages();

    for (QWidget* w : {static_cast<QWidget*>(client), static_cast<QWidget*>(m_tabStrip)})
        w->lower();
    for (int n = 1; n <= 5; ++n)
        page(n)->raise();
    m_morePage->raise();
    for (int n : {1, 2, 25})
        command(n)->raise();

    fitCaptions();

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setSingleShot(true);

    connect(m_tabStrip, &QTabBar::currentChanged, this, &Form1::selectTab);

    // Start-up empties the areas and Text2; the other boxes keep their start texts.
    m_quan->setContent({});
    m_texts[1]->clear();
    m_linshi->setContent({});
    m_dat->setContent({});
    for (TextArea* a : {m_quan, m_linshi, m_dat, m_list})
        a->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    // The storage area lies out of view and is never edited: undo there would only hold
    // copies of everything ever stored.
    m_dat->dropUndo();

    for (TextArea* a : {m_quan, m_linshi, m_dat, m_list})
        connect(a, &TextArea::written, this, [this, a] { noteWrite(a); });
    m_lastWritten = {m_quan};

    // Where the window's extra room goes, from the designed places.
    const auto grows = [this](QWidget* w, Growth growth) { m_growing.push_back({w, w->geometry(), growth}); };
    grows(m_quan, Growth::WorkingArea);
    grows(m_progressBar, Growth::BelowWorkingArea);
    grows(m_linshi, Growth::TemporaryArea);
    for (int n : {10, 13, 12, 11})
        grows(command(n), Growth::BesideTemporaryArea);
    // Never seen: they stay beyond the right edge however wide the window is.
    for (QWidget* w :
         {static_cast<QWidget*>(m_dat), static_cast<QWidget*>(m_labels[1]), static_cast<QWidget*>(page(5))})
        grows(w, Growth::BeyondRightEdge);
}

Form1::~Form1()
{
    emit destroying();
}

void Form1::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w))
            w->setEnabled(!busy);
    }
    emit busyChanged(busy);
}

QSize Form1::designedSize()
{
    return {px(ClientWidthTwips), px(ClientHeightTwips)};
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSize extra = (size() - designedSize()).expandedTo({0, 0});
    // Two thirds of the extra height to the working area, the rest to the temporary area.
    const int quanExtra = extra.height() * 2 / 3;
    const int linshiExtra = extra.height() - quanExtra;
    for (const Growing& g : m_growing) {
        QRect r = g.designed;
        switch (g.growth) {
        case Growth::WorkingArea:
            r.setSize(r.size() + QSize(extra.width(), quanExtra));
            break;
        case Growth::BelowWorkingArea:
            r.translate(0, quanExtra);
            r.setWidth(r.width() + extra.width());
            break;
        case Growth::TemporaryArea:
            r.translate(0, quanExtra);
            r.setSize(r.size() + QSize(extra.width(), linshiExtra));
            break;
        case Growth::BesideTemporaryArea:
            r.translate(extra.width(), quanExtra);
            break;
        case Growth::BeyondRightEdge:
            r.translate(extra.width(), 0);
            break;
        }
        g.widget->setGeometry(r);
    }
}

void Form1::fitCaptions()
{
    // One step smaller; false at the smallest size.
    const auto shrink = [](QFont& f) {
        if (f.pointSizeF() > SmallestPoints)
            f.setPointSizeF(f.pointSizeF() - 0.5);
        else if (f.pointSizeF() <= 0 && f.pixelSize() > 8)
            f.setPixelSize(f.pixelSize() - 1);
        else
            return false;
        return true;
    };
    // The window's font, or the largest smaller one with which `text` fits in `room`. The ink
    // of CJK glyphs lies well inside the line height of CJK fonts, so the ink decides.
    const auto fitted = [this, &shrink](const QString& text, QSize room) {
        QFont f = font();
        do {
            const QFontMetrics fm(f);
            if (fm.horizontalAdvance(text) <= room.width() && fm.tightBoundingRect(text).height() <= room.height())
                break;
        } while (shrink(f));
        return f;
    };
    for (QWidget* w : findChildren<QWidget*>()) {
        const QSize size = w->size();
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            // The store counter grows into the caption of Command12.
            const QString text = b == command(12) ? QStringLiteral("存储99→") : b->text();
            b->setFont(fitted(text, size - QSize(8, 4)));
        } else if (auto* a = qobject_cast<QAbstractButton*>(w)) {
            const int box = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, a) +
                            style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, a);
            a->setFont(fitted(a->text(), size - QSize(box + 2, 2)));
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setFont(fitted(l->text(), size));
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setFont(fitted(QStringLiteral("国"), {size.width(), size.height() - 4}));
        }
    }
    // All tabs stand left of Command15, their captions inside the row.
    const int roomRight = command(15)->x() - m_tabStrip->x() - 2;
    const int last = m_tabStrip->count() - 1;
    QFont tabs = font();
    do {
        m_tabStrip->setFont(tabs);
        const int ink = QFontMetrics(tabs).tightBoundingRect(m_tabStrip->tabText(0)).height();
        if (m_tabStrip->tabRect(last).right() < roomRight && ink <= m_tabStrip->height() - 8)
            break;
    } while (shrink(tabs));
}

void Form1::noteWrite(TextArea* area)
{
    if (!m_commandOpen) {
        m_commandOpen = true;
        m_lastWritten.clear();
        QTimer::singleShot(0, this, [this] { m_commandOpen = false; });
    }
    if (!m_lastWritten.contains(area))
        m_lastWritten.append(area);
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    const QKeyCombination key = event->keyCombination();
    const bool undo = key == QKeyCombination(Qt::ControlModifier, Qt::Key_Z);
    const bool redo = key == QKeyCombination(Qt::ControlModifier, Qt::Key_Y) ||
                      key == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
    // A box or an area that let the key pass keeps it: its undo is its own. While a file is
    // read or written no command's write is taken back.
    const QWidget* focus = focusWidget();
    if ((undo || redo) && m_busy) {
        event->accept();
        return;
    }
    const bool editor = qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QsciScintillaBase*>(focus);
    if ((!undo && !redo) || editor) {
        QWidget::keyPressEvent(event);
        return;
    }
    // dat keeps no undo: taking back only the other half of a store or retrieve would leave
    // the moved text in neither area.
    if (m_lastWritten.contains(m_dat)) {
        event->accept();
        return;
    }
    for (TextArea* a : std::as_const(m_lastWritten)) {
        if (undo)
            a->undo();
        else
            a->redo();
    }
    event->accept();
}

void Form1::buildPages()
{
    const auto button = [this](int n, const char16_t* caption, Placed where, QWidget* parentWidget) {
        addButton(n, caption, rectOf(where), parentWidget);
    };
    const auto textBox = [this](int n, const char16_t* start, Placed where, QWidget* parentWidget) {
        auto* t = new LineBox(QString::fromUtf16(start), parentWidget);
        m_texts[static_cast<std::size_t>(n - 1)] = place(t, QStringLiteral("Text%1").arg(n), where);
    };

    QFrame* p1 = page(1);
    button(3, u"去英文", {120, 240, 855, 375}, p1);
    button(4, u"去汉字", {1080, 240, 855, 375}, p1);
    button(5, u"去HTML", {2040, 240, 855, 375}, p1);
    textBox(2, u"", {4080, 330, 2055, 270}, p1);
    button(6, u"去位长", {3600, 680, 855, 375}, p1);
    button(7, u"去位短", {4560, 680, 855, 375}, p1);
    button(9, u"去包含", {5520, 680, 855, 375}, p1);

    QFrame* p2 = page(2);
    button(8, u"去掉→", {120, 240, 855, 375}, p2);
    textBox(1, u"Text1", {1080, 280, 1095, 270}, p2);
    button(16, u"替换成", {2280, 240, 975, 375}, p2);
    textBox(3, u"Text3", {3360, 280, 1215, 270}, p2);
    button(17, u"替换成 vbcrlf", {4680, 240, 1695, 375}, p2);
    button(22, u"每行前面加关键词→", {120, 720, 2055, 375}, p2);
    textBox(6, u"|=|哈哈", {2280, 760, 1695, 270}, p2);
    button(23, u"←关键词加在每行后面", {4080, 720, 2295, 375}, p2);

    QFrame* p3 = page(3);
    // Label1 lies under list and is never seen: it only carries the batch job's flag.
    m_labels[0] = place(new QLabel(QStringLiteral("Label1"), p3), QStringLiteral("Label1"), {840, 240, 855, 255});
    m_list = place(new TextArea(p3), QStringLiteral("list"), {80, 160, 1695, 960});
    m_list->setContent(QStringLiteral("list"));
    m_list->SendScintilla(QsciScintillaBase::SCI_SETVSCROLLBAR, 1L);
    m_list->raise();
    // Check1, Label3 and Check2 end where the control to their right begins: their designed
    // boxes reach into it, past the end of their captions.
    m_check1 = place(new QCheckBox(QStringLiteral("停 止"), p3), QStringLiteral("Check1"), {1900, 280, 920, 255});
    button(24, u"开始", {1860, 670, 855, 375}, p3);
    button(26, u"←去空行", {2820, 220, 1095, 375}, p3);
    button(20, u"取左位数", {4080, 220, 855, 375}, p3);
    textBox(4, u"2", {5040, 280, 375, 270}, p3);
    button(21, u"取右位数", {5520, 220, 855, 375}, p3);
    button(18, u"留前", {4080, 670, 735, 375}, p3);
    textBox(5, u"特征符", {4920, 720, 735, 270}, p3);
    button(19, u"留后", {5760, 670, 615, 375}, p3);

    QFrame* p4 = page(4);
    m_labels[2] = place(new QLabel(QStringLiteral("网址："), p4), QStringLiteral("Label3"), {120, 280, 600, 255});
    textBox(7, u"Text7", {720, 240, 3615, 270}, p4);
    m_check2 = place(new QCheckBox(QStringLiteral("模拟蜘蛛"), p4), QStringLiteral("Check2"), {4440, 240, 1080, 255});
    button(14, u"抓取", {5520, 240, 735, 255}, p4);
    m_option1 = place(new QRadioButton(QStringLiteral("utf-8"), p4), QStringLiteral("Option1"), {120, 600, 975, 255});
    m_option2 = place(new QRadioButton(QStringLiteral("gb2312"), p4), QStringLiteral("Option2"), {1320, 600, 975, 255});
    m_option1->setChecked(true);
}

void Form1::addButton(int n, const char16_t* caption, const QRect& where, QWidget* parentWidget)
{
    auto* b = new QPushButton(QString::fromUtf16(caption), parentWidget);
    b->setObjectName(QStringLiteral("Command%1").arg(n));
    b->setGeometry(where);
    m_commands[static_cast<std::size_t>(n - 1)] = b;
}

QPushButton* Form1::command(int n) const
{
    return m_commands.at(static_cast<std::size_t>(n - 1));
}

LineBox* Form1::textBox(int n) const
{
    return m_texts.at(static_cast<std::size_t>(n - 1));
}

QLabel* Form1::label(int n) const
{
    return m_labels.at(static_cast<std::size_t>(n - 1));
}

QFrame* Form1::page(int n) const
{
    return m_pages.at(static_cast<std::size_t>(n - 1));
}

QFrame* Form1::tabPage(int index) const
{
    return index < 4 ? page(index + 1) : m_morePage;
}

void Form1::selectTab(int index)
{
    // Exactly the selected tab's page is shown.
    for (int i = 0; i < m_tabStrip->count(); ++i)
        tabPage(i)->setVisible(i == index);
}

void Form1::setStatus(const QString& message)
{
    // In a title "[*]" marks the modified state and "[*][*]" stands for a literal "[*]".
    setWindowTitle(QString(message).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void Form1::setOuterHeight(int pixels)
{
    // A window the user made taller, or maximised, keeps the room the user gave it.
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const int frameExtra = frameGeometry().height() - height();
    const int wanted = std::max(minimumHeight(), pixels - frameExtra);
    if (height() < wanted)
        resize(width(), wanted);
}

} // namespace lumbrel
