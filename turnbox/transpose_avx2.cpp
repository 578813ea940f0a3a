// The AVX2 path: 8x8 blocks of 32-bit pixels. Each register holds a row of
// the block's left or right half with the row four below it in the upper
// lane, so one in-lane 4x4 transposition per half gives whole destination
// rows. 3-byte pixels are widened to 32 bits by a byte shuffle as they are
// loaded and narrowed again before they are stored.
#include "transpose_tiles.h"

#if TURNBOX_X86_PATHS
#include <immintrin.h>

#define TURNBOX_AVX2 __attribute__((target("avx2")))

namespace turnbox {
namespace {

// Four registers, each two rows of a block side by side in its lanes. The
// block code is written out without arrays or loops so that -O2 keeps it in
// registers.
struct Lanes {
    __m256i a, b, c, d;
};

// Rows 0-3 from `s` on, 16 bytes each, with rows 4-7 in the upper lanes.
TURNBOX_AVX2 inline Lanes LoadLanes(const std::uint8_t* s, std::ptrdiff_t ss)
{
    const auto pair = [s, ss](int row) TURNBOX_AVX2 {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + row * ss));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + (row + 4) * ss));
        return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    };
    return {pair(0), pair(1), pair(2), pair(3)};
}

// In-lane 4x4 transposition of 32-bit pixels: register j then holds pixel j
// of rows 0-3, and of rows 4-7 in its upper lane, which is destination row j.
TURNBOX_AVX2 inline Lanes Transposed(const Lanes& r)
{
    const __m256i ab01 = _mm256_unpacklo_epi32(r.a, r.b); // a0 b0 a1 b1, per lane
    const __m256i ab23 = _mm256_unpackhi_epi32(r.a, r.b); // a2 b2 a3 b3
    const __m256i cd01 = _mm256_unpacklo_epi32(r.c, r.d);
    const __m256i cd23 = _mm256_unpackhi_epi32(r.c, r.d);
    return {_mm256_unpacklo_epi64(ab01, cd01), _mm256_unpackhi_epi64(ab01, cd01), _mm256_unpacklo_epi64(ab23, cd23),
            _mm256_unpackhi_epi64(ab23, cd23)};
}

struct Block4 {
    static constexpr int kSize = 8;
    static constexpr int kBytes = 4;
    static constexpr bool kAlongSourceRows = true;

    // Pixels 0-3 (16 bytes) of the rows at `s` become destination rows 0-3.
    TURNBOX_AVX2 static void Half(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds)
    {
        const Lanes t = Transposed(LoadLanes(s, ss));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), t.a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + ds), t.b);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 2 * ds), t.c);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 3 * ds), t.d);
    }

    TURNBOX_AVX2 static void Move(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds)
    {
        Half(s, ss, d, ds);
        Half(s + 16, ss, d + 4 * ds, ds);
    }
};

struct Block3 {
    static constexpr int kSize = 8;
    static constexpr int kBytes = 3;
    static constexpr bool kAlongSourceRows = false;

    // Eight pixels of 32 bits back to 24 bytes, stored without touching the
    // bytes after them: each lane's 12 bytes packed, then joined.
    TURNBOX_AVX2 static void Store(std::uint8_t* d, __m256i v)
    {
        const __m256i narrow =
            _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
        const __m256i row =
            _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, narrow), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(row));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(row, 1));
    }

    // Four pixels of the rows at `s` (where `widen` finds them in 16 bytes)
    // become destination rows 0-3.
    TURNBOX_AVX2 static void Half(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds,
                                  __m256i widen)
    {
        const Lanes r = LoadLanes(s, ss);
        const Lanes t = Transposed({_mm256_shuffle_epi8(r.a, widen), _mm256_shuffle_epi8(r.b, widen),
                                    _mm256_shuffle_epi8(r.c, widen), _mm256_shuffle_epi8(r.d, widen)});
        Store(d, t.a);
        Store(d + ds, t.b);
        Store(d + 2 * ds, t.c);
        Store(d + 3 * ds, t.d);
    }

    TURNBOX_AVX2 static void Move(const std::uint8_t* s, std::ptrdiff_t ss, std::uint8_t* d, std::ptrdiff_t ds)
    {
        // Pixels 0-3 sit at bytes 0-11 of a 16-byte load at 0, pixels 4-7 at
        // bytes 4-15 of one at 8: both loads stay inside the block's 24
        // bytes. A zero top byte makes each pixel 32 bits.
        Half(s, ss, d, ds,
             _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1)));
        Half(s + 8, ss, d + 4 * ds, ds,
             _mm256_broadcastsi128_si256(_mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1)));
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

#endif
