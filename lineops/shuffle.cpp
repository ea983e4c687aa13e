#include "lineops/shuffle.h"

#include "shell/linemodel.h"

#include <QTime>

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

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

QString RndLine(QStringView text, UniformSource& random)
{
    LineList lines = SplitLines(text);
    const qsizetype count = lines.size();
    for (qsizetype i = 0; i < count; ++i) {
        // r * count may round up to count for values of r just below 1.
        const auto j =
            std::min(static_cast<qsizetype>(std::floor(random.next() * static_cast<double>(count))), count - 1);
        std::swap(lines[i], lines[std::max<qsizetype>(j, 0)]);
    }

    qsizetype size = count > 0 ? 2 * (count - 1) : 0;
    for (QStringView line : std::as_const(lines))
        size += line.size();
    QString result(size, Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(result.data());
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0) {
            *out++ = u'\r';
            *out++ = u'\n';
        }
        const QStringView line = lines[i];
        out = std::copy(line.utf16(), line.utf16() + line.size(), out);
    }
    return result;
}

} // namespace lumbrel
