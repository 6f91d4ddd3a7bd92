// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli: the command-line front end on the same core as the program, for administrators
// who script. Exit codes: 0 success, 1 the agent refused or did not answer, or a value could not
// be sent (or a profile file or firmware file was refused), 2 usage.
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CliSupport.h"
#include "ExporterCommand.h"
#include "FirmwareCommand.h"
#include "FleetCommands.h"
#include "ProfileCommands.h"
#include "StatsCommand.h"
#include "VariableCommands.h"
#include "Version.h"
#include "snmp/SnmpComponent.h"
#include "util/Parse.h"

namespace {

using kelvo::cli::kExitAgent;
using kelvo::cli::kExitOk;
using kelvo::cli::OpenSession;
using kelvo::cli::Session;
using kelvo::cli::Usage;

std::optional<long> ParseNumber(std::string_view text, long low, long high) {
  const auto value = kelvo::util::ParseInteger<long>(text, kelvo::util::IntegerForm::LeadingSpace);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

int Discover(std::uint16_t port, std::vector<std::string_view> args) {
  double waitSeconds = 2.0;
  std::vector<std::string> targets;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--wait" && i + 1 < args.size()) {
      const std::string text(args[++i]);
      char* end = nullptr;
      waitSeconds = std::strtod(text.c_str(), &end);
      if (*end != '\0' || !(waitSeconds >= 0 && waitSeconds <= 3600)) {
        return Usage("--wait takes seconds");
      }
    } else if (args[i] == "--to" && i + 1 < args.size()) {
      targets.emplace_back(args[++i]);
    } else {
      return Usage("unexpected argument " + std::string(args[i]));
    }
  }
  Session session;
  if (!OpenSession(session, port)) return kExitAgent;
  session.agent->SetDiscoveryTargets(targets);
  session.agent->Discover();

  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(static_cast<long>(waitSeconds * 1000));
  kelvo::snmp::SnmpComponent& component = session.agent->Component();
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    if (session.wait.WaitReadable(component.Descriptor(), left)) component.ProcessIncoming();
  }
  for (const auto& row : session.agent->AccessPoints()) {
    std::cout << row.address << '\t' << row.deviceName << '\n';
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  std::uint16_t port = 161;
  while (!args.empty() && args.front().starts_with("--")) {
    if (args.front() == "--help" || args.front() == "-h") {
      std::cout << kelvo::cli::kUsage;
      return kExitOk;
    }
    if (args.front() == "--version") {
      std::cout << "kelvo-cli " << kelvo::kVersion << '\n';
      return kExitOk;
    }
    if (args.front() != "--port" || args.size() < 2) break;
    const auto value = ParseNumber(args[1], 1, 65535);
    if (!value) return Usage("--port takes a number from 1 to 65535");
    port = static_cast<std::uint16_t>(*value);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return Usage();
  const std::string_view command = args.front();
  args.erase(args.begin());
  // --port may also follow the command.
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--port") {
      const auto value = ParseNumber(args[i + 1], 1, 65535);
      if (!value) return Usage("--port takes a number from 1 to 65535");
      port = static_cast<std::uint16_t>(*value);
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      break;
    }
  }
  if (command == "discover") return Discover(port, args);
  if (command == "vars") return kelvo::cli::RunVarsCommand(args);
  if (command == "get") return kelvo::cli::RunGetCommand(port, std::move(args));
  if (command == "set") return kelvo::cli::RunSetCommand(port, std::move(args));
  if (command == "profile") return kelvo::cli::RunProfileCommand(port, std::move(args));
  if (command == "show") return kelvo::cli::RunShow(port, std::move(args));
  if (command == "inventory") return kelvo::cli::RunInventory(port, std::move(args));
  if (command == "backup") return kelvo::cli::RunBackup(port, std::move(args));
  if (command == "diff") return kelvo::cli::RunDiff(port, std::move(args));
  if (command == "firmware") return kelvo::cli::RunFirmwareCommand(port, std::move(args));
  if (command == "stats") return kelvo::cli::RunStats(port, std::move(args));
  if (command == "exporter") return kelvo::cli::RunExporter(port, std::move(args));
  return Usage("unknown command " + std::string(command));
}
