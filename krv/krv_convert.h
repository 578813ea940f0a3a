// Turning a recording into playable files: open it, and when it holds two or
// more media streams split it into a fresh working folder. No user interface:
// the messages for the user come back with the result.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "krv/krv_log.h"
#include "krv/krv_splitter.h"

struct KrvUserMessage {
    std::string text;
    std::string caption; // empty: the program's own name
};

struct KrvConversion {
    bool split = false;                   // true: `result` is a working folder holding the channel files
    std::string result;                   // the working folder, else the recording's own path
    std::vector<KrvUserMessage> messages; // in the order they arose
    KrvSplitFiles files;                  // of a split: what it wrote into the working folder
    uint64_t creationDate = 0;            // file properties: 100-ns units since 1601 UTC, 0 when none
};

// Converts the recording at `path` (UTF-8). `avSync` chooses the A/V-sync
// mode. The working folder goes into the first of `workRoots` that takes one
// (the user's: krv_work_root(), then krv_fallback_work_root()); it is owned by
// this process and private, its files 0600. A split that fails removes its
// folder again. Messages for the user come back in the result; `sink` gets
// the diagnostic lines (null: stderr). Conversions on several threads at once
// are independent. Never throws.
KrvConversion krv_convert_recording(const std::string& path, bool avSync,
                                    const std::vector<std::filesystem::path>& workRoots,
                                    const KrvMessageSink* sink = nullptr);
inline KrvConversion krv_convert_recording(const std::string& path, bool avSync, const std::filesystem::path& workRoot)
{
    return krv_convert_recording(path, avSync, std::vector<std::filesystem::path>{workRoot});
}
