#include "local_time_name.h"

#include "krv/krv_time.h"

namespace vedra {

std::string LocalTimeName(std::time_t when)
{
    return krv_local_time_name(when);
}

std::string LocalTimeNameNow()
{
    return LocalTimeName(std::time(nullptr));
}

} // namespace vedra
