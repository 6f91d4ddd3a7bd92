// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "snmp/SnmpMessage.h"

namespace kelvo::snmp {
namespace {

TEST(SnmpMessage, ObjectIdentifierText) {
  struct Case {
    std::string text;
    bool valid;
  };
  std::string tooLong = "1";
  for (int i = 0; i < 128; ++i) tooLong += ".1";
  const Case cases[] = {
      {"1.3.6.1.4.1.15177.1.2.1.10.0", true},
      {".1.3.6.1", true},
      {"1.3.4294967295", true},
      {"", false},
      {"1", false},
      {"1..3", false},
      {"1.3.", false},
      {"1.3.a", false},
      {"1.3.-1", false},
      {"1.3.4294967296", false},
      {"1.3.6 ", false},
      {tooLong, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseObjectId(c.text).has_value(), c.valid) << '"' << c.text << '"';
  }
  EXPECT_EQ(ParseObjectId(".1.3.6").value(), (std::vector<std::uint32_t>{1, 3, 6}));
}

TEST(SnmpMessage, SetValuesAreCheckedAgainstTheirType) {
  struct Case {
    SetType type;
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {SetType::Integer, "42", true},
      {SetType::Integer, "-5", true},
      {SetType::Integer, "+7", true},
      {SetType::Integer, "+-7", false},
      {SetType::Integer, "2147483647", true},
      {SetType::Integer, "-2147483648", true},
      {SetType::Integer, "2147483648", false},
      {SetType::Integer, "", false},
      {SetType::Integer, "4x", false},
      {SetType::Integer, " 1", false},
      {SetType::IpAddress, "10.0.0.1", true},
      {SetType::IpAddress, "255.255.255.255", true},
      {SetType::IpAddress, "10.0.0", false},
      {SetType::IpAddress, "256.1.1.1", false},
      {SetType::IpAddress, "", false},
      {SetType::OctetString, "", true},
      {SetType::OctetString, "any text at all", true},
      {SetType::None, "1", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SnmpVariable::ForSet("1.3.6.1.4.1.15177.1.1.1.3.0", c.type, c.text).has_value(),
              c.valid)
        << static_cast<int>(c.type) << " '" << c.text << "'";
  }
  const auto address = SnmpVariable::ForSet("1.3.6.1", SetType::IpAddress, "192.168.1.254");
  EXPECT_EQ(address->Bytes(), (std::vector<std::uint8_t>{192, 168, 1, 254}));
  EXPECT_EQ(SnmpVariable::ForSet("1.3.6.1", SetType::Integer, "-5")->IntegerValue(), -5);
  EXPECT_FALSE(SnmpVariable::ForSet("not.an.oid", SetType::Integer, "1").has_value());
}

TEST(SnmpMessage, ItemsAreOneBasedAndClearDropsEverything) {
  SnmpMessage message;
  message.Add(*SnmpVariable::ForGet("1.3.6.1.1"));
  message.Add(*SnmpVariable::ForGet("1.3.6.1.2"));
  message.SetError(2, 1);
  EXPECT_EQ(message.Item(0), nullptr);
  EXPECT_EQ(message.Item(1)->Oid(), "1.3.6.1.1");
  EXPECT_EQ(message.Item(2)->Oid(), "1.3.6.1.2");
  EXPECT_EQ(message.Item(3), nullptr);
  message.Clear();
  EXPECT_EQ(message.Count(), 0U);
  EXPECT_EQ(message.ErrorStatus(), 0);
  EXPECT_EQ(message.Item(1), nullptr);
}

}  // namespace
}  // namespace kelvo::snmp
