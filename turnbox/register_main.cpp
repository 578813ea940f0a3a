// turnbox-register: makes the Turnbox element available to every GStreamer
// application of the user, or withdraws it (--unregister).
#include <cstdio>
#include <cstring>
#include <string>

#include "plugin_installer.h"

namespace {

void Usage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: turnbox-register [--unregister] [--module PATH]\n"
                 "  Installs libgstturnbox.so into %s\n"
                 "  --unregister   remove it again (succeeds when it is not there)\n"
                 "  --module PATH  the module to install (default: %s)\n",
                 turnbox::UserPluginFolder().c_str(), turnbox::DefaultModulePath().c_str());
}

} // namespace

int main(int argc, char** argv)
{
    bool unregister = false;
    std::string module = turnbox::DefaultModulePath();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unregister") == 0) {
            unregister = true;
        } else if (std::strcmp(argv[i], "--module") == 0 && i + 1 < argc) {
            module = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "turnbox-register: unknown argument '%s'\n", argv[i]);
            Usage(stderr);
            return 2;
        }
    }

    const std::string folder = turnbox::UserPluginFolder();
    const turnbox::InstallResult r =
        unregister ? turnbox::UninstallModule(folder) : turnbox::InstallModule(module, folder);
    std::fprintf(r.ok ? stdout : stderr, "turnbox-register: %s\n", r.message.c_str());
    return r.ok ? 0 : 1;
}
