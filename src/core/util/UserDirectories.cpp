// SPDX-License-Identifier: GPL-2.0-or-later
#include "UserDirectories.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace kelvo::util {
namespace {

constexpr const char* kApplicationDirectory = "kelvo/";

std::string AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::string WithSeparator(std::string path) {
  if (!path.ends_with('/')) path += '/';
  return path;
}

// Every missing directory along the path, the new ones with the given mode.
bool MakePath(const std::string& path, mode_t mode) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && ::mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::string DefaultSettingsPath() {
  if (std::string data = AbsoluteVariable("XDG_DATA_HOME"); !data.empty()) {
    return WithSeparator(std::move(data)) + kApplicationDirectory;
  }
  if (std::string home = AbsoluteVariable("HOME"); !home.empty()) {
    return WithSeparator(std::move(home)) + ".local/share/" + kApplicationDirectory;
  }
  return {};
}

bool CreateSettingsDirectories(const std::string& settingsPath) {
  constexpr mode_t kPrivate = 0700;
  const std::string base = WithSeparator(settingsPath);
  return MakePath(base, kPrivate) && MakePath(base + "Profile", kPrivate) &&
         MakePath(base + "Firmware", kPrivate);
}

std::string PreparedDefaultSettingsPath() {
  std::string path = DefaultSettingsPath();
  if (!path.empty()) (void)CreateSettingsDirectories(path);
  return path;
}

}  // namespace kelvo::util
