// `krvtool info --json`: one JSON object per recording, on one line.
#pragma once

#include <string>

#include "krv/krv_facts.h"

namespace krvtool {

// Times in seconds (ms precision), the creation date in ISO 8601 UTC or null.
std::string factsJson(const std::string& path, const KrvFacts& facts);

// The object for a recording that could not be read: its path and the
// system's message with the code and its name.
std::string errorJson(const std::string& path, int code, const std::string& message, const std::string& name);

// `text` as a JSON string, quotes included.
std::string jsonString(const std::string& text);

} // namespace krvtool
