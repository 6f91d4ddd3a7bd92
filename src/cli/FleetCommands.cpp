// SPDX-License-Identifier: GPL-2.0-or-later
#include "FleetCommands.h"

#include <arpa/inet.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "CliSupport.h"
#include "FleetSupport.h"
#include "profiles/ProfileFile.h"

namespace kelvo::cli {
namespace {

using fleet::Configuration;
using fleet::HeadlessSheet;

// Results of the jobs, by address, filled from the runner's threads.
class ReadResults {
 public:
  void Put(HostRead read) {
    const std::lock_guard lock(mutex_);
    reads_[read.address] = std::move(read);
  }
  // Every result, plus a row for each address that was never read, sorted by address.
  std::vector<HostRead> Sorted(const std::vector<std::string>& unanswered,
                               const std::vector<std::string>& dropped) {
    const std::lock_guard lock(mutex_);
    std::vector<HostRead> rows;
    for (auto& [address, read] : reads_) rows.push_back(read);
    for (const std::string& address : unanswered) {
      rows.push_back({address, HostRead::Status::NoAnswer, {}, {}});
    }
    for (const std::string& address : dropped) {
      rows.push_back({address, HostRead::Status::NotRead, {}, {}});
    }
    std::sort(rows.begin(), rows.end(), [](const HostRead& a, const HostRead& b) {
      return AddressLess(a.address, b.address);
    });
    return rows;
  }
  std::optional<HostRead> Find(const std::string& address) {
    const std::lock_guard lock(mutex_);
    const auto found = reads_.find(address);
    if (found == reads_.end()) return std::nullopt;
    return found->second;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, HostRead> reads_;
};

// 0 when every access point was read, 1 otherwise.
int ExitFor(const std::vector<HostRead>& rows) {
  const bool all = std::all_of(rows.begin(), rows.end(), [](const HostRead& row) {
    return row.status == HostRead::Status::Ok;
  });
  return all ? kExitOk : kExitAgent;
}

void ReportInterrupt(std::size_t done, std::size_t total, std::string_view what) {
  if (!InterruptGuard::Interrupted()) return;
  std::cerr << "kelvo-cli: interrupted: " << done << " of " << total << " access points " << what
            << '\n';
}

fleet::FleetRunner::Job ReadJob(std::uint16_t port, const FleetOptions& options,
                                FleetConsole& console, ReadResults& results) {
  return [port, &options, &console, &results](const std::string& host) {
    HeadlessSheet sheet(console.SinkFor(host));
    HostRead read = ReadHost(sheet, host, port, options.community, false, console);
    results.Put(std::move(read));
  };
}

}  // namespace

int RunShow(std::uint16_t port, std::vector<std::string_view> args) {
  FleetOptions options;
  std::vector<std::string_view> flags;
  if (auto problem = TakeFleetOptions(std::move(args), false, {"--json"}, options, flags);
      !problem.empty() || !options.format.empty()) {
    return Usage(problem.empty() ? "show takes no --format; use --json" : problem);
  }
  if (options.operands.empty()) return Usage("show needs at least one HOST");
  const bool json = !flags.empty();
  InterruptGuard guard;
  FleetConsole console;
  ReadResults results;
  std::vector<std::string> unanswered;
  std::vector<std::string> dropped;
  RunFleet(port, options, options.operands, console, ReadJob(port, options, console, results),
           unanswered, dropped);
  int status = kExitOk;
  bool first = true;
  for (const std::string& host : options.operands) {
    const auto read = results.Find(host);
    if (!read || !read->configuration) {
      status = kExitAgent;
      continue;
    }
    if (json) {
      std::cout << fleet::ToJson(*read->configuration).dump() << '\n';
    } else {
      if (!first) std::cout << '\n';
      std::cout << host << '\n' << fleet::FormatSheet(*read->configuration);
    }
    first = false;
  }
  ReportInterrupt(results.Sorted({}, {}).size(), options.operands.size(), "read");
  return status;
}

namespace {

struct Column {
  std::string_view key;    // CSV header and JSON member
  std::string_view title;  // table header
  std::string (*value)(const HostRead&);
};

std::string Setting(const HostRead& read, std::string_view key) {
  if (!read.configuration) return {};
  return read.configuration->Value(key).value_or(std::string());
}

std::string Security(const HostRead& read) {
  std::string auth = Setting(read, "authentication");
  const std::string encryption = Setting(read, "encryption");
  if (encryption.empty() || encryption == "None") return auth;
  return auth + " + " + encryption;
}

// clang-format off
const Column kColumns[] = {
    {"address", "ADDRESS", [](const HostRead& r) { return r.address; }},
    {"deviceName", "NAME", [](const HostRead& r) { return Setting(r, "deviceName"); }},
    {"macAddress", "MAC", [](const HostRead& r) { return Setting(r, "macAddress"); }},
    {"description", "DESCRIPTION", [](const HostRead& r) { return Setting(r, "description"); }},
    {"regulationDomain", "DOMAIN", [](const HostRead& r) { return Setting(r, "regulationDomain"); }},
    {"channel", "CH", [](const HostRead& r) { return Setting(r, "channel"); }},
    {"essid", "ESSID", [](const HostRead& r) { return Setting(r, "essid"); }},
    {"mode", "MODE", [](const HostRead& r) { return Setting(r, "mode"); }},
    {"dhcpClient", "DHCP", [](const HostRead& r) { return Setting(r, "dhcpClient"); }},
    {"ipAddress", "IP", [](const HostRead& r) { return Setting(r, "ipAddress"); }},
    {"subnetMask", "MASK", [](const HostRead& r) { return Setting(r, "subnetMask"); }},
    {"gateway", "GATEWAY", [](const HostRead& r) { return Setting(r, "gateway"); }},
    {"security", "SECURITY", Security},
    {"stations", "STATIONS", [](const HostRead& r) {
       return r.configuration && r.configuration->authorizedTable
                  ? std::to_string(r.configuration->authorizedTable->size()) : std::string();
     }},
    {"status", "STATUS", StatusWord},
};
// clang-format on

// RFC 4180: a field with a comma, a quote or a line break is quoted, quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

void PrintTable(const std::vector<HostRead>& rows) {
  std::vector<std::vector<std::string>> lines(1);
  for (const Column& column : kColumns) lines.front().emplace_back(column.title);
  for (const HostRead& row : rows) {
    auto& line = lines.emplace_back();
    for (const Column& column : kColumns) line.push_back(column.value(row));
  }
  PrintAligned(lines);
}

}  // namespace

int RunInventory(std::uint16_t port, std::vector<std::string_view> args) {
  FleetOptions options;
  std::vector<std::string_view> flags;
  if (auto problem = TakeFleetOptions(std::move(args), true, {}, options, flags);
      !problem.empty()) {
    return Usage(problem);
  }
  if (!options.operands.empty()) return Usage("inventory takes no HOST; use --to ADDRESS");
  const std::string format = options.format.empty() ? "table" : options.format;
  if (format != "table" && format != "csv" && format != "json") {
    return Usage("--format is table, csv or json");
  }
  InterruptGuard guard;
  FleetConsole console;
  ReadResults results;
  std::vector<std::string> unanswered;
  std::vector<std::string> dropped;
  if (!RunFleet(port, options, {}, console, ReadJob(port, options, console, results), unanswered,
                dropped)) {
    return kExitAgent;
  }
  const std::vector<HostRead> rows = results.Sorted(unanswered, dropped);
  if (format == "table") {
    PrintTable(rows);
  } else if (format == "csv") {
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
      std::cout << (i == 0 ? "" : ",") << kColumns[i].key;
    }
    std::cout << "\r\n";
    for (const HostRead& row : rows) {
      for (std::size_t i = 0; i < std::size(kColumns); ++i) {
        std::cout << (i == 0 ? "" : ",") << CsvField(kColumns[i].value(row));
      }
      std::cout << "\r\n";
    }
  } else {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const HostRead& row : rows) {
      nlohmann::ordered_json object;
      for (const Column& column : kColumns) {
        object[std::string(column.key)] = column.value(row);
      }
      if (!row.message.empty()) object["message"] = row.message;
      list.push_back(std::move(object));
    }
    std::cout << list.dump(2) << '\n';
  }
  ReportInterrupt(rows.size() - dropped.size() - unanswered.size(), rows.size() - unanswered.size(),
                  "read");
  return ExitFor(rows);
}

