// SPDX-License-Identifier: GPL-2.0-or-later
// Profile reader: any bytes go through ParseProfile; an accepted file is put into a fresh set
// of real pages as a load does, and what the pages then hold must satisfy the rules a load
// guarantees. When the pages' prepare steps accept the result, the profile they would save is
// read back and must describe the same settings.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mib/AgentValues.h"
#include "pages/ConfigurationSheet.h"
#include "pages/ProfileStore.h"
#include "profiles/ProfileFile.h"
#include "snmp/AgentSession.h"
#include "snmp/WaitHook.h"
#include "ui/Controls.h"

namespace {

using kelvo::profiles::Key;

[[noreturn]] void Fail(const char* rule) {
  std::fprintf(stderr, "profile_reader: broken rule: %s\n", rule);
  std::abort();
}

void Require(bool holds, const char* rule) {
  if (!holds) Fail(rule);
}

// Messages and questions go nowhere; every question is answered No.
class SilentPrompter final : public kelvo::ui::Prompter {
 public:
  void ShowMessage(std::string_view, std::string_view, kelvo::ui::MessageIcon) override {}
  kelvo::ui::Answer AskYesNo(std::string_view, std::string_view, kelvo::ui::MessageIcon) override {
    return kelvo::ui::Answer::No;
  }
};

class NoBusy final : public kelvo::ui::BusyIndicator {
 public:
  void BeginBusy() override {}
  void EndBusy() override {}
};

class IdleTimers final : public kelvo::ui::TimerService {
  class IdleTimer final : public kelvo::ui::Timer {
   public:
    void Start(std::chrono::milliseconds) override { active_ = true; }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }

   private:
    bool active_ = false;
  };

 public:
  std::unique_ptr<kelvo::ui::Timer> CreateTimer(std::function<void()>) override {
    return std::make_unique<IdleTimer>();
  }
  void Pause(std::chrono::milliseconds) override {}
};

// The run-long objects, made once: the session's component opens its socket here and sends
// nothing, since nothing below talks to a device.
struct World {
  kelvo::snmp::PollWaitHook wait;
  SilentPrompter prompter;
  NoBusy busy;
  IdleTimers timers;
  kelvo::mib::AgentValues values;
  kelvo::snmp::AgentSession session{kelvo::snmp::SnmpComponent::Create(wait), prompter, busy};
  kelvo::pages::PageContext context{session, values, timers, {}};
};

