#include "krv/krv_paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;

namespace {

// XDG says relative values are invalid and must be ignored; so is an empty HOME.
fs::path absoluteEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? fs::path(value) : fs::path();
}

fs::path xdgOrHome(const char* name, const char* underHome)
{
    fs::path p = absoluteEnv(name);
    if (!p.empty())
        return p;
    const fs::path home = krv_home_folder();
    return home.empty() ? fs::path() : home / underHome;
}

} // namespace

fs::path krv_home_folder()
{
    fs::path home = absoluteEnv("HOME");
    if (!home.empty())
        return home;
    std::string buffer(16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

fs::path krv_data_home()
{
    return xdgOrHome("XDG_DATA_HOME", ".local/share");
}

fs::path krv_config_home()
{
    return xdgOrHome("XDG_CONFIG_HOME", ".config");
}

fs::path krv_cache_home()
{
    return xdgOrHome("XDG_CACHE_HOME", ".cache");
}

fs::path krv_temp_home()
{
    const fs::path tmp = absoluteEnv("TMPDIR");
    return tmp.empty() ? fs::path("/tmp") : tmp;
}

bool krv_make_private_folder(const fs::path& folder)
{
    if (folder.empty())
        return false;
    // Every folder made on the way is 0700 too, as XDG asks of its base folders.
    fs::path made;
    for (const fs::path& part : folder) {
        made /= part;
        struct stat st {};
        // A read-only mount refuses even existing folders with EROFS.
        if (mkdir(made.c_str(), 0700) != 0 && errno != EEXIST && (stat(made.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
            return false;
    }
    // Checked on the folder itself, opened without following a link, so
    // nothing can be swapped in between the check and the chmod.
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
    if (ok && (st.st_mode & 0777) != 0700)
        ok = fchmod(fd, 0700) == 0;
    close(fd);
    if (!ok)
        errno = EACCES;
    return ok;
}

fs::path krv_runtime_folder()
{
    const fs::path xdg = absoluteEnv("XDG_RUNTIME_DIR");
    if (!xdg.empty() && krv_make_private_folder(xdg))
        return xdg;
    // The shared temporary folder: only a folder that is ours and no link.
    const fs::path shared = krv_temp_home() / ("vedra-" + std::to_string(geteuid()));
    if (krv_make_private_folder(shared))
        return shared;
    const fs::path cache = krv_cache_home();
    if (!cache.empty() && krv_make_private_folder(cache / kKrvAppFolder) &&
        krv_make_private_folder(cache / kKrvAppFolder / "run"))
        return cache / kKrvAppFolder / "run";
    return {};
}
