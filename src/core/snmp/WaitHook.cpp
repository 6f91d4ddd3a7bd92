// SPDX-License-Identifier: GPL-2.0-or-later
#include "snmp/WaitHook.h"

#include <poll.h>

#include <cerrno>

namespace kelvo::snmp {

bool PollWaitHook::WaitReadable(int fd, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

}  // namespace kelvo::snmp
