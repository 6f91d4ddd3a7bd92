// SPDX-License-Identifier: GPL-2.0-or-later
#include "StatsCommand.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "CliSupport.h"
#include "FleetSupport.h"
#include "statistics/CounterRates.h"
#include "statistics/TrafficHistory.h"
#include "util/Parse.h"

namespace kelvo::cli {
namespace {

using statistics::CounterValues;
using statistics::kCounterCount;
using statistics::kCounters;
using statistics::RateTracker;
using Clock = std::chrono::steady_clock;

// The table shows a few counters; files get them all unless --counters says otherwise.
constexpr std::string_view kTableCounters[] = {"ethernet_rx_bytes", "ethernet_tx_bytes",
                                               "wireless_rx_unicast", "wireless_tx_unicast",
                                               "ethernet_rx_crc_errors"};
constexpr std::chrono::milliseconds kDefaultInterval{2500};
constexpr std::chrono::milliseconds kShortestInterval{100};

enum class Format { Table, Csv, Json };

struct StatsSettings {
  Format format = Format::Table;
  std::chrono::milliseconds interval = kDefaultInterval;
  std::optional<long> count;
  std::vector<std::size_t> counters;  // indexes into kCounters, in the order shown
};

// What one poll found at one access point.
struct Reading {
  std::optional<CounterValues> values;
  Clock::time_point at;
  std::chrono::system_clock::time_point wallTime;
};

// One row of output: a poll's reading with its rates.
struct Row {
  std::string host;
  std::string status;  // ok, no reply, restarted
  std::chrono::system_clock::time_point wallTime;
  std::optional<CounterValues> values;
  RateTracker::Sample sample;
};

// A rate with the digits that matter: whole numbers from 100 up, three significant ones below.
std::string RateText(double rate) {
  char text[32];
  if (rate >= 100 || rate == 0) {
    std::snprintf(text, sizeof text, "%.0f", rate);
  } else {
    std::snprintf(text, sizeof text, "%.3g", rate);
  }
  return text;
}

// The terminal's width in characters; 80 when it does not say.
std::size_t TerminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::string ParseCounters(std::string_view list, std::vector<std::size_t>& counters) {
  if (list == "all") {
    for (std::size_t i = 0; i < kCounterCount; ++i) counters.push_back(i);
    return {};
  }
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    const std::string_view key = list.substr(start, comma - start);
    const auto index = statistics::CounterByKey(key);
    if (!index) return "--counters: no counter is called \"" + std::string(key) + "\"";
    counters.push_back(*index);
    start = comma + 1;
  }
  return {};
}

std::string TakeStatsSettings(std::vector<std::string_view>& args, StatsSettings& settings) {
  if (auto problem = TakeSeconds(args, "--interval", settings.interval); !problem.empty()) {
    return problem;
  }
  if (settings.interval < kShortestInterval) return "--interval takes at least 0.1 seconds";
  if (const auto count = TakeOptionValue(args, "--count")) {
    settings.count = util::ParseInteger<long>(*count, util::IntegerForm::Strict);
    if (!settings.count || *settings.count < 1) return "--count takes a number from 1";
  }
  if (const auto list = TakeOptionValue(args, "--counters")) {
    if (auto problem = ParseCounters(*list, settings.counters); !problem.empty()) return problem;
  }
  return {};
}

class Output {
 public:
  explicit Output(const StatsSettings& settings) : settings_(settings) {}

  void Poll(const std::vector<Row>& rows) {
    switch (settings_.format) {
      case Format::Table:
        Table(rows);
        break;
      case Format::Csv:
        for (const Row& row : rows) Csv(row);
        break;
      case Format::Json:
        for (const Row& row : rows) Json(row);
        break;
    }
    std::cout << std::flush;
  }

 private:
  void Table(const std::vector<Row>& rows) {
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> heading = {"HOST", "STATUS"};
    for (const std::size_t i : settings_.counters)
      heading.push_back(std::string(kCounters[i].key) + "/s");
    lines.push_back(std::move(heading));
    for (const Row& row : rows) {
      std::vector<std::string> line = {row.host, row.status};
      for (const std::size_t i : settings_.counters) {
        const auto& rate = row.sample.perSecond[i];
        line.push_back(rate ? RateText(*rate) : "-");
      }
      lines.push_back(std::move(line));
    }
    std::vector<std::string> texts = AlignedLines(lines);
    texts.insert(texts.begin(), statistics::IsoUtc(rows.empty() ? std::chrono::system_clock::now()
                                                                : rows.front().wallTime));
    // A terminal sees the table redrawn in place, over as many rows as it took (long lines
    // wrap); a file or pipe gets one table per poll.
    if (terminal_ && shown_ > 0) std::cout << "\x1b[" << shown_ << "A\x1b[J";
    if (!terminal_ && polls_ > 0) std::cout << '\n';
    const std::size_t columns = TerminalColumns();
    shown_ = 0;
    for (const std::string& text : texts) {
      std::cout << text << '\n';
      shown_ += text.empty() ? 1 : (text.size() + columns - 1) / columns;
    }
    ++polls_;
  }

