// The SIMD paths of the pane picture's filters write the very bytes of the plain loops: odd and
// even widths (the SIMD tail), shrinking and enlarging, rows clamped at both edges, planes
// shrunk beyond the shuffles' reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pane_filters.h"

namespace vedra::test {
namespace {

// Bytes that change fast and cover the whole range, so a wrong neighbour or weight shows.
std::vector<uint8_t> Noise(size_t size)
{
    std::vector<uint8_t> bytes(size);
    uint32_t state = 12345;
    for (uint8_t& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 23);
    }
    return bytes;
}

TEST(PaneFilters, Avx2ColumnsAndRowsWriteThePlainLoopsBytes)
{
    if (!FilterPathRuns(FilterPath::Avx2))
        GTEST_SKIP() << "no AVX2 on this CPU";
    struct Row {
        const char* name;
        int sourceWidth, width; // pixels or plane samples for the columns; rows blend sourceWidth * 4 bytes
        int sourceRows, rows;
    };
    for (const Row& row : {
             Row{"CIF into a quad pane", 352, 260, 288, 213},
             Row{"odd into odd", 353, 261, 289, 143},
             Row{"VGA into a quad pane", 640, 326, 480, 244},
             Row{"enlarged", 176, 594, 144, 486},
             Row{"one pixel short of a step", 9, 7, 9, 7},
             Row{"one pixel over a step", 8, 9, 8, 9},
             Row{"a single source pixel", 1, 13, 1, 13},
             Row{"down to a single pixel", 13, 1, 13, 1},
             Row{"shrunk twofold, as far as a plane's shuffles reach", 640, 320, 480, 240},
             Row{"letterboxed, shrunk more than twofold", 800, 328, 240, 98},
             Row{"a plane step's neighbours one byte beyond its reach", 45, 20, 45, 20},
             Row{"one sample short of a plane step", 16, 15, 16, 15},
             Row{"one sample over a plane step", 18, 17, 18, 17},
         }) {
        SCOPED_TRACE(row.name);
        const int sourceStride = row.sourceWidth * 4 + 4, stride = row.width * 4 + 8;
        const std::vector<uint8_t> source = Noise(static_cast<size_t>(sourceStride * row.sourceRows));
        std::vector<uint8_t> plain(static_cast<size_t>(stride * row.rows)), avx2(plain.size());
        const int rows = std::min(row.sourceRows, row.rows);
        ASSERT_TRUE(ScalePaneColumns(FilterPath::Plain, source.data(), sourceStride, row.sourceWidth, plain.data(),
                                     stride, row.width, rows));
        ASSERT_TRUE(ScalePaneColumns(FilterPath::Avx2, source.data(), sourceStride, row.sourceWidth, avx2.data(),
                                     stride, row.width, rows));
        EXPECT_EQ(plain, avx2) << "columns";

        // Columns of a plane, tightly packed so reading past it shows under AddressSanitizer, at a
        // chroma plane's positions: half a sample later than centred.
        const std::vector<uint8_t> plane = Noise(static_cast<size_t>(row.sourceWidth * rows));
        FilterPositions samples = CentredPositions(row.sourceWidth, row.width);
        samples.first += 0x8000;
        plain.assign(static_cast<size_t>(row.width * rows), 0);
        avx2.assign(plain.size(), 0);
        ASSERT_TRUE(ScalePlaneColumns(FilterPath::Plain, plane.data(), row.sourceWidth, row.sourceWidth, plain.data(),
                                      row.width, row.width, rows, samples));
        ASSERT_TRUE(ScalePlaneColumns(FilterPath::Avx2, plane.data(), row.sourceWidth, row.sourceWidth, avx2.data(),
                                      row.width, row.width, rows, samples));
        EXPECT_EQ(plain, avx2) << "plane columns";

        // Rows of a plane: any number of bytes, here never a whole SIMD step.
        const FilterPositions at = CentredPositions(row.sourceRows, row.rows);
        plain.assign(static_cast<size_t>(sourceStride * row.rows), 0);
        avx2.assign(plain.size(), 0);
        ASSERT_TRUE(ScalePaneRows(FilterPath::Plain, source.data(), sourceStride, row.sourceRows, plain.data(),
                                  sourceStride, row.sourceWidth * 4 - 3, row.rows, at));
        ASSERT_TRUE(ScalePaneRows(FilterPath::Avx2, source.data(), sourceStride, row.sourceRows, avx2.data(),
                                  sourceStride, row.sourceWidth * 4 - 3, row.rows, at));
        EXPECT_EQ(plain, avx2) << "rows";
    }
}

TEST(PaneFilters, SameWidthCopiesAndOpaqueStaysOpaque)
{
    std::vector<uint8_t> source = Noise(37 * 4);
    for (size_t i = 3; i < source.size(); i += 4)
        source[i] = 0xff;
    for (FilterPath path : {FilterPath::Plain, FilterPath::Avx2}) {
        if (!FilterPathRuns(path))
            continue;
        std::vector<uint8_t> same(source.size()), shrunk(23 * 4);
        ASSERT_TRUE(ScalePaneColumns(path, source.data(), 37 * 4, 37, same.data(), 37 * 4, 37, 1));
        EXPECT_EQ(same, source);
        ASSERT_TRUE(ScalePaneColumns(path, source.data(), 37 * 4, 37, shrunk.data(), 23 * 4, 23, 1));
        for (size_t i = 3; i < shrunk.size(); i += 4)
            EXPECT_EQ(shrunk[i], 0xff) << "pixel " << i / 4;
    }
}

TEST(PaneFilters, RefusesUnusableSizes)
{
    const std::vector<uint8_t> source = Noise(64 * 4);
    std::vector<uint8_t> out(64 * 4, 0x5a);
    struct Row {
        const char* name;
        int sourceWidth, width, stride;
    };
    for (const Row& row : {
             Row{"no width", 16, 0, 64},
             Row{"no source width", 0, 16, 64},
             Row{"rows shorter than the pixels", 16, 16, 63},
             Row{"wider than the positions hold", kMaxFilterSide + 1, 16, 64},
         }) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(ScalePaneColumns(FilterPath::Plain, source.data(), 64 * 4, row.sourceWidth, out.data(), row.stride,
                                      row.width, 1));
        EXPECT_FALSE(ScalePlaneColumns(FilterPath::Plain, source.data(), 64 * 4, row.sourceWidth, out.data(),
                                       row.stride / 4, row.width, 1, CentredPositions(16, 16)));
        EXPECT_EQ(out[0], 0x5a);
    }
}

} // namespace
} // namespace vedra::test
