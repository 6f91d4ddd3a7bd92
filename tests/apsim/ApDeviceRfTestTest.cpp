// SPDX-License-Identifier: GPL-2.0-or-later
// The access point as a device under test: test commands, the packet counters and the register
// blocks kept in the chip and in flash.
#include <gtest/gtest.h>

#include "AgentFixture.h"
#include "SnmpPdu.h"

namespace kelvo::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

class ApSimRfTest : public AgentFixture {
 protected:
  long Command(long code) { return Set({Int("RfTestCommand", code)}).errorStatus; }

  // TX good, TX bad, RX good, RX bad.
  std::array<std::uint32_t, 4> Counters() {
    const Bytes block = Read("RfTestCounters").bytes;
    std::array<std::uint32_t, 4> counts{};
    for (std::size_t i = 0; i < counts.size(); ++i) {
      for (std::size_t b = 0; b < 4; ++b) {
        counts[i] |= static_cast<std::uint32_t>(block.at(4 * i + b)) << (8 * b);
      }
    }
    return counts;
  }
  std::uint32_t TxTotal() { return Counters()[0] + Counters()[1]; }

  Bytes RegisterRead(const std::string& variable, std::size_t size) {
    Bytes request(size);
    request[0] = 3;
    const Message reply = Set({Raw(variable, request)});
    EXPECT_EQ(reply.errorStatus, 0);
    return reply.variables.at(0).bytes;
  }
};

TEST_F(ApSimRfTest, TestCommandStartsAndStopsOneTestAtATime) {
  auto& device = simulator.Device(0);
  EXPECT_EQ(device.RunningTest(), 0);
  EXPECT_EQ(Command(1), 0);
  EXPECT_EQ(device.RunningTest(), 1);
  // Another start while continuous TX runs is refused; the same start again is taken.
  EXPECT_EQ(Command(4), apsim::kGenErr);
  EXPECT_EQ(Command(1), 0);
  // A stop of a test that does not run changes nothing.
  EXPECT_EQ(Command(0x84), 0);
  EXPECT_EQ(device.RunningTest(), 1);
  EXPECT_EQ(Command(0x81), 0);
  EXPECT_EQ(device.RunningTest(), 0);
  EXPECT_EQ(Command(4), 0);
  EXPECT_EQ(Read("RfTestCommand").integer, 4);
  // Other access points are not under test.
  EXPECT_EQ(simulator.Device(1).RunningTest(), 0);
  // A full restart leaves the radio idle.
  ASSERT_EQ(Set({Int("SystemRestart", 1)}).errorStatus, 0);
  EXPECT_EQ(device.RunningTest(), 0);
}

TEST_F(ApSimRfTest, PacketTxCountsUpToThePacketNumber) {
  // Channel 1, 11 Mb, short preamble, 1000 packets of 1500 bytes: about 1.24 ms each.
  ASSERT_EQ(Set({Raw("RfTestParameters", {1, 4, 2, 0xAA, 0xE8, 3, 0, 0, 0xDC, 5})}).errorStatus, 0);
  EXPECT_EQ(TxTotal(), 0u);
  ASSERT_EQ(Command(2), 0);
  now += milliseconds(620);
  const std::uint32_t halfway = TxTotal();
  EXPECT_GT(halfway, 400u);
  EXPECT_LT(halfway, 600u);
  now += milliseconds(5000);
  EXPECT_EQ(Counters(), (std::array<std::uint32_t, 4>{990, 10, 0, 0}));
  ASSERT_EQ(Command(0x82), 0);
  now += milliseconds(5000);
  EXPECT_EQ(TxTotal(), 1000u);

  // A new start counts from zero, at the new rate: 1 Mb with long preamble is ten times slower.
  ASSERT_EQ(Set({Raw("RfTestParameters", {1, 1, 1, 0xAA, 100, 0, 0, 0, 0xDC, 5})}).errorStatus, 0);
  ASSERT_EQ(Command(2), 0);
  EXPECT_EQ(TxTotal(), 0u);
  now += milliseconds(620);
  EXPECT_LT(TxTotal(), 60u);
  // Stopping early keeps the count reached.
  ASSERT_EQ(Command(0x82), 0);
  const std::uint32_t stopped = TxTotal();
  EXPECT_GT(stopped, 40u);
  now += milliseconds(5000);
  EXPECT_EQ(TxTotal(), stopped);
}

