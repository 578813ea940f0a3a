#include "snapshot_writer.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "pic_conver.h"
#include "snapshot_convert.h"

namespace vedra {

bool WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size)
{
    // A name of our own beside the target; created like any user file (0666 less the umask).
    static std::atomic<unsigned> counter{0};
    const std::string temp = path + ".part" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        std::remove(temp.c_str());
    return ok;
}

SnapshotResult WriteSnapshot(const GrabbedMediaType& type, const uint8_t* frame, size_t length, const std::string& path,
                             bool asJpeg)
{
    std::vector<uint8_t> pixels;
    bool converted = false;
    if (type.subtype == kSubtypeYuy2)
        converted = ConvertYuy2ToBgr(frame, length, type.width, type.height, pixels);
    else if (type.subtype == kSubtypeYv12)
        converted = ConvertYv12ToBgr(frame, length, type.width, type.height, pixels);
    if (!converted)
        return SnapshotResult::NotConverted;

    const auto header = MakeBmpHeader(type.width, type.height);
    std::vector<uint8_t> bmp(header.size() + pixels.size());
    std::copy(header.begin(), header.end(), bmp.begin());
    std::copy(pixels.begin(), pixels.end(), bmp.begin() + static_cast<std::ptrdiff_t>(header.size()));

    if (asJpeg) {
        std::vector<uint8_t> jpeg;
        if (!CPicConver().Convert(bmp, jpeg, "jpeg"))
            return SnapshotResult::EncodeFailed;
        bmp.swap(jpeg);
    }
    return WriteFileAtomically(path, bmp.data(), bmp.size()) ? SnapshotResult::Written : SnapshotResult::WriteFailed;
}

} // namespace vedra
