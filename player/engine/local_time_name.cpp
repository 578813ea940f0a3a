#include "local_time_name.h"

#include <cstdio>

namespace vedra {

std::string LocalTimeName(std::time_t when)
{
    std::tm t{};
    localtime_r(&when, &t);
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return name;
}

std::string LocalTimeNameNow()
{
    return LocalTimeName(std::time(nullptr));
}

}  // namespace vedra
