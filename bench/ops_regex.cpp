#include "bench/benchops.h"
#include "lineops/regexlines.h"

namespace lumbrel::bench {
namespace {

// The pattern from --keyword, or runs of three digits or more; LUMBREL_BENCH_FOLDS=1 ignores case.
void regexOp(const char* name, RegexMode mode)
{
    registerOp({QString::fromLatin1(name), [mode](const QString& text) {
                    NullProgressMeter meter;
                    const bool ignoreCase = qEnvironmentVariableIntValue("LUMBREL_BENCH_FOLDS") != 0;
                    const ListOpResult r = RegexLines(text, keywordOr(u"[0-9]{3,}"), mode, ignoreCase, meter);
                    if (r.refused())
                        qFatal("regex refused: %s", qPrintable(r.refusal));
                }});
}

const bool registered = [] {
    regexOp("regex-keep", RegexMode::Keep);
    regexOp("regex-remove", RegexMode::Remove);
    regexOp("regex-extract", RegexMode::Extract);
    return true;
}();

} // namespace
} // namespace lumbrel::bench
