// The SSE2 path: 4x4 blocks of 32-bit pixels in four 128-bit registers.
// SSE2 has no byte shuffle: 3-byte pixels cut apart and joined again in
// general registers ran no faster than the plain loop, so they take that.
#include "transpose_tiles.h"

#if TURNBOX_X86_PATHS
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
    static constexpr bool kAlongSourceRows = true;

    // Written out without arrays or loops so that -O2 keeps it in registers.
    TURNBOX_SSE2 static void Move(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds)
    {
        const auto load = [s, ss](int row)
                              TURNBOX_SSE2 { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + row * ss)); };
        const auto store = [d, ds](int row, __m128i v)
                               TURNBOX_SSE2 { _mm_storeu_si128(reinterpret_cast<__m128i*>(d + row * ds), v); };
        __m128i a = load(0), b = load(1), c = load(2), e = load(3);
        Transpose4x4(a, b, c, e);
        store(0, a);
        store(1, b);
        store(2, c);
        store(3, e);
    }
};

} // namespace

TURNBOX_SSE2 void TransposeSse2(const TransposeJob& job, int bytesPerPixel)
{
    if (bytesPerPixel == 3)
        TransposePlain(job, bytesPerPixel);
    else
        TransposeBlocks<Block4>(job);
}

} // namespace turnbox

#endif
