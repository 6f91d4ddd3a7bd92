// SPDX-License-Identifier: GPL-2.0-or-later
#include "ProfileCommands.h"

#include <iostream>
#include <string>

#include "ApplyCommand.h"
#include "CliSupport.h"
#include "fleet/HeadlessSheet.h"
#include "mib/MibVariables.h"
#include "pages/ConfigurationSheet.h"
#include "pages/Page.h"
#include "pages/ProfileStore.h"
#include "profiles/ProfileFile.h"

namespace kelvo::cli {
namespace {

// A headless sheet whose messages go to stderr as they are shown.
struct SheetRun {
  fleet::HeadlessSheet headless{[](std::string_view text) { std::cerr << text << '\n'; }};

  std::size_t Shown() const { return headless.Log().Count(); }
  pages::ProfileStore& Store() { return headless.Sheet().Profiles(); }
};

bool StartSheet(SheetRun& run, std::uint16_t port, std::string community) {
  if (run.headless.Start(port, std::move(community))) return true;
  std::cerr << "kelvo-cli: cannot set up the SNMP component\n";
  return false;
}

// Reads the device into the pages (not the Statistic tab: a profile keeps none of its
// values). A profile that silently lost its authorised stations would do harm when pushed
// back, so a missing table fails too.
bool ReadDevice(SheetRun& run, const std::string& host) {
  switch (run.headless.Read(host)) {
    case fleet::HeadlessSheet::ReadOutcome::Ok:
      return true;
    case fleet::HeadlessSheet::ReadOutcome::NoTable:
      std::cerr << "kelvo-cli: " << fleet::kNoTableText << '\n';
      return false;
    case fleet::HeadlessSheet::ReadOutcome::Failed:
      break;
  }
  return false;
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
  const std::size_t before = run.Shown();
  if (run.Store().WriteProfile(file)) return kExitOk;
  // A page that refused its values has said so; a file that could not be written has not.
  if (run.Shown() == before) std::cerr << "kelvo-cli: cannot write " << file << '\n';
  return kExitAgent;
}

// Anything but FILE HOST (and the community) is the push to many access points.
bool ForMany(const std::vector<std::string_view>& args) {
  std::size_t operands = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--community-file") {
      ++i;
    } else if (args[i].starts_with("--")) {
      return true;
    } else {
      ++operands;
    }
  }
  return operands > 2;
}

int Apply(std::uint16_t port, std::vector<std::string_view> args) {
  if (ForMany(args)) return RunFleetApply(port, std::move(args));
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
  const std::size_t before = run.Shown();
  snmp::AgentSession& agent = run.headless.Agent();
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
  if (run.Shown() == before) {
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
