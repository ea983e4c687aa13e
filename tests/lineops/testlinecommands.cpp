#include "lineops/dedup.h"
#include "lineops/deduptuning.h"
#include "lineops/filters.h"
#include "lineops/htmlstrip.h"
#include "lineops/number.h"
#include "lineops/rewrites.h"
#include "lineops/shuffle.h"
#include "lineops/textsearch.h"
#include "tests/support/testhelpers.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

using namespace lumbrel;
using namespace lumbrel::testing;
using namespace Qt::StringLiterals;

namespace {

const QString None = u"(none)"_s;
const QString NoBreak = u"数据不足 没有发现换行符"_s;

// Every operation as a boxed one, so one table holds them all.
using Op = std::function<BoxedOpResult(QStringView, ProgressMeter&)>;

Op lineOp(const std::function<LineOpResult(QStringView, ProgressMeter&)>& f)
{
    return [f](QStringView text, ProgressMeter& meter) { return BoxedOpResult{f(text, meter), std::nullopt}; };
}

struct OpRow
{
    Op op;
    QString text;
    QString expected;    // or the refusal
    QString aside;       // the lines set aside, or None
    QString box;         // the cleaned box, or None
    qsizetype steps = 0; // meter steps over all lines; -1 for an operation that meters nothing
};

// Hands out the given values in turn, then repeats the last one.
struct ScriptedSource final : UniformSource
{
    std::vector<double> values;
    std::size_t drawn = 0;
    double next() override
    {
        return values[std::min(drawn++, values.size() - 1)];
    }
};

// 去重复 as literally described: search every line in the whole kept text, built by
// prepending. Quadratic, so only for small inputs.
QString literalDedup(const QString& text)
{
    QString kept;
    for (QStringView line : SplitLines(text)) {
        if (kept.isEmpty() || !kept.contains(line))
            kept = line.toString() + CRLF + kept;
    }
    return kept;
}

// The ways 去重复's search can divide its work; every way must give the literal version's result.
struct DedupWay
{
    const char* name;
    dedup::Tuning tuning;
};
const DedupWay DedupWays[] = {
    {"as tuned", {}},
    // Every long pattern goes to the suffix array, so every comparison covers it, not only the
    // shapes built to exhaust the budget.
    {"suffix array only", dedup::SuffixArrayOnly},
    // The budget runs out after a few long lengths: the suffix array meets a scan that has found
    // some long patterns and not others.
    {"early hand-over", dedup::Tuning{0, 64}},
};

QString dedupByWay(const QString& text, const dedup::Tuning& tuning)
{
    const LineList lines = SplitLines(text);
    NullProgressMeter meter;
    return FrontJoinKept(lines, dedup::KeepMask(lines, meter, tuning));
}

// The two tag patterns of 去HTML run by a regular-expression engine: global replace, greedy,
// "." refusing LF only. The command itself uses no engine.
QString referenceStrip(QString text)
{
    static const QRegularExpression opening(u"<[^\\n][^<]*>"_s);
    static const QRegularExpression closing(u"</[^<]*>"_s);
    return text.replace(opening, QString()).replace(closing, QString());
}

} // namespace

// The current row of a table of operations: text, set-aside lines, box and meter.
void checkOperation()
{
    QFETCH(OpRow, row);
    RecordingMeter meter;
    const BoxedOpResult r = row.op(row.text, meter);
    QCOMPARE(r.result.refused() ? r.result.refusal : r.result.text, row.expected);
    QCOMPARE(r.result.setAside.value_or(None), row.aside);
    QCOMPARE(r.box.value_or(None), row.box);
    // A metered line loop runs the meter once over every line; a refusal leaves it alone.
    const bool idle = r.result.refused() || row.steps < 0;
    QCOMPARE(meter.started, idle ? -1 : SplitLines(row.text).size());
    QCOMPARE(meter.steps, idle ? 0 : row.steps);
    QCOMPARE(meter.finished, idle ? 0 : 1);
}

