// SPDX-License-Identifier: GPL-2.0-or-later
// firmware --image FILE HOST... | --all: the window's upgrade sequence on many access points at
// once, with one TFTP server that lends the staged image to exactly those access points.
#include "FirmwareFleet.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <thread>

#include "CliSupport.h"
#include "FirmwareCommand.h"
#include "FleetSupport.h"
#include "firmware/FirmwareUpgrade.h"
#include "fleet/DeviceFinder.h"
#include "snmp/SnmpComponent.h"
#include "util/Parse.h"
#include "util/UserDirectories.h"

namespace kelvo::cli {
namespace {

using fleet::HeadlessSheet;

constexpr auto kBoardInterval = std::chrono::milliseconds(200);
constexpr std::chrono::milliseconds kDefaultRebootWait = std::chrono::minutes(2);
// How often a device that is back is asked for its description while it does not show the
// expected one yet (it may not have rebooted into the new image yet).
constexpr auto kDescriptionRetry = std::chrono::seconds(1);
constexpr std::size_t kBarWidth = 20;
// Plain progress lines at every quarter of the image.
constexpr std::uint64_t kQuarters = 4;

struct FirmwareSettings {
  std::uint16_t port = 161;
  FleetOptions fleet;
  std::string image;  // the staged copy
  std::string serverAddress;
  bool verify = false;
  std::optional<std::string> expectDescription;
  std::chrono::milliseconds rebootWait{};
};

struct UpgradeOutcome {
  enum class Result { Upgraded, Failed, NotStarted };
  std::string address;
  Result result = Result::NotStarted;
  std::string message;
  std::uint64_t bytes = 0;  // acknowledged by the device, once the server has stopped
  std::optional<bool> verified;
  std::string description;  // after the reboot
  std::string newAddress;
};

std::string ResultWord(const UpgradeOutcome& outcome) {
  switch (outcome.result) {
    case UpgradeOutcome::Result::Upgraded:
      return "upgraded";
    case UpgradeOutcome::Result::Failed:
      return "failed";
    case UpgradeOutcome::Result::NotStarted:
      break;
  }
  return "not started";
}

bool Succeeded(const UpgradeOutcome& outcome, bool verify) {
  return outcome.result == UpgradeOutcome::Result::Upgraded &&
         (!verify || outcome.verified.value_or(false));
}

std::string Text(const std::vector<std::uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

class FirmwareRun {
 public:
  FirmwareRun(const FirmwareSettings& settings, FleetConsole& console,
              const firmware::TftpServer& server, fleet::DeviceFinder& finder)
      : settings_(settings), console_(console), server_(server), finder_(finder) {}

  void Upgrade(const std::string& host) { outcomes_.Put(host, UpgradeOne(host)); }
  std::optional<UpgradeOutcome> Find(const std::string& host) const { return outcomes_.Find(host); }

 private:
  UpgradeOutcome UpgradeOne(const std::string& host);
  void VerifyReturn(snmp::AgentSession& agent, const std::string& mac, UpgradeOutcome& outcome);

  const FirmwareSettings& settings_;
  FleetConsole& console_;
  const firmware::TftpServer& server_;
  fleet::DeviceFinder& finder_;
  HostResults<UpgradeOutcome> outcomes_;
};

UpgradeOutcome FirmwareRun::UpgradeOne(const std::string& host) {
  UpgradeOutcome outcome;
  outcome.address = host;
  HeadlessSheet sheet(console_.SinkFor(host));
  const auto fail = [&](const std::string& message) {
    outcome.result = UpgradeOutcome::Result::Failed;
    outcome.message = ShortReason(message);
    return outcome;
  };
  if (!sheet.Start(settings_.port, settings_.fleet.community)) {
    return fail("cannot set up the SNMP component");
  }
  snmp::AgentSession& agent = sheet.Agent();
  std::string mac;
  if (settings_.verify) {
    const auto read = fleet::ReadMacAddress(agent, host);
    if (!read) {
      console_.Message(host, snmp::messages::kTimeout);
      return fail(std::string(snmp::messages::kTimeout));
    }
    mac = *read;
    finder_.Know(host, mac);
  }
  // As the "Update F/W" button, then the window's Upgrade with the shared server.
  if (!firmware::PrepareUpgrade(agent, host)) {
    const auto& messages = sheet.Log().Messages();
    return fail(messages.empty() ? std::string("refused") : messages.front());
  }
  const bool accepted = firmware::TriggerDownload(agent, host, settings_.serverAddress);
  agent.Prompter().ShowMessage(
      accepted ? firmware::messages::kUpgradeSucceeded : firmware::messages::kUpgradeFailed,
      ui::kApplicationCaption, ui::MessageIcon::None);
  if (!accepted) {
    const firmware::TftpProgress progress = server_.ProgressOf(host);
    return fail(!progress.started    ? "the access point did not fetch the image"
                : !progress.finished ? "the transfer failed"
                                     : std::string(firmware::messages::kUpgradeFailed));
  }
  outcome.result = UpgradeOutcome::Result::Upgraded;
  if (settings_.verify) VerifyReturn(agent, mac, outcome);
  return outcome;
}

void FirmwareRun::VerifyReturn(snmp::AgentSession& agent, const std::string& mac,
                               UpgradeOutcome& outcome) {
  const std::string& host = outcome.address;
  std::this_thread::sleep_for(fleet::kRestartSettle);
  const auto deadline = std::chrono::steady_clock::now() + settings_.rebootWait;
  const auto found = finder_.Find(mac, deadline, &InterruptGuard::Interrupted);
  if (!found) {
    outcome.verified = false;
    outcome.message = "not verified: unreachable after the upgrade";
    console_.Message(host, outcome.message);
    return;
  }
  outcome.newAddress = *found;
  for (;;) {
    if (const auto bytes = fleet::GetValue(agent, *found, mib::Variable::SystemDescription)) {
      outcome.description = Text(*bytes);
    }
    if (!settings_.expectDescription || outcome.description == *settings_.expectDescription) break;
    if (std::chrono::steady_clock::now() + kDescriptionRetry >= deadline ||
        InterruptGuard::Interrupted()) {
      break;
    }
    std::this_thread::sleep_for(kDescriptionRetry);
  }
  outcome.verified =
      !settings_.expectDescription || outcome.description == *settings_.expectDescription;
  console_.Message(host, "back" + (*found != host ? " at " + *found : std::string()) + ": " +
                             outcome.description);
  if (!*outcome.verified) outcome.message = "not the expected description";
}

// One line per transfer on a terminal; plain lines at each quarter elsewhere.
class TransferWatch {
 public:
  TransferWatch(const std::vector<std::string>& hosts, const firmware::TftpServer& server,
                FleetConsole& console)
      : hosts_(hosts), server_(server), console_(console), quarters_(hosts.size(), 0) {}

  void Tick() {
    std::vector<std::string> board;
    for (std::size_t i = 0; i < hosts_.size(); ++i) {
      const firmware::TftpProgress progress = server_.ProgressOf(hosts_[i]);
      if (!progress.started) continue;
      const std::uint64_t size = std::max<std::uint64_t>(progress.size, 1);
      const std::uint64_t sent = std::min(progress.acknowledged, progress.size);
      if (console_.Terminal()) {
        const auto filled = static_cast<std::size_t>(sent * kBarWidth / size);
        std::string line = hosts_[i];
        line.resize(std::max<std::size_t>(line.size(), 16), ' ');
        line += " [" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] " +
                std::to_string(sent * 100 / size) + '%';
        if (progress.failed) line += " failed";
        if (progress.finished) line += " sent";
        board.push_back(std::move(line));
        continue;
      }
      const std::uint64_t quarter = progress.failed ? quarters_[i] : sent * kQuarters / size;
      if (quarter > quarters_[i]) {
        quarters_[i] = quarter;
        console_.Message(hosts_[i], "sent " + std::to_string(sent) + " of " +
                                        std::to_string(progress.size) + " bytes");
      }
    }
    console_.SetBoard(std::move(board));
  }

 private:
  const std::vector<std::string>& hosts_;
  const firmware::TftpServer& server_;
  FleetConsole& console_;
  std::vector<std::uint64_t> quarters_;
};

void PrintSummary(const std::vector<UpgradeOutcome>& outcomes, bool verify) {
  std::vector<std::vector<std::string>> lines;
  if (verify) {
    lines.push_back({"HOST", "RESULT", "BYTES", "VERIFIED", "NOW AT", "DESCRIPTION"});
  } else {
    lines.push_back({"HOST", "RESULT", "BYTES"});
  }
  for (const UpgradeOutcome& outcome : outcomes) {
    std::string result = ResultWord(outcome);
    if (!outcome.message.empty()) result += ": " + outcome.message;
    auto& line = lines.emplace_back(
        std::vector<std::string>{outcome.address, result, std::to_string(outcome.bytes)});
    if (verify) {
      line.push_back(!outcome.verified ? "-" : *outcome.verified ? "yes" : "no");
      line.push_back(outcome.newAddress.empty() ? "-" : outcome.newAddress);
      line.push_back(outcome.description);
    }
  }
  PrintAligned(lines);
}

// The address the devices fetch from: the local one that reaches them all, or every local
// address when they are reached through different ones (each is then told its own).
std::optional<std::string> ServerAddressFor(const std::vector<std::string>& hosts) {
  std::set<std::string> locals;
  for (const std::string& host : hosts) {
    const std::string local = snmp::SnmpComponent::LocalAddress(host);
    if (local.empty()) {
      std::cerr << "kelvo-cli: TFTP server could not start: no local address reaches " << host
                << '\n';
      return std::nullopt;
    }
    locals.insert(local);
  }
  if (locals.size() != 1) {
    std::cerr << "kelvo-cli: the access points are reached through different local addresses; "
                 "upgrade each network on its own\n";
    return std::nullopt;
  }
  return *locals.begin();
}

}  // namespace

int RunFleetFirmware(std::uint16_t port, std::vector<std::string_view> args) {
  FirmwareSettings settings;
  settings.port = port;
  FirmwareServing serving;
  if (auto problem = TakeFirmwareServing(args, serving); !problem.empty()) return Usage(problem);
  const auto image = TakeOptionValue(args, "--image");
  if (!image) return Usage("firmware needs --image FILE");
  settings.expectDescription = TakeOptionValue(args, "--expect-description");
  settings.rebootWait = kDefaultRebootWait;
  if (auto problem = TakeSeconds(args, "--reboot-wait", settings.rebootWait); !problem.empty()) {
    return Usage(problem);
  }
  std::vector<std::string_view> flags;
  if (auto problem = TakeFleetOptions(std::move(args), true, {"--all", "--yes", "--verify"},
                                      settings.fleet, flags);
      !problem.empty() || !settings.fleet.format.empty()) {
    return Usage(problem.empty() ? "firmware takes no --format" : problem);
  }
  const auto flag = [&flags](std::string_view name) {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
  };
  settings.verify = flag("--verify") || settings.expectDescription.has_value();
  const bool all = flag("--all");
  std::vector<std::string> hosts = settings.fleet.operands;
  if (all == !hosts.empty()) return Usage("firmware --image takes HOSTs or --all, not both");
  if (all && !flag("--yes") && ::isatty(STDIN_FILENO) != 1) {
    std::cerr << "kelvo-cli: --all upgrades every access point that answers; add --yes to "
                 "confirm when standard input is not a terminal\n";
    return kExitUsage;
  }
  // Staged once, as the window stages it, before any access point is asked anything.
  settings.image = firmware::StagedImagePath(serving.settingsPath);
  if (!firmware::StageImage(*image, settings.image)) {
    std::cerr << firmware::messages::kFileError << '\n';
    return kExitAgent;
  }

  InterruptGuard guard;
  if (all) {
    const auto found = DiscoverEach(port, settings.fleet,
                                    [&hosts](const std::string& host) { hosts.push_back(host); });
    if (!found) return kExitAgent;
    if (hosts.empty()) {
      std::cerr << "kelvo-cli: no access point answered\n";
      return kExitAgent;
    }
    if (!flag("--yes") && !Confirm("Upgrade " + std::to_string(hosts.size()) +
                                   " access points with " + *image + "?")) {
      std::cerr << "kelvo-cli: nothing was upgraded\n";
      return kExitAgent;
    }
  }
  std::sort(hosts.begin(), hosts.end(), AddressLess);
  hosts.erase(std::unique(hosts.begin(), hosts.end()), hosts.end());
  const auto serverAddress = ServerAddressFor(hosts);
  if (!serverAddress) return kExitAgent;
  settings.serverAddress = *serverAddress;

  firmware::TftpServerOptions options;
  options.bindAddress = settings.serverAddress;
  options.port = serving.tftpPort;
  options.clientAddresses = hosts;
  options.filePath = settings.image;
  std::string error;
  auto server = firmware::TftpServer::Start(options, &error);
  if (!server) {
    std::cerr << firmware::ServerStartFailure(settings.serverAddress, serving.tftpPort, error)
              << '\n'
              << firmware::messages::kUpgradeFailed << '\n';
    return kExitAgent;
  }

  FleetConsole console;
  fleet::DeviceFinder finder({port, settings.fleet.targets, std::chrono::seconds(1)});
  FirmwareRun run(settings, console, *server, finder);
  TransferWatch watch(hosts, *server, console);
  fleet::FleetRunner runner(settings.fleet.parallel,
                            [&run](const std::string& host) { run.Upgrade(host); });
  for (const std::string& host : hosts) runner.Add(host);
  runner.Close();
  // Ctrl-C stops new transfers; the running ones finish or fail on their own.
  while (!runner.WaitFor(kBoardInterval)) {
    if (InterruptGuard::Interrupted()) runner.Cancel();
    watch.Tick();
  }
  watch.Tick();
  runner.Wait();
  server->Stop();
  console.EndProgress();

  std::vector<UpgradeOutcome> outcomes;
  for (const std::string& host : hosts) {
    if (auto outcome = run.Find(host)) {
      // The server has stopped: its figures are final, the device's last ACK included.
      outcome->bytes = server->ProgressOf(host).acknowledged;
      outcomes.push_back(std::move(*outcome));
    } else {
      UpgradeOutcome left;
      left.address = host;
      left.message = "interrupted";
      outcomes.push_back(std::move(left));
    }
  }
  PrintSummary(outcomes, settings.verify);
  if (InterruptGuard::Interrupted()) {
    std::cerr << "kelvo-cli: interrupted: " << runner.Dropped().size()
              << " access points were not upgraded\n";
  }
  const bool allDone = std::all_of(outcomes.begin(), outcomes.end(), [&](const auto& outcome) {
    return Succeeded(outcome, settings.verify);
  });
  return allDone ? kExitOk : kExitAgent;
}

}  // namespace kelvo::cli
