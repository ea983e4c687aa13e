#include "lineops/linefold.h"
#include "lineops/lineset.h"
#include "lineops/linesort.h"
#include "tests/support/testhelpers.h"

#include <QCollator>
#include <QHash>
#include <QLocale>
#include <QTest>

#include <algorithm>
#include <functional>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

const QString None = u"(none)"_s;
constexpr LineFolds NoFolds;
constexpr LineFolds AllFolds = LineFold::Case | LineFold::Spaces | LineFold::Width;

// Every list command with the same signature, so one table holds them all.
using ListOp = std::function<ListOpResult(QStringView text, QStringView temp, LineFolds folds, ProgressMeter& meter)>;

ListOp single(ListOpResult (*f)(QStringView, LineFolds, ProgressMeter&))
{
    return [f](QStringView text, QStringView, LineFolds folds, ProgressMeter& m) { return f(text, folds, m); };
}

ListOp sorted(SortOrder order)
{
    return [order](QStringView text, QStringView, LineFolds, ProgressMeter& m) { return SortLines(text, order, m); };
}

const ListOp Dedup = single(ExactDedup);
const ListOp Unique = single(UniqueOnly);
const ListOp Duplicates = single(DuplicatesOnly);
const ListOp Count = single(CountOccurrences);
const ListOp Subtract = SubtractLines;
const ListOp Intersect = IntersectLines;
const ListOp Union = UnionLines;

struct ListRow
{
    ListOp op;
    QString text;
    QString temp;
    LineFolds folds;
    QString expected; // or the refusal
    QString aside;    // or None
    qsizetype kept = 0;
    qsizetype removed = 0;
};

// Folding one code point at a time, as the contract says, on UCS-4.
QString literalFold(const QString& line, LineFolds folds)
{
    QString s = line;
    if (folds & LineFold::Spaces) {
        while (!s.isEmpty() && s.front().isSpace())
            s.remove(0, 1);
        while (!s.isEmpty() && s.back().isSpace())
            s.chop(1);
    }
    // An unpaired surrogate must survive as itself, so the string is walked by hand.
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s[i].unicode();
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(s[i], s[i + 1]);
            ++i;
        }
        if (folds & LineFold::Width) {
            if (c >= 0xFF01 && c <= 0xFF5E)
                c -= 0xFEE0;
            else if (c == 0x3000)
                c = u' ';
        }
        if (folds & LineFold::Case)
            c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c))
            out += QChar(QChar::highSurrogate(c)) + QChar(QChar::lowSurrogate(c));
        else
            out += QChar(static_cast<char16_t>(c));
    }
    return out;
}

struct Literal
{
    QString text;
    QString aside = None;
};

// The commands as plain list code over folded copies.
Literal literalOp(const QString& name, const QString& text, const QString& temp, LineFolds folds)
{
    const QStringList lines = literalLines(text);
    const QStringList tempLines = literalLines(temp);
    QStringList keys;
    QHash<QString, int> counts;
    for (const QString& line : lines) {
        keys.append(literalFold(line, folds));
        ++counts[keys.back()];
    }
    QSet<QString> inTemp;
    for (const QString& line : tempLines)
        inTemp.insert(literalFold(line, folds));
    QStringList kept;
    QStringList aside;
    QSet<QString> seen;
    QStringList counted; // first occurrences, then their counts
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& key = keys[i];
        const bool firstTime = !seen.contains(key);
        seen.insert(key);
        bool keep = false;
        if (name == u"dedup" || name == u"union")
            keep = firstTime;
        else if (name == u"unique")
            keep = counts[key] == 1;
        else if (name == u"duplicates")
            keep = firstTime && counts[key] > 1;
        else if (name == u"subtract")
            keep = !inTemp.contains(key);
        else if (name == u"intersect")
            keep = inTemp.contains(key);
        else if (firstTime)
            counted.append(lines[i] + u'\t' + QString::number(counts[key]));
        (keep ? kept : aside).append(lines[i]);
    }
    if (name == u"union") {
        for (const QString& line : tempLines) {
            const QString key = literalFold(line, folds);
            if (!seen.contains(key))
                kept.append(line);
            seen.insert(key);
        }
    }
    if (name == u"count") {
        const auto countOf = [](const QString& line) { return line.sliced(line.lastIndexOf(u'\t') + 1).toInt(); };
        std::stable_sort(counted.begin(), counted.end(), [&](const QString& a, const QString& b) {
            return countOf(a) > countOf(b);
        });
        return {literalJoin(counted)};
    }
    const bool setsAside = name == u"dedup" || name == u"unique" || name == u"duplicates";
    return {literalJoin(kept), setsAside ? literalJoin(aside) : None};
}

