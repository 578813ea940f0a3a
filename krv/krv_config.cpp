#include "krv_config.h"

#include <cctype>
#include <fstream>
#include <string>
#include <system_error>

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// atoi without its overflow behaviour: saturates instead.
int parseInt(std::string_view s)
{
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    long long value = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > 0x80000000LL)
            value = 0x80000000LL;
    }
    if (negative)
        value = -value;
    if (value > 0x7FFFFFFFLL)
        value = 0x7FFFFFFFLL;
    return static_cast<int>(value);
}

} // namespace

int krv_ini_get_int(const std::filesystem::path& path, std::string_view section, std::string_view key, int fallback)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fallback;
    bool inSection = false;
    std::string line;
    while (std::getline(in, line)) {
        std::string_view l = trim(line);
        if (l.empty() || l.front() == ';' || l.front() == '#')
            continue;
        if (l.front() == '[') {
            size_t close = l.find(']');
            std::string_view name = l.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
            inSection = sameName(trim(name), section);
            continue;
        }
        if (!inSection)
            continue;
        size_t eq = l.find('=');
        if (eq == std::string_view::npos || !sameName(trim(l.substr(0, eq)), key))
            continue;
        return parseInt(trim(l.substr(eq + 1)));
    }
    return fallback;
}

std::filesystem::path krv_program_folder()
{
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path();
}

std::filesystem::path krv_config_path()
{
    return krv_program_folder() / "Config.INI";
}

bool krv_av_sync_enabled()
{
    return krv_ini_get_int(krv_config_path(), "SYS_SETTING", "iSupportAVSyncFunc", 0) == 1;
}
