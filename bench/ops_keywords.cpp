#include "bench/benchops.h"
#include "lineops/keywords.h"

#include <QSet>

namespace lumbrel::bench {

namespace {
constexpr qsizetype DefaultKeywords = 1000;
} // namespace

// The keyword list of remove-all-keywords, as the list area would hold it (CR LF): the file
// named by LUMBREL_BENCH_KEYS when it is set (one keyword a line, as grep -f reads it), read
// once; otherwise the first 1000 distinct two-unit fragments of the text's lines.
const QString& benchKeywordList(const QString& text)
{
    static const QString list = [&] {
        const QString path = qEnvironmentVariable("LUMBREL_BENCH_KEYS");
        if (!path.isEmpty()) {
            const std::optional<QByteArray> bytes = readFile(path);
            if (!bytes)
                qFatal("cannot read the keys file");
            return NormalizeLineEnds(QString::fromUtf8(*bytes));
        }
        QStringList keys;
        QSet<QStringView> seen;
        for (QStringView line : SplitLines(text)) {
            for (qsizetype i = 0; i + 2 <= line.size() && keys.size() < DefaultKeywords; ++i) {
                const QStringView fragment = line.sliced(i, 2);
                if (fragment.contains(u' ') || seen.contains(fragment))
                    continue;
                seen.insert(fragment);
                keys.append(fragment.toString());
            }
        }
        return keys.join(CrLf);
    }();
    return list;
}

namespace {

// Case and Width with LUMBREL_BENCH_FOLDS=1, as the list commands' benchmarks.
LineFolds benchFolds()
{
    return qEnvironmentVariableIntValue("LUMBREL_BENCH_FOLDS") != 0 ? LineFolds(LineFold::Case | LineFold::Width)
                                                                    : LineFolds();
}

const bool registered = [] {
    registerOp({QStringLiteral("remove-all-keywords"), [](const QString& text) {
                    NullProgressMeter meter;
                    const ListOpResult r = RemoveAllKeywords(text, benchKeywordList(text), benchFolds(), meter);
                    if (r.refused())
                        qFatal("remove-all-keywords refused");
                }});
    return true;
}();

} // namespace
} // namespace lumbrel::bench
