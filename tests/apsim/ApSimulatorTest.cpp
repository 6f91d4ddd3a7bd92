// SPDX-License-Identifier: GPL-2.0-or-later
// Addressing, broadcast, faults and the request log of the simulated access points.
#include "AgentFixture.h"
#include "ControlChannel.h"
#include "mib/MibVariables.h"

namespace kelvo::test {
namespace {

using ApSimulator = AgentFixture;
using apsim::Fault;

Fault Make(Fault::Kind kind) {
  Fault fault;
  fault.kind = kind;
  return fault;
}

TEST_F(ApSimulator, BroadcastIsAnsweredByEveryAccessPointFromItsOwnAddress) {
  for (const std::uint32_t broadcast : {0xFFFFFFFFu, 0x7FFFFFFFu}) {
    const auto replies = Send(GetRequest("tundra", {Null("DeviceName")}), broadcast);
    ASSERT_EQ(replies.size(), 3u);
    for (std::size_t i = 0; i < replies.size(); ++i) {
      EXPECT_EQ(replies[i].from, kAp1 + i);
      EXPECT_EQ(replies[i].to, kManager);
      EXPECT_EQ(replies[i].toPort, kManagerPort);
      EXPECT_EQ(ParseMessage(replies[i].packet)->variables.at(0).Text(),
                "Kelvo-AP-0" + std::to_string(i + 1));
    }
  }
}

TEST_F(ApSimulator, OnlyTheAddressedAccessPointAnswers) {
  const auto replies = Send(GetRequest("tundra", {Null("DeviceName")}), kAp1 + 2);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].from, kAp1 + 2);
  EXPECT_TRUE(Send(GetRequest("tundra", {Null("DeviceName")}), kAp1 + 3).empty());
  EXPECT_TRUE(Send({0x30, 0x03, 0x02, 0x01, 0x00}).empty()) << "not an SNMP message";
  EXPECT_TRUE(simulator.Log(2).size() == 1 && simulator.Log(1).empty());
}

TEST_F(ApSimulator, FaultsSilenceDelayOrRefuseOneAccessPoint) {
  const auto request = SetRequest("admin", {Int("Channel", 9), Text("Essid", "x")});
  simulator.SetFault(0, Make(Fault::Kind::Silent));
  EXPECT_TRUE(Send(request).empty());
  EXPECT_EQ(simulator.Device(0).Read(mib::Variable::Channel, now).integer, 6)
      << "a silent access point applies nothing";

  Fault error = Make(Fault::Kind::Error);
  error.errorStatus = 5;
  error.errorIndex = 2;
  simulator.SetFault(0, error);
  const Message refused = Exchange(request);
  EXPECT_EQ(refused.errorStatus, 5);
  EXPECT_EQ(refused.errorIndex, 2);
  EXPECT_EQ(refused.variables.size(), 2u);
  EXPECT_TRUE(Send(GetRequest("public", {Null("Channel")})).empty())
      << "an unknown read community still gets no answer";

  Fault delay = Make(Fault::Kind::Delay);
  delay.delayMs = 300;
  simulator.SetFault(0, delay);
  const auto delayed = Send(request);
  ASSERT_EQ(delayed.size(), 1u);
  EXPECT_EQ(delayed[0].delay, std::chrono::milliseconds(300));
  EXPECT_EQ(Send(request, kAp1 + 1).at(0).delay.count(), 0) << "only the faulty one waits";

  simulator.SetFault(0, Fault{});
  EXPECT_EQ(Read("Channel").integer, 9);
}

