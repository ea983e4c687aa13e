// Duplicate removal equals the literal algorithm (search each line in the kept text built so
// far) on inputs small enough to run it; half the inputs check the suffix-array path too.
#include "fuzz/fuzzinput.h"
#include "lineops/dedup.h"
#include "lineops/deduptuning.h"

#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const uint8_t mode = in.take();
    QString text = in.rest();
    if (text.size() > 4000)
        text.truncate(4000);
    // Mostly small alphabets, so repeats and parts of lines are common; sometimes raw units.
    if (mode % 4 == 0)
        text = fuzz::narrowed(text, u"ab\r\n");
    else if (mode % 4 == 1)
        text = fuzz::narrowed(text, u"abc\r\n\r\n\r\n");
    else if (mode % 4 == 2)
        text = fuzz::narrowed(text, u"xyxyxyxyxyxyxyxyxyxyz\r\n");

    NullProgressMeter meter;
    const LineOpResult r = RemoveDuplicates(text, meter);
    const LineList lines = SplitLines(text);
    if (lines.size() < 3) {
        FUZZ_CHECK(r.refused());
        return 0;
    }
    QString kept;
    for (QStringView line : lines) {
        if (kept.isEmpty() || !kept.contains(line))
            kept = line.toString() + QStringLiteral("\r\n") + kept;
    }
    FUZZ_CHECK(!r.refused());
    FUZZ_CHECK(r.text == kept);
    // The tuned search hands over to the suffix array on hostile inputs only.
    if (mode & 4)
        FUZZ_CHECK(FrontJoinKept(lines, dedup::KeepMask(lines, meter, dedup::SuffixArrayOnly)) == kept);
    return 0;
}
