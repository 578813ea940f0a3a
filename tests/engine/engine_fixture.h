// Shared pieces of the engine tests: recordings made by krvsynth and split by
// the container library, a notify target pumped on the test thread, frame sinks.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "counting_frame_sink.h"
#include "frame_sink.h"
#include "notify_target.h"
#include "scratch_folder.h"

namespace vedra::test {

// Runs krvsynth; returns false (and adds a test failure) when it fails.
bool MakeRecording(const std::string& out, const std::string& options);

// A recording split into a working folder inside `dir`.
struct SplitRecording {
    std::string recording;
    std::filesystem::path folder;
    std::string channel(int n) const { return (folder / ("Video" + std::to_string(n) + ".krv")).string(); }
    std::string audio() const { return (folder / "Audio1.wav").string(); }
};
bool MakeSplitRecording(const TempDir& dir, const std::string& options, SplitRecording& out);

// Records posted messages; the test thread waits for and takes them.
class NotifyQueue : public INotifyTarget {
public:
    struct Message {
        uint32_t msg;
        intptr_t sender;
    };
    void PostMessage(uint32_t msg, intptr_t sender) override;
    // Waits up to `timeoutMs` for a message; false when none came.
    bool Wait(Message& out, int timeoutMs);
    size_t size();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Message> queue_;
};

// Collects the message boxes shown while alive instead of showing them.
class MessageBoxRecorder {
public:
    struct Box {
        std::string text;
        std::string caption;
    };
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    std::vector<Box> boxes();

private:
    std::mutex mutex_;
    std::vector<Box> boxes_;
};

// One frame of krvsynth's --dump-dir list (chN.txt): the oracle of what a channel holds.
struct DumpFrame {
    long ms = 0; // presentation time, preroll subtracted
    int key = 0;
    std::string md5;
};
std::vector<DumpFrame> ReadDump(const std::filesystem::path& txt);

// The non-empty lines of a text.
std::vector<std::string> Lines(const std::string& text);

// ffmpeg's framemd5 of one stream of a file, copied as it is: one md5 a frame.
std::vector<std::string> FrameMd5s(const std::string& file, int stream);

// Frame count and presentation times (ms) of a channel file according to ffprobe.
std::vector<double> FfprobeFrameTimes(const std::string& path, const std::string& streamSelector = "v:0");

} // namespace vedra::test
