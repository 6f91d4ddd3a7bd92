// SPDX-License-Identifier: GPL-2.0-or-later
// Discovery and the listening port, against agents played by hand.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "integration/HandAgent.h"
#include "snmp/AgentSession.h"

namespace kelvo::snmp {
namespace {

constexpr std::string_view kDeviceNameOid = "1.3.6.1.4.1.15177.1.2.1.10.0";

using std::chrono::milliseconds;
using test::HandAgent;
using test::TextValue;

class DiscoveryTest : public ::testing::Test {
 protected:
  explicit DiscoveryTest(std::vector<std::string> addresses = {"127.0.0.2", "127.0.0.3",
                                                               "127.0.0.12", "127.0.0.1"})
      : agent_(addresses) {
    session_ = std::make_unique<AgentSession>(SnmpComponent::Create(agent_), prompter_, busy_);
    session_->SetAgentPort(agent_.Port());
    // Unicast to each hand agent stands in for the broadcast, which they cannot receive on
    // their address-bound sockets.
    session_->SetDiscoveryTargets(addresses);
  }

  std::vector<AccessPointEntry> Rows() const { return session_->AccessPoints(); }

  void Pump(int ms = 150) { agent_.Pump(session_->Component(), milliseconds(ms)); }

  HandAgent agent_;
  test::RecordingPrompter prompter_;
  test::CountingBusy busy_;
  std::unique_ptr<AgentSession> session_;
};

TEST_F(DiscoveryTest, NewestReplyFirstWithoutDuplicatesOrEmptyNames) {
  std::vector<HandAgent::Received> requests;
  agent_.SetResponder([&](const HandAgent::Received& r) { requests.push_back(r); });
  session_->Discover();
  EXPECT_TRUE(session_->Discovering());
  EXPECT_EQ(busy_.begun, 1);
  EXPECT_EQ(busy_.depth, 0);
  Pump(50);
  ASSERT_EQ(requests.size(), 4U);
  for (const auto& r : requests) {
    EXPECT_EQ(r.request.community, "tundra");
    EXPECT_EQ(r.request.oids, (std::vector<std::string>{std::string(kDeviceNameOid)}));
  }

  const auto reply = [&](std::size_t agent, const std::string& name) {
    agent_.Reply(requests[agent], agent, {TextValue(std::string(kDeviceNameOid), name)});
    Pump(50);
  };
  reply(0, "Alpha");
  reply(1, "Bravo");
  EXPECT_EQ(Rows(),
            (std::vector<AccessPointEntry>{{"127.0.0.3", "Bravo"}, {"127.0.0.2", "Alpha"}}));
  reply(0, "Alpha again");  // same address: no new row
  reply(2, "Charlie");
  reply(3, "Delta");  // 127.0.0.1 is not 127.0.0.12
  reply(0, "");
  EXPECT_EQ(Rows(), (std::vector<AccessPointEntry>{{"127.0.0.1", "Delta"},
                                                   {"127.0.0.12", "Charlie"},
                                                   {"127.0.0.3", "Bravo"},
                                                   {"127.0.0.2", "Alpha"}}));
  EXPECT_TRUE(prompter_.Shown().empty());

  // A new discovery starts from an empty list.
  agent_.SetResponder(nullptr);
  session_->Discover();
  EXPECT_TRUE(Rows().empty());
}

TEST_F(DiscoveryTest, EmptyNameIsNotListed) {
  agent_.SetResponder([&](const HandAgent::Received& r) {
    agent_.Reply(r, r.agent, {TextValue(std::string(kDeviceNameOid), "")});
  });
  session_->Discover();
  Pump();
  EXPECT_TRUE(Rows().empty());
}

TEST_F(DiscoveryTest, RepliesAfterAReadAreNotListed) {
  std::vector<HandAgent::Received> requests;
  agent_.SetResponder([&](const HandAgent::Received& r) { requests.push_back(r); });
  session_->Discover();
  Pump(50);
  ASSERT_EQ(requests.size(), 4U);
  const auto discovery = requests;

  // A read of agent 1 (answered) clears the discovering flag.
  agent_.SetResponder([&](const HandAgent::Received& r) { agent_.Reply(r, r.agent, {}); });
  session_->ReadGroup(mib::Group::System, "127.0.0.3");
  EXPECT_FALSE(session_->Discovering());

  agent_.Reply(discovery[0], 0, {TextValue(std::string(kDeviceNameOid), "Late")});
  Pump();
  EXPECT_TRUE(Rows().empty());
}

TEST_F(DiscoveryTest, RepliesWithAnotherRequestIdAreIgnored) {
  agent_.SetResponder([&](const HandAgent::Received& r) {
    agent_.Reply(r, r.agent, {TextValue(std::string(kDeviceNameOid), "Stray")}, 0, 0, 0,
                 r.request.requestId + 7);
  });
  session_->Discover();
  Pump();
  EXPECT_TRUE(Rows().empty());
}

TEST_F(DiscoveryTest, RepliesWithAnotherCommunityAreIgnored) {
  // The first two answer with an empty community and one that differs only in case.
  agent_.SetResponder([&](const HandAgent::Received& r) {
    HandAgent::Received asked = r;
    if (r.agent < 2) asked.request.community = r.agent == 0 ? "" : "Tundra";
    agent_.Reply(asked, r.agent, {TextValue(std::string(kDeviceNameOid), "AP")});
  });
  session_->Discover();
  Pump();
  EXPECT_EQ(Rows(), (std::vector<AccessPointEntry>{{"127.0.0.1", "AP"}, {"127.0.0.12", "AP"}}));
}

TEST_F(DiscoveryTest, SendFailureIsReportedWhenNoTargetWasReached) {
  session_->SetDiscoveryTargets({"not-an-address"});
  session_->Discover();
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{"Snmp Time out!  Please check your network is available "
                                      "and Agent was not be shutdown..."}));
  EXPECT_EQ(busy_.depth, 0);

