#include "krv/krv_recording_name.h"

namespace {

bool EndsWithNoCase(std::string_view name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    for (size_t i = 0; i < suffix.size(); ++i) {
        const char c = tail[i];
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != suffix[i])
            return false;
    }
    return true;
}

} // namespace

bool krv_is_recording_name(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    constexpr size_t kSuffix = 4; // ".krv", ".asf"
    return name.size() > kSuffix && (EndsWithNoCase(name, ".krv") || EndsWithNoCase(name, ".asf"));
}
