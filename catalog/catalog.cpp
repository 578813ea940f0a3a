#include "catalog/catalog.h"

#include <bit>
#include <cstring>
#include <ctime>

namespace vedra {

namespace {

// A statement failed; the code tells damage from other trouble.
struct SqlError {
    int code = SQLITE_ERROR;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        sqlite3_stmt* raw = nullptr;
        const int code = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
        s_.reset(raw);
        if (code != SQLITE_OK)
            throw SqlError{code};
    }
    Statement& bind(int i, int64_t v)
    {
        check(sqlite3_bind_int64(s_.get(), i, v));
        return *this;
    }
    Statement& bind(int i, double v)
    {
        check(sqlite3_bind_double(s_.get(), i, v));
        return *this;
    }
    Statement& bindText(int i, const std::string& v)
    {
        check(sqlite3_bind_text(s_.get(), i, v.data(), int(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bindBlob(int i, const void* data, size_t size)
    {
        check(sqlite3_bind_blob64(s_.get(), i, size ? data : "", size, SQLITE_TRANSIENT));
        return *this;
    }
    // True while there is a row.
    bool step()
    {
        const int code = sqlite3_step(s_.get());
        if (code == SQLITE_ROW)
            return true;
        if (code == SQLITE_DONE)
            return false;
        throw SqlError{code};
    }
    int64_t integer(int i) const { return sqlite3_column_int64(s_.get(), i); }
    double real(int i) const { return sqlite3_column_double(s_.get(), i); }
    std::string text(int i) const
    {
        const void* p = sqlite3_column_blob(s_.get(), i);
        return p ? std::string(static_cast<const char*>(p), size_t(sqlite3_column_bytes(s_.get(), i))) : std::string();
    }

private:
    static void check(int code)
    {
        if (code != SQLITE_OK)
            throw SqlError{code};
    }
    StatementPtr s_;
};

void exec(sqlite3* db, const char* sql)
{
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        throw SqlError{code};
}

void putU32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char(uint8_t(v >> (8 * i))));
}

uint32_t getU32(const std::string& in, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(uint8_t(in[at + size_t(i)])) << (8 * i);
    return v;
}

std::string frameBlob(const std::vector<KrvFrameEntry>& frames)
{
    std::string out;
    out.reserve(frames.size() * 8);
    for (const KrvFrameEntry& f : frames) {
        putU32(out, f.timeMs);
        putU32(out, (f.size & 0x7FFFFFFFu) | (f.key ? 0x80000000u : 0));
    }
    return out;
}

std::vector<KrvFrameEntry> framesOf(const std::string& blob)
{
    std::vector<KrvFrameEntry> frames(blob.size() / 8);
    for (size_t i = 0; i < frames.size(); ++i) {
        const uint32_t size = getU32(blob, i * 8 + 4);
        frames[i] = {getU32(blob, i * 8), size & 0x7FFFFFFFu, (size & 0x80000000u) != 0};
    }
    return frames;
}

std::string scoreBlob(const std::vector<float>& scores)
{
    std::string out;
    out.reserve(scores.size() * 4);
    for (float s : scores)
        putU32(out, std::bit_cast<uint32_t>(s));
    return out;
}

std::vector<float> scoresOf(const std::string& blob)
{
    std::vector<float> scores(blob.size() / 4);
    for (size_t i = 0; i < scores.size(); ++i)
        scores[i] = std::bit_cast<float>(getU32(blob, i * 4));
    return scores;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

} // namespace

Catalog::Catalog(const std::filesystem::path& path, CatalogWarning warn)
    : warn_(std::move(warn)), database_(OpenCatalogDatabase(path, warn_))
{}

template <typename Body>
auto Catalog::WithRecovery(Body body) -> decltype(body())
{
    for (int attempt = 0;; ++attempt) {
        try {
            return body();
        } catch (const SqlError& e) {
            sqlite3_exec(database_.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            if (IsDamageCode(e.code) && attempt == 0) {
                database_ = ReplaceDamagedCatalog(std::move(database_), warn_);
                continue;
            }
            if (attempt == 0)
                warn_(std::string("the catalog could not be used: ") + sqlite3_errstr(e.code));
            return decltype(body())();
        }
    }
}

std::optional<CatalogEntry> Catalog::Find(const CatalogKey& key, bool withFrames)
{
    return WithRecovery([&]() -> std::optional<CatalogEntry> {
        sqlite3* db = database_.db.get();
        if (!db)
            return std::nullopt;
        Statement r(db, "SELECT id, size, modified_ns, file_id, creation_date, has_media, origin_ms, last_ms, "
                        "cut_short, packets_announced, packets_read, damaged_packets, missing_packets, audio, "
                        "audio_first_ms, audio_end_ms FROM recordings WHERE path = ?1");
        r.bindBlob(1, key.path.data(), key.path.size());
        if (!r.step())
            return std::nullopt;
        if (uint64_t(r.integer(1)) != key.size || r.integer(2) != key.modifiedNs || r.text(3) != key.fileId)
            return std::nullopt;
        const int64_t id = r.integer(0);
        CatalogEntry e;
        e.key = key;
        e.creationDate = uint64_t(r.integer(4));
        e.hasMedia = r.integer(5) != 0;
        e.originMs = uint32_t(r.integer(6));
        e.lastMs = uint32_t(r.integer(7));
        e.cutShort = r.integer(8) != 0;
        e.packetsAnnounced = uint64_t(r.integer(9));
        e.packetsRead = uint64_t(r.integer(10));
        e.damagedPackets = uint64_t(r.integer(11));
        e.missingPackets = uint64_t(r.integer(12));
        e.audio = r.integer(13) != 0;
        e.audioFirstMs = uint32_t(r.integer(14));
        e.audioEndMs = uint32_t(r.integer(15));

        Statement c(db, withFrames ? "SELECT channel, frames, key_frames, first_ms, last_ms, active_seconds, "
                                     "still_level, spread, second_scores, frame_index FROM channels "
                                     "WHERE recording_id = ?1 ORDER BY channel"
                                   : "SELECT channel, frames, key_frames, first_ms, last_ms, active_seconds, "
                                     "still_level, spread, second_scores FROM channels "
                                     "WHERE recording_id = ?1 ORDER BY channel");
        c.bind(1, id);
        while (c.step()) {
            CatalogChannel ch;
            ch.channel = int(c.integer(0));
            ch.frames = uint64_t(c.integer(1));
            ch.keyFrames = uint64_t(c.integer(2));
            ch.firstMs = uint32_t(c.integer(3));
            ch.lastMs = uint32_t(c.integer(4));
            ch.activeSeconds = uint32_t(c.integer(5));
            ch.stillLevel = c.real(6);
            ch.spread = c.real(7);
            ch.secondScores = scoresOf(c.text(8));
            if (withFrames)
                ch.frameIndex = framesOf(c.text(9));
            e.channels.push_back(std::move(ch));
        }
        Statement a(db, "SELECT channel, start_ms, end_ms, score FROM activity WHERE recording_id = ?1 "
                        "ORDER BY start_ms, channel");
        a.bind(1, id);
        while (a.step())
            e.spans.push_back({int(a.integer(0)), uint32_t(a.integer(1)), uint32_t(a.integer(2)), a.real(3)});
        return e;
    });
}

bool Catalog::Store(const CatalogEntry& e)
{
    return WithRecovery([&]() -> bool {
        sqlite3* db = database_.db.get();
        if (!db)
            return false;
        exec(db, "BEGIN IMMEDIATE");
        Statement d(db, "DELETE FROM recordings WHERE path = ?1");
        d.bindBlob(1, e.key.path.data(), e.key.path.size());
        d.step();
        const std::string folder = folderOf(e.key.path);
        Statement r(db, "INSERT INTO recordings (path, folder, size, modified_ns, file_id, creation_date, "
                        "has_media, origin_ms, last_ms, cut_short, packets_announced, packets_read, "
                        "damaged_packets, missing_packets, audio, audio_first_ms, audio_end_ms, indexed_at) "
                        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18)");
        r.bindBlob(1, e.key.path.data(), e.key.path.size()).bindBlob(2, folder.data(), folder.size());
        r.bind(3, int64_t(e.key.size)).bind(4, e.key.modifiedNs).bindText(5, e.key.fileId);
        r.bind(6, int64_t(e.creationDate)).bind(7, int64_t(e.hasMedia)).bind(8, int64_t(e.originMs));
        r.bind(9, int64_t(e.lastMs)).bind(10, int64_t(e.cutShort)).bind(11, int64_t(e.packetsAnnounced));
        r.bind(12, int64_t(e.packetsRead)).bind(13, int64_t(e.damagedPackets)).bind(14, int64_t(e.missingPackets));
        r.bind(15, int64_t(e.audio)).bind(16, int64_t(e.audioFirstMs)).bind(17, int64_t(e.audioEndMs));
        r.bind(18, int64_t(std::time(nullptr)));
        r.step();
        const int64_t id = sqlite3_last_insert_rowid(db);
        for (const CatalogChannel& ch : e.channels) {
            Statement c(db, "INSERT INTO channels (recording_id, channel, frames, key_frames, first_ms, last_ms, "
                            "active_seconds, still_level, spread, frame_index, second_scores) "
                            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
            const std::string frames = frameBlob(ch.frameIndex), scores = scoreBlob(ch.secondScores);
            c.bind(1, id).bind(2, int64_t(ch.channel)).bind(3, int64_t(ch.frames)).bind(4, int64_t(ch.keyFrames));
            c.bind(5, int64_t(ch.firstMs)).bind(6, int64_t(ch.lastMs)).bind(7, int64_t(ch.activeSeconds));
            c.bind(8, ch.stillLevel).bind(9, ch.spread);
            c.bindBlob(10, frames.data(), frames.size()).bindBlob(11, scores.data(), scores.size());
            c.step();
        }
        for (const KrvActivitySpan& s : e.spans) {
            Statement a(db, "INSERT INTO activity (recording_id, channel, start_ms, end_ms, score) "
                            "VALUES (?1, ?2, ?3, ?4, ?5)");
            a.bind(1, id).bind(2, int64_t(s.channel)).bind(3, int64_t(s.startMs)).bind(4, int64_t(s.endMs));
            a.bind(5, s.score);
            a.step();
        }
        exec(db, "COMMIT");
        return true;
    });
}

int Catalog::DropVanished(const std::string& folder, const std::set<std::string>& present)
{
    return WithRecovery([&]() -> int {
        sqlite3* db = database_.db.get();
        if (!db)
            return 0;
        std::vector<std::string> gone;
        {
            Statement s(db, "SELECT path FROM recordings WHERE folder = ?1");
            s.bindBlob(1, folder.data(), folder.size());
            while (s.step())
                if (!present.count(s.text(0)))
                    gone.push_back(s.text(0));
        }
        if (gone.empty())
            return 0;
        exec(db, "BEGIN IMMEDIATE");
        for (const std::string& path : gone) {
            Statement d(db, "DELETE FROM recordings WHERE path = ?1");
            d.bindBlob(1, path.data(), path.size());
            d.step();
        }
        exec(db, "COMMIT");
        return int(gone.size());
    });
}

} // namespace vedra
