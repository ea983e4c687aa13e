#include "lineops/filters.h"
#include "lineops/keywords.h"
#include "tests/support/testhelpers.h"

#include <QTest>

#include <algorithm>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

constexpr LineFolds NoFolds;
const LineFolds FoldChoices[] = {NoFolds,
                                 LineFold::Case,
                                 LineFold::Width,
                                 LineFold::Case | LineFold::Width,
                                 LineFold::Case | LineFold::Width | LineFold::Spaces};

// The keywords the batch job takes, by running its steps on the list as the window does: the
// start button marks a list without "#", then each step reads up to the next CR LF, stops at
// "##" and takes the list off up to the next LF. An empty keyword would halt the job; here it is
// passed over, as the contract says.
QStringList jobKeywords(QString list)
{
    if (!list.contains(u'#')) {
        const QString marker = u"#####"_s;
        list = list + CRLF + marker + CRLF + marker + CRLF + marker;
        list.replace(u"\r\n\r\n"_s, CRLF);
    }
    QStringList taken;
    while (!list.isEmpty()) {
        const qsizetype lineEnd = list.indexOf(CRLF);
        const QString keyword = lineEnd < 0 ? list : list.first(lineEnd);
        if (keyword.contains(u"##"_s))
            break;
        if (!keyword.isEmpty())
            taken.append(keyword);
        const qsizetype lf = list.indexOf(u'\n');
        list = lf < 0 ? QString() : list.sliced(lf + 1);
    }
    return taken;
}

// 去包含 for every keyword on every line, on folded copies.
bool literalContains(const QString& line, const QStringList& keywords, LineFolds folds)
{
    folds &= LineFold::Case | LineFold::Width;
    const QString folded = FoldLine(line, folds);
    return std::any_of(
        keywords.begin(), keywords.end(), [&](const QString& k) { return folded.contains(FoldLine(k, folds)); });
}

struct Parted
{
    QString kept;
    QString removed;
};

Parted literalRemoveAll(const QString& text, const QString& list, LineFolds folds)
{
    const QStringList keywords = jobKeywords(list);
    QStringList kept;
    QStringList removed;
    for (const QString& line : literalLines(text))
        (literalContains(line, keywords, folds) ? removed : kept).append(line);
    return {literalJoin(kept), literalJoin(removed)};
}

// `count` lines of up to `maxLength` units from `alphabet`, joined with CR LF.
QString randomLines(QRandomGenerator& rng, const QString& alphabet, int count, int maxLength)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(randomText(rng, alphabet, rng.bounded(maxLength + 1)));
    return lines.join(CRLF) + (rng.bounded(2) ? CRLF : QString());
}

struct KeywordRow
{
    QString text;
    QString list;
    LineFolds folds;
    QString kept; // or the refusal
    QString removed;
};

} // namespace

Q_DECLARE_METATYPE(KeywordRow)

class TestKeywordOps final : public QObject
{
    Q_OBJECT

private slots:
    void batchKeywords_data();
    void batchKeywords();
    void batchKeywordsMatchAsTheJobsDo();
    void removeAll_data();
    void removeAll();
    void longListsAgreeToo();
    void agreesWithLiteralVersion_data();
    void agreesWithLiteralVersion();
    void agreesWithTheBatchJob();
    void hashedStatesAgree();
};

void TestKeywordOps::batchKeywords_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("keywords");
    QTest::newRow("one a line, split at CR LF") << u"a\r\nb c\r\n"_s << QStringList{u"a"_s, u"b c"_s};
    QTest::newRow("empty lines give none") << u"\r\na\r\n\r\n\r\nb"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("spaces are kept") << u" a \r\n  "_s << QStringList{u" a "_s, u"  "_s};
    QTest::newRow("copies stay") << u"a\r\na"_s << QStringList{u"a"_s, u"a"_s};
    QTest::newRow("the first line holding ## ends the list") << u"a\r\nx##y\r\nb"_s << QStringList{u"a"_s};
    QTest::newRow("the start button's markers end it") << u"a\r\n#####\r\n#####"_s << QStringList{u"a"_s};
    QTest::newRow("a single # is a character") << u"a#\r\n#b"_s << QStringList{u"a#"_s, u"#b"_s};
    QTest::newRow("a lone CR is a character") << u"a\rb\r\n\r"_s << QStringList{u"a\rb"_s, u"\r"_s};
    QTest::newRow("a lone LF: what follows the last one") << u"a\nb\nc\r\nd"_s << QStringList{u"c"_s, u"d"_s};
    QTest::newRow("a line ending with a lone LF: from the one before it")
        << u"a\nb\n\r\nc"_s << QStringList{u"b\n"_s, u"c"_s};
    QTest::newRow("a line that is one LF") << u"\n\r\nc\n"_s << QStringList{u"\n"_s, u"c\n"_s};
    QTest::newRow("## anywhere in a line with lone LFs ends the list")
        << u"a\r\nb\n##\nc\r\nd"_s << QStringList{u"a"_s};
    QTest::newRow("no list") << QString() << QStringList{};
    QTest::newRow("only empty lines") << u"\r\n\r\n"_s << QStringList{};
}

