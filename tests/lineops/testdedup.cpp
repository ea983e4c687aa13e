#include "lineops/dedup.h"

#include <QRandomGenerator>
#include <QTest>

using namespace lumbrel;

namespace {

// The command as literally described: search every line in the whole kept text, built by
// prepending. Quadratic, so only for small inputs.
QString literalDedup(const QString& text)
{
    QString kept;
    for (QStringView line : SplitLines(text)) {
        const bool found = !kept.isEmpty() && kept.contains(line);
        if (!found)
            kept = line.toString() + QStringLiteral("\r\n") + kept;
    }
    return kept;
}

class RecordingMeter final : public ProgressMeter
{
public:
    void start(qsizetype max) override
    {
        calls.append(QStringLiteral("start %1").arg(max));
    }
    void step() override
    {
        ++steps;
    }
    void finish() override
    {
        calls.append(QStringLiteral("finish"));
    }
    QStringList calls;
    int steps = 0;
};

} // namespace

class TestDedup final : public QObject
{
    Q_OBJECT

private slots:
    void refusesFewerThanThreeLines_data();
    void refusesFewerThanThreeLines();
    void keepsFirstOccurrencesReversed_data();
    void keepsFirstOccurrencesReversed();
    void meterStepsOnKeptLinesOnly();
    void agreesWithLiteralAlgorithm_data();
    void agreesWithLiteralAlgorithm();
};

void TestDedup::refusesFewerThanThreeLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("one line") << QStringLiteral("abc");
    QTest::newRow("two lines") << QStringLiteral("a\r\nb");
}

void TestDedup::refusesFewerThanThreeLines()
{
    QFETCH(QString, text);
    RecordingMeter meter;
    const LineOpResult r = RemoveDuplicates(text, meter);
    QCOMPARE(r.refusal, QStringLiteral("数据不足，人工去除吧"));
    QVERIFY(meter.calls.isEmpty());
}

void TestDedup::keepsFirstOccurrencesReversed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("an equal later line is dropped") << QStringLiteral("a\r\nb\r\na") << QStringLiteral("b\r\na\r\n");
    QTest::newRow("a part of an earlier line is dropped")
        << QStringLiteral("abc\r\nab\r\nx") << QStringLiteral("x\r\nabc\r\n");
    QTest::newRow("a line containing an earlier line stays")
        << QStringLiteral("ab\r\nabc\r\n") << QStringLiteral("abc\r\nab\r\n");
    QTest::newRow("an empty first line stays and ends up last")
        << QStringLiteral("\r\na\r\nb") << QStringLiteral("b\r\na\r\n\r\n");
    QTest::newRow("case-sensitive") << QStringLiteral("A\r\na\r\nA") << QStringLiteral("a\r\nA\r\n");
    QTest::newRow("three empty lines keep one") << QStringLiteral("\r\n\r\n") << QStringLiteral("\r\n");
    QTest::newRow("no repeats: reversed all the same")
        << QStringLiteral("x\r\ny\r\nz") << QStringLiteral("z\r\ny\r\nx\r\n");
    QTest::newRow("a part of a dropped line is dropped too")
        << QStringLiteral("abcd\r\nbcd\r\ncd") << QStringLiteral("abcd\r\n");
    QTest::newRow("surrogate pairs compare by code unit")
        << QStringLiteral("\U0001F600x\r\n\U0001F600\r\n\U0001F601") << QStringLiteral("\U0001F601\r\n\U0001F600x\r\n");
    QTest::newRow("a lone LF line matches across the kept break")
        << QStringLiteral("a\r\nb\r\n\na") << QStringLiteral("b\r\na\r\n");
    QTest::newRow("a lone CR line matches a line end")
        << QStringLiteral("xa\r\nq\r\na\r") << QStringLiteral("q\r\nxa\r\n");
    QTest::newRow("long lines found through their anchor")
        << QStringLiteral("0123456789abcdefghij\r\n123456789abcdefghi\r\n3456789abcdefghij\r\n3456789abcdefghijk")
        << QStringLiteral("3456789abcdefghijk\r\n0123456789abcdefghij\r\n");
}

void TestDedup::keepsFirstOccurrencesReversed()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    NullProgressMeter meter;
    QCOMPARE(RemoveDuplicates(text, meter).text, expected);
    QCOMPARE(literalDedup(text), expected);
}

void TestDedup::meterStepsOnKeptLinesOnly()
{
    RecordingMeter meter;
    RemoveDuplicates(QStringLiteral("a\r\nb\r\na\r\nab\r\nb"), meter);
    QCOMPARE(meter.calls, (QStringList{QStringLiteral("start 5"), QStringLiteral("finish")}));
    QCOMPARE(meter.steps, 3);
}

void TestDedup::agreesWithLiteralAlgorithm_data()
{
    QTest::addColumn<QString>("alphabet");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<int>("lines");
    QTest::newRow("two letters, short lines") << QStringLiteral("ab") << 4 << 60;
    QTest::newRow("Chinese and Latin, keyword length") << QStringLiteral("手机价格ab") << 8 << 200;
    QTest::newRow("long lines cross the anchor length") << QStringLiteral("xy") << 40 << 150;
    QTest::newRow("lone CR and LF inside lines") << QStringLiteral("a\r\nb") << 5 << 80;
    QTest::newRow("NUL and surrogate halves") << QString::fromUtf16(u"\0a\xD83D\xDE00", 4) << 6 << 100;
}

void TestDedup::agreesWithLiteralAlgorithm()
{
    QFETCH(QString, alphabet);
    QFETCH(int, maxLength);
    QFETCH(int, lines);
    QRandomGenerator rng(20261206);
    for (int round = 0; round < 60; ++round) {
        QStringList pieces;
        for (int i = 0; i < lines; ++i) {
            // Earlier lines and their parts come back often, as in real keyword lists.
            if (!pieces.isEmpty() && rng.bounded(3) == 0) {
                const QString& earlier = pieces[rng.bounded(static_cast<int>(pieces.size()))];
                const int from = earlier.isEmpty() ? 0 : rng.bounded(static_cast<int>(earlier.size()));
                pieces.append(earlier.mid(from, rng.bounded(maxLength + 1)));
                continue;
            }
            QString line;
            const int length = rng.bounded(maxLength + 1);
            for (int k = 0; k < length; ++k)
                line.append(alphabet[rng.bounded(static_cast<int>(alphabet.size()))]);
            pieces.append(line);
        }
        const QString text = pieces.join(QStringLiteral("\r\n"));
        NullProgressMeter meter;
        const LineOpResult r = RemoveDuplicates(text, meter);
        if (SplitLines(text).size() < 3)
            continue;
        QCOMPARE(r.text, literalDedup(text));
    }
}

QTEST_APPLESS_MAIN(TestDedup)
#include "testdedup.moc"