QString literalSort(const QString& text, SortOrder order)
{
    QStringList lines = literalLines(text);
    QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
    collator.setNumericMode(order == SortOrder::Natural);
    std::stable_sort(lines.begin(), lines.end(), [&](const QString& a, const QString& b) {
        if (order == SortOrder::Length)
            return a.toUcs4().size() < b.toUcs4().size();
        if (order == SortOrder::Pinyin)
            return collator.compare(a, b) < 0;
        // ICU's compare() goes wrong in numeric mode on full-width digits after an equal start
        // ("１a" after "１１"); its sort keys get them right. The empty line still goes first.
        if (a.isEmpty() || b.isEmpty())
            return a.isEmpty() && !b.isEmpty();
        return collator.sortKey(a).compare(collator.sortKey(b)) < 0;
    });
    return literalJoin(lines);
}

const QStringList SetOps = {
    u"dedup"_s, u"unique"_s, u"duplicates"_s, u"subtract"_s, u"intersect"_s, u"union"_s, u"count"_s};

ListOpResult runNamed(const QString& name, const QString& text, const QString& temp, LineFolds folds)
{
    NullProgressMeter meter;
    if (name == u"dedup")
        return ExactDedup(text, folds, meter);
    if (name == u"unique")
        return UniqueOnly(text, folds, meter);
    if (name == u"duplicates")
        return DuplicatesOnly(text, folds, meter);
    if (name == u"subtract")
        return SubtractLines(text, temp, folds, meter);
    if (name == u"intersect")
        return IntersectLines(text, temp, folds, meter);
    if (name == u"union")
        return UnionLines(text, temp, folds, meter);
    return CountOccurrences(text, folds, meter);
}

// Compares every command and every sort with its literal version on one pair of texts.
void checkAgainstLiterals(const QString& text, const QString& temp, LineFolds folds, bool sorts)
{
    for (const QString& name : SetOps) {
        const ListOpResult r = runNamed(name, text, temp, folds);
        const bool readsTemp = name == u"subtract" || name == u"intersect" || name == u"union";
        if (text.isEmpty() || (readsTemp && temp.isEmpty())) {
            QCOMPARE(r.refusal, text.isEmpty() ? NoWorkingText : NoTemporaryText);
            continue;
        }
        const Literal expected = literalOp(name, text, temp, folds);
        QCOMPARE(r.text, expected.text);
        QCOMPARE(r.setAside.value_or(None), expected.aside);
        QCOMPARE(r.kept, literalLines(r.text).size());
    }
    NullProgressMeter meter;
    const ListStatistics stats = LineStatistics(text, folds, meter);
    if (text.isEmpty())
        return;
    const QStringList lines = literalLines(text);
    QSet<QString> distinct;
    qsizetype empty = 0;
    qsizetype longest = 0;
    for (const QString& line : lines) {
        distinct.insert(literalFold(line, folds));
        empty += literalFold(line, folds).isEmpty() ? 1 : 0;
        longest = std::max<qsizetype>(longest, line.toUcs4().size());
    }
    QCOMPARE(stats.lines, lines.size());
    QCOMPARE(stats.distinct, distinct.size());
    QCOMPARE(stats.empty, empty);
    QCOMPARE(stats.longest, longest);
    if (!sorts)
        return;
    for (SortOrder order : {SortOrder::Pinyin, SortOrder::Natural, SortOrder::Length})
        QCOMPARE(SortLines(text, order, meter).text, literalSort(text, order));
}

