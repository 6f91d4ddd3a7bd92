// SPDX-License-Identifier: GPL-2.0-or-later
// The builders of the write groups: one AddSetVariable per variable, in the group's order,
// from AgentValues.
#pragma once

#include "mib/AgentValues.h"

namespace kelvo::snmp {
class AgentSession;
}

namespace kelvo::mib {

// Adds the variables of write group 1, 2, 4 or 5 to the session's outgoing message. For group
// 5, activeKeySelection is the "Active:" list selection (0..3, -1 none): with a selection and
// a key that is not all zero, that WEP key goes first as 13 raw bytes.
void BuildWriteGroup(int group, const AgentValues& values, snmp::AgentSession& session,
                     int activeKeySelection = -1);

}  // namespace kelvo::mib