void TestKeywordOps::batchKeywords()
{
    QFETCH(QString, list);
    QFETCH(QStringList, keywords);
    QCOMPARE(BatchKeywords(list), keywords);
}

void TestKeywordOps::batchKeywordsMatchAsTheJobsDo()
{
    // The job takes a line with lone LFs several times; BatchKeywords gives the shortest of
    // them. A line must contain one of the job's keywords exactly when it contains one of these.
    QRandomGenerator rng(7);
    const QString alphabet = u"ab#\r\n\n\n"_s;
    for (int round = 0; round < 3000; ++round) {
        const QString list = randomText(rng, alphabet, rng.bounded(14));
        const QStringList job = jobKeywords(list);
        const QStringList ours = BatchKeywords(list);
        QCOMPARE(ours.isEmpty(), job.isEmpty());
        for (const QString& k : ours)
            QVERIFY2(literalContains(k, job, NoFolds), list.toUtf8().toPercentEncoding().constData());
        for (int k = 0; k < 10; ++k) {
            const QString line = randomText(rng, u"ab#\r\n"_s, rng.bounded(8));
            QCOMPARE(literalContains(line, ours, NoFolds), literalContains(line, job, NoFolds));
        }
    }
}

void TestKeywordOps::removeAll_data()
{
    QTest::addColumn<KeywordRow>("row");
    const LineFolds caseFold = LineFold::Case;
    const LineFolds widthFold = LineFold::Width;
    const LineFolds spacesFold = LineFold::Spaces;
    QTest::newRow("kept and removed lines keep their order")
        << KeywordRow{u"1a\r\n2\r\n3b\r\n4\r\n5a"_s, u"a\r\nb"_s, NoFolds, u"2\r\n4\r\n"_s, u"1a\r\n3b\r\n5a\r\n"_s};
    QTest::newRow("a final CR LF ends the last line")
        << KeywordRow{u"xa\r\ny\r\n"_s, u"a"_s, NoFolds, u"y\r\n"_s, u"xa\r\n"_s};
    QTest::newRow("empty lines stay, none is added")
        << KeywordRow{u"\r\na\r\n\r\nb"_s, u"a"_s, NoFolds, u"\r\n\r\nb\r\n"_s, u"a\r\n"_s};
    QTest::newRow("every line removed leaves an empty text")
        << KeywordRow{u"ab\r\nba"_s, u"a"_s, NoFolds, QString(), u"ab\r\nba\r\n"_s};
    QTest::newRow("case counts without folds")
        << KeywordRow{u"Apple\r\napple"_s, u"apple"_s, NoFolds, u"Apple\r\n"_s, u"apple\r\n"_s};
    QTest::newRow("spaces count") << KeywordRow{u"a b\r\nab"_s, u"a b"_s, NoFolds, u"ab\r\n"_s, u"a b\r\n"_s};
    QTest::newRow("IgnoreCase folds both sides") << KeywordRow{
        u"APPLE pie\r\nΣ\r\nbanana"_s, u"Apple\r\nς"_s, caseFold, u"banana\r\n"_s, u"APPLE pie\r\nΣ\r\n"_s};
    QTest::newRow("IgnoreWidth folds full-width forms")
        << KeywordRow{u"ＡＢ１\r\nAB1\r\nab1"_s, u"AB１"_s, widthFold, u"ab1\r\n"_s, u"ＡＢ１\r\nAB1\r\n"_s};
    QTest::newRow("IgnoreSpaces does not apply to keywords")
        << KeywordRow{u"xa\r\nx a"_s, u" a"_s, spacesFold, u"xa\r\n"_s, u"x a\r\n"_s};
    QTest::newRow("a keyword never reaches across a line break")
        << KeywordRow{u"ab\r\ncd"_s, u"b\r"_s, NoFolds, u"ab\r\ncd\r\n"_s, QString()};
    QTest::newRow("a lone CR keyword matches a lone CR inside a line")
        << KeywordRow{u"a\rb\r\ncd"_s, u"\r"_s, NoFolds, u"cd\r\n"_s, u"a\rb\r\n"_s};
    QTest::newRow("a lone LF keyword matches a lone LF inside a line")
        << KeywordRow{u"a\nb\r\ncd"_s, u"x\n\n"_s, NoFolds, u"cd\r\n"_s, u"a\nb\r\n"_s};
    QTest::newRow("keywords after the ## line are not used")
        << KeywordRow{u"a\r\nb"_s, u"a\r\n##\r\nb"_s, NoFolds, u"b\r\n"_s, u"a\r\n"_s};
    QTest::newRow("NUL is a unit like any other")
        << KeywordRow{u"a\0b\r\nab"_s, u"\0"_s, NoFolds, u"ab\r\n"_s, u"a\0b\r\n"_s};
    QTest::newRow("a lone high surrogate matches the first half of a pair")
        << KeywordRow{u"\U00010400\r\n\xDC00"_s, u"\xD801"_s, NoFolds, u"\xDC00\r\n"_s, u"\U00010400\r\n"_s};
    QTest::newRow("IgnoreCase folds a pair above U+FFFF as one character") << KeywordRow{
        u"\U00010400x\r\n\U00010428"_s, u"\U00010428x"_s, caseFold, u"\U00010428\r\n"_s, u"\U00010400x\r\n"_s};
    QTest::newRow("IgnoreCase leaves an unpaired surrogate as it is") << KeywordRow{
        u"\xD801x\r\n\xD801\U00010400"_s, u"\xD801\xD801"_s, caseFold, u"\xD801x\r\n"_s, u"\xD801\U00010400\r\n"_s};
    QTest::newRow("a keyword longer than every line")
        << KeywordRow{u"ab\r\nabc"_s, u"abcd"_s, NoFolds, u"ab\r\nabc\r\n"_s, QString()};
    QTest::newRow("an empty working text is refused first")
        << KeywordRow{QString(), QString(), NoFolds, NoWorkingText, QString()};
    QTest::newRow("a list of empty lines gives no keyword")
        << KeywordRow{u"a"_s, u"\r\n\r\n"_s, NoFolds, NoKeywords, QString()};
    QTest::newRow("a list starting with ## gives no keyword")
        << KeywordRow{u"a"_s, u"##\r\na"_s, NoFolds, NoKeywords, QString()};
}

