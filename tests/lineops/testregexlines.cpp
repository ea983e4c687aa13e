#include "lineops/regexlines.h"
#include "tests/support/testhelpers.h"

#include <QTest>

#include <re2/re2.h>
#include <string>
#include <vector>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

const QString None = u"(none)"_s;

// A line as RE2 reads it: UTF-8, each unpaired surrogate as U+FFFD; `startOf[k]` is the byte
// where unit k's character starts (one more entry: the end).
struct Utf8Line
{
    std::string bytes;
    std::vector<qsizetype> startOf;
};

Utf8Line utf8Line(const QString& line)
{
    Utf8Line r;
    for (qsizetype i = 0; i < line.size(); ++i) {
        r.startOf.push_back(static_cast<qsizetype>(r.bytes.size()));
        QString one(line[i]);
        if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
            one += line[i + 1];
            r.startOf.push_back(static_cast<qsizetype>(r.bytes.size()));
            ++i;
        } else if (line[i].isSurrogate()) {
            one = QString(QChar(0xFFFD));
        }
        r.bytes += one.toStdString();
    }
    r.startOf.push_back(static_cast<qsizetype>(r.bytes.size()));
    return r;
}

// The units of bytes [from, to): a boundary inside a character takes the whole character.
QString unitsOf(const QString& line, const Utf8Line& u, qsizetype from, qsizetype to)
{
    qsizetype a = 0;
    for (qsizetype k = 1; k < line.size(); ++k) {
        if (u.startOf[k] <= from && u.startOf[k] != u.startOf[k - 1])
            a = k;
    }
    qsizetype b = a;
    while (b < line.size() && u.startOf[b] < to)
        ++b;
    // A pair's second unit starts where its first does.
    while (b < line.size() && u.startOf[b] == u.startOf[b - 1])
        ++b;
    return line.sliced(a, b - a);
}

// The commands written out with RE2 on one line at a time.
struct Literal
{
    QString text;
    QString aside = None;
};

Literal literalRegex(const QString& text, const QString& pattern, RegexMode mode, bool ignoreCase)
{
    RE2::Options options;
    options.set_log_errors(false);
    options.set_case_sensitive(!ignoreCase);
    const RE2 re(utf8Line(pattern).bytes, options);
    const int group = re.NumberOfCapturingGroups() > 0 ? 1 : 0;
    QStringList kept;
    QStringList aside;
    for (const QString& line : literalLines(text)) {
        const Utf8Line u = utf8Line(line);
        const re2::StringPiece all(u.bytes);
        if (mode != RegexMode::Extract) {
            const bool hit = RE2::PartialMatch(all, re);
            (hit == (mode == RegexMode::Keep) ? kept : aside).append(line);
            continue;
        }
        std::size_t pos = 0;
        re2::StringPiece m[2];
        while (pos <= all.size() && re.Match(all, pos, all.size(), RE2::UNANCHORED, m, 1 + group)) {
            const auto at = static_cast<std::size_t>(m[0].data() - all.data());
            if (m[group].data() != nullptr && !m[group].empty()) {
                const qsizetype from = m[group].data() - all.data();
                kept.append(unitsOf(line, u, from, from + static_cast<qsizetype>(m[group].size())));
            }
            if (!m[0].empty()) {
                pos = at + m[0].size();
            } else if (at < all.size()) {
                const auto lead = static_cast<unsigned char>(all[at]);
                pos = at + (lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4);
            } else {
                break;
            }
        }
    }
    if (mode == RegexMode::Extract)
        return {literalJoin(kept)};
    return {literalJoin(kept), literalJoin(aside)};
}

struct RegexRow
{
    QString text;
    QString pattern;
    RegexMode mode = RegexMode::Keep;
    bool ignoreCase = false;
    QString expected; // or the refusal
    QString aside;    // or None
};

} // namespace

Q_DECLARE_METATYPE(RegexRow)

class TestRegexLines final : public QObject
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void commands_data();
    void commands();
    void counts();
    void agreesWithLineByLineRe2_data();
    void agreesWithLineByLineRe2();
    void explodingPatternOnAHugeLine();
    void extractStopsWhereSearchesRereadALine();
};

