// SPDX-License-Identifier: GPL-2.0-or-later
// profile apply to many access points: each gets the window's own push (the profile loaded into
// its pages, then groups 2 and 4, the authorised table and group 5), read back afterwards and
// compared; a dry run only reads, and a canary goes first.
#include "ApplyCommand.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <thread>

#include "CliSupport.h"
#include "FleetSupport.h"
#include "fleet/DeviceFinder.h"
#include "mib/MibVariables.h"
#include "pages/ProfileStore.h"
#include "profiles/ProfileFile.h"
#include "util/Parse.h"

namespace kelvo::cli {
namespace {

using fleet::Configuration;
using fleet::Difference;
using fleet::HeadlessSheet;

constexpr std::chrono::milliseconds kDefaultRebootWait = std::chrono::minutes(2);

struct ApplySettings {
  std::string file;
  profiles::ProfileContents contents;
  std::uint16_t port = 161;
  FleetOptions fleet;
  bool dryRun = false;
  bool reset = false;
  std::size_t canary = 0;
  std::chrono::milliseconds rebootWait{};
};

struct ApplyOutcome {
  enum class Result { Written, DryRun, Failed, Skipped, NotRead };
  std::string address;
  Result result = Result::NotRead;
  std::string message;  // why it failed or was skipped
  std::vector<Difference> changes;
  // Verification: nullopt when it did not come to one.
  std::optional<bool> verified;
  std::string verifyNote;  // why it is not verified
  std::vector<Difference> mismatches;
  bool resetNeeded = false;
  bool restarted = false;
  std::string newAddress;  // where it answers after its restart
};

std::string ResultWord(const ApplyOutcome& outcome) {
  switch (outcome.result) {
    case ApplyOutcome::Result::Written:
      return "written";
    case ApplyOutcome::Result::DryRun:
      return "dry run";
    case ApplyOutcome::Result::Failed:
      return "failed";
    case ApplyOutcome::Result::Skipped:
      return "skipped";
    case ApplyOutcome::Result::NotRead:
      break;
  }
  return "not written";
}

std::string VerifiedWord(const ApplyOutcome& outcome) {
  if (!outcome.verified) return outcome.verifyNote.empty() ? "-" : outcome.verifyNote;
  if (*outcome.verified) return "yes";
  return "no: " + std::to_string(outcome.mismatches.size()) + " differ";
}

std::string AddressWord(const ApplyOutcome& outcome) {
  if (!outcome.resetNeeded) return "-";
  if (outcome.restarted) return outcome.newAddress.empty() ? "not found" : outcome.newAddress;
  if (outcome.result == ApplyOutcome::Result::Written) return "at the next reset";
  if (outcome.result == ApplyOutcome::Result::DryRun) return "needs a reset";
  return "-";
}

bool Succeeded(const ApplyOutcome& outcome) {
  if (outcome.result == ApplyOutcome::Result::DryRun) return true;
  return outcome.result == ApplyOutcome::Result::Written && outcome.verified.value_or(false);
}

// The write-only and secret values a push sends: nothing can read them back.
std::vector<std::string> Unverifiable() {
  std::vector<std::string> names;
  for (const mib::Group group :
       {mib::Group::IpConfig, mib::Group::Wireless, mib::Group::Security}) {
    for (const mib::Variable variable : mib::WriteGroup(group)) {
      const mib::VariableInfo& info = mib::Info(variable);
      // The pre-shared key goes out only when one is typed in, which a profile never does.
      if (variable == mib::Variable::PreSharedKey) continue;
      if (info.secret || info.access == mib::Access::WriteOnly) names.emplace_back(info.name);
    }
  }
  return names;
}

// What a failed step showed first, from message `from` on, in the summary's words.
std::string FirstMessage(const HeadlessSheet& sheet, std::size_t from) {
  const auto& messages = sheet.Log().Messages();
  return from < messages.size() ? ShortReason(messages[from]) : std::string();
}

class ApplyRun {
 public:
  ApplyRun(const ApplySettings& settings, FleetConsole& console, fleet::DeviceFinder* finder)
      : settings_(settings), console_(console), finder_(finder) {}

