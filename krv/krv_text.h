// Text from outside (file names, which are bytes) shown where a byte out of
// place does harm: on a terminal, where control bytes are commands, and in
// JSON, which must be valid UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Length (1-4) of the valid UTF-8 sequence that begins at text[at], or 0 when
// the byte there begins none (a stray continuation byte, an overlong form, a
// surrogate, beyond U+10FFFF, or cut off).
size_t krv_utf8_length(std::string_view text, size_t at);

// True for the code point of a valid sequence of `length` bytes at text[at]
// that is a control character (C0, DEL or C1).
bool krv_is_control(std::string_view text, size_t at, size_t length);

// `text` safe for a terminal: control characters and bytes that are not valid
// UTF-8 written as \xHH, everything else as it is.
std::string krv_printable(std::string_view text);
