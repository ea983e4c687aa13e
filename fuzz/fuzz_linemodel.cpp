// The line model: counts, splitting, cleaning and joining hold their definitions on any text.
#include "fuzz/fuzzinput.h"
#include "lineops/linemodel.h"

#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const bool narrow = in.take() & 1;
    QString text = in.rest();
    if (narrow)
        text = fuzz::narrowed(text, u"ab\r\n ");

    const LineList lines = SplitLines(text);
    QStringList pieces;
    for (QStringView v : lines)
        pieces.append(v.toString());
    FUZZ_CHECK(pieces.join(QStringLiteral("\r\n")) == text);
    FUZZ_CHECK(text.isEmpty() == lines.isEmpty());

    // CountLines: 0 without CR LF, else the LF pieces less an empty last one.
    qsizetype expected = 0;
    if (text.contains(QStringLiteral("\r\n"))) {
        const QStringList byLf = text.split(QChar(u'\n'));
        expected = byLf.size() - (byLf.last().isEmpty() ? 1 : 0);
    }
    FUZZ_CHECK(CountLines(text) == expected);

    const QString stripped = StripLineBreaks(text);
    FUZZ_CHECK(!stripped.contains(u'\r') && !stripped.contains(u'\n'));
    FUZZ_CHECK(!stripped.startsWith(u' ') && !stripped.endsWith(u' '));

    const QString normalized = NormalizeLineEnds(text);
    FUZZ_CHECK(NormalizeLineEnds(normalized) == normalized);
    FUZZ_CHECK(QString(normalized).remove(QStringLiteral("\r\n")).count(u'\r') == 0);
    FUZZ_CHECK(QString(normalized).remove(QStringLiteral("\r\n")).count(u'\n') == 0);

    // Front-joining keeps every line once; grouping only adds empty lines.
    const QString joined = FrontJoin(lines);
    FUZZ_CHECK(joined.size() == text.size() + (lines.isEmpty() ? 0 : 2));
    const QString grouped = GroupedFrontJoin(lines);
    const qsizetype groups = lines.size() <= GroupSize ? 1 : 2 + (lines.size() - GroupSize - 1) / (GroupSize + 1);
    FUZZ_CHECK(grouped.size() == joined.size() + 2 * groups);

    // Joining a partition in one walk gives what joining each side's list gives.
    FUZZ_CHECK(CountSplitLines(text) == lines.size());
    LineList sides[2];
    for (QStringView v : lines)
        sides[v.size() % 2].append(v);
    const LinePartition partition = PartitionLines(text, [](QStringView v) { return v.size() % 2 == 1; });
    const JoinedPartition parts = JoinPartition(text, partition, JoinStyle::GroupedFront, JoinStyle::Front);
    FUZZ_CHECK(parts.passed == GroupedFrontJoin(sides[1]));
    FUZZ_CHECK(parts.failed == FrontJoin(sides[0]));
    return 0;
}