class TestLineCommands final : public QObject
{
    Q_OBJECT

private slots:
    void filters_data();
    void filters();
    void rewrites_data();
    void rewrites();
    void parseNumber_data();
    void parseNumber();
    void shuffleFollowsTheSwapPass_data();
    void shuffleFollowsTheSwapPass();
    void twisterSpreadsOverZeroToOne();

    void dedupAgreesOnLongPieces_data();
    void dedupAgreesOnLongPieces();
    void agreesWithLiteralVersion_data();
    void agreesWithLiteralVersion();
};

void TestLineCommands::filters_data()
{
    QTest::addColumn<OpRow>("row");
    const auto dedup = lineOp([](QStringView t, ProgressMeter& m) { return RemoveDuplicates(t, m); });
    const auto chinese =
        lineOp([](QStringView t, ProgressMeter&) { return FilterChinese(t, ChineseFilter::KeepChinese); });
    const auto length = [](LengthFilter mode, const QString& n) {
        return lineOp([=](QStringView t, ProgressMeter& m) { return FilterByLength(t, n, mode, m); });
    };
    const auto containing = [](const QString& word) {
        return lineOp([=](QStringView t, ProgressMeter& m) { return RemoveContaining(t, word, m); });
    };
    // 去重复 steps on the kept lines only; its texts, like 去HTML's, are checked against a
    // literal version below.
    QTest::newRow("去重复: case-sensitive") << OpRow{dedup, u"A\r\na\r\nA"_s, u"a\r\nA\r\n"_s, None, None, 2};
    QTest::newRow("去英文: only U+4E00 to U+9FA5 count as Chinese")
        << OpRow{chinese,
                 u"\u4E00\r\n\u4DFF\r\n\u9FA5\r\n\u9FA6\r\n，\r\n\U00020000"_s,
                 u"\u9FA5\r\n\u4E00\r\n"_s,
                 u"\U00020000\r\n，\r\n\u9FA6\r\n\u4DFF\r\n"_s,
                 None,
                 -1};
    // Refusals, in their order: the first that applies wins, and nothing runs.
    QTest::newRow("length: no CR LF (a lone LF is none) comes before a bad number")
        << OpRow{length(LengthFilter::KeepLonger, u"x"_s), u"a\nb"_s, u"数据不足，没发现换行符"_s, None, None};
    QTest::newRow("length: letters are no number")
        << OpRow{length(LengthFilter::KeepShorter, u"ten"_s), u"a\r\nb"_s, u"您输入的不是数字"_s, None, None};
    QTest::newRow("length: a fraction is not whole")
        << OpRow{length(LengthFilter::KeepLonger, u"7.5"_s), u"a\r\nb"_s, u"非整数"_s, None, None};
    QTest::newRow("contains: three lines are too few")
        << OpRow{containing(u"a"_s), u"a\r\nb\r\nc"_s, u"数据不足，人工去除吧"_s, None, None};
    // Lengths are UTF-16 units of the untrimmed line, compared strictly.
    QTest::newRow("length: spaces count, a character above U+FFFF counts 2")
        << OpRow{length(LengthFilter::KeepShorter, u"3"_s),
                 u" a \r\n\U0001F600\r\nab"_s,
                 u"ab\r\n\U0001F600\r\n\r\n"_s,
                 u" a \r\n\r\n"_s,
                 None,
                 3};
    QTest::newRow("length: an N too big for any integer keeps every line")
        << OpRow{length(LengthFilter::KeepShorter, u"1e400"_s), u"a\r\nb"_s, u"b\r\na\r\n\r\n"_s, CRLF, None, 2};
    // Removed lines are front-joined without the group's extra CR LF.
    QTest::newRow("contains: a trailing break makes the fourth line")
        << OpRow{containing(u"b"_s), u"a\r\nb\r\nc\r\n"_s, u"\r\nc\r\na\r\n\r\n"_s, u"b\r\n"_s, None, 4};
}

