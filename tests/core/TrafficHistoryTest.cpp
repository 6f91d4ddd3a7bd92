// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "statistics/TrafficHistory.h"

namespace kelvo::statistics {
namespace {

using std::chrono::seconds;

// Per second; every counter not named here counts 7/s and belongs to no series.
const std::map<std::string_view, double> kRates = {
    {"ethernet_rx_bytes", 9000},
    {"ethernet_tx_bytes", 14000},
    {"wireless_rx_unicast", 25},
    {"wireless_rx_broadcast", 3},
    {"wireless_rx_multicast", 1},
    {"wireless_tx_unicast", 30},
    {"wireless_tx_broadcast", 2},
    {"wireless_tx_multicast", 1},
    // The errors: 13/s together.
    {"ethernet_rx_crc_errors", 1},
    {"ethernet_rx_alignment_errors", 1},
    {"ethernet_rx_code_errors", 1},
    {"ethernet_rx_false_carrier", 1},
    {"ethernet_rx_undersize", 1},
    {"ethernet_rx_oversize", 1},
    {"ethernet_rx_fragments", 1},
    {"ethernet_rx_jabbers", 3},
    {"ethernet_tx_crc_errors", 1},
    {"ethernet_tx_late_collisions", 1},
    {"ethernet_tx_excessive_collisions", 1},
};

CounterValues CountersAfter(double uptime, bool wireless) {
  CounterValues values{};
  for (std::size_t i = 0; i < kCounterCount; ++i) {
    if (!wireless && ViewOf(kCounters[i].column) == View::Wireless) continue;
    const auto rate = kRates.find(kCounters[i].key);
    values[i] = static_cast<std::uint32_t>((rate == kRates.end() ? 7 : rate->second) * uptime);
  }
  return values;
}

TEST(TrafficHistory, RatesSilenceRestartPauseAndSpanOverARunOfReads) {
  enum class Then { Nothing, Pause, Resume };
  struct Step {
    int at;                        // seconds into the run
    std::optional<double> uptime;  // the device's; nullopt: no reply
    bool wireless;                 // the reply holds the wireless block
    Then then;
    std::size_t points;  // shown afterwards
    bool fresh;          // the newest shown point is this read's
    std::string status;
  };
  const std::string restarted = "127.0.0.2 restarted; its counters count again from 08:00:06 UTC";
  const std::vector<Step> steps = {
      {0, 100, true, Then::Nothing, 0, false, ""},
      {1, 101, true, Then::Nothing, 1, true, ""},
      {2, 102, true, Then::Nothing, 2, true, ""},
      {3, std::nullopt, true, Then::Nothing, 2, false, "No reply from 127.0.0.2 for 1 s"},
      {4, std::nullopt, true, Then::Nothing, 2, false, "No reply from 127.0.0.2 for 2 s"},
      // The mean over the silence, not three seconds' worth in one.
      {5, 105, true, Then::Nothing, 3, true, ""},
      {6, 0.5, true, Then::Nothing, 3, false, restarted},
      {7, 1.5, true, Then::Pause, 4, true, restarted + " - Paused at 08:00:07 UTC"},
      // Paused: the reads go on unseen, one of them without the wireless block.
      {8, 2.5, false, Then::Nothing, 4, false, restarted + " - Paused at 08:00:07 UTC"},
      {9, 3.5, true, Then::Resume, 6, true, restarted},
      // Five minutes on: the points before 08:00:05 drop out, then the restart's note.
      {305, 299.5, true, Then::Nothing, 5, true, restarted},
      {307, 301.5, true, Then::Nothing, 5, true, ""},
  };
  TrafficHistory history("127.0.0.2");
  EXPECT_EQ(history.Status(), "Waiting for the first reply from 127.0.0.2...");
  EXPECT_EQ(history.ShownEnd(), std::nullopt);
  const RateTracker::Clock::time_point start{seconds(1000)};
  const std::chrono::system_clock::time_point wall{seconds(1'800'000'000)};
  std::string csvAtPause;
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "at " << step.at);
    TrafficRead read{start + seconds(step.at), wall + seconds(step.at), std::nullopt};
    if (step.uptime) read.counters = CountersAfter(*step.uptime, step.wireless);
    history.Add(read);
    if (step.then == Then::Pause) {
      history.Pause();
      csvAtPause = history.Csv();
    }
    if (step.then == Then::Resume) {
      EXPECT_EQ(history.Csv(), csvAtPause);
      EXPECT_EQ(history.ShownEnd(), wall + seconds(7));
      history.Resume();
    }
    EXPECT_EQ(history.ShownEnd(), history.Paused() ? wall + seconds(7) : read.wallTime);
    ASSERT_EQ(history.Points().size(), step.points);
    const auto& points = history.Points();
    EXPECT_EQ(!points.empty() && points.back().wallTime == read.wallTime, step.fresh);
    EXPECT_EQ(history.Status(), step.status);
    for (const TrafficPoint& point : history.Points()) {
      EXPECT_GE(point.at, read.at - TrafficHistory::kSpan);
      EXPECT_EQ(point.values[0], 9000);
      EXPECT_EQ(point.values[1], 14000);
      EXPECT_EQ(point.values[4], 13);
      // The read without the wireless block has no wireless rates.
      const bool lacking = point.wallTime == wall + seconds(8);
      EXPECT_EQ(point.values[2], lacking ? std::nullopt : std::optional<double>(29));
      EXPECT_EQ(point.values[3], lacking ? std::nullopt : std::optional<double>(33));
    }
  }
  EXPECT_EQ(history.Csv(),
            "time (UTC),Ethernet receive (B/s),Ethernet transmit (B/s),Wireless receive "
            "(frames/s),Wireless transmit (frames/s),Ethernet errors (frames/s)\n"
            "2027-01-15T08:00:07.000Z,9000.000,14000.000,29.000,33.000,13.000\n"
            "2027-01-15T08:00:08.000Z,9000.000,14000.000,,,13.000\n"
            "2027-01-15T08:00:09.000Z,9000.000,14000.000,29.000,33.000,13.000\n"
            "2027-01-15T08:05:05.000Z,9000.000,14000.000,29.000,33.000,13.000\n"
            "2027-01-15T08:05:07.000Z,9000.000,14000.000,29.000,33.000,13.000\n");
}

TEST(TrafficHistory, RateUnitsAndTimes) {
  struct Case {
    TrafficUnit unit;
    double largest;
    double divisor;
    std::string_view name;
  };
  const std::vector<Case> cases = {
      {TrafficUnit::Bytes, 0, 1, "B/s"},
      {TrafficUnit::Bytes, 999.9, 1, "B/s"},
      {TrafficUnit::Bytes, 1000, 1e3, "kB/s"},
      {TrafficUnit::Bytes, 14e6, 1e6, "MB/s"},
      {TrafficUnit::Bytes, 3e12, 1e9, "GB/s"},
      {TrafficUnit::Frames, 33, 1, "frames/s"},
      {TrafficUnit::Frames, 2500, 1e3, "k frames/s"},
      {TrafficUnit::Frames, 1e7, 1e6, "M frames/s"},
  };
  for (const Case& c : cases) {
    const RateUnit unit = ChooseRateUnit(c.unit, c.largest);
    EXPECT_EQ(unit.divisor, c.divisor) << c.largest;
    EXPECT_EQ(unit.name, c.name) << c.largest;
  }
  const std::chrono::system_clock::time_point wall{std::chrono::milliseconds(1'800'000'000'042)};
  EXPECT_EQ(IsoUtc(wall), "2027-01-15T08:00:00.042Z");
}

}  // namespace
}  // namespace kelvo::statistics
