// SPDX-License-Identifier: GPL-2.0-or-later
// The one owner of a file descriptor: closes it when it goes out of scope or is replaced.
// Move-only; a moved-from owner holds nothing.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kelvo::util {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  [[nodiscard]] int Release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes fd. errno is kept, so that an error path
  // may let its descriptors go before the caller reads why it failed.
  void Reset(int fd = -1) {
    if (fd_ >= 0 && fd_ != fd) {
      const int error = errno;
      ::close(fd_);
      errno = error;
    }
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace kelvo::util
