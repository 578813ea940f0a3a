// Runs the Turnbox tests against the module of this build, cut off from the
// user's own GStreamer set-up: plugin folder, cache and registry are private.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "test_env.h"

namespace turnbox_test {

const std::string& PrivateHome()
{
    static const std::string home = [] {
        char tmpl[] = "/tmp/turnbox-test-XXXXXX";
        const char* dir = mkdtemp(tmpl);
        return std::string(dir ? dir : "/tmp");
    }();
    return home;
}

} // namespace turnbox_test

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const std::string home = turnbox_test::PrivateHome();
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    // One registry for the whole build saves a plugin scan per test process.
    setenv("GST_REGISTRY", TURNBOX_TEST_REGISTRY, 1);
    unsetenv("GST_PLUGIN_PATH");
    unsetenv("GST_PLUGIN_PATH_1_0");
    gst_init(nullptr, nullptr);

    GError* error = nullptr;
    GstPlugin* plugin = gst_plugin_load_file(TURNBOX_MODULE_PATH, &error);
    if (plugin == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", TURNBOX_MODULE_PATH, error ? error->message : "?");
        return 1;
    }
    gst_object_unref(plugin);

    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return result;
}