void TestLineCommands::filters()
{
    checkOperation();
}

void TestLineCommands::rewrites_data()
{
    QTest::addColumn<OpRow>("row");
    const auto piece = [](MarkerPiece which, const QString& marker) -> Op {
        return [=](QStringView t, ProgressMeter& m) { return KeepPiece(t, marker, which, m); };
    };
    const auto take = [](LineEnd end, const QString& n) -> Op {
        return [=](QStringView t, ProgressMeter& m) { return TakeChars(t, n, end, m); };
    };
    QTest::newRow("留后: the text between the first and second marker; other lines as they are")
        << OpRow{piece(MarkerPiece::After, u"|"_s), u"a|b|c\r\n x "_s, u" x \r\nb\r\n"_s, None, u"|"_s, 2};
    QTest::newRow("留后: occurrences do not overlap")
        << OpRow{piece(MarkerPiece::After, u"aa"_s), u"aaaa\r\nxaaay"_s, u"ay\r\n\r\n"_s, None, u"aa"_s, 2};
    QTest::newRow("留前: a marker of spaces is empty and keeps every line whole")
        << OpRow{piece(MarkerPiece::Before, u" "_s), u"ab\r\n\r\ncd"_s, u"cd\r\n\r\nab\r\n"_s, None, QString(), 3};
    QTest::newRow("留前: a refusal still cleans the box")
        << OpRow{piece(MarkerPiece::Before, u" | "_s), u"a|b"_s, NoBreak, None, u"|"_s};
    QTest::newRow("加关键词: a refusal leaves the box as typed")
        << OpRow{[](QStringView t, ProgressMeter& m) { return AddKeyword(t, u" K ", KeywordSide::Front, m); },
                 u"abc"_s,
                 NoBreak,
                 None,
                 None};
    QTest::newRow("取右位数: lines trimmed before they are measured and cut")
        << OpRow{take(LineEnd::Right, u" 2\r\n"_s), u"  abcd  \r\n x "_s, u"x\r\ncd\r\n"_s, None, u"2"_s, 2};
    // A Chinese input method types full-width digits and spaces; the box keeps them.
    QTest::newRow("取右位数: a full-width count")
        << OpRow{take(LineEnd::Right, u"\u3000１"_s), u"abc\r\nxy"_s, u"y\r\nc\r\n"_s, None, u"\u3000１"_s, 2};
    // N is rounded to the nearest integer, ties to even; lines shorter than the unrounded N stay.
    QTest::newRow("2.5: three units cut to two")
        << OpRow{take(LineEnd::Left, u"2.5"_s), u"abc\r\nxy"_s, u"xy\r\nab\r\n"_s, None, u"2.5"_s, 2};
    QTest::newRow("1.5: two units stay whole, three cut to two")
        << OpRow{take(LineEnd::Right, u"1.5"_s), u"ab\r\nxyz"_s, u"yz\r\nab\r\n"_s, None, u"1.5"_s, 2};
    QTest::newRow("取左位数: a lone break inside a line is removed first")
        << OpRow{take(LineEnd::Left, u"2"_s), u"a\nbc\r\nx"_s, u"x\r\nab\r\n"_s, None, u"2"_s, 2};
    QTest::newRow("取左位数: a negative count empties the lines")
        << OpRow{take(LineEnd::Left, u"-1"_s), u"abc\r\n\r\nd"_s, u"\r\n\r\n\r\n"_s, None, u"-1"_s, 3};
    QTest::newRow("取左位数: counts UTF-16 units, so a cut may split a surrogate pair")
        << OpRow{take(LineEnd::Left, u"1"_s), u"\U0001F600x\r\n"_s, u"\r\n\xD83D\r\n"_s, None, u"1"_s, 2};
    QTest::newRow("取左位数: no line break is refused before no number, the box cleaned")
        << OpRow{take(LineEnd::Left, u" x\r\n"_s), u"abc"_s, NoBreak, None, u"x"_s};
}

