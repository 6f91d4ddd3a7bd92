// SPDX-License-Identifier: GPL-2.0-or-later
// The manufacturing test requests against the simulated device under test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "PageFixture.h"
#include "rftest/TestOperations.h"

namespace kelvo::test {
namespace {

using namespace rftest;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const std::string kTimeout(snmp::messages::kTimeout);
const std::string kSetError(snmp::messages::kSetError);
const std::string kGetError(snmp::messages::kGetError);
const std::string kExtractError(snmp::messages::kExtractError);

// Only the packet RX test needs the test port (65535); CTest runs these tests in parallel, so it
// alone opens it, on addresses of its own.
ApSimOptions DeviceUnderTest(bool testPort) {
  if (testPort) return {2, "127.0.95.2", "admin", {}};
  return {2, "127.0.94.2", "admin", {"--test-port", "0"}};
}

class RfTestOperations : public PageFixture {
 protected:
  explicit RfTestOperations(bool testPort = false) : PageFixture(DeviceUnderTest(testPort)) {}

  bool SendCommand(TestMode mode) {
    blocks_.mode = mode;
    return SetTestVariable(session_, TestGroup::Command, Host(), blocks_);
  }

  // The counters of a GetTestVariable of group 6 (nullopt when nothing arrived).
  std::optional<CounterBlock> PollCounters() {
    std::optional<CounterBlock> counters;
    GetTestVariable(session_, TestGroup::Counters, Host(),
                    [&](std::span<const std::uint8_t> bytes) {
                      counters = DecodeCounters(bytes, CounterBlock{});
                    });
    return counters;
  }

  Bytes ReadBack(TestGroup group) {
    Bytes received;
    ReadTestRegisters(session_, group, Host(), blocks_, [&](std::span<const std::uint8_t> bytes) {
      received.assign(bytes.begin(), bytes.end());
    });
    return received;
  }

  // The last logged request's value of one variable, as the simulator saw it.
  ApSimLogEntry LastLogged() {
    const auto log = sim_.Log(0);
    if (log.empty()) throw std::runtime_error("nothing logged");
    return log.back();
  }

  TestBlocks blocks_;
};

TEST_F(RfTestOperations, CommandsStartAndStopTheDevicesTests) {
  ASSERT_TRUE(SendCommand(StartCode(TestKind::Carrier)));
  EXPECT_EQ(LastLogged().pdu, "set");
  EXPECT_EQ(LastLogged().community, "admin");
  EXPECT_EQ(LastLogged().oid, "1.3.6.1.4.1.15177.1.1.8.1.0");
  EXPECT_EQ(LastLogged().type, 'i');
  EXPECT_EQ(LastLogged().value, "4");
  EXPECT_EQ(sim_.Get(0, "RfTestCommand").value, "4");

  // The device runs one test at a time: a start of another one is refused.
  EXPECT_FALSE(SendCommand(StartCode(TestKind::ContinuousTx)));
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{kSetError});
  ASSERT_TRUE(SendCommand(StopCode(TestKind::Carrier)));
  EXPECT_EQ(LastLogged().value, "132");
  ASSERT_TRUE(SendCommand(StartCode(TestKind::ContinuousTx)));
  ASSERT_TRUE(SendCommand(StopCode(TestKind::PacketTx)));
  EXPECT_EQ(LastLogged().value, "130");
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(RfTestOperations, SetFailuresAreReportedOnce) {
  session_.SetWriteCommunity("wrong");
  EXPECT_FALSE(SendCommand(1));
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{kSetError});
  session_.SetWriteCommunity("admin");

  sim_.Fault(0, "silent");
  const auto start = Clock::now();
  EXPECT_FALSE(SetTestVariable(session_, TestGroup::Baseband, Host(), blocks_));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1900));
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{kTimeout});

  // Groups without a set send nothing.
  sim_.Fault(0, "none");
  sim_.ClearLog(0);
  EXPECT_FALSE(SetTestVariable(session_, TestGroup::Counters, Host(), blocks_));
  EXPECT_TRUE(sim_.Log(0).empty());
}

