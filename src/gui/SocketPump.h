// SPDX-License-Identifier: GPL-2.0-or-later
// Delivers the replies that arrive outside a blocking request (discovery replies, socket
// errors) by calling the component's ProcessIncoming when its socket is readable. It stands
// aside while a blocking request waits, since that request reads the socket itself. GUI thread
// only.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include "GuiWaitHook.h"
#include "snmp/SnmpComponent.h"

namespace kelvo::gui {

class SocketPump final : public QObject {
  Q_OBJECT

 public:
  SocketPump(snmp::SnmpComponent& component, GuiWaitHook& wait, QObject* parent = nullptr);
  bool Active() const { return notifier_.isEnabled(); }

 private:
  void Deliver();
  void Hold();
  void Release();

  snmp::SnmpComponent& component_;
  QSocketNotifier notifier_;
  // Waits and deliveries in progress; the notifier is on only when there are none.
  int held_ = 0;
};

}  // namespace kelvo::gui
