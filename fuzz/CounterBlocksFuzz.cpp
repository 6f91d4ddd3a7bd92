// SPDX-License-Identifier: GPL-2.0-or-later
// Counter and test register blocks: any bytes go through every decoder of the statistics
// counter blocks and of the RF test blocks, and through the extraction of read group 3 from a
// reply whose three variables the input shapes. Each decoded value must be the little-endian
// number at its offset, a value the bytes do not wholly hold must be absent (or keep its
// previous value), and nothing outside a block may change. Blocks built from the input must
// survive encode and decode, and register texts must read back as the values they show. Read
// as a run of polls, the input must give rates that are never negative and totals that count
// each counter on exactly, or start again after a restart.
#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rftest/TestBlocks.h"
#include "snmp/AgentSession.h"
#include "snmp/WaitHook.h"
#include "statistics/CounterBlocks.h"
#include "statistics/CounterRates.h"
#include "ui/Prompter.h"

namespace {

namespace rf = kelvo::rftest;
namespace stats = kelvo::statistics;
using Bytes = std::span<const std::uint8_t>;

[[noreturn]] void Fail(const char* rule) {
  std::fprintf(stderr, "counter_blocks: broken rule: %s\n", rule);
  std::abort();
}

void Require(bool holds, const char* rule) {
  if (!holds) Fail(rule);
}

// The reference reading: the four bytes at offset, least significant first, when all are there.
std::optional<std::uint32_t> U32At(Bytes bytes, std::size_t offset) {
  if (offset + 4 > bytes.size()) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | bytes[offset + i];
  return value;
}

std::optional<std::uint8_t> ByteAt(Bytes bytes, std::size_t offset) {
  if (offset >= bytes.size()) return std::nullopt;
  return bytes[offset];
}

// A counter text is plain decimal: digits only, no leading zero, the value it stands for.
void RequireCounterText(const std::string& text, std::uint32_t value) {
  Require(!text.empty() && text.size() <= 10, "a counter text has 1 to 10 digits");
  Require(text.size() == 1 || text.front() != '0', "a counter text has no leading zero");
  std::uint32_t parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  Require(error == std::errc() && end == text.data() + text.size() && parsed == value,
          "a counter text is the counter in decimal");
}

constexpr std::string_view kStale = "stale";

stats::CounterTexts StaleTexts() {
  stats::CounterTexts texts;
  texts.fill(std::string(kStale));
  return texts;
}

void CheckCounterBlocks(Bytes bytes) {
  for (const stats::CounterBlockLayout& block : stats::kCounterBlocks) {
    stats::CounterTexts texts = StaleTexts();
    const std::size_t covered = stats::DecodeCounterBlock(bytes, block, texts);
    std::size_t expectedCovered = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (i < block.first || i >= block.first + block.count) {
        Require(texts[i] == kStale, "a block decode leaves the other blocks' texts alone");
        continue;
      }
      if (const auto value = U32At(bytes, stats::kCounters[i].offset)) {
        RequireCounterText(texts[i], *value);
        ++expectedCovered;
      } else {
        Require(texts[i].empty(), "a counter the bytes do not wholly hold is empty");
      }
    }
    Require(covered == expectedCovered, "the covered count is the number of whole counters");
  }
}

struct NoPrompter final : kelvo::ui::Prompter {
  void ShowMessage(std::string_view, std::string_view, kelvo::ui::MessageIcon) override {}
  kelvo::ui::Answer AskYesNo(std::string_view, std::string_view, kelvo::ui::MessageIcon) override {
    return kelvo::ui::Answer::No;
  }
};

struct NoBusy final : kelvo::ui::BusyIndicator {
  void BeginBusy() override {}
  void EndBusy() override {}
};

// The session whose reply message the extraction reads; it never sends.
struct World {
  kelvo::snmp::PollWaitHook wait;
  NoPrompter prompter;
  NoBusy busy;
  kelvo::snmp::AgentSession session{kelvo::snmp::SnmpComponent::Create(wait), prompter, busy};
};

