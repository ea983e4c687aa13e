#include "shell/linemodel.h"

#include <QRandomGenerator>
#include <QTest>

using namespace lumbrel;

class TestLineModel final : public QObject
{
    Q_OBJECT

private slots:
    void countLines_data();
    void countLines();
    void stripLineBreaks_data();
    void stripLineBreaks();
    void splitLines_data();
    void splitLines();
    void normalizeLineEnds_data();
    void normalizeLineEnds();
    void replaceAll_data();
    void replaceAll();
    void replaceAllAgreesWithPlainScan();

    void frontJoinReversesAndTerminatesEveryLine();
    void groupedFrontJoin_data();
    void groupedFrontJoin();
};

void TestLineModel::countLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("count");
    QTest::newRow("empty text counts 0") << QString() << qsizetype{0};
    QTest::newRow("one line without a break counts 0") << QStringLiteral("abc") << qsizetype{0};
    QTest::newRow("two lines") << QStringLiteral("a\r\nb") << qsizetype{2};
    QTest::newRow("a trailing break adds no line") << QStringLiteral("a\r\nb\r\n") << qsizetype{2};
    QTest::newRow("an empty line in the middle counts") << QStringLiteral("a\r\n\r\nb") << qsizetype{3};
    QTest::newRow("a lone break counts 1") << QStringLiteral("\r\n") << qsizetype{1};
    QTest::newRow("leading break") << QStringLiteral("\r\nabc") << qsizetype{2};
    QTest::newRow("a lone LF counts once a CR LF exists") << QStringLiteral("a\nb\r\nc") << qsizetype{3};
    QTest::newRow("lone LF without any CR LF counts 0") << QStringLiteral("a\nb") << qsizetype{0};
    QTest::newRow("trailing lone CR is no break") << QStringLiteral("a\r\nb\r") << qsizetype{2};
    QTest::newRow("breaks across many eight-unit blocks")
        << QStringLiteral("abcdefg\r\n\n1234567\r\nxy\n").repeated(5000) << qsizetype{20000};
}

void TestLineModel::countLines()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, count);
    QCOMPARE(CountLines(text), count);
}

void TestLineModel::stripLineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("breaks removed, spaces trimmed") << QStringLiteral("  ab\r\ncd  ") << QStringLiteral("abcd");
    QTest::newRow("tabs are not trimmed") << QStringLiteral("\ta ") << QStringLiteral("\ta");
    QTest::newRow("lone CR vanishes") << QStringLiteral("\r") << QString();
    QTest::newRow("lone LF and CR join pieces") << QStringLiteral(" a\nb\rc ") << QStringLiteral("abc");
    QTest::newRow("full-width space stays") << QStringLiteral("\u3000x\u3000") << QStringLiteral("\u3000x\u3000");
}

void TestLineModel::stripLineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(StripLineBreaks(text), expected);
}

void TestLineModel::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty text has no lines") << QString() << QStringList();
    QTest::newRow("one line") << QStringLiteral("abc") << QStringList{QStringLiteral("abc")};
    QTest::newRow("trailing break makes an empty last line")
        << QStringLiteral("a\r\n") << QStringList{QStringLiteral("a"), QString()};
    QTest::newRow("a lone break is two empty lines") << QStringLiteral("\r\n") << QStringList{QString(), QString()};
    QTest::newRow("lone LF does not split") << QStringLiteral("a\nb") << QStringList{QStringLiteral("a\nb")};
    QTest::newRow("CR CR LF keeps the first CR in the line")
        << QStringLiteral("a\r\r\nb") << QStringList{QStringLiteral("a\r"), QStringLiteral("b")};
    QTest::newRow("NUL characters are ordinary")
        << QString::fromUtf16(u"a\0b\r\nc", 6) << QStringList{QString::fromUtf16(u"a\0b", 3), QStringLiteral("c")};
}

void TestLineModel::splitLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QStringList got;
    for (QStringView v : SplitLines(text))
        got.append(v.toString());
    QCOMPARE(got, lines);
}

void TestLineModel::normalizeLineEnds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("CR LF stays") << QStringLiteral("a\r\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("LF becomes CR LF") << QStringLiteral("a\nb\n") << QStringLiteral("a\r\nb\r\n");
    QTest::newRow("CR becomes CR LF") << QStringLiteral("a\rb") << QStringLiteral("a\r\nb");
    QTest::newRow("LF CR is two breaks") << QStringLiteral("\n\r") << QStringLiteral("\r\n\r\n");
    QTest::newRow("CR CR LF") << QStringLiteral("\r\r\n") << QStringLiteral("\r\n\r\n");
}

void TestLineModel::normalizeLineEnds()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(NormalizeLineEnds(text), expected);
}

