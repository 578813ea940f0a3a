#include "krv/krv_data_packets.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

uint64_t krv_file_size(const KrvFile& file)
{
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file.path, ec);
    return ec ? 0 : size;
}

KrvCutShort krv_cut_short(const KrvFile& file, uint64_t fileSize)
{
    KrvCutShort c;
    c.announced = file.dataPacketsCount;
    c.whole = c.announced;
    if (!file.data || file.packetSize == 0)
        return c;
    const uint64_t first = file.data->packetsPosition;
    const uint64_t room = fileSize > first ? (fileSize - first) / file.packetSize : 0;
    c.whole = std::min(c.announced, room);
    const bool dataPastEnd = file.data->size > 0 && file.dataPosition + file.data->size > fileSize;
    c.cut = c.whole < c.announced || dataPastEnd;
    return c;
}

KrvCutShort krv_keep_whole_packets(KrvFile* file, uint64_t fileSize)
{
    if (!file)
        return {};
    const KrvCutShort c = krv_cut_short(*file, fileSize);
    file->dataPacketsCount = c.whole;
    return c;
}

int krv_seek_packet(KrvFile* file, uint64_t index)
{
    if (!file || !file->data || !file->io.seek || index > file->dataPacketsCount)
        return KRV_ERROR_SEEK;
    const uint64_t offset = file->data->packetsPosition + index * file->packetSize;
    if (file->io.seek(file->io.context, offset) < 0)
        return KRV_ERROR_SEEK;
    file->position = offset;
    file->packetCounter = index;
    return 1;
}
