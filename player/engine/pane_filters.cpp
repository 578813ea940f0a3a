#include "pane_filters.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define VEDRA_X86_PATHS 1
#include <immintrin.h>
#else
#define VEDRA_X86_PATHS 0
#endif

namespace vedra {
namespace {

// a + (b - a) * w / 32768 rounded, w the 8-bit fraction times 128: the arithmetic of the SIMD
// rounding multiply (pmulhrsw), so every path writes the same bytes; a == b stays a.
inline uint8_t Blend(int a, int b, int w)
{
    return static_cast<uint8_t>(a + (((b - a) * w + 0x4000) >> 15));
}

int WeightOf(int32_t position)
{
    return ((position >> 8) & 0xff) << 7;
}

void BlendRowPlain(const uint8_t* top, const uint8_t* bottom, uint8_t* out, int from, int bytes, int w)
{
    for (int i = from; i < bytes; ++i)
        out[i] = Blend(top[i], bottom[i], w);
}

// The positions of a row's pixels, clamped to its first and last.
struct Columns {
    int32_t first;
    int32_t step;
    int32_t last;
    int sourceWidth;
};

// Output pixel i's position, clamped to the row.
int32_t PositionOf(const Columns& c, int i)
{
    return static_cast<int32_t>(std::clamp(c.first + int64_t{c.step} * i, int64_t{0}, int64_t{c.last}));
}

// Output pixels `from` up to `to` of a row of pixels `kBytes` bytes wide.
template <int kBytes>
void ScaleRowPlain(const Columns& c, const uint8_t* source, uint8_t* out, int from, int to)
{
    for (int i = from; i < to; ++i) {
        const int32_t clamped = PositionOf(c, i);
        const int left = clamped >> 16;
        const int right = std::min(left + 1, c.sourceWidth - 1);
        const int w = WeightOf(clamped);
        for (int k = 0; k < kBytes; ++k)
            out[i * kBytes + k] = Blend(source[left * kBytes + k], source[right * kBytes + k], w);
    }
}

#if VEDRA_X86_PATHS
#define VEDRA_AVX2 __attribute__((target("avx2")))

// Sixteen bytes of each register widened to 16 bits, blended, narrowed again.
VEDRA_AVX2 inline __m256i Blend16(__m256i a, __m256i b, __m256i w)
{
    return _mm256_add_epi16(a, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, a), w));
}

VEDRA_AVX2 inline __m256i Blend32(__m256i a, __m256i b, __m256i wLow, __m256i wHigh)
{
    const __m256i zero = _mm256_setzero_si256();
    return _mm256_packus_epi16(Blend16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), wLow),
                               Blend16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), wHigh));
}

VEDRA_AVX2 void BlendRowAvx2(const uint8_t* top, const uint8_t* bottom, uint8_t* out, int bytes, int w)
{
    const __m256i weight = _mm256_set1_epi16(static_cast<int16_t>(w));
    int i = 0;
    for (; i + 32 <= bytes; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), Blend32(a, b, weight, weight));
    }
    if (i == bytes)
        return;
    if (bytes < 32)
        return BlendRowPlain(top, bottom, out, i, bytes, w);
    // The last 32 bytes once more, overlapping the step before, rather than a plain tail.
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + bytes - 32));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + bytes - 32));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + bytes - 32), Blend32(a, b, weight, weight));
}

// Eight output pixels' neighbours, left and right, and their weights: the pixel's 8-bit fraction
// times 128 in both halves of its 32 bits.
struct Taps {
    __m256i left, right, weight;
};

VEDRA_AVX2 inline Taps TapsAt(__m256i x, const Columns& c)
{
    const __m256i clamped = _mm256_min_epi32(_mm256_max_epi32(x, _mm256_setzero_si256()), _mm256_set1_epi32(c.last));
    const __m256i left = _mm256_srli_epi32(clamped, 16);
    const __m256i w = _mm256_srli_epi32(_mm256_and_si256(clamped, _mm256_set1_epi32(0xff00)), 1);
    return {left, _mm256_min_epi32(_mm256_add_epi32(left, _mm256_set1_epi32(1)), _mm256_set1_epi32(c.sourceWidth - 1)),
            _mm256_or_si256(w, _mm256_slli_epi32(w, 16))};
}

// The even and odd bytes blended in 16-bit lanes apart: masks and shifts rather than unpacking,
// whose shuffles all queue on one port.
VEDRA_AVX2 inline void StorePixels(uint8_t* out, __m256i a, __m256i b, __m256i weight)
{
    const __m256i evenBytes = _mm256_set1_epi16(0xff);
    const __m256i even = Blend16(_mm256_and_si256(a, evenBytes), _mm256_and_si256(b, evenBytes), weight);
    const __m256i odd = Blend16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8), weight);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_or_si256(even, _mm256_slli_epi16(odd, 8)));
}

