// SPDX-License-Identifier: GPL-2.0-or-later
// The manufacturing test variables of the agent: the test command, the packet test parameters,
// the baseband, power and RF2958 synthesizer register blocks and the test packet counters, with
// their byte layouts (multi-byte numbers least significant byte first), the text forms the test
// window shows, and the checks that fill a block from the window's texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mib/MibVariables.h"

namespace kelvo::rftest {

// The test variables by the group number with which the operations select them; there is no
// group 3.
enum class TestGroup : int {
  Command = 1,      // RfTestCommand, INTEGER: TestMode
  Parameters = 2,   // RfTestParameters: PacketTestBlock
  Baseband = 4,     // BasebandRegisters: BasebandBlock
  Power = 5,        // TxPowerSettings: PowerBlock
  Counters = 6,     // RfTestCounters: CounterBlock (read only)
  Synthesizer = 7,  // SynthesizerRegisters: SynthesizerBlock
};

struct TestVariable {
  TestGroup group;
  mib::Variable variable;
  std::size_t blockSize;  // 0 for the INTEGER command
};

inline constexpr std::array<TestVariable, 6> kTestVariables = {{
    {TestGroup::Command, mib::Variable::RfTestCommand, 0},
    {TestGroup::Parameters, mib::Variable::RfTestParameters, 10},
    {TestGroup::Baseband, mib::Variable::BasebandRegisters, 8},
    {TestGroup::Power, mib::Variable::TxPowerSettings, 3},
    {TestGroup::Counters, mib::Variable::RfTestCounters, 16},
    {TestGroup::Synthesizer, mib::Variable::SynthesizerRegisters, 32},
}};

// The row of a group number; nullopt for 3 and anything outside 1..7.
std::optional<TestVariable> FindTestVariable(int group);
const TestVariable& TestVariableOf(TestGroup group);

// The four device tests.
enum class TestKind : std::uint8_t { ContinuousTx = 1, PacketTx = 2, PacketRx = 3, Carrier = 4 };

// The value of RfTestCommand: 0 before any test button was pressed (never sent), a start code
// 1..4, or a stop code, which is the start code plus 0x80.
using TestMode = std::uint8_t;
inline constexpr TestMode kNoTestMode = 0;
inline constexpr TestMode kStopOffset = 0x80;

constexpr TestMode StartCode(TestKind kind) { return static_cast<TestMode>(kind); }
constexpr TestMode StopCode(TestKind kind) {
  return static_cast<TestMode>(StartCode(kind) + kStopOffset);
}
// The test whose start code the mode holds; nullopt for 0 and for stop codes.
constexpr std::optional<TestKind> StartedTest(TestMode mode) {
  if (mode >= 1 && mode <= 4) return static_cast<TestKind>(mode);
  return std::nullopt;
}
// The test whose stop code the mode holds.
constexpr std::optional<TestKind> StoppedTest(TestMode mode) {
  if (mode >= StopCode(TestKind::ContinuousTx) && mode <= StopCode(TestKind::Carrier)) {
    return static_cast<TestKind>(mode - kStopOffset);
  }
  return std::nullopt;
}
// The INTEGER's decimal text as the command sends it: 130 is "130".
std::string TestModeText(TestMode mode);

// The operation field that leads the register blocks.
enum class RegisterOp : std::uint8_t {
  WriteChip = 1,   // "Write To BBP", "Write To SYN", "Write To RF2958"
  WriteFlash = 2,  // the three "Write To Flash"
  Read = 3,        // "Read From BBP" and the two "Read From Flash": the reply carries the values
};

// RfTestParameters, 10 bytes.
struct PacketTestBlock {
  static constexpr std::size_t kSize = 10;
  std::uint8_t channel = 0;   // 1..14
  std::uint8_t dataRate = 0;  // 1 "1 Mb", 2 "2 Mb", 3 "5.5 Mb", 4 "11 Mb"
  std::uint8_t preamble = 0;  // 1 "Long", 2 "Short"
  std::uint8_t pattern = 0;   // the payload byte of the test packets
  std::uint32_t packetNumber = 0;
  std::uint16_t packetLength = 0;

  std::array<std::uint8_t, kSize> Encode() const;
  friend bool operator==(const PacketTestBlock&, const PacketTestBlock&) = default;
};

// What a read of RfTestParameters tells: only bytes 0 to 2 are used, each when the reply holds
// it.
struct PacketParametersReply {
  std::optional<std::uint8_t> channel;
  std::optional<std::uint8_t> dataRate;
  std::optional<std::uint8_t> preamble;
};
PacketParametersReply DecodePacketParameters(std::span<const std::uint8_t> bytes);

// BasebandRegisters, 8 bytes: op, a reserved 0, then CR3, CR17, CR20, CR21, CR28, CR29.
struct BasebandBlock {
  static constexpr std::size_t kSize = 8;
  static constexpr std::size_t kRegisterCount = 6;
  RegisterOp op = RegisterOp::WriteChip;
  std::array<std::uint8_t, kRegisterCount> registers{};  // in the order of kBasebandNames

  std::array<std::uint8_t, kSize> Encode() const;
  friend bool operator==(const BasebandBlock&, const BasebandBlock&) = default;
};
inline constexpr std::array<std::string_view, BasebandBlock::kRegisterCount> kBasebandNames = {
    "CR3", "CR17", "CR20", "CR21", "CR28", "CR29"};
// The register values of a read-back (bytes 2 to 7), each when the reply holds it.
std::array<std::optional<std::uint8_t>, BasebandBlock::kRegisterCount> DecodeBaseband(
    std::span<const std::uint8_t> bytes);

// TxPowerSettings, 3 bytes: op, TX_GAIN, P_DESIRED.
struct PowerBlock {
  static constexpr std::size_t kSize = 3;
  RegisterOp op = RegisterOp::WriteChip;
  std::uint8_t txGain = 0;    // 0..31
  std::uint8_t pDesired = 0;  // 0..31

