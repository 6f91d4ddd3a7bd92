// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/PasswordPrompt.h"

namespace kelvo::pages {

PasswordPrompt::PasswordPrompt(snmp::AgentSession& session) : session_(session) {}

void PasswordPrompt::Open() {
  password_.SetText({});
  open_ = true;
}

bool PasswordPrompt::Ok() {
  const auto password = password_.Take(session_.Prompter());
  if (!password) return false;
  session_.SetAuthorised(true);
  session_.SetWriteCommunity(*password);
  open_ = false;
  return true;
}

void PasswordPrompt::Escape() { open_ = false; }

void PasswordPrompt::CloseBox() {
  session_.SetAuthorised(false);
  open_ = false;
}

}  // namespace kelvo::pages
