// The line filters: the kept and the set-aside lines together are exactly the input lines
// (group breaks aside), and each line lands on the side its test says.
#include "fuzz/fuzzinput.h"
#include "lineops/filters.h"
#include "lineops/linemodel.h"

#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

namespace {

// The non-empty lines of a front-joined result, sorted; group breaks add only empty lines.
QStringList nonEmptySorted(const QString& text)
{
    QStringList lines;
    for (QStringView v : SplitLines(text)) {
        if (!v.isEmpty())
            lines.append(v.toString());
    }
    lines.sort();
    return lines;
}

void checkPartition(const QString& input, const LineOpResult& r)
{
    if (r.refused())
        return;
    FUZZ_CHECK(r.setAside.has_value());
    FUZZ_CHECK(nonEmptySorted(r.text + *r.setAside) == nonEmptySorted(input));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const uint8_t mode = in.take();
    const QString keyword = in.takeText(4);
    QString text = in.rest();
    if (mode & 1)
        text = fuzz::narrowed(text, u"ab\u4e2d \r\n\r\n");
    NullProgressMeter meter;

    for (auto m : {ChineseFilter::KeepChinese, ChineseFilter::KeepOther}) {
        const LineOpResult r = FilterChinese(text, m);
        checkPartition(text, r);
        for (QStringView line : SplitLines(r.text))
            FUZZ_CHECK(line.isEmpty() || HasChineseCharacter(line) == (m == ChineseFilter::KeepChinese));
    }
    const QString limit = QString::number(mode % 7);
    for (auto m : {LengthFilter::KeepShorter, LengthFilter::KeepLonger})
        checkPartition(text, FilterByLength(text, limit, m, meter));
    const LineOpResult contains = RemoveContaining(text, keyword, meter);
    checkPartition(text, contains);
    if (!contains.refused()) {
        for (QStringView line : SplitLines(contains.text))
            FUZZ_CHECK(!line.contains(keyword));
    }
    const LineOpResult empty = RemoveEmptyLines(text);
    if (!empty.refused())
        FUZZ_CHECK(nonEmptySorted(empty.text) == nonEmptySorted(text));
    return 0;
}
