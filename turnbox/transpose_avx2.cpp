// The AVX2 path: 8x8 blocks of 32-bit pixels. Each register holds a row of
// the block's left or right half with the row four below it in the upper
// lane, so one in-lane 4x4 transposition per half gives whole destination
// rows. 3-byte pixels are widened to 32 bits by a byte shuffle as they are
// loaded and narrowed again before they are stored, with loads and stores
// that stay inside the block's 24 bytes per row.
#include "transpose_tiles.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define TURNBOX_AVX2 __attribute__((target("avx2")))

namespace turnbox {
namespace {

TURNBOX_AVX2 inline void Transpose4x4Lanes(__m256i& a, __m256i& b, __m256i& c, __m256i& d)
{
    const __m256i ab01 = _mm256_unpacklo_epi32(a, b); // a0 b0 a1 b1, per lane
    const __m256i ab23 = _mm256_unpackhi_epi32(a, b); // a2 b2 a3 b3
    const __m256i cd01 = _mm256_unpacklo_epi32(c, d);
    const __m256i cd23 = _mm256_unpackhi_epi32(c, d);
    a = _mm256_unpacklo_epi64(ab01, cd01); // a0 b0 c0 d0
    b = _mm256_unpackhi_epi64(ab01, cd01);
    c = _mm256_unpacklo_epi64(ab23, cd23);
    d = _mm256_unpackhi_epi64(ab23, cd23);
}

// 16 bytes at `low` in the lower lane, 16 at `high` in the upper one.
TURNBOX_AVX2 inline __m256i LoadLanes(const std::uint8_t* low, const std::uint8_t* high)
{
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)),
                                   1);
}

// Rows 0-3 of the block (rows 4-7 in the upper lanes) at byte `offset` of
// each row, widened to 32-bit pixels by the byte shuffle `widen` when there
// is one. Transposed, register j holds destination row j.
template <bool Widen>
TURNBOX_AVX2 inline void LoadTransposed(const std::uint8_t* s, std::ptrdiff_t ss, int offset, __m256i widen,
                                        __m256i (&r)[4])
{
    for (int i = 0; i < 4; ++i) {
        const __m256i v = LoadLanes(s + i * ss + offset, s + (i + 4) * ss + offset);
        r[i] = Widen ? _mm256_shuffle_epi8(v, widen) : v;
    }
    Transpose4x4Lanes(r[0], r[1], r[2], r[3]);
}

struct Block4 {
    static constexpr int kSize = 8;
    static constexpr int kBytes = 4;

    TURNBOX_AVX2 static void Move(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds)
    {
        __m256i r[4];
        for (int half = 0; half < 2; ++half) {
            LoadTransposed<false>(s, ss, half * 16, _mm256_setzero_si256(), r);
            for (int j = 0; j < 4; ++j)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + (half * 4 + j) * ds), r[j]);
        }
    }
};

struct Block3 {
    static constexpr int kSize = 8;
    static constexpr int kBytes = 3;

    TURNBOX_AVX2 static void Move(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds)
    {
        // Pixels 0-3 sit at bytes 0-11 of a 16-byte load at 0, pixels 4-7 at
        // bytes 4-15 of one at 8; a zero top byte makes each 32 bits.
        const __m256i widenLeft =
            _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
        const __m256i widenRight =
            _mm256_broadcastsi128_si256(_mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1));
        const __m256i narrow =
            _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
        // Each lane's 12 bytes side by side: 24 bytes at the register's start.
        const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
        __m256i r[4];
        for (int half = 0; half < 2; ++half) {
            LoadTransposed<true>(s, ss, half * 8, half == 0 ? widenLeft : widenRight, r);
            for (int j = 0; j < 4; ++j) {
                const __m256i row = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(r[j], narrow), join);
                std::uint8_t* out = d + (half * 4 + j) * ds;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(row));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(row, 1));
            }
        }
    }
};

} // namespace

TURNBOX_AVX2 void TransposeAvx2(const TransposeJob& job, int bytesPerPixel)
{
    if (bytesPerPixel == 3)
        TransposeBlocks<Block3>(job);
    else
        TransposeBlocks<Block4>(job);
}

} // namespace turnbox

#else

namespace turnbox {

void TransposeAvx2(const TransposeJob& job, int bytesPerPixel)
{
    TransposePlain(job, bytesPerPixel);
}

} // namespace turnbox

#endif
