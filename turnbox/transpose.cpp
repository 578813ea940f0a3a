#include "transpose.h"

#include "transpose_tiles.h"

namespace turnbox {
namespace {

template <int B>
void PlainTiles(const TransposeJob& job)
{
    for (int r0 = 0; r0 < job.height; r0 += kTile)
        for (int c0 = 0; c0 < job.width; c0 += kTile)
            TransposePixels<B>(job, r0, std::min(r0 + kTile, job.height), c0, std::min(c0 + kTile, job.width));
}

} // namespace

void TransposePlain(const TransposeJob& job, int bytesPerPixel)
{
    if (bytesPerPixel == 3)
        PlainTiles<3>(job);
    else
        PlainTiles<4>(job);
}

void Transpose([[maybe_unused]] KernelPath path, const TransposeJob& job, int bytesPerPixel)
{
#if TURNBOX_X86_PATHS
    if (path == KernelPath::kAvx2)
        return TransposeAvx2(job, bytesPerPixel);
    if (path == KernelPath::kSse2)
        return TransposeSse2(job, bytesPerPixel);
#endif
    TransposePlain(job, bytesPerPixel);
}

} // namespace turnbox
