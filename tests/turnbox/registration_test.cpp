// turnbox-register and the element as other programs see it: gst-inspect-1.0
// and gst-launch-1.0 run in a private plugin folder and registry.
#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_env.h"

namespace turnbox_test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1; // exit code, -1 when the command did not run or end normally
    std::string output;
};

// Runs a command with a private data folder, cache and registry; with
// `useBuildModule` GStreamer also finds the module of this build directly.
Outcome RunCommand(std::vector<std::string> argv, const fs::path& home, bool useBuildModule = false)
{
    std::vector<std::string> env = {
        "HOME=" + home.string(),
        "XDG_DATA_HOME=" + (home / "data").string(),
        "XDG_CACHE_HOME=" + (home / "cache").string(),
        "GST_REGISTRY=" + (home / "registry.bin").string(),
        std::string("PATH=") + (g_getenv("PATH") ? g_getenv("PATH") : "/usr/bin:/bin"),
    };
    if (useBuildModule)
        env.push_back(std::string("GST_PLUGIN_PATH=") + kModuleDir);
    std::vector<char*> args, envp;
    for (auto& a : argv)
        args.push_back(a.data());
    for (auto& e : env)
        envp.push_back(e.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);

    Outcome r;
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint wait = 0;
    GError* error = nullptr;
    if (!g_spawn_sync(nullptr, args.data(), envp.data(), G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &wait,
                      &error)) {
        r.output = error->message;
        g_error_free(error);
        return r;
    }
    r.output = std::string(out ? out : "") + (err ? err : "");
    g_free(out);
    g_free(err);
    if (WIFEXITED(wait))
        r.status = WEXITSTATUS(wait);
    return r;
}

class RegistrationTest : public testing::Test {
protected:
    fs::path home = fs::path(PrivateHome()) / testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::path pluginDir = home / "data" / "gstreamer-1.0" / "plugins";

    void SetUp() override { fs::create_directories(home); }
    Outcome Register(std::vector<std::string> extra = {})
    {
        std::vector<std::string> argv = {kRegisterCommand};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return RunCommand(argv, home);
    }
    Outcome Inspect() { return RunCommand({kGstInspect, "turnbox"}, home); }
};

TEST_F(RegistrationTest, RegisteredForOtherProgramsAndGoneAfterUnregistering)
{
    Outcome r = Register();
    ASSERT_EQ(r.status, 0) << r.output;
    Outcome seen = Inspect();
    EXPECT_EQ(seen.status, 0) << seen.output;
    EXPECT_NE(seen.output.find("Karvel Rotate Filter"), std::string::npos);
    EXPECT_NE(seen.output.find("{731C6E75-2B13-4C5F-9FDC-AE91C059419E}"), std::string::npos);
    EXPECT_NE(seen.output.find("none (0)"), std::string::npos) << "rank";

    r = Register();
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(pluginDir))
        files.push_back(e.path().filename());
    EXPECT_EQ(files, std::vector<std::string>{"libgstturnbox.so"});

    r = Register({"--unregister"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(fs::exists(pluginDir / "libgstturnbox.so"));
    EXPECT_NE(Inspect().status, 0);
    r = Register({"--unregister"});
    EXPECT_EQ(r.status, 0) << r.output;
}

TEST_F(RegistrationTest, FailuresSayWhyAndExitNonZero)
{
    fs::create_directories(home / "cache");
    const fs::path notPlugin = home / "notes.so";
    g_file_set_contents(notPlugin.c_str(), "not a module", -1, nullptr);
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* says;
    } rows[] = {
        {"missing_module", {"--module", (home / "none.so").string()}, 1, "module not found"},
        {"not_a_module", {"--module", notPlugin.string()}, 1, "cannot load"},
        {"another_plugin",
         {"--module", "/usr/lib/x86_64-linux-gnu/gstreamer-1.0/libgstvideotestsrc.so"},
         1,
         "not the Turnbox plugin"},
        {"unknown_argument", {"--force"}, 2, "unknown argument"},
    };
    for (const Row& row : rows) {
        if (row.name == std::string("another_plugin") && !fs::exists(row.args[1]))
            continue;
        const Outcome r = Register(row.args);
        EXPECT_EQ(r.status, row.status) << row.name << ": " << r.output;
        EXPECT_NE(r.output.find(row.says), std::string::npos) << row.name << ": " << r.output;
    }
    EXPECT_FALSE(fs::exists(pluginDir / "libgstturnbox.so"));

    // A file where the plugin folder should be.
    fs::create_directories(home / "data");
    g_file_set_contents((home / "data" / "gstreamer-1.0").c_str(), "", -1, nullptr);
    const Outcome r = Register();
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("cannot create"), std::string::npos) << r.output;
}

TEST_F(RegistrationTest, LaunchLinePipelineRunsEndToEnd)
{
    struct Row {
        const char* name;
        const char* rotation;
        const char* outputSize;
        int status;
    } rows[] = {
        {"clockwise_by_number", "rotation=1", "width=240,height=320", 0},
        {"clockwise_by_name", "rotation=clockwise", "width=240,height=320", 0},
        {"mirror", "rotation=5", "width=320,height=240", 0},
        {"unswapped_output_refused", "rotation=1", "width=320,height=240", 1},
    };
    for (const Row& row : rows) {
        const Outcome r = RunCommand({kGstLaunch, "-q", "videotestsrc", "num-buffers=5", "!",
                                      "video/x-raw,format=BGRx,width=320,height=240", "!", "turnbox", row.rotation, "!",
                                      std::string("video/x-raw,") + row.outputSize, "!", "fakesink"},
                                     home, true);
        EXPECT_EQ(r.status, row.status) << row.name << ": " << r.output;
    }
}

} // namespace
} // namespace turnbox_test
