// SPDX-License-Identifier: GPL-2.0-or-later
#include "statistics/CounterBlocks.h"

#include <charconv>

#include "snmp/AgentSession.h"
#include "statistics/LittleEndianReader.h"

namespace kelvo::statistics {

void FormatCounter(std::uint32_t value, std::string& text) {
  char digits[10];  // 4294967295
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text.assign(digits, end);
}

std::optional<std::size_t> CounterByKey(std::string_view key) {
  for (std::size_t i = 0; i < kCounters.size(); ++i) {
    if (kCounters[i].key == key) return i;
  }
  return std::nullopt;
}

std::size_t DecodeCounterBlock(std::span<const std::uint8_t> bytes, const CounterBlockLayout& block,
                               CounterTexts& texts) {
  const LittleEndianReader reader(bytes);
  std::size_t covered = 0;
  for (std::size_t i = block.first; i < block.first + block.count && i < texts.size(); ++i) {
    if (const auto value = reader.U32(kCounters[i].offset)) {
      FormatCounter(*value, texts[i]);
      ++covered;
    } else {
      texts[i].clear();
    }
  }
  return covered;
}

bool ExtractStatistics(snmp::AgentSession& session, CounterTexts& texts) {
  const snmp::SnmpMessage& reply = session.Component().Message();
  for (const CounterBlockLayout& block : kCounterBlocks) {
    // An agent that answers with anything but an octet string (an error reply carries NULLs)
    // has sent no counters; the blocks after it are left alone.
    const snmp::SnmpVariable* variable =
        reply.Item(mib::ReadPosition(mib::Group::Statistics, block.variable));
    if (variable == nullptr || variable->Tag() != snmp::ValueTag::OctetString) return false;
    DecodeCounterBlock(variable->Bytes(), block, texts);
  }
  return true;
}

}  // namespace kelvo::statistics