// Eight output pixels a step, their neighbours gathered (cheaper here than loads and permutes,
// whose shuffles queue on one port as well).
VEDRA_AVX2 void ScaleRowAvx2(const Columns& c, const uint8_t* source, uint8_t* out, int width)
{
    const auto* pixels = reinterpret_cast<const int*>(source);
    const __m256i advance = _mm256_set1_epi32(8 * c.step);
    __m256i x =
        _mm256_add_epi32(_mm256_set1_epi32(c.first),
                         _mm256_mullo_epi32(_mm256_set1_epi32(c.step), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    int i = 0;
    for (; i + 8 <= width; i += 8, x = _mm256_add_epi32(x, advance)) {
        const Taps t = TapsAt(x, c);
        StorePixels(out + i * 4, _mm256_i32gather_epi32(pixels, t.left, 4), _mm256_i32gather_epi32(pixels, t.right, 4),
                    t.weight);
    }
    if (i == width)
        return;
    if (width < 8)
        return ScaleRowPlain<4>(c, source, out, i, width);
    // The last eight pixels once more, overlapping the step before, rather than a plain tail.
    const Taps t = TapsAt(_mm256_sub_epi32(x, _mm256_set1_epi32((i + 8 - width) * c.step)), c);
    StorePixels(out + (width - 8) * 4, _mm256_i32gather_epi32(pixels, t.left, 4),
                _mm256_i32gather_epi32(pixels, t.right, 4), t.weight);
}

// Sixteen output samples of a plane's row: each half read from its own 16 source bytes, the
// left and right neighbours picked out of them by shuffles (no gathers), then blended.
struct SampleStep {
    __m256i left, right, weight;
    int base[2];
};

constexpr int kSampleStep = 16;
constexpr int kSampleBytes = 16;  // source bytes each half of a step reads
constexpr int kStepsABlock = 32;  // steps whose shuffles are made at once, on the stack
constexpr uint8_t kNoByte = 0x80; // a shuffle index writing 0

// The step of the sixteen outputs from `start`; false when a half's neighbours lie outside its
// 16 bytes (shrinking more than twofold, or positions running backwards).
VEDRA_AVX2 bool MakeSampleStep(const Columns& c, int start, SampleStep& step)
{
    alignas(32) uint8_t left[32], right[32];
    alignas(32) int16_t weight[16];
    for (int half = 0; half < 2; ++half) {
        int base = 0;
        for (int k = 0; k < 8; ++k) {
            const int i = start + half * 8 + k;
            const int32_t clamped = PositionOf(c, i);
            const int l = clamped >> 16;
            const int r = std::min(l + 1, c.sourceWidth - 1);
            if (k == 0)
                base = std::min(l, c.sourceWidth - kSampleBytes);
            if (l < base || r - base >= kSampleBytes)
                return false;
            const int at = half * 16 + 2 * k;
            left[at] = static_cast<uint8_t>(l - base);
            right[at] = static_cast<uint8_t>(r - base);
            left[at + 1] = right[at + 1] = kNoByte;
            weight[half * 8 + k] = static_cast<int16_t>(WeightOf(clamped));
        }
        step.base[half] = base;
    }
    step.left = _mm256_load_si256(reinterpret_cast<const __m256i*>(left));
    step.right = _mm256_load_si256(reinterpret_cast<const __m256i*>(right));
    step.weight = _mm256_load_si256(reinterpret_cast<const __m256i*>(weight));
    return true;
}

VEDRA_AVX2 inline void StoreSamples(const SampleStep& step, const uint8_t* source, uint8_t* out)
{
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + step.base[0]));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + step.base[1]));
    const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    const __m256i blended =
        Blend16(_mm256_shuffle_epi8(bytes, step.left), _mm256_shuffle_epi8(bytes, step.right), step.weight);
    // Each half's eight bytes in its low quarter, then both quarters side by side.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(blended, blended), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
}

// Blocks of steps made once for all rows; a block that shrinks too much for the shuffles runs
// the plain loop. The last step overlaps the one before rather than a plain tail.
VEDRA_AVX2 void ScaleSamplesAvx2(const Columns& c, const uint8_t* source, int sourceStride, uint8_t* out, int stride,
                                 int width, int rows)
{
    const int steps = (width + kSampleStep - 1) / kSampleStep;
    SampleStep block[kStepsABlock];
    for (int first = 0; first < steps; first += kStepsABlock) {
        const int count = std::min(kStepsABlock, steps - first);
        bool shuffled = true;
        for (int k = 0; k < count && shuffled; ++k)
            shuffled = MakeSampleStep(c, std::min((first + k) * kSampleStep, width - kSampleStep), block[k]);
        const int from = first * kSampleStep;
        const int to = std::min((first + count) * kSampleStep, width);
        for (int row = 0; row < rows; ++row) {
            const uint8_t* in = source + static_cast<ptrdiff_t>(row) * sourceStride;
            uint8_t* target = out + static_cast<ptrdiff_t>(row) * stride;
            if (!shuffled) {
                ScaleRowPlain<1>(c, in, target, from, to);
                continue;
            }
            for (int k = 0; k < count; ++k)
                StoreSamples(block[k], in, target + std::min((first + k) * kSampleStep, width - kSampleStep));
        }
    }
}
#endif

