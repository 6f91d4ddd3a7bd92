// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "mib/MibVariables.h"
#include "snmp/AgentSession.h"

namespace kelvo::mib {
namespace {

TEST(MibVariables, TableIsConsistent) {
  std::set<std::string> oids;
  std::set<std::string_view> names;
  for (const VariableInfo& row : AllVariables()) {
    EXPECT_TRUE(oids.insert(FullOid(row.variable)).second) << "duplicate OID of " << row.name;
    EXPECT_TRUE(names.insert(row.name).second) << "duplicate name " << row.name;
    EXPECT_TRUE(snmp::ParseObjectId(FullOid(row.variable)).has_value()) << row.name;
    EXPECT_EQ(FindByOid(FullOid(row.variable)), row.variable);
    EXPECT_EQ(FindByName(row.name), row.variable);
    // Raw and text octet strings are written as octet strings, numbers as integers.
    if (row.setType == SetType::Integer) {
      EXPECT_EQ(row.encoding, Encoding::Integer) << row.name;
    }
    if (row.setType == SetType::IpAddress) {
      EXPECT_EQ(row.encoding, Encoding::IpAddress) << row.name;
    }
    if (row.setType == SetType::OctetString) {
      EXPECT_TRUE(row.encoding == Encoding::Text || row.encoding == Encoding::RawBytes ||
                  row.encoding == Encoding::Block)
          << row.name;
    }
  }
  EXPECT_EQ(FullOid(Variable::DeviceName), snmp::kDeviceNameOid);
  EXPECT_EQ(FindByOid("1.3.6.1.4.1.15177.1.2.1.10"), std::nullopt) << "the instance is required";
}

TEST(MibVariables, GroupsNameReadableAndWritableVariables) {
  for (int group = 1; group <= 5; ++group) {
    std::set<Variable> seen;
    for (const Variable variable : ReadGroup(group)) {
      EXPECT_NE(Info(variable).access, Access::WriteOnly) << Info(variable).name;
      EXPECT_TRUE(seen.insert(variable).second) << "read group " << group;
    }
    seen.clear();
    for (const Variable variable : WriteGroup(group)) {
      EXPECT_NE(Info(variable).setType, SetType::None) << Info(variable).name;
      EXPECT_NE(Info(variable).access, Access::ReadOnly) << Info(variable).name;
      EXPECT_TRUE(seen.insert(variable).second) << "write group " << group;
    }
  }
  EXPECT_TRUE(WriteGroup(3).empty());
  EXPECT_TRUE(ReadGroup(0).empty());
  EXPECT_TRUE(ReadGroup(6).empty());
  // The variable counts the device expects in one request.
  EXPECT_EQ(ReadGroup(4).size(), 14U);
  EXPECT_EQ(ReadGroup(5).size(), 22U);
  EXPECT_EQ(WriteGroup(4).size(), 15U);
}

}  // namespace
}  // namespace kelvo::mib
