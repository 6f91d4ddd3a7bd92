// SPDX-License-Identifier: GPL-2.0-or-later
// What the kelvo-cli commands share: exit codes, the usage text, the console prompter and the
// session set-up.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "snmp/AgentSession.h"
#include "snmp/WaitHook.h"
#include "ui/Prompter.h"

namespace kelvo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitAgent = 1;
inline constexpr int kExitUsage = 2;

extern const std::string_view kUsage;

// Prints the problem, if any, and the usage text to stderr; returns kExitUsage.
int Usage(std::string_view problem = {});

// Messages go to stderr; questions are answered No, as nobody is there to ask. Counts what it
// showed, so a command can tell whether the core reported a failure.
class ConsolePrompter final : public ui::Prompter {
 public:
  void ShowMessage(std::string_view text, std::string_view caption, ui::MessageIcon icon) override;
  ui::Answer AskYesNo(std::string_view text, std::string_view caption,
                      ui::MessageIcon icon) override;
  int Shown() const { return shown_; }

 private:
  int shown_ = 0;
};

class NoBusy final : public ui::BusyIndicator {
 public:
  void BeginBusy() override {}
  void EndBusy() override {}
};

struct Session {
  snmp::PollWaitHook wait;
  ConsolePrompter prompter;
  NoBusy busy;
  std::unique_ptr<snmp::AgentSession> agent;
};

// Creates the SNMP component and the session talking to the agent port; false (with a
// message) when the component cannot be set up. wait, when given, replaces the session's
// plain poll and must outlive it.
bool OpenSession(Session& session, std::uint16_t port, snmp::WaitHook* wait = nullptr);

// The community of a command (for writes, the administrator password). It never comes from the
// command line, which every user of the machine can read: "--community-file FILE" names a file
// whose first line it is ("-": standard input), else the environment's KELVO_COMMUNITY holds
// it, else it is `fallback`. `problem` is set, and `text` empty, when the file cannot be read or
// the old "--community C" is used.
struct Community {
  std::string text;
  std::string problem;
};
inline constexpr std::string_view kCommunityVariable = "KELVO_COMMUNITY";
Community TakeCommunity(std::vector<std::string_view>& args, std::string_view fallback);

}  // namespace kelvo::cli