void BlendRow(FilterPath path, const uint8_t* top, const uint8_t* bottom, uint8_t* out, int bytes, int w)
{
    if (w == 0) {
        std::memcpy(out, top, static_cast<size_t>(bytes));
        return;
    }
#if VEDRA_X86_PATHS
    if (path == FilterPath::Avx2)
        return BlendRowAvx2(top, bottom, out, bytes, w);
#endif
    BlendRowPlain(top, bottom, out, 0, bytes, w);
}

} // namespace

bool FilterPathRuns(FilterPath path)
{
    switch (path) {
    case FilterPath::Plain: return true;
    case FilterPath::Avx2:
#if VEDRA_X86_PATHS
        __builtin_cpu_init(); // no-op once done; needed if called before the constructors ran
        return __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    }
    return false;
}

FilterPath BestFilterPath()
{
    static const FilterPath best = FilterPathRuns(FilterPath::Avx2) ? FilterPath::Avx2 : FilterPath::Plain;
    return best;
}

FilterPositions CentredPositions(int sourceSide, int side)
{
    const auto step = static_cast<int32_t>((static_cast<int64_t>(sourceSide) << 16) / side);
    return {step / 2 - 0x8000, step};
}

bool ScalePaneRows(FilterPath path, const uint8_t* source, int sourceStride, int sourceRows, uint8_t* out, int stride,
                   int width, int rows, FilterPositions at)
{
    if (!source || !out || width <= 0 || sourceRows <= 0 || rows < 0 || sourceRows > kMaxFilterSide ||
        rows > kMaxFilterSide || sourceStride < width || stride < width || !FilterPathRuns(path))
        return false;
    const int64_t last = static_cast<int64_t>(sourceRows - 1) << 16;
    for (int row = 0; row < rows; ++row) {
        const auto position = static_cast<int32_t>(std::clamp(at.first + int64_t{at.step} * row, int64_t{0}, last));
        const int top = position >> 16;
        const int bottom = std::min(top + 1, sourceRows - 1);
        BlendRow(path, source + static_cast<ptrdiff_t>(top) * sourceStride,
                 source + static_cast<ptrdiff_t>(bottom) * sourceStride, out + static_cast<ptrdiff_t>(row) * stride,
                 width, WeightOf(position));
    }
    return true;
}

bool ScalePaneColumns(FilterPath path, const uint8_t* source, int sourceStride, int sourceWidth, uint8_t* out,
                      int stride, int width, int rows)
{
    if (!source || !out || sourceWidth <= 0 || width <= 0 || rows < 0 || sourceWidth > kMaxFilterSide ||
        width > kMaxFilterSide || sourceStride < sourceWidth * 4 || stride < width * 4 || !FilterPathRuns(path))
        return false;
    const FilterPositions at = CentredPositions(sourceWidth, width);
    const Columns columns{at.first, at.step, (sourceWidth - 1) << 16, sourceWidth};
    for (int row = 0; row < rows; ++row) {
        const uint8_t* from = source + static_cast<ptrdiff_t>(row) * sourceStride;
        uint8_t* to = out + static_cast<ptrdiff_t>(row) * stride;
#if VEDRA_X86_PATHS
        if (path == FilterPath::Avx2) {
            ScaleRowAvx2(columns, from, to, width);
            continue;
        }
#endif
        ScaleRowPlain<4>(columns, from, to, 0, width);
    }
    return true;
}

bool ScalePlaneColumns(FilterPath path, const uint8_t* source, int sourceStride, int sourceWidth, uint8_t* out,
                       int stride, int width, int rows, FilterPositions at)
{
    if (!source || !out || sourceWidth <= 0 || width <= 0 || rows < 0 || sourceWidth > kMaxFilterSide ||
        width > kMaxFilterSide || sourceStride < sourceWidth || stride < width || !FilterPathRuns(path))
        return false;
    const Columns columns{at.first, at.step, (sourceWidth - 1) << 16, sourceWidth};
#if VEDRA_X86_PATHS
    // The shuffles read 16 source bytes and write 16 samples a step.
    if (path == FilterPath::Avx2 && width >= kSampleStep && sourceWidth >= kSampleBytes) {
        ScaleSamplesAvx2(columns, source, sourceStride, out, stride, width, rows);
        return true;
    }
#endif
    for (int row = 0; row < rows; ++row)
        ScaleRowPlain<1>(columns, source + static_cast<ptrdiff_t>(row) * sourceStride,
                         out + static_cast<ptrdiff_t>(row) * stride, 0, width);
    return true;
}

} // namespace vedra
