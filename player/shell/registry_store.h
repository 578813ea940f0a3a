// Per-user typed key-value store standing in for HKEY_CURRENT_USER. One file,
// ConfigFolder()/registry.ini, in the layout of a .reg export:
//
//   [Software\Vedra Media Player]
//   "APPActive"=dword:00000001
//   "Note"="text"
//
// Values keep their type: a DWORD is "dword:" and eight hex digits; anything else (a string, or
// a type this store does not know) is kept verbatim and reads as "not a DWORD".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vedra {

inline constexpr const char* kRunStateKey = "Software\\Vedra Media Player";

class RegistryKey {
public:
    enum class Query { kDword, kMissing, kNotDword };

    // Opens subkey, creating the store and the key when missing. nullptr when the store's folder
    // cannot be created or its file exists but cannot be read.
    static std::unique_ptr<RegistryKey> Open(const std::string& subkey);

    Query QueryDword(const std::string& name, uint32_t* value) const;

    // Each write goes to disk at once (a temporary file of its own, then renamed over the store);
    // the store is 0600 and its folder 0700, whatever the umask.
    bool SetDword(const std::string& name, uint32_t value);
    bool SetString(const std::string& name, const std::string& text);

    // The store's file.
    static std::string StorePath();

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> values; // name, raw right-hand side
    };

    RegistryKey() = default;
    bool SetRaw(const std::string& name, const std::string& raw);
    bool Save() const;
    Section& Key();
    const Section* FindKey() const;

    std::string subkey_;
    std::vector<Section> sections_; // the whole file, so other keys survive a write
};

} // namespace vedra
