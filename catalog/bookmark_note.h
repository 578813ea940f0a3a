// A bookmark's note shown safely: notes hold any bytes (line breaks, control
// characters, right-to-left marks), and a note must never rearrange or break
// the line it is shown on, in a terminal or in the window.
#pragma once

#include <string>

namespace vedra {

// The characters that turn the direction of the text after them written as
// \uXXXX (which JSON reads back as the same characters).
std::string EscapeDirectionMarks(std::string text);

// The note on one line: line breaks, controls and invalid bytes as \xHH,
// direction marks as \uXXXX, everything else as it is.
std::string BookmarkNoteLine(const std::string& note);

} // namespace vedra
