// SPDX-License-Identifier: GPL-2.0-or-later
// The Traffic window's model: one access point's counter reads turned into five rate series
// over the last five minutes, a status line for silence and restarts, a pause that freezes what
// is shown while the reads go on, and the CSV text of what is shown.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "statistics/CounterRates.h"

namespace kelvo::statistics {

enum class TrafficUnit { Bytes, Frames };

// The series in their order in the window, the CSV and TrafficPoint::values.
enum class TrafficSeries {
  EthernetReceive,
  EthernetTransmit,
  WirelessReceive,
  WirelessTransmit,
  EthernetErrors,
};
inline constexpr std::size_t kTrafficSeriesCount = 5;

struct TrafficSeriesInfo {
  TrafficSeries series;
  std::string_view name;  // the legend's text
  TrafficUnit unit;
};

inline constexpr std::array<TrafficSeriesInfo, kTrafficSeriesCount> kTrafficSeries = {{
    {TrafficSeries::EthernetReceive, "Ethernet receive", TrafficUnit::Bytes},
    {TrafficSeries::EthernetTransmit, "Ethernet transmit", TrafficUnit::Bytes},
    {TrafficSeries::WirelessReceive, "Wireless receive", TrafficUnit::Frames},
    {TrafficSeries::WirelessTransmit, "Wireless transmit", TrafficUnit::Frames},
    {TrafficSeries::EthernetErrors, "Ethernet errors", TrafficUnit::Frames},
}};

// A unit for showing rates whose largest value is `largest`: B/s, kB/s, MB/s, GB/s (powers of
// 1000), or frames/s, k frames/s, M frames/s. Rates are divided by `divisor` to be shown in it.
struct RateUnit {
  double divisor;
  std::string_view name;
};
RateUnit ChooseRateUnit(TrafficUnit unit, double largest);

// One counter read of the access point; counters is nullopt when it did not reply.
struct TrafficRead {
  RateTracker::Clock::time_point at;               // for rates and the window's span
  std::chrono::system_clock::time_point wallTime;  // for the time axis, the CSV and status
  std::optional<CounterValues> counters;
};

struct TrafficPoint {
  RateTracker::Clock::time_point at;
  std::chrono::system_clock::time_point wallTime;
  // Per second, in order of kTrafficSeries; nullopt where a counter the series adds up had no
  // rate this time.
  std::array<std::optional<double>, kTrafficSeriesCount> values{};
};

class TrafficHistory {
 public:
  static constexpr std::chrono::seconds kSpan{300};

  explicit TrafficHistory(std::string host);

  // Reads arrive in time order. A reply after silence gives the mean rates over the silence;
  // a restarted device gives no point for that read and a status line that says so.
  void Add(const TrafficRead& read);

  // While paused the shown points, end and CSV stay as they were; reads still go into the
  // history, so that resuming shows everything of the last five minutes without a gap.
  void Pause();
  void Resume();
  bool Paused() const { return frozen_.has_value(); }

  // The points shown, oldest first, all within kSpan before ShownEnd.
  const std::deque<TrafficPoint>& Points() const;
  // The right end of the shown time axis: the last read's wall time (the pause's, paused);
  // nullopt before the first read.
  std::optional<std::chrono::system_clock::time_point> ShownEnd() const;
  // Empty while replies come and nothing is worth saying.
  std::string Status() const;

  // The shown points as CSV: a header with units, then one row per point with its time in
  // ISO 8601 UTC and each rate (empty where the point has none).
  std::string Csv() const;

 private:
  struct Shown {
    std::deque<TrafficPoint> points;
    std::optional<std::chrono::system_clock::time_point> end;
  };

  struct Moment {
    RateTracker::Clock::time_point at;
    std::chrono::system_clock::time_point wallTime;
  };

  std::string host_;
  RateTracker tracker_;
  Shown live_;
  std::optional<Shown> frozen_;  // while paused
  std::optional<Moment> lastRead_;
  bool lastReplied_ = false;
  std::optional<RateTracker::Clock::time_point> lastReply_;
  // The read that found the device restarted, while it is within the span.
  std::optional<Moment> restart_;
};

// "2026-12-08T23:11:23.500Z".
std::string IsoUtc(std::chrono::system_clock::time_point time);

}  // namespace kelvo::statistics