void TestKeywordOps::removeAll()
{
    QFETCH(KeywordRow, row);
    RecordingMeter meter;
    const ListOpResult r = RemoveAllKeywords(row.text, row.list, row.folds, meter);
    if (r.refused()) {
        QCOMPARE(r.refusal, row.kept);
        QCOMPARE(meter.started, -1);
        return;
    }
    QCOMPARE(r.text, row.kept);
    QCOMPARE(r.setAside.value_or(u"(none)"_s), row.removed);
    QCOMPARE(r.kept, literalLines(row.kept).size());
    QCOMPARE(r.removed, literalLines(row.removed).size());
    // The reference agrees with every row.
    const Parted expected = literalRemoveAll(row.text, row.list, row.folds);
    QCOMPARE(r.text, expected.kept);
    QCOMPARE(*r.setAside, expected.removed);
}

void TestKeywordOps::longListsAgreeToo()
{
    // Long enough for both cores to scan, a half each, with and without a final CR LF.
    QRandomGenerator rng(17);
    for (const QString& end : {QString(), CRLF}) {
        QString text = randomLines(rng, u"abcd"_s, 20000, 9);
        text.chop(text.endsWith(CRLF) ? 2 : 0);
        text += end;
        const QString list = randomLines(rng, u"abcd"_s, 40, 5);
        RecordingMeter meter;
        const ListOpResult r = RemoveAllKeywords(text, list, NoFolds, meter);
        QCOMPARE(meter.started, literalLines(text).size());
        QCOMPARE(meter.finished, 1);
        const Parted expected = literalRemoveAll(text, list, NoFolds);
        QCOMPARE(r.text, expected.kept);
        QCOMPARE(*r.setAside, expected.removed);
        QCOMPARE(r.kept + r.removed, literalLines(text).size());
    }
}

void TestKeywordOps::agreesWithLiteralVersion_data()
{
    QTest::addColumn<QString>("textAlphabet");
    QTest::addColumn<QString>("listAlphabet");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("keywordLines");
    QTest::newRow("two letters: deep failure chains, prefixes and suffixes of each other")
        << u"ab"_s << u"ab\r\n"_s << 12 << 30;
    QTest::newRow("one-character keywords among longer ones") << u"abcd"_s << u"abcd\r\n\r\n"_s << 8 << 10;
    QTest::newRow("case and width variants") << u"aAａＡ bB"_s << u"aAａＡ b\r\n"_s << 8 << 12;
    QTest::newRow("lone CR and LF, NUL, #") << u"a\r\n\0#"_s << u"a\r\n\n\0#"_s << 10 << 12;
    QTest::newRow("surrogates, paired and not, foldable pairs") << u"\xD801\xDC00\xDC28\xD83D\xDE00"
                                                                   u"a"_s
                                                                << u"\xD801\xDC00\xDC28\xD83D\xDE00"
                                                                   u"a\r\n"_s
                                                                << 8 << 12;
    QTest::newRow("keywords longer than the lines") << u"ab"_s << u"ab\r\n"_s << 3 << 40;
}

