#include "app_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vedra {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  // XDG says relative values are invalid and must be ignored.
  if (value != nullptr && value[0] == '/') return value;
  return fallback;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr)
    return pw->pw_dir;
  return "/tmp";
}

}  // namespace

std::string ProgramFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path().string();
}

std::string WorkRoot() {
  return EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share") + "/" + kAppName;
}

std::string ConfigFolder() {
  return EnvOr("XDG_CONFIG_HOME", HomeFolder() + "/.config") + "/" + kAppName;
}

std::string RuntimeFolder() {
  return EnvOr("XDG_RUNTIME_DIR", "/tmp/vedra-" + std::to_string(getuid()));
}

std::string PicturesFolder() {
  return EnvOr("XDG_PICTURES_DIR", HomeFolder() + "/Pictures");
}

bool IsWritableFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec) && access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace vedra
