// SPDX-License-Identifier: GPL-2.0-or-later
#include "statistics/TrafficHistory.h"

#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <vector>

namespace kelvo::statistics {
namespace {

using std::chrono::system_clock;

// The counters each series adds up, by key, in order of kTrafficSeries.
const std::array<std::initializer_list<std::string_view>, kTrafficSeriesCount> kSeriesKeys = {{
    {"ethernet_rx_bytes"},
    {"ethernet_tx_bytes"},
    {"wireless_rx_unicast", "wireless_rx_broadcast", "wireless_rx_multicast"},
    {"wireless_tx_unicast", "wireless_tx_broadcast", "wireless_tx_multicast"},
    // Frames lost to a fault on the wire or in the link, in either direction.
    {"ethernet_rx_crc_errors", "ethernet_rx_alignment_errors", "ethernet_rx_code_errors",
     "ethernet_rx_false_carrier", "ethernet_rx_undersize", "ethernet_rx_oversize",
     "ethernet_rx_fragments", "ethernet_rx_jabbers", "ethernet_tx_crc_errors",
     "ethernet_tx_late_collisions", "ethernet_tx_excessive_collisions"},
}};

const std::array<std::vector<std::size_t>, kTrafficSeriesCount>& SeriesCounters() {
  static const auto counters = [] {
    std::array<std::vector<std::size_t>, kTrafficSeriesCount> indices;
    for (std::size_t s = 0; s < kTrafficSeriesCount; ++s) {
      // A key missing from the counter table is a programming error.
      for (const std::string_view key : kSeriesKeys[s])
        indices[s].push_back(CounterByKey(key).value());
    }
    return indices;
  }();
  return counters;
}

std::string ClockTime(system_clock::time_point time) {
  const std::time_t seconds = system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &utc);
  return std::string(text) + " UTC";
}

}  // namespace

RateUnit ChooseRateUnit(TrafficUnit unit, double largest) {
  static constexpr std::array<RateUnit, 4> kBytes = {
      {{1, "B/s"}, {1e3, "kB/s"}, {1e6, "MB/s"}, {1e9, "GB/s"}}};
  static constexpr std::array<RateUnit, 3> kFrames = {
      {{1, "frames/s"}, {1e3, "k frames/s"}, {1e6, "M frames/s"}}};
  const auto pick = [largest](const auto& units) {
    RateUnit chosen = units.front();
    for (const RateUnit& candidate : units) {
      if (largest >= candidate.divisor) chosen = candidate;
    }
    return chosen;
  };
  return unit == TrafficUnit::Bytes ? pick(kBytes) : pick(kFrames);
}

std::string IsoUtc(system_clock::time_point time) {
  const auto since = time.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds);
  const std::time_t whole = seconds.count();
  std::tm utc{};
  gmtime_r(&whole, &utc);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis.count()));
  return text;
}

TrafficHistory::TrafficHistory(std::string host) : host_(std::move(host)) {}

void TrafficHistory::Add(const TrafficRead& read) {
  lastRead_ = Moment{read.at, read.wallTime};
  lastReplied_ = read.counters.has_value();
  live_.end = read.wallTime;
  if (read.counters) {
    lastReply_ = read.at;
    const RateTracker::Sample sample = tracker_.Add(*read.counters, read.at);
    if (sample.outcome == RateTracker::Outcome::Restarted) restart_ = *lastRead_;
    if (sample.outcome == RateTracker::Outcome::Rates) {
      TrafficPoint point{read.at, read.wallTime, {}};
      for (std::size_t s = 0; s < kTrafficSeriesCount; ++s) {
        double sum = 0;
        bool whole = true;
        for (const std::size_t counter : SeriesCounters()[s]) {
          const auto& rate = sample.perSecond[counter];
          if (!rate)
            whole = false;
          else
            sum += *rate;
        }
        if (whole) point.values[s] = sum;
      }
      live_.points.push_back(point);
    }
  }
  const auto oldest = read.at - kSpan;
  while (!live_.points.empty() && live_.points.front().at < oldest) live_.points.pop_front();
  if (restart_ && restart_->at < oldest) restart_.reset();
}

void TrafficHistory::Pause() {
  if (!frozen_) frozen_ = live_;
}

void TrafficHistory::Resume() { frozen_.reset(); }

const std::deque<TrafficPoint>& TrafficHistory::Points() const {
  return frozen_ ? frozen_->points : live_.points;
}

std::optional<system_clock::time_point> TrafficHistory::ShownEnd() const {
  return frozen_ ? frozen_->end : live_.end;
}

std::string TrafficHistory::Status() const {
  std::string status;
  if (!lastRead_) {
    status = "Waiting for the first reply from " + host_ + "...";
  } else if (!lastReplied_) {
    status = "No reply from " + host_;
    if (lastReply_) {
      const auto silent = std::chrono::floor<std::chrono::seconds>(lastRead_->at - *lastReply_);
      status += " for " + std::to_string(silent.count()) + " s";
    }
  } else if (restart_) {
    status = host_ + " restarted; its counters count again from " + ClockTime(restart_->wallTime);
  }
  if (frozen_) {
    if (!status.empty()) status += " - ";
    status += frozen_->end ? "Paused at " + ClockTime(*frozen_->end) : std::string("Paused");
  }
  return status;
}

std::string TrafficHistory::Csv() const {
  std::string csv = "time (UTC)";
  for (const TrafficSeriesInfo& info : kTrafficSeries) {
    csv.append(",").append(info.name).append(" (");
    csv.append(ChooseRateUnit(info.unit, 0).name).append(")");
  }
  csv += "\n";
  for (const TrafficPoint& point : Points()) {
    csv += IsoUtc(point.wallTime);
    for (const auto& value : point.values) {
      csv += ',';
      if (!value) continue;
      char text[32];
      std::snprintf(text, sizeof text, "%.3f", *value);
      csv += text;
    }
    csv += "\n";
  }
  return csv;
}

}  // namespace kelvo::statistics
