// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/Parse.h"

namespace kelvo::util {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Parse, IntegerFormsTakeTheWholeTextAndOnlyTheirSigns) {
  constexpr auto kStrict = IntegerForm::Strict;
  constexpr auto kPlus = IntegerForm::OptionalPlus;
  constexpr auto kSpace = IntegerForm::LeadingSpace;
  struct Case {
    const char* text;
    IntegerForm form;
    std::optional<std::int32_t> expected;
  };
  const Case cases[] = {
      {"42", kStrict, 42},
      {"-7", kStrict, -7},
      {"007", kStrict, 7},
      {"+7", kStrict, std::nullopt},
      {"", kStrict, std::nullopt},
      {"-", kStrict, std::nullopt},
      {" 7", kStrict, std::nullopt},
      {"7 ", kStrict, std::nullopt},
      {"4x", kStrict, std::nullopt},
      {"0x10", kStrict, std::nullopt},
      {"2147483647", kStrict, 2147483647},
      {"-2147483648", kStrict, -2147483647 - 1},
      {"2147483648", kStrict, std::nullopt},
      {"-2147483649", kStrict, std::nullopt},
      {"99999999999999999999", kStrict, std::nullopt},
      {"+7", kPlus, 7},
      {"-7", kPlus, -7},
      {"+", kPlus, std::nullopt},
      {"+-7", kPlus, std::nullopt},
      {"++7", kPlus, std::nullopt},
      {" +7", kPlus, std::nullopt},
      {"+2147483648", kPlus, std::nullopt},
      {" \t\n\v\f\r+7", kSpace, 7},
      {"  -7", kSpace, -7},
      {"7", kSpace, 7},
      {"   ", kSpace, std::nullopt},
      {" 7 ", kSpace, std::nullopt},
      {" - 7", kSpace, std::nullopt},
      {" +-7", kSpace, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseInteger<std::int32_t>(c.text, c.form), c.expected)
        << '"' << c.text << "\" form " << static_cast<int>(c.form);
  }
  // The type bounds the value; an unsigned type takes no '-' in any form.
  EXPECT_EQ(ParseInteger<std::uint16_t>("65535"), 65535);
  EXPECT_EQ(ParseInteger<std::uint16_t>("65536"), std::nullopt);
  EXPECT_EQ(ParseInteger<std::uint16_t>("-1", kSpace), std::nullopt);
  EXPECT_EQ(ParseInteger<std::uint16_t>("+1", kPlus), 1);
  EXPECT_EQ(ParseInteger<std::uint64_t>("18446744073709551615"), UINT64_MAX);
  // Base 16 takes either case and no prefix.
  EXPECT_EQ(ParseInteger<std::uint32_t>("DEADbeef", kStrict, 16), 0xDEADBEEFU);
  EXPECT_EQ(ParseInteger<std::uint32_t>("100000000", kStrict, 16), std::nullopt);
  EXPECT_EQ(ParseInteger<std::uint32_t>("0x1F", kStrict, 16), std::nullopt);
  EXPECT_EQ(ParseInteger<std::uint32_t>("1G", kStrict, 16), std::nullopt);
}

TEST(Parse, LeadingIntegerReadsLikeAtoiAndSaturates) {
  struct Case {
    const char* text;
    long expected;
  };
  const Case cases[] = {{"42", 42},
                        {"  -7x", -7},
                        {"+3", 3},
                        {"\t\n+3", 3},
                        {"", 0},
                        {"abc", 0},
                        {"12 34", 12},
                        {"-", 0},
                        {"+-3", 0},
                        {"99999999999", 2147483647},
                        {"-99999999999", -2147483648L}};
  for (const Case& c : cases) EXPECT_EQ(LeadingInteger(c.text), c.expected) << c.text;
}

TEST(Parse, HexBytes) {
  std::string digits;
  for (int c = 0; c < 256; ++c) {
    if (HexDigit(static_cast<char>(c))) digits += static_cast<char>(c);
  }
  EXPECT_EQ(digits, "0123456789ABCDEFabcdef");
  EXPECT_EQ(HexDigit('f'), 15U);

  struct Case {
    const char* text;
    std::optional<Bytes> expected;
  };
  const Case cases[] = {
      {"", Bytes{}},         {"00ff7A", Bytes{0x00, 0xFF, 0x7A}},
      {"abc", std::nullopt}, {"0g", std::nullopt},
      {"g0", std::nullopt},  {"0x12", std::nullopt},
      {" 12", std::nullopt}, {"12 ", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHexBytes(c.text), c.expected) << c.text;

  // Decoding in place writes the bytes before a bad digit and refuses a length mismatch.
  std::array<std::uint8_t, 2> out{7, 7};
  EXPECT_FALSE(DecodeHex("12zz", out));
  EXPECT_EQ(out, (std::array<std::uint8_t, 2>{0x12, 7}));
  EXPECT_FALSE(DecodeHex("123", out));
  EXPECT_FALSE(DecodeHex("123456", out));
  EXPECT_TRUE(DecodeHex("aBcD", out));
  EXPECT_EQ(out, (std::array<std::uint8_t, 2>{0xAB, 0xCD}));
}

}  // namespace
}  // namespace kelvo::util
