// SPDX-License-Identifier: GPL-2.0-or-later
#include "fleet/HeadlessSheet.h"

#include <thread>

#include "snmp/SnmpComponent.h"

namespace kelvo::fleet {
namespace {

class IdleTimer final : public ui::Timer {
 public:
  void Start(std::chrono::milliseconds /*interval*/) override { active_ = true; }
  void Stop() override { active_ = false; }
  bool Active() const override { return active_; }

 private:
  bool active_ = false;
};

}  // namespace

void MessageLog::ShowMessage(std::string_view text, std::string_view /*caption*/,
                             ui::MessageIcon /*icon*/) {
  messages_.emplace_back(text);
  if (sink_) sink_(text);
}

ui::Answer MessageLog::AskYesNo(std::string_view text, std::string_view /*caption*/,
                                ui::MessageIcon /*icon*/) {
  std::string shown(text);
  shown += " (answered No)";
  if (sink_) sink_(shown);
  messages_.push_back(std::move(shown));
  return ui::Answer::No;
}

std::unique_ptr<ui::Timer> RunTimers::CreateTimer(std::function<void()> /*onTick*/) {
  return std::make_unique<IdleTimer>();
}

void RunTimers::Pause(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

HeadlessSheet::HeadlessSheet(MessageLog::Sink sink) : log_(std::move(sink)) {}

// The pages let go of the session before it ends.
HeadlessSheet::~HeadlessSheet() {
  sheet_.reset();
  context_.reset();
  agent_.reset();
}

bool HeadlessSheet::Start(std::uint16_t agentPort, std::string writeCommunity) {
  auto component = snmp::SnmpComponent::Create(wait_);
  if (!component) return false;
  agent_ = std::make_unique<snmp::AgentSession>(std::move(component), log_, busy_);
  agent_->SetAgentPort(agentPort);
  agent_->SetWriteCommunity(std::move(writeCommunity));
  agent_->SetReadOnly(readOnly_);
  context_ =
      std::make_unique<pages::PageContext>(pages::PageContext{*agent_, values_, timers_, {}});
  sheet_ = std::make_unique<pages::ConfigurationSheet>(*context_);
  return true;
}

HeadlessSheet::ReadOutcome HeadlessSheet::Read(const std::string& host) {
  const std::size_t before = log_.Count();
  const auto clean = [this, before] { return log_.Count() == before; };
  // Group 2 is not asked after group 1 went unanswered.
  sheet_->Open(host, [&clean] { return !clean(); });
  for (const int tab : {pages::ConfigurationSheet::kIpConfig, pages::ConfigurationSheet::kWireless,
                        pages::ConfigurationSheet::kSecurity}) {
    if (!clean()) return ReadOutcome::Failed;
    sheet_->PressTab(tab);
  }
  if (!clean()) return ReadOutcome::Failed;
  // The table travels by SetRequest with the write community and fails without a word.
  if (!sheet_->Wireless().AuthorizedTableFetched()) return ReadOutcome::NoTable;
  return ReadOutcome::Ok;
}

}  // namespace kelvo::fleet
