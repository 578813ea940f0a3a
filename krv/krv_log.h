// Where the container code's diagnostics and its messages for the user go: a
// sink the caller owns and passes in with each call that may report, so
// callers on different threads report to different places. A library must
// not write on a tool's stdout: without a sink (null, or an empty member),
// lines go to stderr and messages go with the lines as "caption: text".
#pragma once

#include <functional>
#include <string_view>

struct KrvMessageSink {
    std::function<void(std::string_view line)> log;                               // diagnostics, as formatted
    std::function<void(std::string_view text, std::string_view caption)> message; // for the user
};

// A sink that drops everything (fuzz targets, quiet tools).
const KrvMessageSink& krv_quiet_sink();

// printf-style diagnostic line to `sink`.
void krv_log(const KrvMessageSink* sink, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A message the caller shows to the user.
void krv_message(const KrvMessageSink* sink, std::string_view text, std::string_view caption);
