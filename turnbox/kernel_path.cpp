#include "kernel_path.h"

#include <initializer_list>

namespace turnbox {

bool KernelPathRuns(KernelPath path)
{
#if TURNBOX_X86_PATHS
    __builtin_cpu_init(); // no-op once done; needed if called before the constructors ran
#endif
    switch (path) {
    case KernelPath::kPlain: return true;
#if TURNBOX_X86_PATHS
    // libgcc's check also asks the OS whether it saves the wide registers.
    case KernelPath::kSse2: return __builtin_cpu_supports("sse2");
    case KernelPath::kAvx2: return __builtin_cpu_supports("avx2");
#else
    case KernelPath::kSse2:
    case KernelPath::kAvx2: return false;
#endif
    }
    return false;
}

KernelPath BestKernelPath()
{
    static const KernelPath best = [] {
        for (KernelPath path : {KernelPath::kAvx2, KernelPath::kSse2})
            if (KernelPathRuns(path))
                return path;
        return KernelPath::kPlain;
    }();
    return best;
}

} // namespace turnbox