void TestLineCommands::rewrites()
{
    checkOperation();
}

void TestLineCommands::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<double>>("value");
    constexpr double Inf = std::numeric_limits<double>::infinity();
    QTest::newRow("spaces, plus sign, point without fraction digits") << u"  +12. "_s << std::optional(12.0);
    QTest::newRow("point without whole digits") << u".5"_s << std::optional(0.5);
    QTest::newRow("signed upper-case exponent") << u"-25E-1"_s << std::optional(-2.5);
    // Far beyond a double: a value, never a fault or a garbage integer.
    QTest::newRow("too many digits saturate") << QString(400, u'9') << std::optional(Inf);
    QTest::newRow("a huge exponent saturates") << u"-1e99999999999999999999"_s << std::optional(-Inf);
    QTest::newRow("a tiny fraction is 0") << u"0."_s + QString(400, u'0') + u"1"_s << std::optional(0.0);
    const std::optional<double> none;
    QTest::newRow("space between sign and digits") << u"- 3"_s << none;
    QTest::newRow("exponent without digits") << u"1e"_s << none;
    QTest::newRow("locale decimal comma") << u"1,5"_s << none;
    QTest::newRow("infinity spelled out") << u"inf"_s << none;
    QTest::newRow("full-width forms") << u"\u3000－１２．５\u3000"_s << std::optional(-12.5);
    QTest::newRow("full-width plus and exponent digits") << u"＋1e１"_s << std::optional(10.0);
    QTest::newRow("full-width letters stay letters") << u"1ｅ1"_s << none;
    QTest::newRow("line break around") << u"12\r\n"_s << none;
}

void TestLineCommands::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(std::optional<double>, value);
    QCOMPARE(ParseNumber(text), value);
}

void TestLineCommands::shuffleFollowsTheSwapPass_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::vector<double>>("draws");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty text stays empty") << QString() << std::vector<double>{0.7} << QString();
    QTest::newRow("always 0 swaps every position with the first")
        << u"a\r\nb\r\nc"_s << std::vector<double>{0.0} << u"c\r\na\r\nb"_s;
    // Fisher-Yates would draw the last step from position 2 alone and leave c last.
    QTest::newRow("every step draws from all positions")
        << u"a\r\nb\r\nc"_s << std::vector<double>{0.5, 0.9, 0.0} << u"a\r\nc\r\nb"_s;
    QTest::newRow("the value just below 1 picks the last position")
        << u"a\r\nb\r\nc"_s << std::vector<double>{std::nextafter(1.0, 0.0), 0.4, 0.7} << u"c\r\nb\r\na"_s;
    QTest::newRow("an empty last line moves like any other; a lone break stays in its line")
        << u"a\nb\r\n"_s << std::vector<double>{0.0} << u"\r\na\nb"_s;
}

void TestLineCommands::shuffleFollowsTheSwapPass()
{
    QFETCH(QString, text);
    QFETCH(std::vector<double>, draws);
    QFETCH(QString, expected);
    ScriptedSource random;
    random.values = draws;
    QCOMPARE(ShuffleLines(text, random), expected);
    QCOMPARE(random.drawn, static_cast<std::size_t>(SplitLines(text).size()));
}

void TestLineCommands::twisterSpreadsOverZeroToOne()
{
    TwisterSource random(7);
    std::vector<double> values(100000);
    std::generate(values.begin(), values.end(), [&random] { return random.next(); });
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    QVERIFY(*lowest >= 0.0 && *lowest < 0.001 && *highest > 0.999 && *highest < 1.0);
}

