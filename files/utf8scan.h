#pragma once

// Reading UTF-8 fast: the decoder, the validator and the encoder of the files layer all walk
// the bytes with these.
#include <QtGlobal>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumbrel::detail {

// A UTF-8 sequence at p (p[0] >= 0x80): its length when whole and valid; 0 when the n bytes
// there are a valid beginning cut off; else minus the length of its maximal invalid subpart.
inline int Utf8Sequence(const unsigned char* p, qsizetype n)
{
    const unsigned b = p[0];
    int length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0)
            low = 0xA0;
        else if (b == 0xED)
            high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0)
            low = 0x90;
        else if (b == 0xF4)
            high = 0x8F;
    } else {
        return -1;
    }
    for (int k = 1; k < length; ++k) {
        if (k >= n)
            return 0;
        const unsigned c = p[k];
        if (c < low || c > high)
            return -k;
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

// The length of the longest start of p[0, n) made of whole valid UTF-8 sequences and ASCII.
// With `Breaks` (the areas' form) a lone CR or LF ends it, and so does a CR at the very end,
// while each whole CR LF pair is taken and counted in `pairs`. ASCII goes sixteen bytes at a
// step, a run of three-byte characters (all of CJK) without going back to the ASCII scan.
template <bool Breaks> qsizetype ValidUtf8Run(const unsigned char* p, qsizetype n, qint64* pairs = nullptr)
{
    qsizetype i = 0;
    while (i < n) {
#if defined(__SSE2__)
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        for (; i + 16 <= n; i += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            if constexpr (Breaks)
                v = _mm_or_si128(v, _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
            const int mask = _mm_movemask_epi8(v);
            if (mask != 0) {
                i += __builtin_ctz(static_cast<unsigned>(mask));
                break;
            }
        }
#endif
        while (i < n && p[i] < 0x80) {
            if (Breaks && (p[i] == '\r' || p[i] == '\n')) {
                if (p[i] == '\n' || i + 1 == n || p[i + 1] != '\n')
                    return i;
                ++*pairs;
                ++i;
            }
            ++i;
        }
        while (i < n && p[i] >= 0x80) {
            const unsigned b = p[i];
            if (b >= 0xE1 && b <= 0xEF && b != 0xED) {
                if (i + 3 > n || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80)
                    return i;
                i += 3;
                continue;
            }
            const int s = Utf8Sequence(p + i, n - i);
            if (s <= 0)
                return i;
            i += s;
        }
    }
    return n;
}

// Whether p[0, n) is valid UTF-8 from start to end (no sequence cut off at the end). With
// byte shuffles where the processor has them, several bytes a cycle.
bool IsValidUtf8(const unsigned char* p, qsizetype n);

// Where the last sequence starts when it is cut off by the end of p[0, n) (its lead byte
// says more bytes follow than there are); n otherwise.
qsizetype WholeSequencesEnd(const unsigned char* p, qsizetype n);

// Calls `at(k)` for each CR or LF byte among p[0, n), in order: sixteen bytes a step, as a
// text is mostly neither.
template <typename At> void ForEachBreakByte(const unsigned char* p, qsizetype n, At&& at)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        while (mask != 0) {
            at(i + __builtin_ctz(mask));
            mask &= mask - 1;
        }
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\r' || p[i] == '\n')
            at(i);
    }
}

} // namespace lumbrel::detail
