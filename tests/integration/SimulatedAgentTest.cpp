// SPDX-License-Identifier: GPL-2.0-or-later
// AgentSession against simulated access points: the real groups, the password change and the
// faults a device shows, end to end over UDP.
#include <gtest/gtest.h>

#include "mib/MibVariables.h"
#include "snmp/AgentSession.h"
#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::snmp {
namespace {

using test::ApSimProcess;

constexpr char kTimeout[] =
    "Snmp Time out!  Please check your network is available and Agent was not be shutdown...";
constexpr char kSetError[] = "Snmp set to Agent error! Check your password and retry again.";

// Reads a group of the variable table and keeps every reply variable; writes TrapEnable and,
// when given, the new administrator password twice.
class TableGroup final : public AgentGroup {
 public:
  explicit TableGroup(mib::Group group) : group_(group) {}
  std::vector<std::string> ReadIdentifiers() const override {
    std::vector<std::string> oids;
    for (const mib::Variable variable : mib::ReadGroup(group_))
      oids.push_back(mib::FullOid(variable));
    return oids;
  }
  bool Extract(AgentSession& session) override {
    values.clear();
    for (std::size_t position = 1; position <= mib::ReadGroup(group_).size(); ++position) {
      const auto text = session.ResponseValueText(position);
      if (!text) return false;
      values.push_back(*text);
    }
    return true;
  }
  void BuildWrite(AgentSession& session) override {
    session.AddSetVariable(mib::FullOid(mib::Variable::TrapEnable), SetType::Integer, trapEnable);
    if (newPassword) {
      for (const auto variable : {mib::Variable::AccessPassword1, mib::Variable::AccessPassword2}) {
        session.AddSetVariable(mib::FullOid(variable), SetType::OctetString, *newPassword);
      }
    }
  }
  std::optional<std::string> NewWriteCommunity() const override { return newPassword; }

  std::vector<std::string> values;
  std::string trapEnable = "1";
  std::optional<std::string> newPassword;

 private:
  mib::Group group_;
};

class SimulatedAgentTest : public ::testing::Test {
 protected:
  SimulatedAgentTest() {
    session_ = std::make_unique<AgentSession>(SnmpComponent::Create(wait_), prompter_, busy_);
    session_->SetAgentPort(sim_.Port());
    for (const mib::Group group : mib::kAllGroups) {
      groups_.push_back(std::make_unique<TableGroup>(group));
      session_->AttachGroup(group, groups_.back().get());
    }
  }

  TableGroup& Group(mib::Group group) { return *groups_[static_cast<std::size_t>(group) - 1]; }
  std::string Host() const { return sim_.Address(0); }