void TestRegexLines::refusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("an empty pattern first") << QString() << QString() << NoPattern;
    QTest::newRow("an invalid pattern with RE2's reason") << u"a"_s << u"(a"_s << BadPattern + u"missing ): (a"_s;
    QTest::newRow("the pattern is checked before the text")
        << QString() << u"a{2,1}"_s << BadPattern + u"invalid repetition size: {2,1}"_s;
    QTest::newRow("a backreference is not RE2's syntax")
        << u"aa"_s << u"(a)\\1"_s << BadPattern + u"invalid escape sequence: \\1"_s;
    QTest::newRow("a pattern beyond the memory budget")
        << u"a"_s << u"\\pL{1000}\\pL{1000}"_s << BadPattern + u"pattern too large - compile failed"_s;
    QTest::newRow("then an empty working text") << QString() << u"a"_s << NoWorkingText;
}

void TestRegexLines::refusals()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QString, refusal);
    for (RegexMode mode : {RegexMode::Keep, RegexMode::Remove, RegexMode::Extract}) {
        RecordingMeter meter;
        const ListOpResult r = RegexLines(text, pattern, mode, false, meter);
        QCOMPARE(r.refusal, refusal);
        QCOMPARE(meter.started, -1);
    }
}

void TestRegexLines::commands_data()
{
    QTest::addColumn<RegexRow>("row");
    const RegexMode keep = RegexMode::Keep;
    const RegexMode remove = RegexMode::Remove;
    const RegexMode extract = RegexMode::Extract;
    QTest::newRow("keep: lines with a match stay in order, the others go aside")
        << RegexRow{u"a1\r\nb\r\nc123\r\nd"_s, u"[0-9]"_s, keep, false, u"a1\r\nc123\r\n"_s, u"b\r\nd\r\n"_s};
    QTest::newRow("remove: lines with a match go aside")
        << RegexRow{u"a1\r\nb\r\nc123\r\nd\r\n"_s, u"[0-9]{3,}"_s, remove, false, u"a1\r\nb\r\nd\r\n"_s, u"c123\r\n"_s};
    QTest::newRow("^ and $ meet every line's ends")
        << RegexRow{u"ab\r\nb\r\ncb\r\nbc"_s, u"^b|^c.$"_s, keep, false, u"b\r\ncb\r\nbc\r\n"_s, u"ab\r\n"_s};
    QTest::newRow("\\A and \\z are the line's ends too")
        << RegexRow{u"ab\r\nb\r\nba"_s, u"\\Ab\\z"_s, keep, false, u"b\r\n"_s, u"ab\r\nba\r\n"_s};
    QTest::newRow("(?-m) leaves ^ at the line's start")
        << RegexRow{u"ab\r\nb"_s, u"(?-m)^b"_s, keep, false, u"b\r\n"_s, u"ab\r\n"_s};
    QTest::newRow("an empty line matches ^$")
        << RegexRow{u"a\r\n\r\nb"_s, u"^$"_s, remove, false, u"a\r\nb\r\n"_s, CRLF};
    QTest::newRow(". never crosses a line break")
        << RegexRow{u"a\r\nb"_s, u"a.b|a..b"_s, keep, false, QString(), u"a\r\nb\r\n"_s};
    QTest::newRow("(?s). and classes never cross it either")
        << RegexRow{u"a\r\nb"_s, u"(?s)a.b|a[^x]b|a\\sb|a\\n?b|a\\x0Db"_s, keep, false, QString(), u"a\r\nb\r\n"_s};
    QTest::newRow("\\C matches bytes, not the line break")
        << RegexRow{u"a\r\nb\r\nab"_s, u"a\\Cb|a\\C\\Cb"_s, keep, false, QString(), u"a\r\nb\r\nab\r\n"_s};
    QTest::newRow("a lone LF is a character of its line, . does not match it")
        << RegexRow{u"a\nb\r\naxb"_s, u"a.b"_s, keep, false, u"axb\r\n"_s, u"a\nb\r\n"_s};
    QTest::newRow("\\n matches a lone LF")
        << RegexRow{u"a\nb\r\naxb"_s, u"a\\nb"_s, keep, false, u"a\nb\r\n"_s, u"axb\r\n"_s};
    QTest::newRow("(?m)^ matches after a lone LF, ^ alone does not")
        << RegexRow{u"a\nb\r\nb"_s, u"(?m)^b"_s, keep, false, u"a\nb\r\nb\r\n"_s, QString()};
    QTest::newRow("^ alone: the line's start only")
        << RegexRow{u"a\nb\r\nb"_s, u"^b"_s, keep, false, u"b\r\n"_s, u"a\nb\r\n"_s};
    QTest::newRow("a lone CR is an ordinary character")
        << RegexRow{u"a\rb"_s, u"a.b"_s, keep, false, u"a\rb\r\n"_s, QString()};
    QTest::newRow("ignoreCase") << RegexRow{u"ABC\r\nabd"_s, u"abc"_s, keep, true, u"ABC\r\n"_s, u"abd\r\n"_s};
    QTest::newRow("case counts without it")
        << RegexRow{u"ABC\r\nabc"_s, u"abc"_s, keep, false, u"abc\r\n"_s, u"ABC\r\n"_s};
    QTest::newRow("a pair above U+FFFF is one character")
        << RegexRow{u"\U0001F600\r\nab"_s, u"^.$"_s, keep, false, u"\U0001F600\r\n"_s, u"ab\r\n"_s};
    QTest::newRow("an unpaired surrogate reads as U+FFFD and is kept as it is")
        << RegexRow{u"a\xD800\r\nb"_s, u"\\x{FFFD}"_s, keep, false, u"a\xD800\r\n"_s, u"b\r\n"_s};
    QTest::newRow("NUL is a character") << RegexRow{
        u"a\0b\r\nab"_s, u"a\\x00b"_s, keep, false, u"a\0b\r\n"_s, u"ab\r\n"_s};
    QTest::newRow("a backtracking-hostile pattern is an ordinary one")
        << RegexRow{u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac\r\naab"_s,
                    u"^(a|aa)*b$"_s,
                    keep,
                    false,
                    u"aab\r\n"_s,
                    u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac\r\n"_s};
    QTest::newRow("extract: every match, one a line, the temporary text stays")
        << RegexRow{u"a12b3\r\nx\r\n45"_s, u"[0-9]+"_s, extract, false, u"12\r\n3\r\n45\r\n"_s, None};
    QTest::newRow("extract: the first group's text")
        << RegexRow{u"a1=x b2=y"_s, u"([a-z])[0-9]=([a-z])"_s, extract, false, u"a\r\nb\r\n"_s, None};
    QTest::newRow("extract: a group that took no part gives nothing")
        << RegexRow{u"ab"_s, u"(a)|b"_s, extract, false, u"a\r\n"_s, None};
    QTest::newRow("extract: empty matches give nothing and move on one character")
        << RegexRow{u"axxb\U0001F600x"_s, u"x*"_s, extract, false, u"xx\r\nx\r\n"_s, None};
    QTest::newRow("extract: an empty group gives nothing")
        << RegexRow{u"aa"_s, u"a()"_s, extract, false, QString(), None};
    QTest::newRow("extract: matches never reach across lines")
        << RegexRow{u"ab\r\ncd"_s, u"[a-d]+"_s, extract, false, u"ab\r\ncd\r\n"_s, None};
    QTest::newRow("extract: the original units, an unpaired surrogate too")
        << RegexRow{u"x\xD800y"_s, u".+"_s, extract, false, u"x\xD800y\r\n"_s, None};
    QTest::newRow("extract: a byte match takes its whole character")
        << RegexRow{u"中a"_s, u"\\C"_s, extract, false, u"中\r\n中\r\n中\r\na\r\n"_s, None};
    QTest::newRow("extract: no match at all gives an empty text")
        << RegexRow{u"abc"_s, u"[0-9]"_s, extract, false, QString(), None};
}

void TestRegexLines::commands()
{
    QFETCH(RegexRow, row);
    RecordingMeter meter;
    const ListOpResult r = RegexLines(row.text, row.pattern, row.mode, row.ignoreCase, meter);
    QVERIFY2(!r.refused(), qPrintable(r.refusal));
    QCOMPARE(r.text, row.expected);
    QCOMPARE(r.setAside.value_or(None), row.aside);
    QCOMPARE(meter.started, literalLines(row.text).size());
    QCOMPARE(meter.finished, 1);
    // The line-by-line reference agrees with every row.
    const Literal expected = literalRegex(row.text, row.pattern, row.mode, row.ignoreCase);
    QCOMPARE(r.text, expected.text);
    QCOMPARE(r.setAside.value_or(None), expected.aside);
}

void TestRegexLines::counts()
{
    NullProgressMeter meter;
    const QString text = u"a1\r\nb\r\nc2\r\n"_s;
    const ListOpResult kept = RegexLines(text, u"[0-9]"_s, RegexMode::Keep, false, meter);
    QCOMPARE(kept.kept, 2);
    QCOMPARE(kept.removed, 1);
    const ListOpResult removed = RegexLines(text, u"[0-9]"_s, RegexMode::Remove, false, meter);
    QCOMPARE(removed.kept, 1);
    QCOMPARE(removed.removed, 2);
    const ListOpResult extracted = RegexLines(text, u"[a-z0-9]"_s, RegexMode::Extract, false, meter);
    QCOMPARE(extracted.kept, 5);
    QCOMPARE(extracted.removed, 3);
}

void TestRegexLines::agreesWithLineByLineRe2_data()
{
    QTest::addColumn<QString>("alphabet");
    QTest::newRow("letters, digits and spaces") << u"ab1 "_s;
    QTest::newRow("lone CR and LF among CR LF") << u"ab\r\n\n\r"_s;
    QTest::newRow("wide characters, pairs and unpaired surrogates") << u"aB中\xD83D\xDE00\xD800\xDC00\0"_s;
}

void TestRegexLines::agreesWithLineByLineRe2()
{
    QFETCH(QString, alphabet);
    const QStringList patterns = {
        u"a"_s,
        u"^a"_s,
        u"a$"_s,
        u"^$"_s,
        u"b+"_s,
        u"a|b$"_s,
        u"(a)(b)?"_s,
        u"(?i)A"_s,
        u"."_s,
        u"[^a]"_s,
        u"\\s"_s,
        u"\\d{2,}"_s,
        u"a*"_s,
        u"(a*)b"_s,
        u"x*"_s,
        u"\\bab\\b"_s,
        u"\\Aa"_s,
        u"b\\z"_s,
        u"(?-m)^a"_s,
        u"(?s).b"_s,
        u"\\C"_s,
        u"a\\Cb"_s,
        u"\\x{FFFD}"_s,
        u"(?m)^b"_s,
        u".*"_s,
        u"a\\n?b"_s,
        u"(?U)a+"_s,
        u"a.*?b"_s,
        u"\\pL+"_s,
        u"[[:^alpha:]]+"_s,
        u"(a|b)*a(a|b){14}"_s, // more automaton states than its cache holds: RE2 falls back within itself
    };
    QRandomGenerator rng(13);
    for (int round = 0; round < 60; ++round) {
        QStringList lines;
        for (int i = rng.bounded(1, 12); i > 0; --i)
            lines.append(randomText(rng, alphabet, rng.bounded(18)));
        const QString text = lines.join(CRLF) + (rng.bounded(2) ? CRLF : QString());
        if (text.isEmpty())
            continue;
        for (const QString& pattern : patterns) {
            for (RegexMode mode : {RegexMode::Keep, RegexMode::Remove, RegexMode::Extract}) {
                const bool ignoreCase = rng.bounded(2) == 0;
                NullProgressMeter meter;
                const ListOpResult r = RegexLines(text, pattern, mode, ignoreCase, meter);
                const Literal expected = literalRegex(text, pattern, mode, ignoreCase);
                QCOMPARE(r.text, expected.text);
                QCOMPARE(r.setAside.value_or(None), expected.aside);
            }
        }
    }
}

void TestRegexLines::explodingPatternOnAHugeLine()
{
    // Exponential for a backtracking matcher; RE2 reads the line once.
    const QString line(1000000, u'a');
    NullProgressMeter meter;
    const QString text = line + CRLF + u"aab"_s;
    const ListOpResult r = RegexLines(text, u"(a|aa)*b"_s, RegexMode::Remove, false, meter);
    QCOMPARE(r.text, line + CRLF);
    QCOMPARE(*r.setAside, u"aab\r\n"_s);
}

void TestRegexLines::extractStopsWhereSearchesRereadALine()
{
    // Each search of a*b|a reads to the line's end before it settles on one "a": quadratic
    // without the limit, stopped by it; a linear pattern on the same line finishes within it.
    const QString text = QString(200000, u'a') + CRLF + u"ab"_s;
    RecordingMeter meter;
    const ListOpResult stopped =
        RegexLines(text, u"a*b|a"_s, RegexMode::Extract, false, meter, std::chrono::milliseconds(50));
    QCOMPARE(stopped.refusal, ExtractTooSlow);
    QCOMPARE(meter.finished, 1);
    const ListOpResult linear =
        RegexLines(text, u"a{1000}|b"_s, RegexMode::Extract, false, meter, ExtractTimeLimit(text));
    QVERIFY(linear.refusal.isEmpty());
    QCOMPARE(linear.kept, 201);
}

QTEST_GUILESS_MAIN(TestRegexLines)
#include "testregexlines.moc"
