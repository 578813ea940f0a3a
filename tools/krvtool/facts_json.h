// `krvtool info --json`: one JSON object per recording, on one line.
#pragma once

#include <string>

#include "krv/krv_facts.h"
#include "krv/krv_timeline.h"

namespace krvtool {

// Times in seconds (ms precision) from the counter's 0 (the timeline's origin),
// the creation date and the counter's 0 as times of day in ISO 8601 UTC or null.
std::string factsJson(const std::string& path, const KrvFacts& facts, const KrvTimeline& timeline);

// The object for a recording that could not be read: its path and the
// system's message with the code and its name.
std::string errorJson(const std::string& path, int code, const std::string& message, const std::string& name);

// `text` as a JSON string, quotes included.
std::string jsonString(const std::string& text);

} // namespace krvtool
