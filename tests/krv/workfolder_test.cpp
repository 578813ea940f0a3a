// Folders owned by the process that made them, tree removal, and what a split
// leaves on disk: private modes, temporary names, nothing after a failure.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fstream>

#include "krv/krv_recording.h"
#include "krv/krv_staging.h"
#include "krv/krv_workfolder.h"
#include "split_fixture.h"

using namespace krvtest;
namespace fs = std::filesystem;

namespace {

mode_t modeOf(const fs::path& p)
{
    struct stat st {};
    return lstat(p.c_str(), &st) == 0 ? st.st_mode & 0777 : 07777;
}

std::vector<std::string> names(const fs::path& dir)
{
    std::vector<std::string> v;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
}

// A process that makes an owned folder and then either ends at once (its
// folder turns stale) or lives on until it is killed.
pid_t ownerProcess(const fs::path& folder, bool lives)
{
    int made[2];
    EXPECT_EQ(pipe(made), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(made[0]);
        const char ok = krv_create_owned_folder(folder) ? 1 : 0;
        [[maybe_unused]] ssize_t n = write(made[1], &ok, 1);
        while (lives)
            pause();
        _exit(0);
    }
    close(made[1]);
    char ok = 0;
    EXPECT_EQ(read(made[0], &ok, 1), 1);
    close(made[0]);
    EXPECT_EQ(ok, 1);
    return child;
}

} // namespace

TEST(OwnedFolder, PrivateWhateverTheUmaskAndRemovedOnlyByItsOwner)
{
    const fs::path root = freshDir("owned") / "Vedra Media Player";
    const mode_t previous = umask(0);
    fs::path folder;
    ASSERT_TRUE(krv_create_work_folder(root, 0, folder));
    umask(previous);
    EXPECT_EQ(modeOf(root), 0700u);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(names(folder), std::vector<std::string>{".owner.lock"});

    const fs::path foreign = root / "tempFile20260101000000";
    fs::create_directories(foreign);
    EXPECT_FALSE(krv_remove_owned_folder(foreign)) << "not made by this process";
    EXPECT_TRUE(fs::exists(foreign));
    EXPECT_TRUE(krv_remove_owned_folder(folder));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(krv_remove_owned_folder(folder)) << "only once";

    // A folder swapped for a link after it was made is not followed.
    ASSERT_TRUE(krv_create_owned_folder(root / "tempFileSwapped"));
    fs::rename(root / "tempFileSwapped", root / "moved");
    fs::create_directory_symlink(root / "moved", root / "tempFileSwapped");
    EXPECT_FALSE(krv_remove_owned_folder(root / "tempFileSwapped"));
    EXPECT_TRUE(fs::exists(root / "moved" / ".owner.lock"));
}

// The sweep takes only folders whose owner is gone: never one whose owner
// lives (another process or this one), one without a marker, a link, or
// another user's.
TEST(OwnedFolder, StaleSweepTakesOnlyFoldersOfEndedOwners)
{
    const fs::path root = freshDir("stale");
    const fs::path outside = freshDir("staleOutside");
    std::ofstream(outside / "keep.txt") << "keep";

    const pid_t living = ownerProcess(root / "tempFileLiving", true);
    const pid_t ended = ownerProcess(root / "tempFileEnded", false);
    waitpid(ended, nullptr, 0);
    std::ofstream(root / "tempFileEnded" / "Video1.krv") << "footage";
    ASSERT_TRUE(krv_create_owned_folder(root / "tempFileMine"));
    fs::create_directories(root / "tempFileUnmarked");
    fs::create_directory_symlink(outside, root / "tempFileLink");
    fs::create_directories(root / "otherEnded");
    const bool asRoot = geteuid() == 0;
    if (asRoot) {
        const pid_t foreign = ownerProcess(root / "tempFileForeign", false);
        waitpid(foreign, nullptr, 0);
        ASSERT_EQ(chown((root / "tempFileForeign").c_str(), 65534, 65534), 0);
    }

    EXPECT_EQ(krv_remove_stale_folders(root, "tempFile"), 1);
    std::vector<std::string> expected{"otherEnded", "tempFileLink", "tempFileLiving", "tempFileMine",
                                      "tempFileUnmarked"};
    if (asRoot)
        expected.insert(expected.begin() + 1, "tempFileForeign");
    EXPECT_EQ(names(root), expected);
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));

    kill(living, SIGKILL);
    waitpid(living, nullptr, 0);
    EXPECT_EQ(krv_remove_stale_folders(root, "tempFile"), 1) << "its owner has ended now";
    EXPECT_TRUE(fs::exists(root / "tempFileMine"));
    krv_remove_owned_folders();
    EXPECT_FALSE(fs::exists(root / "tempFileMine"));
}

TEST(OwnedFolder, TemporaryFoldersNestAndGoTogether)
{
    const fs::path tmp = freshDir("tmphome");
    setenv("TMPDIR", tmp.c_str(), 1);
    const fs::path temp = krv_create_temp_folder("vedra-test-");
    unsetenv("TMPDIR");
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.parent_path(), tmp);
    EXPECT_EQ(modeOf(temp), 0700u);
    fs::path work;
    ASSERT_TRUE(krv_create_work_folder(temp, 0, work));
    krv_remove_owned_folders();
    EXPECT_TRUE(names(tmp).empty());
}