  ApSimProcess sim_{test::ApSimOptions{.count = 2}};
  PollWaitHook wait_;
  test::RecordingPrompter prompter_;
  test::CountingBusy busy_;
  std::vector<std::unique_ptr<TableGroup>> groups_;
  std::unique_ptr<AgentSession> session_;
};

TEST_F(SimulatedAgentTest, EveryReadGroupComesBackWhole) {
  for (const mib::Group group : mib::kAllGroups) {
    session_->ReadGroup(group, Host());
    EXPECT_EQ(Group(group).values.size(), mib::ReadGroup(group).size())
        << "group " << static_cast<int>(group);
  }
  EXPECT_TRUE(prompter_.Shown().empty()) << prompter_.Texts().front();
  // Group 2 starts with the device's own address.
  EXPECT_EQ(Group(mib::Group::IpConfig).values.front(), Host());
  // Every read used the read community, variables in table order.
  const auto log = sim_.Log(0);
  ASSERT_EQ(log.size(), 5U + 6U + 3U + 14U + 22U);
  EXPECT_EQ(log.front().community, "tundra");
  EXPECT_EQ(log.back().oid, mib::FullOid(mib::Variable::GroupKeyInterval));
}

TEST_F(SimulatedAgentTest, NewPasswordIsTheNextWriteCommunity) {
  session_->SetWriteCommunity("admin");
  Group(mib::Group::System).newPassword = "n3w-secret";
  EXPECT_TRUE(session_->WriteGroup(mib::Group::System, Host()));
  EXPECT_EQ(session_->WriteCommunity(), "n3w-secret");

  Group(mib::Group::System).newPassword.reset();
  Group(mib::Group::System).trapEnable = "0";
  EXPECT_TRUE(session_->WriteGroup(mib::Group::System, Host()));
  EXPECT_EQ(sim_.Get(0, "TrapEnable").value, "0");
  EXPECT_TRUE(prompter_.Shown().empty());

  // The old password is refused now; reads keep working.
  session_->SetWriteCommunity("admin");
  Group(mib::Group::System).trapEnable = "1";
  EXPECT_FALSE(session_->WriteGroup(mib::Group::System, Host()));
  EXPECT_EQ(prompter_.Texts(), (std::vector<std::string>{kSetError}));
  EXPECT_EQ(sim_.Get(0, "TrapEnable").value, "0");
  prompter_.Clear();
  session_->ReadGroup(mib::Group::System, Host());
  EXPECT_TRUE(prompter_.Shown().empty());
  // The other access point still has its own password.
  EXPECT_TRUE(session_->WriteGroup(mib::Group::System, sim_.Address(1)));
}

TEST_F(SimulatedAgentTest, SingleSetsCarryTheirTypes) {
  session_->SetWriteCommunity("admin");
  const std::string local = SnmpComponent::LocalAddress(Host());
  EXPECT_FALSE(local.empty());
  // No TFTP server answers here, so the device's download fails quickly and the set with it.
  sim_.Command("tftp-retry 1 50 1");
  EXPECT_FALSE(session_->SetSingleValue(SetKind::IpAddress, Host(),
                                        mib::FullOid(mib::Variable::UpgradeServerAddress), local));
  EXPECT_TRUE(session_->SetSingleValue(SetKind::Integer, Host(),
                                       mib::FullOid(mib::Variable::UpgradePrepare), "1"));
  const auto log = sim_.Log(0);
  ASSERT_EQ(log.size(), 2U);
  EXPECT_EQ(log[0].type, 'a');
  EXPECT_EQ(log[0].value, local);
  EXPECT_EQ(log[1].type, 'i');
  EXPECT_EQ(log[1].value, "1");
}

TEST_F(SimulatedAgentTest, FaultyDevicesGiveTheirMessagesAndTheNextRequestWorks) {
  struct Case {
    std::string fault;
    std::vector<std::string> readMessages;
  };
  const Case cases[] = {
      {"silent", {kTimeout}},
      {"delay 2300", {kTimeout}},
      {"error 5 1", {"Snmp get error! Please retry again."}},
  };
  for (const Case& c : cases) {
    prompter_.Clear();
    sim_.Fault(0, c.fault);
    session_->ReadGroup(mib::Group::System, Host());
    EXPECT_EQ(prompter_.Texts(), c.readMessages) << c.fault;
    sim_.Fault(0, "none");
    prompter_.Clear();
    session_->ReadGroup(mib::Group::System, Host());
    EXPECT_TRUE(prompter_.Shown().empty()) << "after " << c.fault;
    EXPECT_EQ(Group(mib::Group::System).values.size(), 5U) << "after " << c.fault;
  }
}

TEST_F(SimulatedAgentTest, BroadcastDiscoveryListsEveryAccessPoint) {
  session_->SetDiscoveryTargets({"127.255.255.255"});
  session_->Discover();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (session_->AccessPoints().size() < 2 && std::chrono::steady_clock::now() < deadline) {
    if (wait_.WaitReadable(session_->Component().Descriptor(), std::chrono::milliseconds(100))) {
      session_->Component().ProcessIncoming();
    }
  }
  ASSERT_EQ(session_->AccessPoints().size(), 2U);
  for (const auto& row : session_->AccessPoints()) {
    EXPECT_TRUE(row.address == sim_.Address(0) || row.address == sim_.Address(1)) << row.address;
    EXPECT_FALSE(row.deviceName.empty());
  }
  EXPECT_NE(session_->AccessPoints()[0].address, session_->AccessPoints()[1].address);
}

}  // namespace
}  // namespace kelvo::snmp
