// SPDX-License-Identifier: GPL-2.0-or-later
// The fleet runner's bound and bookkeeping, and the configuration's JSON and differences.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "fleet/Configuration.h"
#include "fleet/FleetRunner.h"

namespace kelvo::fleet {
namespace {

TEST(FleetRunnerTest, KeepsItsBoundRunsEachHostOnceAndDropsWhatACancelLeft) {
  struct Case {
    std::size_t parallel;
    int hosts;
    int cancelAfter;  // jobs started before the cancel; -1: none
  };
  for (const Case c : {Case{1, 5, -1}, Case{4, 40, -1}, Case{64, 10, -1}, Case{2, 30, 6}}) {
    SCOPED_TRACE(testing::Message() << c.parallel << " " << c.hosts << " " << c.cancelAfter);
    std::mutex mutex;
    std::map<std::string, int> runs;
    std::atomic<int> inFlight{0};
    std::atomic<int> most{0};
    std::atomic<int> started{0};
    FleetRunner* self = nullptr;
    FleetRunner runner(c.parallel, [&](const std::string& host) {
      const int now = ++inFlight;
      for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
      }
      if (++started == c.cancelAfter) self->Cancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      {
        const std::lock_guard lock(mutex);
        ++runs[host];
      }
      --inFlight;
    });
    self = &runner;
    for (int i = 0; i < c.hosts; ++i) runner.Add("10.0.0." + std::to_string(i));
    runner.Close();
    runner.Add("10.0.1.1");  // too late: not run, not dropped
    runner.Wait();

    EXPECT_LE(most.load(), static_cast<int>(c.parallel));
    for (const auto& [host, count] : runs) EXPECT_EQ(count, 1) << host;
    EXPECT_EQ(runs.size() + runner.Dropped().size(), static_cast<std::size_t>(c.hosts));
    EXPECT_EQ(runner.Done(), runs.size());
    EXPECT_EQ(runner.Dropped().empty(), c.cancelAfter < 0);
  }
}

Configuration Sample() {
  Configuration configuration;
  configuration.address = "10.0.0.7";
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    configuration.values[i] = "value \"" + std::to_string(i) + "\"\n\xC3\xA9";
  }
  configuration.authorizedTable = std::vector<std::string>{"001122334455", "0A0B0C0D0E0F"};
  return configuration;
}

TEST(ConfigurationTest, JsonReadsBackWhatItWroteAndRefusesWhatItDidNotWrite) {
  const Configuration sample = Sample();
  const auto text = ToJson(sample).dump(2);
  EXPECT_EQ(FromJson(nlohmann::json::parse(text)), sample);
  Configuration partial;
  partial.values[*FindSetting("channel")] = "11";
  EXPECT_EQ(FromJson(nlohmann::json::parse(ToJson(partial).dump())), partial);

  for (const char* refused :
       {R"([])", R"({"wireless": {}})", R"({"schema": 2})", R"({"schema": 1, "ip": []})",
        R"({"schema": 1, "wireless": {"channel": 11}})",
        R"({"schema": 1, "wireless": {"authorizedTable": "001122334455"}})",
        R"({"schema": 1, "wireless": {"authorizedTable": [1]}})",
        R"({"schema": 1, "address": 7})"}) {
    EXPECT_FALSE(FromJson(nlohmann::json::parse(refused))) << refused;
  }
}

TEST(ConfigurationTest, ComparesTheSettingsBothSidesHaveAndTheTablesAsSets) {
  Configuration a;
  Configuration b;
  const auto set = [](Configuration& c, std::string_view key, std::string value) {
    c.values[*FindSetting(key)] = std::move(value);
  };
  set(a, "channel", "6");
  set(b, "channel", "11");
  set(a, "essid", "office");
  set(b, "essid", "office");
  set(a, "description", "only on one side");
  set(b, "mode", "AP");
  a.authorizedTable = {"0A0B0C0D0E0F", "001122334455"};
  b.authorizedTable = {"001122334455", "665544332211"};

  std::vector<std::string> lines;
  for (const auto& difference : Compare(a, b)) lines.push_back(FormatDifference(difference));
  EXPECT_EQ(lines,
            (std::vector<std::string>{"Channel ID: 6 -> 11", "Authorized MAC: - 0A0B0C0D0E0F",
                                      "Authorized MAC: + 665544332211"}));
  b.authorizedTable.reset();
  EXPECT_EQ(Compare(a, b).size(), 1U);
  EXPECT_TRUE(Compare(a, a).empty());
}

}  // namespace
}  // namespace kelvo::fleet