void TestKeywordOps::agreesWithLiteralVersion()
{
    QFETCH(QString, textAlphabet);
    QFETCH(QString, listAlphabet);
    QFETCH(int, lineLength);
    QFETCH(int, keywordLines);
    QRandomGenerator rng(11);
    for (int round = 0; round < 150; ++round) {
        const QString text = randomLines(rng, textAlphabet, 1 + rng.bounded(30), lineLength);
        const QString list = randomText(rng, listAlphabet, rng.bounded(keywordLines * 4));
        for (LineFolds folds : FoldChoices) {
            NullProgressMeter meter;
            const ListOpResult r = RemoveAllKeywords(text, list, folds, meter);
            if (text.isEmpty()) {
                QCOMPARE(r.refusal, NoWorkingText);
                continue;
            }
            if (BatchKeywords(list).isEmpty()) {
                QCOMPARE(r.refusal, NoKeywords);
                continue;
            }
            const Parted expected = literalRemoveAll(text, list, folds);
            QCOMPARE(r.text, expected.kept);
            QCOMPARE(*r.setAside, expected.removed);
        }
    }
}

void TestKeywordOps::agreesWithTheBatchJob()
{
    // The job itself: 去包含 once per keyword, each run's kept lines the next run's text. Four
    // empty lines keep it above its four-line minimum; the job front-joins, so its kept lines
    // are compared in sorted order.
    QRandomGenerator rng(5);
    for (int round = 0; round < 200; ++round) {
        const QString text = randomLines(rng, u"abc \r\n"_s, 2 + rng.bounded(25), 7);
        const QString list = randomText(rng, u"abc \r\n\r\n"_s, rng.bounded(30));
        const QStringList keywords = jobKeywords(list);
        if (keywords.isEmpty())
            continue;
        QString remaining = text + (text.endsWith(CRLF) ? QString() : CRLF) + u"\r\n\r\n\r\n\r\n"_s;
        NullProgressMeter meter;
        for (const QString& keyword : keywords) {
            const LineOpResult step = RemoveContaining(remaining, keyword, meter);
            QVERIFY(!step.refused());
            remaining = step.text;
        }
        QStringList jobKept = literalLines(remaining);
        jobKept.removeAll(QString());
        const ListOpResult r = RemoveAllKeywords(text, list, NoFolds, meter);
        QStringList ours = literalLines(r.text);
        ours.removeAll(QString());
        std::sort(jobKept.begin(), jobKept.end());
        std::sort(ours.begin(), ours.end());
        QCOMPARE(ours, jobKept);
    }
}

void TestKeywordOps::hashedStatesAgree()
{
    // Keywords over many distinct units make the double array's search work hard; with no
    // search at all every state keeps a hash table. Both layouts answer alike.
    QRandomGenerator rng(3);
    for (int round = 0; round < 40; ++round) {
        QStringList owned;
        for (int k = 0; k < 200; ++k) {
            QString key;
            for (int u = 1 + rng.bounded(6); u > 0; --u)
                key.append(QChar(static_cast<char16_t>(rng.bounded(2) ? u'a' + rng.bounded(3) : rng.bounded(0x10000))));
            owned.append(key);
        }
        QList<QStringView> keys(owned.begin(), owned.end());
        for (LineFolds folds : FoldChoices) {
            const KeywordSet dense(keys, folds);
            const KeywordSet hashed(keys, folds, 0);
            QVERIFY(hashed.hashedStates() > 0);
            QCOMPARE(hashed.states(), dense.states());
            for (int line = 0; line < 100; ++line) {
                QString text = randomText(rng, u"abc"_s, rng.bounded(10));
                if (rng.bounded(2))
                    text.insert(rng.bounded(static_cast<int>(text.size()) + 1),
                                owned[rng.bounded(static_cast<int>(owned.size()))]);
                const bool expected = literalContains(text, owned, folds);
                QCOMPARE(dense.foundIn(text), expected);
                QCOMPARE(hashed.foundIn(text), expected);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestKeywordOps)
#include "testkeywordops.moc"