World& TheWorld() {
  static World* world = new World;
  return *world;
}

// The first byte shapes the reply: how many variables (0..3) and which of them are not octet
// strings; the rest is cut into three blocks at the next two bytes' positions.
void CheckExtraction(Bytes input) {
  if (input.size() < 3) return;
  const std::uint8_t shape = input[0];
  const std::size_t variables = shape & 3;
  const Bytes rest = input.subspan(3);
  const std::size_t cut1 = rest.empty() ? 0 : input[1] % (rest.size() + 1);
  const std::size_t cut2 = cut1 + (rest.size() == cut1 ? 0 : input[2] % (rest.size() - cut1 + 1));
  const std::array<Bytes, 3> blocks = {rest.subspan(0, cut1), rest.subspan(cut1, cut2 - cut1),
                                       rest.subspan(cut2)};

  kelvo::snmp::AgentSession& session = TheWorld().session;
  kelvo::snmp::SnmpMessage& reply = session.Component().Message();
  reply.Clear();
  reply.SetType(kelvo::snmp::PduType::GetResponse);
  std::size_t firstRefused = variables;
  for (std::size_t b = 0; b < variables; ++b) {
    const bool octets = (shape >> (2 + b) & 1) == 0;
    if (!octets && firstRefused == variables) firstRefused = b;
    // A NULL (as an error reply carries) or an Opaque value with the same bytes.
    const auto tag = octets ? kelvo::snmp::ValueTag::OctetString
                            : ((shape >> 5 & 1) != 0 ? kelvo::snmp::ValueTag::Opaque
                                                     : kelvo::snmp::ValueTag::Null);
    std::vector<std::uint8_t> content(blocks[b].begin(), blocks[b].end());
    if (tag == kelvo::snmp::ValueTag::Null) content.clear();
    reply.Add(kelvo::snmp::SnmpVariable(kelvo::mib::FullOid(stats::kCounterBlocks[b].variable), tag,
                                        std::string(content.begin(), content.end()),
                                        std::move(content)));
  }

  stats::CounterValues values;
  const bool numbers = stats::ExtractCounterValues(session, values);
  stats::CounterTexts texts = StaleTexts();
  const bool extracted = stats::ExtractStatistics(session, texts);
  Require(numbers == extracted, "numbers and texts are extracted from the same replies");
  const std::size_t decodedBlocks = std::min<std::size_t>(firstRefused, 3);
  Require(extracted == (decodedBlocks == 3), "the extraction succeeds with three octet strings");
  for (std::size_t b = 0; b < 3; ++b) {
    const stats::CounterBlockLayout& layout = stats::kCounterBlocks[b];
    for (std::size_t i = layout.first; i < layout.first + layout.count; ++i) {
      Require(values[i] ==
                  (b < decodedBlocks ? U32At(blocks[b], stats::kCounters[i].offset) : std::nullopt),
              "a counter's number is its four bytes in a block before any refused one");
      if (b >= decodedBlocks) {
        Require(texts[i] == kStale, "blocks after a refused variable keep their texts");
      } else if (const auto value = U32At(blocks[b], stats::kCounters[i].offset)) {
        RequireCounterText(texts[i], *value);
      } else {
        Require(texts[i].empty(), "a counter the reply does not wholly hold is empty");
      }
    }
  }
}

