// SPDX-License-Identifier: GPL-2.0-or-later
// The configuration sheet of one access point without a window: its own session, socket,
// values record and pages, so that reads and writes go through exactly the sequences,
// time-outs and messages of the window. Each instance belongs to one thread; several may run
// at once, one per access point.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mib/AgentValues.h"
#include "pages/ConfigurationSheet.h"
#include "snmp/AgentSession.h"
#include "snmp/WaitHook.h"
#include "ui/Prompter.h"
#include "ui/Timers.h"

namespace kelvo::fleet {

// Keeps every message the core shows and passes it on to a sink, if any. Nobody is there to
// answer, so every question is answered No.
class MessageLog final : public ui::Prompter {
 public:
  using Sink = std::function<void(std::string_view text)>;
  explicit MessageLog(Sink sink = {}) : sink_(std::move(sink)) {}

  void ShowMessage(std::string_view text, std::string_view caption, ui::MessageIcon icon) override;
  ui::Answer AskYesNo(std::string_view text, std::string_view caption,
                      ui::MessageIcon icon) override;

  const std::vector<std::string>& Messages() const { return messages_; }
  std::size_t Count() const { return messages_.size(); }

 private:
  Sink sink_;
  std::vector<std::string> messages_;
};

// Timers for a run without an event loop. Nothing ticks: the only repeating timer is the
// Statistic page's poll, which a headless run never shows. A pause really waits, as the device
// expects before a radio restart.
class RunTimers final : public ui::TimerService {
 public:
  std::unique_ptr<ui::Timer> CreateTimer(std::function<void()> onTick) override;
  void Pause(std::chrono::milliseconds duration) override;
};

// Nothing to show: a headless run has no cursor.
class NoBusyIndicator final : public ui::BusyIndicator {
 public:
  void BeginBusy() override {}
  void EndBusy() override {}
};

class HeadlessSheet {
 public:
  explicit HeadlessSheet(MessageLog::Sink sink = {});
  ~HeadlessSheet();
  HeadlessSheet(const HeadlessSheet&) = delete;
  HeadlessSheet& operator=(const HeadlessSheet&) = delete;

  // Sets up the SNMP component talking to the agent port; false when it cannot be made. The
  // write community is the password prompt's part, also used to fetch the authorised table.
  [[nodiscard]] bool Start(std::uint16_t agentPort, std::string writeCommunity);

  // Before Start: the session sends no SetRequest (the authorised table is then not read).
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  enum class ReadOutcome {
    Ok,
    // A read failed; the session has said which, and the pages hold values that are not the
    // device's.
    Failed,
    // Everything was read but the authorised MAC table.
    NoTable,
  };
  // Reads the device into the pages as opening the sheet and visiting the IP, Wireless and
  // Security tabs does. A failed read ends the run: no later group is asked.
  ReadOutcome Read(const std::string& host);

  pages::ConfigurationSheet& Sheet() { return *sheet_; }
  snmp::AgentSession& Agent() { return *agent_; }
  mib::AgentValues& Values() { return values_; }
  const MessageLog& Log() const { return log_; }

 private:
  snmp::PollWaitHook wait_;
  MessageLog log_;
  NoBusyIndicator busy_;
  std::unique_ptr<snmp::AgentSession> agent_;
  mib::AgentValues values_;
  RunTimers timers_;
  std::unique_ptr<pages::PageContext> context_;
  std::unique_ptr<pages::ConfigurationSheet> sheet_;
  bool readOnly_ = false;
};

// The text of the read outcome's first message, or what stands for it: the table's refusal
// is silent in the session.
inline constexpr std::string_view kNoTableText =
    "the access point did not send its authorised MAC table (is the community right?)";

}  // namespace kelvo::fleet
