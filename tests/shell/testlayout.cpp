// The designed layout holds whatever the font: run under QT_FONT_DPI=144 and QT_SCALE_FACTOR=2
// too (tests/CMakeLists.txt), each time with the default font and Noto Sans CJK SC.
#include "tests/support/formfixture.h"

#include <QApplication>
#include <QFrame>
#include <QScreen>
#include <QTabBar>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

// No two of `rects` overlap and each lies inside `room`.
void checkApart(const QRect& room, const QList<std::pair<QString, QRect>>& rects)
{
    for (qsizetype i = 0; i < rects.size(); ++i) {
        QVERIFY2(room.contains(rects[i].second), qPrintable(rects[i].first));
        for (qsizetype j = i + 1; j < rects.size(); ++j)
            QVERIFY2(!rects[i].second.intersects(rects[j].second),
                     qPrintable(rects[i].first + u" / " + rects[j].first));
    }
}

QRect inForm(Form1& form, const char* name)
{
    auto* w = child<QWidget>(form, name);
    return QRect(w->mapTo(&form, QPoint(0, 0)), w->size());
}

} // namespace

class TestLayout final : public QObject
{
    Q_OBJECT

private slots:
    void controlsStayApart_data();
    void controlsStayApart();
};

void TestLayout::controlsStayApart_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<bool>("maximised");
    for (bool maximised : {false, true}) {
        const char* size = maximised ? ", maximised" : "";
        QTest::addRow("default font%s", size) << QApplication::font() << maximised;
        QTest::addRow("Noto Sans CJK SC 10 pt%s", size) << QFont(u"Noto Sans CJK SC"_s, 10) << maximised;
        QTest::addRow("Noto Sans CJK SC 11 pt%s", size) << QFont(u"Noto Sans CJK SC"_s, 11) << maximised;
    }
}

void TestLayout::controlsStayApart()
{
    QFETCH(QFont, font);
    QFETCH(bool, maximised);
    QApplication::setFont(font);
    Form1 form;
    wire(form, true);
    if (maximised) {
        // The scaled runs' offscreen screen is smaller than the window: there it grows by hand.
        const QSize screen = form.screen()->availableSize();
        if (screen.width() > 600 && screen.height() > 500)
            form.showMaximized();
        else
            form.resize(Form1::designedSize() + QSize(400, 300));
        QTRY_VERIFY(form.width() > Form1::designedSize().width());
    }
    auto* tabs = child<QTabBar>(form, "TabStrip1");
    // The window: the tab captions left of 复制内容, the strip's box, the areas and the
    // transfer buttons apart and inside it.
    QRect tabRow;
    for (int i = 0; i < tabs->count(); ++i)
        tabRow |= tabs->tabRect(i).translated(tabs->pos());
    QVERIFY(tabs->rect().contains(tabs->tabRect(0)));
    const QRect client = inForm(form, "TabStrip1Client");
    QList<std::pair<QString, QRect>> window{{u"tabs"_s, tabRow}, {u"client"_s, client}};
    for (const char* name :
         {"Command15", "quan", "ProgressBar1", "linshi", "Command10", "Command11", "Command12", "Command13"})
        window.append({QString::fromLatin1(name), inForm(form, name)});
    checkApart(form.rect(), window);

    QCOMPARE(tabs->count(), 5);
    for (int selected : {2, 0, 4, 3, 1}) {
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(selected).center());
        // A tab shows exactly its page, and the left strip beside it, apart and inside the strip's box.
        const auto pageOf = [&form](int index) {
            return child<QFrame>(form, index < 4 ? u"Frame1_%1"_s.arg(index + 1) : u"MorePage"_s);
        };
        for (int index = 0; index < 5; ++index)
            QCOMPARE(pageOf(index)->isVisible(), index == selected);
        QVERIFY(!child<QFrame>(form, "Frame1_5")->isVisible() || child<QFrame>(form, "Frame1_5")->x() >= form.width());
        QVERIFY(button(form, 15)->isVisible());
        QFrame* page = pageOf(selected);
        QList<std::pair<QString, QRect>> strip{{page->objectName(), page->geometry()}};
        for (const char* name : {"Command1", "Command2", "Command25"}) {
            QVERIFY(child<QWidget>(form, name)->isVisible());
            strip.append({QString::fromLatin1(name), inForm(form, name)});
        }
        checkApart(client, strip);
        // Label1 lies under list by design: it is never seen.
        QList<std::pair<QString, QRect>> controls;
        for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->isVisible() && w->objectName() != u"Label1"_s)
                controls.append({w->objectName(), w->geometry()});
        }
        QVERIFY(controls.size() >= 4);
        checkApart(page->rect(), controls);
    }
}

QTEST_MAIN(TestLayout)
#include "testlayout.moc"
