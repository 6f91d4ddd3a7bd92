// SPDX-License-Identifier: GPL-2.0-or-later
#include "ProfileCommands.h"

#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "CliSupport.h"
#include "mib/AgentValues.h"
#include "mib/MibVariables.h"
#include "pages/ConfigurationSheet.h"
#include "pages/Page.h"
#include "pages/ProfileStore.h"
#include "profiles/ProfileFile.h"
#include "ui/Timers.h"

namespace kelvo::cli {
namespace {

using pages::ConfigurationSheet;

// Timers for a run without an event loop. Nothing ticks: the only repeating timer is the
// Statistic page's poll, and these commands never show that page. A pause really waits, as the
// device expects before a radio restart.
class ConsoleTimers final : public ui::TimerService {
 public:
  std::unique_ptr<ui::Timer> CreateTimer(std::function<void()> /*onTick*/) override {
    return std::make_unique<IdleTimer>();
  }
  void Pause(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }

 private:
  class IdleTimer final : public ui::Timer {
   public:
    void Start(std::chrono::milliseconds /*interval*/) override { active_ = true; }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }

   private:
    bool active_ = false;
  };
};

// The objects a window run builds around the configuration sheet. Members end in reverse
// order, so the pages let go of the session before it ends.
struct SheetRun {
  Session session;
  mib::AgentValues values;
  ConsoleTimers timers;
  std::unique_ptr<pages::PageContext> context;
  std::unique_ptr<ConfigurationSheet> sheet;

