// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>

namespace kelvo::snmp {

// How a blocking request waits for its socket. Tools and tests poll; the window system keeps
// painting while it waits. Called on the thread that issued the request.
class WaitHook {
 public:
  virtual ~WaitHook() = default;
  // Returns when the descriptor is readable (true) or the time-out has passed (false).
  virtual bool WaitReadable(int fd, std::chrono::milliseconds timeout) = 0;
};

// Plain poll(2).
class PollWaitHook final : public WaitHook {
 public:
  bool WaitReadable(int fd, std::chrono::milliseconds timeout) override;
};

}  // namespace kelvo::snmp
