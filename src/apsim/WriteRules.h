// SPDX-License-Identifier: GPL-2.0-or-later
// What the simulated agent accepts in a SetRequest: one row per management variable with the
// type a write must carry and the range, length or layout the value must have.
#pragma once

#include <span>

#include "SnmpPdu.h"
#include "mib/MibVariables.h"

namespace kelvo::apsim {

// The SNMP type a variable is read and written as.
enum class ValueKind { Integer, OctetString, IpAddress };

enum class Check {
  None,              // any value of the right type
  Range,             // an integer in [min, max], or an octet string of min to max bytes
  OperationMode,     // 1, 2, 3 or 5
  WepMode,           // 1 (64-bit keys) or 3 (128-bit keys)
  WepKey,            // 5 or 13 bytes
  PreSharedKey,      // an 8 to 63 character printable passphrase, or 64 hex digits
  TestCommand,       // a start code 1 to 4, or its stop code (start + 0x80)
  PacketTestBlock,   // 10 bytes: channel, rate, preamble, pattern, count (32), length (16)
  RegisterBlock,     // exactly min bytes, led by a register operation 1 to 3
  AuthorizedRecord,  // the 12-byte authorised-table record
};

struct VariableRule {
  mib::Variable variable;
  ValueKind kind;
  Check check;
  long min;
  long max;
};

// Every variable, in the order of the enumeration.
std::span<const VariableRule> AllRules();
const VariableRule& RuleFor(mib::Variable variable);

ValueTag TagOf(ValueKind kind);

// The error status a SetRequest gets for this one value, judged on its own: kNoError, kNoSuchName
// for a variable that cannot be written (RFC 1157 answers read-only objects that way), or
// kBadValue for a wrong type, length, range or layout.
long CheckWrite(mib::Variable variable, const SnmpValue& value);

// The authorised MAC table holds at most this many addresses.
inline constexpr int kAuthorizedTableSize = 128;

}  // namespace kelvo::apsim
