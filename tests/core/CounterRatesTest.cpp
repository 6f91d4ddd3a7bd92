// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "statistics/CounterRates.h"

namespace kelvo::statistics {
namespace {

using Outcome = RateTracker::Outcome;
using std::chrono::milliseconds;

constexpr std::uint32_t kTop = 0xFFFFFFFF;

TEST(CounterRates, AdvanceTellsWrapsFromFalls) {
  struct Case {
    std::uint32_t before, after;
    std::optional<std::uint32_t> advance;
  };
  const std::vector<Case> cases = {
      {0, 0, 0},
      {10, 25, 15},
      {kTop - 9, 5, 15},  // across 2^32
      {kTop, 0, 1},
      {0x80000001, 0, 0x7FFFFFFF},    // just under half the range: still a wrap
      {0x80000000, 0, std::nullopt},  // half the range: a fall
      {1'000'000, 10, std::nullopt},  // a restart
      {kTop, kTop - 1, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CounterAdvance(c.before, c.after), c.advance) << c.before << " -> " << c.after;
  }
}

// One tracker fed a history of reads of two counters (the others absent); each step says what
// the read should give. Counter a counts 1000/s from just below 2^32, b 20/s.
TEST(CounterRates, TrackerOverWrapsRestartsGapsAndUnevenPolls) {
  constexpr std::uint32_t a0 = kTop - 12999;
  constexpr std::uint64_t kWrapped = std::uint64_t{1} << 32;
  struct Step {
    int atMs;
    std::optional<std::uint32_t> a, b;
    Outcome outcome;
    std::optional<double> rateA, rateB;
    std::uint64_t totalA;
  };
  const std::vector<Step> steps = {
      {0, a0, 50, Outcome::First, std::nullopt, std::nullopt, a0},
      // 2.5 s, then an uneven 0.5 s.
      {2500, a0 + 2500, 50, Outcome::Rates, 1000.0, 0.0, a0 + 2500ULL},
      {3000, a0 + 3000, 60, Outcome::Rates, 1000.0, 20.0, a0 + 3000ULL},
      // Two polls missed: the rate is the mean over the 7.5 s, not a spike.
      {10500, a0 + 10500, 210, Outcome::Rates, 1000.0, 20.0, a0 + 10500ULL},
      // a wraps; its total counts on.
      {12500, a0 + 12500, 250, Outcome::Rates, 1000.0, 20.0, a0 + 12500ULL},
      {13500, 500, 270, Outcome::Rates, 1000.0, 20.0, kWrapped + 500},
      // b missing from one reply: no rate for it, and the next spans both seconds.
      {14500, 1500, std::nullopt, Outcome::Rates, 1000.0, std::nullopt, kWrapped + 1500},
      {15500, 2500, 310, Outcome::Rates, 1000.0, 20.0, kWrapped + 2500},
      // The device restarted: b fell, so a's rise is no rate either. A new baseline.
      {16500, 3000, 5, Outcome::Restarted, std::nullopt, std::nullopt, 3000},
      {17500, 4000, 25, Outcome::Rates, 1000.0, 20.0, 4000},
      // A read stamped like the one before gives no rate but moves the baseline.
      {17500, 4100, 25, Outcome::Rates, std::nullopt, std::nullopt, 4100},
      {18500, 5100, 45, Outcome::Rates, 1000.0, 20.0, 5100},
  };
  RateTracker tracker;
  const RateTracker::Clock::time_point start{};
  for (std::size_t n = 0; n < steps.size(); ++n) {
    const Step& step = steps[n];
    SCOPED_TRACE(testing::Message() << "step " << n);
    CounterValues values{};
    values[0] = step.a;
    values[17] = step.b;
    const auto sample = tracker.Add(values, start + milliseconds(step.atMs));
    EXPECT_EQ(sample.outcome, step.outcome);
    EXPECT_EQ(sample.perSecond[0], step.rateA);
    EXPECT_EQ(sample.perSecond[17], step.rateB);
    EXPECT_EQ(sample.perSecond[1], std::nullopt);
    EXPECT_EQ(tracker.Totals()[0], step.totalA);
  }
  EXPECT_EQ(tracker.Restarts(), 1U);
}

}  // namespace
}  // namespace kelvo::statistics
