// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/WriteGroupBuilder.h"

#include <algorithm>
#include <string>

#include "snmp/AgentSession.h"

namespace kelvo::mib {
namespace {

constexpr Variable kWepKeys[] = {Variable::WepKey1, Variable::WepKey2, Variable::WepKey3,
                                 Variable::WepKey4};

bool AllZero(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

WriteValue Text(const std::string& text) { return {text, {}, false}; }
WriteValue Raw(std::span<const std::uint8_t> bytes) { return {{}, bytes, true}; }

void Add(snmp::AgentSession& session, Variable variable, const WriteValue& value) {
  if (value.raw) {
    session.AddSetVariable(FullOid(variable), value.bytes);
  } else {
    session.AddSetVariable(FullOid(variable), Info(variable).type, value.text);
  }
}

// The exceptions to "every variable of the table, in order": the password pair travels only
// with a new password, and the pre-shared key only when one was given.
bool Carried(const AgentValues& values, Variable variable) {
  switch (variable) {
    case Variable::AccessPassword1:
    case Variable::AccessPassword2:
      return values.NewPasswordGiven;
    case Variable::PreSharedKey:
      return !AllZero(values.PskBytes);
    default:
      return true;
  }
}

}  // namespace

WriteValue WriteValueOf(const AgentValues& v, Variable variable) {
  switch (variable) {
    case Variable::TrapEnable:
      return Text(v.TrapEnable);
    case Variable::RegulatoryDomain:
      return Text(v.RegulatoryDomain);
    case Variable::SerialNumber:
      return Text(v.SerialNumber);
    case Variable::AccessPassword1:
    case Variable::AccessPassword2:
      return Text(v.NewPassword);
    case Variable::IpAddress:
      return Text(v.IpAddress);
    case Variable::SubnetMask:
      return Text(v.SubnetMask);
    case Variable::Gateway:
      return Text(v.Gateway);
    case Variable::DhcpClient:
      return Text(v.DhcpClient);
    case Variable::PrimaryPort:
      return Text(v.PrimaryPort);
    case Variable::MacAddress:
      return Raw(v.MacAddressBytes);
    case Variable::Channel:
      return Text(v.Channel);
    case Variable::Essid:
      return Text(v.Essid);
    case Variable::DeviceName:
      return Text(v.DeviceName);
    case Variable::BasicRates:
      return Raw(v.BasicRatesBytes);
    case Variable::RateSetting:
      return Text(v.RateSetting);
    case Variable::DataRate:
      return Text(v.DataRate);
    case Variable::OperationMode:
      return Text(v.OperationMode);
    case Variable::Bssid:
      return Raw(v.BssidBytes);
    case Variable::PreambleType:
      return Text(v.PreambleType);
    case Variable::RtsThreshold:
      return Text(v.RtsThreshold);
    case Variable::FragmentationThreshold:
      return Text(v.FragmentationThreshold);
    case Variable::AuthorizedTableEnable:
      return Text(v.AuthorizedTableEnable);
    case Variable::BeaconInterval:
      return Text(v.BeaconInterval);
    case Variable::RejectBroadcastProbe:
      return Text(v.RejectBroadcastProbe);
    case Variable::WlanDisable:
      return Text(v.WlanDisable);
    case Variable::WepKey1:
    case Variable::WepKey2:
    case Variable::WepKey3:
    case Variable::WepKey4:
      return Raw(v.WepKeyBytes);
    case Variable::WepMode:
      return Text(v.WepMode);
    case Variable::ActiveKey:
      return Text(v.ActiveKey);
    case Variable::AuthenticationType:
      return Text(v.AuthenticationType);
    case Variable::EncryptionType:
      return Text(v.EncryptionType);
    case Variable::ReAuthEnabled:
      return Text(v.ReAuthEnabled);
    case Variable::ReAuthPeriod:
      return Text(v.ReAuthPeriod);
    case Variable::RadiusServer1:
      return Text(v.RadiusServer[0]);
    case Variable::RadiusServer2:
      return Text(v.RadiusServer[1]);
    case Variable::RadiusServer3:
      return Text(v.RadiusServer[2]);
    case Variable::RadiusServer4:
      return Text(v.RadiusServer[3]);
    case Variable::RadiusSecret1:
      return Text(v.RadiusSecret[0]);
    case Variable::RadiusSecret2:
      return Text(v.RadiusSecret[1]);
    case Variable::RadiusSecret3:
      return Text(v.RadiusSecret[2]);
    case Variable::RadiusSecret4:
      return Text(v.RadiusSecret[3]);
    case Variable::WpaSupportStation:
      return Text(v.WpaSupportStation);
    case Variable::WpaCipher:
      return Text(v.WpaCipher);
    case Variable::PskAsciiMode:
      return Text(v.PskAsciiMode);
    case Variable::PreSharedKey:
      return Text(v.PreSharedKey);
    case Variable::GroupKeyInterval:
      return Text(v.GroupKeyInterval);
    default:
      return {};
  }
}

void BuildWriteGroup(Group group, const AgentValues& values, snmp::AgentSession& session,
                     int activeKeySelection) {
  if (group == Group::Security && activeKeySelection >= 0 && activeKeySelection < 4 &&
      !AllZero(values.WepKeyBytes)) {
    Add(session, kWepKeys[activeKeySelection], Raw(values.WepKeyBytes));
  }
  for (const Variable variable : WriteGroup(group)) {
    if (Carried(values, variable)) Add(session, variable, WriteValueOf(values, variable));
  }
}

}  // namespace kelvo::mib