TEST_F(RfTestOperations, BlocksTravelAsTheirBytes) {
  ASSERT_FALSE(FillPacketTestBlock({1500, 1000, 10, 3, 1, "5A"}, blocks_.packet));
  ASSERT_TRUE(SetTestVariable(session_, TestGroup::Parameters, Host(), blocks_));
  EXPECT_EQ(LastLogged().type, 's');
  EXPECT_EQ(LastLogged().value, "0B04025AE8030000DC05");

  blocks_.baseband.op = RegisterOp::WriteFlash;
  ASSERT_TRUE(SetTestVariable(session_, TestGroup::Baseband, Host(), blocks_));
  EXPECT_EQ(LastLogged().value, "0200000000000000");

  // The device refuses a block it cannot take (channel 0 after an empty channel list).
  blocks_.packet.channel = 0;
  EXPECT_FALSE(SetTestVariable(session_, TestGroup::Parameters, Host(), blocks_));
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{kSetError});
}

TEST_F(RfTestOperations, RegisterBlocksRoundTripThroughTheDevice) {
  ASSERT_FALSE(FillBasebandBlock({"a5", "10", "20", "30", "40", "50"}, blocks_.baseband));
  ASSERT_FALSE(FillPowerBlock(17, 31, blocks_.power));
  ASSERT_FALSE(FillSynthesizerBlock(
      {"0000abcd", "12345678", "00000001", "FFFFFFFF", "0A0B0C0D", "00001F80", "00000700"},
      blocks_.synthesizer));
  const TestBlocks written = blocks_;

  struct Case {
    TestGroup group;
    RegisterOp writeOp;  // the write that the read then sees
  };
  const Case cases[] = {
      {TestGroup::Baseband, RegisterOp::WriteChip},      // "Write To BBP" / "Read From BBP"
      {TestGroup::Power, RegisterOp::WriteFlash},        // power flash
      {TestGroup::Synthesizer, RegisterOp::WriteFlash},  // RF2958 flash
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.group));
    blocks_ = written;
    blocks_.baseband.op = blocks_.power.op = blocks_.synthesizer.op = c.writeOp;
    ASSERT_TRUE(SetTestVariable(session_, c.group, Host(), blocks_));
    // The read sends the window's values with operation 3; the device answers with its own.
    blocks_ = TestBlocks{};
    const Bytes reply = ReadBack(c.group);
    EXPECT_EQ(LastLogged().value.substr(0, 2), "03");
    EXPECT_EQ(reply.size(), written.BytesOf(c.group).size());
    switch (c.group) {
      case TestGroup::Baseband: {
        const auto values = DecodeBaseband(reply);
        EXPECT_EQ(ByteText(*values[0]), "A5");
        EXPECT_EQ(ByteText(*values[5]), "50");
        break;
      }
      case TestGroup::Power: {
        const auto values = DecodePower(reply);
        EXPECT_EQ(PowerText(*values.txGain), "17");
        EXPECT_EQ(PowerText(*values.pDesired), "31");
        break;
      }
      default: {
        const auto values = DecodeSynthesizer(reply);
        EXPECT_EQ(RegisterText(*values[0]), "0000ABCD");
        EXPECT_EQ(RegisterText(*values[4]), "0A0B0C0D");
        EXPECT_EQ(RegisterText(*values[6]), "00000700");
      }
    }
  }
  // Writing into the synthesizer chip leaves what flash gives back.
  blocks_ = written;
  blocks_.synthesizer.registers[0] = 0x11111111;
  ASSERT_TRUE(SetTestVariable(session_, TestGroup::Synthesizer, Host(), blocks_));
  EXPECT_EQ(RegisterText(*DecodeSynthesizer(ReadBack(TestGroup::Synthesizer))[0]), "0000ABCD");
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(RfTestOperations, RefusedReadStillDeliversTheReplyThenReports) {
  sim_.Fault(0, "error 2");
  blocks_.power = PowerBlock{RegisterOp::WriteChip, 7, 9};
  bool delivered = false;
  ReadTestRegisters(session_, TestGroup::Power, Host(), blocks_,
                    [&](std::span<const std::uint8_t> bytes) {
                      delivered = true;
                      // The message comes after the fields were filled.
                      EXPECT_TRUE(prompter_.Shown().empty());
                      EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), (Bytes{3, 7, 9}));
                    });
  EXPECT_TRUE(delivered);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{kSetError});
}

