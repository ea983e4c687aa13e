// The list commands: what they keep and set aside are the input lines, rearranged; the set
// operations agree with plain set code over the folded lines; the sorts are ordered
// permutations.
#include "fuzz/fuzzinput.h"
#include "lineops/linefold.h"
#include "lineops/lineset.h"
#include "lineops/linesort.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QSet>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

namespace {

QStringList listLines(const QString& text)
{
    QStringList lines;
    for (QStringView v : SplitListLines(text))
        lines.append(v.toString());
    return lines;
}

QStringList sorted(QStringList lines)
{
    lines.sort();
    return lines;
}

// Every result is lines each followed by CR LF.
QStringList resultLines(const QString& text)
{
    FUZZ_CHECK(text.isEmpty() || text.endsWith(CrLf));
    return listLines(text);
}

void checkSplit(const QStringList& input, const ListOpResult& r)
{
    const QStringList kept = resultLines(r.text);
    const QStringList aside = resultLines(r.setAside.value_or(QString()));
    FUZZ_CHECK(kept.size() == r.kept && aside.size() == r.removed);
    FUZZ_CHECK(sorted(kept + aside) == sorted(input));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const uint8_t mode = in.take();
    const LineFolds folds = LineFolds::fromInt(mode & 7);
    QString temp = in.takeText(64);
    QString text = in.rest();
    if (mode & 8) {
        text = fuzz::narrowed(text, u"aAａＡ \u3000\r\n\r\n");
        temp = fuzz::narrowed(temp, u"aAａＡ \u3000\r\n\r\n");
    }
    NullProgressMeter meter;
    if (text.isEmpty()) {
        FUZZ_CHECK(ExactDedup(text, folds, meter).refusal == NoWorkingText);
        FUZZ_CHECK(SortLines(text, SortOrder::Length, meter).refusal == NoWorkingText);
        return 0;
    }
    const QStringList input = listLines(text);
    const auto keyOf = [&](const QString& line) { return FoldLine(line, folds); };

    const ListOpResult dedup = ExactDedup(text, folds, meter);
    checkSplit(input, dedup);
    QSet<QString> keptKeys;
    for (const QString& line : resultLines(dedup.text))
        keptKeys.insert(keyOf(line));
    FUZZ_CHECK(keptKeys.size() == dedup.kept);
    for (const QString& line : resultLines(*dedup.setAside))
        FUZZ_CHECK(keptKeys.contains(keyOf(line)));
    checkSplit(input, UniqueOnly(text, folds, meter));
    const ListOpResult duplicates = DuplicatesOnly(text, folds, meter);
    checkSplit(input, duplicates);

    const ListOpResult counts = CountOccurrences(text, folds, meter);
    qsizetype total = 0;
    qsizetype previous = input.size();
    for (const QString& line : resultLines(counts.text)) {
        const qsizetype count = line.sliced(line.lastIndexOf(u'\t') + 1).toLongLong();
        FUZZ_CHECK(count >= 1 && count <= previous);
        previous = count;
        total += count;
    }
    FUZZ_CHECK(total == input.size() && counts.kept == dedup.kept);
    const ListStatistics stats = LineStatistics(text, folds, meter);
    FUZZ_CHECK(stats.lines == input.size() && stats.distinct == dedup.kept);

    if (temp.isEmpty()) {
        FUZZ_CHECK(SubtractLines(text, temp, folds, meter).refusal == NoTemporaryText);
    } else {
        QSet<QString> tempKeys;
        for (const QString& line : listLines(temp))
            tempKeys.insert(keyOf(line));
        QStringList outside;
        QStringList inside;
        for (const QString& line : input)
            (tempKeys.contains(keyOf(line)) ? inside : outside).append(line);
        FUZZ_CHECK(resultLines(SubtractLines(text, temp, folds, meter).text) == outside);
        FUZZ_CHECK(resultLines(IntersectLines(text, temp, folds, meter).text) == inside);
        QStringList merged;
        QSet<QString> seen;
        for (const QString& line : input + listLines(temp)) {
            if (!seen.contains(keyOf(line)))
                merged.append(line);
            seen.insert(keyOf(line));
        }
        FUZZ_CHECK(resultLines(UnionLines(text, temp, folds, meter).text) == merged);
    }

    // Sorts: permutations, in order. Collation runs only on short texts: it is slow.
    QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
    for (SortOrder order : {SortOrder::Length, SortOrder::Pinyin, SortOrder::Natural}) {
        if (order != SortOrder::Length && text.size() > 2000)
            continue;
        collator.setNumericMode(order == SortOrder::Natural);
        const QStringList out = resultLines(SortLines(text, order, meter).text);
        FUZZ_CHECK(sorted(out) == sorted(input));
        for (qsizetype i = 1; i < out.size(); ++i) {
            if (order == SortOrder::Length) {
                FUZZ_CHECK(CharacterCount(out[i - 1]) <= CharacterCount(out[i]));
            } else if (!out[i - 1].isEmpty()) {
                FUZZ_CHECK(!out[i].isEmpty());
                FUZZ_CHECK(collator.sortKey(out[i - 1]).compare(collator.sortKey(out[i])) <= 0);
            }
        }
    }
    FUZZ_CHECK(resultLines(ReverseLines(text).text).size() == input.size());
    return 0;
}
