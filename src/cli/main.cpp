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
#include "FirmwareCommand.h"
#include "FleetCommands.h"
#include "ProfileCommands.h"
#include "Version.h"
#include "mib/Conversions.h"
#include "snmp/AgentSession.h"
#include "snmp/SnmpComponent.h"
#include "util/Parse.h"

namespace {

using kelvo::cli::kExitAgent;
using kelvo::cli::kExitOk;
using kelvo::cli::OpenSession;
using kelvo::cli::Session;
using kelvo::cli::TakeCommunity;
using kelvo::cli::Usage;
using kelvo::snmp::AgentSession;
using kelvo::snmp::SetType;
using kelvo::snmp::SnmpVariable;
using kelvo::snmp::ValueTag;

constexpr int kRequestTimeoutMs = 2000;

std::optional<long> ParseNumber(std::string_view text, long low, long high) {
  const auto value = kelvo::util::ParseInteger<long>(text, kelvo::util::IntegerForm::LeadingSpace);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  return kelvo::util::ParseHexBytes(text);
}

// INTEGER in decimal, IpAddress dotted, OCTET STRING as text when printable, else 0x and hex.
std::string FormatValue(const SnmpVariable& variable) {
  if (variable.Tag() == ValueTag::OctetString || variable.Tag() == ValueTag::Opaque) {
    for (const std::uint8_t byte : variable.Bytes()) {
      if (byte < 0x20 || byte > 0x7E) return "0x" + kelvo::mib::HexText(variable.Bytes());
    }
    return std::string(variable.Bytes().begin(), variable.Bytes().end());
  }
  return variable.Text();
}

void PrintReply(AgentSession& session) {
  for (const SnmpVariable& variable : session.Component().Message().Variables()) {
    std::cout << variable.Oid() << '\t' << FormatValue(variable) << '\n';
  }
}

// Sends the request built in the session's message and prints the reply; a refusal prints
// `refusal` with the agent's error status and index.
int SendAndPrint(AgentSession& agent, const std::string& host, std::string_view refusal) {
  if (!agent.SendBuilt(host, kRequestTimeoutMs)) {
    std::cerr << kelvo::snmp::messages::kTimeout << '\n';
    return kExitAgent;
  }
  const auto& reply = agent.Component().Message();
  if (reply.ErrorStatus() != 0) {
    std::cerr << refusal << " (error status " << reply.ErrorStatus() << ", index "
              << reply.ErrorIndex() << ")\n";
    return kExitAgent;
  }
  PrintReply(agent);
  return kExitOk;
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

int Get(std::uint16_t port, std::vector<std::string_view> args) {
  const auto [community, problem] = TakeCommunity(args, kelvo::snmp::kReadCommunity);
  if (!problem.empty()) return Usage(problem);
  if (args.size() < 2) return Usage("get needs a host and at least one OID");
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!kelvo::snmp::ParseObjectId(args[i])) {
      return Usage("not a numeric OID: " + std::string(args[i]));
    }
  }
  Session session;
  if (!OpenSession(session, port)) return kExitAgent;
  AgentSession& agent = *session.agent;
  agent.BeginRequest(kelvo::snmp::PduType::GetRequest, community);
  for (std::size_t i = 1; i < args.size(); ++i) agent.AddGetVariable(args[i]);
  return SendAndPrint(agent, std::string(args[0]), kelvo::snmp::messages::kGetError);
}

int Set(std::uint16_t port, std::vector<std::string_view> args) {
  const auto [community, problem] = TakeCommunity(args, "");
  if (!problem.empty()) return Usage(problem);
  if (args.size() != 4) return Usage("set needs HOST OID TYPE VALUE");
  const std::string host(args[0]);
  const std::string_view oid = args[1];
  const std::string_view type = args[2];
  const std::string_view value = args[3];
  std::optional<SnmpVariable> variable;
  if (type == "i") {
    variable = SnmpVariable::ForSet(oid, SetType::Integer, value);
  } else if (type == "s") {
    variable = SnmpVariable::ForSet(oid, SetType::OctetString, value);
  } else if (type == "a") {
    variable = SnmpVariable::ForSet(oid, SetType::IpAddress, value);
  } else if (type == "x") {
    if (auto bytes = ParseHexBytes(value)) {
      variable = SnmpVariable::ForSetBytes(oid, std::move(*bytes));
    }
  } else {
    return Usage("TYPE is one of i, s, x, a");
  }
  if (!variable) return Usage("the OID or the value does not fit type " + std::string(type));

  Session session;
  if (!OpenSession(session, port)) return kExitAgent;
  AgentSession& agent = *session.agent;
  agent.BeginRequest(kelvo::snmp::PduType::SetRequest, community);
  agent.Component().Message().Add(std::move(*variable));
  return SendAndPrint(agent, host, kelvo::snmp::messages::kSetError);
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
  if (command == "get") return Get(port, args);
  if (command == "set") return Set(port, args);
  if (command == "profile") return kelvo::cli::RunProfileCommand(port, std::move(args));
  if (command == "show") return kelvo::cli::RunShow(port, std::move(args));
  if (command == "inventory") return kelvo::cli::RunInventory(port, std::move(args));
  if (command == "diff") return kelvo::cli::RunDiff(port, std::move(args));
  if (command == "firmware") return kelvo::cli::RunFirmwareCommand(port, std::move(args));
  return Usage("unknown command " + std::string(command));
}