// Each reply fault against the same three-variable read and a set: the reply is spoilt the
// stated way, and the set is still carried out.
TEST_F(ApSimulator, ReplyFaultsSpoilTheReplyButNotTheWork) {
  const auto read = GetRequest("tundra", {Null("Channel"), Null("DeviceName"), Null("Essid")});
  const Message plain = Get({Null("Channel"), Null("DeviceName"), Null("Essid")});
  ASSERT_EQ(plain.variables.size(), 3u);
  ASSERT_EQ(plain.variables[1].Text(), "Kelvo-AP-01");

  Fault fewer = Make(Fault::Kind::Varbinds);
  fewer.varbindDelta = -1;
  simulator.SetFault(0, fewer);
  EXPECT_EQ(Exchange(read).variables.size(), 2u);
  fewer.varbindDelta = -5;
  simulator.SetFault(0, fewer);
  EXPECT_TRUE(Exchange(read).variables.empty()) << "no more cut than there is";

  Fault more = Make(Fault::Kind::Varbinds);
  more.varbindDelta = 2;
  simulator.SetFault(0, more);
  const Message longer = Exchange(read);
  ASSERT_EQ(longer.variables.size(), 5u);
  EXPECT_EQ(longer.variables[3].type, 0x02);
  EXPECT_EQ(longer.variables[4].oid, plain.variables[2].oid + ".2");

  simulator.SetFault(0, Make(Fault::Kind::WrongType));
  const Message swapped = Exchange(read);
  EXPECT_EQ(swapped.variables[0].type, 0x04);
  EXPECT_EQ(swapped.variables[0].Text(), std::to_string(plain.variables[0].integer));
  EXPECT_EQ(swapped.variables[1].type, 0x02);
  EXPECT_EQ(swapped.variables[1].integer, 11);

  Fault octets = Make(Fault::Kind::Octets);
  octets.octetsDelta = -2;
  simulator.SetFault(0, octets);
  const Message shorter = Exchange(read);
  EXPECT_EQ(shorter.variables[0].integer, plain.variables[0].integer) << "integers stay";
  EXPECT_EQ(shorter.variables[1].Text(), "Kelvo-AP-");
  octets.octetsDelta = 4;
  simulator.SetFault(0, octets);
  EXPECT_EQ(Exchange(read).variables[1].Text(), "Kelvo-AP-01####");

  Fault id = Make(Fault::Kind::RequestId);
  id.requestIdDelta = 1;
  simulator.SetFault(0, id);
  EXPECT_EQ(Exchange(GetRequest("tundra", {Null("Channel")}, 4711)).requestId, 4712);
  id.requestIdDelta = -0x7FFFFFFF;
  simulator.SetFault(0, id);
  EXPECT_EQ(Exchange(GetRequest("tundra", {Null("Channel")}, 0x7FFFFFFF)).requestId, 0);

  Fault from = Make(Fault::Kind::From);
  from.replyFrom = 0x7F000063;
  simulator.SetFault(0, from);
  const auto replies = Send(read);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].from, 0x7F000063u);
  EXPECT_EQ(ParseMessage(replies[0].packet)->variables.size(), 3u) << "the reply itself is whole";

  simulator.SetFault(0, fewer);
  EXPECT_TRUE(Exchange(SetRequest("admin", {Int("Channel", 11)})).variables.empty());
  simulator.SetFault(0, Fault{});
  EXPECT_EQ(Read("Channel").integer, 11) << "the set was carried out";
}

