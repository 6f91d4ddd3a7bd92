// SPDX-License-Identifier: GPL-2.0-or-later
#include "ControlChannel.h"

#include <optional>

#include "ApSimOptions.h"
#include "Sha256.h"
#include "mib/MibVariables.h"
#include "util/Parse.h"

namespace kelvo::apsim {
namespace {

using Output = std::vector<std::string>;

Output Error(std::string reason) { return {"error " + std::move(reason)}; }

// The text after the first `count` words and the one separator that follows them, so that
// values may hold spaces (and may be empty).
std::string_view RestAfterWords(std::string_view line, std::size_t count) {
  std::size_t position = 0;
  for (std::size_t i = 0; i < count; ++i) {
    position = line.find_first_not_of(" \t", position);
    if (position == std::string_view::npos) return {};
    position = line.find_first_of(" \t", position);
    if (position == std::string_view::npos) return {};
  }
  return line.substr(position + 1);
}

std::optional<mib::Variable> FindVariable(std::string_view text) {
  if (const auto byName = mib::FindByName(text)) return byName;
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  return mib::FindByOid(text);
}

std::optional<SnmpValue> ParseTypedValue(std::string_view type, std::string_view value) {
  if (type == "i") {
    const auto number = util::ParseInteger<long>(value);
    if (!number) return std::nullopt;
    return SnmpValue::Integer(*number);
  }
  if (type == "s") return SnmpValue::Text(value);
  if (type == "x") {
    auto bytes = ParseHexBytes(value);
    if (!bytes) return std::nullopt;
    return SnmpValue::Bytes(std::move(*bytes));
  }
  if (type == "a") {
    const auto address = ParseIpv4(value);
    if (!address) return std::nullopt;
    return SnmpValue::Ip(*address);
  }
  return std::nullopt;
}

std::string StateName(UpgradeRecord::State state) {
  switch (state) {
    case UpgradeRecord::State::Fetching:
      return "fetching";
    case UpgradeRecord::State::Done:
      return "done";
    case UpgradeRecord::State::Failed:
      return "failed";
    case UpgradeRecord::State::None:
      break;
  }
  return "none";
}

}  // namespace

std::vector<std::string> ControlChannel::Execute(std::string_view line, SimTime now) {
  const auto words = SplitWords(line);
  // Blank lines and comments produce no output, so scripts may carry them.
  if (words.empty() || words[0].starts_with('#')) return {};
  const std::string_view command = words[0];

  if (command == "quit") {
    quit_ = true;
    return {"ok"};
  }
  if (words.size() < 2) return Error("usage: see --help");

  // Commands that accept "all".
  std::vector<std::size_t> aps;
  if (words[1] == "all" &&
      (command == "fault" || command == "clear-log" || command.starts_with("tftp-") ||
       command == "reboot-ms" || command == "upgrade-firmware" || command == "counter-rate")) {
    for (std::size_t i = 0; i < simulator_.Count(); ++i) aps.push_back(i);
  } else if (const auto ap = ParseAp(words[1], simulator_)) {
    aps.push_back(*ap);
  } else {
    return Error("no access point " + std::string(words[1]));
  }
  const std::size_t ap = aps.front();

  if (command == "fault") {
    const auto fault = ParseFault(std::span(words).subspan(2));
    if (!fault)
      return Error(
          "bad fault; use none|silent|ignore-reset|delay <ms>|error <status> [<index>]|drop "
          "<percent>|varbinds <+-n>|wrong-type|octets <+-n>|from <addr>|request-id <+-n>|"
          "reboot-after <n> [<ms>]");
    for (const std::size_t each : aps) simulator_.SetFault(each, *fault);
    return {"ok"};
  }
  if (command == "clear-log" && words.size() == 2) {
    for (const std::size_t each : aps) simulator_.ClearLog(each);
    return {"ok"};
  }
  if (command == "log" && words.size() == 2) {
    Output output;
    for (const LogEntry& entry : simulator_.Log(ap)) {
      output.push_back(std::to_string(entry.sequence) + '\t' + entry.pdu + '\t' + entry.community +
                       '\t' + entry.oid + '\t' + entry.value.type + '\t' + entry.value.text);
    }
    output.emplace_back("ok");
    return output;
  }
  if (command == "get" && words.size() == 3) {
    const auto variable = FindVariable(words[2]);
    if (!variable) return Error("unknown variable " + std::string(words[2]));
    const ValueText value = DescribeValue(simulator_.Device(ap).Read(*variable, now));
    return {std::string(1, value.type) + '\t' + value.text, "ok"};
  }
  if (command == "set" && words.size() >= 4) {
    const auto variable = FindVariable(words[2]);
    if (!variable) return Error("unknown variable " + std::string(words[2]));
    const auto value = ParseTypedValue(words[3], RestAfterWords(line, 4));
    if (!value) return Error("bad value; use i <number>, s <text>, x <hex>, a <address>");
    simulator_.Device(ap).Store(*variable, *value);
    return {"ok"};
  }
  if (command == "password") {
    simulator_.Device(ap).SetWriteCommunity(std::string(RestAfterWords(line, 2)));
    return {"ok"};
  }
  if (command == "table" && words.size() == 2) {
    Output output;
    for (const MacAddress& address : simulator_.Device(ap).AuthorizedTable()) {
      output.push_back(HexText(address));
    }
    output.emplace_back("ok");
    return output;
  }
  if (command == "set-table") {
    std::vector<MacAddress> table;
    for (std::size_t i = 2; i < words.size(); ++i) {
      const auto bytes = ParseHexBytes(words[i]);
      if (!bytes || bytes->size() != 6) return Error("bad MAC address " + std::string(words[i]));
      MacAddress address{};
      std::copy(bytes->begin(), bytes->end(), address.begin());
      table.push_back(address);
    }
    simulator_.Device(ap).SetAuthorizedTable(std::move(table));
    return {"ok"};
  }
  if (command == "tftp-options") {
    const auto options = ParseTftpOptions(std::span(words).subspan(2));
    if (!options) {
      return Error("bad options; use none, or blksize=N windowsize=N timeout=S tsize");
    }
    for (const std::size_t each : aps) {
      TftpClientSettings tftp = simulator_.TftpSettingsOf(each);
      tftp.options = *options;
      simulator_.SetTftpSettings(each, tftp);
    }
    return {"ok"};
  }
  if (command == "tftp-retry" && words.size() == 4) {
    const auto retry = ParseTftpRetry(words[2], words[3]);
    if (!retry) return Error("bad retry; use <ms 1..60000> <tries 1..100>");
    for (const std::size_t each : aps) {
      TftpClientSettings tftp = simulator_.TftpSettingsOf(each);
      tftp.timeout = retry->first;
      tftp.tries = retry->second;
      simulator_.SetTftpSettings(each, tftp);
    }
    return {"ok"};
  }
  if (command == "tftp-port" && words.size() == 3) {
    const auto port = util::ParseInteger<std::uint16_t>(words[2]).value_or(0);
    if (port == 0) return Error("bad port " + std::string(words[2]));
    for (const std::size_t each : aps) {
      TftpClientSettings tftp = simulator_.TftpSettingsOf(each);
      tftp.port = port;
      simulator_.SetTftpSettings(each, tftp);
    }
    return {"ok"};
  }
  if (command == "reboot-ms" && words.size() == 3) {
    const auto time = ParseRebootTime(words[2]);
    if (!time) return Error("bad time; use <ms 0..3600000>");
    for (const std::size_t each : aps) simulator_.SetRebootTime(each, *time);
    return {"ok"};
  }
  if (command == "upgrade-firmware" && words.size() == 3) {
    if (!IsFirmwareVersion(words[2])) return Error("bad version " + std::string(words[2]));
    for (const std::size_t each : aps) simulator_.SetUpgradeFirmware(each, std::string(words[2]));
    return {"ok"};
  }
  if (command == "counter-rate" && words.size() == 4) {
    const auto counters = ParseCounterKey(words[2]);
    if (!counters) return Error("unknown counter " + std::string(words[2]));
    const auto rate = ParseCounterRate(words[3]);
    if (!rate) return Error("bad rate; use <per second, up to 6 decimals>");
    for (const std::size_t each : aps) {
      for (const std::size_t counter : *counters) {
        simulator_.Device(each).SetCounterRate(counter, *rate, now);
      }
    }
    return {"ok"};
  }
  if (command == "image" && words.size() == 2) {
    const UpgradeRecord& upgrade = simulator_.Upgrade(ap);
    // One line of tab-separated fields, whatever a server put into its ERROR message.
    const auto field = [](std::string text) {
      for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
      }
      return text.empty() ? std::string("-") : text;
    };
    const bool done = upgrade.state == UpgradeRecord::State::Done;
    return {StateName(upgrade.state) + '\t' + std::to_string(upgrade.bytes) + '\t' +
                (done ? Sha256Hex(upgrade.image) : "-") + '\t' + field(upgrade.file) + '\t' +
                field(upgrade.reason),
            "ok"};
  }
  return Error("unknown command or wrong arguments: " + std::string(command));
}

}  // namespace kelvo::apsim