namespace {

// One side of a diff: a profile file, a JSON configuration (a snapshot or a line of
// show --json) or an access point's address.
struct DiffSide {
  std::string name;
  std::optional<profiles::ProfileContents> profile;
  std::optional<Configuration> configuration;
  bool host = false;
};

constexpr int kExitTrouble = 2;

// nullopt after a message.
std::optional<DiffSide> OpenSide(const std::string& name) {
  DiffSide side{name, {}, {}, false};
  std::error_code error;
  if (!std::filesystem::exists(name, error)) {
    if (in_addr address{}; ::inet_pton(AF_INET, name.c_str(), &address) == 1) {
      side.host = true;
      return side;
    }
    std::cerr << "kelvo-cli: " << name << " is neither a file nor an IPv4 address\n";
    return std::nullopt;
  }
  const profiles::ReadResult read = profiles::ReadProfileFile(name);
  if (read.status == profiles::ReadStatus::Ok) {
    side.profile = read.contents;
    return side;
  }
  if (read.status == profiles::ReadStatus::NotProfile) {
    std::ifstream file(name, std::ios::binary);
    const auto object = nlohmann::json::parse(file, nullptr, false);
    if (!object.is_discarded()) side.configuration = fleet::FromJson(object);
    if (side.configuration) return side;
  }
  std::cerr << "kelvo-cli: " << name
            << " is neither a profile nor a configuration written by kelvo-cli\n";
  return std::nullopt;
}

// Reads an access point for a diff; nullopt after its messages.
std::optional<Configuration> ReadForDiff(HeadlessSheet& sheet, const std::string& host,
                                         std::uint16_t port, const std::string& community,
                                         FleetConsole& console) {
  HostRead read = ReadHost(sheet, host, port, community, false, console);
  if (!read.configuration) return std::nullopt;
  if (!read.configuration->authorizedTable) {
    console.Message(host,
                    "the authorised MAC table was not read (no write community); it is left out");
  }
  return read.configuration;
}

}  // namespace

