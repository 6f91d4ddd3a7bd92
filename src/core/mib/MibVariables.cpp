// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/MibVariables.h"

#include <algorithm>

#include "util/Parse.h"

namespace kelvo::mib {
namespace {

constexpr bool kSecret = true;
constexpr bool kPlain = false;

// clang-format off
constexpr VariableInfo kVariables[] = {
    {Variable::SystemDescription, "SystemDescription", "1.1.1.1", SnmpType::OctetString, Kind::Text, Access::ReadOnly, kPlain},
    {Variable::SystemRestart, "SystemRestart", "1.1.1.2", SnmpType::Integer, Kind::Integer, Access::WriteOnly, kPlain},
    {Variable::TrapEnable, "TrapEnable", "1.1.1.3", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::LoadDefault, "LoadDefault", "1.1.1.4", SnmpType::Integer, Kind::Integer, Access::WriteOnly, kPlain},
    {Variable::UpgradeServerAddress, "UpgradeServerAddress", "1.1.1.6", SnmpType::IpAddress, Kind::Address, Access::WriteOnly, kPlain},
    {Variable::UpgradePrepare, "UpgradePrepare", "1.1.1.7", SnmpType::Integer, Kind::Integer, Access::WriteOnly, kPlain},
    {Variable::RegulatoryDomain, "RegulatoryDomain", "1.1.1.8", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::SerialNumber, "SerialNumber", "1.1.1.9", SnmpType::OctetString, Kind::Text, Access::ReadWrite, kPlain},
    {Variable::AccessPassword1, "AccessPassword1", "1.1.9.2", SnmpType::OctetString, Kind::Text, Access::WriteOnly, kSecret},
    {Variable::AccessPassword2, "AccessPassword2", "1.1.9.3", SnmpType::OctetString, Kind::Text, Access::WriteOnly, kSecret},
    {Variable::IpAddress, "IpAddress", "1.1.2.1", SnmpType::IpAddress, Kind::Address, Access::ReadWrite, kPlain},
    {Variable::SubnetMask, "SubnetMask", "1.1.2.2", SnmpType::IpAddress, Kind::Address, Access::ReadWrite, kPlain},
    {Variable::MacAddress, "MacAddress", "1.1.2.3", SnmpType::OctetString, Kind::RawBytes, Access::ReadWrite, kPlain},
    {Variable::Gateway, "Gateway", "1.1.2.4", SnmpType::IpAddress, Kind::Address, Access::ReadWrite, kPlain},
    {Variable::DhcpClient, "DhcpClient", "1.1.2.5", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::PrimaryPort, "PrimaryPort", "1.1.2.6", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::Channel, "Channel", "1.2.1.1", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::Essid, "Essid", "1.2.1.3", SnmpType::OctetString, Kind::Text, Access::ReadWrite, kPlain},
    {Variable::RtsThreshold, "RtsThreshold", "1.2.1.4", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::FragmentationThreshold, "FragmentationThreshold", "1.2.1.5", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::PreambleType, "PreambleType", "1.2.1.6", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::BasicRates, "BasicRates", "1.2.1.8", SnmpType::OctetString, Kind::RawBytes, Access::ReadWrite, kPlain},
    {Variable::RateSetting, "RateSetting", "1.2.1.9", SnmpType::Integer, Kind::Integer, Access::WriteOnly, kPlain},
    {Variable::DeviceName, "DeviceName", "1.2.1.10", SnmpType::OctetString, Kind::Text, Access::ReadWrite, kPlain},
    {Variable::RejectBroadcastProbe, "RejectBroadcastProbe", "1.2.1.11", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::DataRate, "DataRate", "1.2.1.13", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::WlanDisable, "WlanDisable", "1.2.1.15", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::BeaconInterval, "BeaconInterval", "1.2.1.16", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::OperationMode, "OperationMode", "1.1.4.1", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::Bssid, "Bssid", "1.1.4.2", SnmpType::OctetString, Kind::RawBytes, Access::ReadWrite, kPlain},
    {Variable::AuthorizedTableEnable, "AuthorizedTableEnable", "1.2.6.1", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::AuthorizedTableEntry, "AuthorizedTableEntry", "1.2.6.2", SnmpType::OctetString, Kind::Block, Access::ReadWrite, kPlain},
    {Variable::AuthenticationType, "AuthenticationType", "1.2.1.7", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::EncryptionType, "EncryptionType", "1.2.1.14", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::WepKey1, "WepKey1", "1.2.2.1", SnmpType::OctetString, Kind::RawBytes, Access::ReadWrite, kSecret},
    {Variable::WepKey2, "WepKey2", "1.2.2.2", SnmpType::OctetString, Kind::RawBytes, Access::ReadWrite, kSecret},
    {Variable::WepKey3, "WepKey3", "1.2.2.3", SnmpType::OctetString, Kind::RawBytes, Access::ReadWrite, kSecret},
    {Variable::WepKey4, "WepKey4", "1.2.2.4", SnmpType::OctetString, Kind::RawBytes, Access::ReadWrite, kSecret},
    {Variable::WepMode, "WepMode", "1.2.2.5", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::ActiveKey, "ActiveKey", "1.2.2.6", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::ReAuthEnabled, "ReAuthEnabled", "1.1.11.1", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::ReAuthPeriod, "ReAuthPeriod", "1.1.11.2", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::RadiusServer1, "RadiusServer1", "1.1.11.3", SnmpType::IpAddress, Kind::Address, Access::ReadWrite, kPlain},
    {Variable::RadiusServer2, "RadiusServer2", "1.1.11.4", SnmpType::IpAddress, Kind::Address, Access::ReadWrite, kPlain},
    {Variable::RadiusServer3, "RadiusServer3", "1.1.11.5", SnmpType::IpAddress, Kind::Address, Access::ReadWrite, kPlain},
    {Variable::RadiusServer4, "RadiusServer4", "1.1.11.6", SnmpType::IpAddress, Kind::Address, Access::ReadWrite, kPlain},
    {Variable::RadiusSecret1, "RadiusSecret1", "1.1.11.7", SnmpType::OctetString, Kind::Text, Access::ReadWrite, kSecret},
    {Variable::RadiusSecret2, "RadiusSecret2", "1.1.11.8", SnmpType::OctetString, Kind::Text, Access::ReadWrite, kSecret},
    {Variable::RadiusSecret3, "RadiusSecret3", "1.1.11.9", SnmpType::OctetString, Kind::Text, Access::ReadWrite, kSecret},
    {Variable::RadiusSecret4, "RadiusSecret4", "1.1.11.10", SnmpType::OctetString, Kind::Text, Access::ReadWrite, kSecret},
    {Variable::WpaSupportStation, "WpaSupportStation", "1.1.11.11", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::WpaCipher, "WpaCipher", "1.1.11.12", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::PskAsciiMode, "PskAsciiMode", "1.1.11.13", SnmpType::Integer, Kind::Integer, Access::WriteOnly, kPlain},
    {Variable::PreSharedKey, "PreSharedKey", "1.1.11.14", SnmpType::OctetString, Kind::RawBytes, Access::ReadWrite, kSecret},
    {Variable::GroupKeyInterval, "GroupKeyInterval", "1.1.11.15", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::EthernetRxCounters, "EthernetRxCounters", "1.1.7.1", SnmpType::OctetString, Kind::Block, Access::ReadOnly, kPlain},
    {Variable::EthernetTxCounters, "EthernetTxCounters", "1.1.7.2", SnmpType::OctetString, Kind::Block, Access::ReadOnly, kPlain},
    {Variable::WirelessCounters, "WirelessCounters", "1.2.3.1", SnmpType::OctetString, Kind::Block, Access::ReadOnly, kPlain},
    {Variable::RfTestCommand, "RfTestCommand", "1.1.8.1", SnmpType::Integer, Kind::Integer, Access::ReadWrite, kPlain},
    {Variable::RfTestParameters, "RfTestParameters", "1.1.8.2", SnmpType::OctetString, Kind::Block, Access::ReadWrite, kPlain},
    {Variable::BasebandRegisters, "BasebandRegisters", "1.1.8.4", SnmpType::OctetString, Kind::Block, Access::ReadWrite, kPlain},
    {Variable::TxPowerSettings, "TxPowerSettings", "1.1.8.5", SnmpType::OctetString, Kind::Block, Access::ReadWrite, kPlain},
    {Variable::RfTestCounters, "RfTestCounters", "1.1.8.6", SnmpType::OctetString, Kind::Block, Access::ReadOnly, kPlain},
    {Variable::SynthesizerRegisters, "SynthesizerRegisters", "1.1.8.7", SnmpType::OctetString, Kind::Block, Access::ReadWrite, kPlain},
};
// clang-format on

constexpr Variable kReadGroup1[] = {Variable::SystemDescription, Variable::MacAddress,
                                    Variable::TrapEnable, Variable::RegulatoryDomain,
                                    Variable::SerialNumber};
constexpr Variable kReadGroup2[] = {Variable::IpAddress,  Variable::SubnetMask,
                                    Variable::MacAddress, Variable::Gateway,
                                    Variable::DhcpClient, Variable::PrimaryPort};
constexpr Variable kReadGroup3[] = {Variable::EthernetRxCounters, Variable::EthernetTxCounters,
                                    Variable::WirelessCounters};
constexpr Variable kReadGroup4[] = {Variable::Channel,
                                    Variable::Essid,
                                    Variable::DeviceName,
                                    Variable::BasicRates,
                                    Variable::DataRate,
                                    Variable::OperationMode,
                                    Variable::Bssid,
                                    Variable::PreambleType,
                                    Variable::RtsThreshold,
                                    Variable::FragmentationThreshold,
                                    Variable::AuthorizedTableEnable,
                                    Variable::RejectBroadcastProbe,
                                    Variable::WlanDisable,
                                    Variable::BeaconInterval};
constexpr Variable kReadGroup5[] = {Variable::WepKey1,
                                    Variable::WepKey2,
                                    Variable::WepKey3,
                                    Variable::WepKey4,
                                    Variable::WepMode,
                                    Variable::ActiveKey,
                                    Variable::AuthenticationType,
                                    Variable::EncryptionType,
                                    Variable::ReAuthEnabled,
                                    Variable::ReAuthPeriod,
                                    Variable::RadiusServer1,
                                    Variable::RadiusServer2,
                                    Variable::RadiusServer3,
                                    Variable::RadiusServer4,
                                    Variable::RadiusSecret1,
                                    Variable::RadiusSecret2,
                                    Variable::RadiusSecret3,
                                    Variable::RadiusSecret4,
                                    Variable::WpaSupportStation,
                                    Variable::WpaCipher,
                                    Variable::PreSharedKey,
                                    Variable::GroupKeyInterval};

constexpr Variable kWriteGroup1[] = {Variable::TrapEnable, Variable::RegulatoryDomain,
                                     Variable::SerialNumber, Variable::AccessPassword1,
                                     Variable::AccessPassword2};
constexpr Variable kWriteGroup2[] = {Variable::IpAddress,   Variable::SubnetMask,
                                     Variable::Gateway,     Variable::DhcpClient,
                                     Variable::PrimaryPort, Variable::MacAddress};
constexpr Variable kWriteGroup4[] = {Variable::Channel,
                                     Variable::Essid,
                                     Variable::DeviceName,
                                     Variable::BasicRates,
                                     Variable::RateSetting,
                                     Variable::DataRate,
                                     Variable::OperationMode,
                                     Variable::Bssid,
                                     Variable::PreambleType,
                                     Variable::RtsThreshold,
                                     Variable::FragmentationThreshold,
                                     Variable::AuthorizedTableEnable,
                                     Variable::BeaconInterval,
                                     Variable::RejectBroadcastProbe,
                                     Variable::WlanDisable};
// The active WEP key goes in front of these when one is given.
constexpr Variable kWriteGroup5[] = {
    Variable::WepMode,         Variable::ActiveKey,     Variable::AuthenticationType,
    Variable::EncryptionType,  Variable::ReAuthEnabled, Variable::ReAuthPeriod,
    Variable::RadiusServer1,   Variable::RadiusServer2, Variable::RadiusServer3,
    Variable::RadiusServer4,   Variable::RadiusSecret1, Variable::RadiusSecret2,
    Variable::RadiusSecret3,   Variable::RadiusSecret4, Variable::WpaSupportStation,
    Variable::WpaCipher,       Variable::PskAsciiMode,  Variable::PreSharedKey,
    Variable::GroupKeyInterval};

static_assert(std::size(kVariables) == static_cast<std::size_t>(Variable::SynthesizerRegisters) + 1,
              "one row per variable");

constexpr bool RowsFollowEnumeration() {
  for (std::size_t i = 0; i < std::size(kVariables); ++i) {
    if (static_cast<std::size_t>(kVariables[i].variable) != i) return false;
  }
  return true;
}
static_assert(RowsFollowEnumeration(), "rows are in enumeration order");

constexpr SnmpType TypeOfKind(Kind kind) {
  switch (kind) {
    case Kind::Integer:
      return SnmpType::Integer;
    case Kind::Address:
      return SnmpType::IpAddress;
    case Kind::Text:
    case Kind::RawBytes:
    case Kind::Block:
      return SnmpType::OctetString;
  }
  return SnmpType::None;
}

constexpr bool TypesFollowKinds() {
  for (const VariableInfo& row : kVariables) {
    if (row.type != TypeOfKind(row.kind)) return false;
  }
  return true;
}
static_assert(TypesFollowKinds(), "a kind travels as one SNMP type");

}  // namespace

std::span<const VariableInfo> AllVariables() { return kVariables; }

const VariableInfo& Info(Variable variable) {
  return kVariables[static_cast<std::size_t>(variable)];
}

std::string FullOid(Variable variable) {
  std::string oid(kEnterprisePrefix);
  oid += '.';
  oid += Info(variable).suffix;
  oid += ".0";
  return oid;
}

std::optional<Variable> FindByOid(std::string_view fullOid) {
  for (const auto& row : kVariables) {
    if (FullOid(row.variable) == fullOid) return row.variable;
  }
  return std::nullopt;
}

std::optional<Variable> FindByName(std::string_view name) {
  for (const auto& row : kVariables) {
    if (util::EqualsIgnoringAsciiCase(row.name, name)) return row.variable;
  }
  return std::nullopt;
}

std::span<const Variable> ReadGroup(Group group) {
  switch (group) {
    case Group::System:
      return kReadGroup1;
    case Group::IpConfig:
      return kReadGroup2;
    case Group::Statistics:
      return kReadGroup3;
    case Group::Wireless:
      return kReadGroup4;
    case Group::Security:
      return kReadGroup5;
  }
  return {};
}

std::span<const Variable> WriteGroup(Group group) {
  switch (group) {
    case Group::System:
      return kWriteGroup1;
    case Group::IpConfig:
      return kWriteGroup2;
    case Group::Wireless:
      return kWriteGroup4;
    case Group::Security:
      return kWriteGroup5;
    case Group::Statistics:
      break;
  }
  return {};
}

std::size_t ReadPosition(Group group, Variable variable) {
  const auto variables = ReadGroup(group);
  const auto found = std::find(variables.begin(), variables.end(), variable);
  return found == variables.end() ? 0 : static_cast<std::size_t>(found - variables.begin()) + 1;
}

}  // namespace kelvo::mib
