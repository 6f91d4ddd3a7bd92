// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ProfileStore.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "mib/Conversions.h"
#include "mib/RadioTables.h"

namespace kelvo::pages {

using profiles::FormatProfile;
using profiles::Key;
using profiles::kProfileExtension;
using profiles::ProfileAddress;
using profiles::ProfileContents;
using profiles::ReadProfileFile;
using profiles::ReadResult;
using profiles::ReadStatus;
using profiles::Section;
using profiles::StartsWithTwelveHexDigits;
namespace {

// A list position from a file's number; numbers beyond an int select nothing.
int Position(long number) {
  if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
    return ui::ChoiceList::kNone;
  }
  return static_cast<int>(number);
}

class ValueSource {
 public:
  explicit ValueSource(const ProfileContents& contents) : contents_(contents) {}

  const std::optional<std::string>& Text(Key key) const { return contents_.Value(key); }
  std::optional<long> Number(Key key) const {
    const auto& text = contents_.Value(key);
    if (!text) return std::nullopt;
    return mib::LeadingInteger(*text);
  }
  // Selects the number's position, or the position before it for lists the file counts from 1.
  void Select(Key key, ui::ChoiceList& list, long offset = 0) const {
    if (const auto number = Number(key)) list.Select(Position(*number - offset));
  }
  // Checks the box for the number that means checked, clears it for the one that means
  // cleared, and leaves it for anything else.
  void Check(Key key, ui::CheckBox& box, long checked, long cleared) const {
    const auto number = Number(key);
    if (number == checked) box.SetChecked(true);
    if (number == cleared) box.SetChecked(false);
  }
  void Address(Key key, ui::AddressField& field) const {
    if (const auto& text = Text(key)) field.SetAddress(ProfileAddress(*text));
  }

 private:
  const ProfileContents& contents_;
};

void PutIp(const ValueSource& source, IpConfigPage& page) {
  source.Address(Key::IpAddress, page.IpAddress());
  source.Address(Key::SubnetMask, page.SubnetMask());
  source.Address(Key::Gateway, page.Gateway());
  source.Select(Key::Dhcp, page.DhcpClient(), 1);
  source.Select(Key::PrimaryPort, page.PrimaryPort(), 1);
  // The addresses are typed in only without DHCP, whichever way the mode was chosen.
  page.ApplyEnablingRule();
}

void PutWireless(const ValueSource& source, const ProfileContents& contents, int domain,
                 WirelessPage& page) {
  source.Check(Key::WlanEnable, page.WlanInterface(), 0, 1);
  source.Check(Key::RejectBroadcastSsid, page.RejectBroadcastProbe(), 1, 0);
  // A channel the domain's plan does not hold selects "Auto".
  if (const auto channel = source.Number(Key::ChannelId)) {
    const int position = mib::ChannelPosition(domain, *channel);
    page.ChannelId().Select(position < 0 ? 0 : position);
  }
  if (const auto& essid = source.Text(Key::Essid)) page.Essid().SetText(*essid);
  if (const auto& name = source.Text(Key::ApName)) page.DeviceName().SetText(*name);
  source.Select(Key::BasicRates, page.BasicRates());
  source.Select(Key::DataRates, page.DataRates(), 1);
  source.Select(Key::PreambleType, page.PreambleType(), 1);
  if (const auto n = source.Number(Key::BeaconInterval)) page.BeaconInterval().SetNumber(*n);
  if (const auto n = source.Number(Key::RtsThreshold)) page.RtsThreshold().SetNumber(*n);
  if (const auto n = source.Number(Key::FragmentationThreshold)) {
    page.FragThreshold().SetNumber(*n);
  }
  if (const auto mode = source.Number(Key::OperationMode)) {
    page.Mode().Select(mib::OperationModePosition(*mode));
  }
  if (const auto& bssid = source.Text(Key::Bssid); bssid && StartsWithTwelveHexDigits(*bssid)) {
    page.Bssid().SetText(*bssid);
  }
  source.Check(Key::AuthorizedEnable, page.EnableAuthorizedTable(), 1, 2);
  if (contents.authorizedMacs) {
    ui::ListBox& list = page.MacAddressList();
    list.Clear();
    for (const std::string& mac : *contents.authorizedMacs) list.Add(mac);
  }
}

void PutEncryption(const ValueSource& source, SecurityPage& page) {
  source.Select(Key::ActiveKey, page.Active(), 1);
  if (const auto type = source.Number(Key::WepType)) page.Wep().Select(mib::WepModePosition(*type));
  if (source.Number(Key::AuthType)) {
    source.Select(Key::AuthType, page.Auth(), 1);
    // With no authentication selected the encryption list keeps its entries.
    if (page.Auth().HasSelection()) page.RefillEncryption(page.Auth().Selection());
  }
  source.Select(Key::EncryptionType, page.Encry());
  page.SettleEncryption();
  page.UpdateKeyFields();
}

}  // namespace

void PutIntoPages(const ProfileContents& contents, ProfilePages pages) {
  const ValueSource source(contents);
  if (contents.HasSection(Section::Ip)) PutIp(source, pages.ipConfig);
  if (contents.HasSection(Section::Wireless)) {
    PutWireless(source, contents, pages.system.RegulatoryDomainList().Selection(), pages.wireless);
  }
  if (contents.HasSection(Section::Encryption)) PutEncryption(source, pages.security);
}