  std::array<std::uint8_t, kSize> Encode() const;
  friend bool operator==(const PowerBlock&, const PowerBlock&) = default;
};
struct PowerReadBack {
  std::optional<std::uint8_t> txGain;
  std::optional<std::uint8_t> pDesired;
};
PowerReadBack DecodePower(std::span<const std::uint8_t> bytes);

// SynthesizerRegisters, 32 bytes: op as a 32-bit number, then seven 32-bit RF2958 registers.
struct SynthesizerBlock {
  static constexpr std::size_t kSize = 32;
  static constexpr std::size_t kRegisterCount = 7;
  RegisterOp op = RegisterOp::WriteChip;
  std::array<std::uint32_t, kRegisterCount> registers{};  // in the order of kSynthesizerNames

  std::array<std::uint8_t, kSize> Encode() const;
  friend bool operator==(const SynthesizerBlock&, const SynthesizerBlock&) = default;
};
// Block order (offsets 4, 8, ... 28).
inline constexpr std::array<std::string_view, SynthesizerBlock::kRegisterCount> kSynthesizerNames =
    {"IFPLL1", "IFPLL3", "RFPLL1", "RFPLL4", "CAL1", "VCOT1", "TXRX"};
std::array<std::optional<std::uint32_t>, SynthesizerBlock::kRegisterCount> DecodeSynthesizer(
    std::span<const std::uint8_t> bytes);

// RfTestCounters, 16 bytes, read only: the device's transmitted and received test packets.
struct CounterBlock {
  static constexpr std::size_t kSize = 16;
  std::uint32_t txGood = 0;
  std::uint32_t txBad = 0;
  std::uint32_t rxGood = 0;
  std::uint32_t rxBad = 0;

  std::array<std::uint8_t, kSize> Encode() const;
  friend bool operator==(const CounterBlock&, const CounterBlock&) = default;
};
// The counters of a reply; a count that the reply does not wholly hold keeps its value in
// `previous`.
CounterBlock DecodeCounters(std::span<const std::uint8_t> bytes, const CounterBlock& previous);

// Text forms. Hexadecimal digits 0-9, A-F and a-f are read; output is upper case.
// A register byte: exactly its first two characters must be hexadecimal digits ("a5" is 0xA5,
// "A" and "G1" are refused); later characters are not looked at.
std::optional<std::uint8_t> ParseByteText(std::string_view text);
std::string ByteText(std::uint8_t value);  // "0B"
// An RF2958 register: the first eight characters, most significant digit first. The text
// 0000ABCD is the value 0xABCD, which the block carries as CD AB 00 00.
std::optional<std::uint32_t> ParseRegisterText(std::string_view text);
std::string RegisterText(std::uint32_t value);  // "0000ABCD"
// A power value as the window shows a reply byte: decimal, 0 to 255.
std::string PowerText(std::uint8_t value);

// The window's field texts and numbers that the checks below turn into blocks.
struct PacketFields {
  long packetLength = 1500;
  long packetNumber = 1000;
  int channelIndex = 0;   // selected list position, -1 for none
  int dataRateIndex = 3;  // "11 Mb"
  int preambleIndex = 1;  // "Short"
  std::string pattern = "AA";
};

// The checks of the window, each stopping at the first failing field with its message. A field
// that passes is written into the block at once, so a block that fails part way holds a mix (it
// is never sent in that state).
namespace messages {
inline constexpr std::string_view kPacketLength = "Packet length (64 ~ 1514)";
inline constexpr std::string_view kPacketNumber = "Packet number (1 ~ 65535)";
inline constexpr std::string_view kPattern = "Pattern:Only accept hex value(0~F).";
inline constexpr std::string_view kTxGain = "MID_BIAS (0 ~ 31)";
inline constexpr std::string_view kPDesired = "P_DESIRED (0 ~ 31)";
// "<name>:Only accept hex value(0~F)." for a baseband or RF2958 register.
std::string HexFieldMessage(std::string_view name);
}  // namespace messages

// Zeroes the block first; the lists give position + 1 (0 when nothing is selected).
std::optional<std::string> FillPacketTestBlock(const PacketFields& fields, PacketTestBlock& block);
// texts in the order of kBasebandNames; the op is left as it is.
std::optional<std::string> FillBasebandBlock(
    const std::array<std::string, BasebandBlock::kRegisterCount>& texts, BasebandBlock& block);
std::optional<std::string> FillPowerBlock(long txGain, long pDesired, PowerBlock& block);
// texts in the order of kSynthesizerNames.
std::optional<std::string> FillSynthesizerBlock(
    const std::array<std::string, SynthesizerBlock::kRegisterCount>& texts,
    SynthesizerBlock& block);

// The window's blocks and its last test mode: what the test operations send.
struct TestBlocks {
  TestMode mode = kNoTestMode;
  PacketTestBlock packet;
  BasebandBlock baseband;
  PowerBlock power;
  SynthesizerBlock synthesizer;

  // The encoded block of group 2, 4, 5 or 7; empty for the others.
  std::vector<std::uint8_t> BytesOf(TestGroup group) const;
};

}  // namespace kelvo::rftest
