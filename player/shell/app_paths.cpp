#include "app_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "krv/krv_config.h"
#include "krv/krv_workfolder.h"

namespace vedra {
namespace {

std::string Under(const std::filesystem::path& base, const char* name)
{
    return base.empty() ? std::string() : (base / name).string();
}

} // namespace

std::string ProgramFolder()
{
    return krv_program_folder().string();
}

std::string WorkRoot()
{
    return krv_work_root().string();
}

std::string FallbackWorkRoot()
{
    return krv_fallback_work_root().string();
}

std::string ConfigFolder()
{
    return Under(krv_config_home(), kAppName);
}

std::string RuntimeFolder()
{
    return krv_runtime_folder().string();
}

std::string PicturesFolder()
{
    const char* value = std::getenv("XDG_PICTURES_DIR");
    if (value != nullptr && value[0] == '/')
        return value;
    return Under(krv_home_folder(), "Pictures");
}

bool IsWritableFolder(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec) && access(path.c_str(), W_OK | X_OK) == 0;
}

} // namespace vedra