TEST_F(ApSimulator, RebootAnswersNRequestsThenIsSilentUntilItIsBack) {
  const auto request = SetRequest("admin", {Int("Channel", 3)});
  Fault reboot = Make(Fault::Kind::Reboot);
  reboot.rebootAfter = 2;
  reboot.rebootDownMs = 1000;
  simulator.SetFault(0, reboot);
  EXPECT_EQ(Send(request).size(), 1u);
  EXPECT_EQ(Send(request, kAp1 + 1).size(), 1u) << "the others are not affected";
  EXPECT_EQ(Send(request).size(), 1u);
  now = apsim::SimTime{500};
  EXPECT_TRUE(Send(SetRequest("admin", {Int("Channel", 9)})).empty());
  EXPECT_EQ(simulator.Device(0).Read(mib::Variable::Channel, now).integer, 3)
      << "a device that is down applies nothing";
  now = apsim::SimTime{1499};
  EXPECT_TRUE(Send(request).empty());
  now = apsim::SimTime{1500};
  EXPECT_EQ(Send(request).size(), 1u);
  EXPECT_EQ(simulator.FaultOf(0).kind, Fault::Kind::None);

  // Without a time it stays down until the fault changes; a new fault counts from zero.
  reboot.rebootAfter = 0;
  reboot.rebootDownMs = -1;
  simulator.SetFault(0, reboot);
  now = apsim::SimTime{1'000'000};
  EXPECT_TRUE(Send(request).empty());
  reboot.rebootAfter = 1;
  simulator.SetFault(0, reboot);
  EXPECT_EQ(Send(request).size(), 1u);
  EXPECT_TRUE(Send(request).empty());
  simulator.SetFault(0, Fault{});
  EXPECT_EQ(Send(request).size(), 1u);
}

// At a full restart with DHCP off the device moves to its IpAddress, for every way to reach it.
TEST_F(ApSimulator, AFullRestartMovesTheDeviceToItsFixedAddress) {
  const Binding newAddress = Ip("IpAddress", 127, 0, 0, 9);
  struct Case {
    std::vector<Binding> settings, restart;  // written before the restart; the restart
    bool ignoreReset, moves;
  };
  const Case cases[] = {
      {{Int("DhcpClient", 2), newAddress}, {Int("SystemRestart", 1)}, false, true},
      {{newAddress}, {Int("SystemRestart", 1)}, true, true},
      {{Int("DhcpClient", 1), newAddress}, {Int("SystemRestart", 1)}, false, false},
      {{newAddress}, {Int("SystemRestart", 2)}, false, false},
      {{Int("Channel", 6)}, {Int("SystemRestart", 1), newAddress}, false, true},
  };
  const auto get = GetRequest("tundra", {Null("Channel")});
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    simulator = apsim::ApSimulator{apsim::SimulatorSettings{}};
    ASSERT_EQ(Set(c.settings).errorStatus, 0);
    EXPECT_TRUE(Send(get, 0x7F000009).empty()) << "the new address waits for the restart";
    if (c.ignoreReset) simulator.SetFault(0, Make(Fault::Kind::IgnoreReset));
    const auto answer = Send(SetRequest("admin", c.restart));
    EXPECT_EQ(answer.size(), c.ignoreReset ? 0u : 1u);
    EXPECT_TRUE(answer.empty() || answer[0].from == kAp1) << "answered from the old address";
    const std::uint32_t at = c.moves ? 0x7F000009 : kAp1;
    EXPECT_EQ(Send(get, kAp1).size(), c.moves ? 0u : 1u);
    EXPECT_EQ(Send(get, at).at(0).from, at);
    EXPECT_EQ(Send(get, 0xFFFFFFFF).at(0).from, at);
    apsim::ControlChannel control{simulator};
    EXPECT_EQ(control.Execute("get " + apsim::FormatIpv4(at) + " Channel", now).back(), "ok");
  }
}

