#include "krv/krv_text.h"

#include <cstdint>
#include <cstdio>

size_t krv_utf8_length(std::string_view text, size_t at)
{
    const auto byte = [&](size_t i) { return at + i < text.size() ? uint8_t(text[at + i]) : uint8_t(0); };
    const auto tail = [&](size_t i) { return (byte(i) & 0xC0) == 0x80; };
    const uint8_t b = byte(0);
    if (at >= text.size())
        return 0;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return tail(1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        const uint8_t low = b == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        const uint8_t high = b == 0xED ? 0x9F : 0xBF; // no surrogates
        return byte(1) >= low && byte(1) <= high && tail(2) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        const uint8_t low = b == 0xF0 ? 0x90 : 0x80;
        const uint8_t high = b == 0xF4 ? 0x8F : 0xBF; // up to U+10FFFF
        return byte(1) >= low && byte(1) <= high && tail(2) && tail(3) ? 4 : 0;
    }
    return 0;
}

bool krv_is_control(std::string_view text, size_t at, size_t length)
{
    const uint8_t b = uint8_t(text[at]);
    if (length == 1)
        return b < 0x20 || b == 0x7F;
    // U+0080..U+009F: terminals take some of them (CSI) as commands too.
    return length == 2 && b == 0xC2 && uint8_t(text[at + 1]) < 0xA0;
}

std::string krv_printable(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = krv_utf8_length(text, at);
        if (length == 0 || krv_is_control(text, at, length)) {
            const size_t bad = length ? length : 1;
            for (size_t i = 0; i < bad; ++i) {
                char escape[5];
                std::snprintf(escape, sizeof escape, "\\x%02x", uint8_t(text[at + i]));
                shown += escape;
            }
            at += bad;
        } else {
            shown.append(text.substr(at, length));
            at += length;
        }
    }
    return shown;
}
