// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mib/MibVariables.h"
#include "statistics/CounterBlocks.h"
#include "statistics/LittleEndianReader.h"

namespace kelvo::statistics {
namespace {

TEST(CounterBlocks, LayoutMatchesReadGroupAndTemplate) {
  // The blocks are the variables of read group 3, in request order, tiling the 44 counters.
  const auto group = mib::ReadGroup(mib::Group::Statistics);
  ASSERT_EQ(group.size(), kCounterBlocks.size());
  std::size_t next = 0;
  for (std::size_t b = 0; b < kCounterBlocks.size(); ++b) {
    const CounterBlockLayout& block = kCounterBlocks[b];
    EXPECT_EQ(block.variable, group[b]);
    EXPECT_EQ(mib::Info(block.variable).kind, mib::Kind::Block);
    EXPECT_EQ(block.first, next);
    next += block.count;
    for (std::size_t i = block.first; i < block.first + block.count; ++i) {
      EXPECT_EQ(kCounters[i].block, static_cast<int>(b)) << i;
      EXPECT_EQ(kCounters[i].offset, 4 * (i - block.first)) << i;
    }
  }
  EXPECT_EQ(next, kCounterCount);
  EXPECT_EQ(kCounterBlocks[0].Bytes(), 64U);
  EXPECT_EQ(kCounterBlocks[1].Bytes(), 56U);
  EXPECT_EQ(kCounterBlocks[2].Bytes(), 56U);

  // Every control appears once; each column's rows run 0, 1, 2, ... without gaps.
  std::set<int> ids;
  std::set<std::pair<Column, int>> cells;
  std::map<Column, int> rows;
  for (const CounterSlot& slot : kCounters) {
    EXPECT_TRUE(ids.insert(slot.labelId).second) << slot.labelId;
    EXPECT_TRUE(ids.insert(slot.valueId).second) << slot.valueId;
    EXPECT_TRUE(cells.insert({slot.column, slot.row}).second) << slot.label;
    ++rows[slot.column];
  }
  for (const auto& [column, count] : rows) {
    for (int row = 0; row < count; ++row) EXPECT_TRUE(cells.count({column, row}));
  }
  EXPECT_EQ(rows[Column::EthernetReceive], 16);
  EXPECT_EQ(rows[Column::EthernetTransmit], 14);
  EXPECT_EQ(rows[Column::WirelessReceive], 7);
  EXPECT_EQ(rows[Column::WirelessTransmit], 7);

  // Keys become metric names: unique, lower case and underscores, found again by key, and
  // naming the side the counter is shown on.
  for (std::size_t i = 0; i < kCounters.size(); ++i) {
    const std::string_view key = kCounters[i].key;
    EXPECT_EQ(CounterByKey(key), i) << key;
    EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || c == '_';
    })) << key;
    const Column column = kCounters[i].column;
    const bool receive = column == Column::EthernetReceive || column == Column::WirelessReceive;
    EXPECT_TRUE(
        key.starts_with(std::string(ViewOf(column) == View::Ethernet ? "ethernet_" : "wireless_") +
                        (receive ? "rx_" : "tx_")))
        << key;
  }
  EXPECT_FALSE(CounterByKey("ethernet_rx"));
}

TEST(LittleEndianReader, ReadsLeastSignificantByteFirstAndNeverPastTheEnd) {
  const std::vector<std::uint8_t> bytes = {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF};
  const LittleEndianReader reader(bytes);
  EXPECT_EQ(reader.U32(0), 0x12345678U);
  EXPECT_EQ(reader.U16(0), 0x5678U);
  EXPECT_EQ(reader.U16(4), 0xFFFFU);
  EXPECT_EQ(reader.U32(2), 0xFFFF1234U);
  EXPECT_EQ(reader.U32(3), std::nullopt) << "one byte short";
  EXPECT_EQ(reader.U16(5), std::nullopt);
  EXPECT_EQ(reader.U16(6), std::nullopt);
  // Offsets near the top of size_t must not wrap around into the buffer.
  constexpr auto kHuge = std::numeric_limits<std::size_t>::max();
  EXPECT_EQ(reader.U32(kHuge), std::nullopt);
  EXPECT_EQ(reader.U32(kHuge - 2), std::nullopt);
  EXPECT_FALSE(reader.Covers(kHuge, 1));
  EXPECT_TRUE(reader.Covers(6, 0));
  EXPECT_EQ(LittleEndianReader({}).U32(0), std::nullopt);
}

// The counter bytes of one block, as the device sends them.
struct BlockCase {
  const char* name;
  std::size_t block;
  std::vector<std::uint8_t> bytes;
  std::vector<std::string> expected;  // the block's texts from counter 0; the rest are empty
  std::size_t covered;
};

std::vector<std::uint8_t> Repeat(std::vector<std::uint8_t> counter, std::size_t times) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < times; ++i) bytes.insert(bytes.end(), counter.begin(), counter.end());
  return bytes;
}

TEST(CounterBlocks, DecodesEachCounterTheBytesCover) {
  const std::vector<BlockCase> cases = {
      {"one", 0, {0x01, 0, 0, 0}, {"1"}, 1},
      {"all ones are unsigned", 0, {0xFF, 0xFF, 0xFF, 0xFF}, {"4294967295"}, 1},
      {"top bit set is not negative", 1, {0, 0, 0, 0x80}, {"2147483648"}, 1},
      {"least significant byte first", 2, {0x78, 0x56, 0x34, 0x12}, {"305419896"}, 1},
      {"zero", 2, {0, 0, 0, 0, 0x0A, 0, 0, 0}, {"0", "10"}, 2},
      {"ends inside the second counter", 0, {7, 0, 0, 0, 1, 2}, {"7"}, 1},
      {"shorter than one counter", 1, {1, 2, 3}, {}, 0},
      {"empty", 2, {}, {}, 0},
      {"full Ethernet receive block", 0, Repeat({1, 1, 0, 0}, 16),
       std::vector<std::string>(16, "257"), 16},
      {"longer than the block", 1, Repeat({0, 1, 0, 0}, 20), std::vector<std::string>(14, "256"),
       14},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.name);
    CounterTexts texts;
    texts.fill("old");
    const CounterBlockLayout& block = kCounterBlocks[c.block];
    // Exactly the received length on the heap, so a read past it is caught by the sanitizer.
    const auto bytes = std::make_unique<std::uint8_t[]>(c.bytes.size());
    std::copy(c.bytes.begin(), c.bytes.end(), bytes.get());
    EXPECT_EQ(DecodeCounterBlock({bytes.get(), c.bytes.size()}, block, texts), c.covered);
    for (std::size_t i = 0; i < kCounterCount; ++i) {
      const bool inBlock = i >= block.first && i < block.first + block.count;
      if (!inBlock) {
        EXPECT_EQ(texts[i], "old") << "counter " << i << " belongs to another block";
        continue;
      }
      const std::size_t n = i - block.first;
      EXPECT_EQ(texts[i], n < c.expected.size() ? c.expected[n] : "") << "counter " << n;
    }
  }
}

}  // namespace
}  // namespace kelvo::statistics
