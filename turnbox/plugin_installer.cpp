#include "plugin_installer.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <glib.h>
#include <gst/gstplugin.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace turnbox {
namespace {

namespace fs = std::filesystem;

std::string Errno(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            close(fd);
    }
};

struct ModuleCloser {
    void operator()(void* handle) const { dlclose(handle); }
};

// The module must be a GStreamer plugin named "turnbox"; anything else would
// register under our file name and hide or break the real one.
InstallResult CheckModule(const std::string& path)
{
    std::unique_ptr<void, ModuleCloser> handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!handle)
        return {false, "cannot load " + path + ": " + dlerror()};
    using GetDesc = const GstPluginDesc* (*)();
    auto getDesc = reinterpret_cast<GetDesc>(dlsym(handle.get(), "gst_plugin_turnbox_get_desc"));
    const GstPluginDesc* desc = getDesc ? getDesc() : nullptr;
    if (desc == nullptr || desc->name == nullptr || std::strcmp(desc->name, "turnbox") != 0)
        return {false, path + " is not the Turnbox plugin module"};
    return {true, {}};
}

InstallResult CopyFile(const std::string& from, const std::string& to)
{
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return {false, Errno("cannot read " + from)};
    FdCloser inCloser{in};
    std::string tmpl = to + ".XXXXXX";
    const int out = mkstemp(tmpl.data());
    if (out < 0)
        return {false, Errno("cannot create a file beside " + to)};
    FdCloser outCloser{out};

    char buf[1 << 16];
    for (;;) {
        const ssize_t n = read(in, buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const auto r = InstallResult{false, Errno("cannot read " + from)};
            unlink(tmpl.c_str());
            return r;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0) {
                const auto r = InstallResult{false, Errno("cannot write " + tmpl)};
                unlink(tmpl.c_str());
                return r;
            }
            done += w;
        }
    }
    // Replacing in one rename: a second registration leaves one copy, and no
    // application ever sees a half-written module.
    if (fchmod(out, 0755) != 0 || fsync(out) != 0 || rename(tmpl.c_str(), to.c_str()) != 0) {
        const auto r = InstallResult{false, Errno("cannot install " + to)};
        unlink(tmpl.c_str());
        return r;
    }
    return {true, {}};
}

} // namespace

std::string UserPluginFolder()
{
    // GLib answers the way GStreamer itself looks for the folder.
    return (fs::path(g_get_user_data_dir()) / "gstreamer-1.0" / "plugins").string();
}

std::string DefaultModulePath()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return kModuleFileName;
    return (exe.parent_path().parent_path() / "lib" / kModuleFileName).lexically_normal().string();
}

InstallResult InstallModule(const std::string& modulePath, const std::string& folder)
{
    std::error_code ec;
    if (!fs::is_regular_file(modulePath, ec))
        return {false, "module not found: " + modulePath + " (use --module PATH)"};
    if (InstallResult r = CheckModule(modulePath); !r.ok)
        return r;
    fs::create_directories(folder, ec);
    if (ec)
        return {false, "cannot create " + folder + ": " + ec.message()};

    const std::string target = (fs::path(folder) / kModuleFileName).string();
    if (fs::exists(target, ec) && fs::equivalent(modulePath, target, ec))
        return {true, "already registered: " + target};
    if (InstallResult r = CopyFile(modulePath, target); !r.ok)
        return r;
    return {true, "registered: " + target};
}

InstallResult UninstallModule(const std::string& folder)
{
    const std::string target = (fs::path(folder) / kModuleFileName).string();
    if (unlink(target.c_str()) == 0)
        return {true, "unregistered: " + target};
    if (errno == ENOENT)
        return {true, "not registered: " + target + " does not exist"};
    return {false, Errno("cannot remove " + target)};
}

} // namespace turnbox
