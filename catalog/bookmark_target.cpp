#include "catalog/bookmark_target.h"

#include <algorithm>
#include <filesystem>

#include "krv/krv_data_packets.h"
#include "krv/krv_guid.h"
#include "krv/krv_range_reader.h"
#include "krv/krv_reader.h"
#include "krv/krv_time.h"

namespace vedra {

int ReadBookmarkTarget(const std::string& path, BookmarkTarget& target)
{
    KrvFilePtr file(krv_open(path, true, nullptr));
    if (!file)
        return KRV_ERROR_FAIL_OPEN_FILE;
    if (const int r = krv_init(file.get()); r < 0)
        return r;
    if (const int r = krv_read_timeline(file.get(), krv_file_size(*file), target.timeline); r < 0)
        return r;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    target.key = {krv_guid_text(file->fileId), ec ? path : absolute.lexically_normal().string()};
    return 1;
}

int ReadCamerasIn(const std::string& path, const KrvTimeline& timeline, uint32_t fromMs, uint32_t toMs,
                  std::vector<int>& cameras)
{
    cameras.clear();
    KrvFilePtr file(krv_open(path, true, nullptr));
    if (!file)
        return KRV_ERROR_FAIL_OPEN_FILE;
    if (const int r = krv_init(file.get()); r < 0)
        return r;
    KrvRangeReader reader(file.get(), krv_file_size(*file));
    const KrvRange range{int64_t(timeline.originMs) + fromMs, int64_t(timeline.originMs) + std::max(toMs, fromMs + 1),
                         0x0F, false};
    if (const int r = reader.seek(range); r < 0)
        return r;
    for (int c = 1; c <= kRangeChannels; ++c)
        if (reader.channel(c).present)
            cameras.push_back(c);
    return 1;
}

uint64_t BookmarkTimeOfDay(const BookmarkTarget& target, uint32_t offsetMs)
{
    return krv_time_of_day(target.timeline.creationDate, target.timeline.originMs + offsetMs);
}

} // namespace vedra