  ConsolePrompter& Prompter() { return session.prompter; }
  pages::ProfileStore& Store() { return sheet->Profiles(); }
};

bool StartSheet(SheetRun& run, std::uint16_t port, std::string community) {
  if (!OpenSession(run.session, port)) return false;
  // The password prompt's part: the write community, also used to fetch the authorised table.
  run.session.agent->SetWriteCommunity(std::move(community));
  run.context = std::make_unique<pages::PageContext>(
      pages::PageContext{*run.session.agent, run.values, run.timers, {}});
  run.sheet = std::make_unique<ConfigurationSheet>(*run.context);
  return true;
}

// Reads the device into the pages as opening the sheet and visiting the tabs does (not the
// Statistic tab: a profile keeps none of its values). Any message means a read failed; the
// session has said which, and the pages would hold values that are not the device's.
bool ReadDevice(SheetRun& run, const std::string& host) {
  const int before = run.Prompter().Shown();
  const auto clean = [&run, before] { return run.Prompter().Shown() == before; };
  // A failed read ends the run: group 2 is not asked after group 1 went unanswered.
  run.sheet->Open(host, [&clean] { return !clean(); });
  for (const int tab : {ConfigurationSheet::kIpConfig, ConfigurationSheet::kWireless,
                        ConfigurationSheet::kSecurity}) {
    if (!clean()) return false;
    run.sheet->PressTab(tab);
  }
  if (!clean()) return false;
  // The table travels by SetRequest with the write community and fails without a word; a
  // profile that silently lost its authorised stations would do harm when pushed back.
  if (!run.sheet->Wireless().AuthorizedTableFetched()) {
    std::cerr << "kelvo-cli: the access point did not send its authorised MAC table (is the "
                 "community right?)\n";
    return false;
  }
  return true;
}

// The store's messages for a file it refuses; false when the file is refused.
bool ReportRefusedFile(profiles::ReadStatus status) {
  switch (status) {
    case profiles::ReadStatus::CannotOpen:
      std::cerr << profiles::messages::kCannotOpen << '\n';
      return false;
    case profiles::ReadStatus::NotProfile:
      std::cerr << profiles::messages::kNotProfile << '\n';
      return false;
    case profiles::ReadStatus::Ok:
      break;
  }
  return true;
}

// A key's text as show prints it: without its colon.
std::string_view ShownKey(std::string_view key) {
  if (key.ends_with(':')) key.remove_suffix(1);
  return key;
}

int Show(const std::vector<std::string_view>& args) {
  if (args.size() != 1) return Usage("profile show needs FILE");
  const profiles::ReadResult result = profiles::ReadProfileFile(std::string(args[0]));
  if (!ReportRefusedFile(result.status)) return kExitAgent;
  const profiles::ProfileContents& contents = result.contents;
  for (std::size_t i = 0; i < profiles::kKeyCount; ++i) {
    if (const auto& value = contents.values[i]) {
      std::cout << ShownKey(profiles::kKeyTexts[i]) << ": " << *value << '\n';
    }
  }
  if (contents.authorizedMacs) {
    std::cout << ShownKey(profiles::kMacListKey) << ": " << contents.authorizedMacs->size() << '\n';
    for (const std::string& mac : *contents.authorizedMacs) std::cout << mac << '\n';
  }
  return kExitOk;
}

int Save(std::uint16_t port, std::vector<std::string_view> args) {
  auto [community, problem] = TakeCommunity(args, "");
  if (!problem.empty()) return Usage(problem);
  if (args.size() != 2) return Usage("profile save needs HOST FILE");
  const std::string host(args[0]);
  const std::string file(args[1]);
  SheetRun run;
  if (!StartSheet(run, port, std::move(community)) || !ReadDevice(run, host)) return kExitAgent;
  const int before = run.Prompter().Shown();
  if (run.Store().WriteProfile(file)) return kExitOk;
  // A page that refused its values has said so; a file that could not be written has not.
  if (run.Prompter().Shown() == before) std::cerr << "kelvo-cli: cannot write " << file << '\n';
  return kExitAgent;
}

int Apply(std::uint16_t port, std::vector<std::string_view> args) {
  auto [community, problem] = TakeCommunity(args, "");
  if (!problem.empty()) return Usage(problem);
  if (args.size() != 2) return Usage("profile apply needs FILE HOST");
  const std::string file(args[0]);
  const std::string host(args[1]);
  // A file the store would refuse is refused before the device is asked anything, so that it
  // leaves no trace there (fetching the authorised table takes SetRequests).
  if (!ReportRefusedFile(profiles::ReadProfileFile(file).status)) return kExitAgent;
  SheetRun run;
  if (!StartSheet(run, port, std::move(community)) || !ReadDevice(run, host)) return kExitAgent;
  if (!run.Store().ReadProfile(file)) return kExitAgent;
  const int before = run.Prompter().Shown();
  snmp::AgentSession& agent = *run.session.agent;
  agent.ClearUnbuiltVariables();
  const bool applied = run.Store().ApplyProfile();
  // A value that could not be put into its request went out as nothing: the device keeps its
  // own, so the push is incomplete although the device accepted every request.
  if (!agent.UnbuiltVariables().empty()) {
    std::cerr << "kelvo-cli: not written:";
    for (const std::string& oid : agent.UnbuiltVariables()) {
      const auto variable = mib::FindByOid(oid);
      std::cerr << ' ' << (variable ? std::string(mib::Info(*variable).name) : oid);
    }
    std::cerr << '\n';
    return kExitAgent;
  }
  if (applied) return kExitOk;
  // A refused group has said so; the authorised table is stored without a word.
  if (run.Prompter().Shown() == before) {
    std::cerr << "kelvo-cli: the access point did not take the authorised MAC table\n";
  }
  return kExitAgent;
}

}  // namespace

int RunProfileCommand(std::uint16_t port, std::vector<std::string_view> args) {
  if (args.empty()) return Usage("profile needs show, save or apply");
  const std::string_view command = args.front();
  args.erase(args.begin());
  if (command == "show") return Show(args);
  if (command == "save") return Save(port, std::move(args));
  if (command == "apply") return Apply(port, std::move(args));
  return Usage("unknown profile command " + std::string(command));
}

}  // namespace kelvo::cli
