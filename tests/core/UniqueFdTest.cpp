// SPDX-License-Identifier: GPL-2.0-or-later
// The descriptor owner closes exactly what it owns, once, and keeps errno for its caller.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "util/UniqueFd.h"

namespace kelvo::util {
namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, OwnershipMovesAndEveryDescriptorIsClosedOnce) {
  const int first = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int second = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  {
    UniqueFd owner(first);
    UniqueFd moved(std::move(owner));
    EXPECT_FALSE(owner.Valid());
    EXPECT_EQ(moved.Get(), first);
    UniqueFd assigned(second);
    assigned = std::move(moved);  // closes second, takes first
    EXPECT_FALSE(IsOpen(second));
    EXPECT_TRUE(IsOpen(first));
    assigned.Reset(first);  // the same descriptor again: still open
    EXPECT_TRUE(IsOpen(first));
    errno = EAGAIN;
    assigned.Reset();
    EXPECT_EQ(errno, EAGAIN) << "an error path's errno survives the close";
    EXPECT_FALSE(IsOpen(first));
  }
  const int kept = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  {
    UniqueFd owner(kept);
    EXPECT_EQ(owner.Release(), kept);
  }
  EXPECT_TRUE(IsOpen(kept));
  ::close(kept);
}

}  // namespace
}  // namespace kelvo::util
