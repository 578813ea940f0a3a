// The manifest of an export: what was exported from what, by whom and when,
// and every output with its size, SHA-256 and frames per track. Written as
// JSON beside the outputs and signed over its exact bytes; read back by
// `krvtool verify`. Offsets are seconds from the recording's counter's 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vedra {

inline constexpr int kManifestVersion = 1;
inline constexpr const char* kManifestSuffix = ".manifest.json";
inline constexpr const char* kSignatureSuffix = ".sig"; // after the manifest's own name

struct ManifestTrack {
    int channel = 0;      // 1-4
    uint64_t frames = 0;  // in this output
    uint32_t firstMs = 0; // offsets of its first and last frame
    uint32_t lastMs = 0;
};

struct ManifestOutput {
    std::string name; // beside the manifest
    uint64_t size = 0;
    std::string sha256;
    bool audio = false;
    std::vector<ManifestTrack> tracks;
    // Its video re-encoded with the time of day and camera burned in, so its
    // frames are not the recording's bytes; `videoCodec` says what encoded it.
    bool burnIn = false;
    std::string videoCodec;
};

struct ManifestBookmark {
    uint32_t offsetMs = 0;
    std::string time; // ISO 8601 time of day, empty when the recording has no date
    std::vector<int> channels;
    std::string note;
};

struct ExportManifest {
    int version = kManifestVersion;
    std::string tool;        // "Vedra Media Player"
    std::string toolVersion; // the program's version
    // The source recording.
    std::string sourcePath;
    uint64_t sourceSize = 0;
    std::string sourceSha256;
    std::string fileId;       // the header's file ID
    std::string creationDate; // ISO 8601, empty: none
    std::string startTime;    // the counter's 0 as a time of day, empty: none
    // The range asked for, as offsets and times of day.
    uint32_t fromMs = 0;
    uint32_t toMs = 0; // exclusive
    std::string fromTime, toTime;
    std::vector<int> cameras;
    std::vector<ManifestOutput> outputs;
    std::vector<ManifestBookmark> bookmarks;
    std::string account, host, exportedAt; // who and when (ISO 8601 UTC)
    std::string signerKey;                 // "ed25519:..." of the key that signs it
    std::string signerFingerprint;
};

// The manifest as JSON, one member a line, ending in a line break.
std::string ManifestJson(const ExportManifest& manifest);

// Reads a manifest; nothing with `error` naming what is wrong ("not JSON: at
// byte 12: ...", "no \"outputs\"", "\"outputs\"[1].\"size\" is not a count").
std::optional<ExportManifest> ParseManifest(std::string_view text, std::string& error);

} // namespace vedra
