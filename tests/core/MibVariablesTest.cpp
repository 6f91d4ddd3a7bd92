// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <cctype>
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
    // Names are found whatever their case.
    std::string upper(row.name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(FindByName(upper), row.variable);
    // A secret is something typed in, never a number or an address.
    if (row.secret) {
      EXPECT_TRUE(row.kind == Kind::Text || row.kind == Kind::RawBytes) << row.name;
    }
  }
  EXPECT_EQ(FullOid(Variable::DeviceName), "1.3.6.1.4.1.15177.1.2.1.10.0");
  EXPECT_EQ(FindByName("Channe"), std::nullopt);
  EXPECT_TRUE(Info(Variable::PreSharedKey).secret);
  EXPECT_TRUE(Info(Variable::AccessPassword2).secret);
  EXPECT_FALSE(Info(Variable::Essid).secret);
  EXPECT_EQ(FindByOid("1.3.6.1.4.1.15177.1.2.1.10"), std::nullopt) << "the instance is required";
}

TEST(MibVariables, GroupsNameReadableAndWritableVariables) {
  for (const Group group : kAllGroups) {
    std::set<Variable> seen;
    for (const Variable variable : ReadGroup(group)) {
      EXPECT_NE(Info(variable).access, Access::WriteOnly) << Info(variable).name;
      EXPECT_TRUE(seen.insert(variable).second) << "read group " << static_cast<int>(group);
      // The reply is read by variable at the position the table gives.
      EXPECT_EQ(ReadGroup(group)[ReadPosition(group, variable) - 1], variable);
    }
    seen.clear();
    for (const Variable variable : WriteGroup(group)) {
      EXPECT_NE(Info(variable).type, SnmpType::None) << Info(variable).name;
      EXPECT_NE(Info(variable).access, Access::ReadOnly) << Info(variable).name;
      EXPECT_TRUE(seen.insert(variable).second) << "write group " << static_cast<int>(group);
    }
  }
  EXPECT_TRUE(WriteGroup(Group::Statistics).empty());
  EXPECT_EQ(ReadPosition(Group::Wireless, Variable::WepKey1), 0U) << "not read by the group";
  // The variable counts the device expects in one request.
  EXPECT_EQ(ReadGroup(Group::Wireless).size(), 14U);
  EXPECT_EQ(ReadGroup(Group::Security).size(), 22U);
  EXPECT_EQ(WriteGroup(Group::Wireless).size(), 15U);
}

}  // namespace
}  // namespace kelvo::mib
