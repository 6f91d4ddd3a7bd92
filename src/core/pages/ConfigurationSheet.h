// SPDX-License-Identifier: GPL-2.0-or-later
// The configuration sheet of one access point: six pages behind tabs. It reads
// the device when it opens and whenever another tab is pressed, and offers a
// pending reset when it is closed. The sheet and its pages live for the whole
// run, so page values survive between openings.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "firmware/FirmwareUpgrade.h"
#include "pages/AboutPage.h"
#include "pages/IpConfigPage.h"
#include "pages/Page.h"
#include "pages/ProfileStore.h"
#include "pages/SecurityPage.h"
#include "pages/StatisticPage.h"
#include "pages/SystemPage.h"
#include "pages/WirelessPage.h"
#include "rftest/RfTestWindow.h"

namespace kelvo::pages {

namespace sheet_messages {
inline constexpr std::string_view kResetQuestion =
    "You have changed and applied some values! You need reset the system then the values are "
    "valid! Reset the system now?";
}  // namespace sheet_messages

class ConfigurationSheet {
 public:
  static constexpr std::string_view kTitle = "Access Point Configuation Utility";
  static constexpr std::array<std::string_view, 6> kTabTexts = {
      "System", "IP Config", "Statistic", "Wireless Operation", "Security", "About"};
  enum Tab { kSystem = 0, kIpConfig, kStatistic, kWireless, kSecurity, kAbout };

  explicit ConfigurationSheet(PageContext& context);

  SystemPage& System() { return system_; }
  IpConfigPage& IpConfig() { return ipConfig_; }
  StatisticPage& Statistic() { return statistic_; }
  WirelessPage& Wireless() { return wireless_; }
  SecurityPage& Security() { return security_; }
  AboutPage& About() { return about_; }
  // The System page's "Profile Setting" box.
  pages::ProfileStore& Profiles() { return profiles_; }

  // Opens the sheet for the access point at host: the System page in front,
  // groups 1 and 2 read, the channel list rebuilt. A script passes skipSecondRead, asked after
  // group 1's read: true leaves group 2 unread, so a failed first read is reported once.
  void Open(const std::string& host, const std::function<bool()>& skipSecondRead = {});
  bool IsOpen() const { return open_; }
  const std::string& Host() const { return host_; }
  int CurrentTab() const { return current_; }

  // A mouse press on a tab: a different tab comes to the front and its group is
  // read.
  void PressTab(int tab);
  // The close box: asks about a pending reset, then closes.
  void CloseBox();

  // The "Update Firmware" window that the System page opens once the device is prepared: the
  // sheet builds its model for the page's host and the runner shows it modally until it is
  // closed. Without a runner the page prepares the device and nothing opens.
  using FirmwareWindowRunner = std::function<void(firmware::FirmwareUpgrade&)>;
  void SetFirmwareWindow(FirmwareWindowRunner runner, firmware::FileChooser* chooser,
                         std::uint16_t tftpPort);

  // The RF test window that the System page's MFG button opens: the sheet builds its model for
  // the page's host and the runner shows it modally until it is closed. Without a runner the
  // button opens nothing.
  using RfTestWindowRunner = std::function<void(rftest::RfTestWindow&)>;
  void SetRfTestWindow(RfTestWindowRunner runner) { rfTestWindowRunner_ = std::move(runner); }

 private:
  // The configuration page behind a tab; nullptr for About.
  Page* PageAt(int tab);
  void SetShown(int tab, bool shown);
  void OpenFirmwareWindow();
  void OpenRfTestWindow();

  PageContext& context_;
  SystemPage system_;
  IpConfigPage ipConfig_;
  StatisticPage statistic_;
  WirelessPage wireless_;
  SecurityPage security_;
  AboutPage about_;
  pages::ProfileStore profiles_;
  std::string host_;
  int current_ = kSystem;
  bool open_ = false;
  FirmwareWindowRunner firmwareWindowRunner_;
  firmware::FileChooser* fileChooser_ = nullptr;
  std::uint16_t tftpPort_ = firmware::kDefaultTftpPort;
  RfTestWindowRunner rfTestWindowRunner_;
};

}  // namespace kelvo::pages
