// The line rewrites: one output line per entry (or per surviving entry), the shuffle keeps
// the lines, the replace commands agree with a plain scan; no input may break them.
#include "fuzz/fuzzinput.h"
#include "lineops/linemodel.h"
#include "lineops/rewrites.h"
#include "lineops/shuffle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace lumbrel;

namespace {

class FixedSource final : public UniformSource
{
public:
    explicit FixedSource(uint8_t seed)
        : m_state(seed)
    {
    }
    double next() override
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(m_state >> 11) * 0x1.0p-53;
    }

private:
    uint64_t m_state;
};

QStringList sortedLines(const QString& text)
{
    QStringList lines;
    for (QStringView v : SplitLines(text))
        lines.append(v.toString());
    lines.sort();
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in{data, size};
    const uint8_t mode = in.take();
    const QString param = in.takeText(6);
    QString text = in.rest();
    if (mode & 1)
        text = fuzz::narrowed(text, u"ab \r\n\r\n");
    NullProgressMeter meter;
    const qsizetype entries = SplitLines(text).size();

    FixedSource random(mode);
    const QString shuffled = ShuffleLines(text, random);
    FUZZ_CHECK(sortedLines(shuffled) == sortedLines(text));

    const ReplaceResult removed = RemoveText(text, param);
    FUZZ_CHECK(removed.search == RemoveLineBreaks(param));
    if (!removed.search.isEmpty())
        FUZZ_CHECK(removed.text == QString(text).replace(removed.search, QString()));

    for (auto piece : {MarkerPiece::Before, MarkerPiece::After}) {
        const BoxedOpResult r = KeepPiece(text, param, piece, meter);
        FUZZ_CHECK(r.box && *r.box == StripLineBreaks(param));
        // One output line per entry: the pieces hold no CR LF, so none can form across them.
        if (!r.result.refused())
            FUZZ_CHECK(SplitLines(r.result.text).size() == entries + 1);
    }
    for (auto end : {LineEnd::Left, LineEnd::Right}) {
        const BoxedOpResult r = TakeChars(text, param, end, meter);
        if (!r.result.refused())
            FUZZ_CHECK(SplitLines(r.result.text).size() == entries + 1);
    }
    for (auto side : {KeywordSide::Front, KeywordSide::Back}) {
        const BoxedOpResult r = AddKeyword(text, param, side, meter);
        if (!r.result.refused())
            FUZZ_CHECK(r.result.text.endsWith(u"\r\n"));
    }
    return 0;
}
