#pragma once

#include "shell/linebox.h"
#include "shell/morepage.h"
#include "shell/progressbarmeter.h"
#include "shell/textarea.h"

#include <QWidget>

#include <array>
#include <vector>

class QCheckBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabBar;
class QTimer;

namespace lumbrel {

// The one window: five tab pages of commands, the text areas, the status line in the title.
// Every control carries its designer name as objectName. It builds the controls only: the
// commands and the batch job are connected to it by ConnectCommands (app/connect.h).
class Form1 final : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    TextArea* quan() const
    {
        return m_quan;
    }
    TextArea* linshi() const
    {
        return m_linshi;
    }
    TextArea* dat() const
    {
        return m_dat;
    }
    TextArea* list() const
    {
        return m_list;
    }
    // Command1 .. Command26.
    QPushButton* command(int n) const;
    // Text1 .. Text7.
    LineBox* textBox(int n) const;
    // Label1 .. Label3.
    QLabel* label(int n) const;
    // Frame1_1 .. Frame1_5.
    QFrame* page(int n) const;
    // The page the tab `index` (from 0) shows: Frame1_1 .. Frame1_4, then "更多处理".
    QFrame* tabPage(int index) const;
    MorePage* morePage() const
    {
        return m_morePage;
    }
    QCheckBox* check1() const
    {
        return m_check1;
    }
    QCheckBox* check2() const
    {
        return m_check2;
    }
    QRadioButton* option1() const
    {
        return m_option1;
    }
    QTabBar* tabStrip() const
    {
        return m_tabStrip;
    }
    QTimer* timer1() const
    {
        return m_timer1;
    }
    QTimer* timer2() const
    {
        return m_timer2;
    }
    ProgressMeter& meter()
    {
        return m_meter;
    }

    // The status line: the window's caption, replaced whole by every message. The message
    // shows as it is, "[*]" included (the title would take it for the modified mark).
    void setStatus(const QString& message);
    // Makes the window, frame included, at least `pixels` high, unless it is maximised.
    void setOuterHeight(int pixels);

    // The client size the window starts with and cannot go below.
    static QSize designedSize();

    // Twips to pixels at 15 twips a pixel.
    static int px(int twips);

    // While a file is read into or written from an area, no command may change the areas:
    // the buttons, boxes and check boxes take no input. The tab strip stays.
    void setBusy(bool busy);
    bool isBusy() const
    {
        return m_busy;
    }

signals:
    void busyChanged(bool busy);
    // The window is being destroyed, its controls still whole: work that reads an area from
    // another thread stops here.
    void destroying();

protected:
    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z that a button, tab or check box lets pass undo or redo
    // the last command in the areas it wrote.
    void keyPressEvent(QKeyEvent* event) override;
    // The text areas take the room beyond the designed size; the controls above them stay.
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildPages();
    // Every caption at the window's font or, when that does not fit its designed box, smaller.
    void fitCaptions();
    void noteWrite(TextArea* area);
    void addButton(int n, const char16_t* caption, const QRect& where, QWidget* parentWidget);
    void selectTab(int index);

    QTabBar* m_tabStrip = nullptr;
    std::array<QFrame*, 5> m_pages{};
    MorePage* m_morePage = nullptr;
    std::array<QPushButton*, 26> m_commands{};
    std::array<LineBox*, 7> m_texts{};
    std::array<QLabel*, 3> m_labels{};
    TextArea* m_quan = nullptr;
    TextArea* m_linshi = nullptr;
    TextArea* m_dat = nullptr;
    TextArea* m_list = nullptr;
    QCheckBox* m_check1 = nullptr;
    QCheckBox* m_check2 = nullptr;
    QRadioButton* m_option1 = nullptr;
    QRadioButton* m_option2 = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QTimer* m_timer1 = nullptr;
    QTimer* m_timer2 = nullptr;
    ProgressBarMeter m_meter;
    // The areas the last command wrote (quan before any); the writes of one command all
    // happen before the event loop runs again.
    QList<TextArea*> m_lastWritten;
    bool m_commandOpen = false;
    bool m_busy = false;

    enum class Growth
    {
        WorkingArea,         // wider and taller
        BelowWorkingArea,    // wider, moved down with the working area's bottom
        TemporaryArea,       // moved down, wider and taller
        BesideTemporaryArea, // moved right and down with the temporary area
        BeyondRightEdge,     // moved right, so that it stays out of view
    };
    struct Growing
    {
        QWidget* widget;
        QRect designed;
        Growth growth;
    };
    std::vector<Growing> m_growing;
};

} // namespace lumbrel
