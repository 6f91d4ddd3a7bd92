// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/IpConfigPage.h"

#include <algorithm>
#include <span>

#include "mib/Conversions.h"
#include "mib/GroupReply.h"
#include "mib/MibVariables.h"

namespace kelvo::pages {
namespace {

constexpr std::size_t kMacTextLength = 12;
constexpr std::size_t kMacAddressBytes = 6;

}  // namespace

IpConfigPage::IpConfigPage(PageContext& context)
    : Page(context, mib::Group::IpConfig),
      dhcpClient_({"Enabled", "Disabled"}, kDhcpEnabled),
      primaryPort_({"Ethernet", "Wireless"}, 0),
      macAddress_(kMacTextLength, "000000000000") {
  primaryPort_.SetVisible(false);
  macAddress_.SetVisible(false);
  defaultButton_.SetVisible(false);
  ApplyEnablingRule();
}

bool IpConfigPage::Extract(snmp::AgentSession& session) {
  using mib::Variable;
  const mib::GroupReply reply(session, Group());

  const auto address = reply.Text(Variable::IpAddress);
  if (!address) return false;
  ipAddress_.SetAddress(mib::SplitDottedAddress(*address));

  const auto mask = reply.Text(Variable::SubnetMask);
  if (!mask) return false;
  subnetMask_.SetAddress(mib::SplitDottedAddress(*mask));

  const auto mac = reply.Bytes(Variable::MacAddress);
  if (!mac) return false;
  // A short value gives a short text, which Apply then refuses; nothing past it is read.
  macAddress_.SetText(
      mib::HexText(std::span(mac->data(), std::min(mac->size(), kMacAddressBytes))));

  const auto gateway = reply.Text(Variable::Gateway);
  if (!gateway) return false;
  gateway_.SetAddress(mib::SplitDottedAddress(*gateway));

  const auto dhcp = reply.Integer(Variable::DhcpClient);
  if (!dhcp) return false;
  dhcpClient_.Select(static_cast<int>(*dhcp) - 1);

  const auto port = reply.Integer(Variable::PrimaryPort);
  if (!port) return false;
  primaryPort_.Select(static_cast<int>(*port) - 1);
  return true;
}

bool IpConfigPage::PrepareIpValues() {
  mib::AgentValues& values = Values();
  const auto mac = macAddress_.Take(Prompter());
  if (!mac) return false;
  if (mac->size() != kMacTextLength) {
    Show(ip_messages::kMacTooShort, ui::MessageIcon::Error);
    return false;
  }
  // Decoded aside, so a refused text leaves the prepared bytes as they were.
  std::array<std::uint8_t, kMacAddressBytes> bytes{};
  if (!mib::ParseHex(*mac, kMacTextLength, bytes, Prompter())) {
    Show(ip_messages::kMacNotHex, ui::MessageIcon::Error);
    return false;
  }
  values.MacAddressBytes = bytes;
  values.IpAddress = mib::FormatDottedAddress(ipAddress_.Address());
  values.SubnetMask = mib::FormatDottedAddress(subnetMask_.Address());
  values.Gateway = mib::FormatDottedAddress(gateway_.Address());
  values.DhcpClient = std::to_string(dhcpClient_.Selection() + 1);
  values.PrimaryPort = std::to_string(primaryPort_.Selection() + 1);
  return true;
}

bool IpConfigPage::ResetNeeded() const {
  if (dhcpClient_.Selection() != rememberedDhcp_) return true;
  if (dhcpClient_.Selection() != kDhcpDisabled) return false;
  return ipAddress_.Address() != rememberedIpAddress_ || gateway_.Address() != rememberedGateway_ ||
         subnetMask_.Address() != rememberedSubnetMask_;
}

bool IpConfigPage::Apply() {
  if (!PrepareIpValues()) return false;
  if (!Session().WriteGroup(Group(), Host())) return false;
  // The remembered values stay until the next activation, so applying the same change twice
  // resets twice.
  if (ResetNeeded()) {
    Show(ip_messages::kDhcpReset, ui::MessageIcon::None);
    // A refused reset has shown its message; the write itself was taken.
    (void)Session().SetSingleValue(snmp::SetKind::Integer, Host(),
                                   mib::FullOid(mib::Variable::SystemRestart), "1");
  }
  return true;
}

void IpConfigPage::ChooseDhcpClient(int index) {
  dhcpClient_.Select(index);
  if (dhcpClient_.Selection() == kDhcpEnabled && isApClient_ && isApClient_()) {
    dhcpClient_.Select(kDhcpDisabled);
    Show(ip_messages::kApClientNeedsFixedAddress, ui::MessageIcon::None);
    return;
  }
  ApplyEnablingRule();
}

void IpConfigPage::ApplyEnablingRule() {
  // Fixed addresses are typed in only when DHCP does not supply them.
  const bool fixed = dhcpClient_.Selection() != kDhcpEnabled;
  ipAddress_.SetEnabled(fixed);
  subnetMask_.SetEnabled(fixed);
  gateway_.SetEnabled(fixed);
}

void IpConfigPage::Activate() {
  rememberedDhcp_ = dhcpClient_.Selection();
  rememberedIpAddress_ = ipAddress_.Address();
  rememberedGateway_ = gateway_.Address();
  rememberedSubnetMask_ = subnetMask_.Address();
}

void IpConfigPage::ShowChanged(bool visible) {
  ApplyEnablingRule();
  // Edits that were not applied give way to the device's values.
  if (!visible) Refresh();
}

}  // namespace kelvo::pages
