// SPDX-License-Identifier: GPL-2.0-or-later
// The agent's management variables under 1.3.6.1.4.1.15177: one row per variable, and the
// fixed read and write groups that travel as single requests.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "snmp/SnmpMessage.h"

namespace kelvo::mib {

inline constexpr std::string_view kEnterprisePrefix = "1.3.6.1.4.1.15177";

// The SNMP type a variable travels as; also the type code handed to AddSetVariable.
using SetType = snmp::SetType;
using SnmpType = snmp::SetType;

// What a value is, and so how it is typed, shown and compared.
enum class Kind {
  Integer,   // decimal text
  Text,      // octet string holding characters
  RawBytes,  // octet string holding bytes, shown as upper-case hex
  Address,   // IPv4 address, dotted decimal
  Block,     // octet string holding a little-endian record (counters, test blocks)
};

enum class Access { ReadWrite, ReadOnly, WriteOnly };

// The read and write groups, each one request.
enum class Group { System = 1, IpConfig = 2, Statistics = 3, Wireless = 4, Security = 5 };
inline constexpr Group kAllGroups[] = {Group::System, Group::IpConfig, Group::Statistics,
                                       Group::Wireless, Group::Security};

enum class Variable {
  SystemDescription,
  SystemRestart,
  TrapEnable,
  LoadDefault,
  UpgradeServerAddress,
  UpgradePrepare,
  RegulatoryDomain,
  SerialNumber,
  AccessPassword1,
  AccessPassword2,
  IpAddress,
  SubnetMask,
  MacAddress,
  Gateway,
  DhcpClient,
  PrimaryPort,
  Channel,
  Essid,
  RtsThreshold,
  FragmentationThreshold,
  PreambleType,
  BasicRates,
  RateSetting,
  DeviceName,
  RejectBroadcastProbe,
  DataRate,
  WlanDisable,
  BeaconInterval,
  OperationMode,
  Bssid,
  AuthorizedTableEnable,
  AuthorizedTableEntry,
  AuthenticationType,
  EncryptionType,
  WepKey1,
  WepKey2,
  WepKey3,
  WepKey4,
  WepMode,
  ActiveKey,
  ReAuthEnabled,
  ReAuthPeriod,
  RadiusServer1,
  RadiusServer2,
  RadiusServer3,
  RadiusServer4,
  RadiusSecret1,
  RadiusSecret2,
  RadiusSecret3,
  RadiusSecret4,
  WpaSupportStation,
  WpaCipher,
  PskAsciiMode,
  PreSharedKey,
  GroupKeyInterval,
  EthernetRxCounters,
  EthernetTxCounters,
  WirelessCounters,
  RfTestCommand,
  RfTestParameters,
  BasebandRegisters,
  TxPowerSettings,
  RfTestCounters,
  SynthesizerRegisters,
};

struct VariableInfo {
  Variable variable;
  std::string_view name;
  std::string_view suffix;  // the part between the enterprise prefix and the ".0" instance
  SnmpType type;
  Kind kind;
  Access access;
  bool secret;  // passwords, keys and shared secrets: never shown, logged or stored
};

// Every variable, in the order of the enumeration.
std::span<const VariableInfo> AllVariables();

const VariableInfo& Info(Variable variable);

// The full object identifier with its instance, e.g. "1.3.6.1.4.1.15177.1.2.1.10.0".
std::string FullOid(Variable variable);

// Looks a variable up by its full object identifier (with ".0") or by its name, whose case
// does not matter.
std::optional<Variable> FindByOid(std::string_view fullOid);
std::optional<Variable> FindByName(std::string_view name);

// The variables of each group in request order; these tables are the only place the orders
// are written down. Write group 1 lists the two password variables, which are sent only when a
// new password was entered. Write group 5 leaves out the active WEP key, which its builder puts
// in front when one is given, and lists PreSharedKey, which the builder sends only when a key
// is given. Group 3 has no write.
std::span<const Variable> ReadGroup(Group group);
std::span<const Variable> WriteGroup(Group group);

// The 1-based position of a variable in a group's read; 0 when the group does not read it.
std::size_t ReadPosition(Group group, Variable variable);

}  // namespace kelvo::mib
