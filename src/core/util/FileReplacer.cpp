// SPDX-License-Identifier: GPL-2.0-or-later
#include "util/FileReplacer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace kelvo::util {
namespace {

constexpr int kNameAttempts = 16;

// Opens a new file beside path. The name starts with a dot and does not end in the profile
// extension, so a left-over never shows in the profile list.
int CreateBeside(const std::string& path, std::string& temporary) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  static std::atomic<unsigned> counter = 0;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temporary = directory;
    temporary.append(".").append(base).append(".tmp").append(std::to_string(::getpid()));
    temporary.append("-").append(std::to_string(++counter));
    // 0666 under the umask, as a newly created file would get.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

ssize_t FileReplacer::WriteSome(int fd, const char* data, std::size_t size) {
  return ::write(fd, data, size);
}

bool FileReplacer::Replace(const std::string& path, std::string_view bytes) {
  std::string temporary;
  const int fd = CreateBeside(path, temporary);
  if (fd < 0) return false;

  bool ok = true;
  // An existing profile keeps its permissions.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  }
  while (ok && !bytes.empty()) {
    const ssize_t wrote = WriteSome(fd, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      ok = false;
      break;
    }
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace kelvo::util
