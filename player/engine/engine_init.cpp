#include "engine_init.h"

#include <gst/gst.h>

#include "krv_source.h"

namespace vedra {

bool EngineInit()
{
    if (!gst_is_initialized() && !gst_init_check(nullptr, nullptr, nullptr))
        return false;
    return RegisterKrvSource();
}

} // namespace vedra
