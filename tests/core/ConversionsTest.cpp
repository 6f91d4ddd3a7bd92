// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <array>

#include "mib/Conversions.h"
#include "support/TestSupport.h"

namespace kelvo::mib {
namespace {

using Bytes = std::array<std::uint8_t, 4>;

TEST(Conversions, HexTextAndParseHexRoundTrip) {
  const std::uint8_t bytes[] = {0x00, 0x4B, 0xA5, 0xFF, 0x10, 0x0e};
  EXPECT_EQ(HexText(bytes), "004BA5FF100E");
  EXPECT_EQ(HexText({}), "");

  test::RecordingPrompter prompter;
  std::array<std::uint8_t, 6> out{};
  ASSERT_TRUE(ParseHex("004ba5FF100E", 12, out, prompter));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), std::begin(bytes)));
  // Only the first n characters count.
  std::array<std::uint8_t, 2> two{};
  EXPECT_TRUE(ParseHex("ABCDzz", 4, two, prompter));
  EXPECT_EQ(two, (std::array<std::uint8_t, 2>{0xAB, 0xCD}));
  EXPECT_TRUE(prompter.Shown().empty());
}

TEST(Conversions, ParseHexFailures) {
  test::RecordingPrompter prompter;
  std::array<std::uint8_t, 6> out{};
  out.fill(0x77);
  // A bad character fails silently; the output was cleared first.
  EXPECT_FALSE(ParseHex("00112G334455", 12, out, prompter));
  EXPECT_TRUE(prompter.Shown().empty());
  EXPECT_EQ(out[5], 0);
  // Too short a text or too small an output fails instead of reading or writing past them.
  EXPECT_FALSE(ParseHex("0011", 12, out, prompter));
  std::array<std::uint8_t, 2> small{};
  EXPECT_FALSE(ParseHex("001122334455", 12, small, prompter));
  EXPECT_TRUE(prompter.Shown().empty());
  // An odd length is the guard's message, with its own caption.
  EXPECT_FALSE(ParseHex("00112", 5, out, prompter));
  ASSERT_EQ(prompter.Shown().size(), 1U);
  EXPECT_EQ(prompter.Shown()[0].text, "Invaild input, please input even number!!");
  EXPECT_EQ(prompter.Shown()[0].caption, "Error");
  EXPECT_EQ(prompter.Shown()[0].icon, ui::MessageIcon::Error);
}

TEST(Conversions, SplitDottedAddress) {
  struct Case {
    const char* text;
    Bytes expected;
  };
  const Case cases[] = {
      {"192.168.1.254", {192, 168, 1, 254}},
      {"10.0.0.1", {10, 0, 0, 1}},
      {"0.0.0.0", {0, 0, 0, 0}},
      {"", {0, 0, 0, 0}},
      {"10.1", {10, 1, 0, 0}},
      {"a.b.c.d", {0, 0, 0, 0}},
      {"12x.3.4.5", {12, 3, 4, 5}},
      // A part longer than three characters is cut; its rest does not spill over.
      {"1234.5.6.7", {123, 5, 6, 7}},
      // Values past a byte saturate instead of wrapping.
      {"999.256.300.1", {255, 255, 255, 1}},
      // Scanning stops after 15 characters.
      {"111.111.111.1119", {111, 111, 111, 111}},
      {"1.2.3.4.5.6", {1, 2, 3, 4}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitDottedAddress(c.text), c.expected) << c.text;
  EXPECT_EQ(FormatDottedAddress({192, 168, 0, 7}), "192.168.0.7");
}

}  // namespace
}  // namespace kelvo::mib