// Line lists built to defeat a window-hashing search (small enough for the literal
// algorithm): every line length behind one shared start, runs of one character, pieces of a
// periodic text, prefixes and suffixes of each other.
QStringList hostileLines(const QString& shape, QRandomGenerator& rng)
{
    QStringList lines;
    if (shape == u"runs") {
        for (int k = 1; k <= 150; ++k)
            lines.append(QString(k, u'哈'));
        for (int k = 150; k >= 1; k -= 3)
            lines.append(QString(k, u'='));
    } else if (shape == u"lengths") {
        // The long line meets every start of the others: the search must hand over.
        const QString head(16, u'x');
        for (int k = 0; k < 80; ++k)
            lines.append(head + u'y' + QString(k, u'z'));
        std::shuffle(lines.begin(), lines.end(), rng);
        lines.append(head.repeated(150) + u'y' + QString(30, u'z') + u"tail"_s);
        for (int k = 0; k < 40; ++k) {
            const QString& big = lines[80];
            const int at = static_cast<int>(rng.bounded(static_cast<int>(big.size())));
            lines.append(big.mid(at, 14 + static_cast<int>(rng.bounded(40))));
            lines.append(QString(16 + static_cast<int>(rng.bounded(30)), u'x') + u"zz"_s);
        }
    } else if (shape.startsWith(u"huge")) {
        // Lines hashed a block of starts at a time, two of the longest length sharing their
        // start, pieces across the seams of the blocks after them; "huge-far" adds a line that
        // makes every window reach far.
        const QString big = randomText(rng, u"abcdefghij"_s, 300000);
        lines << big << big.first(big.size() - 1) + u'k';
        if (shape == u"huge-far")
            lines << big.mid(50000, 140000);
        for (int seam : {65536, 131072, 140000, 280000}) {
            for (int back : {1, 7, 20}) {
                for (int length : {9, 20, 50})
                    lines << big.mid(seam - back, length) << big.mid(seam - back, length - 1) + u'k';
            }
        }
    } else if (shape == u"periodic") {
        const QString big = u"abcab"_s.repeated(80);
        for (int i = 0; i < 200; ++i)
            lines.append(big.mid(static_cast<int>(rng.bounded(5)), 1 + static_cast<int>(rng.bounded(300))));
    } else if (shape == u"prefixes") {
        const QString base = randomText(rng, u"ab"_s, 300);
        for (int i = 0; i < 200; ++i) {
            const int cut = 1 + static_cast<int>(rng.bounded(static_cast<int>(base.size()) - 1));
            lines.append(rng.bounded(2) ? base.left(cut) : base.mid(cut));
        }
    }
    return lines;
}

// Random inputs compared with a literal version of the operation, `rounds` times from one seed.
struct Agreement
{
    int rounds;
    quint32 seed;
    std::function<void(QRandomGenerator&)> round;
};

Agreement dedupAgrees(const dedup::Tuning& tuning, const QString& alphabet, int maxLength, const QString& shape = {})
{
    const auto round = [=](QRandomGenerator& rng) {
        QStringList pieces = hostileLines(shape, rng);
        for (int i = 0; shape.isEmpty() && i < 150; ++i) {
            // Earlier lines and their parts come back often, as in real keyword lists.
            if (!pieces.isEmpty() && rng.bounded(3) == 0) {
                const QString& earlier = pieces[rng.bounded(static_cast<int>(pieces.size()))];
                const int from = rng.bounded(static_cast<int>(earlier.size()) + 1);
                pieces.append(earlier.mid(from, rng.bounded(maxLength)));
            } else {
                pieces.append(randomText(rng, alphabet, rng.bounded(maxLength + 1)));
            }
        }
        const QString text = pieces.join(CRLF);
        QCOMPARE(dedupByWay(text, tuning), literalDedup(text));
    };
    return {shape.isEmpty() ? 60 : 4, 20261206, round};
}

