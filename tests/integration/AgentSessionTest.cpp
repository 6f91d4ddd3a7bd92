// SPDX-License-Identifier: GPL-2.0-or-later
// AgentSession over real UDP against agents played by hand: every reply, delay and source
// address is the test's choice.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "integration/HandAgent.h"
#include "snmp/AgentSession.h"

namespace kelvo::snmp {
namespace {

using std::chrono::milliseconds;
using test::HandAgent;
using test::IntegerValue;
using test::TextValue;
using Clock = std::chrono::steady_clock;

constexpr char kOidA[] = "1.3.6.1.4.1.15177.1.1.1.3.0";
constexpr char kOidB[] = "1.3.6.1.4.1.15177.1.1.1.9.0";
constexpr char kOidC[] = "1.3.6.1.4.1.15177.1.2.1.10.0";

// A group made for the tests: reads three variables and records what extraction saw.
class TestGroup final : public AgentGroup {
 public:
  std::vector<std::string> ReadIdentifiers() const override { return oids; }
  bool Extract(AgentSession& session) override {
    extracted.clear();
    for (std::size_t position = 1; position <= oids.size(); ++position) {
      const auto text = session.ResponseValueText(position);
      if (!text) return false;
      extracted.push_back(*text);
    }
    return true;
  }
  void BuildWrite(AgentSession& session) override {
    session.AddSetVariable(kOidA, SetType::Integer, "1");
    const std::uint8_t mac[] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    session.AddSetVariable(kOidB, mac);
  }
  std::optional<std::string> NewWriteCommunity() const override { return newPassword; }

  std::vector<std::string> oids{kOidA, kOidB, kOidC};
  std::vector<std::string> extracted;
  std::optional<std::string> newPassword;
};

class AgentSessionTest : public ::testing::Test {
 protected:
  AgentSessionTest() : agent_({"127.0.0.2", "127.0.0.3"}) {
    session_ = std::make_unique<AgentSession>(SnmpComponent::Create(agent_), prompter_, busy_);
    session_->SetAgentPort(agent_.Port());
    for (const mib::Group group : mib::kAllGroups) session_->AttachGroup(group, &group_);
  }

  // Answers every request from agent 0 with these values.
  void AnswerWith(std::vector<test::ReplyValue> values, int errorStatus = 0, int delayMs = 0) {
    agent_.SetResponder([this, values, errorStatus, delayMs](const HandAgent::Received& r) {
      agent_.Reply(r, 0, values, errorStatus, errorStatus != 0 ? 1 : 0, delayMs);
    });
  }

  std::vector<test::ReplyValue> ThreeValues() {
    return {IntegerValue(kOidA, 1), TextValue(kOidB, "SN-0042"), TextValue(kOidC, "Lobby")};
  }

  const std::string host_ = "127.0.0.2";
  HandAgent agent_;
  test::RecordingPrompter prompter_;
  test::CountingBusy busy_;
  TestGroup group_;
  std::unique_ptr<AgentSession> session_;
};

TEST_F(AgentSessionTest, ReadGroupAsksInGroupOrderAndExtractsTheReply) {
  AnswerWith(ThreeValues());
  session_->ReadGroup(mib::Group::System, host_);

  ASSERT_EQ(agent_.Requests().size(), 1U);
  const auto& request = agent_.Requests()[0].request;
  EXPECT_EQ(request.command, 0xA0);
  EXPECT_EQ(request.community, "tundra");
  EXPECT_EQ(request.oids, group_.oids);
  EXPECT_EQ(group_.extracted, (std::vector<std::string>{"1", "SN-0042", "Lobby"}));
  EXPECT_TRUE(prompter_.Shown().empty());
  EXPECT_EQ(session_->StatusText(), "Getting OIDs ...");
  EXPECT_EQ(busy_.begun, 1);
  EXPECT_EQ(busy_.depth, 0);
}

TEST_F(AgentSessionTest, ErrorStatusStillDeliversTheValuesThenReports) {
  AnswerWith(ThreeValues(), /*errorStatus=*/2);
  session_->ReadGroup(mib::Group::System, host_);
  EXPECT_EQ(group_.extracted.size(), 3U);
  EXPECT_EQ(prompter_.Texts(), (std::vector<std::string>{"Snmp get error! Please retry again."}));
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
  EXPECT_EQ(prompter_.Shown()[0].caption, "Kelvo");

  prompter_.Clear();
  session_->SetQuiet(true);
  session_->ReadGroup(mib::Group::System, host_);
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(AgentSessionTest, ReadTimesOutAfterTwoSecondsAndStaysUsable) {
  group_.extracted = {"previous"};
  const auto start = Clock::now();
  session_->ReadGroup(mib::Group::IpConfig, host_);
  const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  // One wait of two seconds: never shorter, and well short of a second one however busy the
  // machine is.
  EXPECT_GE(elapsed.count(), 2000);
  EXPECT_LT(elapsed.count(), 4000);
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{"Snmp Time out!  Please check your network is available "
                                      "and Agent was not be shutdown..."}));
  EXPECT_EQ(group_.extracted, (std::vector<std::string>{"previous"})) << "no extraction";
  EXPECT_EQ(busy_.depth, 0);