void CheckTestBlockDecoders(Bytes bytes) {
  const rf::CounterBlock previous{0xDEADBEEF, 0x01234567, 0x89ABCDEF, 0x7F7F7F7F};
  const rf::CounterBlock counters = rf::DecodeCounters(bytes, previous);
  const std::array<std::uint32_t, 4> got = {counters.txGood, counters.txBad, counters.rxGood,
                                            counters.rxBad};
  const std::array<std::uint32_t, 4> kept = {previous.txGood, previous.txBad, previous.rxGood,
                                             previous.rxBad};
  for (std::size_t i = 0; i < 4; ++i) {
    Require(got[i] == U32At(bytes, 4 * i).value_or(kept[i]),
            "a test counter is its four bytes, or keeps its value when they are not all there");
  }

  const rf::PacketParametersReply parameters = rf::DecodePacketParameters(bytes);
  Require(parameters.channel == ByteAt(bytes, 0) && parameters.dataRate == ByteAt(bytes, 1) &&
              parameters.preamble == ByteAt(bytes, 2),
          "packet parameters are bytes 0 to 2, each when present");

  const auto baseband = rf::DecodeBaseband(bytes);
  for (std::size_t i = 0; i < baseband.size(); ++i) {
    Require(baseband[i] == ByteAt(bytes, 2 + i), "baseband registers are bytes 2 to 7");
  }

  const rf::PowerReadBack power = rf::DecodePower(bytes);
  Require(power.txGain == ByteAt(bytes, 1) && power.pDesired == ByteAt(bytes, 2),
          "the power read-back is bytes 1 and 2");

  const auto synthesizer = rf::DecodeSynthesizer(bytes);
  for (std::size_t i = 0; i < synthesizer.size(); ++i) {
    Require(synthesizer[i] == U32At(bytes, 4 + 4 * i),
            "synthesizer registers are the 32-bit numbers from offset 4");
  }
}

// Blocks whose fields come from the input encode to their size and decode to themselves.
void CheckTestBlockRoundTrips(Bytes bytes) {
  std::array<std::uint8_t, 32> raw{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), raw.size()), raw.begin());
  const Bytes field(raw);

  const rf::CounterBlock counters{*U32At(field, 0), *U32At(field, 4), *U32At(field, 8),
                                  *U32At(field, 12)};
  const auto counterBytes = counters.Encode();
  Require(rf::DecodeCounters(counterBytes, rf::CounterBlock{}) == counters,
          "a counter block decodes to itself");

  rf::BasebandBlock baseband;
  std::copy_n(raw.begin(), baseband.registers.size(), baseband.registers.begin());
  const auto basebandBytes = baseband.Encode();
  Require(basebandBytes[0] == static_cast<std::uint8_t>(baseband.op) && basebandBytes[1] == 0,
          "a baseband block starts with its op and a reserved 0");
  const auto basebandBack = rf::DecodeBaseband(basebandBytes);
  for (std::size_t i = 0; i < basebandBack.size(); ++i) {
    Require(basebandBack[i] == baseband.registers[i], "a baseband block decodes to itself");
  }

  rf::PowerBlock power;
  power.txGain = raw[0];
  power.pDesired = raw[1];
  const rf::PowerReadBack powerBack = rf::DecodePower(power.Encode());
  Require(powerBack.txGain == power.txGain && powerBack.pDesired == power.pDesired,
          "a power block decodes to itself");

  rf::SynthesizerBlock synthesizer;
  synthesizer.op = rf::RegisterOp::Read;
  for (std::size_t i = 0; i < synthesizer.registers.size(); ++i) {
    synthesizer.registers[i] = *U32At(field, 4 * i);
  }
  const auto synthesizerBytes = synthesizer.Encode();
  Require(U32At(synthesizerBytes, 0) == static_cast<std::uint32_t>(rf::RegisterOp::Read),
          "a synthesizer block starts with its op as a 32-bit number");
  const auto synthesizerBack = rf::DecodeSynthesizer(synthesizerBytes);
  for (std::size_t i = 0; i < synthesizerBack.size(); ++i) {
    Require(synthesizerBack[i] == synthesizer.registers[i],
            "a synthesizer block decodes to itself");
  }

  rf::PacketTestBlock packet{raw[0],           raw[1],
                             raw[2],           raw[3],
                             *U32At(field, 4), static_cast<std::uint16_t>(raw[8] | raw[9] << 8)};
  const auto packetBytes = packet.Encode();
  Require(std::equal(packetBytes.begin(), packetBytes.end(), raw.begin()),
          "a packet test block is its fields in order, least significant byte first");
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::uint32_t HexValue(std::string_view digits) {
  std::uint32_t value = 0;
  for (const char c : digits) {
    const std::uint32_t digit = c <= '9' ? static_cast<std::uint32_t>(c - '0')
                                         : static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
    value = value << 4 | digit;
  }
  return value;
}

