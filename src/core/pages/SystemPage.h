// SPDX-License-Identifier: GPL-2.0-or-later
// The System page: the device's identity, the administrator password, the device-wide actions
// (reset, factory defaults, firmware update) and the doors to the profile box and, on machines
// prepared for manufacturing, the RF test. Read and write group 1.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "pages/Page.h"

namespace kelvo::pages {

namespace system_messages {
inline constexpr std::string_view kPasswordMismatch = "Password don't match! Please try again.";
}  // namespace system_messages

class SystemPage : public Page {
 public:
  explicit SystemPage(PageContext& context);

  // "Device Information": read-only texts filled by the read.
  ui::TextField& Description() { return description_; }
  ui::TextField& MacAddress() { return macAddress_; }
  ui::TextField& RegulationDomain() { return regulationDomain_; }
  // Kept hidden; read and written back unchanged.
  ui::ChoiceList& RegulatoryDomainList() { return regulatoryDomainList_; }
  ui::TextField& SerialNumber() { return serialNumber_; }
  ui::CheckBox& TrapEnabled() { return trapEnabled_; }
  // "Administrator Password".
  ui::TextField& NewPassword() { return newPassword_; }
  ui::TextField& ConfirmPassword() { return confirmPassword_; }
  // "Profile Setting": the profile store drives these.
  ui::ListBox& ProfileNameList() { return profileNameList_; }
  ui::TextField& NewProfileName() { return newProfileName_; }
  ui::Button& AddSaveButton() { return addSaveButton_; }
  ui::Button& SaveButton() { return saveButton_; }
  ui::Button& LoadButton() { return loadButton_; }
  ui::Button& DelButton() { return delButton_; }
  // The page's buttons; the default button is never shown and only absorbs Enter.
  ui::Button& MfgButton() { return mfgButton_; }
  ui::Button& UpdateFwButton() { return updateFwButton_; }
  ui::Button& LoadDefaultButton() { return loadDefaultButton_; }
  ui::Button& ResetButton() { return resetButton_; }
  ui::Button& RefreshButton() { return refreshButton_; }
  ui::Button& ApplyButton() { return applyButton_; }
  ui::Button& DefaultButton() { return defaultButton_; }

  bool MfgVisible() const { return mfgButton_.Visible(); }
  // The regulatory selection the channel list was last rebuilt for by an Apply, or taken when
  // the sheet last activated the page.
  int RememberedDomain() const { return rememberedDomain_; }

  // Apply: takes the controls, writes group 1 and rebuilds the channel list when the domain
  // changed. Returns whether the values reached the device.
  bool Apply();
  // The device-wide actions; each returns whether the device took the request.
  bool Reset();
  bool LoadDefault();
  bool UpdateFirmware();
  // The MFG button: the RF test window, with network messages kept quiet while it is open.
  void OpenRfTest();

  void Activate() override;
  void ShowChanged(bool visible) override;
  // Passes the selected domain (-1 for none) on to whoever keeps the "Channel ID:" list.
  void RebuildChannelList();

  // Links set by the sheet; any of them may be left unset.
  void SetChannelPlanListener(std::function<void(int domain)> listener) {
    channelPlanListener_ = std::move(listener);
  }
  void SetFirmwareWindowOpener(std::function<void()> opener) {
    firmwareWindowOpener_ = std::move(opener);
  }
  void SetRfTestWindowOpener(std::function<void()> opener) {
    rfTestWindowOpener_ = std::move(opener);
  }
  void SetProfileListRefresher(std::function<void()> refresher) {
    profileListRefresher_ = std::move(refresher);
  }

  bool Extract(snmp::AgentSession& session) override;
  // The password the last prepared group 1 carries; it becomes the write community once the
  // write succeeded.
  std::optional<std::string> NewWriteCommunity() const override;

 private:
  bool PrepareSystemValues();
  bool SetSingle(std::string_view oid, std::string_view value);

  ui::TextField description_;
  ui::TextField macAddress_;
  ui::TextField regulationDomain_;
  ui::ChoiceList regulatoryDomainList_;
  ui::TextField serialNumber_;
  ui::CheckBox trapEnabled_;
  ui::TextField newPassword_;
  ui::TextField confirmPassword_;
  ui::ListBox profileNameList_;
  ui::TextField newProfileName_;
  ui::Button addSaveButton_{"Add/Save"};
  ui::Button saveButton_{"Save"};
  ui::Button loadButton_{"Load"};
  ui::Button delButton_{"Del"};
  ui::Button mfgButton_{"MFG"};
  ui::Button updateFwButton_{"Update F/W"};
  ui::Button loadDefaultButton_{"Load Default"};
  ui::Button resetButton_{"Reset"};
  ui::Button refreshButton_{"Refresh"};
  ui::Button applyButton_{"Apply"};
  ui::Button defaultButton_;

  int rememberedDomain_ = 0;
  std::function<void(int domain)> channelPlanListener_;
  std::function<void()> firmwareWindowOpener_;
  std::function<void()> rfTestWindowOpener_;
  std::function<void()> profileListRefresher_;
};

}  // namespace kelvo::pages