  // Quiet: the same time-out shows nothing and changes nothing.
  prompter_.Clear();
  session_->SetQuiet(true);
  session_->ReadGroup(mib::Group::IpConfig, host_);
  EXPECT_TRUE(prompter_.Shown().empty());
  EXPECT_EQ(group_.extracted, (std::vector<std::string>{"previous"}));

  // The next request works.
  session_->SetQuiet(false);
  AnswerWith(ThreeValues());
  session_->ReadGroup(mib::Group::IpConfig, host_);
  EXPECT_EQ(group_.extracted.size(), 3U);
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(AgentSessionTest, RepliesFromOtherAddressesRequestsOrCommunitiesAreIgnored) {
  agent_.SetResponder([this](const HandAgent::Received& r) {
    // A spoofed reply from another host with the right request id, then a reply from the
    // right host with a stray request id, then one with the right id but another community,
    // then the real one.
    agent_.Reply(r, 1, {IntegerValue(kOidA, 9), TextValue(kOidB, "spoof"), TextValue(kOidC, "x")});
    agent_.Reply(r, 0, {IntegerValue(kOidA, 8), TextValue(kOidB, "stray"), TextValue(kOidC, "y")},
                 0, 0, 20, r.request.requestId + 1);
    HandAgent::Received otherCommunity = r;
    otherCommunity.request.community = "admin";
    agent_.Reply(otherCommunity, 0,
                 {IntegerValue(kOidA, 7), TextValue(kOidB, "community"), TextValue(kOidC, "z")}, 0,
                 0, 30);
    agent_.Reply(r, 0, ThreeValues(), 0, 0, 40);
  });
  session_->ReadGroup(mib::Group::System, host_);
  EXPECT_EQ(group_.extracted, (std::vector<std::string>{"1", "SN-0042", "Lobby"}));
  EXPECT_TRUE(prompter_.Shown().empty());
  EXPECT_EQ(session_->Component().RemoteHost(), host_);
}

TEST_F(AgentSessionTest, ExtractionFailureKeepsEarlierValuesAndGroupThreeIsSilent) {
  AnswerWith({IntegerValue(kOidA, 5)});  // two variables short
  session_->ReadGroup(mib::Group::System, host_);
  EXPECT_EQ(group_.extracted, (std::vector<std::string>{"5"}));
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{"Snmp extract vairable error! Please retry again."}));

  prompter_.Clear();
  session_->ReadGroup(mib::Group::Statistics, host_);
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(AgentSessionTest, WriteGroupSendsTypedValuesWithTheWriteCommunity) {
  session_->SetWriteCommunity("secret");
  AnswerWith({});
  EXPECT_TRUE(session_->WriteGroup(mib::Group::System, host_));
  ASSERT_EQ(agent_.Requests().size(), 1U);
  const auto& request = agent_.Requests()[0].request;
  EXPECT_EQ(request.command, 0xA3);
  EXPECT_EQ(request.community, "secret");
  EXPECT_EQ(request.oids, (std::vector<std::string>{kOidA, kOidB}));
  EXPECT_TRUE(prompter_.Shown().empty());

  // A new administrator password becomes the community of the next write, not before.
  group_.newPassword = "n3w";
  EXPECT_TRUE(session_->WriteGroup(mib::Group::System, host_));
  EXPECT_EQ(agent_.Requests()[1].request.community, "secret");
  EXPECT_EQ(session_->WriteCommunity(), "n3w");
  EXPECT_TRUE(session_->WriteGroup(mib::Group::IpConfig, host_));
  EXPECT_EQ(agent_.Requests()[2].request.community, "n3w");
}

TEST_F(AgentSessionTest, RefusedOrUnansweredWritesReportAndKeepThePassword) {
  session_->SetWriteCommunity("wrong");
  group_.newPassword = "n3w";
  AnswerWith({}, /*errorStatus=*/2);
  EXPECT_FALSE(session_->WriteGroup(mib::Group::System, host_));
  EXPECT_EQ(
      prompter_.Texts(),
      (std::vector<std::string>{"Snmp set to Agent error! Check your password and retry again."}));
  EXPECT_EQ(session_->WriteCommunity(), "wrong");

  prompter_.Clear();
  agent_.SetResponder(nullptr);
  EXPECT_FALSE(session_->WriteGroup(mib::Group::System, host_));
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{"Snmp Time out!  Please check your network is available "
                                      "and Agent was not be shutdown..."}));
  EXPECT_EQ(session_->WriteCommunity(), "wrong");
}