TEST(DeleteTree, NeverFollowsLinks)
{
    const fs::path base = freshDir("deleteTree");
    const fs::path outside = base / "precious";
    fs::create_directories(outside);
    std::ofstream(outside / "keep.txt") << "keep";
    fs::create_directories(base / "tree" / "deep");
    std::ofstream(base / "tree" / "deep" / "Audio1.wav") << "a";
    fs::create_directory_symlink(outside, base / "tree" / "linkdir");
    fs::create_symlink(outside / "keep.txt", base / "tree" / "linkfile");
    fs::create_directory_symlink(outside, base / "linkedRoot");

    EXPECT_FALSE(krv_delete_tree(base / "linkedRoot")) << "a folder that is a link stays";
    EXPECT_FALSE(krv_delete_tree(""));
    EXPECT_FALSE(krv_delete_tree(base / "missing"));
    EXPECT_TRUE(krv_delete_tree(base / "tree"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(base / "tree")));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
    EXPECT_TRUE(fs::is_symlink(base / "linkedRoot"));
}

TEST(FolderLock, SecondHolderIsRefused)
{
    const fs::path folder = freshDir("folderLock");
    {
        const KrvFolderLock first(folder);
        EXPECT_TRUE(first.acquired());
        const KrvFolderLock second(folder);
        EXPECT_FALSE(second.acquired());
    }
    const KrvFolderLock again(folder);
    EXPECT_TRUE(again.acquired());
}

#ifdef KRVSYNTH_PATH
struct SplitFilesRow {
    const char* name;
    bool privateFiles;
    mode_t umask;
    bool stop;       // the stop flag raised before the split
    mode_t fileMode; // of every file written
};

void PrintTo(const SplitFilesRow& row, std::ostream* os)
{
    *os << row.name;
}

class SplitFiles : public ::testing::TestWithParam<SplitFilesRow> {};

TEST_P(SplitFiles, ModesAndNothingLeftWhenStopped)
{
    const SplitFilesRow& row = GetParam();
    const fs::path work = freshDir(std::string("splitFiles_") + row.name);
    const fs::path rec = work / "rec.krv";
    ASSERT_EQ(run(std::string(KRVSYNTH_PATH) + " " + quote(rec.string()) + " --seconds 1 2>&1").status, 0);
    fs::create_directories(work / "out");

    const mode_t previous = umask(row.umask);
    const std::atomic<bool> stop{row.stop};
    KrvSplitFailure failure;
    const int r =
        splitPath(rec.string(), (work / "out").string(), KrvSplitOptions{false, row.privateFiles, &stop}, &failure);
    umask(previous);

    if (row.stop) {
        EXPECT_EQ(r, KRV_ERROR_IO);
        EXPECT_EQ(failure.systemError, EINTR);
        EXPECT_TRUE(names(work / "out").empty()) << names(work / "out")[0];
        return;
    }
    ASSERT_EQ(r, 1);
    EXPECT_EQ(failure.systemError, 0);
    EXPECT_EQ(names(work / "out"),
              (std::vector<std::string>{"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"}));
    for (const std::string& name : names(work / "out"))
        EXPECT_EQ(modeOf(work / "out" / name), row.fileMode) << name;
}

// Reads the recording for a split and, a few packets in, opens every file
// the split has on disk so far: what kill -9 would leave at that moment.
struct Midway {
    KrvIo inner;
    fs::path folder;
    int reads = 0;
    std::vector<std::string> inFolder;
    std::vector<std::string> seen; // in the staging folder
    std::vector<int> opened;

    static int64_t read(void* context, uint8_t* buffer, size_t size)
    {
        auto* self = static_cast<Midway*>(context);
        if (++self->reads == 8) {
            self->inFolder = names(self->folder);
            const fs::path staging = self->folder / (self->inFolder.empty() ? "" : self->inFolder[0]);
            for (const std::string& name : names(staging)) {
                if (!name.ends_with(".part"))
                    continue;
                KrvFilePtr file;
                self->seen.push_back(name);
                self->opened.push_back(krv_open_recording((staging / name).string(), file, &krv_quiet_sink()));
            }
        }
        return self->inner.read(self->inner.context, buffer, size);
    }
    static int64_t seek(void* context, uint64_t offset)
    {
        auto* self = static_cast<Midway*>(context);
        return self->inner.seek(self->inner.context, offset);
    }
};

TEST(SplitFiles, HalfWrittenFilesOpenAsNoRecording)
{
    const fs::path work = freshDir("splitMidway");
    const fs::path rec = work / "rec.krv";
    ASSERT_EQ(run(std::string(KRVSYNTH_PATH) + " " + quote(rec.string()) + " --seconds 6 --size 640x480 2>&1").status,
              0);
    KrvFilePtr recording;
    ASSERT_EQ(krv_open_recording(rec.string(), recording), 1);
    Midway midway;
    midway.inner = recording->io;
    midway.folder = work / "out";
    recording->io = {&Midway::read, nullptr, &Midway::seek, &midway};
    fs::create_directories(midway.folder);
    ASSERT_EQ(krv_split(recording.get(), midway.folder.string(), KrvSplitOptions{}), 1);
    ASSERT_EQ(midway.inFolder.size(), 1u) << "the files are written in a staging folder";
    EXPECT_TRUE(midway.inFolder[0].starts_with(kKrvStagingPrefix)) << midway.inFolder[0];
    ASSERT_EQ(midway.seen.size(), 5u);
    for (size_t i = 0; i < midway.seen.size(); ++i) {
        EXPECT_TRUE(midway.seen[i].ends_with(".part")) << midway.seen[i];
        if (midway.seen[i].find(".krv") != std::string::npos) {
            EXPECT_LT(midway.opened[i], 0) << midway.seen[i] << " opens";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SplitFiles,
                         ::testing::Values(SplitFilesRow{"privateWithOpenUmask", true, 0, false, 0600},
                                           SplitFilesRow{"usersFilesKeepTheUmask", false, 022, false, 0644},
                                           SplitFilesRow{"stoppedLeavesNothing", true, 022, true, 0}),
                         [](const auto& info) { return std::string(info.param.name); });
#endif
