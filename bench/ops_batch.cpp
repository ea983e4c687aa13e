#include "bench/benchops.h"
#include "lineops/filters.h"

#include <QFile>
#include <QSet>

namespace lumbrel::bench {
namespace {

constexpr qsizetype KeywordCount = 1000;

// The keywords of the batch run: the lines of the file named by LUMBREL_BENCH_KEYS when it
// is set, otherwise the first 1000 distinct two-unit fragments of the text's lines.
QStringList benchKeywords(const QString& text)
{
    QStringList keys;
    const QString path = qEnvironmentVariable("LUMBREL_BENCH_KEYS");
    if (!path.isEmpty()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read the keys file");
        const QString all = QString::fromUtf8(file.readAll());
        for (QStringView key : QStringView(all).split(u'\n')) {
            if (key.endsWith(u'\r'))
                key.chop(1);
            if (!key.isEmpty())
                keys.append(key.toString());
        }
        return keys;
    }
    QSet<QStringView> seen;
    for (QStringView line : SplitLines(text)) {
        for (qsizetype i = 0; i + 2 <= line.size(); ++i) {
            const QStringView fragment = line.sliced(i, 2);
            if (fragment.contains(u' ') || seen.contains(fragment))
                continue;
            seen.insert(fragment);
            keys.append(fragment.toString());
            if (keys.size() == KeywordCount)
                return keys;
        }
    }
    return keys;
}

// The batch job without its timer pauses: one contains pass per keyword over the working
// text, the removed blocks gathered newest first as in linshi.
void runBatch(const QString& input)
{
    const QStringList keys = benchKeywords(input);
    QString text = input;
    QList<QString> blocks;
    NullProgressMeter meter;
    for (const QString& key : keys) {
        LineOpResult r = RemoveContaining(text, key, meter);
        if (r.refused())
            break;
        text = std::move(r.text);
        blocks.append(std::move(*r.setAside));
    }
    qsizetype size = 0;
    for (const QString& block : blocks)
        size += block.size() + CrLf.size();
    QString gathered;
    gathered.reserve(size);
    for (qsizetype i = blocks.size() - 1; i >= 0; --i)
        gathered.append(blocks[i]).append(CrLf);
    if (gathered.size() != size)
        qFatal("batch: gathered text has the wrong size");
}

const bool registered = [] {
    registerOp({QStringLiteral("batch"), runBatch});
    return true;
}();

} // namespace
} // namespace lumbrel::bench