int RunDiff(std::uint16_t port, std::vector<std::string_view> args) {
  FleetOptions options;
  std::vector<std::string_view> flags;
  if (auto problem = TakeFleetOptions(std::move(args), false, {}, options, flags);
      !problem.empty() || options.operands.size() != 2) {
    std::cerr << "kelvo-cli: " << (problem.empty() ? "diff needs A and B" : problem) << '\n';
    return kExitTrouble;
  }
  std::optional<DiffSide> sides[2] = {OpenSide(options.operands[0]), OpenSide(options.operands[1])};
  if (!sides[0] || !sides[1]) return kExitTrouble;
  FleetConsole console;
  // Both hosts are read at once; each gets its own sheet.
  std::unique_ptr<HeadlessSheet> sheets[2];
  std::optional<Configuration> read[2];
  {
    std::vector<std::thread> readers;
    for (int i = 0; i < 2; ++i) {
      if (!sides[i]->host) continue;
      const std::string host = sides[i]->name;
      sheets[i] = std::make_unique<HeadlessSheet>(console.SinkFor(host));
      readers.emplace_back([&, i, host] {
        read[i] = ReadForDiff(*sheets[i], host, port, options.community, console);
      });
    }
    for (std::thread& reader : readers) reader.join();
  }
  Configuration configurations[2];
  for (int i = 0; i < 2; ++i) {
    DiffSide& side = *sides[i];
    DiffSide& other = *sides[1 - i];
    if (side.host) {
      if (!read[i]) return kExitTrouble;
      configurations[i] = *read[i];
    } else if (side.configuration) {
      configurations[i] = *side.configuration;
    } else if (other.host && read[1 - i]) {
      // A profile against a device: loaded into that device's pages, as a Load before an
      // apply does, so the difference is what the apply would write.
      configurations[i] = fleet::DescribeLoaded(*side.profile, sheets[1 - i]->Sheet());
    } else {
      configurations[i] = fleet::DescribeProfile(*side.profile);
    }
  }
  const auto differences = fleet::Compare(configurations[0], configurations[1]);
  for (const auto& difference : differences) {
    std::cout << fleet::FormatDifference(difference) << '\n';
  }
  return differences.empty() ? kExitOk : kExitAgent;
}

}  // namespace kelvo::cli