TEST_F(AgentSessionTest, WriteTimeOutsFollowTheGroup) {
  // A reply after 3.2 s is too late for the wireless group (3 s) but in time for the
  // security group (15 s).
  AnswerWith({}, 0, 3200);
  EXPECT_FALSE(session_->WriteGroup(mib::Group::Wireless, host_));
  EXPECT_EQ(prompter_.Shown().size(), 1U);
  prompter_.Clear();
  EXPECT_TRUE(session_->WriteGroup(mib::Group::Security, host_));
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(AgentSessionTest, SingleSetsReportByKind) {
  session_->SetWriteCommunity("admin");
  // No reply: the plain reset notice, no icon.
  EXPECT_FALSE(
      session_->SetSingleValue(SetKind::Integer, host_, "1.3.6.1.4.1.15177.1.1.1.2.0", "1"));
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, "Reset device, please wait a moment......");
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::None);

  prompter_.Clear();
  AnswerWith({}, /*errorStatus=*/3);
  EXPECT_FALSE(
      session_->SetSingleValue(SetKind::Integer, host_, "1.3.6.1.4.1.15177.1.1.1.2.0", "1"));
  EXPECT_EQ(
      prompter_.Texts(),
      (std::vector<std::string>{"Snmp set to Agent error! Check your password and retry again."}));

  // The server address write is refused silently.
  prompter_.Clear();
  EXPECT_FALSE(session_->SetSingleValue(SetKind::IpAddress, host_, "1.3.6.1.4.1.15177.1.1.1.6.0",
                                        "127.0.0.1"));
  EXPECT_TRUE(prompter_.Shown().empty());

  AnswerWith({});
  EXPECT_TRUE(
      session_->SetSingleValue(SetKind::Integer, host_, "1.3.6.1.4.1.15177.1.1.1.4.0", "1"));
  const auto& last = agent_.Requests().back().request;
  EXPECT_EQ(last.command, 0xA3);
  EXPECT_EQ(last.community, "admin");
  EXPECT_EQ(last.oids, (std::vector<std::string>{"1.3.6.1.4.1.15177.1.1.1.4.0"}));
}

TEST_F(AgentSessionTest, BadVariablesAreReportedAndLeftOut) {
  group_.oids = {kOidA, "not-an-oid", kOidC};
  AnswerWith({IntegerValue(kOidA, 3), TextValue(kOidC, "Lobby")});
  session_->ReadGroup(mib::Group::System, host_);
  // The request went without the bad variable, so later positions moved up by one.
  ASSERT_EQ(agent_.Requests().size(), 1U);
  EXPECT_EQ(agent_.Requests()[0].request.oids, (std::vector<std::string>{kOidA, kOidC}));
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{"Snmp add variable error! Please retry again.",
                                      "Snmp extract vairable error! Please retry again."}));

  prompter_.Clear();
  session_->BeginRequest(PduType::SetRequest, "admin");
  session_->AddSetVariable(kOidA, SetType::Integer, "twelve");
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  session_->AddSetVariable("1.3.6.x", bytes);
  session_->AddSetVariable(kOidC, SetType::OctetString, "ok");
  EXPECT_EQ(session_->Component().Message().Count(), 1U);
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{"Snmp set variable error! Please retry again.",
                                      "Snmp set variable error! Please retry again."}));
}

}  // namespace
}  // namespace kelvo::snmp
