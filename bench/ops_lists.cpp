#include "bench/benchops.h"
#include "lineops/lineset.h"
#include "lineops/linesort.h"

#include <QFile>

namespace lumbrel::bench {
namespace {

// The temporary text of the set operations: the file named by LUMBREL_BENCH_TEMP when it is
// set (read once, before the timed runs), otherwise the working text itself.
const QString& benchTemp(const QString& text)
{
    static const QString temp = [&] {
        const QString path = qEnvironmentVariable("LUMBREL_BENCH_TEMP");
        if (path.isEmpty())
            return text;
        const std::optional<QByteArray> bytes = readFile(path);
        if (!bytes)
            qFatal("cannot read the temporary text");
        return QString::fromUtf8(*bytes);
    }();
    return temp;
}

// The folds of every comparison: none, or all three with LUMBREL_BENCH_FOLDS=1.
LineFolds benchFolds()
{
    return qEnvironmentVariableIntValue("LUMBREL_BENCH_FOLDS") != 0
               ? LineFolds(LineFold::Case | LineFold::Spaces | LineFold::Width)
               : LineFolds();
}

void single(const char* name, ListOpResult (*op)(QStringView, LineFolds, ProgressMeter&))
{
    registerOp({QString::fromLatin1(name), [op](const QString& text) {
                    NullProgressMeter meter;
                    const ListOpResult r = op(text, benchFolds(), meter);
                    Q_UNUSED(r);
                }});
}

void withTemp(const char* name, ListOpResult (*op)(QStringView, QStringView, LineFolds, ProgressMeter&))
{
    registerOp({QString::fromLatin1(name), [op](const QString& text) {
                    NullProgressMeter meter;
                    const ListOpResult r = op(text, benchTemp(text), benchFolds(), meter);
                    Q_UNUSED(r);
                }});
}

void sorting(const char* name, SortOrder order)
{
    registerOp({QString::fromLatin1(name), [order](const QString& text) {
                    NullProgressMeter meter;
                    const ListOpResult r = SortLines(text, order, meter);
                    Q_UNUSED(r);
                }});
}

const bool registered = [] {
    single("list-dedup", ExactDedup);
    single("list-unique", UniqueOnly);
    single("list-duplicates", DuplicatesOnly);
    single("list-count", CountOccurrences);
    withTemp("list-subtract", SubtractLines);
    withTemp("list-intersect", IntersectLines);
    withTemp("list-union", UnionLines);
    sorting("sort-pinyin", SortOrder::Pinyin);
    sorting("sort-natural", SortOrder::Natural);
    sorting("sort-length", SortOrder::Length);
    registerOp({QStringLiteral("list-reverse"), [](const QString& text) {
                    const ListOpResult r = ReverseLines(text);
                    Q_UNUSED(r);
                }});
    registerOp({QStringLiteral("list-stats"), [](const QString& text) {
                    NullProgressMeter meter;
                    const ListStatistics s = LineStatistics(text, benchFolds(), meter);
                    Q_UNUSED(s);
                }});
    return true;
}();

} // namespace
} // namespace lumbrel::bench
