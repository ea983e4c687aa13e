#include "lineops/htmlstrip.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace lumbrel;

namespace {

// The two tag patterns run by a regular-expression engine: global replace, greedy, "."
// refusing LF only. Only for the comparison; the command itself uses no engine.
QString referenceStrip(QString text)
{
    static const QRegularExpression opening(QStringLiteral("<[^\\n][^<]*>"));
    static const QRegularExpression closing(QStringLiteral("</[^<]*>"));
    text.replace(opening, QString());
    text.replace(closing, QString());
    return text;
}

} // namespace

class TestHtmlStrip final : public QObject
{
    Q_OBJECT

private slots:
    void removesTags_data();
    void removesTags();
    void agreesWithRegularExpressions();
};

void TestHtmlStrip::removesTags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bold word becomes the bare word") << QStringLiteral("<b>word</b>") << QStringLiteral("word");
    QTest::newRow("a tag spanning lines goes whole, break included")
        << QStringLiteral("x<a href=\"u\"\r\nclass=\"c\">link</a>\r\ny") << QStringLiteral("xlink\r\ny");
    QTest::newRow("line breaks between tags stay")
        << QStringLiteral("<p>a</p>\r\n<p>b</p>") << QStringLiteral("a\r\nb");
    QTest::newRow("< then LF starts no tag") << QStringLiteral("a<\nb>c") << QStringLiteral("a<\nb>c");
    QTest::newRow("< then CR starts a tag") << QStringLiteral("a<\rb>c") << QStringLiteral("ac");
    QTest::newRow("a lone < before another < stays") << QStringLiteral("x < y <b>z</b>") << QStringLiteral("x < y z");
    QTest::newRow("a > without < stays") << QStringLiteral("a > b") << QStringLiteral("a > b");
    QTest::newRow("two < in a row go with the tag") << QStringLiteral("<<b>text") << QStringLiteral("text");
    QTest::newRow("the match runs to the last > before the next <")
        << QStringLiteral("<a>x>y<b>z") << QStringLiteral("yz");
    QTest::newRow("the unit after < may be the only >") << QStringLiteral("<>") << QStringLiteral("<>");
    QTest::newRow("<> then > is a tag") << QStringLiteral("<>>x") << QStringLiteral("x");
    QTest::newRow("closing tag with nothing inside") << QStringLiteral("a</>b") << QStringLiteral("ab");
    QTest::newRow("comment is a tag") << QStringLiteral("<!-- note -->x") << QStringLiteral("x");
    QTest::newRow("comment holding a tag loses the tag and the rest")
        << QStringLiteral("<!-- <b> -->x") << QStringLiteral("<!-- x");
    QTest::newRow("script body stays") << QStringLiteral("<script>var a=1;</script>") << QStringLiteral("var a=1;");
    QTest::newRow("entities are not decoded") << QStringLiteral("<i>&amp;</i>") << QStringLiteral("&amp;");
    QTest::newRow("< at the very end stays") << QStringLiteral("ab<") << QStringLiteral("ab<");
    QTest::newRow("empty text stays empty") << QString() << QString();
    QTest::newRow("text without tags is unchanged") << QStringLiteral("手机\r\n电话") << QStringLiteral("手机\r\n电话");
    // Long runs that a scan restarting at every "<" would walk again and again.
    QTest::newRow("long run of < before one >") << QString(100000, u'<') + QStringLiteral(">") << QString(99998, u'<');
    const QString manyOpen = QStringLiteral("<a").repeated(100000);
    QTest::newRow("many < and no >") << manyOpen << manyOpen;
    QTest::newRow("long tag body") << QStringLiteral("<") + QString(200000, u'x') + QStringLiteral(">y")
                                   << QStringLiteral("y");
}

void TestHtmlStrip::removesTags()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(StripHtmlTags(text), expected);
}

void TestHtmlStrip::agreesWithRegularExpressions()
{
    // Snippets over the units that matter to the patterns, line breaks and a surrogate pair
    // included, so starts on "<" followed by LF, CR, "/", "<" and ">" all occur.
    const QStringList pieces = {
        QStringLiteral("<"),
        QStringLiteral("<"),
        QStringLiteral(">"),
        QStringLiteral("/"),
        QStringLiteral("a"),
        QStringLiteral(" "),
        QStringLiteral("\r"),
        QStringLiteral("\n"),
        QStringLiteral("\r\n"),
        QStringLiteral("中"),
        QStringLiteral("\U0001F600"),
        QStringLiteral("</"),
        QStringLiteral("<b>"),
    };
    QRandomGenerator random(20240601);
    for (int round = 0; round < 30000; ++round) {
        QString text;
        const int length = static_cast<int>(random.bounded(24));
        for (int i = 0; i < length; ++i)
            text += pieces[static_cast<qsizetype>(random.bounded(static_cast<quint32>(pieces.size())))];
        const QString expected = referenceStrip(text);
        const QString actual = StripHtmlTags(text);
        if (actual != expected) {
            QString shown = text;
            shown.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
            QFAIL(qPrintable(QStringLiteral("differs on \"%1\"").arg(shown)));
        }
    }
}

QTEST_APPLESS_MAIN(TestHtmlStrip)
#include "testhtmlstrip.moc"
