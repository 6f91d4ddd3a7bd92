// SPDX-License-Identifier: GPL-2.0-or-later
// Window timers on QTimer. A tick never runs inside another tick or inside a request (the
// wait of a request runs the event loop): one that falls due then is held and runs as soon as
// the request or tick has ended. GUI thread only.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "BusyCursor.h"
#include "GuiWaitHook.h"
#include "ui/Timers.h"

namespace kelvo::gui {

class QtTimers final : public ui::TimerService {
 public:
  QtTimers(BusyCursor& busy, GuiWaitHook& wait);
  ~QtTimers() override;
  QtTimers(const QtTimers&) = delete;
  QtTimers& operator=(const QtTimers&) = delete;

  std::unique_ptr<ui::Timer> CreateTimer(std::function<void()> onTick) override;
  // Waits the full duration with the windows painting and the wait cursor shown.
  void Pause(std::chrono::milliseconds duration) override;

  class QtTimer;

 private:
  friend class QtTimer;
  void Due(QtTimer& timer);
  void RunHeld();
  void Forget(QtTimer* timer);

  BusyCursor& busy_;
  GuiWaitHook& wait_;
  std::vector<QtTimer*> timers_;
  bool ticking_ = false;
};

}  // namespace kelvo::gui
