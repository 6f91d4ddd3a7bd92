// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli stats against simulated access points whose counters advance at known rates,
// through a 32-bit wrap and a restart.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::test {
namespace {

constexpr double kBytesPerSecond = 125000;
constexpr double kFramesPerSecond = 100;

TEST(TrafficStatsTest, RatesHoldThroughAWrapARestartAndSilence) {
  // Every counter wraps 2 s after the start; access point 2 never answers.
  ApSimProcess sim(
      ApSimOptions{3,
                   "127.0.0.2",
                   "admin",
                   {"--counter-rate", "all=100", "--counter-rate", "ethernet_rx_bytes=125000",
                    "--counter-wrap", "2", "--fault", "127.0.0.4:silent"}});
  const std::string port = std::to_string(sim.Port());
  auto stats = std::async(std::launch::async, [&] {
    return RunProgram({KELVO_CLI_PATH, "--port", port, "stats", "--interval", "1", "--count", "5",
                       "--format", "json", "--counters", "ethernet_rx_bytes,wireless_tx_beacons",
                       sim.Address(0), sim.Address(1), sim.Address(2)},
                      60000);
  });
  // Access point 1 restarts between the third and the fourth read (the silent one makes each read
  // take its time-out), well after the wrap.
  std::this_thread::sleep_for(std::chrono::milliseconds(4500));
  const auto reset =
      RunProgram({KELVO_CLI_PATH, "--port", port, "set", sim.Address(1), "SystemRestart", "1"},
                 10000, {"KELVO_COMMUNITY=admin"});
  ASSERT_EQ(reset.exitCode, 0) << reset.err;
  const ProgramResult result = stats.get();
  EXPECT_EQ(result.exitCode, 1) << result.err;  // one never answered

  std::map<std::string, std::vector<nlohmann::json>> rows;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    const auto row = nlohmann::json::parse(line);
    rows[row["host"]].push_back(row);
  }
  ASSERT_EQ(rows.size(), 3U) << result.out;
  for (const auto& [host, list] : rows) {
    SCOPED_TRACE(host);
    ASSERT_EQ(list.size(), 5U);
    std::vector<std::string> statuses;
    for (const auto& row : list) statuses.push_back(row["status"]);
    if (host == sim.Address(2)) {
      EXPECT_EQ(statuses, std::vector<std::string>(5, "no reply"));
      EXPECT_TRUE(list[0]["counters"]["ethernet_rx_bytes"]["value"].is_null());
      continue;
    }
    const bool restarts = host == sim.Address(1);
    int restarted = 0;
    bool wrapped = false;
    for (std::size_t n = 0; n < list.size(); ++n) {
      const auto& counters = list[n]["counters"];
      const auto& bytes = counters["ethernet_rx_bytes"];
      const auto& beacons = counters["wireless_tx_beacons"];
      if (n > 0 && bytes["value"].get<std::uint64_t>() <
                       list[n - 1]["counters"]["ethernet_rx_bytes"]["value"].get<std::uint64_t>()) {
        wrapped = wrapped || statuses[n] == "ok";
      }
      if (n == 0 || statuses[n] == "restarted") {
        restarted += statuses[n] == "restarted";
        EXPECT_TRUE(bytes["per_second"].is_null()) << n;
        continue;
      }
      EXPECT_EQ(statuses[n], "ok");
      // Each rate spans the time between two replies as kelvo-cli saw them; the simulator
      // counts from its own clock, so allow for scheduling.
      EXPECT_NEAR(bytes["per_second"].get<double>(), kBytesPerSecond, kBytesPerSecond * 0.1) << n;
      EXPECT_NEAR(beacons["per_second"].get<double>(), kFramesPerSecond, kFramesPerSecond * 0.1)
          << n;
    }
    EXPECT_TRUE(wrapped);
    EXPECT_EQ(restarted, restarts ? 1 : 0);
  }

  // CSV: a header naming each counter's value and rate, then one line per access point.
  const auto csv = RunProgram({KELVO_CLI_PATH, "--port", port, "stats", "--count", "1", "--format",
                               "csv", "--counters", "wireless_rx_acks", sim.Address(0)});
  EXPECT_EQ(csv.exitCode, 0) << csv.err;
  EXPECT_TRUE(
      csv.out.starts_with("time,host,status,wireless_rx_acks,wireless_rx_acks_per_second\n"
                          "20"))
      << csv.out;
  EXPECT_NE(csv.out.find("," + sim.Address(0) + ",ok,"), std::string::npos) << csv.out;
}

}  // namespace
}  // namespace kelvo::test
