// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "mib/RadioTables.h"

namespace kelvo::mib {
namespace {

TEST(RadioTables, ChannelPlanRowsEndInEmptyPositions) {
  for (const auto& row : kChannelPlan) {
    EXPECT_EQ(row[0], 0) << "every domain offers Auto first";
    bool ended = false;
    for (const int channel : row) {
      if (channel < 0) ended = true;
      if (ended) {
        EXPECT_EQ(channel, -1);
      }
      EXPECT_LE(channel, 14);
    }
  }
  EXPECT_EQ(ChannelEntries(5), (std::vector<std::string>{"Auto", "Channel 14"}));
  EXPECT_EQ(ChannelEntries(6).size(), 15U);
  EXPECT_EQ(ChannelEntries(2).back(), "Channel 13");
  EXPECT_TRUE(ChannelEntries(7).empty());
  EXPECT_TRUE(ChannelEntries(-1).empty());
}

TEST(RadioTables, LookupsStayInsideTheRows) {
  EXPECT_EQ(ChannelAt(3, 1), 10);
  EXPECT_EQ(ChannelAt(3, 3), std::nullopt);
  EXPECT_EQ(ChannelAt(3, 15), std::nullopt);
  EXPECT_EQ(ChannelAt(9, 0), std::nullopt);
  EXPECT_EQ(ChannelPosition(4, 13), 4);
  EXPECT_EQ(ChannelPosition(4, 1), -1);
  EXPECT_EQ(ChannelPosition(4, -1), -1);

  EXPECT_EQ(EncryptionEntries(0), (std::vector<std::string>{"None", "WEP"}));
  EXPECT_EQ(EncryptionEntries(3), (std::vector<std::string>{"802.1xKey"}));
  EXPECT_EQ(EncryptionEntries(4).size(), 5U);
  EXPECT_TRUE(EncryptionEntries(5).empty());
  EXPECT_EQ(EncryptionAt(3, 0), 2);
  EXPECT_EQ(EncryptionAt(3, 1), std::nullopt);
  EXPECT_EQ(EncryptionAt(-1, 0), std::nullopt);
  EXPECT_EQ(EncryptionPosition(1, 1), 1);
  EXPECT_EQ(EncryptionPosition(3, 1), -1);
}

}  // namespace
}  // namespace kelvo::mib
