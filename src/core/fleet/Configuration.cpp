// SPDX-License-Identifier: GPL-2.0-or-later
#include "fleet/Configuration.h"

#include <algorithm>
#include <set>

#include "fleet/HeadlessSheet.h"
#include "mib/RadioTables.h"

namespace kelvo::fleet {
namespace {

using pages::ConfigurationSheet;
using profiles::Key;
using Reader = std::string (*)(ConfigurationSheet&);

std::string Choice(const ui::ChoiceList& list) { return list.SelectedText(); }
std::string Check(const ui::CheckBox& box) { return box.Checked() ? "Enabled" : "Disabled"; }
std::string Text(const ui::TextField& field) { return field.DisplayText(); }
std::string Number(const ui::NumberField& field) { return std::to_string(field.Number()); }
std::string Rate(const ui::ChoiceList& list) {
  return list.HasSelection() ? list.SelectedText() + " Mb/s" : std::string();
}
std::string Dotted(const ui::AddressField& field) {
  if (field.IsBlank()) return {};
  const auto bytes = field.Address();
  return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
         std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
}
// "Channel 6" is shown as 6; "Auto" stays.
std::string Channel(const ui::ChoiceList& list) {
  std::string text = list.SelectedText();
  constexpr std::string_view kPrefix = "Channel ";
  if (text.starts_with(kPrefix)) text.erase(0, kPrefix.size());
  return text;
}

struct SettingRow {
  SettingInfo info;
  Reader read;
};

constexpr auto kSystem = SheetPage::System;
constexpr auto kIp = SheetPage::IpConfig;
constexpr auto kWireless = SheetPage::Wireless;
constexpr auto kSecurity = SheetPage::Security;
constexpr std::nullopt_t kNoLine = std::nullopt;

// clang-format off
const SettingRow kRows[] = {
    {{kSystem, "description", "Description", kNoLine}, [](ConfigurationSheet& s) { return Text(s.System().Description()); }},
    {{kSystem, "macAddress", "Mac Address", kNoLine}, [](ConfigurationSheet& s) { return Text(s.System().MacAddress()); }},
    {{kSystem, "regulationDomain", "Regulation Domain", kNoLine}, [](ConfigurationSheet& s) { return Text(s.System().RegulationDomain()); }},
    {{kSystem, "serialNumber", "Serial Number", kNoLine}, [](ConfigurationSheet& s) { return Text(s.System().SerialNumber()); }},
    {{kSystem, "trap", "Trap Enabled", kNoLine}, [](ConfigurationSheet& s) { return Check(s.System().TrapEnabled()); }},
    {{kIp, "ipAddress", "IP address", Key::IpAddress}, [](ConfigurationSheet& s) { return Dotted(s.IpConfig().IpAddress()); }},
    {{kIp, "subnetMask", "Subnet mask", Key::SubnetMask}, [](ConfigurationSheet& s) { return Dotted(s.IpConfig().SubnetMask()); }},
    {{kIp, "gateway", "Gateway", Key::Gateway}, [](ConfigurationSheet& s) { return Dotted(s.IpConfig().Gateway()); }},
    {{kIp, "dhcpClient", "DHCP Client", Key::Dhcp}, [](ConfigurationSheet& s) { return Choice(s.IpConfig().DhcpClient()); }},
    {{kIp, "primaryPort", "Primary port", Key::PrimaryPort}, [](ConfigurationSheet& s) { return Choice(s.IpConfig().PrimaryPort()); }},
    {{kWireless, "rejectBroadcastProbe", "Reject broadcast probe", Key::RejectBroadcastSsid}, [](ConfigurationSheet& s) { return Check(s.Wireless().RejectBroadcastProbe()); }},
    {{kWireless, "wlanInterface", "WLan Interface", Key::WlanEnable}, [](ConfigurationSheet& s) { return Check(s.Wireless().WlanInterface()); }},
    {{kWireless, "channel", "Channel ID", Key::ChannelId}, [](ConfigurationSheet& s) { return Channel(s.Wireless().ChannelId()); }},
    {{kWireless, "essid", "ESSID", Key::Essid}, [](ConfigurationSheet& s) { return Text(s.Wireless().Essid()); }},
    {{kWireless, "deviceName", "Device Name", Key::ApName}, [](ConfigurationSheet& s) { return Text(s.Wireless().DeviceName()); }},
    {{kWireless, "basicRates", "Basic Rates", Key::BasicRates}, [](ConfigurationSheet& s) { return Rate(s.Wireless().BasicRates()); }},
    {{kWireless, "dataRates", "Data Rates", Key::DataRates}, [](ConfigurationSheet& s) { return Rate(s.Wireless().DataRates()); }},
    {{kWireless, "preambleType", "Preamble Type", Key::PreambleType}, [](ConfigurationSheet& s) { return Choice(s.Wireless().PreambleType()); }},
    {{kWireless, "beaconInterval", "Beacon Interval", Key::BeaconInterval}, [](ConfigurationSheet& s) { return Number(s.Wireless().BeaconInterval()); }},
    {{kWireless, "rtsThreshold", "RTS Threshold", Key::RtsThreshold}, [](ConfigurationSheet& s) { return Number(s.Wireless().RtsThreshold()); }},
    {{kWireless, "fragThreshold", "Frag. Threshold", Key::FragmentationThreshold}, [](ConfigurationSheet& s) { return Number(s.Wireless().FragThreshold()); }},
    {{kWireless, "mode", "Mode", Key::OperationMode}, [](ConfigurationSheet& s) { return Choice(s.Wireless().Mode()); }},
    {{kWireless, "bssid", "BSSID", Key::Bssid}, [](ConfigurationSheet& s) { return Text(s.Wireless().Bssid()); }},
    {{kWireless, "authorizedTableEnabled", "Authorized MAC table", Key::AuthorizedEnable}, [](ConfigurationSheet& s) { return Check(s.Wireless().EnableAuthorizedTable()); }},
    {{kSecurity, "authentication", "Auth.", Key::AuthType}, [](ConfigurationSheet& s) { return Choice(s.Security().Auth()); }},
    {{kSecurity, "encryption", "Encry.", Key::EncryptionType}, [](ConfigurationSheet& s) { return Choice(s.Security().Encry()); }},
    {{kSecurity, "wep", "WEP", Key::WepType}, [](ConfigurationSheet& s) { return Choice(s.Security().Wep()); }},
    {{kSecurity, "activeKey", "Active", Key::ActiveKey}, [](ConfigurationSheet& s) { return Choice(s.Security().Active()); }},
    {{kSecurity, "reAuthEnabled", "ReAuthEnabled", kNoLine}, [](ConfigurationSheet& s) { return Choice(s.Security().ReAuthEnabled()); }},
    {{kSecurity, "reAuthPeriod", "ReAuthPeriod", kNoLine}, [](ConfigurationSheet& s) { return Number(s.Security().ReAuthPeriod()); }},
    {{kSecurity, "radiusServer1", "Radius IP 1", kNoLine}, [](ConfigurationSheet& s) { return Dotted(s.Security().RadiusIp(0)); }},
    {{kSecurity, "radiusServer2", "Radius IP 2", kNoLine}, [](ConfigurationSheet& s) { return Dotted(s.Security().RadiusIp(1)); }},
    {{kSecurity, "radiusServer3", "Radius IP 3", kNoLine}, [](ConfigurationSheet& s) { return Dotted(s.Security().RadiusIp(2)); }},
    {{kSecurity, "radiusServer4", "Radius IP 4", kNoLine}, [](ConfigurationSheet& s) { return Dotted(s.Security().RadiusIp(3)); }},
    {{kSecurity, "wpaSupportStation", "Support Sta.", kNoLine}, [](ConfigurationSheet& s) { return Choice(s.Security().SupportSta()); }},
    {{kSecurity, "wpaCipher", "Cipher", kNoLine}, [](ConfigurationSheet& s) { return Choice(s.Security().Cipher()); }},
    {{kSecurity, "groupKeyInterval", "Key Interval", kNoLine}, [](ConfigurationSheet& s) { return Number(s.Security().KeyInterval()); }},
};
// clang-format on
static_assert(std::size(kRows) == kSettingCount);

constexpr std::string_view kTableKey = "authorizedTable";
constexpr std::string_view kTableLabel = "Authorized MAC";
constexpr SheetPage kPages[] = {kSystem, kIp, kWireless, kSecurity};

std::array<SettingInfo, kSettingCount> SettingTable() {
  std::array<SettingInfo, kSettingCount> table{};
  for (std::size_t i = 0; i < kSettingCount; ++i) table[i] = kRows[i].info;
  return table;
}

const std::optional<std::string>& Missing() {
  static const std::optional<std::string> none;
  return none;
}

}  // namespace

std::span<const SettingInfo> AllSettings() {
  static const std::array<SettingInfo, kSettingCount> table = SettingTable();
  return table;
}

std::optional<std::size_t> FindSetting(std::string_view key) {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (kRows[i].info.key == key) return i;
  }
  return std::nullopt;
}

