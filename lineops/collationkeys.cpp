#include "lineops/collationkeys.h"

#include <cstring>
#include <memory>
#include <thread>
#include <unicode/ucol.h>

namespace lumbrel {

namespace {

constexpr std::size_t ParallelKeys = 4096;
constexpr std::size_t PulseEvery = 4096;

struct CollatorDeleter
{
    void operator()(UCollator* c) const
    {
        ucol_close(c);
    }
};
using Collator = std::unique_ptr<UCollator, CollatorDeleter>;

// The collator QCollator opens for zh_CN: normalization on, the default (tertiary) strength,
// punctuation not ignored, numeric mode as asked.
Collator openCollator(bool numeric)
{
    UErrorCode status = U_ZERO_ERROR;
    Collator c(ucol_open("zh_CN", &status));
    ucol_setAttribute(c.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(c.get(), UCOL_STRENGTH, UCOL_DEFAULT_STRENGTH, &status);
    ucol_setAttribute(c.get(), UCOL_NUMERIC_COLLATION, numeric ? UCOL_ON : UCOL_OFF, &status);
    ucol_setAttribute(c.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    if (U_FAILURE(status))
        qFatal("the Chinese collation of ICU is missing");
    return c;
}

// Writes the keys of lines[which[from .. to)] one after the other into `bytes`; `ends[k]` gets
// the end of key k relative to the block's start.
void makeKeys(const LineList& lines,
              std::span<const std::uint32_t> which,
              std::size_t from,
              std::size_t to,
              bool numeric,
              std::vector<char>& bytes,
              std::vector<std::size_t>& ends,
              ProgressMeter* meter)
{
    const Collator collator = openCollator(numeric);
    std::size_t used = 0;
    // A key takes a few bytes a unit: start at that and grow by doubling.
    qsizetype units = 0;
    for (std::size_t k = from; k < to; ++k)
        units += lines[which[k]].size();
    bytes.resize(static_cast<std::size_t>(units) * 4 + 64);
    for (std::size_t k = from; k < to; ++k) {
        const QStringView line = lines[which[k]];
        const auto* source = reinterpret_cast<const UChar*>(line.utf16());
        const auto length = static_cast<int32_t>(line.size());
        for (;;) {
            const std::size_t room = std::min<std::size_t>(bytes.size() - used, INT32_MAX);
            const int32_t need = ucol_getSortKey(collator.get(),
                                                 source,
                                                 length,
                                                 reinterpret_cast<uint8_t*>(bytes.data() + used),
                                                 static_cast<int32_t>(room));
            if (static_cast<std::size_t>(need) <= room) {
                used += static_cast<std::size_t>(need);
                break;
            }
            bytes.resize(std::max(bytes.size() * 2, used + static_cast<std::size_t>(need)));
        }
        ends[k] = used;
        if (meter && (k - from) % PulseEvery == 0)
            meter->pulse(static_cast<qsizetype>(k - from), static_cast<qsizetype>(to - from) * 3 / 2);
    }
    bytes.resize(used);
}

} // namespace

CollationKeys::CollationKeys(const LineList& lines,
                             std::span<const std::uint32_t> which,
                             bool numeric,
                             ProgressMeter& meter)
{
    const std::size_t d = which.size();
    const std::size_t half = d < ParallelKeys ? d : d / 2;
    std::vector<std::size_t> ends(d);
    if (half < d) {
        std::thread other([&] { makeKeys(lines, which, half, d, numeric, m_bytes[1], ends, nullptr); });
        makeKeys(lines, which, 0, half, numeric, m_bytes[0], ends, &meter);
        other.join();
    } else {
        makeKeys(lines, which, 0, d, numeric, m_bytes[0], ends, &meter);
    }
    m_key.resize(d);
    for (std::size_t k = 0; k < d; ++k) {
        const bool second = k >= half;
        const std::size_t start = k == 0 || k == half ? 0 : ends[k - 1];
        m_key[k] = m_bytes[second ? 1 : 0].data() + start;
    }
}

std::uint64_t CollationKeys::prefix(std::size_t k) const
{
    const char* key = m_key[k];
    std::uint64_t p = 0;
    int i = 0;
    for (; i < 8 && key[i] != 0; ++i)
        p = p << 8 | static_cast<unsigned char>(key[i]);
    return i == 0 ? 0 : p << (8 * (8 - i));
}

int CollationKeys::compare(std::size_t a, std::size_t b) const
{
    return std::strcmp(m_key[a], m_key[b]);
}

} // namespace lumbrel