  void Apply(const std::string& host) { outcomes_.Put(host, ApplyOne(host)); }
  std::optional<ApplyOutcome> Find(const std::string& host) const { return outcomes_.Find(host); }

 private:
  ApplyOutcome ApplyOne(const std::string& host);
  void PushAndVerify(HeadlessSheet& sheet, const Configuration& before,
                     const Configuration& expected, ApplyOutcome& outcome);
  void Verify(const std::string& at, const Configuration& expected, ApplyOutcome& outcome);

  const ApplySettings& settings_;
  FleetConsole& console_;
  fleet::DeviceFinder* finder_;
  HostResults<ApplyOutcome> outcomes_;
};

ApplyOutcome ApplyRun::ApplyOne(const std::string& host) {
  ApplyOutcome outcome;
  outcome.address = host;
  HeadlessSheet sheet(console_.SinkFor(host));
  // A rehearsal reads without the table: fetching it takes SetRequests, and a read-only
  // session sends none.
  sheet.SetReadOnly(settings_.dryRun);
  const HostRead read = ReadHost(sheet, host, settings_.port,
                                 settings_.dryRun ? std::string() : settings_.fleet.community,
                                 !settings_.dryRun, console_);
  if (!read.configuration) {
    outcome.result = ApplyOutcome::Result::Failed;
    outcome.message = StatusWord(read);
    return outcome;
  }
  const Configuration before = *read.configuration;
  if (finder_ != nullptr) {
    if (const auto& mac = before.Value("macAddress")) finder_->Know(host, *mac);
  }
  // Loaded as the window's Load does, so that the pages hold exactly what the push sends.
  const std::size_t loading = sheet.Log().Count();
  if (!sheet.Sheet().Profiles().ReadProfile(settings_.file)) {
    outcome.result = ApplyOutcome::Result::Failed;
    outcome.message = FirstMessage(sheet, loading);
    return outcome;
  }
  const Configuration expected = fleet::Describe(sheet.Sheet());
  outcome.changes = fleet::Compare(before, expected);
  outcome.resetNeeded = sheet.Sheet().IpConfig().ResetNeeded();
  if (settings_.dryRun) {
    outcome.result = ApplyOutcome::Result::DryRun;
    return outcome;
  }
  PushAndVerify(sheet, before, expected, outcome);
  return outcome;
}

void ApplyRun::PushAndVerify(HeadlessSheet& sheet, const Configuration& before,
                             const Configuration& expected, ApplyOutcome& outcome) {
  const std::string& host = outcome.address;
  snmp::AgentSession& agent = sheet.Agent();
  const std::size_t pushing = sheet.Log().Count();
  agent.ClearUnbuiltVariables();
  const bool applied = sheet.Sheet().Profiles().ApplyProfile();
  if (!agent.UnbuiltVariables().empty()) {
    std::string names = "not written:";
    for (const std::string& oid : agent.UnbuiltVariables()) {
      const auto variable = mib::FindByOid(oid);
      names += ' ' + (variable ? std::string(mib::Info(*variable).name) : oid);
    }
    console_.Message(host, names);
    outcome.result = ApplyOutcome::Result::Failed;
    outcome.message = names;
    return;
  }
  if (!applied) {
    outcome.result = ApplyOutcome::Result::Failed;
    outcome.message = FirstMessage(sheet, pushing);
    if (outcome.message.empty()) {
      outcome.message = "the access point did not take the authorised MAC table";
      console_.Message(host, outcome.message);
    }
    return;
  }
  outcome.result = ApplyOutcome::Result::Written;
  if (!(outcome.resetNeeded && settings_.reset)) {
    Verify(host, expected, outcome);
    return;
  }
  // The new IP settings take effect only now; the device may answer elsewhere afterwards.
  const auto& mac = before.Value("macAddress");
  const std::size_t restarting = sheet.Log().Count();
  if (!sheet.Sheet().System().Reset() && FirstMessage(sheet, restarting) == "refused") {
    // Refused, not merely unanswered (a device may restart before it answers): it stays.
    Verify(host, expected, outcome);
    return;
  }
  outcome.restarted = true;
  std::this_thread::sleep_for(fleet::kRestartSettle);
  const auto deadline = std::chrono::steady_clock::now() + settings_.rebootWait;
  const auto found =
      mac ? finder_->Find(*mac, deadline, &InterruptGuard::Interrupted) : std::nullopt;
  if (!found) {
    outcome.verified.reset();
    outcome.verifyNote = InterruptGuard::Interrupted()
                             ? "not verified: interrupted while it restarted"
                             : "not verified: unreachable after the change";
    console_.Message(host, outcome.verifyNote);
    return;
  }
  outcome.newAddress = *found;
  if (*found != host) console_.Message(host, "answers at " + *found + " after the restart");
  Verify(*found, expected, outcome);
}

void ApplyRun::Verify(const std::string& at, const Configuration& expected, ApplyOutcome& outcome) {
  HeadlessSheet sheet(console_.SinkFor(at));
  const HostRead read =
      ReadHost(sheet, at, settings_.port, settings_.fleet.community, true, console_);
  if (!read.configuration) {
    outcome.verifyNote = "not verified: " + StatusWord(read);
    return;
  }
  outcome.mismatches = fleet::Compare(expected, *read.configuration);
  outcome.verified = outcome.mismatches.empty();
  for (const Difference& difference : outcome.mismatches) {
    console_.Message(at, "not as written: " + fleet::FormatDifference(difference));
  }
}

nlohmann::ordered_json DifferencesJson(const std::vector<Difference>& differences) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Difference& difference : differences) {
    nlohmann::ordered_json item;
    item["setting"] = difference.label;
    if (difference.station == 0) {
      item["before"] = difference.before;
      item["after"] = difference.after;
    } else {
      item["station"] = difference.station == '+' ? difference.after : difference.before;
      item["change"] = difference.station == '+' ? "added" : "removed";
    }
    list.push_back(std::move(item));
  }
  return list;
}