// `count` lines of 0..maxLength units from `alphabet`, earlier lines often repeated.
QString randomList(QRandomGenerator& rng, const QString& alphabet, int count, int maxLength)
{
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        if (!lines.isEmpty() && rng.bounded(3) == 0)
            lines.append(lines[rng.bounded(static_cast<int>(lines.size()))]);
        else
            lines.append(randomText(rng, alphabet, rng.bounded(maxLength + 1)));
    }
    return lines.join(CRLF) + (rng.bounded(2) ? CRLF : QString());
}

} // namespace

class TestListOps final : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void foldsCompareFoldedForms_data();
    void foldsCompareFoldedForms();
    void statisticsMessage();

    void agreesWithLiteralVersion_data();
    void agreesWithLiteralVersion();
};

void TestListOps::commands_data()
{
    QTest::addColumn<ListRow>("row");
    const QString noQuan = NoWorkingText;
    const QString noTemp = NoTemporaryText;
    const ListOp reverse = [](QStringView t, QStringView, LineFolds, ProgressMeter&) { return ReverseLines(t); };
    // The line rule.
    QTest::newRow("a final CR LF ends the last line")
        << ListRow{reverse, u"a\r\nb\r\n"_s, {}, NoFolds, u"b\r\na\r\n"_s, None, 2, 0};
    QTest::newRow("without it the last line still gets its CR LF")
        << ListRow{reverse, u"a\r\nb"_s, {}, NoFolds, u"b\r\na\r\n"_s, None, 2, 0};
    QTest::newRow("a lone CR LF is one empty line") << ListRow{Dedup, CRLF, {}, NoFolds, CRLF, QString(), 1, 0};
    QTest::newRow("lone CR and LF are characters of their line")
        << ListRow{reverse, u"a\rb\r\nc\n\r\n"_s, {}, NoFolds, u"c\n\r\na\rb\r\n"_s, None, 2, 0};
    QTest::newRow("an empty working text is refused") << ListRow{Dedup, {}, {}, NoFolds, noQuan, None};
    QTest::newRow("the sorts refuse it too") << ListRow{sorted(SortOrder::Length), {}, {}, NoFolds, noQuan, None};
    QTest::newRow("an empty temporary text is refused") << ListRow{Subtract, u"a"_s, {}, NoFolds, noTemp, None};
    QTest::newRow("the working text is checked first") << ListRow{Union, {}, {}, NoFolds, noQuan, None};
    // What each command keeps and sets aside.
    QTest::newRow("dedup: later copies go aside in input order")
        << ListRow{Dedup, u"b\r\na\r\nb\r\na\r\nb"_s, {}, NoFolds, u"b\r\na\r\n"_s, u"b\r\na\r\nb\r\n"_s, 2, 3};
    QTest::newRow("unique: every copy of a repeated line goes aside")
        << ListRow{Unique, u"b\r\na\r\nb\r\nc"_s, {}, NoFolds, u"a\r\nc\r\n"_s, u"b\r\nb\r\n"_s, 2, 2};
    QTest::newRow("duplicates: one copy of each repeated line stays")
        << ListRow{Duplicates, u"b\r\na\r\nb\r\nc\r\nb"_s, {}, NoFolds, u"b\r\n"_s, u"a\r\nb\r\nc\r\nb\r\n"_s, 1, 4};
    QTest::newRow("subtract: copies in the working text stay, the temporary text is untouched")
        << ListRow{Subtract, u"a\r\nb\r\na\r\nc"_s, u"c\r\nx"_s, NoFolds, u"a\r\nb\r\na\r\n"_s, None, 3, 1};
    QTest::newRow("intersect: an empty line is a line like any other")
        << ListRow{Intersect, u"a\r\n\r\nb"_s, u"\r\nb"_s, NoFolds, u"\r\nb\r\n"_s, None, 2, 1};
    QTest::newRow("union: copies within either text are dropped too")
        << ListRow{Union, u"a\r\na\r\nb"_s, u"c\r\nb\r\nc"_s, NoFolds, u"a\r\nb\r\nc\r\n"_s, None, 3, 3};
    QTest::newRow("count: most frequent first, ties by first occurrence") << ListRow{
        Count, u"x\r\ny\r\nz\r\ny\r\nz\r\nw"_s, {}, NoFolds, u"y\t2\r\nz\t2\r\nx\t1\r\nw\t1\r\n"_s, None, 4, 2};
    QTest::newRow("count: the first occurrence's own text is shown")
        << ListRow{Count, u" A\r\na"_s, {}, AllFolds, u" A\t2\r\n"_s, None, 1, 1};
    // Odd units compare as units.
    QTest::newRow("NUL and unpaired surrogates are ordinary units")
        << ListRow{Dedup,
                   u"\0\r\n\xD800\r\n\0\r\n\xDC00\r\n\xD800"_s,
                   {},
                   AllFolds,
                   u"\0\r\n\xD800\r\n\xDC00\r\n"_s,
                   u"\0\r\n\xD800\r\n"_s,
                   3,
                   2};
    // The sorts.
    QTest::newRow("pinyin: 阿 爸 车 大 by their readings") << ListRow{
        sorted(SortOrder::Pinyin), u"车\r\n大\r\n阿\r\n爸"_s, {}, NoFolds, u"阿\r\n爸\r\n车\r\n大\r\n"_s, None, 4, 0};
    QTest::newRow("pinyin: digits compare one by one") << ListRow{
        sorted(SortOrder::Pinyin), u"关键词2\r\n关键词10"_s, {}, NoFolds, u"关键词10\r\n关键词2\r\n"_s, None, 2, 0};
    QTest::newRow("natural: digit runs by value") << ListRow{sorted(SortOrder::Natural),
                                                             u"关键词10\r\n关键词2\r\n关键词1"_s,
                                                             {},
                                                             NoFolds,
                                                             u"关键词1\r\n关键词2\r\n关键词10\r\n"_s,
                                                             None,
                                                             3,
                                                             0};
    QTest::newRow("natural: full-width digit runs by value")
        << ListRow{sorted(SortOrder::Natural), u"１０\r\n２"_s, {}, NoFolds, u"２\r\n１０\r\n"_s, None, 2, 0};
    QTest::newRow("pinyin: an empty line comes first, then ignorable-only lines in input order") << ListRow{
        sorted(SortOrder::Pinyin), u"b\r\n\0\r\n\r\n\u0001"_s, {}, NoFolds, u"\r\n\0\r\n\u0001\r\nb\r\n"_s, None, 4, 0};
    QTest::newRow("pinyin: lines equal to the collation interleave in input order") << ListRow{
        sorted(SortOrder::Pinyin), u"b\0\r\nb\r\na\r\nb\0"_s, {}, NoFolds, u"a\r\nb\0\r\nb\r\nb\0\r\n"_s, None, 4, 0};
    QTest::newRow("length: a surrogate pair counts once, an unpaired surrogate once, stable")
        << ListRow{sorted(SortOrder::Length),
                   u"abc\r\n\U0001F600\U0001F600\r\n\xD800x\r\nc\r\n"_s,
                   {},
                   NoFolds,
                   u"c\r\n\U0001F600\U0001F600\r\n\xD800x\r\nabc\r\n"_s,
                   None,
                   4,
                   0};
}

