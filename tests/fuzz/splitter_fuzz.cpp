// libFuzzer target: the input is the data packets of a recording (and one
// leading byte choosing the mode and the audio channel definition) behind a
// valid header in the recorder's layout, so every run reaches the splitter:
// routing, reassembly, audio unpacking, repacking and the header rewrite.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "krv/krv_recording.h"
#include "krv/krv_splitter.h"

namespace {

constexpr size_t kMaxPackets = 16;

const std::filesystem::path& workDir()
{
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("krv_splitter_fuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(d / "out");
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool avSync = data[0] & 1;
    const uint8_t audioDefinition = uint8_t((data[0] >> 1) % 5);
    ++data;
    --size;
    const size_t packets = std::min(kMaxPackets, (size + kPacketSize - 1) / kPacketSize);

    krvtest::Bytes file =
        fuzz::behindHeader(data, std::min(size, packets * kPacketSize), packets, packets * kPacketSize);
    file[649] = audioDefinition;

    const std::filesystem::path path = workDir() / "in.krv";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    KrvFilePtr recording;
    if (krv_open_recording(path.string(), recording, &krv_quiet_sink()) == 1) {
        KrvSplitOptions options;
        options.avSync = avSync;
        options.sink = &krv_quiet_sink();
        krv_split(recording.get(), (workDir() / "out").string(), options);
    }
    return 0;
}
