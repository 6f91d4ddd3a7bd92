// SPDX-License-Identifier: GPL-2.0-or-later
// The "Wireless Operation" page: radio settings, the operation mode with its partner BSSID,
// and the authorised MAC table. Reads and writes group 4; the table travels record by record.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "pages/Page.h"
#include "ui/Controls.h"

namespace kelvo::pages {

namespace wireless_messages {
inline constexpr std::string_view kBssidTooShort = "BSSID address  less then 12 characters!";
inline constexpr std::string_view kBssidNotHex = "BSSID address only accept character (0~9,A~F)!";
inline constexpr std::string_view kThresholdRange =
    "RTS Threshold & Fragmentation Threshold only accept an integer between 0~2347.";
inline constexpr std::string_view kBeaconRange =
    "Beacon interval only accept an integer beteween 20~1000.";
inline constexpr std::string_view kApClientNeedsFixedAddress =
    "Only have a fixed LAN IP address then you can setting to AP Cleint mode.";
inline constexpr std::string_view kTableFull = "Maximum Authorized MAC table szie is 128!";
inline constexpr std::string_view kMacTooShort = "MAC address less then 12 characters!";
inline constexpr std::string_view kMacNotHex = "MAC address only accept character (0~9,A~F)!";
}  // namespace wireless_messages

class WirelessPage final : public Page {
 public:
  // "Mode:" entries.
  static constexpr int kBridge = 0;
  static constexpr int kAp = 1;
  static constexpr int kApClient = 2;
  static constexpr int kRepeater = 3;

  explicit WirelessPage(PageContext& context);

  // Links to the other pages, set by the sheet. Unset, DHCP counts as enabled and the
  // regulatory domain as "FCC", the other pages' states at creation.
  void SetDhcpDisabledQuery(std::function<bool()> isDhcpDisabled);
  void SetRegulatoryDomainQuery(std::function<int()> regulatorySelection);

  // Controls, by label.
  ui::CheckBox& RejectBroadcastProbe() { return rejectBroadcastProbe_; }
  ui::CheckBox& WlanInterface() { return wlanInterface_; }  // hidden; checked = enabled
  ui::ChoiceList& ChannelId() { return channelId_; }
  ui::TextField& Essid() { return essid_; }
  ui::TextField& DeviceName() { return deviceName_; }
  ui::ChoiceList& BasicRates() { return basicRates_; }
  ui::ChoiceList& DataRates() { return dataRates_; }
  ui::ChoiceList& PreambleType() { return preambleType_; }
  ui::NumberField& BeaconInterval() { return beaconInterval_; }
  ui::NumberField& RtsThreshold() { return rtsThreshold_; }
  ui::NumberField& FragThreshold() { return fragThreshold_; }
  ui::ChoiceList& Mode() { return mode_; }
  ui::TextField& Bssid() { return bssid_; }
  ui::CheckBox& EnableAuthorizedTable() { return enableAuthorizedTable_; }
  ui::ListBox& MacAddressList() { return macAddressList_; }
  ui::TextField& InputMacAddress() { return inputMacAddress_; }
  ui::Button& AddButton() { return addButton_; }
  ui::Button& DeleteButton() { return deleteButton_; }
  ui::Button& RefreshButton() { return refreshButton_; }
  ui::Button& ApplyButton() { return applyButton_; }

  // Whether "Mode:" shows "AP Client"; the IP page asks before it enables DHCP.
  bool IsApClientMode() const { return mode_.Selection() == kApClient; }
  // Refills "Channel ID:" from the channel plan of a regulatory domain (the System page's,
  // passed on by the sheet when it changes); an unknown domain leaves the list empty.
  void UseChannelPlan(int domain);

  // The Refresh button: the group, then the MAC table.
  void Refresh() override;
  // The Apply button: prepare, write group 4, store the MAC table, then restart the radio
  // when a radio value changed and mark a pending reset when the mode changed.
  void Apply();
  // Validates the page and fills its AgentValues fields; nothing is filled on failure.
  bool PrepareWirelessValues();

  // "Mode:" received the focus: the selection a refused change goes back to.
  void FocusMode();
  // The user picked a "Mode:" entry.
  void ChooseMode(int index);
  // "AP Client" needs a fixed address; "BSSID:" is editable in "Bridge" mode only.
  void ApplyModeRule();

  // "Add" appends the typed address; "Delete" removes the selected one. Neither talks to the
  // device.
  void Add();
  void Delete();

  void FetchAuthorizedTable();
  // Whether the device answered every exchange of the last fetch.
  bool AuthorizedTableFetched() const { return authorizedTableFetched_; }
  // Returns whether the device took every record.
  bool StoreAuthorizedTable();

  void Activate() override;
  void ShowChanged(bool visible) override;
  bool Extract(snmp::AgentSession& session) override;

 private:
  // The texts as taken from their boxes; numbers are taken into their fields.
  struct TakenTexts {
    std::string essid;
    std::string deviceName;
    std::string bssid;
    std::string inputMacAddress;
  };
  // The values whose change restarts the radio.
  struct RadioValues {
    int basicRates = 0;
    int dataRates = 0;
    int channel = 0;
    int preamble = 0;
    std::string essid;
    long beaconInterval = 0;
    friend bool operator==(const RadioValues&, const RadioValues&) = default;
  };

  std::optional<TakenTexts> TakeControlValues();
  RadioValues CurrentRadioValues() const;
  void RestartRadioIfChanged();
  void UpdateBssidEditable();
  int RegulatoryDomain() const;
  bool DhcpDisabled() const;

  ui::CheckBox rejectBroadcastProbe_;
  ui::CheckBox wlanInterface_;
  ui::ChoiceList channelId_;
  ui::TextField essid_;
  ui::TextField deviceName_;
  ui::ChoiceList basicRates_;
  ui::ChoiceList dataRates_;
  ui::ChoiceList preambleType_;
  ui::NumberField beaconInterval_;
  ui::NumberField rtsThreshold_;
  ui::NumberField fragThreshold_;
  ui::ChoiceList mode_;
  ui::TextField bssid_;
  ui::CheckBox enableAuthorizedTable_;
  ui::ListBox macAddressList_;
  ui::TextField inputMacAddress_;
  ui::Button addButton_{"Add"};
  ui::Button deleteButton_{"Delete"};
  ui::Button refreshButton_{"Refresh"};
  ui::Button applyButton_{"Apply"};

  std::function<bool()> isDhcpDisabled_;
  std::function<int()> regulatorySelection_;

  int modeAtFocus_;
  int rememberedMode_;
  RadioValues rememberedRadio_;
  // The channel of the last read, sent when "Channel ID:" has no entry that maps to one.
  std::optional<long> readChannel_;
  bool authorizedTableFetched_ = false;
};

}  // namespace kelvo::pages