// A restart's silence, by the simulator's clock; a download's brings the chosen firmware.
TEST_F(ApSimulator, RestartsKeepTheDeviceSilentForTheRebootTime) {
  const auto get = GetRequest("tundra", {Null("SystemDescription")});
  for (const long restart : {1, 2, 0}) {  // SystemRestart 1 or 2; 0: a successful download
    SCOPED_TRACE(restart);
    simulator = apsim::ApSimulator{apsim::SimulatorSettings{}};
    apsim::ControlChannel control{simulator};
    ASSERT_EQ(control.Execute("reboot-ms all 1000", now).back(), "ok");
    ASSERT_EQ(control.Execute("upgrade-firmware 1 2.0.0", now).back(), "ok");
    if (restart != 0) {
      Set({Int("SystemRestart", restart)});
    } else {
      auto held = Send(SetRequest("admin", {Ip("UpgradeServerAddress", 127, 0, 0, 1)})).at(0);
      held.restarts = true;  // as the server marks it once the image has arrived
      simulator.ReplySent(held, now);
    }
    now += std::chrono::milliseconds(999);
    EXPECT_EQ(Send(get).size(), restart == 2 ? 1u : 0u);
    EXPECT_EQ(simulator.Log(0).back().oid, mib::FullOid(mib::Variable::SystemDescription));
    EXPECT_EQ(Send(get, kAp1 + 1).size(), 1u) << "the others are not restarting";
    now += std::chrono::milliseconds(1);
    const std::string firmware = restart == 0 ? "2.0.0" : "1.0.4";
    EXPECT_EQ(Read("SystemDescription").Text(), std::string(apsim::kDescriptionPrefix) + firmware);
    Set({Int("LoadDefault", 1)});
    EXPECT_TRUE(Read("SystemDescription").Text().ends_with(firmware));
  }
}

TEST_F(ApSimulator, DropLosesTheGivenShareOfRequestsRepeatably) {
  auto answered = [](apsim::ApSimulator& target, int percent) {
    Fault drop = Make(Fault::Kind::Drop);
    drop.dropPercent = percent;
    target.SetFault(0, drop);
    std::string pattern;
    const auto request = GetRequest("tundra", {Null("Channel")});
    for (int i = 0; i < 200; ++i) {
      pattern +=
          target.HandleDatagram(request, kAp1, kManager, 1, apsim::SimTime{0}).empty() ? '-' : 'x';
    }
    return pattern;
  };
  EXPECT_EQ(answered(simulator, 0), std::string(200, 'x'));
  EXPECT_EQ(answered(simulator, 100), std::string(200, '-'));
  const std::string half = answered(simulator, 50);
  const auto kept = std::count(half.begin(), half.end(), 'x');
  EXPECT_GT(kept, 60);
  EXPECT_LT(kept, 140);

  apsim::ApSimulator first{apsim::SimulatorSettings{}};
  apsim::ApSimulator second{apsim::SimulatorSettings{}};
  EXPECT_EQ(answered(first, 30), answered(second, 30)) << "the same seed loses the same ones";
}

TEST_F(ApSimulator, LogRecordsEveryRequestVariableInOrder) {
  Send(GetRequest("public", {Null("DeviceName"), Null("Channel")}));
  Send(SetRequest("admin", {Text("Essid", ""), Ip("Gateway", 10, 0, 0, 1),
                            Raw("Bssid", {0xAB, 0, 1, 2, 3, 0xFF}), Int("Channel", -3)}));
  const auto& log = simulator.Log(0);
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0].sequence, 1u);
  EXPECT_EQ(log[0].pdu, "get");
  EXPECT_EQ(log[0].community, "public");
  EXPECT_EQ(log[0].oid, "1.3.6.1.4.1.15177.1.2.1.10.0");
  EXPECT_EQ(log[0].value.type, 'n');
  EXPECT_EQ(log[0].value.text, "-");
  EXPECT_EQ(log[2].sequence, 2u);
  EXPECT_EQ(log[2].pdu, "set");
  EXPECT_EQ(log[2].value.type, 's');
  EXPECT_EQ(log[2].value.text, "");
  EXPECT_EQ(log[3].value.type, 'a');
  EXPECT_EQ(log[3].value.text, "10.0.0.1");
  EXPECT_EQ(log[4].value.text, "AB00010203FF");
  EXPECT_EQ(log[5].value.type, 'i');
  EXPECT_EQ(log[5].value.text, "-3");

  simulator.ClearLog(0);
  Send(GetRequest("tundra", {Null("Channel")}));
  ASSERT_EQ(simulator.Log(0).size(), 1u);
  EXPECT_EQ(simulator.Log(0)[0].sequence, 1u);
}

