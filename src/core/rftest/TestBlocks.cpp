// SPDX-License-Identifier: GPL-2.0-or-later
#include "rftest/TestBlocks.h"

#include <cstdio>

#include "mib/Conversions.h"
#include "statistics/LittleEndianReader.h"
#include "util/Parse.h"

namespace kelvo::rftest {
namespace {

using statistics::LittleEndianReader;

void Put16(std::span<std::uint8_t> out, std::size_t offset, std::uint16_t value) {
  out[offset] = static_cast<std::uint8_t>(value);
  out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::span<std::uint8_t> out, std::size_t offset, std::uint32_t value) {
  Put16(out, offset, static_cast<std::uint16_t>(value));
  Put16(out, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::optional<std::uint8_t> ByteAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (offset >= bytes.size()) return std::nullopt;
  return bytes[offset];
}

// The first `digits` characters as one number, most significant first.
std::optional<std::uint32_t> ParseLeadingHex(std::string_view text, std::size_t digits) {
  if (text.size() < digits) return std::nullopt;
  return util::ParseInteger<std::uint32_t>(text.substr(0, digits), util::IntegerForm::Strict, 16);
}

}  // namespace

std::optional<TestVariable> FindTestVariable(int group) {
  for (const TestVariable& row : kTestVariables) {
    if (static_cast<int>(row.group) == group) return row;
  }
  return std::nullopt;
}

const TestVariable& TestVariableOf(TestGroup group) {
  for (const TestVariable& row : kTestVariables) {
    if (row.group == group) return row;
  }
  return kTestVariables.front();
}

std::string TestModeText(TestMode mode) { return std::to_string(mode); }

std::array<std::uint8_t, PacketTestBlock::kSize> PacketTestBlock::Encode() const {
  std::array<std::uint8_t, kSize> bytes{channel, dataRate, preamble, pattern};
  Put32(bytes, 4, packetNumber);
  Put16(bytes, 8, packetLength);
  return bytes;
}

PacketParametersReply DecodePacketParameters(std::span<const std::uint8_t> bytes) {
  return {ByteAt(bytes, 0), ByteAt(bytes, 1), ByteAt(bytes, 2)};
}

std::array<std::uint8_t, BasebandBlock::kSize> BasebandBlock::Encode() const {
  std::array<std::uint8_t, kSize> bytes{static_cast<std::uint8_t>(op), 0};
  for (std::size_t i = 0; i < kRegisterCount; ++i) bytes[2 + i] = registers[i];
  return bytes;
}

std::array<std::optional<std::uint8_t>, BasebandBlock::kRegisterCount> DecodeBaseband(
    std::span<const std::uint8_t> bytes) {
  std::array<std::optional<std::uint8_t>, BasebandBlock::kRegisterCount> values;
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = ByteAt(bytes, 2 + i);
  return values;
}

std::array<std::uint8_t, PowerBlock::kSize> PowerBlock::Encode() const {
  return {static_cast<std::uint8_t>(op), txGain, pDesired};
}

PowerReadBack DecodePower(std::span<const std::uint8_t> bytes) {
  return {ByteAt(bytes, 1), ByteAt(bytes, 2)};
}

std::array<std::uint8_t, SynthesizerBlock::kSize> SynthesizerBlock::Encode() const {
  std::array<std::uint8_t, kSize> bytes{};
  Put32(bytes, 0, static_cast<std::uint32_t>(op));
  for (std::size_t i = 0; i < kRegisterCount; ++i) Put32(bytes, 4 + 4 * i, registers[i]);
  return bytes;
}

std::array<std::optional<std::uint32_t>, SynthesizerBlock::kRegisterCount> DecodeSynthesizer(
    std::span<const std::uint8_t> bytes) {
  const LittleEndianReader reader(bytes);
  std::array<std::optional<std::uint32_t>, SynthesizerBlock::kRegisterCount> values;
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = reader.U32(4 + 4 * i);
  return values;
}

std::array<std::uint8_t, CounterBlock::kSize> CounterBlock::Encode() const {
  std::array<std::uint8_t, kSize> bytes{};
  Put32(bytes, 0, txGood);
  Put32(bytes, 4, txBad);
  Put32(bytes, 8, rxGood);
  Put32(bytes, 12, rxBad);
  return bytes;
}

CounterBlock DecodeCounters(std::span<const std::uint8_t> bytes, const CounterBlock& previous) {
  const LittleEndianReader reader(bytes);
  return {reader.U32(0).value_or(previous.txGood), reader.U32(4).value_or(previous.txBad),
          reader.U32(8).value_or(previous.rxGood), reader.U32(12).value_or(previous.rxBad)};
}

std::optional<std::uint8_t> ParseByteText(std::string_view text) {
  const auto value = ParseLeadingHex(text, 2);
  if (!value) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

std::string ByteText(std::uint8_t value) {
  const std::uint8_t byte[] = {value};
  return mib::HexText(byte);
}

std::optional<std::uint32_t> ParseRegisterText(std::string_view text) {
  return ParseLeadingHex(text, 8);
}

std::string RegisterText(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

std::string PowerText(std::uint8_t value) { return std::to_string(value); }

namespace messages {
std::string HexFieldMessage(std::string_view name) {
  return std::string(name) + ":Only accept hex value(0~F).";
}
}  // namespace messages

std::optional<std::string> FillPacketTestBlock(const PacketFields& fields, PacketTestBlock& block) {
  block = PacketTestBlock{};
  if (fields.packetLength < 64 || fields.packetLength > 1514) {
    return std::string(messages::kPacketLength);
  }
  block.packetLength = static_cast<std::uint16_t>(fields.packetLength);
  if (fields.packetNumber < 1 || fields.packetNumber > 65535) {
    return std::string(messages::kPacketNumber);
  }
  block.packetNumber = static_cast<std::uint32_t>(fields.packetNumber);
  // No selection is position -1, which travels as 0.
  block.channel = static_cast<std::uint8_t>(fields.channelIndex + 1);
  block.dataRate = static_cast<std::uint8_t>(fields.dataRateIndex + 1);
  block.preamble = static_cast<std::uint8_t>(fields.preambleIndex + 1);
  const auto pattern = ParseByteText(fields.pattern);
  if (!pattern) return std::string(messages::kPattern);
  block.pattern = *pattern;
  return std::nullopt;
}

std::optional<std::string> FillBasebandBlock(
    const std::array<std::string, BasebandBlock::kRegisterCount>& texts, BasebandBlock& block) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const auto value = ParseByteText(texts[i]);
    if (!value) return messages::HexFieldMessage(kBasebandNames[i]);
    block.registers[i] = *value;
  }
  return std::nullopt;
}

std::optional<std::string> FillPowerBlock(long txGain, long pDesired, PowerBlock& block) {
  if (txGain < 0 || txGain > 31) return std::string(messages::kTxGain);
  block.txGain = static_cast<std::uint8_t>(txGain);
  if (pDesired < 0 || pDesired > 31) return std::string(messages::kPDesired);
  block.pDesired = static_cast<std::uint8_t>(pDesired);
  return std::nullopt;
}

std::optional<std::string> FillSynthesizerBlock(
    const std::array<std::string, SynthesizerBlock::kRegisterCount>& texts,
    SynthesizerBlock& block) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const auto value = ParseRegisterText(texts[i]);
    if (!value) return messages::HexFieldMessage(kSynthesizerNames[i]);
    block.registers[i] = *value;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> TestBlocks::BytesOf(TestGroup group) const {
  const auto copy = [](const auto& encoded) {
    return std::vector<std::uint8_t>(encoded.begin(), encoded.end());
  };
  switch (group) {
    case TestGroup::Parameters:
      return copy(packet.Encode());
    case TestGroup::Baseband:
      return copy(baseband.Encode());
    case TestGroup::Power:
      return copy(power.Encode());
    case TestGroup::Synthesizer:
      return copy(synthesizer.Encode());
    case TestGroup::Command:
    case TestGroup::Counters:
      break;
  }
  return {};
}

}  // namespace kelvo::rftest
