// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "rftest/TestBlocks.h"

namespace kelvo::rftest {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename Array>
Bytes ToBytes(const Array& array) {
  return Bytes(array.begin(), array.end());
}

TEST(RfTestBlocks, VariablesAreTheSixTestGroups) {
  EXPECT_FALSE(FindTestVariable(3));
  EXPECT_FALSE(FindTestVariable(0));
  EXPECT_FALSE(FindTestVariable(8));
  for (const TestVariable& row : kTestVariables) {
    SCOPED_TRACE(static_cast<int>(row.group));
    ASSERT_TRUE(FindTestVariable(static_cast<int>(row.group)));
    EXPECT_EQ(TestVariableOf(row.group).variable, row.variable);
  }
  EXPECT_EQ(mib::FullOid(TestVariableOf(TestGroup::Synthesizer).variable),
            "1.3.6.1.4.1.15177.1.1.8.7.0");
  EXPECT_EQ(TestBlocks{}.BytesOf(TestGroup::Command), Bytes{});
  EXPECT_EQ(TestBlocks{}.BytesOf(TestGroup::Counters), Bytes{});
  for (const TestGroup group :
       {TestGroup::Parameters, TestGroup::Baseband, TestGroup::Power, TestGroup::Synthesizer}) {
    EXPECT_EQ(TestBlocks{}.BytesOf(group).size(), TestVariableOf(group).blockSize);
  }
}

TEST(RfTestBlocks, TestModesStartAndStop) {
  EXPECT_EQ(TestModeText(StopCode(TestKind::PacketTx)), "130");
  EXPECT_EQ(StartCode(TestKind::Carrier), 4);
  EXPECT_EQ(StopCode(TestKind::ContinuousTx), 0x81);
  EXPECT_EQ(StartedTest(3), TestKind::PacketRx);
  EXPECT_FALSE(StartedTest(kNoTestMode));
  EXPECT_FALSE(StartedTest(0x84));
  EXPECT_EQ(StoppedTest(0x84), TestKind::Carrier);
  EXPECT_FALSE(StoppedTest(0x85));
  EXPECT_FALSE(StoppedTest(4));
}

TEST(RfTestBlocks, EncodingsMatchTheDeviceLayouts) {
  PacketTestBlock packet{11, 4, 2, 0x5A, 1000, 1500};
  EXPECT_EQ(ToBytes(packet.Encode()),
            (Bytes{0x0B, 0x04, 0x02, 0x5A, 0xE8, 0x03, 0, 0, 0xDC, 0x05}));
  packet.packetNumber = 0x01020304;
  EXPECT_EQ(ToBytes(packet.Encode()), (Bytes{0x0B, 0x04, 0x02, 0x5A, 4, 3, 2, 1, 0xDC, 0x05}));

  const BasebandBlock flash{RegisterOp::WriteFlash, {}};
  EXPECT_EQ(ToBytes(flash.Encode()), (Bytes{0x02, 0, 0, 0, 0, 0, 0, 0}));
  const BasebandBlock chip{RegisterOp::WriteChip, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};
  EXPECT_EQ(ToBytes(chip.Encode()), (Bytes{0x01, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));

  EXPECT_EQ(ToBytes(PowerBlock{RegisterOp::Read, 20, 31}.Encode()), (Bytes{3, 20, 31}));

  SynthesizerBlock synthesizer{RegisterOp::WriteFlash, {0x0000ABCD, 1, 2, 3, 4, 5, 0x12345678}};
  const Bytes encoded = ToBytes(synthesizer.Encode());
  ASSERT_EQ(encoded.size(), 32u);
  EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + 8), (Bytes{2, 0, 0, 0, 0xCD, 0xAB, 0, 0}));
  EXPECT_EQ(Bytes(encoded.begin() + 28, encoded.end()), (Bytes{0x78, 0x56, 0x34, 0x12}));

  const CounterBlock counters{990, 10, 0x01020304, 7};
  EXPECT_EQ(ToBytes(counters.Encode()),
            (Bytes{0xDE, 0x03, 0, 0, 10, 0, 0, 0, 4, 3, 2, 1, 7, 0, 0, 0}));
}

