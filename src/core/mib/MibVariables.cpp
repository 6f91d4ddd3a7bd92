// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/MibVariables.h"

namespace kelvo::mib {
namespace {

// The test variables (1.1.8.x) are written through their own operations with explicit types;
// the table records them as blocks without a group set type.
constexpr VariableInfo kVariables[] = {
    {Variable::SystemDescription, "SystemDescription", "1.1.1.1", SetType::None, Encoding::Text,
     Access::ReadOnly},
    {Variable::SystemRestart, "SystemRestart", "1.1.1.2", SetType::Integer, Encoding::Integer,
     Access::WriteOnly},
    {Variable::TrapEnable, "TrapEnable", "1.1.1.3", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::LoadDefault, "LoadDefault", "1.1.1.4", SetType::Integer, Encoding::Integer,
     Access::WriteOnly},
    {Variable::UpgradeServerAddress, "UpgradeServerAddress", "1.1.1.6", SetType::IpAddress,
     Encoding::IpAddress, Access::WriteOnly},
    {Variable::UpgradePrepare, "UpgradePrepare", "1.1.1.7", SetType::Integer, Encoding::Integer,
     Access::WriteOnly},
    {Variable::RegulatoryDomain, "RegulatoryDomain", "1.1.1.8", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::SerialNumber, "SerialNumber", "1.1.1.9", SetType::OctetString, Encoding::Text,
     Access::ReadWrite},
    {Variable::AccessPassword1, "AccessPassword1", "1.1.9.2", SetType::OctetString, Encoding::Text,
     Access::WriteOnly},
    {Variable::AccessPassword2, "AccessPassword2", "1.1.9.3", SetType::OctetString, Encoding::Text,
     Access::WriteOnly},
    {Variable::IpAddress, "IpAddress", "1.1.2.1", SetType::IpAddress, Encoding::IpAddress,
     Access::ReadWrite},
    {Variable::SubnetMask, "SubnetMask", "1.1.2.2", SetType::IpAddress, Encoding::IpAddress,
     Access::ReadWrite},
    {Variable::MacAddress, "MacAddress", "1.1.2.3", SetType::OctetString, Encoding::RawBytes,
     Access::ReadWrite},
    {Variable::Gateway, "Gateway", "1.1.2.4", SetType::IpAddress, Encoding::IpAddress,
     Access::ReadWrite},
    {Variable::DhcpClient, "DhcpClient", "1.1.2.5", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::PrimaryPort, "PrimaryPort", "1.1.2.6", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::Channel, "Channel", "1.2.1.1", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::Essid, "Essid", "1.2.1.3", SetType::OctetString, Encoding::Text, Access::ReadWrite},
    {Variable::RtsThreshold, "RtsThreshold", "1.2.1.4", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::FragmentationThreshold, "FragmentationThreshold", "1.2.1.5", SetType::Integer,
     Encoding::Integer, Access::ReadWrite},
    {Variable::PreambleType, "PreambleType", "1.2.1.6", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::BasicRates, "BasicRates", "1.2.1.8", SetType::OctetString, Encoding::RawBytes,
     Access::ReadWrite},
    {Variable::RateSetting, "RateSetting", "1.2.1.9", SetType::Integer, Encoding::Integer,
     Access::WriteOnly},
    {Variable::DeviceName, "DeviceName", "1.2.1.10", SetType::OctetString, Encoding::Text,
     Access::ReadWrite},
    {Variable::RejectBroadcastProbe, "RejectBroadcastProbe", "1.2.1.11", SetType::Integer,
     Encoding::Integer, Access::ReadWrite},
    {Variable::DataRate, "DataRate", "1.2.1.13", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::WlanDisable, "WlanDisable", "1.2.1.15", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::BeaconInterval, "BeaconInterval", "1.2.1.16", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::OperationMode, "OperationMode", "1.1.4.1", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::Bssid, "Bssid", "1.1.4.2", SetType::OctetString, Encoding::RawBytes,
     Access::ReadWrite},
    {Variable::AuthorizedTableEnable, "AuthorizedTableEnable", "1.2.6.1", SetType::Integer,
     Encoding::Integer, Access::ReadWrite},
    {Variable::AuthorizedTableEntry, "AuthorizedTableEntry", "1.2.6.2", SetType::OctetString,
     Encoding::Block, Access::ReadWrite},
    {Variable::AuthenticationType, "AuthenticationType", "1.2.1.7", SetType::Integer,
     Encoding::Integer, Access::ReadWrite},
    {Variable::EncryptionType, "EncryptionType", "1.2.1.14", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::WepKey1, "WepKey1", "1.2.2.1", SetType::OctetString, Encoding::RawBytes,
     Access::ReadWrite},
    {Variable::WepKey2, "WepKey2", "1.2.2.2", SetType::OctetString, Encoding::RawBytes,
     Access::ReadWrite},
    {Variable::WepKey3, "WepKey3", "1.2.2.3", SetType::OctetString, Encoding::RawBytes,
     Access::ReadWrite},
    {Variable::WepKey4, "WepKey4", "1.2.2.4", SetType::OctetString, Encoding::RawBytes,
     Access::ReadWrite},
    {Variable::WepMode, "WepMode", "1.2.2.5", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::ActiveKey, "ActiveKey", "1.2.2.6", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::ReAuthEnabled, "ReAuthEnabled", "1.1.11.1", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::ReAuthPeriod, "ReAuthPeriod", "1.1.11.2", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::RadiusServer1, "RadiusServer1", "1.1.11.3", SetType::IpAddress, Encoding::IpAddress,
     Access::ReadWrite},
    {Variable::RadiusServer2, "RadiusServer2", "1.1.11.4", SetType::IpAddress, Encoding::IpAddress,
     Access::ReadWrite},
    {Variable::RadiusServer3, "RadiusServer3", "1.1.11.5", SetType::IpAddress, Encoding::IpAddress,
     Access::ReadWrite},
    {Variable::RadiusServer4, "RadiusServer4", "1.1.11.6", SetType::IpAddress, Encoding::IpAddress,
     Access::ReadWrite},
    {Variable::RadiusSecret1, "RadiusSecret1", "1.1.11.7", SetType::OctetString, Encoding::Text,
     Access::ReadWrite},
    {Variable::RadiusSecret2, "RadiusSecret2", "1.1.11.8", SetType::OctetString, Encoding::Text,
     Access::ReadWrite},
    {Variable::RadiusSecret3, "RadiusSecret3", "1.1.11.9", SetType::OctetString, Encoding::Text,
     Access::ReadWrite},
    {Variable::RadiusSecret4, "RadiusSecret4", "1.1.11.10", SetType::OctetString, Encoding::Text,
     Access::ReadWrite},
    {Variable::WpaSupportStation, "WpaSupportStation", "1.1.11.11", SetType::Integer,
     Encoding::Integer, Access::ReadWrite},
    {Variable::WpaCipher, "WpaCipher", "1.1.11.12", SetType::Integer, Encoding::Integer,
     Access::ReadWrite},
    {Variable::PskAsciiMode, "PskAsciiMode", "1.1.11.13", SetType::Integer, Encoding::Integer,
     Access::WriteOnly},
    {Variable::PreSharedKey, "PreSharedKey", "1.1.11.14", SetType::OctetString, Encoding::RawBytes,
     Access::ReadWrite},
    {Variable::GroupKeyInterval, "GroupKeyInterval", "1.1.11.15", SetType::Integer,
     Encoding::Integer, Access::ReadWrite},
    {Variable::EthernetRxCounters, "EthernetRxCounters", "1.1.7.1", SetType::None, Encoding::Block,
     Access::ReadOnly},
    {Variable::EthernetTxCounters, "EthernetTxCounters", "1.1.7.2", SetType::None, Encoding::Block,
     Access::ReadOnly},
    {Variable::WirelessCounters, "WirelessCounters", "1.2.3.1", SetType::None, Encoding::Block,
     Access::ReadOnly},
    {Variable::RfTestCommand, "RfTestCommand", "1.1.8.1", SetType::None, Encoding::Integer,
     Access::ReadWrite},
    {Variable::RfTestParameters, "RfTestParameters", "1.1.8.2", SetType::None, Encoding::Block,
     Access::ReadWrite},
    {Variable::BasebandRegisters, "BasebandRegisters", "1.1.8.4", SetType::None, Encoding::Block,
     Access::ReadWrite},
    {Variable::TxPowerSettings, "TxPowerSettings", "1.1.8.5", SetType::None, Encoding::Block,
     Access::ReadWrite},
    {Variable::RfTestCounters, "RfTestCounters", "1.1.8.6", SetType::None, Encoding::Block,
     Access::ReadOnly},
    {Variable::SynthesizerRegisters, "SynthesizerRegisters", "1.1.8.7", SetType::None,
     Encoding::Block, Access::ReadWrite},
};

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
    if (row.name == name) return row.variable;
  }
  return std::nullopt;
}

std::span<const Variable> ReadGroup(int group) {
  switch (group) {
    case 1:
      return kReadGroup1;
    case 2:
      return kReadGroup2;
    case 3:
      return kReadGroup3;
    case 4:
      return kReadGroup4;
    case 5:
      return kReadGroup5;
    default:
      return {};
  }
}

std::span<const Variable> WriteGroup(int group) {
  switch (group) {
    case 1:
      return kWriteGroup1;
    case 2:
      return kWriteGroup2;
    case 4:
      return kWriteGroup4;
    case 5:
      return kWriteGroup5;
    default:
      return {};
  }
}

}  // namespace kelvo::mib
