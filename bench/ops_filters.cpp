#include "bench/benchops.h"
#include "lineops/filters.h"

namespace lumbrel::bench {
namespace {

// By default the same parameters as the command-line peers: N = 10, keyword "手机".
const bool registered = [] {
    registerOp({QStringLiteral("empty"), [](const QString& text) {
                    const LineOpResult r = RemoveEmptyLines(text);
                    Q_UNUSED(r);
                }});
    registerOp({QStringLiteral("chinese"), [](const QString& text) {
                    const LineOpResult r = FilterChinese(text, ChineseFilter::KeepChinese);
                    Q_UNUSED(r);
                }});
    registerOp({QStringLiteral("nochinese"), [](const QString& text) {
                    const LineOpResult r = FilterChinese(text, ChineseFilter::KeepOther);
                    Q_UNUSED(r);
                }});
    registerOp({QStringLiteral("longer"), [](const QString& text) {
                    NullProgressMeter meter;
                    const LineOpResult r = FilterByLength(text, numberOr(u"10"), LengthFilter::KeepShorter, meter);
                    Q_UNUSED(r);
                }});
    registerOp({QStringLiteral("shorter"), [](const QString& text) {
                    NullProgressMeter meter;
                    const LineOpResult r = FilterByLength(text, numberOr(u"10"), LengthFilter::KeepLonger, meter);
                    Q_UNUSED(r);
                }});
    registerOp({QStringLiteral("contains"), [](const QString& text) {
                    NullProgressMeter meter;
                    const LineOpResult r = RemoveContaining(text, keywordOr(u"手机"), meter);
                    Q_UNUSED(r);
                }});
    return true;
}();

} // namespace
} // namespace lumbrel::bench