TEST(RfTestBlocks, RepliesDecodeOnlyWhatTheyHold) {
  const Bytes parameters = {11, 4, 2, 0x5A, 0xE8, 3, 0, 0, 0xDC, 5};
  const auto full = DecodePacketParameters(parameters);
  EXPECT_EQ(full.channel, 11);
  EXPECT_EQ(full.dataRate, 4);
  EXPECT_EQ(full.preamble, 2);
  const auto shortReply = DecodePacketParameters(Bytes{9, 1});
  EXPECT_EQ(shortReply.channel, 9);
  EXPECT_EQ(shortReply.dataRate, 1);
  EXPECT_FALSE(shortReply.preamble);

  const auto baseband = DecodeBaseband(Bytes{3, 0, 0x0B, 0x1F, 0x4A});
  EXPECT_EQ(baseband[0], 0x0B);
  EXPECT_EQ(baseband[2], 0x4A);
  EXPECT_FALSE(baseband[3]);
  EXPECT_FALSE(baseband[5]);

  const auto power = DecodePower(Bytes{3, 200});
  EXPECT_EQ(power.txGain, 200);
  EXPECT_FALSE(power.pDesired);
  EXPECT_EQ(PowerText(*power.txGain), "200");

  Bytes synthesizerReply(32);
  synthesizerReply[4] = 0x0D;
  synthesizerReply[5] = 0x0C;
  synthesizerReply[6] = 0x0B;
  synthesizerReply[7] = 0x0A;
  const auto registers = DecodeSynthesizer(synthesizerReply);
  EXPECT_EQ(RegisterText(*registers[0]), "0A0B0C0D");
  EXPECT_EQ(RegisterText(*registers[6]), "00000000");
  // A register cut in the middle is not read at all.
  const auto cut =
      DecodeSynthesizer(Bytes(synthesizerReply.begin(), synthesizerReply.begin() + 10));
  EXPECT_TRUE(cut[0]);
  EXPECT_FALSE(cut[1]);

  const CounterBlock previous{1, 2, 3, 4};
  EXPECT_EQ(DecodeCounters(Bytes{0xDE, 0x03, 0, 0, 10, 0, 0}, previous),
            (CounterBlock{990, 2, 3, 4}));
  EXPECT_EQ(DecodeCounters(Bytes{}, previous), previous);
  EXPECT_EQ(DecodeCounters(CounterBlock{5, 6, 7, 8}.Encode(), previous),
            (CounterBlock{5, 6, 7, 8}));
}

TEST(RfTestBlocks, TextForms) {
  struct ByteCase {
    const char* text;
    std::optional<std::uint8_t> value;
  };
  const ByteCase bytes[] = {
      {"a5", 0xA5},         {"A5", 0xA5},         {"00", 0},
      {"fF", 0xFF},         {"0b7", 0x0B},  // third not read
      {"A", std::nullopt},  {"", std::nullopt},   {"G1", std::nullopt},
      {"1G", std::nullopt}, {" 1", std::nullopt},
  };
  for (const ByteCase& c : bytes) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseByteText(c.text), c.value);
  }
  EXPECT_EQ(ByteText(0x0B), "0B");
  EXPECT_EQ(ByteText(0xA5), "A5");

  struct RegisterCase {
    const char* text;
    std::optional<std::uint32_t> value;
  };
  const RegisterCase registers[] = {
      {"0000abcd", 0x0000ABCD},   {"1234ABCD", 0x1234ABCD},  {"FFFFFFFF", 0xFFFFFFFF},
      {"000000001", 0x00000000},  {"0000ABC", std::nullopt}, {"0000ABCG", std::nullopt},
      {"-0000001", std::nullopt},
  };
  for (const RegisterCase& c : registers) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseRegisterText(c.text), c.value);
  }
  EXPECT_EQ(RegisterText(0xABCD), "0000ABCD");
  // The text travels as its four bytes in reverse order.
  SynthesizerBlock block;
  block.registers[0] = *ParseRegisterText("0000abcd");
  const auto encoded = block.Encode();
  EXPECT_EQ(Bytes(encoded.begin() + 4, encoded.begin() + 8), (Bytes{0xCD, 0xAB, 0, 0}));
}