// The register texts: a parse looks at exactly the leading digits; a shown value reads back.
void CheckTexts(Bytes bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const auto leadingHex = [&](std::size_t digits) {
    return text.size() >= digits &&
           std::all_of(text.begin(), text.begin() + static_cast<long>(digits), IsHexDigit);
  };
  const auto byte = rf::ParseByteText(text);
  Require(byte.has_value() == leadingHex(2), "a byte text is read when its first two are hex");
  if (byte) Require(*byte == HexValue(text.substr(0, 2)), "a byte text is its two digits");
  const auto reg = rf::ParseRegisterText(text);
  Require(reg.has_value() == leadingHex(8), "a register text is read when its first 8 are hex");
  if (reg) Require(*reg == HexValue(text.substr(0, 8)), "a register text is its eight digits");

  if (bytes.empty()) return;
  const std::uint8_t value8 = bytes[0];
  const std::string shown8 = rf::ByteText(value8);
  Require(shown8.size() == 2 && rf::ParseByteText(shown8) == value8,
          "a shown byte has two digits and reads back");
  std::array<std::uint8_t, 4> raw{};
  std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 4), raw.begin());
  const std::uint32_t value32 = *U32At(raw, 0);
  const std::string shown32 = rf::RegisterText(value32);
  Require(shown32.size() == 8 && rf::ParseRegisterText(shown32) == value32,
          "a shown register has eight digits and reads back");
  for (const char c : shown8 + shown32) {
    Require(!(c >= 'a' && c <= 'f'), "shown hexadecimal is upper case");
  }
}

// Every 9 bytes are a poll: a time step in tens of milliseconds, then two counters, each
// present when its value is not 0xFFFFFFFF.
void CheckRates(Bytes bytes) {
  stats::RateTracker tracker;
  stats::RateTracker::Clock::time_point at{};
  stats::CounterValues before{};
  for (std::size_t poll = 0; poll + 9 <= bytes.size(); poll += 9) {
    at += std::chrono::milliseconds(10 * bytes[poll]);
    stats::CounterValues values{};
    for (std::size_t c = 0; c < 2; ++c) {
      const std::uint32_t value = *U32At(bytes, poll + 1 + 4 * c);
      if (value != 0xFFFFFFFF) values[c] = value;
    }
    const auto totals = tracker.Totals();
    bool fell = false;
    for (std::size_t c = 0; c < 2; ++c) {
      if (values[c] && before[c] && !stats::CounterAdvance(*before[c], *values[c])) fell = true;
    }
    const auto sample = tracker.Add(values, at);
    Require((sample.outcome == stats::RateTracker::Outcome::Restarted) == fell,
            "a restart is a fall that cannot be a wrap");
    for (std::size_t c = 0; c < 2; ++c) {
      if (const auto& rate = sample.perSecond[c]) {
        Require(*rate >= 0 && std::isfinite(*rate), "a rate is a finite number, never negative");
      }
      if (!values[c]) continue;
      const auto total = tracker.Totals()[c];
      Require(total && static_cast<std::uint32_t>(*total) == *values[c],
              "a total ends in the counter's value");
      if (!fell && totals[c]) {
        Require(*total == *totals[c] + *stats::CounterAdvance(*before[c], *values[c]),
                "a total counts on by the counter's advance");
      }
      before[c] = values[c];
    }
    if (fell) {
      for (std::size_t c = 0; c < 2; ++c) before[c] = values[c];
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes bytes(data, size);
  CheckCounterBlocks(bytes);
  CheckExtraction(bytes);
  CheckTestBlockDecoders(bytes);
  CheckTestBlockRoundTrips(bytes);
  CheckTexts(bytes);
  CheckRates(bytes);
  return 0;
}
