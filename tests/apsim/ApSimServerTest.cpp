// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-apsim as a program: real UDP on loopback, its control channel, its exit, and
// Net-SNMP's own command line tools as the manager.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "AgentPackets.h"
#include "support/ApSimProcess.h"

namespace kelvo::test {
namespace {

using Clock = std::chrono::steady_clock;

// A manager's socket on 127.0.0.1 that may broadcast.
class Manager {
 public:
  Manager() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
  }
  ~Manager() { ::close(fd_); }
  Manager(const Manager&) = delete;
  Manager& operator=(const Manager&) = delete;

  void Send(const std::vector<std::uint8_t>& packet, const std::string& address,
            std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    ASSERT_EQ(
        ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        static_cast<ssize_t>(packet.size()));
  }

  // The next reply and its sender, or nullopt after timeoutMs.
  std::optional<std::pair<std::string, Message>> Receive(int timeoutMs) {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) return std::nullopt;
    std::vector<std::uint8_t> packet(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd_, packet.data(), packet.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return std::nullopt;
    packet.resize(static_cast<std::size_t>(n));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    auto message = ParseMessage(packet);
    if (!message) return std::nullopt;
    return std::make_pair(std::string(text), *message);
  }

 private:
  int fd_ = -1;
};

struct Finished {
  int status = -1;
  std::string output;  // stdout and stderr
};

Finished RunShell(const std::string& command) {
  Finished finished;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return finished;
  std::array<char, 512> chunk{};
  while (std::fgets(chunk.data(), static_cast<int>(chunk.size()), pipe) != nullptr) {
    finished.output += chunk.data();
  }
  const int status = ::pclose(pipe);
  finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return finished;
}

TEST(ApSimServer, EachAccessPointAnswersFromItsOwnAddressAndBroadcastReachesAll) {
  ApSimProcess sim({.extraArguments = {"--fault", "127.0.0.4:silent"}});
  Manager manager;
  manager.Send(GetRequest("tundra", {Null("DeviceName")}), sim.Address(1), sim.Port());
  const auto reply = manager.Receive(2000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->first, "127.0.0.3");
  EXPECT_EQ(reply->second.variables.at(0).Text(), "Kelvo-AP-02");

  manager.Send(GetRequest("tundra", {Null("DeviceName")}), "127.255.255.255", sim.Port());
  std::set<std::string> senders;
  while (const auto each = manager.Receive(500)) senders.insert(each->first);
  EXPECT_EQ(senders, (std::set<std::string>{"127.0.0.2", "127.0.0.3"})) << "AP 3 is silent";

  const auto log = sim.Log(2);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].pdu, "get");
  EXPECT_EQ(log[0].oid, "1.3.6.1.4.1.15177.1.2.1.10.0");
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(ApSimServer, ADelayedAccessPointDoesNotHoldUpTheOthers) {
  ApSimProcess sim;
  sim.Fault(0, "delay 600");
  Manager manager;
  const auto start = Clock::now();
  manager.Send(GetRequest("tundra", {Null("Channel")}), sim.Address(0), sim.Port());
  manager.Send(GetRequest("tundra", {Null("Channel")}), sim.Address(1), sim.Port());
  // The order shows it: asked second, access point 2 answers first.
  const auto first = manager.Receive(2000);
  const auto second = manager.Receive(2000);
  const auto secondAt = Clock::now() - start;
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->first, sim.Address(1));
  EXPECT_EQ(second->first, sim.Address(0));
  EXPECT_GE(secondAt, std::chrono::milliseconds(600));
}

TEST(ApSimServer, StopsOnlyOnQuitOrSignalAndFailsOnATakenPort) {
  ApSimProcess holder({.count = 1});
  const Finished taken = RunShell("timeout 10 " + std::string(KELVO_APSIM_PATH) + " --port " +
                                  std::to_string(holder.Port()) + " </dev/null");
  EXPECT_EQ(taken.status, 1);
  EXPECT_NE(taken.output.find("cannot bind"), std::string::npos) << taken.output;
  EXPECT_EQ(taken.output.find("ready port"), std::string::npos);

  // The end of /dev/null must not stop it: only timeout's SIGTERM after one second does,
  // cleanly.
  const auto start = Clock::now();
  const Finished ran = RunShell("timeout --preserve-status -s TERM 1 " +
                                std::string(KELVO_APSIM_PATH) + " --port 0 </dev/null");
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(ran.status, 0) << ran.output;
  EXPECT_EQ(ran.output.rfind("ready port=", 0), 0u) << ran.output;
}