void TestLineModel::replaceAll_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("expected");
    QTest::newRow("non-overlapping: aa out of aaa leaves a")
        << QStringLiteral("aaa") << QStringLiteral("aa") << QString() << QStringLiteral("a");
    QTest::newRow("aa out of aaaa leaves nothing")
        << QStringLiteral("aaaa") << QStringLiteral("aa") << QString() << QString();
    QTest::newRow("the replacement is not scanned again")
        << QStringLiteral("aaa") << QStringLiteral("a") << QStringLiteral("aa") << QStringLiteral("aaaaaa");
    QTest::newRow("empty search changes nothing")
        << QStringLiteral("abc") << QString() << QStringLiteral("x") << QStringLiteral("abc");
    QTest::newRow("case-sensitive") << QStringLiteral("ABC abc") << QStringLiteral("abc") << QStringLiteral("_")
                                    << QStringLiteral("ABC _");
    QTest::newRow("a match at the very end")
        << QStringLiteral("xyab") << QStringLiteral("ab") << QStringLiteral("-") << QStringLiteral("xy-");
    QTest::newRow("first unit at the end without the rest")
        << QStringLiteral("abxa") << QStringLiteral("ab") << QString() << QStringLiteral("xa");
    QTest::newRow("shorter replacement") << QStringLiteral("a--b--c") << QStringLiteral("--") << QStringLiteral("+")
                                         << QStringLiteral("a+b+c");
    QTest::newRow("search text longer than sixteen units")
        << QStringLiteral("0123456789abcdefgX 0123456789abcdefgh!") << QStringLiteral("0123456789abcdefgh")
        << QStringLiteral("#") << QStringLiteral("0123456789abcdefgX #!");
}

void TestLineModel::replaceAllAgreesWithPlainScan()
{
    // Both ways of finding the search text (by its first unit, and by the skip-table matcher
    // for long ones) against the plain left-to-right scan.
    const auto plain = [](const QString& text, const QString& from, const QString& to) {
        QString out;
        qsizetype i = 0;
        while (i < text.size()) {
            if (QStringView(text).sliced(i).startsWith(from)) {
                out += to;
                i += from.size();
            } else {
                out += text[i++];
            }
        }
        return out;
    };
    QRandomGenerator random(5);
    const auto word = [&random](int maxLength) {
        QString w;
        const int length = static_cast<int>(random.bounded(maxLength)) + 1;
        for (int i = 0; i < length; ++i)
            w += QChar(u'a' + random.bounded(2));
        return w;
    };
    for (int round = 0; round < 3000; ++round) {
        const QString text = word(60);
        const QString from = word(round % 2 ? 4 : 20);
        const QString to = round % 3 ? word(3) : QString();
        QCOMPARE(ReplaceAll(text, from, to), plain(text, from, to));
    }
}

void TestLineModel::replaceAll()
{
    QFETCH(QString, text);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, expected);
    QCOMPARE(ReplaceAll(text, from, to), expected);
}

void TestLineModel::frontJoinReversesAndTerminatesEveryLine()
{
    const QString a = QStringLiteral("A"), b = QStringLiteral("B"), c = QStringLiteral("C");
    QCOMPARE(FrontJoin({a, b, c}), QStringLiteral("C\r\nB\r\nA\r\n"));
    QCOMPARE(FrontJoin({a, QStringView()}), QStringLiteral("\r\nA\r\n"));
    QCOMPARE(FrontJoin({}), QString());
    QCOMPARE(FrontJoin({a, b}, u"<", u">"), QStringLiteral("<B>\r\n<A>\r\n"));
}

// The reference: the group-by-group prepending the commands describe, on small numbers.
static QString groupedReference(const QStringList& lines)
{
    QString result;
    QString group;
    int count = 0;
    for (const QString& line : lines) {
        ++count;
        if (count > 2000) {
            result = group + QStringLiteral("\r\n") + result;
            group.clear();
            count = 0;
        }
        group = line + QStringLiteral("\r\n") + group;
    }
    return group + QStringLiteral("\r\n") + result;
}

void TestLineModel::groupedFrontJoin_data()
{
    QTest::addColumn<int>("n");
    for (int n : {0, 1, 2, 1999, 2000, 2001, 2002, 4000, 4001, 4002, 6003})
        QTest::addRow("%d lines", n) << n;
}

void TestLineModel::groupedFrontJoin()
{
    QFETCH(int, n);
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines.append(QStringLiteral("L%1").arg(i + 1));
    LineList views(lines.begin(), lines.end());
    QCOMPARE(GroupedFrontJoin(views), groupedReference(lines));
}

QTEST_APPLESS_MAIN(TestLineModel)
#include "testlinemodel.moc"
