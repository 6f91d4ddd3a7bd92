// SPDX-License-Identifier: GPL-2.0-or-later
// The "Authorized Password" prompt: the typed password becomes the write community of every
// later SetRequest. The password is not checked here; a wrong one shows when a write is
// refused.
#pragma once

#include "snmp/AgentSession.h"
#include "ui/Controls.h"

namespace kelvo::pages {

class PasswordPrompt {
 public:
  static constexpr std::size_t kPasswordLimit = 15;

  explicit PasswordPrompt(snmp::AgentSession& session);

  // A fresh prompt: an empty field with the focus.
  void Open();
  bool IsOpen() const { return open_; }
  ui::TextField& Password() { return password_; }

  // OK or Enter: authorised, and the text as typed (empty allowed) is the write community.
  // A text longer than the field allows is refused with the standard prompt and the prompt
  // stays open. Returns whether it closed.
  bool Ok();
  // Escape: closes and changes nothing.
  void Escape();
  // The close box: closes, not authorised.
  void CloseBox();

 private:
  snmp::AgentSession& session_;
  ui::TextField password_{kPasswordLimit};
  bool open_ = false;
};

}  // namespace kelvo::pages