World& TheWorld() {
  static World* world = new World;
  return *world;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The pages as a read of a device leaves them: every prepare step accepts them as they are.
// Every list stands away from its first entry, so that a value a load maps wrongly shows in
// the round trip whether the file or the page brought it.
void FillAsRead(kelvo::pages::ConfigurationSheet& sheet) {
  sheet.System().RebuildChannelList();
  kelvo::pages::IpConfigPage& ip = sheet.IpConfig();
  ip.MacAddress().SetText("00A0C5123456");
  ip.DhcpClient().Select(kelvo::pages::IpConfigPage::kDhcpDisabled);
  kelvo::pages::WirelessPage& wireless = sheet.Wireless();
  wireless.ChannelId().Select(6);
  wireless.BasicRates().Select(3);
  wireless.DataRates().Select(2);
  wireless.PreambleType().Select(1);
  wireless.BeaconInterval().SetNumber(100);
  wireless.RtsThreshold().SetNumber(2347);
  wireless.FragThreshold().SetNumber(2346);
  wireless.Mode().Select(kelvo::pages::WirelessPage::kAp);
  wireless.MacAddressList().Add("00A0C5ABCDEF");
  kelvo::pages::SecurityPage& security = sheet.Security();
  security.Auth().Select(kelvo::pages::SecurityPage::kBothType);
  security.RefillEncryption(kelvo::pages::SecurityPage::kBothType);
  security.Encry().Select(1);
  security.Wep().Select(kelvo::pages::SecurityPage::kWep128);
  security.Active().Select(2);
  security.Psk().SetText(std::string(64, 'A'));
  security.UpdateKeyFields();
}

kelvo::pages::ProfilePages PagesOf(kelvo::pages::ConfigurationSheet& sheet) {
  return {sheet.System(), sheet.IpConfig(), sheet.Wireless(), sheet.Security()};
}

void RequireSelectionInside(const kelvo::ui::ChoiceList& list, const char* rule) {
  Require(list.Selection() == kelvo::ui::ChoiceList::kNone ||
              (list.Selection() >= 0 && list.Selection() < list.Count()),
          rule);
}

// What the parser hands on is what a line can hold.
void CheckContents(const kelvo::profiles::ProfileContents& contents) {
  for (std::size_t i = 0; i < kelvo::profiles::kKeyCount; ++i) {
    const auto& value = contents.values[i];
    if (!value) continue;
    Require(value->find('\n') == std::string::npos, "a value holds no LF");
    Require(value->find('\0') == std::string::npos, "a value ends at a NUL byte");
    Require(kelvo::profiles::kKeyTexts[i].size() + value->size() <= kelvo::profiles::kLineChunk,
            "key and value fit in one line chunk");
    Require(contents.HasSection(i < 5    ? kelvo::profiles::Section::Ip
                                : i < 19 ? kelvo::profiles::Section::Wireless
                                         : kelvo::profiles::Section::Encryption),
            "a key is only read inside its section");
  }
  if (contents.authorizedMacs) {
    Require(contents.HasSection(kelvo::profiles::Section::Wireless),
            "the MAC list is only read inside the wireless section");
  }
}

void CheckPages(kelvo::pages::ConfigurationSheet& sheet,
                const kelvo::profiles::ProfileContents& contents, const std::string& bssidBefore) {
  kelvo::pages::IpConfigPage& ip = sheet.IpConfig();
  RequireSelectionInside(ip.DhcpClient(), "DHCP Client selection inside its list");
  RequireSelectionInside(ip.PrimaryPort(), "Primary port selection inside its list");

  kelvo::pages::WirelessPage& wireless = sheet.Wireless();
  RequireSelectionInside(wireless.ChannelId(), "Channel ID selection inside its list");
  RequireSelectionInside(wireless.BasicRates(), "Basic Rates selection inside its list");
  RequireSelectionInside(wireless.DataRates(), "Data Rates selection inside its list");
  RequireSelectionInside(wireless.PreambleType(), "Preamble Type selection inside its list");
  RequireSelectionInside(wireless.Mode(), "Mode selection inside its list");
  const kelvo::ui::ListBox& macs = wireless.MacAddressList();
  Require(macs.Selection() == kelvo::ui::ChoiceList::kNone ||
              (macs.Selection() >= 0 && macs.Selection() < macs.Count()),
          "MAC list selection inside the list");
  for (const std::string& mac : macs.Items()) {
    Require(mac.size() == 12, "every authorised MAC entry has 12 characters");
    for (const char c : mac) Require(IsHexDigit(c), "every authorised MAC entry is hexadecimal");
  }
  if (contents.authorizedMacs) {
    Require(macs.Items() == *contents.authorizedMacs, "the MAC list is the file's list");
  }
  const std::string& bssid = wireless.Bssid().Text();
  Require(bssid == bssidBefore || kelvo::profiles::StartsWithTwelveHexDigits(bssid),
          "BSSID unchanged or starting with 12 hexadecimal digits");

  kelvo::pages::SecurityPage& security = sheet.Security();
  RequireSelectionInside(security.Auth(), "Auth selection inside its list");
  RequireSelectionInside(security.Encry(), "Encry selection inside its list");
  RequireSelectionInside(security.Wep(), "WEP selection inside its list");
  RequireSelectionInside(security.Active(), "Active key selection inside its list");
  using Sec = kelvo::pages::SecurityPage;
  switch (security.Auth().Selection()) {
    case Sec::kOpenSystem:
    case Sec::kEap:
      Require(security.Encry().Selection() == 0 && !security.Encry().Enabled(),
              "Open System and 802.1X fix the encryption to its first entry");
      break;
    case Sec::kSharedKey:
      Require(security.Encry().Selection() == 1 && !security.Encry().Enabled(),
              "Shard Key fixes the encryption to its second entry");
      break;
    case Sec::kBothType:
      Require(security.Encry().Enabled(), "Both Type leaves the encryption choice open");
      break;
    default:
      break;
  }
  if (security.Wep().HasSelection()) {
    const std::size_t digits = security.Wep().Selection() == Sec::kWep64 ? 10 : 26;
    for (std::size_t i = 0; i < 4; ++i) {
      Require(security.Key(i).Text() == std::string(digits, '0'),
              "a load leaves all-zero WEP keys of the selected length");
    }
  }
}

bool Prepare(kelvo::pages::ConfigurationSheet& sheet) {
  return sheet.IpConfig().PrepareIpValues() && sheet.Wireless().PrepareWirelessValues() &&
         sheet.Security().PrepareSecurityValues();
}

// The bytes a save of the pages would write, or nothing when a page refuses its values.
std::optional<std::string> Save(kelvo::pages::ConfigurationSheet& sheet, World& world) {
  if (!Prepare(sheet)) return std::nullopt;
  return kelvo::profiles::FormatProfile(world.values, sheet.Wireless().MacAddressList().Items());
}

// Whether every list whose missing selection a save cannot express has one. Without a
// selection, "Basic Rates:" and "Mode:" keep the values of an earlier prepare, "WEP Type:" is
// written as 128-bit and "Auth Type:" as 0, so such a page set reads back differently once.
bool EverySelectionExpressible(kelvo::pages::ConfigurationSheet& sheet) {
  return sheet.Wireless().BasicRates().HasSelection() && sheet.Wireless().Mode().HasSelection() &&
         sheet.Security().Wep().HasSelection() && sheet.Security().Auth().HasSelection();
}

// A saved profile read back describes the settings it was saved from.
void CheckRoundTrip(kelvo::pages::ConfigurationSheet& sheet, World& world) {
  const bool expressible = EverySelectionExpressible(sheet);
  const auto first = Save(sheet, world);
  if (!first) return;
  const auto readBack = kelvo::profiles::ParseProfile(*first);
  Require(readBack.has_value(), "a saved profile is accepted");
  for (const bool found : readBack->sections) Require(found, "a saved profile has every section");
  Require(readBack->authorizedMacs == sheet.Wireless().MacAddressList().Items(),
          "a saved MAC list reads back whole");
  for (const auto key : {Key::Essid, Key::ApName}) {
    Require(readBack->Value(key).has_value(), "a saved text reads back");
  }
  Require(*readBack->Value(Key::Essid) == world.values.Essid, "the ESSID reads back unchanged");
  Require(*readBack->Value(Key::ApName) == world.values.DeviceName,
          "the AP name reads back unchanged");

  kelvo::pages::PutIntoPages(*readBack, PagesOf(sheet));
  const auto second = Save(sheet, world);
  Require(second.has_value(), "pages loaded from a saved profile can be saved again");
  if (expressible) {
    Require(*second == *first, "a saved profile loads back to the same settings");
    return;
  }
  // One save and load settles the inexpressible selections; after that it is stable.
  const auto settled = kelvo::profiles::ParseProfile(*second);
  Require(settled.has_value(), "a saved profile is accepted");
  kelvo::pages::PutIntoPages(*settled, PagesOf(sheet));
  const auto third = Save(sheet, world);
  Require(third.has_value() && *third == *second, "a settled profile loads back unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto contents = kelvo::profiles::ParseProfile(bytes);
  if (!contents) return 0;
  CheckContents(*contents);

  World& world = TheWorld();
  // Without a base the pages accept, no round trip would ever run.
  static const bool baseAccepted = [&world] {
    kelvo::pages::ConfigurationSheet sheet(world.context);
    FillAsRead(sheet);
    return Save(sheet, world).has_value();
  }();
  Require(baseAccepted, "the pages as read accept their own values");
  world.values = {};
  // Pages of their own for every input, so that each run starts from the same state.
  kelvo::pages::ConfigurationSheet sheet(world.context);
  FillAsRead(sheet);
  const std::string bssidBefore = sheet.Wireless().Bssid().Text();
  kelvo::pages::PutIntoPages(*contents, PagesOf(sheet));
  CheckPages(sheet, *contents, bssidBefore);
  CheckRoundTrip(sheet, world);
  return 0;
}