  // One reachable target is enough.
  prompter_.Clear();
  session_->SetDiscoveryTargets({"not-an-address", "127.0.0.2"});
  agent_.SetResponder([&](const HandAgent::Received& r) {
    agent_.Reply(r, r.agent, {TextValue(std::string(kDeviceNameOid), "Alpha")});
  });
  session_->Discover();
  Pump();
  EXPECT_TRUE(prompter_.Shown().empty());
  EXPECT_EQ(Rows().size(), 1U);
}

TEST_F(DiscoveryTest, ListeningBindsOnceAndReportsAPortInUse) {
  test::UdpPeer occupant("0.0.0.0", 0);
  session_->SetListenPort(occupant.Port());
  EXPECT_FALSE(session_->StartListening());
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{"Port 162 is in use. Check to see if another manager is "
                                      "running, then restart this one."}));
  EXPECT_FALSE(session_->Component().Listening());

  // The component still works on its ephemeral port.
  prompter_.Clear();
  agent_.SetResponder([&](const HandAgent::Received& r) { agent_.Reply(r, r.agent, {}); });
  session_->ReadGroup(mib::Group::System, "127.0.0.2");
  EXPECT_TRUE(prompter_.Shown().empty());

  // A free port binds; the second start does nothing and succeeds.
  std::uint16_t freePort = 0;
  {
    test::UdpPeer probe("0.0.0.0", 0);
    freePort = probe.Port();
  }
  const int descriptor = session_->Component().Descriptor();
  session_->SetListenPort(freePort);
  EXPECT_TRUE(session_->StartListening());
  EXPECT_EQ(session_->Component().LocalPort(), freePort);
  EXPECT_EQ(session_->Component().Descriptor(), descriptor);
  EXPECT_FALSE(session_->Discovering());
  EXPECT_TRUE(session_->StartListening());
  EXPECT_TRUE(prompter_.Shown().empty());

  // Requests go out from the listening port.
  session_->ReadGroup(mib::Group::System, "127.0.0.2");
  EXPECT_EQ(agent_.Requests().back().fromPort, freePort);
}

TEST_F(DiscoveryTest, OtherListenFailuresAreUndetermined) {
  std::ifstream start("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  int firstUnprivileged = 1024;
  start >> firstUnprivileged;
  if (firstUnprivileged <= 1) GTEST_SKIP() << "every port may be bound by anyone here";

  // Port 1 needs privileges: as root, drop them in a child first.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
    test::RecordingPrompter prompter;
    test::CountingBusy busy;
    PollWaitHook wait;
    AgentSession session(SnmpComponent::Create(wait), prompter, busy);
    session.SetListenPort(1);
    const bool ok = session.StartListening();
    const bool expected =
        prompter.Texts() == std::vector<std::string>{"Undetermined Error! Not Listening."};
    ::_exit(!ok && expected ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace kelvo::snmp
