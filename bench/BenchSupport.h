// SPDX-License-Identifier: GPL-2.0-or-later
// What the benchmarks share: the simulated access points as a child process, a prompter that
// collects what would have been shown, and the summary of a series of timings.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "snmp/AgentSession.h"
#include "snmp/WaitHook.h"
#include "ui/Prompter.h"

namespace kelvo::bench {

// kelvo-apsim started with `arguments` plus "--port 0"; it is asked to quit (then terminated,
// then killed) when the object goes.
class SimulatorProcess {
 public:
  // nullptr, with the reason in error, when it did not print its ready line within 10 s.
  static std::unique_ptr<SimulatorProcess> Start(const std::string& program,
                                                 const std::vector<std::string>& arguments,
                                                 std::string& error);
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  std::uint16_t Port() const { return port_; }

 private:
  SimulatorProcess(pid_t pid, int toChild, int fromChild)
      : pid_(pid), toChild_(toChild), fromChild_(fromChild) {}

  pid_t pid_;
  int toChild_;
  int fromChild_;
  std::uint16_t port_ = 0;
};

// Keeps every message instead of showing it; a benchmark run must not produce any.
class CollectingPrompter final : public ui::Prompter {
 public:
  void ShowMessage(std::string_view text, std::string_view, ui::MessageIcon) override {
    messages.emplace_back(text);
  }
  ui::Answer AskYesNo(std::string_view text, std::string_view, ui::MessageIcon) override {
    messages.emplace_back(text);
    return ui::Answer::No;
  }
  std::vector<std::string> messages;
};

class NoBusy final : public ui::BusyIndicator {
 public:
  void BeginBusy() override {}
  void EndBusy() override {}
};

// Simulated access points (count of them from 127.0.0.2) and a session pointed at them.
struct BenchRig {
  std::unique_ptr<SimulatorProcess> simulator;
  snmp::PollWaitHook wait;
  CollectingPrompter prompter;
  NoBusy busy;
  std::unique_ptr<snmp::AgentSession> session;
};

// nullptr, with the reason printed on stderr, when the simulator or the session cannot start.
std::unique_ptr<BenchRig> StartRig(const std::string& apsim, int count);

struct Summary {
  std::size_t count = 0;
  double median = 0;
  double p10 = 0;
  double p90 = 0;
  double min = 0;
  double max = 0;
};

// Median, 10th and 90th percentile (nearest rank), minimum and maximum of the samples.
Summary Summarise(std::vector<double> samples);

// "median 1.234  p10 ...  p90 ...  min ...  max ..." with the unit after each figure.
std::string FormatSummary(const Summary& summary, std::string_view unit);

double Milliseconds(std::chrono::steady_clock::duration duration);
double Microseconds(std::chrono::steady_clock::duration duration);

// The value after `name` in argv, or fallback.
std::string Option(int argc, char** argv, std::string_view name, std::string fallback);

}  // namespace kelvo::bench
