// SPDX-License-Identifier: GPL-2.0-or-later
#include "SocketPump.h"

namespace kelvo::gui {

SocketPump::SocketPump(snmp::SnmpComponent& component, GuiWaitHook& wait, QObject* parent)
    : QObject(parent),
      component_(component),
      notifier_(static_cast<qintptr>(component.Descriptor()), QSocketNotifier::Read) {
  connect(&notifier_, &QSocketNotifier::activated, this, &SocketPump::Deliver);
  connect(&wait, &GuiWaitHook::WaitStarted, this, &SocketPump::Hold);
  connect(&wait, &GuiWaitHook::WaitFinished, this, &SocketPump::Release);
}

void SocketPump::Hold() {
  if (held_++ == 0) notifier_.setEnabled(false);
}

void SocketPump::Release() {
  if (held_ > 0 && --held_ == 0) notifier_.setEnabled(true);
}

void SocketPump::Deliver() {
  // A notification may open a message box; its event loop must not deliver again meanwhile.
  Hold();
  component_.ProcessIncoming();
  Release();
}

}  // namespace kelvo::gui
