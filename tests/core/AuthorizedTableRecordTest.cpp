// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "mib/AuthorizedTableRecord.h"

namespace kelvo::mib {
namespace {

TEST(AuthorizedTableRecord, LittleEndianFieldsThenAddress) {
  AuthorizedTableRecord record;
  record.operation = AuthorizedTableRecord::kStore;
  record.count = 0x0102;
  record.index = 128;
  record.address = {0x00, 0x4B, 0x56, 0xA0, 0xB1, 0xC2};
  const auto bytes = record.Encode();
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
            (std::vector<std::uint8_t>{0x01, 0x00, 0x02, 0x01, 0x80, 0x00, 0x00, 0x4B, 0x56, 0xA0,
                                       0xB1, 0xC2}));
  AuthorizedTableRecord decoded;
  decoded.DecodeInto(bytes);
  EXPECT_EQ(decoded.count, 0x0102);
  EXPECT_EQ(decoded.index, 128);
  EXPECT_EQ(decoded.address, record.address);
}

TEST(AuthorizedTableRecord, ShortRepliesFillOnlyWhatTheyHold) {
  AuthorizedTableRecord decoded;
  decoded.count = 0xAAAA;
  decoded.address = {9, 9, 9, 9, 9, 9};
  const std::vector<std::uint8_t> three = {0x02, 0x00, 0x05};
  decoded.DecodeInto(three);
  EXPECT_EQ(decoded.operation, 2);
  EXPECT_EQ(decoded.count, 0xAA05) << "only the low byte arrived";
  EXPECT_EQ(decoded.address, (std::array<std::uint8_t, 6>{9, 9, 9, 9, 9, 9}));

  const std::vector<std::uint8_t> nine = {0, 0, 3, 0, 1, 0, 0xDE, 0xAD, 0xBE};
  decoded.DecodeInto(nine);
  EXPECT_EQ(decoded.count, 3);
  EXPECT_EQ(decoded.address, (std::array<std::uint8_t, 6>{0xDE, 0xAD, 0xBE, 9, 9, 9}));

  // Longer replies are read up to the record's end.
  std::vector<std::uint8_t> long_(40, 0x11);
  decoded.DecodeInto(long_);
  EXPECT_EQ(decoded.address, (std::array<std::uint8_t, 6>{0x11, 0x11, 0x11, 0x11, 0x11, 0x11}));
}

}  // namespace
}  // namespace kelvo::mib
