#include "lineops/htmlstrip.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace lumbrel;
using namespace Qt::StringLiterals;

namespace {

// The two tag patterns run by a regular-expression engine: global replace, greedy, "."
// refusing LF only. Only for the comparison; the command itself uses no engine.
QString referenceStrip(QString text)
{
    static const QRegularExpression opening(u"<[^\\n][^<]*>"_s);
    static const QRegularExpression closing(u"</[^<]*>"_s);
    return text.replace(opening, QString()).replace(closing, QString());
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
    QTest::newRow("a tag spanning lines goes whole, break included")
        << u"x<a href=\"u\"\r\nclass=\"c\">link</a>\r\ny"_s << u"xlink\r\ny"_s;
    QTest::newRow("< then LF starts no tag") << u"a<\nb>c"_s << u"a<\nb>c"_s;
    QTest::newRow("< then CR starts a tag") << u"a<\rb>c"_s << u"ac"_s;
    QTest::newRow("a lone < before another < stays") << u"x < y <b>z</b>"_s << u"x < y z"_s;
    QTest::newRow("the match runs to the last > before the next <") << u"<a>x>y<b>z"_s << u"yz"_s;
    QTest::newRow("the unit after < may be the only >") << u"<>"_s << u"<>"_s;
    QTest::newRow("comment holding a tag loses the tag and the rest") << u"<!-- <b> -->x"_s << u"<!-- x"_s;
    // Long runs that a scan restarting at every "<" would walk again and again.
    QTest::newRow("long run of < before one >") << QString(100000, u'<') + u">"_s << QString(99998, u'<');
    QTest::newRow("many < and no >") << u"<a"_s.repeated(100000) << u"<a"_s.repeated(100000);
    QTest::newRow("long tag body") << u"<"_s + QString(200000, u'x') + u">y"_s << u"y"_s;
}

void TestHtmlStrip::removesTags()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(StripHtmlTags(text), expected);
}

void TestHtmlStrip::agreesWithRegularExpressions()
{
    // Starts on "<" followed by LF, CR, "/", "<" and ">" all occur, and a surrogate pair.
    const QStringList pieces = u"<|<|>|/|a| |\r|\n|\r\n|中|\U0001F600|</|<b>"_s.split(u'|');
    QRandomGenerator random(20240601);
    for (int round = 0; round < 30000; ++round) {
        QString text;
        for (int i = random.bounded(24); i > 0; --i)
            text += pieces[random.bounded(static_cast<int>(pieces.size()))];
        QCOMPARE(StripHtmlTags(text), referenceStrip(text));
    }
}

QTEST_APPLESS_MAIN(TestHtmlStrip)
#include "testhtmlstrip.moc"
