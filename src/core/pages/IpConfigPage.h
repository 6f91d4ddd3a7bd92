// SPDX-License-Identifier: GPL-2.0-or-later
// The IP configuration page: the device's LAN address, mask and gateway and whether it takes
// them from DHCP. Read and write group 2. "AP Client" operation needs a fixed address, a rule
// this page shares with the Wireless page.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "pages/Page.h"

namespace kelvo::pages {

namespace ip_messages {
inline constexpr std::string_view kMacTooShort = "MAC address  less then 12 characters!";
inline constexpr std::string_view kMacNotHex = "MAC address only accept character (0~9,A~F)!";
inline constexpr std::string_view kDhcpReset =
    "You have changed dhcp client mode. So you need reset device to take effect right now...";
inline constexpr std::string_view kApClientNeedsFixedAddress =
    "AP Cleint mode is be set so you can not enabled Dhcp client.";
}  // namespace ip_messages

class IpConfigPage : public Page {
 public:
  static constexpr int kDhcpEnabled = 0;
  static constexpr int kDhcpDisabled = 1;

  explicit IpConfigPage(PageContext& context);

  ui::AddressField& IpAddress() { return ipAddress_; }
  ui::AddressField& SubnetMask() { return subnetMask_; }
  ui::AddressField& Gateway() { return gateway_; }
  ui::ChoiceList& DhcpClient() { return dhcpClient_; }
  // Kept hidden; the device's values are written back unchanged.
  ui::ChoiceList& PrimaryPort() { return primaryPort_; }
  ui::TextField& MacAddress() { return macAddress_; }
  ui::Button& RefreshButton() { return refreshButton_; }
  ui::Button& ApplyButton() { return applyButton_; }
  // Never shown; only absorbs Enter.
  ui::Button& DefaultButton() { return defaultButton_; }

  // Validates the page and fills its values for group 2; shows why when it fails.
  bool PrepareIpValues();
  // Prepares, writes group 2 and resets the device when the DHCP mode or a fixed address
  // changed since the sheet last activated the page. Returns whether the write succeeded.
  bool Apply();
  bool IsDhcpDisabled() const { return dhcpClient_.Selection() == kDhcpDisabled; }
  // Whether the page's values take effect only at a reset: the DHCP mode, or with DHCP off a
  // fixed address, changed since the sheet last activated the page.
  bool ResetNeeded() const;
  // The user picked an entry of "DHCP Client:".
  void ChooseDhcpClient(int index);
  // The addresses are editable only when DHCP is not enabled; run after every change of
  // "DHCP Client:" (a choice, a read, a loaded profile).
  void ApplyEnablingRule();

  void Activate() override;
  void ShowChanged(bool visible) override;
  bool Extract(snmp::AgentSession& session) override;

  // Whether the Wireless page has "AP Client" selected, asked by the sheet's link; unset
  // counts as not "AP Client".
  void SetApClientQuery(std::function<bool()> isApClient) { isApClient_ = std::move(isApClient); }

 private:
  using Address = std::array<std::uint8_t, 4>;

  ui::AddressField ipAddress_;
  ui::AddressField subnetMask_;
  ui::AddressField gateway_;
  ui::ChoiceList dhcpClient_;
  ui::ChoiceList primaryPort_;
  ui::TextField macAddress_;
  ui::Button refreshButton_{"Refresh"};
  ui::Button applyButton_{"Apply"};
  ui::Button defaultButton_;

  // Taken when the sheet activates the page; Apply compares against them.
  int rememberedDhcp_ = kDhcpEnabled;
  Address rememberedIpAddress_{};
  Address rememberedGateway_{};
  Address rememberedSubnetMask_{};

  std::function<bool()> isApClient_;
};

}  // namespace kelvo::pages