TEST_F(RfTestOperations, GetsReportOnlyForTheParameters) {
  Bytes parameters;
  const auto keep = [&](std::span<const std::uint8_t> bytes) {
    parameters.assign(bytes.begin(), bytes.end());
  };
  GetTestVariable(session_, TestGroup::Parameters, Host(), keep);
  EXPECT_EQ(LastLogged().pdu, "get");
  EXPECT_EQ(LastLogged().community, "tundra");
  const auto decoded = DecodePacketParameters(parameters);
  EXPECT_EQ(decoded.channel, 6);
  EXPECT_EQ(decoded.dataRate, 4);
  EXPECT_EQ(decoded.preamble, 1);
  EXPECT_TRUE(TakeMessages().empty());

  // A refusal echoes the request's NULL value: only the refusal is reported, and only for
  // group 2. An accepted reply whose value is no block fails its extraction for both groups.
  struct Case {
    const char* fault;
    TestGroup group;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"error 5", TestGroup::Parameters, {kGetError}},
      {"error 5", TestGroup::Counters, {}},
      {"wrong-type", TestGroup::Parameters, {kExtractError}},
      {"wrong-type", TestGroup::Counters, {kExtractError}},
      {"silent", TestGroup::Parameters, {kTimeout}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + (c.group == TestGroup::Counters ? " counters" : ""));
    sim_.Fault(0, c.fault);
    bool delivered = false;
    GetTestVariable(session_, c.group, Host(),
                    [&](std::span<const std::uint8_t>) { delivered = true; });
    EXPECT_FALSE(delivered);
    EXPECT_EQ(TakeMessages(), c.messages);
  }

  // A silent device costs the counters poll its time-out and nothing more.
  const auto start = Clock::now();
  EXPECT_FALSE(PollCounters());
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
  EXPECT_LT(waited, std::chrono::milliseconds(4000));
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(RfTestOperations, PacketTxCountersAdvanceToThePacketNumber) {
  // 200 packets of 64 bytes at 11 Mb take about 40 ms on the device.
  ASSERT_FALSE(FillPacketTestBlock({64, 200, 0, 3, 1, "AA"}, blocks_.packet));
  ASSERT_TRUE(SetTestVariable(session_, TestGroup::Parameters, Host(), blocks_));
  ASSERT_TRUE(SendCommand(StartCode(TestKind::PacketTx)));
  std::optional<CounterBlock> counters;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  do {
    counters = PollCounters();
    ASSERT_TRUE(counters);
  } while (counters->txGood + counters->txBad < 200 && Clock::now() < deadline);
  EXPECT_EQ(*counters, (CounterBlock{198, 2, 0, 0}));
  ASSERT_TRUE(SendCommand(StopCode(TestKind::PacketTx)));
  EXPECT_EQ(PollCounters(), counters);
}

class RfTestPacketRx : public RfTestOperations {
 protected:
  RfTestPacketRx() : RfTestOperations(true) {}
};

TEST_F(RfTestPacketRx, CountsDatagramsToTheTestPort) {
  ASSERT_TRUE(SendCommand(StartCode(TestKind::PacketRx)));
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  const auto sendTo = [&](const std::string& address, int count) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(65535);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    const Bytes payload(22, 0xAA);
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to),
                static_cast<ssize_t>(payload.size()));
      // Small bursts, so the receive buffer never overflows.
      if (i % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  };
  sendTo(Host(), 300);
  sendTo(sim_.Address(1), 40);  // the other access point is not under test
  std::optional<CounterBlock> counters;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  do {
    counters = PollCounters();
    ASSERT_TRUE(counters);
  } while (counters->rxGood < 300 && Clock::now() < deadline);
  ::close(fd);
  // Datagrams still in flight would show up on a later poll.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(PollCounters(), (CounterBlock{0, 0, 300, 0}));
  ASSERT_TRUE(SendCommand(StopCode(TestKind::PacketRx)));
}

TEST_F(RfTestOperations, LocalAddresses) {
  EXPECT_TRUE(ProbeLocalAddress("127.0.0.1"));
  EXPECT_TRUE(ProbeLocalAddress("0.0.0.0"));
  EXPECT_FALSE(ProbeLocalAddress("192.0.2.1"));  // documentation network, never local
  EXPECT_FALSE(ProbeLocalAddress("not an address"));

  ASSERT_TRUE(UseLocalAddress(session_, "127.0.0.1"));
  EXPECT_NE(session_.Component().LocalPort(), 0);
  EXPECT_TRUE(SendCommand(StartCode(TestKind::Carrier)));
  EXPECT_FALSE(UseLocalAddress(session_, "192.0.2.1"));
  // The component keeps its socket and still reaches the device.
  EXPECT_TRUE(SendCommand(StopCode(TestKind::Carrier)));
  EXPECT_TRUE(TakeMessages().empty());
}

}  // namespace
}  // namespace kelvo::test
