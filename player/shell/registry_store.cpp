#include "registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app_paths.h"

namespace vedra {
namespace {

constexpr const char* kDwordPrefix = "dword:";

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// Reads a quoted name at the start of line; returns the position after it, or npos.
size_t Unquote(const std::string& line, std::string* out)
{
    if (line.empty() || line[0] != '"')
        return std::string::npos;
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            *out += line[++i];
        } else if (line[i] == '"') {
            return i + 1;
        } else {
            *out += line[i];
        }
    }
    return std::string::npos;
}

bool ParseDword(const std::string& raw, uint32_t* value)
{
    const std::string prefix = kDwordPrefix;
    if (raw.size() != prefix.size() + 8 || raw.compare(0, prefix.size(), prefix) != 0)
        return false;
    uint32_t v = 0;
    for (size_t i = prefix.size(); i < raw.size(); ++i) {
        const char c = raw[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        v = (v << 4) | static_cast<uint32_t>(digit);
    }
    *value = v;
    return true;
}

} // namespace

std::string RegistryKey::StorePath()
{
    return ConfigFolder() + "/registry.ini";
}

std::unique_ptr<RegistryKey> RegistryKey::Open(const std::string& subkey)
{
    if (!krv_make_private_folder(ConfigFolder()))
        return nullptr;
    std::error_code ec;

    std::unique_ptr<RegistryKey> key(new RegistryKey);
    key->subkey_ = subkey;
    const std::string path = StorePath();
    if (std::filesystem::exists(path, ec)) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return nullptr;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
                key->sections_.push_back({line.substr(1, line.size() - 2), {}});
                continue;
            }
            std::string name;
            const size_t end = Unquote(line, &name);
            if (end == std::string::npos || end >= line.size() || line[end] != '=' || key->sections_.empty())
                continue; // comments, blank lines and stray text are not values
            key->sections_.back().values.emplace_back(name, line.substr(end + 1));
        }
        if (in.bad())
            return nullptr;
    }
    key->Key(); // the key exists from now on, as after RegCreateKeyEx
    return key;
}

const RegistryKey::Section* RegistryKey::FindKey() const
{
    for (const Section& s : sections_)
        if (s.name == subkey_)
            return &s;
    return nullptr;
}

RegistryKey::Section& RegistryKey::Key()
{
    for (Section& s : sections_)
        if (s.name == subkey_)
            return s;
    sections_.push_back({subkey_, {}});
    return sections_.back();
}

RegistryKey::Query RegistryKey::QueryDword(const std::string& name, uint32_t* value) const
{
    const Section* key = FindKey();
    if (key == nullptr)
        return Query::kMissing;
    for (const auto& [n, raw] : key->values) {
        if (n != name)
            continue;
        uint32_t v;
        if (!ParseDword(raw, &v))
            return Query::kNotDword;
        if (value != nullptr)
            *value = v;
        return Query::kDword;
    }
    return Query::kMissing;
}

bool RegistryKey::SetDword(const std::string& name, uint32_t value)
{
    char raw[32];
    std::snprintf(raw, sizeof raw, "%s%08x", kDwordPrefix, static_cast<unsigned>(value));
    return SetRaw(name, raw);
}

bool RegistryKey::SetString(const std::string& name, const std::string& text)
{
    return SetRaw(name, Quote(text));
}

bool RegistryKey::SetRaw(const std::string& name, const std::string& raw)
{
    Section& key = Key();
    bool found = false;
    for (auto& [n, r] : key.values) {
        if (n == name) {
            r = raw;
            found = true;
        }
    }
    if (!found)
        key.values.emplace_back(name, raw);
    return Save();
}

bool RegistryKey::Save() const
{
    std::ostringstream out;
    for (const Section& s : sections_) {
        out << '[' << s.name << "]\n";
        for (const auto& [name, raw] : s.values)
            out << Quote(name) << '=' << raw << '\n';
        out << '\n';
    }
    // A temporary file of this write's own (two players may write at once), private whatever
    // the umask, then renamed over the store.
    const std::string path = StorePath();
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::string text = out.str();
    bool ok = fchmod(fd, 0600) == 0;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    ok = close(fd) == 0 && ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        unlink(temp.c_str());
    return ok;
}

} // namespace vedra
