#pragma once

#include "lineops/linemodel.h"
#include "lineops/progressmeter.h"

#include <cstdint>
#include <span>
#include <vector>

namespace lumbrel {

// The sort keys of some lines under the Chinese collation (pinyin) of ICU, exactly the keys
// QCollator makes for QLocale(QLocale::Chinese, QLocale::China) (in numeric mode for the
// natural order): two keys compare as the lines do. They are made with ICU itself, straight
// into one block of bytes a core, because a key object a line costs two allocations and a
// pointer chase per comparison, half the sort's time on a million lines.
class CollationKeys
{
public:
    // Keys of `lines[which[k]]` for every k, made on both cores for many lines; the meter's
    // pulse moves on the calling thread.
    CollationKeys(const LineList& lines, std::span<const std::uint32_t> which, bool numeric, ProgressMeter& meter);

    std::size_t size() const
    {
        return m_key.size();
    }
    // Key k: bytes ending with a zero byte, the only zero in it.
    const char* key(std::size_t k) const
    {
        return m_key[k];
    }
    // The key's first eight bytes as a number (zeros after its end): keys whose prefixes differ
    // compare as the prefixes do.
    std::uint64_t prefix(std::size_t k) const;

    // Negative, zero or positive as key a sorts before, with or after key b.
    int compare(std::size_t a, std::size_t b) const;

private:
    std::vector<char> m_bytes[2];
    std::vector<const char*> m_key;
};

} // namespace lumbrel
