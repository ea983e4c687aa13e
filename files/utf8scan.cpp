#include "files/utf8scan.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lumbrel::detail {

namespace {

#if defined(__x86_64__)

// Whole-block UTF-8 validation with byte shuffles: each byte is checked against the one, two
// and three before it through three 16-entry tables of error bits (after Keiser and Lemire,
// "Validating UTF-8 in less than one instruction per byte"). 16 bytes a step where the scalar
// loop takes one.
constexpr quint8 TooShort = 1 << 0;  // a lead byte followed by a lead or ASCII
constexpr quint8 TooLong = 1 << 1;   // ASCII followed by a continuation byte
constexpr quint8 Overlong3 = 1 << 2; // E0 80..9F
constexpr quint8 TooLarge = 1 << 3;  // F4 90..BF and F5..FF
constexpr quint8 Surrogate = 1 << 4; // ED A0..BF
constexpr quint8 Overlong2 = 1 << 5; // C0, C1
constexpr quint8 TooLarge1000 = 1 << 6;
constexpr quint8 Overlong4 = 1 << 6; // F0 80..8F
constexpr quint8 TwoConts = 1 << 7;  // two continuation bytes, checked by the lengths below
constexpr quint8 Carry = TooShort | TooLong | TwoConts;

__attribute__((target("ssse3"))) inline __m128i table(__m128i index, const quint8 (&entries)[16])
{
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entries)), index);
}

__attribute__((target("ssse3"))) inline __m128i blockErrors(__m128i input, __m128i previous)
{
    static const quint8 byte1High[16] = {TooLong,
                                         TooLong,
                                         TooLong,
                                         TooLong,
                                         TooLong,
                                         TooLong,
                                         TooLong,
                                         TooLong,
                                         TwoConts,
                                         TwoConts,
                                         TwoConts,
                                         TwoConts,
                                         TooShort | Overlong2,
                                         TooShort,
                                         TooShort | Overlong3 | Surrogate,
                                         TooShort | TooLarge | TooLarge1000 | Overlong4};
    static const quint8 byte1Low[16] = {Carry | Overlong3 | Overlong2 | Overlong4,
                                        Carry | Overlong2,
                                        Carry,
                                        Carry,
                                        Carry | TooLarge,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000 | Surrogate,
                                        Carry | TooLarge | TooLarge1000,
                                        Carry | TooLarge | TooLarge1000};
    static const quint8 byte2High[16] = {
        TooShort,
        TooShort,
        TooShort,
        TooShort,
        TooShort,
        TooShort,
        TooShort,
        TooShort,
        TooLong | Overlong2 | TwoConts | Overlong3 | TooLarge1000 | Overlong4,
        TooLong | Overlong2 | TwoConts | Overlong3 | TooLarge,
        TooLong | Overlong2 | TwoConts | Surrogate | TooLarge,
        TooLong | Overlong2 | TwoConts | Surrogate | TooLarge,
        TooShort,
        TooShort,
        TooShort,
        TooShort,
    };
    const __m128i low4 = _mm_set1_epi8(0x0F);
    const __m128i prev1 = _mm_alignr_epi8(input, previous, 15);
    const __m128i special = _mm_and_si128(_mm_and_si128(table(_mm_and_si128(_mm_srli_epi16(prev1, 4), low4), byte1High),
                                                        table(_mm_and_si128(prev1, low4), byte1Low)),
                                          table(_mm_and_si128(_mm_srli_epi16(input, 4), low4), byte2High));
    // The third and fourth bytes of a sequence must be continuation bytes, and only they may
    // be two continuation bytes in a row.
    const __m128i prev2 = _mm_alignr_epi8(input, previous, 14);
    const __m128i prev3 = _mm_alignr_epi8(input, previous, 13);
    const __m128i third = _mm_subs_epu8(prev2, _mm_set1_epi8(static_cast<char>(0xE0 - 0x80)));
    const __m128i fourth = _mm_subs_epu8(prev3, _mm_set1_epi8(static_cast<char>(0xF0 - 0x80)));
    const __m128i must23 = _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(static_cast<char>(0x80)));
    return _mm_xor_si128(must23, special);
}

__attribute__((target("ssse3"))) bool validSsse3(const unsigned char* p, qsizetype n)
{
    __m128i previous = _mm_setzero_si128();
    __m128i error = _mm_setzero_si128();
    qsizetype i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i input = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // An ASCII block only needs the block before it to have ended whole; a zero block
        // after the end checks that.
        if (_mm_movemask_epi8(input) == 0 && _mm_movemask_epi8(previous) == 0) {
            previous = input;
            continue;
        }
        error = _mm_or_si128(error, blockErrors(input, previous));
        previous = input;
        if ((i & 0xFFF) == 0 && _mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) != 0xFFFF)
            return false;
    }
    alignas(16) unsigned char tail[16] = {};
    if (n > i)
        std::memcpy(tail, p + i, static_cast<std::size_t>(n - i));
    const __m128i last = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
    error = _mm_or_si128(error, blockErrors(last, previous));
    // Zeros after the end: a sequence cut off there is an error too.
    error = _mm_or_si128(error, blockErrors(_mm_setzero_si128(), last));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) == 0xFFFF;
}

#endif

bool validScalar(const unsigned char* p, qsizetype n)
{
    return ValidUtf8Run<false>(p, n) == n;
}

} // namespace

bool IsValidUtf8(const unsigned char* p, qsizetype n)
{
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3)
        return validSsse3(p, n);
#endif
    return validScalar(p, n);
}

qsizetype WholeSequencesEnd(const unsigned char* p, qsizetype n)
{
    // Back over at most three continuation bytes to the byte that starts the last sequence.
    qsizetype start = n;
    while (start > 0 && n - start < 3 && (p[start - 1] & 0xC0) == 0x80)
        --start;
    if (start == 0 || p[start - 1] < 0xC0)
        return n;
    --start;
    const unsigned lead = p[start];
    const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    return n - start < length ? start : n;
}

} // namespace lumbrel::detail
