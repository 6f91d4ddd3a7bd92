// SPDX-License-Identifier: GPL-2.0-or-later
// The reply to a read group, read by variable: the position of each variable comes from the
// group's table, so the extraction steps never spell a position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mib/MibVariables.h"

namespace kelvo::snmp {
class AgentSession;
}

namespace kelvo::mib {

class GroupReply {
 public:
  GroupReply(const snmp::AgentSession& session, Group group) : session_(session), group_(group) {}

  // nullopt when the reply has no value for the variable (or the group does not read it).
  std::optional<std::string> Text(Variable variable) const;
  std::optional<std::vector<std::uint8_t>> Bytes(Variable variable) const;
  // The text's leading integer, read as the pages read numbers (LeadingInteger).
  std::optional<long> Integer(Variable variable) const;

 private:
  const snmp::AgentSession& session_;
  Group group_;
};

}  // namespace kelvo::mib
