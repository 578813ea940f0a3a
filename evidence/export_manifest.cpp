#include "evidence/export_manifest.h"

#include <cstdio>

#include "evidence/json_value.h"

namespace vedra {
namespace {

JsonValue Seconds(uint32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u", ms / 1000, ms % 1000);
    return JsonValue::Number(text);
}

JsonValue Text(const std::string& s)
{
    return s.empty() ? JsonValue() : JsonValue::String(s);
}

JsonValue Channels(const std::vector<int>& channels)
{
    JsonValue a = JsonValue::Array();
    for (int c : channels)
        a.Push(JsonValue::Number(uint64_t(c)));
    return a;
}

// Reads members by name, remembering the first thing that is wrong.
class Reader {
public:
    explicit Reader(std::string& error) : error_(error) {}
    bool ok() const { return error_.empty(); }

    const JsonValue* Member(const JsonValue& o, const char* key, const std::string& where, JsonValue::Kind kind)
    {
        const JsonValue* v = o.Find(key);
        if (!v || v->kind() != kind) {
            Fail(where + "\"" + key + "\" is " + (v ? "not " + KindName(kind) : "missing"));
            return nullptr;
        }
        return v;
    }
    std::string String(const JsonValue& o, const char* key, const std::string& where, bool nullable = true)
    {
        const JsonValue* v = o.Find(key);
        if (nullable && v && v->isNull())
            return {};
        v = Member(o, key, where, JsonValue::Kind::String);
        return v ? v->text() : std::string();
    }
    uint64_t Count(const JsonValue& o, const char* key, const std::string& where, uint64_t max = UINT64_MAX)
    {
        const JsonValue* v = Member(o, key, where, JsonValue::Kind::Number);
        const std::optional<uint64_t> n = v ? v->unsignedNumber() : std::nullopt;
        if (v && (!n || *n > max))
            Fail(where + "\"" + key + "\" is not a count");
        return n.value_or(0);
    }
    uint32_t Ms(const JsonValue& o, const char* key, const std::string& where)
    {
        const JsonValue* v = Member(o, key, where, JsonValue::Kind::Number);
        const std::optional<double> s = v ? v->number() : std::nullopt;
        if (v && (!s || *s < 0 || *s > 4294967.0))
            Fail(where + "\"" + key + "\" is not a time");
        return s ? uint32_t(*s * 1000.0 + 0.5) : 0;
    }
    std::vector<int> Channels(const JsonValue& o, const char* key, const std::string& where)
    {
        std::vector<int> out;
        if (const JsonValue* a = Member(o, key, where, JsonValue::Kind::Array))
            for (const JsonValue& c : a->items()) {
                const std::optional<uint64_t> n = c.unsignedNumber();
                if (!n || *n < 1 || *n > 4)
                    Fail(where + "\"" + key + "\" holds no channel number");
                out.push_back(int(n.value_or(0)));
            }
        return out;
    }
    void Fail(const std::string& why)
    {
        if (error_.empty())
            error_ = why;
    }

private:
    static std::string KindName(JsonValue::Kind k)
    {
        switch (k) {
        case JsonValue::Kind::String: return "a text";
        case JsonValue::Kind::Number: return "a number";
        case JsonValue::Kind::Array: return "a list";
        case JsonValue::Kind::Object: return "an object";
        default: return "a value";
        }
    }
    std::string& error_;
};

} // namespace

std::string ManifestJson(const ExportManifest& m)
{
    JsonValue source = JsonValue::Object();
    source.Set("path", JsonValue::String(m.sourcePath));
    source.Set("size", JsonValue::Number(m.sourceSize));
    source.Set("sha256", JsonValue::String(m.sourceSha256));
    source.Set("file_id", JsonValue::String(m.fileId));
    source.Set("creation_date", Text(m.creationDate));
    source.Set("start_time", Text(m.startTime));
    JsonValue range = JsonValue::Object();
    range.Set("from", Seconds(m.fromMs));
    range.Set("to", Seconds(m.toMs));
    range.Set("from_time", Text(m.fromTime));
    range.Set("to_time", Text(m.toTime));
    JsonValue outputs = JsonValue::Array();
    for (const ManifestOutput& o : m.outputs) {
        JsonValue out = JsonValue::Object();
        out.Set("name", JsonValue::String(o.name));
        out.Set("size", JsonValue::Number(o.size));
        out.Set("sha256", JsonValue::String(o.sha256));
        out.Set("audio", JsonValue::Bool(o.audio));
        out.Set("video", JsonValue::String(o.burnIn ? "burn-in" : "copy"));
        if (o.burnIn)
            out.Set("video_codec", JsonValue::String(o.videoCodec));
        JsonValue tracks = JsonValue::Array();
        for (const ManifestTrack& t : o.tracks) {
            JsonValue track = JsonValue::Object();
            track.Set("channel", JsonValue::Number(uint64_t(t.channel)));
            track.Set("frames", JsonValue::Number(t.frames));
            track.Set("first", Seconds(t.firstMs));
            track.Set("last", Seconds(t.lastMs));
            tracks.Push(std::move(track));
        }
        out.Set("tracks", std::move(tracks));
        outputs.Push(std::move(out));
    }
    JsonValue bookmarks = JsonValue::Array();
    for (const ManifestBookmark& b : m.bookmarks) {
        JsonValue mark = JsonValue::Object();
        mark.Set("offset", Seconds(b.offsetMs));
        mark.Set("time", Text(b.time));
        mark.Set("channels", Channels(b.channels));
        mark.Set("note", JsonValue::String(b.note));
        bookmarks.Push(std::move(mark));
    }
    JsonValue by = JsonValue::Object();
    by.Set("account", JsonValue::String(m.account));
    by.Set("host", JsonValue::String(m.host));
    JsonValue signer = JsonValue::Object();
    signer.Set("public_key", JsonValue::String(m.signerKey));
    signer.Set("fingerprint", JsonValue::String(m.signerFingerprint));

    // One member a line keeps the file readable and its bytes fixed.
    const std::pair<const char*, JsonValue> members[] = {
        {"manifest_version", JsonValue::Number(uint64_t(m.version))},
        {"tool", JsonValue::String(m.tool)},
        {"tool_version", JsonValue::String(m.toolVersion)},
        {"source", std::move(source)},
        {"range", std::move(range)},
        {"cameras", Channels(m.cameras)},
        {"outputs", std::move(outputs)},
        {"bookmarks", std::move(bookmarks)},
        {"exported_by", std::move(by)},
        {"exported_at", JsonValue::String(m.exportedAt)},
        {"signer", std::move(signer)},
    };
    std::string text = "{\n";
    for (size_t i = 0; i < std::size(members); ++i)
        text += "  " + JsonQuote(members[i].first) + ": " + members[i].second.Write() +
                (i + 1 < std::size(members) ? ",\n" : "\n");
    return text + "}\n";
}

std::optional<ExportManifest> ParseManifest(std::string_view text, std::string& error)
{
    error.clear();
    std::string jsonError;
    const std::optional<JsonValue> root = ParseJson(text, jsonError);
    if (!root) {
        error = "not JSON: " + jsonError;
        return std::nullopt;
    }
    if (root->kind() != JsonValue::Kind::Object) {
        error = "not a manifest: no JSON object";
        return std::nullopt;
    }
    Reader r(error);
    ExportManifest m;
    m.version = int(r.Count(*root, "manifest_version", "", 1000));
    if (r.ok() && m.version != kManifestVersion)
        r.Fail("a manifest of version " + std::to_string(m.version) + ", this program reads version " +
               std::to_string(kManifestVersion));
    m.tool = r.String(*root, "tool", "", false);
    m.toolVersion = r.String(*root, "tool_version", "", false);
    if (const JsonValue* s = r.Member(*root, "source", "", JsonValue::Kind::Object)) {
        m.sourcePath = r.String(*s, "path", "\"source\".", false);
        m.sourceSize = r.Count(*s, "size", "\"source\".");
        m.sourceSha256 = r.String(*s, "sha256", "\"source\".", false);
        m.fileId = r.String(*s, "file_id", "\"source\".", false);
        m.creationDate = r.String(*s, "creation_date", "\"source\".");
        m.startTime = r.String(*s, "start_time", "\"source\".");
    }
    if (const JsonValue* g = r.Member(*root, "range", "", JsonValue::Kind::Object)) {
        m.fromMs = r.Ms(*g, "from", "\"range\".");
        m.toMs = r.Ms(*g, "to", "\"range\".");
        m.fromTime = r.String(*g, "from_time", "\"range\".");
        m.toTime = r.String(*g, "to_time", "\"range\".");
    }
    m.cameras = r.Channels(*root, "cameras", "");
    if (const JsonValue* outs = r.Member(*root, "outputs", "", JsonValue::Kind::Array)) {
        for (size_t i = 0; i < outs->items().size(); ++i) {
            const JsonValue& o = outs->items()[i];
            const std::string where = "\"outputs\"[" + std::to_string(i) + "].";
            if (o.kind() != JsonValue::Kind::Object) {
                r.Fail(where.substr(0, where.size() - 1) + " is not an object");
                break;
            }
            ManifestOutput out;
            out.name = r.String(o, "name", where, false);
            if (r.ok() &&
                (out.name.empty() || out.name.find('/') != std::string::npos || out.name == "." || out.name == ".."))
                r.Fail(where + "\"name\" is not a file name beside the manifest");
            out.size = r.Count(o, "size", where);
            out.sha256 = r.String(o, "sha256", where, false);
            if (const JsonValue* a = r.Member(o, "audio", where, JsonValue::Kind::Bool))
                out.audio = a->boolean();
            // Manifests before burn-in existed name no "video": theirs was copied.
            if (o.Find("video")) {
                const std::string video = r.String(o, "video", where, false);
                out.burnIn = video == "burn-in";
                if (r.ok() && !out.burnIn && video != "copy")
                    r.Fail(where + "\"video\" is neither \"copy\" nor \"burn-in\"");
                if (out.burnIn)
                    out.videoCodec = r.String(o, "video_codec", where, false);
            }
            if (const JsonValue* tracks = r.Member(o, "tracks", where, JsonValue::Kind::Array)) {
                for (const JsonValue& t : tracks->items()) {
                    if (t.kind() != JsonValue::Kind::Object) {
                        r.Fail(where + "\"tracks\" holds no track");
                        break;
                    }
                    ManifestTrack track;
                    track.channel = int(r.Count(t, "channel", where + "track.", 4));
                    track.frames = r.Count(t, "frames", where + "track.");
                    track.firstMs = r.Ms(t, "first", where + "track.");
                    track.lastMs = r.Ms(t, "last", where + "track.");
                    out.tracks.push_back(track);
                }
            }
            m.outputs.push_back(std::move(out));
        }
    }
    if (const JsonValue* marks = r.Member(*root, "bookmarks", "", JsonValue::Kind::Array)) {
        for (const JsonValue& b : marks->items()) {
            if (b.kind() != JsonValue::Kind::Object) {
                r.Fail("\"bookmarks\" holds no bookmark");
                break;
            }
            ManifestBookmark mark;
            mark.offsetMs = r.Ms(b, "offset", "bookmark.");
            mark.time = r.String(b, "time", "bookmark.");
            mark.channels = r.Channels(b, "channels", "bookmark.");
            mark.note = r.String(b, "note", "bookmark.", false);
            m.bookmarks.push_back(std::move(mark));
        }
    }
    if (const JsonValue* by = r.Member(*root, "exported_by", "", JsonValue::Kind::Object)) {
        m.account = r.String(*by, "account", "\"exported_by\".", false);
        m.host = r.String(*by, "host", "\"exported_by\".", false);
    }
    m.exportedAt = r.String(*root, "exported_at", "", false);
    if (const JsonValue* s = r.Member(*root, "signer", "", JsonValue::Kind::Object)) {
        m.signerKey = r.String(*s, "public_key", "\"signer\".", false);
        m.signerFingerprint = r.String(*s, "fingerprint", "\"signer\".", false);
    }
    if (!r.ok())
        return std::nullopt;
    return m;
}

} // namespace vedra