std::string_view PageTitle(SheetPage page) {
  return ConfigurationSheet::kTabTexts[page == kSystem     ? ConfigurationSheet::kSystem
                                       : page == kIp       ? ConfigurationSheet::kIpConfig
                                       : page == kWireless ? ConfigurationSheet::kWireless
                                                           : ConfigurationSheet::kSecurity];
}

std::string_view PageKey(SheetPage page) {
  switch (page) {
    case kSystem:
      return "system";
    case kIp:
      return "ip";
    case kWireless:
      return "wireless";
    case kSecurity:
      return "security";
  }
  return {};
}

const std::optional<std::string>& Configuration::Value(std::string_view key) const {
  const auto index = FindSetting(key);
  return index ? values[*index] : Missing();
}

Configuration Describe(ConfigurationSheet& sheet) {
  Configuration result;
  result.address = sheet.Host();
  for (std::size_t i = 0; i < kSettingCount; ++i) result.values[i] = kRows[i].read(sheet);
  if (sheet.Wireless().AuthorizedTableFetched()) {
    result.authorizedTable = sheet.Wireless().MacAddressList().Items();
  }
  return result;
}

Configuration DescribeLoaded(const profiles::ProfileContents& contents, ConfigurationSheet& sheet) {
  pages::PutIntoPages(contents, pages::ProfilePages{sheet.System(), sheet.IpConfig(),
                                                    sheet.Wireless(), sheet.Security()});
  Configuration result;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const auto key = kRows[i].info.profileKey;
    if (key && contents.Value(*key)) result.values[i] = kRows[i].read(sheet);
  }
  if (contents.authorizedMacs) result.authorizedTable = sheet.Wireless().MacAddressList().Items();
  return result;
}

