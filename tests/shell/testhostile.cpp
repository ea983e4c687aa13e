#include "shell/form1.h"
#include "tests/support/formfixture.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTimer>

using namespace lumbrel;
using namespace lumbrel::testing;

namespace {

// Every command that works on the areas (the fetch and the batch start have suites of their own).
const QList<int> Commands = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 23, 25, 26};

// Parameters that let each command do real work.
void fillBoxes(Form1& form)
{
    box(form, 1)->setText(QStringLiteral("a"));
    box(form, 2)->setText(QStringLiteral("3"));
    box(form, 3)->setText(QStringLiteral("b"));
    box(form, 4)->setText(QStringLiteral("2"));
    box(form, 5)->setText(QStringLiteral("a"));
    box(form, 6)->setText(QStringLiteral("k"));
}

QString repeatLine(const QString& line, int times)
{
    QString s;
    for (int i = 0; i < times; ++i)
        s += line + QStringLiteral("\r\n");
    return s;
}

} // namespace

class TestHostile final : public QObject
{
    Q_OBJECT

private slots:
    void everyCommandSurvivesHostileText_data();
    void everyCommandSurvivesHostileText();
    void refusalsOnEmptyAreasChangeNothing();
    void rapidRepeatedClicksKeepEveryLine();
    void closingTheWindowDuringABatchJobIsSafe();
};

void TestHostile::everyCommandSurvivesHostileText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("NUL characters") << QString::fromUtf16(u"a\0b\r\n\0\r\n\0\0a\r\n", 12);
    QTest::newRow("unpaired surrogates") << QString::fromUtf16(u"\xD800" u"a\r\n\xDC00\r\nb\xD83D\r\n<\xDFFF>", 15);
    QTest::newRow("lone CR and LF") << QStringLiteral("a\rb\nc\r\n\r\r\n\n\na");
    QTest::newRow("one line of ten million units") << QString(10'000'000, QChar(u'a'));
    QTest::newRow("many tags and breaks") << repeatLine(QStringLiteral("<<a href=\"x\">a,b</a> 特征符 中"), 20000);
}

void TestHostile::everyCommandSurvivesHostileText()
{
    QFETCH(QString, text);
    Form1 form;
    for (int n : Commands) {
        fillBoxes(form);
        area(form, "quan")->setContent(text);
        area(form, "linshi")->setContent(text);
        area(form, "list")->setContent(text);
        form.setStatus(QStringLiteral("-"));
        click(form, n);
        // Every command but the shuffle reports; none may leave a half-built area behind.
        if (n != 25)
            QVERIFY2(form.windowTitle() != QStringLiteral("-"), qPrintable(QStringLiteral("Command%1").arg(n)));
    }
}

void TestHostile::refusalsOnEmptyAreasChangeNothing()
{
    Form1 form;
    for (int n : Commands) {
        if (n == 10 || n == 11 || n == 12 || n == 13 || n == 15)
            continue; // the transfers always act
        area(form, "quan")->setContent({});
        area(form, "linshi")->setContent(QStringLiteral("keep"));
        click(form, n);
        // Commands that set lines aside may empty linshi only when they ran; on an empty quan
        // the filters that run replace it, the refusing ones leave it.
        const QString linshi = area(form, "linshi")->content();
        QVERIFY2(linshi == QStringLiteral("keep") || linshi.isEmpty(), qPrintable(QStringLiteral("Command%1").arg(n)));
    }
}

void TestHostile::rapidRepeatedClicksKeepEveryLine()
{
    Form1 form;
    form.show();
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += QStringLiteral("line%1\r\n").arg(i);
    area(form, "quan")->setContent(text);
    box(form, 2)->setText(QStringLiteral("zzz"));
    // Nothing contains the keyword: each click only reverses and adds group breaks.
    for (int i = 0; i < 20; ++i)
        click(form, 9);
    QApplication::processEvents();
    const QString after = area(form, "quan")->content();
    for (int i = 0; i < 3000; i += 499)
        QVERIFY(after.contains(QStringLiteral("line%1\r\n").arg(i)));
    QCOMPARE(area(form, "linshi")->content(), QString());
}

void TestHostile::closingTheWindowDuringABatchJobIsSafe()
{
    auto* form = new Form1;
    QPointer<Form1> guard(form);
    form->show();
    area(*form, "quan")->setContent(repeatLine(QStringLiteral("abc"), 10));
    area(*form, "list")->setContent(QStringLiteral("a\r\nb\r\n"));
    click(*form, 24);
    QTest::qWait(350);
    form->close();
    delete form;
    // Pending ticks die with the window's timers.
    QTest::qWait(300);
    QVERIFY(guard.isNull());
}

QTEST_MAIN(TestHostile)
#include "testhostile.moc"
