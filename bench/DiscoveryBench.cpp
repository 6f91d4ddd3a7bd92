// SPDX-License-Identifier: GPL-2.0-or-later
// Discovery of many access points: how many are listed and the time from the broadcast to the
// last row, over a series of runs against kelvo-apsim on loopback. Also counts the replies the
// manager's socket dropped because its receive buffer was full.
//
//   kelvo-bench-discovery [--count 250] [--runs 20] [--apsim PATH] [--rcvbuf BYTES]
//                         [--stall MS]
//
// --rcvbuf sets SO_RCVBUF on the manager's socket before the first run, to compare buffer
// sizes; --stall keeps the manager from reading for MS after the broadcast, as a busy user
// interface thread would, so that the whole burst must fit the buffer. Exit status 1 when a
// run listed fewer than --count access points.
#include <linux/sock_diag.h>
#include <sys/socket.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "snmp/AgentSession.h"
#include "snmp/SnmpComponent.h"
#include "snmp/WaitHook.h"

namespace {

using Clock = std::chrono::steady_clock;
using kelvo::bench::Milliseconds;

constexpr auto kRunLimit = std::chrono::seconds(5);

// Datagrams the kernel dropped on this socket so far (full receive buffer).
std::uint32_t DroppedDatagrams(int fd) {
  std::array<std::uint32_t, SK_MEMINFO_VARS> info{};
  socklen_t length = sizeof info;
  if (::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, info.data(), &length) != 0) return 0;
  return info[SK_MEMINFO_DROPS];
}

int ReceiveBufferBytes(int fd) {
  int bytes = 0;
  socklen_t length = sizeof bytes;
  ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvo;
  const int count = std::atoi(bench::Option(argc, argv, "--count", "250").c_str());
  const int runs = std::atoi(bench::Option(argc, argv, "--runs", "20").c_str());
  const int rcvbuf = std::atoi(bench::Option(argc, argv, "--rcvbuf", "0").c_str());
  const int stallMs = std::atoi(bench::Option(argc, argv, "--stall", "0").c_str());
  const std::string apsim = bench::Option(argc, argv, "--apsim", KELVO_APSIM_PATH);
  if (count < 1 || count > 4000 || runs < 1) {
    std::fprintf(
        stderr, "usage: %s [--count 1..4000] [--runs N] [--apsim PATH] [--rcvbuf B] [--stall MS]\n",
        argv[0]);
    return 2;
  }

  const auto rig = bench::StartRig(apsim, count);
  if (!rig) return 1;
  const auto& simulator = rig->simulator;
  snmp::AgentSession& session = *rig->session;
  bench::CollectingPrompter& prompter = rig->prompter;
  snmp::PollWaitHook& wait = rig->wait;
  session.SetDiscoveryTargets({"127.255.255.255"});
  snmp::SnmpComponent& socket = session.Component();
  const int fd = socket.Descriptor();
  if (rcvbuf > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);

  std::printf(
      "discovery of %d simulated access points (127.0.0.2..), broadcast to "
      "127.255.255.255:%u, %d runs, receive buffer %d bytes, first read after %d ms\n",
      count, simulator->Port(), runs, ReceiveBufferBytes(fd), stallMs);
  std::vector<double> lastRow;
  std::vector<double> firstRow;
  int incompleteRuns = 0;
  std::uint32_t totalDrops = 0;
  for (int run = 1; run <= runs; ++run) {
    const std::uint32_t dropsBefore = DroppedDatagrams(fd);
    const auto start = Clock::now();
    session.Discover();
    if (stallMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
    const auto deadline = start + kRunLimit;
    std::size_t listed = 0;
    Clock::time_point first{};
    Clock::time_point last = start;
    while (listed < static_cast<std::size_t>(count) && Clock::now() < deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (wait.WaitReadable(fd, left)) socket.ProcessIncoming();
      if (session.AccessPoints().size() != listed) {
        last = Clock::now();
        if (listed == 0) first = last;
        listed = session.AccessPoints().size();
      }
    }
    const std::uint32_t drops = DroppedDatagrams(fd) - dropsBefore;
    totalDrops += drops;
    if (listed < static_cast<std::size_t>(count)) ++incompleteRuns;
    lastRow.push_back(Milliseconds(last - start));
    if (listed > 0) firstRow.push_back(Milliseconds(first - start));
    std::printf("run %2d: listed %3zu/%d  first row %7.3f ms  last row %8.3f ms  dropped %u\n", run,
                listed, count, listed > 0 ? Milliseconds(first - start) : 0.0,
                Milliseconds(last - start), drops);
    // Late duplicates of this run must not take buffer space from the next one.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    socket.ProcessIncoming();
  }

  std::printf("broadcast to first row: %s\n",
              bench::FormatSummary(bench::Summarise(firstRow), "ms").c_str());
  std::printf("broadcast to last row:  %s\n",
              bench::FormatSummary(bench::Summarise(lastRow), "ms").c_str());
  std::printf("runs that missed access points: %d of %d; replies dropped by the socket: %u\n",
              incompleteRuns, runs, totalDrops);
  for (const std::string& message : prompter.messages) {
    std::printf("message shown: %s\n", message.c_str());
  }
  return incompleteRuns == 0 && prompter.messages.empty() ? 0 : 1;
}
