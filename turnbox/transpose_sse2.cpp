// The SSE2 path: 4x4 blocks of 32-bit pixels in four 128-bit registers.
// SSE2 has no byte shuffle, so 3-byte pixels are widened into a 4-byte
// staging block and narrowed again on the way out.
#include "transpose_tiles.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>

#define TURNBOX_SSE2 __attribute__((target("sse2")))

namespace turnbox {
namespace {

TURNBOX_SSE2 inline void Transpose4x4(__m128i& a, __m128i& b, __m128i& c, __m128i& d)
{
    const __m128i ab01 = _mm_unpacklo_epi32(a, b); // a0 b0 a1 b1
    const __m128i ab23 = _mm_unpackhi_epi32(a, b); // a2 b2 a3 b3
    const __m128i cd01 = _mm_unpacklo_epi32(c, d);
    const __m128i cd23 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(ab01, cd01); // a0 b0 c0 d0
    b = _mm_unpackhi_epi64(ab01, cd01);
    c = _mm_unpacklo_epi64(ab23, cd23);
    d = _mm_unpackhi_epi64(ab23, cd23);
}

struct Block4 {
    static constexpr int kSize = 4;
    static constexpr int kBytes = 4;

    TURNBOX_SSE2 static void Move(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds)
    {
        __m128i r[4];
        for (int i = 0; i < 4; ++i)
            r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * ss));
        Transpose4x4(r[0], r[1], r[2], r[3]);
        for (int i = 0; i < 4; ++i)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * ds), r[i]);
    }
};

struct Block3 {
    static constexpr int kSize = 4;
    static constexpr int kBytes = 3;

    TURNBOX_SSE2 static void Move(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds)
    {
        alignas(16) std::uint32_t staging[4][4];
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t* row = s + i * ss;
            for (int k = 0; k < 4; ++k, row += 3)
                staging[i][k] = row[0] | row[1] << 8 | row[2] << 16;
        }
        __m128i r[4];
        for (int i = 0; i < 4; ++i)
            r[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(staging[i]));
        Transpose4x4(r[0], r[1], r[2], r[3]);
        for (int i = 0; i < 4; ++i)
            _mm_store_si128(reinterpret_cast<__m128i*>(staging[i]), r[i]);
        for (int i = 0; i < 4; ++i) {
            std::uint8_t* row = d + i * ds;
            for (int k = 0; k < 4; ++k, row += 3) {
                row[0] = static_cast<std::uint8_t>(staging[i][k]);
                row[1] = static_cast<std::uint8_t>(staging[i][k] >> 8);
                row[2] = static_cast<std::uint8_t>(staging[i][k] >> 16);
            }
        }
    }
};

} // namespace

TURNBOX_SSE2 void TransposeSse2(const TransposeJob& job, int bytesPerPixel)
{
    if (bytesPerPixel == 3)
        TransposeBlocks<Block3>(job);
    else
        TransposeBlocks<Block4>(job);
}

} // namespace turnbox

#else

namespace turnbox {

void TransposeSse2(const TransposeJob& job, int bytesPerPixel)
{
    TransposePlain(job, bytesPerPixel);
}

} // namespace turnbox

#endif
