// SPDX-License-Identifier: GPL-2.0-or-later
// The wait cursor over every window while a request blocks the user-interface thread. Its
// depth also tells the timers that a request is running. GUI thread only.
#pragma once

#include <QObject>

#include "ui/Prompter.h"

namespace kelvo::gui {

class BusyCursor final : public QObject, public ui::BusyIndicator {
  Q_OBJECT

 public:
  void BeginBusy() override;
  void EndBusy() override;
  int Depth() const { return depth_; }

 Q_SIGNALS:
  // The outermost busy scope has ended.
  void Idle();

 private:
  int depth_ = 0;
};

}  // namespace kelvo::gui
