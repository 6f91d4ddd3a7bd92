// SPDX-License-Identifier: GPL-2.0-or-later
// What opening the configuration sheet costs against one simulated access point: the requests
// it sends and the wall time until the System page is filled, and the same for a visit of
// every tab (each tab press reads its page's group; the Wireless tab also fetches the
// authorised MAC table).
//
//   kelvo-bench-sheet-open [--runs 200] [--table N] [--apsim PATH]
//
// --table fills the access point's authorised MAC table with N entries first (0..128), as the
// Wireless tab fetches it entry by entry. Exit status 1 when a message was shown.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "mib/AgentValues.h"
#include "pages/ConfigurationSheet.h"
#include "snmp/AgentSession.h"
#include "snmp/SnmpComponent.h"
#include "snmp/WaitHook.h"
#include "ui/Timers.h"

namespace {

using Clock = std::chrono::steady_clock;

// The Statistic page's timer never ticks here; the wireless restart pause is not slept.
class IdleTimers final : public kelvo::ui::TimerService {
 public:
  class IdleTimer final : public kelvo::ui::Timer {
   public:
    void Start(std::chrono::milliseconds) override { active_ = true; }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }

   private:
    bool active_ = false;
  };
  std::unique_ptr<kelvo::ui::Timer> CreateTimer(std::function<void()>) override {
    return std::make_unique<IdleTimer>();
  }
  void Pause(std::chrono::milliseconds) override {}
};

struct Series {
  std::vector<double> wall;  // ms
  std::uint64_t requests = 0;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvo;
  const int runs = std::atoi(bench::Option(argc, argv, "--runs", "200").c_str());
  const int table = std::atoi(bench::Option(argc, argv, "--table", "0").c_str());
  const std::string apsim = bench::Option(argc, argv, "--apsim", KELVO_APSIM_PATH);
  if (runs < 1 || table < 0 || table > 128) {
    std::fprintf(stderr, "usage: %s [--runs N >= 1] [--table 0..128] [--apsim PATH]\n", argv[0]);
    return 2;
  }
  const std::string host = "127.0.0.2";
  const auto rig = bench::StartRig(apsim, 1);
  if (!rig) return 1;
  const auto& simulator = rig->simulator;
  snmp::AgentSession& session = *rig->session;
  bench::CollectingPrompter& prompter = rig->prompter;
  session.SetWriteCommunity("admin");
  mib::AgentValues values;
  IdleTimers timers;
  pages::PageContext context{session, values, timers, {}};
  pages::ConfigurationSheet sheet(context);

  if (table > 0) {
    // The Wireless page stores its list the way the device expects it.
    sheet.Open(host);
    sheet.PressTab(pages::ConfigurationSheet::kWireless);
    for (int i = 0; i < table; ++i) {
      char address[13];
      std::snprintf(address, sizeof address, "02AA0000%04X", i);
      sheet.Wireless().InputMacAddress().SetText(address);
      sheet.Wireless().Add();
    }
    sheet.Wireless().StoreAuthorizedTable();
    sheet.CloseBox();
  }

  const auto requests = [&] { return session.Component().RequestsSent(); };
  Series open;
  Series visit;
  for (int run = 0; run < runs; ++run) {
    std::uint64_t before = requests();
    auto start = Clock::now();
    sheet.Open(host);
    open.wall.push_back(bench::Milliseconds(Clock::now() - start));
    open.requests += requests() - before;

    before = requests();
    start = Clock::now();
    for (int tab = pages::ConfigurationSheet::kIpConfig; tab <= pages::ConfigurationSheet::kAbout;
         ++tab) {
      sheet.PressTab(tab);
    }
    visit.wall.push_back(bench::Milliseconds(Clock::now() - start));
    visit.requests += requests() - before;
    sheet.CloseBox();
  }

  std::printf("configuration sheet against %s:%u, %d runs, authorised table of %d entries\n",
              host.c_str(), simulator->Port(), runs, table);
  std::printf("open (groups 1 and 2):   %.1f requests  %s\n",
              static_cast<double>(open.requests) / runs,
              bench::FormatSummary(bench::Summarise(open.wall), "ms").c_str());
  std::printf("visit of the five tabs:  %.1f requests  %s\n",
              static_cast<double>(visit.requests) / runs,
              bench::FormatSummary(bench::Summarise(visit.wall), "ms").c_str());
  std::printf("messages shown: %zu\n", prompter.messages.size());
  for (const auto& message : prompter.messages) std::printf("  %s\n", message.c_str());
  return prompter.messages.empty() ? 0 : 1;
}
