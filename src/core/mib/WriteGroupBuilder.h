// SPDX-License-Identifier: GPL-2.0-or-later
// The builders of the write groups: one AddSetVariable per variable of the group's table, in
// its order, valued from AgentValues.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "mib/AgentValues.h"
#include "mib/MibVariables.h"

namespace kelvo::snmp {
class AgentSession;
}

namespace kelvo::mib {

// What a write sends for a variable: its text, or raw bytes for octet strings the table holds
// as bytes.
struct WriteValue {
  std::string_view text;
  std::span<const std::uint8_t> bytes;
  bool raw = false;
};

// The AgentValues field that a write of the variable sends; an empty text for variables no
// write group carries. The active WEP key has no field of its own: WepKeyBytes is sent as
// whichever key the "Active:" list selects.
WriteValue WriteValueOf(const AgentValues& values, Variable variable);

// Adds the variables of write group 1, 2, 4 or 5 to the session's outgoing message. For group
// 5, activeKeySelection is the "Active:" list selection (0..3, -1 none): with a selection and
// a key that is not all zero, that WEP key goes first as 13 raw bytes.
void BuildWriteGroup(Group group, const AgentValues& values, snmp::AgentSession& session,
                     int activeKeySelection = -1);

}  // namespace kelvo::mib