void PrintJson(const std::vector<ApplyOutcome>& outcomes,
               const std::vector<std::string>& unverifiable) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const ApplyOutcome& outcome : outcomes) {
    nlohmann::ordered_json object;
    object["address"] = outcome.address;
    object["result"] = ResultWord(outcome);
    if (!outcome.message.empty()) object["message"] = outcome.message;
    object["changes"] = DifferencesJson(outcome.changes);
    if (outcome.verified) {
      object["verified"] = *outcome.verified;
    } else {
      object["verified"] = nullptr;
    }
    if (!outcome.verifyNote.empty()) object["verifyNote"] = outcome.verifyNote;
    if (!outcome.mismatches.empty()) object["mismatches"] = DifferencesJson(outcome.mismatches);
    if (outcome.result == ApplyOutcome::Result::Written) object["notVerifiable"] = unverifiable;
    object["resetNeeded"] = outcome.resetNeeded;
    object["restarted"] = outcome.restarted;
    if (!outcome.newAddress.empty()) object["newAddress"] = outcome.newAddress;
    list.push_back(std::move(object));
  }
  std::cout << list.dump(2) << '\n';
}

void PrintSummary(const std::vector<ApplyOutcome>& outcomes,
                  const std::vector<std::string>& unverifiable, bool dryRun, bool tableInProfile) {
  if (dryRun) {
    for (const ApplyOutcome& outcome : outcomes) {
      if (outcome.result != ApplyOutcome::Result::DryRun) continue;
      std::cout << outcome.address << ": " << outcome.changes.size() << " to change\n";
      for (const Difference& difference : outcome.changes) {
        std::cout << "  " << fleet::FormatDifference(difference) << '\n';
      }
    }
    std::cout << "Nothing was written.";
    // Reading the table takes SetRequests, which a dry run does not send.
    if (tableInProfile) std::cout << " The authorised MAC table is not compared in a dry run.";
    std::cout << "\n\n";
  }
  std::vector<std::vector<std::string>> lines = {
      {"HOST", "RESULT", "CHANGES", "VERIFIED", "NEW ADDRESS"}};
  bool pending = false;
  bool written = false;
  for (const ApplyOutcome& outcome : outcomes) {
    std::string result = ResultWord(outcome);
    if (!outcome.message.empty()) result += ": " + outcome.message;
    lines.push_back({outcome.address, result,
                     outcome.result == ApplyOutcome::Result::Skipped
                         ? "-"
                         : std::to_string(outcome.changes.size()),
                     VerifiedWord(outcome), AddressWord(outcome)});
    pending = pending || (outcome.resetNeeded && !outcome.restarted &&
                          outcome.result == ApplyOutcome::Result::Written);
    written = written || outcome.result == ApplyOutcome::Result::Written;
  }
  PrintAligned(lines);
  if (pending) {
    std::cout
        << "The new IP settings take effect at each device's next reset (--reset sends one).\n";
  }
  if (written && !unverifiable.empty()) {
    std::cout << "Not verifiable (write-only or secret):";
    for (const std::string& name : unverifiable) std::cout << ' ' << name;
    std::cout << '\n';
  }
}