Agreement containsAgrees(const QString& alphabet, int keywordLength, int lineLength)
{
    const auto round = [=, count = 0](QRandomGenerator& rng) mutable {
        QStringList lines;
        for (int i = 4 + rng.bounded(30); i > 0; --i)
            lines.append(randomText(rng, alphabet, rng.bounded(lineLength + 1)));
        QString keyword = randomText(rng, alphabet, 1 + rng.bounded(keywordLength));
        const QString& source = lines[rng.bounded(static_cast<int>(lines.size()))];
        if (count++ % 2 && !source.isEmpty()) {
            // A piece of a line, found at least there.
            const int from = rng.bounded(static_cast<int>(source.size()));
            keyword = source.mid(from, 1 + rng.bounded(std::min<int>(keywordLength, source.size() - from)));
        }
        const QString text = lines.join(CRLF);
        QStringList kept;
        QStringList removed;
        for (QStringView line : SplitLines(text))
            (line.contains(keyword) ? removed : kept).append(line.toString());
        NullProgressMeter meter;
        const LineOpResult r = RemoveContaining(text, keyword, meter);
        QCOMPARE(r.text, literalGroupedJoin(kept));
        QCOMPARE(*r.setAside, literalFrontJoin(removed));
    };
    return {200, 7, round};
}

// With `periodic`, keyword and text repeat a short piece, a unit or two changed.
Agreement searchAgrees(const QString& alphabet, int keywordLength, int textLength, bool periodic = false)
{
    const auto round = [=](QRandomGenerator& rng) {
        const auto changeSome = [&](QString s, int changes) {
            for (; changes > 0 && !s.isEmpty(); --changes)
                s[rng.bounded(static_cast<int>(s.size()))] = alphabet[rng.bounded(static_cast<int>(alphabet.size()))];
            return s;
        };
        const int m = 1 + rng.bounded(keywordLength);
        const int n = rng.bounded(textLength + 1);
        QString keyword = randomText(rng, alphabet, m);
        QString text = randomText(rng, alphabet, n);
        if (periodic) {
            const QString piece = randomText(rng, alphabet, 1 + rng.bounded(3));
            keyword = changeSome(piece.repeated(m).left(m), rng.bounded(2));
            text = changeSome(piece.repeated(n).left(n), rng.bounded(3));
        }
        // The plain scan: every start, compared in full.
        std::vector<qsizetype> next(text.size() + 2, -1);
        for (qsizetype i = text.size() - keyword.size(); i >= 0; --i)
            next[i] = QStringView(text).sliced(i).startsWith(keyword) ? i : next[i + 1];
        const TextSearch search(keyword);
        for (qsizetype from = 0; from <= text.size() + 1; ++from)
            QCOMPARE(search.indexIn(text, from), next[from]);
    };
    return {300, 15, round};
}

// Starts on "<" followed by LF, CR, "/", "<" and ">" all occur, and a surrogate pair.
void stripAgrees(QRandomGenerator& rng)
{
    static const QStringList pieces = u"<|<|>|/|a| |\r|\n|\r\n|中|\U0001F600|</|<b>"_s.split(u'|');
    QString text;
    for (int i = rng.bounded(24); i > 0; --i)
        text += pieces[rng.bounded(static_cast<int>(pieces.size()))];
    QCOMPARE(StripHtmlTags(text), referenceStrip(text));
}

