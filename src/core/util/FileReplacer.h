// SPDX-License-Identifier: GPL-2.0-or-later
// Replaces a file's contents so that a failure never destroys what was there: the bytes go to
// a new file in the same directory, which is flushed to disk and only then renamed over the
// old one. Interrupted or failed, the old file stays as it was.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo::util {

class FileReplacer {
 public:
  virtual ~FileReplacer() = default;

  // Returns whether path now holds exactly bytes. On failure no file is left behind.
  bool Replace(const std::string& path, std::string_view bytes);

 protected:
  // One write(2) to the temporary file; tests fail it after some bytes.
  virtual ssize_t WriteSome(int fd, const char* data, std::size_t size);
};

}  // namespace kelvo::util