// A profile that fixes one address would give it to every access point.
std::optional<std::string> FixedAddress(const profiles::ProfileContents& contents) {
  const auto& address = contents.Value(profiles::Key::IpAddress);
  const auto& dhcp = contents.Value(profiles::Key::Dhcp);
  if (!address || (dhcp && *dhcp == "1")) return std::nullopt;
  return address;
}

}  // namespace

int RunFleetApply(std::uint16_t port, std::vector<std::string_view> args) {
  ApplySettings settings;
  settings.port = port;
  settings.rebootWait = kDefaultRebootWait;
  if (auto problem = TakeSeconds(args, "--reboot-wait", settings.rebootWait); !problem.empty()) {
    return Usage(problem);
  }
  if (const auto text = TakeOptionValue(args, "--canary")) {
    const auto value = util::ParseInteger<long>(*text, util::IntegerForm::Strict);
    if (!value || *value < 1) return Usage("--canary takes a number of access points");
    settings.canary = static_cast<std::size_t>(*value);
  }
  std::vector<std::string_view> flags;
  if (auto problem = TakeFleetOptions(
          std::move(args), true,
          {"--dry-run", "--reset", "--all", "--yes", "--allow-same-address", "--json"},
          settings.fleet, flags);
      !problem.empty() || !settings.fleet.format.empty()) {
    return Usage(problem.empty() ? "profile apply takes no --format; use --json" : problem);
  }
  const auto flag = [&flags](std::string_view name) {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
  };
  settings.dryRun = flag("--dry-run");
  settings.reset = flag("--reset");
  const bool all = flag("--all");
  std::vector<std::string>& operands = settings.fleet.operands;
  if (operands.empty()) return Usage("profile apply needs FILE HOST... or FILE --all");
  settings.file = operands.front();
  std::vector<std::string> hosts(operands.begin() + 1, operands.end());
  if (all == !hosts.empty()) return Usage("profile apply takes HOSTs or --all, not both");
  if (all && !flag("--yes") && !settings.dryRun && ::isatty(STDIN_FILENO) != 1) {
    std::cerr << "kelvo-cli: --all writes to every access point that answers; add --yes to "
                 "confirm when standard input is not a terminal\n";
    return kExitUsage;
  }
  // A file the store would refuse is refused before any access point is asked anything.
  const profiles::ReadResult file = profiles::ReadProfileFile(settings.file);
  if (file.status == profiles::ReadStatus::CannotOpen) {
    std::cerr << profiles::messages::kCannotOpen << '\n';
    return kExitAgent;
  }
  if (file.status == profiles::ReadStatus::NotProfile) {
    std::cerr << profiles::messages::kNotProfile << '\n';
    return kExitAgent;
  }
  settings.contents = file.contents;

  InterruptGuard guard;
  if (all) {
    const auto found = DiscoverEach(port, settings.fleet,
                                    [&hosts](const std::string& host) { hosts.push_back(host); });
    if (!found) return kExitAgent;
    std::sort(hosts.begin(), hosts.end(), AddressLess);
    if (hosts.empty()) {
      std::cerr << "kelvo-cli: no access point answered\n";
      return kExitAgent;
    }
  }
  if (const auto fixed = FixedAddress(settings.contents);
      fixed && hosts.size() > 1 && !settings.dryRun && !flag("--allow-same-address")) {
    std::cerr << "kelvo-cli: " << settings.file << " sets the fixed IP address " << *fixed
              << ": all " << hosts.size()
              << " access points would get it (--allow-same-address pushes it anyway)\n";
    return kExitUsage;
  }
  if (all && !flag("--yes") && !settings.dryRun &&
      !Confirm("Write " + settings.file + " to " + std::to_string(hosts.size()) +
               " access points?")) {
    std::cerr << "kelvo-cli: nothing was written\n";
    return kExitAgent;
  }

  FleetConsole console;
  std::optional<fleet::DeviceFinder> finder;
  if (settings.reset && !settings.dryRun) {
    finder.emplace(
        fleet::DeviceFinder::Settings{port, settings.fleet.targets, std::chrono::seconds(1)});
  }
  ApplyRun run(settings, console, finder ? &*finder : nullptr);
  const auto job = [&run](const std::string& host) { run.Apply(host); };
  std::vector<std::string> unanswered;
  std::vector<std::string> dropped;
  const std::size_t canary = settings.dryRun ? 0 : std::min(settings.canary, hosts.size());
  std::vector<std::string> first(hosts.begin(), hosts.begin() + static_cast<long>(canary));
  std::vector<std::string> rest(hosts.begin() + static_cast<long>(canary), hosts.end());
  bool canaryFailed = false;
  if (!first.empty()) {
    RunFleet(port, settings.fleet, first, console, job, unanswered, dropped);
    canaryFailed = !dropped.empty() ||
                   std::any_of(first.begin(), first.end(), [&run](const std::string& host) {
                     const auto outcome = run.Find(host);
                     return !outcome || !Succeeded(*outcome);
                   });
    if (canaryFailed) {
      console.Message("kelvo-cli", "the canary failed: the other " + std::to_string(rest.size()) +
                                       " access points are left as they are");
    }
  }
  std::vector<std::string> restDropped;
  if (!canaryFailed && !rest.empty() && !InterruptGuard::Interrupted()) {
    RunFleet(port, settings.fleet, rest, console, job, unanswered, restDropped);
  }

  std::vector<ApplyOutcome> outcomes;
  for (const std::string& host : hosts) {
    if (auto outcome = run.Find(host)) {
      outcomes.push_back(std::move(*outcome));
      continue;
    }
    ApplyOutcome left;
    left.address = host;
    left.result = ApplyOutcome::Result::Skipped;
    left.message = canaryFailed ? "the canary failed" : "interrupted";
    outcomes.push_back(std::move(left));
  }
  const std::vector<std::string> unverifiable = Unverifiable();
  if (flag("--json")) {
    PrintJson(outcomes, unverifiable);
  } else {
    PrintSummary(outcomes, unverifiable, settings.dryRun,
                 settings.contents.authorizedMacs.has_value());
  }
  const bool allOk = std::all_of(outcomes.begin(), outcomes.end(), Succeeded);
  return allOk ? kExitOk : kExitAgent;
}

}  // namespace kelvo::cli