// 去空行 and the keyword commands are described by two replace passes over the whole text
// (three CR LF to one, then two to one); both shrink each run of breaks in one walk instead.
void emptyLinesAgree(QRandomGenerator& rng)
{
    static const QStringList pieces = u"\r\n|\r\n|\r\n|\r|\n|x| "_s.split(u'|');
    QString text;
    for (int i = rng.bounded(40); i > 0; --i)
        text += pieces[rng.bounded(static_cast<int>(pieces.size()))];
    RecordingMeter meter;
    const LineOpResult emptyLines = RemoveEmptyLines(text);
    const BoxedOpResult keyword = AddKeyword(text, u"K", KeywordSide::Front, meter);
    if (!text.contains(CRLF)) {
        QVERIFY(emptyLines.refused() && keyword.result.refused());
        return;
    }
    const QString collapsed = ReplaceAll(ReplaceAll(text, u"\r\n\r\n\r\n", CRLF), u"\r\n\r\n", CRLF);
    // 去空行 then cuts one break at the start and one at the end.
    QString trimmed = collapsed;
    if (trimmed.startsWith(CRLF))
        trimmed.remove(0, CRLF.size());
    if (trimmed.endsWith(CRLF))
        trimmed.chop(CRLF.size());
    QCOMPARE(emptyLines.text, trimmed);
    // The keyword commands take the lines left, cleaned, drop the empty ones, and count them
    // all on the meter.
    QStringList survivors;
    qsizetype entries = 0;
    for (QStringView line : SplitLines(collapsed)) {
        ++entries;
        if (!StripLineBreaks(line).isEmpty())
            survivors.append(u"K"_s + StripLineBreaks(line));
    }
    QCOMPARE(keyword.result.text, literalGroupedJoin(survivors));
    QCOMPARE(meter.started, entries);
}

// Long lines as the suffix array sees them: each unit written as one to three bytes, a byte
// between lines, lone breaks kept inside theirs.
void TestLineCommands::dedupAgreesOnLongPieces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<dedup::Tuning>("tuning");
    // Pieces of sixteen units or more, held and not; é and ê share their first byte.
    const QStringList wide = {u"ab手机价格éλ中文cd手机价格éλ中文ef"_s,
                              u"机价格éλ中文cd手机价格éλ中"_s,
                              u"格éλ中文cd手机价格éλ中文e"_s,
                              u"价格éλ中文cd手机价格éλ中文eg"_s,
                              u"éλ中文cd手机价格éλ中文ef"_s,
                              u"手机价格êλ中文cd手机价格éλ"_s};
    const QStringList cases[] = {
        {u"abcdefghijklmnopq"_s, u"rstuvwxyz0123456"_s, u"nopqrstuvwxyz0123"_s, u"z0123456abcdefghij"_s},
        wide,
        {u"x\U0001F600\0yzyzyzyzyzyzyzyz"_s,
         u"\xDE00\0yzyzyzyzyzyzyzyz"_s,
         u"\U0001F600\0yzyzyzyzyzyzyz"_s,
         u"\xD83D\0yzyzyzyzyzyzyzyz"_s},
        {u"head\nklmnopqrstuvwxyz0"_s, u"abcdefgh\rijklmnopqrst"_s, u"klmnopqrstuvwxyz0"_s, u"abcdefghijklmnopqrst"_s},
        {u"0123456789abcdefghijklmnopqrstuvwxyz"_s,
         u"456789abcdefghijklmnopq"_s,
         u"6789abcdefghijklm"_s,
         u"ABCDEFGHIJKLMNOPQ"_s,
         u"xxABCDEFGHIJKLMNOPQxx"_s,
         u"BCDEFGHIJKLMNOPQx"_s,
         u"ABCDEFGHIJKLMNOPQ"_s},
    };
    const char* const rules[] = {
        "a piece across the break between two earlier lines is no duplicate",
        "units of one, two and three bytes match only as whole units",
        "surrogate halves apart from their pairs match as units",
        "a lone break splits no pattern, and one without breaks is found after it",
        "a line inside a line inside an earlier one; one held only by a later line",
    };
    for (const DedupWay& way : DedupWays) {
        for (std::size_t k = 0; k < std::size(cases); ++k)
            QTest::addRow("%s (%s)", rules[k], way.name) << cases[k].join(CRLF) << way.tuning;
    }
}

void TestLineCommands::dedupAgreesOnLongPieces()
{
    QFETCH(QString, text);
    QFETCH(dedup::Tuning, tuning);
    QCOMPARE(dedupByWay(text, tuning), literalDedup(text));
}

