// SPDX-License-Identifier: GPL-2.0-or-later
// Traffic over time: the counters as numbers, one quiet read of them on a session of its own,
// and their per-second rates from successive reads.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "snmp/AgentSession.h"
#include "statistics/CounterBlocks.h"

namespace kelvo::statistics {

// The counters of one read, indexed like kCounters; nullopt where the reply held none.
using CounterValues = std::array<std::optional<std::uint32_t>, kCounterCount>;

// The blocks of the session's last reply as numbers. Stops with false at the first variable
// that is missing or not an octet string, as the page's extraction does.
bool ExtractCounterValues(snmp::AgentSession& session, CounterValues& values);

// Group 3 read for its numbers rather than for the page.
class CounterGroup final : public snmp::AgentGroup {
 public:
  std::vector<std::string> ReadIdentifiers() const override;
  bool Extract(snmp::AgentSession& session) override;
  void BuildWrite(snmp::AgentSession& /*session*/) override {}

  bool Replied() const { return replied_; }
  const CounterValues& Values() const { return values_; }

 private:
  bool replied_ = false;
  CounterValues values_{};
};

// Reads the three counter blocks as the Statistic page's poll does: group 3, read community,
// quiet, the read time-out. nullopt when no reply came or it held no counters. The session's
// own group 3 handler, if any, is left out of this read and kept.
std::optional<CounterValues> ReadCounters(snmp::AgentSession& session, const std::string& host);

// Rates from successive reads of one access point's counters. A counter is 32 bits: a value
// below the previous one is a wrap when counting on across 2^32 reaches it in less than half the
// range; any other fall means the device restarted, which starts every counter's baseline again
// instead of giving a rate. Each rate spans the real time since that counter's previous value,
// so a missed or late poll gives the mean over the gap, never a spike.
class RateTracker {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Outcome {
    First,      // no previous read: a baseline only
    Rates,      // rates of the counters present in this read and a previous one
    Restarted,  // the device restarted: a new baseline
  };
  struct Sample {
    Outcome outcome = Outcome::First;
    // Per second, indexed like kCounters; nullopt for a counter without a rate this time.
    std::array<std::optional<double>, kCounterCount> perSecond{};
  };

  Sample Add(const CounterValues& values, Clock::time_point at);

  // Each counter counted on across its wraps: the device's value plus 2^32 per wrap seen
  // since the tracker's first read or the device's last restart. nullopt before a value came.
  const std::array<std::optional<std::uint64_t>, kCounterCount>& Totals() const { return totals_; }
  std::size_t Restarts() const { return restarts_; }

 private:
  struct Last {
    std::uint32_t value = 0;
    Clock::time_point at;
  };
  std::array<std::optional<Last>, kCounterCount> last_{};
  std::array<std::optional<std::uint64_t>, kCounterCount> totals_{};
  std::size_t restarts_ = 0;
};

// The forward distance from `before` to `after` on a 32-bit counter, or nullopt when the fall
// from `before` to `after` cannot be a wrap (see RateTracker).
std::optional<std::uint32_t> CounterAdvance(std::uint32_t before, std::uint32_t after);

}  // namespace kelvo::statistics
