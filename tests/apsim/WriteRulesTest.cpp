// SPDX-License-Identifier: GPL-2.0-or-later
// Consistency of the write rules with the variable table and the factory values.
#include <gtest/gtest.h>

#include "ApDevice.h"
#include "WriteRules.h"

namespace kelvo::apsim {
namespace {

ValueKind KindOf(mib::SetType type) {
  switch (type) {
    case mib::SetType::Integer:
      return ValueKind::Integer;
    case mib::SetType::IpAddress:
      return ValueKind::IpAddress;
    default:
      return ValueKind::OctetString;
  }
}

TEST(ApSimWriteRules, AgreeWithTheVariableTableAndTheFactoryValues) {
  const ApDevice device(1, 0x7F000002, "admin");
  ASSERT_EQ(AllRules().size(), mib::AllVariables().size());
  for (const mib::VariableInfo& info : mib::AllVariables()) {
    SCOPED_TRACE(std::string(info.name));
    const VariableRule& rule = RuleFor(info.variable);
    EXPECT_EQ(rule.variable, info.variable);
    EXPECT_EQ(rule.kind, KindOf(info.type));
    EXPECT_LE(rule.min, rule.max);
    if (rule.kind != ValueKind::Integer) {
      EXPECT_GE(rule.min, 0);
    }

    // Every factory value has the type its writes carry and, where the rule fixes a size,
    // that size; writable ones pass their own rule (the one-shot commands excepted).
    const SnmpValue factory = device.Read(info.variable, SimTime{0});
    EXPECT_EQ(factory.tag, TagOf(rule.kind));
    if (rule.kind == ValueKind::OctetString && rule.min == rule.max && rule.min > 0) {
      EXPECT_EQ(factory.bytes.size(), static_cast<std::size_t>(rule.min));
    }
    const bool command =
        info.access == mib::Access::WriteOnly || info.variable == mib::Variable::RfTestCommand ||
        rule.check == Check::AuthorizedRecord || rule.check == Check::RegisterBlock;
    if (info.access == mib::Access::ReadOnly) {
      EXPECT_EQ(CheckWrite(info.variable, factory), kNoSuchName);
    } else if (!command && info.variable != mib::Variable::PreSharedKey) {
      EXPECT_EQ(CheckWrite(info.variable, factory), kNoError);
    }
  }
}

}  // namespace
}  // namespace kelvo::apsim