TEST_F(ApSimRfTest, PacketRxCountsTestDatagramsWhileItRuns) {
  EXPECT_FALSE(simulator.TestDatagramReceived(kAp1));
  ASSERT_EQ(Command(3), 0);
  for (int i = 0; i < 25; ++i) EXPECT_TRUE(simulator.TestDatagramReceived(kAp1));
  // Datagrams to other addresses are not this device's.
  EXPECT_FALSE(simulator.TestDatagramReceived(kAp1 + 1));
  EXPECT_FALSE(simulator.TestDatagramReceived(0x7F000063));
  EXPECT_EQ(Counters(), (std::array<std::uint32_t, 4>{0, 0, 25, 0}));
  ASSERT_EQ(Command(0x83), 0);
  EXPECT_FALSE(simulator.TestDatagramReceived(kAp1));
  EXPECT_EQ(Counters()[2], 25u);
  // A new start counts from zero.
  ASSERT_EQ(Command(3), 0);
  EXPECT_EQ(Counters()[2], 0u);
}

TEST_F(ApSimRfTest, RegisterBlocksLiveInTheChipAndInFlash) {
  struct Case {
    const char* variable;
    Bytes chipWrite;   // operation 1
    Bytes flashWrite;  // operation 2
    bool readsChip;    // "Read From BBP" reads the chip, the others "Read From Flash"
  };
  Bytes synthesizerChip(32, 0x11);
  synthesizerChip[0] = 1;
  synthesizerChip[1] = synthesizerChip[2] = synthesizerChip[3] = 0;
  Bytes synthesizerFlash(32, 0x22);
  synthesizerFlash[0] = 2;
  synthesizerFlash[1] = synthesizerFlash[2] = synthesizerFlash[3] = 0;
  const Case cases[] = {
      {"BasebandRegisters", {1, 0, 1, 2, 3, 4, 5, 6}, {2, 0, 9, 8, 7, 6, 5, 4}, true},
      {"TxPowerSettings", {1, 10, 11}, {2, 20, 21}, false},
      {"SynthesizerRegisters", synthesizerChip, synthesizerFlash, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variable);
    const std::size_t size = c.chipWrite.size();
    const std::size_t opBytes = size == 32 ? 4 : 1;
    const auto values = [&](const Bytes& block) {
      return Bytes(block.begin() + opBytes, block.end());
    };
    const auto readValues = [&] { return values(RegisterRead(c.variable, size)); };

    ASSERT_EQ(Set({Raw(c.variable, c.chipWrite)}).errorStatus, 0);
    ASSERT_EQ(Set({Raw(c.variable, c.flashWrite)}).errorStatus, 0);
    // The reply has the request's layout and operation field.
    const Bytes reply = RegisterRead(c.variable, size);
    EXPECT_EQ(reply[0], 3);
    EXPECT_EQ(values(reply), values(c.readsChip ? c.chipWrite : c.flashWrite));
    // A full restart loads the chip from flash.
    ASSERT_EQ(Set({Int("SystemRestart", 1)}).errorStatus, 0);
    EXPECT_EQ(readValues(), values(c.flashWrite));
    // Flash survives the factory settings.
    ASSERT_EQ(Set({Int("LoadDefault", 1)}).errorStatus, 0);
    EXPECT_EQ(readValues(), values(c.flashWrite));
    // A block of the wrong length or with an unknown operation is refused and changes nothing.
    Bytes wrong = c.chipWrite;
    wrong.pop_back();
    EXPECT_EQ(Set({Raw(c.variable, wrong)}).errorStatus, apsim::kBadValue);
    Bytes unknown = c.chipWrite;
    unknown[0] = 4;
    EXPECT_EQ(Set({Raw(c.variable, unknown)}).errorStatus, apsim::kBadValue);
    EXPECT_EQ(readValues(), values(c.flashWrite));
  }
}

TEST_F(ApSimRfTest, StoredCountersStayAsStored) {
  simulator.Device(0).Store(
      mib::Variable::RfTestCounters,
      apsim::SnmpValue::Bytes({1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}));
  ASSERT_EQ(Command(3), 0);
  simulator.TestDatagramReceived(kAp1);
  EXPECT_EQ(Counters(), (std::array<std::uint32_t, 4>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace kelvo::test
