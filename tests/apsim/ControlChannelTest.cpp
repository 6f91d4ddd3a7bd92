// SPDX-License-Identifier: GPL-2.0-or-later
// The control commands against in-process access points.
#include "AgentFixture.h"
#include "ControlChannel.h"

namespace kelvo::test {
namespace {

class ApSimControlChannel : public AgentFixture {
 protected:
  std::vector<std::string> Run(const std::string& line) { return control.Execute(line, now); }

  apsim::ControlChannel control{simulator};
};

using Lines = std::vector<std::string>;

TEST_F(ApSimControlChannel, SetStoresAnyTypeUncheckedAndGetShowsIt) {
  struct Case {
    const char* set;
    const char* get;
    const char* shown;
  };
  const Case cases[] = {
      {"set 1 Channel i 99", "get 1 Channel", "i\t99"},
      {"set 1 Channel s not a number", "get 1 1.3.6.1.4.1.15177.1.2.1.1.0",
       "s\t6E6F742061206E756D626572"},
      {"set 2 DeviceName s ", "get 2 DeviceName", "s\t"},
      {"set 3 Bssid x 0a0B0c0D0e0F", "get 127.0.0.4 Bssid", "s\t0A0B0C0D0E0F"},
      {"set 1 WirelessCounters x 01000000FFFFFFFF", "get 1 WirelessCounters",
       "s\t01000000FFFFFFFF"},
      {"set 1 Gateway a 192.168.7.1", "get 1 .1.3.6.1.4.1.15177.1.1.2.4.0", "a\t192.168.7.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    EXPECT_EQ(Run(c.set), Lines{"ok"});
    EXPECT_EQ(Run(c.get), (Lines{c.shown, "ok"}));
  }
  now += std::chrono::minutes(5);
  EXPECT_EQ(Run("get 1 WirelessCounters"), (Lines{"s\t01000000FFFFFFFF", "ok"}))
      << "a counter block set by hand stays as set";
  EXPECT_EQ(Read("Bssid").bytes.size(), 6u);
}

TEST_F(ApSimControlChannel, FaultPasswordAndTableCommandsReachTheAccessPoints) {
  EXPECT_EQ(Run("fault all silent"), Lines{"ok"});
  EXPECT_TRUE(Send(GetRequest("tundra", {Null("Channel")}), kAp1 + 2).empty());
  EXPECT_EQ(Run("fault 127.0.0.4 error 5"), Lines{"ok"});
  EXPECT_EQ(simulator.FaultOf(2).errorStatus, 5);
  EXPECT_EQ(simulator.FaultOf(2).errorIndex, 1);
  EXPECT_EQ(Run("fault all none"), Lines{"ok"});

  EXPECT_EQ(Run("password 1 two words"), Lines{"ok"});
  EXPECT_EQ(Set({Int("Channel", 1)}, "two words").errorStatus, 0);

  EXPECT_EQ(Run("set-table 1 001122334455 aabbccddeeff"), Lines{"ok"});
  EXPECT_EQ(Run("table 1"), (Lines{"001122334455", "AABBCCDDEEFF", "ok"}));
}

TEST_F(ApSimControlChannel, LogListsOneLinePerVariable) {
  Send(SetRequest("admin", {Int("Channel", 3), Text("Essid", "ab")}));
  EXPECT_EQ(Run("log 1"), (Lines{"1\tset\tadmin\t1.3.6.1.4.1.15177.1.2.1.1.0\ti\t3",
                                 "1\tset\tadmin\t1.3.6.1.4.1.15177.1.2.1.3.0\ts\t6162", "ok"}));
  EXPECT_EQ(Run("clear-log all"), Lines{"ok"});
  EXPECT_EQ(Run("log 1"), Lines{"ok"});
}

TEST_F(ApSimControlChannel, TftpSettingsAndTheImageRecord) {
  EXPECT_EQ(Run("tftp-options all blksize=1428 windowsize=4 tsize timeout=2"), Lines{"ok"});
  EXPECT_EQ(Run("tftp-retry 2 150 3"), Lines{"ok"});
  EXPECT_EQ(Run("tftp-port 127.0.0.3 6969"), Lines{"ok"});
  const auto& tftp = simulator.TftpSettingsOf(1);
  EXPECT_EQ(tftp.options,
            (std::vector<firmware::TftpOption>{
                {"blksize", "1428"}, {"windowsize", "4"}, {"tsize", "0"}, {"timeout", "2"}}));
  EXPECT_EQ(tftp.timeout, std::chrono::milliseconds(150));
  EXPECT_EQ(tftp.tries, 3);
  EXPECT_EQ(tftp.port, 6969);
  EXPECT_EQ(simulator.TftpSettingsOf(0).port, 69);
  EXPECT_EQ(Run("tftp-options 3 none"), Lines{"ok"});
  EXPECT_TRUE(simulator.TftpSettingsOf(2).options.empty());

  EXPECT_EQ(Run("image 1"), (Lines{"none\t0\t-\t-\t-", "ok"}));
  Send(SetRequest("admin", {Ip("UpgradeServerAddress", 127, 0, 0, 1)}));
  simulator.UpgradeProgressed(0, 1024);
  EXPECT_EQ(Run("image 1"), (Lines{"fetching\t1024\t-\t-\t-", "ok"}));
  simulator.UpgradeSucceeded(0, {'a', 'b', 'c'}, "/tmp/x/127.0.0.2.dlf");
  EXPECT_EQ(
      Run("image 1"),
      (Lines{"done\t3\tba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\t/tmp/"
             "x/127.0.0.2.dlf\t-",
             "ok"}));
  simulator.UpgradeFailed(0, "server error 1: no\tsuch\nfile", 0);
  EXPECT_EQ(Run("image 1"), (Lines{"failed\t0\t-\t-\tserver error 1: no?such?file", "ok"}));
}

TEST_F(ApSimControlChannel, CounterRateChangesContinueFromTheValueReached) {
  now = std::chrono::seconds(10);
  const apsim::ApDevice& ap2 = simulator.Device(1);
  const std::uint32_t bytes = CounterAt(ap2, "ethernet_rx_bytes", now);
  EXPECT_EQ(Run("counter-rate 2 ethernet_rx_bytes 1000"), Lines{"ok"});
  EXPECT_EQ(CounterAt(ap2, "ethernet_rx_bytes", now), bytes);
  now += std::chrono::milliseconds(2'500);
  EXPECT_EQ(CounterAt(ap2, "ethernet_rx_bytes", now), bytes + 2'500);
  EXPECT_EQ(
      CounterAt(simulator.Device(0), "ethernet_rx_bytes", now),
      CounterAt(simulator.Device(0), "ethernet_rx_bytes", now - std::chrono::seconds(1)) + 9'000)
      << "other access points keep their rates";

  const std::uint32_t ap3Acks = CounterAt(simulator.Device(2), "wireless_rx_acks", now);
  EXPECT_EQ(Run("counter-rate all all 0.25"), Lines{"ok"});
  now += std::chrono::seconds(8);
  EXPECT_EQ(CounterAt(ap2, "ethernet_rx_bytes", now), bytes + 2'500 + 2);
  EXPECT_EQ(CounterAt(simulator.Device(2), "wireless_rx_acks", now), ap3Acks + 2);

  EXPECT_EQ(Run("counter-rate 1 ethernet_rx_byte 1"),
            Lines{"error unknown counter ethernet_rx_byte"});
  EXPECT_EQ(Run("counter-rate 1 all -1").at(0).rfind("error bad rate", 0), 0u);
}

TEST_F(ApSimControlChannel, MistakesAreReportedAsErrors) {
  for (const char* line : {"get 4 Channel",
                           "get 0 Channel",
                           "get 1 NoSuchVariable",
                           "log all",
                           "set 1 Channel i x",
                           "set 1 Channel q 1",
                           "set 1 Bssid x 123",
                           "fault 1 delay",
                           "fault 1 drop 101",
                           "fault 1 sometimes",
                           "frobnicate 1",
                           "get",
                           "image all",
                           "tftp-options 1",
                           "tftp-options 1 blksize=7",
                           "tftp-options 1 windowsize=0",
                           "tftp-options 1 timeout=256",
                           "tftp-options 1 tsize=5",
                           "tftp-options 1 blksize=512 blksize=1024",
                           "tftp-options 1 none tsize",
                           "tftp-options 1 rollover=0",
                           "tftp-retry 1 0 3",
                           "tftp-retry 1 100 0",
                           "tftp-retry 1 100",
                           "tftp-port 1 0",
                           "tftp-port 1 65536",
                           "upgrade-firmware 1 1.0 beta",
                           "counter-rate 1 all",
                           "counter-rate 4 all 1",
                           "counter-rate 1 all 0.1234567"}) {
    SCOPED_TRACE(line);
    const Lines output = Run(line);
    ASSERT_EQ(output.size(), 1u);
    EXPECT_EQ(output[0].rfind("error ", 0), 0u);
  }
  EXPECT_TRUE(Run("").empty());
  EXPECT_FALSE(control.QuitRequested());
  EXPECT_EQ(Run("quit"), Lines{"ok"});
  EXPECT_TRUE(control.QuitRequested());
}

}  // namespace
}  // namespace kelvo::test