ProfileStore::ProfileStore(PageContext& context, ProfilePages pages)
    : context_(context),
      pages_(pages),
      directory_(profiles::ProfileDirectory(context.settingsPath)) {}

std::string ProfileStore::FileName(std::string_view name) const {
  std::string file = directory_;
  file.append(name);
  file.append(kProfileExtension);
  return file;
}

void ProfileStore::RefreshProfileList() {
  ui::ListBox& list = pages_.system.ProfileNameList();
  list.Clear();
  std::error_code error;
  std::filesystem::directory_iterator entries(directory_, error);
  if (error) return;
  // Sorted by name, so the list reads the same on every file system.
  std::vector<std::string> names;
  for (const auto& entry : entries) {
    if (entry.is_directory(error)) continue;
    const std::string file = entry.path().filename().string();
    if (file.size() <= kProfileExtension.size() || !file.ends_with(kProfileExtension)) continue;
    // Listed by the part before the first "."; names are kept whole, however long.
    names.push_back(file.substr(0, file.find('.')));
  }
  std::sort(names.begin(), names.end());
  for (std::string& name : names) list.Add(std::move(name));
}

const std::string* ProfileStore::SelectedName() const {
  const ui::ListBox& list = pages_.system.ProfileNameList();
  if (list.Selection() < 0 || list.Selection() >= list.Count()) return nullptr;
  return &list.Items()[static_cast<std::size_t>(list.Selection())];
}

void ProfileStore::AddSave() {
  ui::TextField& field = pages_.system.NewProfileName();
  const std::string name = field.Text();
  if (name.empty()) return;
  // A name is a file in the profile directory, never a path to somewhere else; one with a
  // separator fails as a name the file system cannot hold does.
  if (name.find('/') != std::string::npos) return;
  ui::ListBox& list = pages_.system.ProfileNameList();
  const auto& items = list.Items();
  const auto listed = std::find(items.begin(), items.end(), name);
  if (listed != items.end()) {
    list.Select(static_cast<int>(listed - items.begin()));
    if (Prompter().AskYesNo(profile_messages::kOverwriteQuestion, ui::kApplicationCaption,
                            ui::MessageIcon::None) == ui::Answer::No) {
      return;
    }
    if (WriteProfile(FileName(name))) field.SetText({});
    return;
  }
  if (!WriteProfile(FileName(name))) return;
  list.Insert(0, name);
  field.SetText({});
}

void ProfileStore::Save() {
  if (const std::string* name = SelectedName()) WriteProfile(FileName(*name));
}

void ProfileStore::Load() {
  const std::string* name = SelectedName();
  if (name == nullptr) return;
  const std::string file = FileName(*name);
  if (Prompter().AskYesNo(profile_messages::kLoadQuestion, ui::kApplicationCaption,
                          ui::MessageIcon::None) == ui::Answer::No) {
    return;
  }
  if (!ReadProfile(file)) return;
  ApplyProfile();
}

void ProfileStore::Del() {
  ui::ListBox& list = pages_.system.ProfileNameList();
  const std::string* selected = SelectedName();
  if (selected == nullptr) return;
  const int position = list.Selection();
  const std::string file = FileName(*selected);
  list.Remove(position);
  // A file that is already gone leaves just the entry to remove.
  ::unlink(file.c_str());
  list.Select(position >= list.Count() ? list.Count() - 1 : position);
}

std::optional<std::string> ProfileStore::FormatCurrent() {
  if (!pages_.ipConfig.PrepareIpValues() || !pages_.wireless.PrepareWirelessValues() ||
      !pages_.security.PrepareSecurityValues()) {
    return std::nullopt;
  }
  return FormatProfile(context_.values, pages_.wireless.MacAddressList().Items());
}

bool ProfileStore::WriteProfile(const std::string& fileName) {
  const std::optional<std::string> bytes = FormatCurrent();
  return bytes && replacer_->Replace(fileName, *bytes);
}

bool ProfileStore::ReadProfile(const std::string& fileName) {
  const ReadResult result = ReadProfileFile(fileName);
  switch (result.status) {
    case ReadStatus::CannotOpen:
      Prompter().ShowMessage(profiles::messages::kCannotOpen, ui::kApplicationCaption,
                             ui::MessageIcon::Error);
      return false;
    case ReadStatus::NotProfile:
      Prompter().ShowMessage(profiles::messages::kNotProfile, ui::kApplicationCaption,
                             ui::MessageIcon::Error);
      return false;
    case ReadStatus::Ok:
      break;
  }
  PutIntoPages(result.contents, pages_);
  return true;
}

bool ProfileStore::ApplyProfile() {
  if (!pages_.ipConfig.PrepareIpValues() || !pages_.wireless.PrepareWirelessValues() ||
      !pages_.security.PrepareSecurityValues()) {
    return false;
  }
  snmp::AgentSession& session = context_.session;
  const std::string& host = pages_.ipConfig.Host();
  if (!session.WriteGroup(mib::Group::IpConfig, host)) return false;
  if (!session.WriteGroup(mib::Group::Wireless, host)) return false;
  // The table's outcome does not stop the push.
  const bool tableStored = pages_.wireless.StoreAuthorizedTable();
  const bool securityWritten = session.WriteGroup(mib::Group::Security, host);
  return tableStored && securityWritten;
}

}  // namespace kelvo::pages
