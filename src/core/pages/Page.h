// SPDX-License-Identifier: GPL-2.0-or-later
// What every configuration page shares: the session, the values record, the host it manages
// and the read group it refreshes from.
#pragma once

#include <string>
#include <vector>

#include "mib/AgentValues.h"
#include "mib/MibVariables.h"
#include "snmp/AgentSession.h"
#include "ui/Controls.h"
#include "ui/Prompter.h"
#include "ui/Timers.h"

namespace kelvo::pages {

// The run-long services the pages work with; owned by the application.
struct PageContext {
  snmp::AgentSession& session;
  mib::AgentValues& values;
  ui::TimerService& timers;
  std::string settingsPath;  // with its trailing separator, or empty
};

// A page is the read and write group it stands for: ReadGroup and WriteGroup of the session
// call back into it for the extraction and the write builder. All calls come from the
// user-interface thread.
class Page : public snmp::AgentGroup {
 public:
  Page(PageContext& context, mib::Group group);
  ~Page() override;
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  mib::Group Group() const { return group_; }
  const std::string& Host() const { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }

  // The Refresh button: reads the page's group from the host.
  virtual void Refresh();
  // Run by the sheet after the read that follows a press on the page's tab.
  virtual void Activate() {}
  // Run whenever the page is shown or hidden.
  virtual void ShowChanged(bool /*visible*/) {}

  std::vector<std::string> ReadIdentifiers() const override;
  void BuildWrite(snmp::AgentSession& session) override;

 protected:
  snmp::AgentSession& Session() { return context_.session; }
  mib::AgentValues& Values() { return context_.values; }
  const mib::AgentValues& Values() const { return context_.values; }
  ui::Prompter& Prompter() { return context_.session.Prompter(); }
  PageContext& Context() { return context_; }
  // A message box with the application caption.
  void Show(std::string_view text, ui::MessageIcon icon);

 private:
  PageContext& context_;
  mib::Group group_;
  std::string host_;
};

}  // namespace kelvo::pages
