#include "bench/benchops.h"
#include "lineops/htmlstrip.h"
#include "lineops/rewrites.h"
#include "lineops/shuffle.h"

namespace lumbrel::bench {
namespace {

// Keeps the compiler from dropping a result nobody reads.
void use(const QString& text)
{
    if (text.size() < 0)
        qFatal("impossible");
}

void useBoxed(const BoxedOpResult& r)
{
    if (r.result.refused())
        qFatal("refused: %s", qPrintable(r.result.refusal));
    use(r.result.text);
}

const bool registered = [] {
    registerOp({QStringLiteral("shuffle"), [](const QString& text) {
                    TwisterSource random(20240601);
                    use(ShuffleLines(text, random));
                }});
    registerOp({QStringLiteral("html"), [](const QString& text) { use(StripHtmlTags(text)); }});
    registerOp({QStringLiteral("replace"),
                [](const QString& text) { use(ReplaceText(text, keywordOr(u"手机"), u"电话").text); }});
    registerOp({QStringLiteral("split"), [](const QString& text) { use(BreakAtText(text, keywordOr(u",")).text); }});
    registerOp({QStringLiteral("remove"), [](const QString& text) { use(RemoveText(text, keywordOr(u"手机")).text); }});
    registerOp({QStringLiteral("prefix"), [](const QString& text) {
                    NullProgressMeter meter;
                    useBoxed(AddKeyword(text, keywordOr(u"PRE"), KeywordSide::Front, meter));
                }});
    registerOp({QStringLiteral("suffix"), [](const QString& text) {
                    NullProgressMeter meter;
                    useBoxed(AddKeyword(text, keywordOr(u"SUF"), KeywordSide::Back, meter));
                }});
    registerOp({QStringLiteral("before"), [](const QString& text) {
                    NullProgressMeter meter;
                    useBoxed(KeepPiece(text, keywordOr(u" "), MarkerPiece::Before, meter));
                }});
    registerOp({QStringLiteral("after"), [](const QString& text) {
                    NullProgressMeter meter;
                    useBoxed(KeepPiece(text, keywordOr(u" "), MarkerPiece::After, meter));
                }});
    registerOp({QStringLiteral("left"), [](const QString& text) {
                    NullProgressMeter meter;
                    useBoxed(TakeChars(text, numberOr(u"2"), LineEnd::Left, meter));
                }});
    registerOp({QStringLiteral("right"), [](const QString& text) {
                    NullProgressMeter meter;
                    useBoxed(TakeChars(text, numberOr(u"2"), LineEnd::Right, meter));
                }});
    return true;
}();

} // namespace
} // namespace lumbrel::bench
