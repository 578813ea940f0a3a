// SHA-256 of files, for the checksums that go with exported footage.
#pragma once

#include <stop_token>
#include <string>

namespace vedra {

// Lower-case hex digest of the file's bytes. Empty when it cannot be read (or
// `stop` was requested), with `error` saying why.
std::string Sha256OfFile(const std::string& path, std::stop_token stop, std::string& error);

// The line `sha256sum` writes and `sha256sum -c` checks: digest, two spaces, name.
std::string Sha256Line(const std::string& digest, const std::string& name);

} // namespace vedra
