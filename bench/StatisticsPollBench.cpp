// SPDX-License-Identifier: GPL-2.0-or-later
// What watching the counters costs: the Statistic page's poll (one GetRequest of the three
// counter blocks, decoded into the 44 value texts) against one simulated access point. The
// page's own timer ticks are fired by this program, first back to back, then at the page's
// interval. Reports this process's CPU time (getrusage, user + system) per tick and per minute
// of polling (24 ticks at 2500 ms), and the wall time of each poll. The simulator's own CPU
// time is not included.
//
//   kelvo-bench-statistics-poll [--ticks 2000] [--paced-ticks 24] [--interval 2500]
//                               [--apsim PATH]
//
// Exit status 1 when a poll did not bring back all three blocks whole.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "mib/AgentValues.h"
#include "pages/StatisticPage.h"
#include "snmp/AgentSession.h"
#include "snmp/SnmpComponent.h"
#include "snmp/WaitHook.h"
#include "statistics/CounterBlocks.h"
#include "ui/Timers.h"

namespace {

using Clock = std::chrono::steady_clock;
using kelvo::bench::Microseconds;

constexpr int kWarmUp = 50;
constexpr double kTicksPerMinute = 24;  // 60 s / 2500 ms

// The page's timer, fired by the benchmark instead of an event loop.
class HandTimers final : public kelvo::ui::TimerService {
 public:
  class HandTimer final : public kelvo::ui::Timer {
   public:
    explicit HandTimer(std::function<void()> onTick) : onTick_(std::move(onTick)) {}
    void Start(std::chrono::milliseconds) override { active_ = true; }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }
    void Fire() const {
      if (active_) onTick_();
    }

   private:
    std::function<void()> onTick_;
    bool active_ = false;
  };

  std::unique_ptr<kelvo::ui::Timer> CreateTimer(std::function<void()> onTick) override {
    auto timer = std::make_unique<HandTimer>(std::move(onTick));
    timer_ = timer.get();
    return timer;
  }
  void Pause(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }

  const HandTimer* Timer() const { return timer_; }

 private:
  HandTimer* timer_ = nullptr;
};

// User plus system CPU time of this process so far, in microseconds.
double CpuMicroseconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto micros = [](const timeval& t) {
    return t.tv_sec * 1e6 + static_cast<double>(t.tv_usec);
  };
  return micros(usage.ru_utime) + micros(usage.ru_stime);
}

// Whether the last reply carried the three blocks at their full sizes.
bool PollComplete(kelvo::snmp::AgentSession& session) {
  const kelvo::snmp::SnmpMessage& reply = session.Component().Message();
  if (reply.ErrorStatus() != 0 || reply.Count() != kelvo::statistics::kCounterBlocks.size()) {
    return false;
  }
  for (std::size_t b = 0; b < kelvo::statistics::kCounterBlocks.size(); ++b) {
    const kelvo::snmp::SnmpVariable* variable = reply.Item(b + 1);
    if (variable->Tag() != kelvo::snmp::ValueTag::OctetString ||
        variable->Bytes().size() != kelvo::statistics::kCounterBlocks[b].Bytes()) {
      return false;
    }
  }
  return true;
}

struct Phase {
  std::vector<double> wall;  // per poll, microseconds
  double cpu = 0;            // over the whole phase, microseconds
  double elapsed = 0;        // over the whole phase, microseconds
  int failures = 0;
};

void Report(const char* name, const Phase& phase) {
  const auto ticks = static_cast<double>(phase.wall.size());
  const double perTick = phase.cpu / ticks;
  std::printf("%s: %zu ticks in %.3f s\n", name, phase.wall.size(), phase.elapsed / 1e6);
  std::printf("  CPU per tick:   %.1f us\n", perTick);
  std::printf("  CPU per minute: %.3f ms (24 ticks)\n", perTick * kTicksPerMinute / 1e3);
  std::printf("  CPU share:      %.4f %% of one core over the phase\n",
              100.0 * phase.cpu / phase.elapsed);
  std::printf("  wall per poll:  %s\n",
              kelvo::bench::FormatSummary(kelvo::bench::Summarise(phase.wall), "us").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvo;
  const int ticks = std::atoi(bench::Option(argc, argv, "--ticks", "2000").c_str());
  const int pacedTicks = std::atoi(bench::Option(argc, argv, "--paced-ticks", "24").c_str());
  const int intervalMs = std::atoi(bench::Option(argc, argv, "--interval", "2500").c_str());
  const std::string apsim = bench::Option(argc, argv, "--apsim", KELVO_APSIM_PATH);
  if (ticks < 1 || pacedTicks < 0 || intervalMs < 0) {
    std::fprintf(stderr,
                 "usage: %s [--ticks N >= 1] [--paced-ticks M] [--interval MS] [--apsim PATH]\n",
                 argv[0]);
    return 2;
  }
  const std::string host = "127.0.0.2";
  const auto rig = bench::StartRig(apsim, 1);
  if (!rig) return 1;
  const auto& simulator = rig->simulator;
  snmp::AgentSession& session = *rig->session;
  bench::CollectingPrompter& prompter = rig->prompter;
  mib::AgentValues values;
  HandTimers timers;
  pages::PageContext context{session, values, timers, {}};
  pages::StatisticPage page(context);
  page.SetHost(host);
  page.ShowChanged(true);
  if (timers.Timer() == nullptr || !page.Polling()) {
    std::fprintf(stderr, "the page did not start its timer\n");
    return 1;
  }

  const auto run = [&](int count, std::chrono::milliseconds interval) {
    Phase phase;
    const double cpuStart = CpuMicroseconds();
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
      if (interval.count() > 0) std::this_thread::sleep_until(start + i * interval);
      const auto before = Clock::now();
      timers.Timer()->Fire();
      phase.wall.push_back(Microseconds(Clock::now() - before));
      if (!PollComplete(session)) ++phase.failures;
    }
    phase.elapsed = Microseconds(Clock::now() - start);
    phase.cpu = CpuMicroseconds() - cpuStart;
    return phase;
  };

  run(kWarmUp, std::chrono::milliseconds(0));
  const Phase fast = run(ticks, std::chrono::milliseconds(0));
  Phase paced;
  if (pacedTicks > 0) paced = run(pacedTicks, std::chrono::milliseconds(intervalMs));

  std::printf("statistics poll of %s:%u (3 blocks, 176 counter bytes)\n", host.c_str(),
              simulator->Port());
  Report("back to back", fast);
  if (pacedTicks > 0) {
    char name[64];
    std::snprintf(name, sizeof name, "every %d ms", intervalMs);
    Report(name, paced);
  }
  std::printf("last values: TotalBytesRx %s, wireless TxBeacon %s\n", page.CounterText(0).c_str(),
              page.CounterText(33).c_str());
  const int failures = fast.failures + paced.failures;
  std::printf("incomplete polls: %d, messages shown: %zu\n", failures, prompter.messages.size());
  return failures == 0 && prompter.messages.empty() ? 0 : 1;
}