Configuration DescribeProfile(const profiles::ProfileContents& contents) {
  HeadlessSheet offline;
  if (!offline.Start(0, {})) return {};
  ConfigurationSheet& sheet = offline.Sheet();
  // The last domain's plan holds every channel, so any channel a profile names is shown.
  sheet.System().RegulatoryDomainList().Select(
      static_cast<int>(mib::kRegulatoryDomainNames.size()) - 1);
  sheet.System().RebuildChannelList();
  return DescribeLoaded(contents, sheet);
}

nlohmann::ordered_json ToJson(const Configuration& configuration) {
  nlohmann::ordered_json object;
  object["schema"] = kJsonSchema;
  if (!configuration.address.empty()) object["address"] = configuration.address;
  for (const SheetPage page : kPages) {
    nlohmann::ordered_json members = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < kSettingCount; ++i) {
      if (kRows[i].info.page == page && configuration.values[i]) {
        members[std::string(kRows[i].info.key)] = *configuration.values[i];
      }
    }
    if (page == kWireless && configuration.authorizedTable) {
      members[std::string(kTableKey)] = *configuration.authorizedTable;
    }
    if (!members.empty()) object[std::string(PageKey(page))] = std::move(members);
  }
  return object;
}

std::optional<Configuration> FromJson(const nlohmann::json& object) {
  if (!object.is_object()) return std::nullopt;
  const auto schema = object.find("schema");
  if (schema == object.end() || *schema != kJsonSchema) return std::nullopt;
  Configuration result;
  if (const auto address = object.find("address"); address != object.end()) {
    if (!address->is_string()) return std::nullopt;
    result.address = address->get<std::string>();
  }
  for (const SheetPage page : kPages) {
    const auto members = object.find(std::string(PageKey(page)));
    if (members == object.end()) continue;
    if (!members->is_object()) return std::nullopt;
    for (std::size_t i = 0; i < kSettingCount; ++i) {
      if (kRows[i].info.page != page) continue;
      const auto value = members->find(std::string(kRows[i].info.key));
      if (value == members->end()) continue;
      if (!value->is_string()) return std::nullopt;
      result.values[i] = value->get<std::string>();
    }
    if (page != kWireless) continue;
    const auto table = members->find(std::string(kTableKey));
    if (table == members->end()) continue;
    if (!table->is_array()) return std::nullopt;
    std::vector<std::string> stations;
    for (const auto& station : *table) {
      if (!station.is_string()) return std::nullopt;
      stations.push_back(station.get<std::string>());
    }
    result.authorizedTable = std::move(stations);
  }
  return result;
}

