// SPDX-License-Identifier: GPL-2.0-or-later
#include "BusyCursor.h"

#include <QApplication>
#include <QCursor>

namespace kelvo::gui {

void BusyCursor::BeginBusy() {
  if (depth_++ == 0) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void BusyCursor::EndBusy() {
  if (depth_ == 0) return;
  if (--depth_ == 0) {
    QApplication::restoreOverrideCursor();
    Q_EMIT Idle();
  }
}

}  // namespace kelvo::gui
