#include "engine_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "krv/krv_convert.h"
#include "message_box.h"

namespace vedra::test {

bool MakeRecording(const std::string& out, const std::string& options)
{
    int status = 0;
    const std::string log = RunCommand(std::string(KRVSYNTH_PATH) + " '" + out + "' " + options + " 2>&1", &status);
    if (status != 0) {
        ADD_FAILURE() << "krvsynth failed: " << log;
        return false;
    }
    return true;
}

bool MakeSplitRecording(const TempDir& dir, const std::string& options, SplitRecording& out)
{
    out.recording = dir.file("rec.krv");
    if (!MakeRecording(out.recording, options))
        return false;
    const KrvConversion c = krv_convert_recording(out.recording, false, dir.path() / "work");
    if (!c.split) {
        std::string why;
        for (const auto& m : c.messages)
            why += m.text + "\n";
        ADD_FAILURE() << "split failed: " << why;
        return false;
    }
    out.folder = c.result;
    return true;
}

void NotifyQueue::PostMessage(uint32_t msg, intptr_t sender)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({msg, sender});
    }
    cv_.notify_all();
}

bool NotifyQueue::Wait(Message& out, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !queue_.empty(); }))
        return false;
    out = queue_.front();
    queue_.pop_front();
    return true;
}

size_t NotifyQueue::size()
{
    std::lock_guard lock(mutex_);
    return queue_.size();
}

MessageBoxRecorder::MessageBoxRecorder()
{
    SetMessageBoxHook([this](const std::string& text, const std::string& caption, void*) {
        std::lock_guard lock(mutex_);
        boxes_.push_back({text, caption});
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    SetMessageBoxHook({});
}

std::vector<MessageBoxRecorder::Box> MessageBoxRecorder::boxes()
{
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<DumpFrame> ReadDump(const std::filesystem::path& txt)
{
    std::vector<DumpFrame> frames;
    std::ifstream in(txt);
    long index = 0, size = 0;
    DumpFrame f;
    while (in >> index >> f.ms >> f.key >> size >> f.md5)
        frames.push_back(f);
    return frames;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

std::vector<std::string> FrameMd5s(const std::string& file, int stream)
{
    std::vector<std::string> md5s;
    for (const std::string& line : Lines(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -map 0:" +
                                                    std::to_string(stream) + " -c copy -f framemd5 - 2>/dev/null"))) {
        if (line[0] != '#')
            md5s.push_back(line.substr(line.find_last_of(' ') + 1));
    }
    return md5s;
}

std::vector<double> FfprobeFrameTimes(const std::string& path, const std::string& streamSelector)
{
    const std::string out = RunCommand("ffprobe -v error -select_streams " + streamSelector +
                                       " -show_entries packet=pts_time -of csv=p=0 '" + path + "'");
    std::vector<double> times;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line != "N/A")
            times.push_back(std::atof(line.c_str()));
    return times;
}

} // namespace vedra::test
