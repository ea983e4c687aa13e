#include "tests/support/formfixture.h"

#include <QApplication>
#include <QProgressBar>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

class TestHostile final : public QObject
{
    Q_OBJECT

private slots:
    void everyCommandSurvivesHostileText_data();
    void everyCommandSurvivesHostileText();
    void rapidClicksLoseNoLine();
};

void TestHostile::everyCommandSurvivesHostileText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("NUL, unpaired surrogates, lone CR and LF")
        << u"a\0b\r\n\0\r\n\0\0a\r\n\xD800"
           u"a\r\n\xDC00\r\nb\xD83D\r\n<\xDFFF>\rb\nc\r\n\r\r\n\n\na"_s;
    QTest::newRow("one line of four million units") << QString(4'000'000, u'a');
    QTest::newRow("many tags and breaks") << u"<<a href=\"x\">a,b</a> 特征符 中\r\n"_s.repeated(20000);
}

void TestHostile::everyCommandSurvivesHostileText()
{
    QFETCH(QString, text);
    Form1 form;
    wire(form);
    // Every command that works on the areas (the fetch and the batch start have suites of their own).
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 23, 25, 26}) {
        for (int b = 1; b <= 6; ++b)
            box(form, b)->setText(u"a3b2ak"_s.mid(b - 1, 1));
        for (const char* name : {"quan", "linshi", "list"})
            area(form, name)->setContent(text);
        form.setStatus(u"-"_s);
        click(form, n);
        // Every command but the shuffle reports; none may leave a half-built area behind.
        if (n != 25)
            QVERIFY2(form.windowTitle() != u"-"_s, qPrintable(u"Command%1"_s.arg(n)));
    }
}

void TestHostile::rapidClicksLoseNoLine()
{
    Form1 form;
    wire(form, true);
    // Same-width, distinct lines: none is a part of another, none holds the keyword.
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines << u"line%1"_s.arg(i, 4, 10, QChar(u'0'));
    area(form, "quan")->setContent(lines.join(u"\r\n"_s));
    box(form, 2)->setText(u"zzz"_s);
    for (int i = 0; i < 10; ++i) {
        for (int n : {25, 9, 1, 2})
            click(form, n);
    }
    QApplication::processEvents();
    // 打乱顺序 moves every line and leaves the title and the bar as they were.
    const QString title = form.windowTitle();
    auto* bar = child<QProgressBar>(form, "ProgressBar1");
    bar->setMaximum(1);
    click(form, 25);
    QStringList after = area(form, "quan")->content().split(u"\r\n"_s, Qt::SkipEmptyParts);
    QVERIFY(after != lines);
    after.sort();
    QCOMPARE(after, lines);
    QCOMPARE(form.windowTitle(), title);
    QCOMPARE(bar->maximum(), 1);
}

QTEST_MAIN(TestHostile)
#include "testhostile.moc"