std::vector<Difference> Compare(const Configuration& a, const Configuration& b) {
  std::vector<Difference> result;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (a.values[i] && b.values[i] && *a.values[i] != *b.values[i]) {
      result.push_back({std::string(kRows[i].info.label), *a.values[i], *b.values[i]});
    }
  }
  if (a.authorizedTable && b.authorizedTable) {
    // The device keeps the table in order, but a station's place in it changes nothing.
    const std::set<std::string> before(a.authorizedTable->begin(), a.authorizedTable->end());
    const std::set<std::string> after(b.authorizedTable->begin(), b.authorizedTable->end());
    for (const std::string& station : before) {
      if (!after.contains(station)) result.push_back({std::string(kTableLabel), station, {}, '-'});
    }
    for (const std::string& station : after) {
      if (!before.contains(station)) result.push_back({std::string(kTableLabel), {}, station, '+'});
    }
  }
  return result;
}

std::string FormatDifference(const Difference& difference) {
  if (difference.station == '-') return difference.label + ": - " + difference.before;
  if (difference.station == '+') return difference.label + ": + " + difference.after;
  return difference.label + ": " + difference.before + " -> " + difference.after;
}

std::string FormatSheet(const Configuration& configuration) {
  std::size_t width = 0;
  for (const SettingRow& row : kRows) width = std::max(width, row.info.label.size() + 1);
  std::string text;
  for (const SheetPage page : kPages) {
    text += PageTitle(page);
    text += '\n';
    for (std::size_t i = 0; i < kSettingCount; ++i) {
      if (kRows[i].info.page != page || !configuration.values[i]) continue;
      std::string label = std::string(kRows[i].info.label) + ':';
      label.resize(width, ' ');
      text += "  " + label + ' ' + *configuration.values[i] + '\n';
    }
    if (page == kWireless && configuration.authorizedTable) {
      std::string label = std::string(kTableLabel) + ':';
      label.resize(width, ' ');
      text += "  " + label + ' ' + std::to_string(configuration.authorizedTable->size()) +
              (configuration.authorizedTable->size() == 1 ? " station\n" : " stations\n");
      for (const std::string& station : *configuration.authorizedTable) {
        text += "    " + station + '\n';
      }
    }
  }
  return text;
}

}  // namespace kelvo::fleet