void TestListOps::commands()
{
    QFETCH(ListRow, row);
    RecordingMeter meter;
    const ListOpResult r = row.op(row.text, row.temp, row.folds, meter);
    QCOMPARE(r.refused() ? r.refusal : r.text, row.expected);
    QCOMPARE(r.setAside.value_or(None), row.aside);
    QCOMPARE(r.kept, row.kept);
    QCOMPARE(r.removed, row.removed);
    // A refusal leaves the meter alone; a metered run starts it at the working lines and finishes.
    if (r.refused()) {
        QCOMPARE(meter.started, -1);
    } else if (meter.started >= 0) {
        QCOMPARE(meter.started, literalLines(row.text).size());
        QCOMPARE(meter.finished, 1);
    }
}

void TestListOps::foldsCompareFoldedForms_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<LineFolds>("folds");
    QTest::addColumn<bool>("equal");
    QTest::newRow("no folds: case differs") << u"Abc"_s << u"abc"_s << NoFolds << false;
    QTest::newRow("case: Latin and Greek") << u"ABCΣ"_s << u"abcσ"_s << LineFolds(LineFold::Case) << true;
    QTest::newRow("case: final sigma folds to sigma") << u"ς"_s << u"σ"_s << LineFolds(LineFold::Case) << true;
    QTest::newRow("case: simple folding keeps ß apart from ss")
        << u"ß"_s << u"ss"_s << LineFolds(LineFold::Case) << false;
    QTest::newRow("case: capital sharp s folds to ß") << u"ẞ"_s << u"ß"_s << LineFolds(LineFold::Case) << true;
    QTest::newRow("case: a pair above U+FFFF folds as one character")
        << u"\U00010400"_s << u"\U00010428"_s << LineFolds(LineFold::Case) << true;
    QTest::newRow("width alone: full-width A equals A, not a")
        << u"Ａ"_s << u"A"_s << LineFolds(LineFold::Width) << true;
    QTest::newRow("width alone keeps case") << u"Ａ"_s << u"a"_s << LineFolds(LineFold::Width) << false;
    QTest::newRow("width before case: full-width A equals a")
        << u"Ａ"_s << u"a"_s << (LineFold::Width | LineFold::Case) << true;
    QTest::newRow("width: the ideographic space is a space")
        << u"a\u3000b"_s << u"a b"_s << LineFolds(LineFold::Width) << true;
    QTest::newRow("width alone: pairs above U+FFFF stay themselves")
        << u"\U0001F600"_s << u"\U0001F601"_s << LineFolds(LineFold::Width) << false;
    QTest::newRow("width alone: a full-width letter before a pair")
        << u"Ａ\U0001F600"_s << u"A\U0001F600"_s << LineFolds(LineFold::Width) << true;
    QTest::newRow("width: U+FF5F is past the range")
        << u"\uFF5F"_s << u"\u007F"_s << LineFolds(LineFold::Width) << false;
    QTest::newRow("spaces: both ends, tab and U+3000 too")
        << u"\u3000\t a b \u3000"_s << u"a b"_s << LineFolds(LineFold::Spaces) << true;
    QTest::newRow("spaces: inner spaces count") << u"a  b"_s << u"a b"_s << LineFolds(LineFold::Spaces) << false;
    QTest::newRow("spaces: a line of U+3000 is empty")
        << u"\u3000\u3000"_s << QString() << LineFolds(LineFold::Spaces) << true;
    QTest::newRow("spaces: a lone CR at the end is white space")
        << u"a\r"_s << u"a"_s << LineFolds(LineFold::Spaces) << true;
}

