#include "krv/krv_staging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "krv/krv_workfolder.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kJournal = ".journal";
// Written under this name and renamed, so a journal is whole or missing.
constexpr const char* kJournalUnderConstruction = ".journal.new";
constexpr std::string_view kJournalTag = "vedra-staging 1";
constexpr size_t kMaxJournalSize = 1 << 20;

struct JournalEntry {
    dev_t dev = 0; // of the staged file, which keeps its inode when it moves
    ino_t ino = 0;
    std::string staged;
    std::string final;
};

bool isPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

bool sameFile(int dirFd, const std::string& name, dev_t dev, ino_t ino)
{
    struct stat st {};
    return fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_dev == dev &&
           st.st_ino == ino;
}

bool writeAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// Fields separated by NUL, which no file name holds.
std::string journalText(KrvCommitMode mode, const std::vector<JournalEntry>& entries)
{
    std::string text(kJournalTag);
    text += '\0';
    text += mode == KrvCommitMode::Replace ? "replace" : "exclusive";
    text += '\0';
    for (const JournalEntry& e : entries) {
        for (const std::string& field : {std::to_string(e.dev), std::to_string(e.ino), e.staged, e.final}) {
            text += field;
            text += '\0';
        }
    }
    return text;
}

bool parseJournal(const std::string& text, KrvCommitMode& mode, std::vector<JournalEntry>& entries)
{
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\0', at);
        if (end == std::string::npos)
            return false;
        fields.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (fields.size() < 2 || fields[0] != kJournalTag || (fields.size() - 2) % 4 != 0)
        return false;
    if (fields[1] != "replace" && fields[1] != "exclusive")
        return false;
    mode = fields[1] == "replace" ? KrvCommitMode::Replace : KrvCommitMode::Exclusive;
    for (size_t i = 2; i < fields.size(); i += 4) {
        JournalEntry e;
        try {
            e.dev = dev_t(std::stoull(fields[i]));
            e.ino = ino_t(std::stoull(fields[i + 1]));
        } catch (const std::exception&) {
            return false;
        }
        e.staged = fields[i + 2];
        e.final = fields[i + 3];
        if (!isPlainName(e.staged) || !isPlainName(e.final))
            return false;
        entries.push_back(std::move(e));
    }
    return true;
}

std::string readJournal(int dirFd)
{
    const int fd = openat(dirFd, kJournal, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < kMaxJournalSize)
        text.append(buffer, size_t(n));
    close(fd);
    return text;
}

// The journal of a killed commit, replayed: moves undone (only files that are
// still the very ones it moved) or finished.
void replayJournal(int parentFd, int dirFd)
{
    KrvCommitMode mode;
    std::vector<JournalEntry> entries;
    if (!parseJournal(readJournal(dirFd), mode, entries))
        return;
    for (const JournalEntry& e : entries) {
        if (mode == KrvCommitMode::Exclusive && sameFile(parentFd, e.final, e.dev, e.ino))
            unlinkat(parentFd, e.final.c_str(), 0);
        else if (mode == KrvCommitMode::Replace && sameFile(dirFd, e.staged, e.dev, e.ino))
            renameat(dirFd, e.staged.c_str(), parentFd, e.final.c_str());
    }
}

// Every move of an output is one renameat2 call (glibc's wrapper turns flags
// 0 into renameat): one kind of call to count when a test kills a commit midway.
int moveFile(int fromFd, const char* from, int toFd, const char* to, unsigned flags)
{
    return syscall(SYS_renameat2, fromFd, from, toFd, to, flags) == 0 ? 0 : errno;
}

// A move that never replaces: where the file system cannot rename so, a link
// (which never replaces either) and the staged name removed.
int moveExclusive(int fromFd, const char* from, int toFd, const char* to)
{
    const int r = moveFile(fromFd, from, toFd, to, RENAME_NOREPLACE);
    if (r != EINVAL && r != ENOSYS)
        return r;
    if (linkat(fromFd, from, toFd, to, 0) != 0)
        return errno;
    unlinkat(fromFd, from, 0);
    return 0;
}

// The destination the user named may be a link to a folder: that one link is
// followed, once, and never a link inside it.
fs::path realFolder(const fs::path& destination)
{
    std::error_code ec;
    const fs::path real = fs::canonical(destination, ec);
    return ec ? destination : real;
}

} // namespace

KrvStaging::~KrvStaging()
{
    remove();
}

bool KrvStaging::create(const fs::path& destination)
{
    remove();
    const fs::path real = realFolder(destination);
    parentFd_ = open(real.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (parentFd_ < 0)
        return false;
    folder_ = krv_create_temp_folder(real, kKrvStagingPrefix);
    if (!folder_.empty())
        dirFd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd_ < 0) {
        const int saved = errno;
        remove();
        errno = saved;
        return false;
    }
    return true;
}

std::string KrvStaging::path(const std::string& name) const
{
    return (folder_ / name).string();
}

// Only files that are still the very ones moved go back.
void KrvStaging::takeBack(const std::vector<KrvStagedMove>& moves, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        struct stat st {};
        if (fstatat(dirFd_, moves[i].staged.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
            sameFile(parentFd_, moves[i].final, moved_[i].first, moved_[i].second))
            renameat(parentFd_, moves[i].final.c_str(), dirFd_, moves[i].staged.c_str());
    }
}

int KrvStaging::commit(const std::vector<KrvStagedMove>& moves, KrvCommitMode mode)
{
    if (dirFd_ < 0)
        return EBADF;
    std::vector<JournalEntry> entries;
    moved_.clear();
    for (const KrvStagedMove& m : moves) {
        struct stat st {};
        if (!isPlainName(m.staged) || !isPlainName(m.final))
            return EINVAL;
        if (fstatat(dirFd_, m.staged.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        entries.push_back({st.st_dev, st.st_ino, m.staged, m.final});
        moved_.emplace_back(st.st_dev, st.st_ino);
    }
    unlinkat(dirFd_, kJournalUnderConstruction, 0);
    const int fd =
        openat(dirFd_, kJournalUnderConstruction, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    const bool written = writeAll(fd, journalText(mode, entries)) && fsync(fd) == 0;
    const int writeError = errno;
    if (close(fd) != 0 || !written)
        return written ? errno : writeError;
    if (renameat(dirFd_, kJournalUnderConstruction, dirFd_, kJournal) != 0)
        return errno;

    for (size_t i = 0; i < moves.size(); ++i) {
        const char* from = moves[i].staged.c_str();
        const char* to = moves[i].final.c_str();
        const int r = mode == KrvCommitMode::Exclusive ? moveExclusive(dirFd_, from, parentFd_, to)
                                                       : moveFile(dirFd_, from, parentFd_, to, 0);
        if (r != 0) {
            takeBack(moves, i);
            unlinkat(dirFd_, kJournal, 0);
            return r;
        }
    }
    // The commit point: without a journal, what moved stays.
    if (unlinkat(dirFd_, kJournal, 0) != 0) {
        const int r = errno;
        takeBack(moves, moves.size());
        return r;
    }
    return 0;
}

void KrvStaging::remove()
{
    if (dirFd_ >= 0)
        close(dirFd_);
    if (parentFd_ >= 0)
        close(parentFd_);
    dirFd_ = parentFd_ = -1;
    if (!folder_.empty())
        krv_remove_owned_folder(folder_);
    folder_.clear();
}

int krv_recover_staging(const fs::path& destination)
{
    const fs::path real = realFolder(destination);
    return krv_remove_stale_folders(real, kKrvStagingPrefix, replayJournal) +
           krv_remove_unmarked_folders(real, kKrvStagingPrefix);
}
