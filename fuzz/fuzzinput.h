#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace lumbrel::fuzz {

// The fuzzer's bytes read as UTF-16 code units, two bytes each, so lone surrogates, NUL,
// lone CR and LF all occur. A few bytes in front choose parameters.
struct FuzzInput
{
    const uint8_t* data;
    std::size_t size;

    uint8_t take()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }

    // A short parameter text: a length byte, then that many code units.
    QString takeText(std::size_t maxUnits)
    {
        const std::size_t n = std::min<std::size_t>(take() % (maxUnits + 1), size / 2);
        QString s = units(n);
        data += n * 2;
        size -= n * 2;
        return s;
    }

    QString rest() const
    {
        return units(size / 2);
    }

private:
    QString units(std::size_t n) const
    {
        QString s(static_cast<qsizetype>(n), Qt::Uninitialized);
        for (std::size_t i = 0; i < n; ++i)
            s[static_cast<qsizetype>(i)] = QChar(static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
        return s;
    }
};

// Small alphabets make repeats, breaks and tags likely: map each unit onto a few characters.
inline QString narrowed(const QString& s, QStringView alphabet)
{
    QString out(s.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i)
        out[i] = alphabet[s[i].unicode() % alphabet.size()];
    return out;
}

} // namespace lumbrel::fuzz

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