// Its parent holds the pipe on its stdin; when the parent is killed the pipe closes and the
// simulator ends with it.
TEST(ApSimServer, EndsWhenTheParentHoldingItsInputDies) {
  // The orphan becomes this process's child, so that its exit can be awaited.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const std::string ready =
      (std::filesystem::temp_directory_path() / ("kelvo-apsim-" + std::to_string(::getpid())))
          .string();
  const Finished parent = RunShell(
      "bash -c 'exec 3> >(exec \"$0\" --port 0 --count 1 >\"$1\" 2>/dev/null); echo $!; "
      "for _ in {1..3000}; do grep -q ^ready \"$1\" && break; sleep 0.01; done; kill -KILL $$' " +
      std::string(KELVO_APSIM_PATH) + " " + ready);
  const pid_t sim = static_cast<pid_t>(std::atoi(parent.output.c_str()));
  ASSERT_GT(sim, 0) << parent.output;
  int status = 0;
  pid_t ended = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while ((ended = ::waitpid(sim, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (ended == 0) {
    ::kill(sim, SIGKILL);
    ::waitpid(sim, &status, 0);
  }
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  std::string line;
  std::getline(std::ifstream(ready), line);
  std::filesystem::remove(ready);
  EXPECT_EQ(line.rfind("ready port=", 0), 0u) << "it never served: " << line;
  EXPECT_EQ(ended, sim) << "still running after its parent died";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(ApSimServer, NetSnmpToolsReadAndWriteTheVariables) {
  if (RunShell("command -v snmpget && command -v snmpset").status != 0) {
    GTEST_SKIP() << "Net-SNMP's command line tools (Debian package snmp) are not installed";
  }
  ApSimProcess sim({.password = "Pa55"});
  const std::string home = ::testing::TempDir() + "apsim-snmp";
  std::filesystem::create_directories(home);
  const std::string tool =
      "env MIBS= SNMPCONFPATH=" + home + " SNMP_PERSISTENT_DIR=" + home + " HOME=" + home + " ";
  const std::string options = " -v1 -r0 -t2 -On -M /dev/null ";
  const std::string agent = sim.Address(1) + ':' + std::to_string(sim.Port());
  const std::string prefix = " 1.3.6.1.4.1.15177.";

  const Finished get = RunShell(tool + "snmpget" + options + "-c tundra " + agent + prefix +
                                "1.2.1.10.0" + prefix + "1.1.2.1.0" + prefix + "1.2.1.1.0");
  EXPECT_EQ(get.status, 0) << get.output;
  EXPECT_NE(get.output.find("1.2.1.10.0 = STRING: \"Kelvo-AP-02\""), std::string::npos)
      << get.output;
  EXPECT_NE(get.output.find("1.1.2.1.0 = IpAddress: 127.0.0.3"), std::string::npos);
  EXPECT_NE(get.output.find("1.2.1.1.0 = INTEGER: 6"), std::string::npos);

  const Finished set = RunShell(tool + "snmpset" + options + "-c Pa55 " + agent + prefix +
                                "1.1.4.2.0 x 0A1B2C3D4E5F" + prefix + "1.2.1.3.0 s 'lab net'" +
                                prefix + "1.2.1.16.0 i 250");
  EXPECT_EQ(set.status, 0) << set.output;
  const Finished back = RunShell(tool + "snmpget" + options + "-c tundra " + agent + prefix +
                                 "1.1.4.2.0" + prefix + "1.2.1.3.0");
  EXPECT_NE(back.output.find("Hex-STRING: 0A 1B 2C 3D 4E 5F"), std::string::npos) << back.output;
  EXPECT_NE(back.output.find("STRING: \"lab net\""), std::string::npos) << back.output;
  EXPECT_EQ(sim.Get(1, "BeaconInterval").value, "250");

  const Finished refused =
      RunShell(tool + "snmpset" + options + "-c tundra " + agent + prefix + "1.2.1.16.0 i 300");
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.output.find("noSuchName"), std::string::npos) << refused.output;
  EXPECT_EQ(sim.Get(1, "BeaconInterval").value, "250");
}

}  // namespace
}  // namespace kelvo::test
