// SPDX-License-Identifier: GPL-2.0-or-later
// Window timers and short pauses, behind an interface so tests run them by hand.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace kelvo::ui {

// A repeating timer. Its ticks run on the user-interface thread, never during another tick
// and never in the middle of a request: a tick that falls due meanwhile runs after it.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void Start(std::chrono::milliseconds interval) = 0;
  virtual void Stop() = 0;
  virtual bool Active() const = 0;
};

class TimerService {
 public:
  virtual ~TimerService() = default;
  // A stopped timer that calls onTick at every tick once started.
  virtual std::unique_ptr<Timer> CreateTimer(std::function<void()> onTick) = 0;
  // Blocks the calling thread for the duration (the pause before a wireless restart).
  virtual void Pause(std::chrono::milliseconds duration) = 0;
};

}  // namespace kelvo::ui
