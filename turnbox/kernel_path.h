// The instruction sets the transposing modes run on, and the one this CPU
// takes, found once on first use.
#pragma once

// The SSE2 and AVX2 paths exist in x86 builds only.
#if defined(__x86_64__) || defined(__i386__)
#define TURNBOX_X86_PATHS 1
#else
#define TURNBOX_X86_PATHS 0
#endif

namespace turnbox {

enum class KernelPath {
    kPlain, // one pixel at a time, any CPU
    kSse2,  // 4x4 pixel blocks in 128-bit registers
    kAvx2,  // 8x8 pixel blocks in 256-bit registers
};

// True when this CPU and build can run the path.
bool KernelPathRuns(KernelPath path);

// The fastest path that runs here.
KernelPath BestKernelPath();

} // namespace turnbox
