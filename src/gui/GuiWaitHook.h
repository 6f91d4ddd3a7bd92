// SPDX-License-Identifier: GPL-2.0-or-later
// Waiting inside a blocking request without freezing the windows: a local event loop that
// paints and runs timers but takes no user input. Mouse and keyboard input that arrives while
// it waits is thrown away, not delivered afterwards, so a click made during a slow request
// does not act on a window the request has since changed. GUI thread only.
#pragma once

#include <QObject>
#include <chrono>

#include "snmp/WaitHook.h"

namespace kelvo::gui {

class GuiWaitHook final : public QObject, public snmp::WaitHook {
  Q_OBJECT

 public:
  bool WaitReadable(int fd, std::chrono::milliseconds timeout) override;
  // The same wait with nothing to watch: the full duration passes.
  void Pause(std::chrono::milliseconds duration);
  bool Waiting() const { return depth_ > 0; }

 Q_SIGNALS:
  // Around every wait, so that others who read the same socket stand aside.
  void WaitStarted();
  void WaitFinished();

 private:
  bool Wait(int fd, std::chrono::milliseconds timeout);
  int depth_ = 0;
};

}  // namespace kelvo::gui