TEST(RfTestBlocks, PacketFieldsStopAtTheFirstFailure) {
  struct Case {
    const char* name;
    PacketFields fields;
    std::optional<std::string> message;
  };
  const Case cases[] = {
      {"defaults", {}, std::nullopt},
      {"length 63", {63, 1000, 0, 3, 1, "AA"}, "Packet length (64 ~ 1514)"},
      {"length 1515", {1515, 0, 0, 3, 1, "zz"}, "Packet length (64 ~ 1514)"},
      {"number 0", {64, 0, 0, 3, 1, "AA"}, "Packet number (1 ~ 65535)"},
      {"number 65536", {1514, 65536, 0, 3, 1, "AA"}, "Packet number (1 ~ 65535)"},
      {"pattern G", {1514, 65535, 0, 3, 1, "G0"}, "Pattern:Only accept hex value(0~F)."},
      {"pattern one digit", {64, 1, 0, 3, 1, "5"}, "Pattern:Only accept hex value(0~F)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PacketTestBlock block{9, 9, 9, 9, 9, 9};
    EXPECT_EQ(FillPacketTestBlock(c.fields, block), c.message);
  }

  PacketTestBlock block;
  ASSERT_FALSE(FillPacketTestBlock({1500, 1000, 10, 3, 1, "5a"}, block));
  EXPECT_EQ(ToBytes(block.Encode()), (Bytes{0x0B, 0x04, 0x02, 0x5A, 0xE8, 0x03, 0, 0, 0xDC, 0x05}));
  // No channel selected travels as channel 0.
  ASSERT_FALSE(FillPacketTestBlock({64, 1, -1, 0, 0, "00"}, block));
  EXPECT_EQ(block.channel, 0);
  // A failure part way leaves the zeroed block with the fields that passed.
  block = PacketTestBlock{9, 9, 9, 9, 9, 9};
  ASSERT_TRUE(FillPacketTestBlock({100, 0, 0, 3, 1, "AA"}, block));
  EXPECT_EQ(block, (PacketTestBlock{0, 0, 0, 0, 0, 100}));
}

TEST(RfTestBlocks, RegisterFieldsNameTheFirstBadField) {
  using Texts6 = std::array<std::string, 6>;
  const Texts6 good = {"00", "a5", "FF", "10", "20", "30"};
  BasebandBlock baseband{RegisterOp::WriteFlash, {}};
  EXPECT_FALSE(FillBasebandBlock(good, baseband));
  EXPECT_EQ(baseband.registers, (std::array<std::uint8_t, 6>{0, 0xA5, 0xFF, 0x10, 0x20, 0x30}));
  EXPECT_EQ(baseband.op, RegisterOp::WriteFlash);
  for (std::size_t bad = 0; bad < good.size(); ++bad) {
    Texts6 texts = good;
    texts[bad] = "A";
    texts[(bad + 1) % texts.size()] = "G1";  // a later failure is not reached
    BasebandBlock block;
    const auto message = FillBasebandBlock(texts, block);
    ASSERT_TRUE(message);
    if (bad + 1 < texts.size()) {
      EXPECT_EQ(*message, std::string(kBasebandNames[bad]) + ":Only accept hex value(0~F).");
    }
  }
  EXPECT_EQ(FillBasebandBlock({"00", "00", "00", "00", "00", "0"}, baseband),
            "CR29:Only accept hex value(0~F).");
  EXPECT_EQ(FillBasebandBlock({"zz", "00", "00", "00", "00", "00"}, baseband),
            "CR3:Only accept hex value(0~F).");

  using Texts7 = std::array<std::string, 7>;
  const Texts7 registers = {"00029004", "00000c91", "00026B20", "00000E08",
                            "00019D11", "00001F80", "00000700"};
  SynthesizerBlock synthesizer;
  EXPECT_FALSE(FillSynthesizerBlock(registers, synthesizer));
  EXPECT_EQ(synthesizer.registers[1], 0x00000C91u);
  for (std::size_t bad = 0; bad < registers.size(); ++bad) {
    Texts7 texts = registers;
    texts[bad] = "0000000";
    EXPECT_EQ(FillSynthesizerBlock(texts, synthesizer),
              std::string(kSynthesizerNames[bad]) + ":Only accept hex value(0~F).");
    // The fields before the bad one are already in the block.
    if (bad > 0) {
      EXPECT_EQ(synthesizer.registers[bad - 1], *ParseRegisterText(registers[bad - 1]));
    }
  }

  struct PowerCase {
    long txGain;
    long pDesired;
    std::optional<std::string> message;
  };
  const PowerCase power[] = {
      {0, 0, std::nullopt},          {31, 31, std::nullopt},        {32, 0, "MID_BIAS (0 ~ 31)"},
      {-1, 40, "MID_BIAS (0 ~ 31)"}, {5, 32, "P_DESIRED (0 ~ 31)"}, {5, -1, "P_DESIRED (0 ~ 31)"},
  };
  for (const PowerCase& c : power) {
    SCOPED_TRACE(std::to_string(c.txGain) + " " + std::to_string(c.pDesired));
    PowerBlock block;
    EXPECT_EQ(FillPowerBlock(c.txGain, c.pDesired, block), c.message);
  }
}

}  // namespace
}  // namespace kelvo::rftest
