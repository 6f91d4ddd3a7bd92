// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/IpConfigPage.h"

#include <algorithm>
#include <span>

#include "mib/Conversions.h"
#include "mib/MibVariables.h"

namespace kelvo::pages {
namespace {

constexpr std::size_t kMacTextLength = 12;
constexpr std::size_t kMacAddressBytes = 6;

}  // namespace

IpConfigPage::IpConfigPage(PageContext& context)
    : Page(context, 2),
      dhcpClient_({"Enabled", "Disabled"}, kDhcpEnabled),
      primaryPort_({"Ethernet", "Wireless"}, 0),
      macAddress_(kMacTextLength, "000000000000") {
  primaryPort_.SetVisible(false);
  macAddress_.SetVisible(false);
  defaultButton_.SetVisible(false);
  ApplyEnablingRule();
}

bool IpConfigPage::Extract(snmp::AgentSession& session) {
  const auto address = session.ResponseValueText(1);
  if (!address) return false;
  ipAddress_.SetAddress(mib::SplitDottedAddress(*address));

  const auto mask = session.ResponseValueText(2);
  if (!mask) return false;
  subnetMask_.SetAddress(mib::SplitDottedAddress(*mask));

  const auto mac = session.ResponseValueBytes(3);
  if (!mac) return false;
  // A short value gives a short text, which Apply then refuses; nothing past it is read.
  macAddress_.SetText(
      mib::HexText(std::span(mac->data(), std::min(mac->size(), kMacAddressBytes))));

  const auto gateway = session.ResponseValueText(4);
  if (!gateway) return false;
  gateway_.SetAddress(mib::SplitDottedAddress(*gateway));

  const auto dhcp = session.ResponseValueText(5);
  if (!dhcp) return false;
  dhcpClient_.Select(static_cast<int>(mib::LeadingInteger(*dhcp)) - 1);

  const auto port = session.ResponseValueText(6);
  if (!port) return false;
  primaryPort_.Select(static_cast<int>(mib::LeadingInteger(*port)) - 1);
  return true;
}

bool IpConfigPage::PrepareIpValues() {
  mib::AgentValues& values = Values();
  const auto mac = macAddress_.Take(Prompter());
  if (!mac) return false;
  if (mac->size() != kMacTextLength) {
    Show(kMacTooShortMessage, ui::MessageIcon::Error);
    return false;
  }
  // Decoded aside, so a refused text leaves the prepared bytes as they were.
  std::array<std::uint8_t, kMacAddressBytes> bytes{};
  if (!mib::ParseHex(*mac, kMacTextLength, bytes, Prompter())) {
    Show(kMacNotHexMessage, ui::MessageIcon::Error);
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
  if (!Session().WriteGroup(2, Host())) return false;
  // The remembered values stay until the next activation, so applying the same change twice
  // resets twice.
  if (ResetNeeded()) {
    Show(kDhcpResetMessage, ui::MessageIcon::None);
    Session().SetSingleValue(snmp::SetKind::Integer, Host(),
                             mib::FullOid(mib::Variable::SystemRestart), "1");
  }
  return true;
}

void IpConfigPage::ChooseDhcpClient(int index) {
  dhcpClient_.Select(index);
  if (dhcpClient_.Selection() == kDhcpEnabled && wirelessModeList_ != nullptr &&
      wirelessModeList_->Selection() == kApClientMode) {
    dhcpClient_.Select(kDhcpDisabled);
    Show(kApClientNeedsFixedAddressMessage, ui::MessageIcon::None);
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