TEST_F(ApSimulator, AnUpgradeServerAddressSetIsHeldForTheDownload) {
  const auto request = SetRequest("admin", {Ip("UpgradeServerAddress", 127, 0, 0, 1)});
  auto replies = Send(request);
  ASSERT_EQ(replies.size(), 1u);
  ASSERT_TRUE(replies[0].upgrade);
  EXPECT_EQ(replies[0].upgrade->server, kManager);
  EXPECT_EQ(replies[0].upgrade->tftp.port, 69);
  const auto success = ParseMessage(replies[0].packet);
  EXPECT_EQ(success->errorStatus, 0);
  EXPECT_EQ(success->variables.at(0).bytes, (std::vector<std::uint8_t>{127, 0, 0, 1}));
  const auto failure = ParseMessage(replies[0].upgrade->failurePacket);
  EXPECT_EQ(failure->errorStatus, 5);
  EXPECT_EQ(failure->errorIndex, 1);
  EXPECT_EQ(failure->requestId, success->requestId);
  EXPECT_EQ(simulator.Upgrade(0).state, apsim::UpgradeRecord::State::Fetching);

  // One download at a time: the second set is refused at once and changes nothing.
  const auto second =
      Send(SetRequest("admin", {Int("Channel", 2), Ip("UpgradeServerAddress", 10, 1, 1, 1)}));
  ASSERT_EQ(second.size(), 1u);
  EXPECT_FALSE(second[0].upgrade);
  EXPECT_EQ(ParseMessage(second[0].packet)->errorStatus, 5);
  EXPECT_EQ(ParseMessage(second[0].packet)->errorIndex, 2);
  EXPECT_EQ(Read("Channel").integer, 6);
  // The other access points and other requests are not held up.
  EXPECT_TRUE(Send(request, kAp1 + 1).at(0).upgrade);
  EXPECT_FALSE(Send(SetRequest("admin", {Int("UpgradePrepare", 1)})).at(0).upgrade);
  EXPECT_EQ(simulator.Device(0).Read(mib::Variable::UpgradePrepare, now).integer, 1);

  simulator.UpgradeFailed(0, "timed out", 512);
  EXPECT_EQ(simulator.Upgrade(0).state, apsim::UpgradeRecord::State::Failed);
  EXPECT_TRUE(Send(request).at(0).upgrade) << "a failed download may be tried again";
  simulator.UpgradeSucceeded(0, {1, 2, 3}, "");
  EXPECT_EQ(simulator.Upgrade(0).bytes, 3u);
}

TEST_F(ApSimulator, UpgradeSetsThatAreNotAcceptedStartNoDownload) {
  const auto request = SetRequest("admin", {Ip("UpgradeServerAddress", 127, 0, 0, 1)});
  EXPECT_FALSE(Send(SetRequest("tundra", {Ip("UpgradeServerAddress", 127, 0, 0, 1)})).at(0).upgrade)
      << "wrong community";
  EXPECT_FALSE(Send(SetRequest("admin", {Text("UpgradeServerAddress", "127.0.0.1")})).at(0).upgrade)
      << "wrong type";
  simulator.SetFault(0, Make(Fault::Kind::Silent));
  EXPECT_TRUE(Send(request).empty());
  Fault error = Make(Fault::Kind::Error);
  error.errorStatus = 5;
  simulator.SetFault(0, error);
  EXPECT_FALSE(Send(request).at(0).upgrade);
  Fault delay = Make(Fault::Kind::Delay);
  delay.delayMs = 200;
  simulator.SetFault(0, delay);
  const auto delayed = Send(request);
  EXPECT_TRUE(delayed.at(0).upgrade);
  EXPECT_EQ(delayed.at(0).delay.count(), 200) << "the answer leaves that much after the download";
}

}  // namespace
}  // namespace kelvo::test
