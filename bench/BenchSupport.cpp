// SPDX-License-Identifier: GPL-2.0-or-later
#include "BenchSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>

extern char** environ;

namespace kelvo::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Waits up to `timeout` for the child to end; true when it did.
bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace

std::unique_ptr<SimulatorProcess> SimulatorProcess::Start(const std::string& program,
                                                          const std::vector<std::string>& arguments,
                                                          std::string& error) {
  int input[2];
  int output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) {
    error = "pipe failed";
    return nullptr;
  }
  if (::pipe2(output, O_CLOEXEC) != 0) {
    ::close(input[0]);
    ::close(input[1]);
    error = "pipe failed";
    return nullptr;
  }
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.insert(argv.end(), {"--port", "0"});
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(output[1]);
  if (spawned != 0) {
    ::close(input[1]);
    ::close(output[0]);
    error = "cannot run " + program;
    return nullptr;
  }
  std::unique_ptr<SimulatorProcess> process(new SimulatorProcess(pid, input[1], output[0]));

  std::string line;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd pfd{output[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
      error = "no ready line within 10 s";
      return nullptr;
    }
    char buffer[256];
    const ssize_t n = ::read(output[0], buffer, sizeof buffer);
    if (n <= 0) {
      error = "it ended before it was ready";
      return nullptr;
    }
    line.append(buffer, static_cast<std::size_t>(n));
  }
  unsigned port = 0;
  if (std::sscanf(line.c_str(), "ready port=%u", &port) != 1 || port == 0 || port > 65535) {
    error = "unexpected first line: " + line;
    return nullptr;
  }
  process->port_ = static_cast<std::uint16_t>(port);
  return process;
}

SimulatorProcess::~SimulatorProcess() {
  static constexpr char kQuit[] = "quit\n";
  [[maybe_unused]] const ssize_t written = ::write(toChild_, kQuit, sizeof kQuit - 1);
  ::close(toChild_);
  if (!WaitForExit(pid_, std::chrono::seconds(3))) {
    ::kill(pid_, SIGTERM);
    if (!WaitForExit(pid_, std::chrono::seconds(2))) {
      ::kill(pid_, SIGKILL);
      WaitForExit(pid_, std::chrono::seconds(2));
    }
  }
  ::close(fromChild_);
}

Summary Summarise(std::vector<double> samples) {
  Summary summary;
  summary.count = samples.size();
  if (samples.empty()) return summary;
  std::sort(samples.begin(), samples.end());
  const auto rank = [&](double fraction) {
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size()));
    return samples[std::min(index, samples.size() - 1)];
  };
  const std::size_t middle = samples.size() / 2;
  summary.median =
      samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
  summary.p10 = rank(0.10);
  summary.p90 = rank(0.90);
  summary.min = samples.front();
  summary.max = samples.back();
  return summary;
}

std::string FormatSummary(const Summary& summary, std::string_view unit) {
  char text[256];
  const std::string u(unit);
  std::snprintf(text, sizeof text,
                "median %.3f %s  p10 %.3f %s  p90 %.3f %s  min %.3f %s  max %.3f %s  (n=%zu)",
                summary.median, u.c_str(), summary.p10, u.c_str(), summary.p90, u.c_str(),
                summary.min, u.c_str(), summary.max, u.c_str(), summary.count);
  return text;
}

double Milliseconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double Microseconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

std::string Option(int argc, char** argv, std::string_view name, std::string fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (name == argv[i]) return argv[i + 1];
  }
  return fallback;
}

std::unique_ptr<BenchRig> StartRig(const std::string& apsim, int count) {
  auto rig = std::make_unique<BenchRig>();
  std::string error;
  rig->simulator = SimulatorProcess::Start(
      apsim, {"--count", std::to_string(count), "--first", "127.0.0.2"}, error);
  if (!rig->simulator) {
    std::fprintf(stderr, "kelvo-apsim: %s\n", error.c_str());
    return nullptr;
  }
  auto component = snmp::SnmpComponent::Create(rig->wait);
  if (!component) {
    std::fprintf(stderr, "cannot set up the SNMP component\n");
    return nullptr;
  }
  rig->session =
      std::make_unique<snmp::AgentSession>(std::move(component), rig->prompter, rig->busy);
  rig->session->SetAgentPort(rig->simulator->Port());
  return rig;
}

}  // namespace kelvo::bench
