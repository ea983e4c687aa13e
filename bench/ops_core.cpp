#include "bench/benchops.h"
#include "lineops/dedup.h"
#include "shell/textarea.h"

namespace lumbrel::bench {
namespace {

const bool registered = [] {
    registerOp({QStringLiteral("dedup"), [](const QString& text) {
                    NullProgressMeter meter;
                    const LineOpResult r = RemoveDuplicates(text, meter);
                    Q_UNUSED(r);
                }});
    registerOp({QStringLiteral("areas"),
                [](const QString& text) {
                    TextArea area;
                    area.setContent(text);
                    const QString back = area.content();
                    if (back.size() != text.size())
                        qFatal("text area changed the text");
                },
                true});
    return true;
}();

} // namespace
} // namespace lumbrel::bench