void TestListOps::foldsCompareFoldedForms()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(LineFolds, folds);
    QFETCH(bool, equal);
    const LineList lines{a, b};
    const LineKeys keys(lines, folds);
    QCOMPARE(keys.keys()[0] == keys.keys()[1], equal);
    QCOMPARE(FoldLine(a, folds), keys.keys()[0].toString());
    NullProgressMeter meter;
    QCOMPARE(GroupLines(keys.keys(), meter).distinct, equal ? 1 : 2);
}

void TestListOps::statisticsMessage()
{
    // Blank lines count as empty only when white space is folded away.
    const QString text = u"a\r\n\u3000\r\nＡ\r\n\r\n\U0001F600\U0001F600"_s;
    NullProgressMeter meter;
    QCOMPARE(LineStatistics(text, NoFolds, meter).message(), u"统计：共5行，不重复5行，空行1行，最长2字"_s);
    QCOMPARE(LineStatistics(text, AllFolds, meter).message(), u"统计：共5行，不重复3行，空行2行，最长2字"_s);
    QCOMPARE(LineStatistics(QString(), NoFolds, meter).refusal, NoWorkingText);
}

// Random inputs compared with the literal versions, `rounds` times from one seed.
struct Agreement
{
    int rounds;
    std::function<void(QRandomGenerator&)> round;
};

