// SPDX-License-Identifier: GPL-2.0-or-later
// The agent of one simulated access point, bytes in and bytes out.
#include <chrono>

#include "AgentFixture.h"
#include "mib/MibVariables.h"

namespace kelvo::test {
namespace {

using ApSimDevice = AgentFixture;
using Bytes = std::vector<std::uint8_t>;

constexpr long kNoSuchName = 2;
constexpr long kBadValue = 3;

std::uint8_t ExpectedTag(mib::Kind kind) {
  switch (kind) {
    case mib::Kind::Integer:
      return 0x02;
    case mib::Kind::Address:
      return 0x40;
    default:
      return 0x04;
  }
}

std::uint32_t Counter(const Binding& block, std::size_t n) {
  const auto& b = block.bytes;
  return b.at(4 * n) | b.at(4 * n + 1) << 8 | b.at(4 * n + 2) << 16 |
         static_cast<std::uint32_t>(b.at(4 * n + 3)) << 24;
}

TEST_F(ApSimDevice, ReadGroupsAnswerInRequestOrderWithTheVariablesTypes) {
  for (const mib::Group group : mib::kAllGroups) {
    SCOPED_TRACE(static_cast<int>(group));
    std::vector<Binding> request;
    for (const mib::Variable variable : mib::ReadGroup(group)) {
      request.push_back(Null(std::string(mib::Info(variable).name)));
    }
    const Message reply = Get(request);
    EXPECT_EQ(reply.command, 0xA2);
    EXPECT_EQ(reply.requestId, 4711);
    EXPECT_EQ(reply.errorStatus, 0);
    ASSERT_EQ(reply.variables.size(), request.size());
    for (std::size_t i = 0; i < request.size(); ++i) {
      const mib::Variable variable = mib::ReadGroup(group)[i];
      EXPECT_EQ(reply.variables[i].oid, request[i].oid);
      EXPECT_EQ(reply.variables[i].type, ExpectedTag(mib::Info(variable).kind))
          << mib::Info(variable).name;
    }
  }
  const Message counters =
      Get({Null("EthernetRxCounters"), Null("EthernetTxCounters"), Null("WirelessCounters"),
           Null("RfTestParameters"), Null("BasebandRegisters"), Null("TxPowerSettings"),
           Null("RfTestCounters"), Null("SynthesizerRegisters")});
  const std::size_t sizes[] = {64, 56, 56, 10, 8, 3, 16, 32};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    EXPECT_EQ(counters.variables[i].bytes.size(), sizes[i]) << counters.variables[i].oid;
  }
}

TEST_F(ApSimDevice, EachAccessPointHasItsOwnIdentityAndAddress) {
  std::vector<std::string> names;
  std::vector<Bytes> macs;
  for (std::uint32_t ap = 0; ap < 3; ++ap) {
    const Message reply =
        Get({Null("DeviceName"), Null("MacAddress"), Null("IpAddress")}, kAp1 + ap);
    names.push_back(reply.variables[0].Text());
    macs.push_back(reply.variables[1].bytes);
    EXPECT_EQ(reply.variables[2].bytes, (Bytes{127, 0, 0, static_cast<std::uint8_t>(2 + ap)}));
    ASSERT_EQ(macs.back().size(), 6u);
    EXPECT_EQ(macs.back()[0] & 0x03, 0x02) << "locally administered unicast";
  }
  EXPECT_EQ(names[0], "Kelvo-AP-01");
  EXPECT_NE(names[0], names[1]);
  EXPECT_NE(names[1], names[2]);
  EXPECT_NE(macs[0], macs[1]);
  EXPECT_NE(macs[1], macs[2]);
}

TEST_F(ApSimDevice, CountersAdvanceWithTimeAndRestartFromZeroAfterAReset) {
  const Binding before = Read("EthernetRxCounters");
  now += std::chrono::seconds(10);
  const Binding after = Read("EthernetRxCounters");
  // TotalBytesRx, TotalPktRx: little-endian and growing at a plausible rate.
  EXPECT_GT(Counter(after, 0), Counter(before, 0));
  EXPECT_GT(Counter(after, 1) - Counter(before, 1), 100u);
  EXPECT_LT(Counter(after, 1) - Counter(before, 1), 10'000u);
  EXPECT_GT(Counter(after, 0) - Counter(before, 0), 64 * (Counter(after, 1) - Counter(before, 1)));

  EXPECT_EQ(Set({Int("SystemRestart", 1)}).errorStatus, 0);
  now += std::chrono::seconds(1);
  EXPECT_LT(Counter(Read("WirelessCounters"), 0), 100u);
}

TEST_F(ApSimDevice, GetOfAnUnknownOrWriteOnlyVariableIsNoSuchNameAndEchoesTheRequest) {
  struct Case {
    const char* name;
    std::vector<Binding> request;
    long index;
  };
  const Case cases[] = {
      {"unknown OID", {Null("DeviceName"), Null("1.3.6.1.4.1.15177.1.9.9.0")}, 2},
      {"OID without instance", {Null("1.3.6.1.4.1.15177.1.2.1.10")}, 1},
      {"SystemRestart", {Null("Channel"), Null("Essid"), Null("SystemRestart")}, 3},
      {"AccessPassword1", {Null("AccessPassword1")}, 1},
      {"PskAsciiMode", {Null("PreSharedKey"), Null("PskAsciiMode")}, 2},
      {"RateSetting", {Null("RateSetting")}, 1},
      {"UpgradeServerAddress", {Null("UpgradeServerAddress")}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Message reply = Get(c.request);
    EXPECT_EQ(reply.errorStatus, kNoSuchName);
    EXPECT_EQ(reply.errorIndex, c.index);
    ASSERT_EQ(reply.variables.size(), c.request.size());
    for (std::size_t i = 0; i < c.request.size(); ++i) {
      EXPECT_EQ(reply.variables[i].oid, c.request[i].oid);
      EXPECT_EQ(reply.variables[i].type, 0x05);
    }
  }
}

TEST_F(ApSimDevice, SetIsAllOrNothingAndNamesTheFirstBadVariable) {
  const Message refused = Set(
      {Int("Channel", 11), Text("Essid", "other"), Int("BeaconInterval", 19), Int("DataRate", 9)});
  EXPECT_EQ(refused.errorStatus, kBadValue);
  EXPECT_EQ(refused.errorIndex, 3);
  ASSERT_EQ(refused.variables.size(), 4u);
  EXPECT_EQ(refused.variables[1].Text(), "other");
  EXPECT_EQ(Read("Channel").integer, 6);
  EXPECT_EQ(Read("Essid").Text(), "kelvo-wlan");

  const Message accepted = Set({Int("Channel", 11), Text("Essid", "other"),
                                Raw("Bssid", {1, 2, 3, 4, 5, 6}), Ip("Gateway", 10, 0, 0, 1)});
  EXPECT_EQ(accepted.errorStatus, 0);
  EXPECT_EQ(accepted.variables[1].Text(), "other");
  const Message read = Get({Null("Channel"), Null("Essid"), Null("Bssid"), Null("Gateway")});
  EXPECT_EQ(read.variables[0].integer, 11);
  EXPECT_EQ(read.variables[1].Text(), "other");
  EXPECT_EQ(read.variables[2].bytes, (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(read.variables[3].bytes, (Bytes{10, 0, 0, 1}));
}

TEST_F(ApSimDevice, SetChecksTypeRangeAndLengthOfEveryVariable) {
  struct Case {
    Binding value;
    long status;
  };
  const std::string hex64(64, 'a');
  const Case cases[] = {
      {Int("TrapEnable", 1), 0},
      {Int("TrapEnable", 2), kBadValue},
      {Int("RegulatoryDomain", 6), 0},
      {Int("RegulatoryDomain", 7), kBadValue},
      {Int("RegulatoryDomain", -1), kBadValue},
      {Text("SerialNumber", "0123456789"), 0},
      {Text("SerialNumber", "0123456789A"), kBadValue},
      {Int("SerialNumber", 5), kBadValue},
      {Raw("MacAddress", {2, 0, 0, 0, 0, 9}), 0},
      {Raw("MacAddress", {2, 0, 0, 0, 0}), kBadValue},
      {Text("IpAddress", "10.0.0.1"), kBadValue},
      {Int("Channel", 14), 0},
      {Int("Channel", 15), kBadValue},
      {Text("Essid", std::string(32, 'e')), 0},
      {Text("Essid", std::string(33, 'e')), kBadValue},
      {Int("RtsThreshold", 2347), 0},
      {Int("RtsThreshold", 2348), kBadValue},
      {Int("FragmentationThreshold", 2348), kBadValue},
      {Raw("BasicRates", {0, 0, 0x8B, 0}), 0},
      {Raw("BasicRates", {0, 0, 0x8B}), kBadValue},
      {Int("RateSetting", 123456), 0},
      {Text("DeviceName", std::string(33, 'n')), kBadValue},
      {Int("BeaconInterval", 20), 0},
      {Int("BeaconInterval", 1000), 0},
      {Int("BeaconInterval", 1001), kBadValue},
      {Int("OperationMode", 5), 0},
      {Int("OperationMode", 4), kBadValue},
      {Raw("Bssid", {1, 2, 3, 4, 5, 6, 7}), kBadValue},
      {Int("AuthenticationType", 5), kBadValue},
      {Int("EncryptionType", 4), 0},
      {Raw("WepKey2", Bytes(5, 0x11)), 0},
      {Raw("WepKey2", Bytes(13, 0x11)), 0},
      {Raw("WepKey2", Bytes(10, 0x11)), kBadValue},
      {Int("WepMode", 2), kBadValue},
      {Int("ActiveKey", 0), kBadValue},
      {Int("ReAuthPeriod", 65536), kBadValue},
      {Text("RadiusSecret4", std::string(33, 's')), kBadValue},
      {Int("WpaSupportStation", 7), 0},
      {Int("WpaSupportStation", 8), kBadValue},
      {Text("PreSharedKey", "12345678"), 0},
      {Text("PreSharedKey", "1234567"), kBadValue},
      {Text("PreSharedKey", hex64), 0},
      {Text("PreSharedKey", hex64.substr(1) + "g"), kBadValue},
      {Int("GroupKeyInterval", 65535), 0},
      {Int("SystemRestart", 3), kBadValue},
      {Int("LoadDefault", 2), kBadValue},
      {Int("UpgradePrepare", 1), 0},
      {Ip("UpgradeServerAddress", 192, 168, 1, 10), 0},
      {Int("RfTestCommand", 0x82), 0},
      {Int("RfTestCommand", 5), kBadValue},
      {Raw("RfTestParameters", {11, 4, 2, 0x5A, 0xE8, 3, 0, 0, 0xDC, 5}), 0},
      {Raw("RfTestParameters", {11, 4, 2, 0x5A, 0, 0, 0, 0, 0xDC, 5}), kBadValue},
      {Raw("BasebandRegisters", {2, 0, 0, 0, 0, 0, 0, 0}), 0},
      {Raw("BasebandRegisters", {4, 0, 0, 0, 0, 0, 0, 0}), kBadValue},
      {Raw("TxPowerSettings", {1, 31}), kBadValue},
      {Raw("AuthorizedTableEntry", AuthorizedRecord(1, 129, 1)), kBadValue},
      {Raw("AuthorizedTableEntry", AuthorizedRecord(3, 0, 0)), kBadValue},
      {Raw("AuthorizedTableEntry", Bytes(11)), kBadValue},
      {Text("SystemDescription", "mine"), kNoSuchName},
      {Raw("WirelessCounters", Bytes(56)), kNoSuchName},
      {Raw("RfTestCounters", Bytes(16)), kNoSuchName},
      {Int("1.3.6.1.4.1.15177.1.2.1.2.0", 1), kNoSuchName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.oid + " " + std::to_string(c.value.integer) + " " + c.value.Text());
    // After DeviceName, so the index also shows the position is counted.
    const Message reply = Set({Text("DeviceName", "ok"), c.value});
    EXPECT_EQ(reply.errorStatus, c.status);
    EXPECT_EQ(reply.errorIndex, c.status == 0 ? 0 : 2);
  }
}

TEST_F(ApSimDevice, CommunitiesDecideWhoReadsAndWrites) {
  EXPECT_TRUE(Send(GetRequest("public", {Null("DeviceName")})).empty());
  EXPECT_TRUE(Send(GetRequest("", {Null("DeviceName")})).empty());
  EXPECT_EQ(Exchange(GetRequest("admin", {Null("DeviceName")})).variables[0].Text(), "Kelvo-AP-01");

  for (const char* community : {"tundra", "wrong", ""}) {
    SCOPED_TRACE(community);
    const Message reply = Set({Text("DeviceName", "intruder"), Int("Channel", 1)}, community);
    EXPECT_EQ(reply.community, community);
    EXPECT_EQ(reply.errorStatus, kNoSuchName);
    EXPECT_EQ(reply.errorIndex, 1);
    EXPECT_EQ(reply.variables.size(), 2u);
  }
  EXPECT_EQ(Read("DeviceName").Text(), "Kelvo-AP-01");
}

TEST_F(ApSimDevice, NewPasswordBecomesTheWriteCommunityOnceTheReplyIsSent) {
  EXPECT_EQ(Set({Text("AccessPassword1", "secret"), Text("AccessPassword2", "other")}).errorStatus,
            kBadValue);
  const Message lone = Set({Int("TrapEnable", 1), Text("AccessPassword2", "secret")});
  EXPECT_EQ(lone.errorStatus, kBadValue);
  EXPECT_EQ(lone.errorIndex, 2);
  EXPECT_EQ(Set({Text("AccessPassword1", std::string(16, 'p')),
                 Text("AccessPassword2", std::string(16, 'p'))})
                .errorIndex,
            1);

  const auto replies =
      Send(SetRequest("admin", {Int("TrapEnable", 1), Text("AccessPassword1", "s3cret"),
                                Text("AccessPassword2", "s3cret")}));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(ParseMessage(replies[0].packet)->errorStatus, 0);
  // Until the reply has left, the old password still writes.
  EXPECT_EQ(Set({Int("Channel", 3)}, "admin").errorStatus, 0);
  simulator.ReplySent(replies[0], now);
  EXPECT_EQ(Set({Int("Channel", 4)}, "admin").errorStatus, kNoSuchName);
  EXPECT_EQ(Set({Int("Channel", 5)}, "s3cret").errorStatus, 0);
  EXPECT_EQ(Exchange(GetRequest("s3cret", {Null("Channel")})).variables[0].integer, 5);
  EXPECT_EQ(Exchange(GetRequest("admin", {Null("Channel")}), kAp1 + 1).errorStatus, 0)
      << "the other access points keep their password";
}

TEST_F(ApSimDevice, AuthorizedTableIsStoredAndFetchedRecordByRecord) {
  const Bytes a = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  const Bytes b = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  auto exchange = [this](const Bytes& record) {
    const Message reply = Set({Raw("AuthorizedTableEntry", record)});
    EXPECT_EQ(reply.errorStatus, 0);
    return reply.variables.at(0).bytes;
  };
  exchange(AuthorizedRecord(1, 2, 1, a));
  exchange(AuthorizedRecord(1, 2, 2, b));
  EXPECT_EQ(exchange(AuthorizedRecord(2, 0, 1)), AuthorizedRecord(2, 2, 1, a));
  EXPECT_EQ(exchange(AuthorizedRecord(2, 0, 2)), AuthorizedRecord(2, 2, 2, b));
  EXPECT_EQ(exchange(AuthorizedRecord(2, 0, 3)), AuthorizedRecord(2, 2, 3));

  // Storing a shorter table replaces the longer one from index 1 on.
  exchange(AuthorizedRecord(1, 1, 1, b));
  EXPECT_EQ(exchange(AuthorizedRecord(2, 0, 1)), AuthorizedRecord(2, 1, 1, b));
  exchange(AuthorizedRecord(1, 0, 0));
  EXPECT_EQ(exchange(AuthorizedRecord(2, 0, 1)), AuthorizedRecord(2, 0, 1));

  for (unsigned i = 1; i <= 128; ++i) {
    exchange(AuthorizedRecord(1, 128, i, {2, 0, 0, 0, 0, static_cast<std::uint8_t>(i)}));
  }
  EXPECT_EQ(exchange(AuthorizedRecord(2, 0, 128)),
            AuthorizedRecord(2, 128, 128, {2, 0, 0, 0, 0, 128}));
}

TEST_F(ApSimDevice, LoadDefaultRestoresTheFactoryValuesButKeepsAddressAndPassword) {
  ASSERT_EQ(Set({Text("DeviceName", "renamed"), Int("Channel", 1), Ip("IpAddress", 10, 1, 1, 1),
                 Raw("AuthorizedTableEntry", AuthorizedRecord(1, 1, 1, {2, 2, 2, 2, 2, 2})),
                 Text("AccessPassword1", "newpw"), Text("AccessPassword2", "newpw")})
                .errorStatus,
            0);
  ASSERT_EQ(Set({Int("LoadDefault", 1)}, "newpw").errorStatus, 0);
  const Message read = Get({Null("DeviceName"), Null("Channel"), Null("IpAddress")});
  EXPECT_EQ(read.variables[0].Text(), "Kelvo-AP-01");
  EXPECT_EQ(read.variables[1].integer, 6);
  EXPECT_EQ(read.variables[2].bytes, (Bytes{127, 0, 0, 2}));
  EXPECT_TRUE(simulator.Device(0).AuthorizedTable().empty());
  EXPECT_EQ(Set({Int("Channel", 2)}, "newpw").errorStatus, 0);
}

TEST_F(ApSimDevice, WepKeyReadsAsLongAsWepModeSays) {
  const Bytes written = {1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(Set({Raw("WepKey3", written), Int("WepMode", 1)}).errorStatus, 0);
  EXPECT_EQ(Read("WepKey3").bytes, (Bytes{1, 2, 3, 4, 5}));
  ASSERT_EQ(Set({Int("WepMode", 3)}).errorStatus, 0);
  EXPECT_EQ(Read("WepKey3").bytes, written);
  ASSERT_EQ(Set({Raw("WepKey3", {9, 8, 7, 6, 5})}).errorStatus, 0);
  EXPECT_EQ(Read("WepKey3").bytes.size(), 13u);
}

TEST_F(ApSimDevice, PreSharedKeyIsWrittenAsTextAndReadAs32Bytes) {
  std::string hex;
  Bytes key;
  for (int i = 0; i < 32; ++i) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex += kDigits[(i * 7) >> 4 & 0xF];
    hex += kDigits[(i * 7) & 0xF];
    key.push_back(static_cast<std::uint8_t>(i * 7));
  }
  ASSERT_EQ(Set({Int("PskAsciiMode", 2), Text("PreSharedKey", hex)}).errorStatus, 0);
  EXPECT_EQ(Read("PreSharedKey").bytes, key);

  ASSERT_EQ(Set({Int("PskAsciiMode", 1), Text("PreSharedKey", "correct horse")}).errorStatus, 0);
  const Bytes derived = Read("PreSharedKey").bytes;
  EXPECT_EQ(derived.size(), 32u);
  ASSERT_EQ(Set({Text("PreSharedKey", "correct horses")}).errorStatus, 0);
  EXPECT_NE(Read("PreSharedKey").bytes, derived);
  ASSERT_EQ(Set({Text("PreSharedKey", "correct horse")}).errorStatus, 0);
  EXPECT_EQ(Read("PreSharedKey").bytes, derived);
}

TEST_F(ApSimDevice, RegisterBlocksReadBackWhatWasWritten) {
  const Bytes written = {1, 0, 0xA5, 0x10, 0x20, 0x30, 0x40, 0x50};
  ASSERT_EQ(Set({Raw("BasebandRegisters", written)}).errorStatus, 0);
  const Message read = Set({Raw("BasebandRegisters", {3, 0, 0, 0, 0, 0, 0, 0})});
  EXPECT_EQ(read.errorStatus, 0);
  EXPECT_EQ(read.variables[0].bytes, (Bytes{3, 0, 0xA5, 0x10, 0x20, 0x30, 0x40, 0x50}));
  ASSERT_EQ(Set({Int("RfTestCommand", 2)}).errorStatus, 0);
  EXPECT_EQ(Read("RfTestCommand").integer, 2);
}

TEST(ApDeviceCounters, ExactRatesCountFloorOfRateTimesTimeAndWrapWhereTold) {
  struct Case {
    apsim::CounterRate rate;  // per 10^6 s
    std::optional<int> wrapSeconds;
    std::int64_t ms;
    std::uint32_t expected;
  };
  const Case cases[] = {
      // Without a wrap access point 1 has been up for an hour at 0.
      {125'000'000'000, {}, 0, 450'000'000},
      {125'000'000'000, {}, 60'001, 457'500'125},
      // Before its wrap a counter lies below 2^32 by the events still to come, rounded up.
      {500'000, 10, 0, 0xFFFF'FFFB},
      {500'000, 10, 9'999, 0xFFFF'FFFF},
      {500'000, 10, 10'000, 0},
      {500'000, 10, 12'000, 1},
      {3'000'000, 5, 0, 0xFFFF'FFF1},
      {1, 0, 999'999'999, 0},
      {1, 0, 1'000'000'000, 1},
      // Products far beyond 64 bits stay exact.
      {4'294'967'295'999'999, 0, 864'000'000, 4'294'967'295},
      {3'000'000'000'500'000, 7, 31'536'000'000, 2'787'575'740},
      {1'000'001, 0, 123'456'789'012, 123'456'912},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " per 10^6 s at " << c.ms << " ms");
    apsim::ApDevice device(1, 0x7F000002, "admin");
    apsim::CounterSettings settings;
    // The first counter of the first block and the last of the last.
    for (const char* key : {"ethernet_rx_bytes", "wireless_rx_cts"}) {
      settings.rates[*statistics::CounterByKey(key)] = c.rate;
    }
    if (c.wrapSeconds) settings.wrapAfter = std::chrono::seconds(*c.wrapSeconds);
    device.ConfigureCounters(settings);
    EXPECT_EQ(CounterAt(device, "ethernet_rx_bytes", apsim::SimTime(c.ms)), c.expected);
    EXPECT_EQ(CounterAt(device, "wireless_rx_cts", apsim::SimTime(c.ms)), c.expected);
  }
}

TEST(ApDeviceCounters, ARestartClearsTheWrapOffsetAndKeepsTheRates) {
  using std::chrono::seconds;
  apsim::ApDevice device(1, 0x7F000002, "admin");
  apsim::CounterSettings settings;
  settings.rates[*statistics::CounterByKey("ethernet_rx_bytes")] = 1'000'000;
  settings.wrapAfter = seconds(30);
  device.ConfigureCounters(settings);
  EXPECT_EQ(CounterAt(device, "ethernet_rx_bytes", seconds(0)), 0xFFFF'FFFF - 29);
  // Access point 1 receives 60 packets a second by its own table; they wrap as well.
  EXPECT_EQ(CounterAt(device, "ethernet_rx_packets", seconds(0)), 0xFFFF'FFFF - 1799);
  EXPECT_EQ(CounterAt(device, "ethernet_rx_packets", seconds(30)), 0u);

  device.Restart(seconds(5));
  EXPECT_EQ(CounterAt(device, "ethernet_rx_bytes", seconds(5)), 0u);
  EXPECT_EQ(CounterAt(device, "ethernet_rx_bytes", seconds(8)), 3u);
  EXPECT_EQ(CounterAt(device, "ethernet_rx_bytes", seconds(40)), 35u);
  EXPECT_EQ(CounterAt(device, "ethernet_rx_packets", seconds(40)), 60u * 35);
}

}  // namespace
}  // namespace kelvo::test
