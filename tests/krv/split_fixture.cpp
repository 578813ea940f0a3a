#include "split_fixture.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "krv/krv_guid.h"
#include "krv/krv_recording.h"

namespace krvtest {

Bytes recorderHeader(const RecorderLayout& l)
{
    FileProps fp;
    fp.dataPackets = l.packets;
    fp.preroll = l.preroll;
    VideoProps vp;
    vp.width = vp.bitmapWidth = l.width;
    vp.height = vp.bitmapHeight = l.height;
    Bytes video = videoStream(vp);
    std::memcpy(video.data() + 105, l.code285, 4); // 285 - 180
    Bytes audio = audioStream(AudioProps{});

    Bytes codecBody(160, 0);
    std::memcpy(codecBody.data() + 156, l.code617, 4); // 617 - 461
    Bytes codec = object(kGuidCodecList, codecBody);

    Bytes vendorBody(16 + l.vendorRoom, 0); // data starts at 645
    Bytes vendor = object(kGuidUnknown, vendorBody);

    Bytes subs;
    const Bytes parts[] = {fileProperties(fp), headerExtension({}), video, audio, codec, vendor};
    for (const Bytes& o : parts)
        subs.insert(subs.end(), o.begin(), o.end());
    Bytes b;
    putGuid(b, kGuidHeader);
    put64(b, subs.size() + kHeaderFixedSize);
    put32(b, 6);
    b.push_back(1);
    b.push_back(2);
    b.insert(b.end(), subs.begin(), subs.end());
    Bytes d = dataObject(kFileId, l.packets);
    b.insert(b.end(), d.begin(), d.end());
    return b;
}

namespace {

int64_t memRead(void* c, uint8_t* buf, size_t n)
{
    MemoryFile& f = *static_cast<MemoryFile*>(c);
    if (f.pos >= f.bytes.size())
        return 0;
    n = std::min<size_t>(n, f.bytes.size() - f.pos);
    std::memcpy(buf, f.bytes.data() + f.pos, n);
    f.pos += n;
    return int64_t(n);
}

int64_t memWrite(void* c, const uint8_t* buf, size_t n)
{
    MemoryFile& f = *static_cast<MemoryFile*>(c);
    if (f.bytes.size() < f.pos + n)
        f.bytes.resize(f.pos + n);
    std::memcpy(f.bytes.data() + f.pos, buf, n);
    f.pos += n;
    return int64_t(n);
}

int64_t memSeek(void* c, uint64_t offset)
{
    static_cast<MemoryFile*>(c)->pos = offset;
    return 0;
}

} // namespace

KrvIo MemoryFile::io()
{
    KrvIo io;
    io.read = memRead;
    io.write = memWrite;
    io.seek = memSeek;
    io.context = this;
    return io;
}

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CommandResult run(const std::string& command)
{
    CommandResult r;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::filesystem::path freshDir(const std::string& name)
{
    std::filesystem::path d = tempDir() / name;
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}

std::vector<SynthFrame> readSynthFrames(const std::filesystem::path& txt)
{
    std::vector<SynthFrame> frames;
    std::ifstream in(txt);
    SynthFrame f;
    while (in >> f.index >> f.ms >> f.key >> f.size >> f.md5)
        frames.push_back(f);
    return frames;
}

SynthAudio readSynthAudio(const std::filesystem::path& txt)
{
    SynthAudio audio;
    std::ifstream in(txt);
    for (std::string key; in >> key;) {
        SynthAudio::Object o;
        long n = 0;
        if (key == "object" && in >> n >> o.ms >> o.blocks)
            audio.objects.push_back(o);
        else if (key != "object")
            in >> audio.values[key];
    }
    return audio;
}

SynthRecording synthesizeWithDump(const std::string& name, const std::string& args)
{
    SynthRecording s;
    s.work = freshDir(name);
    s.path = s.work / "rec.krv";
    s.dump = s.work / "dump";
#ifdef KRVSYNTH_PATH
    s.synth = run(std::string(KRVSYNTH_PATH) + " " + quote(s.path.string()) + " " + args + " --dump-dir " +
                  quote(s.dump.string()) + " 2>&1");
#else
    (void)args;
    s.synth.out = "no krvsynth in this build";
#endif
    return s;
}

std::vector<std::string> frameMd5s(const std::string& ffmpegArgs)
{
    CommandResult r = run("ffmpeg -nostdin -v error " + ffmpegArgs + " -f framemd5 - 2>/dev/null");
    std::vector<std::string> md5s;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        size_t comma = line.find_last_of(',');
        std::string md5 = line.substr(comma + 1);
        md5.erase(0, md5.find_first_not_of(' '));
        md5s.push_back(md5);
    }
    return md5s;
}

Bytes recorderRecording(const std::vector<Bytes>& packets, RecorderLayout layout)
{
    layout.packets = packets.size();
    Bytes b = recorderHeader(layout);
    for (const Bytes& p : packets)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}

int splitPath(const std::string& path, const std::string& folder, const KrvSplitOptions& options,
              KrvSplitFailure* failure)
{
    std::filesystem::create_directories(folder);
    KrvFilePtr recording;
    const int r = krv_open_recording(path, recording, options.sink);
    return r < 0 ? r : krv_split(recording.get(), folder, options, failure);
}

SplitRun splitBytes(const Bytes& recording, const std::string& name, bool avSync)
{
    SplitRun run;
    run.dir = freshDir(name);
    const std::string path = writeTemp(recording, name + ".krv");
    KrvFilePtr file;
    run.open = krv_open_recording(path, file);
    if (run.open < 0)
        return run;
    run.result = krv_split(file.get(), run.dir.string(), KrvSplitOptions{avSync});
    return run;
}

Channel readChannel(const std::filesystem::path& path)
{
    Channel c;
    KrvFilePtr file(krv_open(path.string(), true));
    if (!file)
        return c;
    c.init = krv_init(file.get());
    if (c.init < 0)
        return c;
    for (int s = 0; s < 8; ++s)
        c.streams[s] = file->streams[s].type;
    KrvPacketPtr packet(krv_packet_create(file.get(), true));
    int r;
    while ((r = krv_get_packet(file.get(), packet.get(), false, nullptr)) > 0) {
        ++c.packets;
        for (uint16_t i = 0; i < packet->payloadCount; ++i) {
            const KrvPayload& p = packet->payloads[i];
            if (p.offset == 0)
                c.objects.push_back({p.streamNumber, p.keyFrame != 0, p.presentationTime, {}});
            if (c.objects.empty())
                continue;
            c.objects.back().bytes.insert(c.objects.back().bytes.end(), p.data, p.data + p.payloadLength);
        }
    }
    c.packetError = r;
    return c;
}

} // namespace krvtest
