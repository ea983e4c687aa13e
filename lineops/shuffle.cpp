#include "lineops/shuffle.h"

#include "lineops/linemodel.h"

#include <QTime>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

namespace lumbrel {

TwisterSource::TwisterSource(std::uint64_t seed)
    : m_engine(seed)
{
}

TwisterSource TwisterSource::fromTimeOfDay()
{
    const double seconds = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
    return TwisterSource(std::bit_cast<std::uint64_t>(seconds));
}

double TwisterSource::next()
{
    return static_cast<double>(m_engine() >> 11) * 0x1.0p-53;
}

namespace {

// The pass runs on line numbers rather than on the views: four-byte numbers keep its random
// accesses within a quarter of the memory. Only texts of more than 2^32 lines need wider ones.
template <typename Index> QString shuffled(QStringView text, const LineList& lines, UniformSource& random)
{
    const qsizetype count = lines.size();
    std::vector<Index> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), Index{0});
    for (qsizetype i = 0; i < count; ++i) {
        // r * count may round up to count for values of r just below 1.
        const auto j =
            std::min(static_cast<qsizetype>(std::floor(random.next() * static_cast<double>(count))), count - 1);
        std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(std::max<qsizetype>(j, 0))]);
    }

    // The same lines and as many line breaks: the result is as long as the text.
    QString result(text.size(), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(result.data());
    // Lines come from all over the text; asking for them a few lines ahead overlaps the waits.
    constexpr qsizetype Ahead = 16;
    for (qsizetype i = 0; i < count; ++i) {
        if (i + 2 * Ahead < count) {
            __builtin_prefetch(&lines[order[static_cast<std::size_t>(i + 2 * Ahead)]]);
            __builtin_prefetch(lines[order[static_cast<std::size_t>(i + Ahead)]].utf16());
        }
        if (i > 0) {
            *out++ = u'\r';
            *out++ = u'\n';
        }
        const QStringView line = lines[order[static_cast<std::size_t>(i)]];
        out = std::copy(line.utf16(), line.utf16() + line.size(), out);
    }
    return result;
}

} // namespace

QString ShuffleLines(QStringView text, UniformSource& random)
{
    const LineList lines = SplitLines(text);
    if (lines.size() <= std::numeric_limits<quint32>::max())
        return shuffled<quint32>(text, lines, random);
    return shuffled<qsizetype>(text, lines, random);
}

} // namespace lumbrel
