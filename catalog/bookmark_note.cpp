#include "catalog/bookmark_note.h"

#include <string_view>
#include <utility>

#include "krv/krv_text.h"

namespace vedra {
namespace {

constexpr std::pair<const char*, const char*> kDirectionMarks[] = {
    {"\u061C", "\\u061C"}, {"\u200E", "\\u200E"}, {"\u200F", "\\u200F"}, {"\u202A", "\\u202A"},
    {"\u202B", "\\u202B"}, {"\u202C", "\\u202C"}, {"\u202D", "\\u202D"}, {"\u202E", "\\u202E"},
    {"\u2066", "\\u2066"}, {"\u2067", "\\u2067"}, {"\u2068", "\\u2068"}, {"\u2069", "\\u2069"}};

} // namespace

std::string EscapeDirectionMarks(std::string text)
{
    for (const auto& [mark, code] : kDirectionMarks) {
        const std::string_view m = mark, c = code;
        for (size_t at = 0; (at = text.find(m, at)) != std::string::npos; at += c.size())
            text.replace(at, m.size(), c);
    }
    return text;
}

std::string BookmarkNoteLine(const std::string& note)
{
    return EscapeDirectionMarks(krv_printable(note));
}

} // namespace vedra