Agreement randomAgrees(const QString& alphabet, int lines, int maxLength, bool sorts = true)
{
    return {lines > 1000 ? 2 : 40, [=](QRandomGenerator& rng) {
                const QString text = randomList(rng, alphabet, 1 + rng.bounded(lines), maxLength);
                const QString temp = randomList(rng, alphabet, 1 + rng.bounded(lines), maxLength);
                for (LineFolds folds : {NoFolds, LineFolds(LineFold::Case), LineFolds(LineFold::Width), AllFolds}) {
                    checkAgainstLiterals(text, temp, folds, sorts && folds == NoFolds);
                    if (QTest::currentTestFailed())
                        return;
                }
            }};
}

// Shapes that defeat weak hashing or costly comparisons, big enough for both cores.
Agreement hostileAgrees(const QString& shape)
{
    return {1, [=](QRandomGenerator& rng) {
                QStringList lines;
                if (shape == u"equal") {
                    lines = QStringList(6000, u"同一行 same"_s);
                } else if (shape == u"distinct") {
                    // Past the size where the collation sort puts its keys into buckets.
                    for (int i = 0; i < 9000; ++i)
                        lines.append(QString::number(i * 7919 % 9000) + u"关"_s);
                } else if (shape == u"prefixes") {
                    // Long shared starts, lines differing in their last unit only, some repeated.
                    const QString stem = randomText(rng, u"ab中"_s, 300);
                    for (int i = 0; i < 5000; ++i)
                        lines.append(stem + QChar(u'a' + rng.bounded(20)));
                } else if (shape == u"huge") {
                    const QString big = randomText(rng, u"abc关键"_s, 100000);
                    lines << big << u"x"_s << big << big.left(99999) << u"x"_s;
                }
                const QString text = lines.join(CRLF);
                const QString temp = QStringList(lines.mid(0, lines.size() / 3)).join(CRLF);
                checkAgainstLiterals(text, temp, NoFolds, shape != u"huge");
                checkAgainstLiterals(text, temp, AllFolds, false);
            }};
}

void TestListOps::agreesWithLiteralVersion_data()
{
    QTest::addColumn<Agreement>("row");
    QTest::newRow("Chinese and Latin keywords") << randomAgrees(u"手机价格关键词ab12"_s, 40, 4);
    QTest::newRow("mixed widths, cases and spaces") << randomAgrees(u"aAａＡ 　1１\t"_s, 40, 3);
    QTest::newRow("case pairs: ß ẞ Σ σ ς and Deseret") << randomAgrees(u"ßẞsSΣσς\U00010400\U00010428"_s, 40, 3);
    QTest::newRow("NUL, lone CR and LF, unpaired surrogates") << randomAgrees(u"\0\r\nx\xD83D\xDE00"_s, 40, 3);
    QTest::newRow("digit runs of both widths") << randomAgrees(u"0129０１２９关"_s, 40, 5);
    QTest::newRow("enough lines for both cores") << randomAgrees(u"aAｂ关键词 12"_s, 20000, 4, false);
    QTest::newRow("all lines equal") << hostileAgrees(u"equal"_s);
    QTest::newRow("all lines distinct") << hostileAgrees(u"distinct"_s);
    QTest::newRow("long common prefixes") << hostileAgrees(u"prefixes"_s);
    QTest::newRow("huge lines") << hostileAgrees(u"huge"_s);
}

void TestListOps::agreesWithLiteralVersion()
{
    QFETCH(Agreement, row);
    QRandomGenerator rng(20251207);
    for (int round = 0; round < row.rounds && !QTest::currentTestFailed(); ++round)
        row.round(rng);
}

QTEST_APPLESS_MAIN(TestListOps)
#include "testlistops.moc"
