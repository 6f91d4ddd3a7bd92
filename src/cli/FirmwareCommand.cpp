// SPDX-License-Identifier: GPL-2.0-or-later
#include "FirmwareCommand.h"

#include <poll.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>

#include "CliSupport.h"
#include "FirmwareFleet.h"
#include "FleetSupport.h"
#include "firmware/FirmwareUpgrade.h"
#include "mib/MibVariables.h"
#include "util/Parse.h"
#include "util/UserDirectories.h"

namespace kelvo::cli {
namespace {

constexpr std::chrono::milliseconds kProgressInterval{200};

// poll(2) in short slices, with a look at the transfer between them. Returning early is
// harmless: the component waits again for what is left of its time-out.
class ProgressWaitHook final : public snmp::WaitHook {
 public:
  explicit ProgressWaitHook(std::function<void()> tick) : tick_(std::move(tick)) {}
  bool WaitReadable(int fd, std::chrono::milliseconds timeout) override {
    pollfd pfd{fd, POLLIN, 0};
    const int slice = static_cast<int>(std::min(timeout, kProgressInterval).count());
    const bool readable = ::poll(&pfd, 1, slice) > 0 && (pfd.revents & POLLIN) != 0;
    tick_();
    return readable;
  }

 private:
  std::function<void()> tick_;
};

// Keeps one line on stderr up to date: "\rsent N of M bytes".
class ProgressLine {
 public:
  void Show(const std::optional<firmware::TftpProgress>& progress) {
    if (!progress || !progress->started) return;
    const std::uint64_t sent = std::min(progress->acknowledged, progress->size);
    if (shown_ && sent == lastSent_) return;
    std::cerr << "\rsent " << sent << " of " << progress->size << " bytes" << std::flush;
    shown_ = true;
    lastSent_ = sent;
  }
  // Ends the line so that the messages start on their own.
  void Finish() {
    if (shown_) std::cerr << '\n';
    shown_ = false;
  }

 private:
  bool shown_ = false;
  std::uint64_t lastSent_ = 0;
};

std::optional<std::uint16_t> ParsePort(const std::string& text) {
  const auto value = util::ParseInteger<unsigned>(text);
  if (!value || *value == 0 || *value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

}  // namespace

std::string TakeFirmwareServing(std::vector<std::string_view>& args, FirmwareServing& serving) {
  if (const auto given = TakeOptionValue(args, "--settings-path")) {
    serving.settingsPath = *given;
    if (!serving.settingsPath.empty() && !serving.settingsPath.ends_with('/')) {
      serving.settingsPath += '/';
    }
  } else {
    // The program's own directory, as the window's default.
    serving.settingsPath = util::PreparedDefaultSettingsPath();
  }
  if (const auto text = TakeOptionValue(args, "--tftp-port")) {
    const auto parsed = ParsePort(*text);
    if (!parsed) return "--tftp-port takes a number from 1 to 65535";
    serving.tftpPort = *parsed;
  }
  return {};
}

int RunFirmwareCommand(std::uint16_t port, std::vector<std::string_view> args) {
  if (std::find(args.begin(), args.end(), "--image") != args.end()) {
    return RunFleetFirmware(port, std::move(args));
  }
  const auto [community, problem] = TakeCommunity(args, "");
  if (!problem.empty()) return Usage(problem);
  FirmwareServing serving;
  if (auto bad = TakeFirmwareServing(args, serving); !bad.empty()) return Usage(bad);
  if (args.size() != 2) return Usage("firmware needs HOST FILE");
  const std::string host(args[0]);
  const std::string file(args[1]);

  ProgressLine line;
  firmware::FirmwareUpgrade* running = nullptr;
  ProgressWaitHook wait([&] {
    if (running != nullptr) line.Show(running->TransferProgress());
  });
  Session session;
  if (!OpenSession(session, port, &wait)) return kExitAgent;
  snmp::AgentSession& agent = *session.agent;
  agent.SetWriteCommunity(community);

  // As the "Update F/W" button: the device is prepared first, and a refusal ends it.
  if (!firmware::PrepareUpgrade(agent, host)) return kExitAgent;
  firmware::FirmwareUpgrade upgrade({agent, host, serving.settingsPath, serving.tftpPort, nullptr});
  upgrade.SetStateListener([&] {
    // The server has stopped: the last figure stands, and the messages follow on their own
    // lines.
    if (!upgrade.WindowEnabled() && upgrade.TransferProgress()) {
      line.Show(upgrade.TransferProgress());
      line.Finish();
    }
  });
  upgrade.FileName().SetText(file);
  running = &upgrade;
  const bool accepted = upgrade.Upgrade();
  running = nullptr;
  line.Finish();
  return accepted ? kExitOk : kExitAgent;
}

}  // namespace kelvo::cli