void TestLineCommands::agreesWithLiteralVersion_data()
{
    QTest::addColumn<Agreement>("row");
    for (const DedupWay& way : DedupWays) {
        const auto row = [&way](const char* rule, const Agreement& agreement) {
            QTest::addRow("去重复, %s: %s", way.name, rule) << agreement;
        };
        const dedup::Tuning& t = way.tuning;
        row("Chinese and Latin, keyword length", dedupAgrees(t, u"手机价格ab"_s, 8));
        row("long lines cross the anchor length", dedupAgrees(t, u"xy"_s, 40));
        row("long lines of one-, two- and three-byte units", dedupAgrees(t, u"手é\0a\xD83D\xDE00"_s, 40));
        row("lone CR and LF inside lines", dedupAgrees(t, u"a\r\nb"_s, 5));
        row("lone CR and LF inside long lines", dedupAgrees(t, u"ab\rc\n"_s, 40));
        row("NUL and surrogate halves", dedupAgrees(t, u"\0a\xD83D\xDE00"_s, 6));
        row("runs of one character", dedupAgrees(t, {}, 0, u"runs"_s));
        row("many lengths behind one start", dedupAgrees(t, {}, 0, u"lengths"_s));
        row("periodic text", dedupAgrees(t, {}, 0, u"periodic"_s));
        row("prefixes and suffixes", dedupAgrees(t, {}, 0, u"prefixes"_s));
        row("huge lines, pieces across their blocks", dedupAgrees(t, {}, 0, u"huge"_s));
        row("huge lines, windows reaching far", dedupAgrees(t, {}, 0, u"huge-far"_s));
    }
    QTest::newRow("去HTML: the tag patterns by regular expressions") << Agreement{30000, 20240601, stripAgrees};
    QTest::newRow("empty lines: the replace passes") << Agreement{3000, 99, emptyLinesAgree};
    QTest::newRow("去包含: two-unit keywords, repeated letters") << containsAgrees(u"aab"_s, 2, 8);
    QTest::newRow("去包含: lone CR and LF in lines and keywords") << containsAgrees(u"a\rb\n"_s, 2, 8);
    // Long runs make the search hand over from the first-unit scan; a match must not cross a break.
    QTest::newRow("去包含: runs and lone breaks, long keywords") << containsAgrees(u"aaaaaa\r\n"_s, 60, 300);
    QTest::newRow("search: two letters, short keywords") << searchAgrees(u"ab"_s, 3, 60);
    QTest::newRow("search: two letters, keywords past the first-unit scan") << searchAgrees(u"ab"_s, 100, 400);
    QTest::newRow("search: runs of one letter") << searchAgrees(u"aaaaaaab"_s, 60, 400);
    QTest::newRow("search: periodic keywords in near-periodic text") << searchAgrees(u"abc"_s, 40, 400, true);
    QTest::newRow("search: units sharing their low byte") << searchAgrees(u"a\u0161b\u0162"_s, 30, 300);
    QTest::newRow("search: NUL and surrogate halves") << searchAgrees(u"\0a\xD83D\xDE00"_s, 30, 300);
    // An empty keyword is found where the search starts, as long as that is in the text.
    QTest::newRow("search: an empty keyword") << Agreement{1, 0, [](QRandomGenerator&) {
                                                               QCOMPARE(TextSearch(u"").indexIn(u"abc", 3), 3);
                                                               QCOMPARE(TextSearch(u"").indexIn(u"abc", 4), -1);
                                                           }};
}

void TestLineCommands::agreesWithLiteralVersion()
{
    QFETCH(Agreement, row);
    QRandomGenerator rng(row.seed);
    for (int round = 0; round < row.rounds && !QTest::currentTestFailed(); ++round)
        row.round(rng);
}

QTEST_APPLESS_MAIN(TestLineCommands)
#include "testlinecommands.moc"
