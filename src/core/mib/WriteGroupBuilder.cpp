// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/WriteGroupBuilder.h"

#include <algorithm>
#include <span>
#include <string>

#include "mib/MibVariables.h"
#include "snmp/AgentSession.h"

namespace kelvo::mib {
namespace {

constexpr char kRawPlaceholder[] = "NULL";

bool AllZero(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

class Builder {
 public:
  Builder(snmp::AgentSession& session) : session_(session) {}  // NOLINT
  void Text(Variable variable, const std::string& text) {
    session_.AddSetVariable(FullOid(variable), Info(variable).setType, text, nullptr, 0, false);
  }
  void Raw(Variable variable, std::span<const std::uint8_t> bytes) {
    session_.AddSetVariable(FullOid(variable), snmp::SetType::OctetString, kRawPlaceholder,
                            bytes.data(), bytes.size(), true);
  }

 private:
  snmp::AgentSession& session_;
};

void BuildSystem(const AgentValues& v, Builder& add) {
  add.Text(Variable::TrapEnable, v.TrapEnable);
  add.Text(Variable::RegulatoryDomain, v.RegulatoryDomain);
  add.Text(Variable::SerialNumber, v.SerialNumber);
  if (v.NewPasswordGiven) {
    add.Text(Variable::AccessPassword1, v.NewPassword);
    add.Text(Variable::AccessPassword2, v.NewPassword);
  }
}

void BuildIpConfiguration(const AgentValues& v, Builder& add) {
  add.Text(Variable::IpAddress, v.IpAddress);
  add.Text(Variable::SubnetMask, v.SubnetMask);
  add.Text(Variable::Gateway, v.Gateway);
  add.Text(Variable::DhcpClient, v.DhcpClient);
  add.Text(Variable::PrimaryPort, v.PrimaryPort);
  add.Raw(Variable::MacAddress, v.MacAddressBytes);
}

void BuildWireless(const AgentValues& v, Builder& add) {
  add.Text(Variable::Channel, v.Channel);
  add.Text(Variable::Essid, v.Essid);
  add.Text(Variable::DeviceName, v.DeviceName);
  add.Raw(Variable::BasicRates, v.BasicRatesBytes);
  add.Text(Variable::RateSetting, v.RateSetting);
  add.Text(Variable::DataRate, v.DataRate);
  add.Text(Variable::OperationMode, v.OperationMode);
  add.Raw(Variable::Bssid, v.BssidBytes);
  add.Text(Variable::PreambleType, v.PreambleType);
  add.Text(Variable::RtsThreshold, v.RtsThreshold);
  add.Text(Variable::FragmentationThreshold, v.FragmentationThreshold);
  add.Text(Variable::AuthorizedTableEnable, v.AuthorizedTableEnable);
  add.Text(Variable::BeaconInterval, v.BeaconInterval);
  add.Text(Variable::RejectBroadcastProbe, v.RejectBroadcastProbe);
  add.Text(Variable::WlanDisable, v.WlanDisable);
}

void BuildSecurity(const AgentValues& v, Builder& add, int activeKeySelection) {
  constexpr Variable kKeys[] = {Variable::WepKey1, Variable::WepKey2, Variable::WepKey3,
                                Variable::WepKey4};
  if (activeKeySelection >= 0 && activeKeySelection < 4 && !AllZero(v.WepKeyBytes)) {
    add.Raw(kKeys[activeKeySelection], v.WepKeyBytes);
  }
  add.Text(Variable::WepMode, v.WepMode);
  add.Text(Variable::ActiveKey, v.ActiveKey);
  add.Text(Variable::AuthenticationType, v.AuthenticationType);
  add.Text(Variable::EncryptionType, v.EncryptionType);
  add.Text(Variable::ReAuthEnabled, v.ReAuthEnabled);
  add.Text(Variable::ReAuthPeriod, v.ReAuthPeriod);
  constexpr Variable kServers[] = {Variable::RadiusServer1, Variable::RadiusServer2,
                                   Variable::RadiusServer3, Variable::RadiusServer4};
  constexpr Variable kSecrets[] = {Variable::RadiusSecret1, Variable::RadiusSecret2,
                                   Variable::RadiusSecret3, Variable::RadiusSecret4};
  for (std::size_t i = 0; i < 4; ++i) add.Text(kServers[i], v.RadiusServer[i]);
  for (std::size_t i = 0; i < 4; ++i) add.Text(kSecrets[i], v.RadiusSecret[i]);
  add.Text(Variable::WpaSupportStation, v.WpaSupportStation);
  add.Text(Variable::WpaCipher, v.WpaCipher);
  add.Text(Variable::PskAsciiMode, v.PskAsciiMode);
  if (!AllZero(v.PskBytes)) add.Text(Variable::PreSharedKey, v.PreSharedKey);
  add.Text(Variable::GroupKeyInterval, v.GroupKeyInterval);
}

}  // namespace

void BuildWriteGroup(int group, const AgentValues& values, snmp::AgentSession& session,
                     int activeKeySelection) {
  Builder add(session);
  switch (group) {
    case 1:
      BuildSystem(values, add);
      break;
    case 2:
      BuildIpConfiguration(values, add);
      break;
    case 4:
      BuildWireless(values, add);
      break;
    case 5:
      BuildSecurity(values, add, activeKeySelection);
      break;
    default:
      break;
  }
}

}  // namespace kelvo::mib