  void Csv(const Row& row) {
    if (polls_++ == 0) {
      std::cout << "time,host,status";
      for (const std::size_t i : settings_.counters) {
        std::cout << ',' << kCounters[i].key << ',' << kCounters[i].key << "_per_second";
      }
      std::cout << '\n';
    }
    std::cout << statistics::IsoUtc(row.wallTime) << ',' << row.host << ',' << row.status;
    for (const std::size_t i : settings_.counters) {
      std::cout << ',';
      if (row.values && (*row.values)[i]) std::cout << *(*row.values)[i];
      std::cout << ',';
      if (const auto& rate = row.sample.perSecond[i]) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", *rate);
        std::cout << text;
      }
    }
    std::cout << '\n';
  }

  void Json(const Row& row) {
    nlohmann::ordered_json counters = nlohmann::ordered_json::object();
    for (const std::size_t i : settings_.counters) {
      nlohmann::ordered_json counter = nlohmann::ordered_json::object();
      const auto& value = row.values ? (*row.values)[i] : std::nullopt;
      const auto& rate = row.sample.perSecond[i];
      counter["value"] = value ? nlohmann::ordered_json(*value) : nullptr;
      counter["per_second"] = rate ? nlohmann::ordered_json(*rate) : nullptr;
      counters[std::string(kCounters[i].key)] = std::move(counter);
    }
    nlohmann::ordered_json line = {{"time", statistics::IsoUtc(row.wallTime)},
                                   {"host", row.host},
                                   {"status", row.status},
                                   {"counters", std::move(counters)}};
    std::cout << line.dump() << '\n';
  }

  const StatsSettings& settings_;
  const bool terminal_ = isatty(STDOUT_FILENO) == 1;
  std::size_t shown_ = 0;
  std::size_t polls_ = 0;
};

// Sleeps until `until` or an interrupt, whichever comes first; false on an interrupt.
bool SleepUntil(Clock::time_point until) {
  constexpr std::chrono::milliseconds kStep{100};
  while (!InterruptGuard::Interrupted()) {
    const auto now = Clock::now();
    if (now >= until) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(until - now, kStep));
  }
  return false;
}

}  // namespace

int RunStats(std::uint16_t port, std::vector<std::string_view> args) {
  StatsSettings settings;
  if (auto problem = TakeStatsSettings(args, settings); !problem.empty()) return Usage(problem);
  FleetOptions options;
  std::vector<std::string_view> flags;
  if (auto problem = TakeFleetOptions(std::move(args), false, {}, options, flags);
      !problem.empty()) {
    return Usage(problem);
  }
  if (options.format == "csv") {
    settings.format = Format::Csv;
  } else if (options.format == "json") {
    settings.format = Format::Json;
  } else if (!options.format.empty() && options.format != "table") {
    return Usage("--format takes table, csv or json");
  }
  if (options.operands.empty()) return Usage("stats needs at least one HOST");
  // One row per access point, however often it was named.
  std::vector<std::string> hosts;
  for (const std::string& host : options.operands) {
    if (std::find(hosts.begin(), hosts.end(), host) == hosts.end()) hosts.push_back(host);
  }
  if (settings.counters.empty()) {
    if (settings.format == Format::Table) {
      for (const std::string_view key : kTableCounters) {
        settings.counters.push_back(*statistics::CounterByKey(key));
      }
    } else {
      ParseCounters("all", settings.counters);
    }
  }

  InterruptGuard guard;
  FleetConsole console;
  Output output(settings);
  std::map<std::string, RateTracker> trackers;
  bool allAnswered = true;
  const auto start = Clock::now();
  for (long poll = 0; !settings.count || poll < *settings.count; ++poll) {
    if (poll > 0 && !SleepUntil(start + poll * settings.interval)) break;
    HostResults<Reading> readings;
    {
      fleet::FleetRunner runner(options.parallel,
                                [port, &console, &readings](const std::string& host) {
                                  fleet::HeadlessSheet sheet(console.SinkFor(host));
                                  Reading reading;
                                  if (sheet.Start(port, {}))
                                    reading.values = statistics::ReadCounters(sheet.Agent(), host);
                                  reading.at = Clock::now();
                                  reading.wallTime = std::chrono::system_clock::now();
                                  readings.Put(host, reading);
                                });
      for (const std::string& host : hosts) runner.Add(host);
      runner.Close();
      runner.Wait();
    }
    std::vector<Row> rows;
    for (const std::string& host : hosts) {
      Reading reading = readings.Find(host).value_or(
          Reading{std::nullopt, Clock::now(), std::chrono::system_clock::now()});
      Row row{host, "no reply", reading.wallTime, reading.values, {}};
      if (reading.values) {
        row.sample = trackers[host].Add(*reading.values, reading.at);
        row.status = row.sample.outcome == RateTracker::Outcome::Restarted ? "restarted" : "ok";
      } else {
        allAnswered = false;
      }
      rows.push_back(std::move(row));
    }
    output.Poll(rows);
  }
  return allAnswered ? kExitOk : kExitAgent;
}

}  // namespace kelvo::cli
