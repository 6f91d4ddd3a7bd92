// SPDX-License-Identifier: GPL-2.0-or-later
// An access point's configuration in the sheet's own terms: every setting the System, IP
// Config, Wireless Operation and Security pages show, as the page shows it (channel "6", mode
// "AP", rates in Mb/s), and the authorised MAC table. Secrets (passwords, keys, shared
// secrets) have no place in it. Read from a sheet after a read, from a profile file, or from
// the JSON object that show --json prints and backups keep.
#pragma once

#include <array>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pages/ConfigurationSheet.h"
#include "profiles/ProfileFile.h"

namespace kelvo::fleet {

enum class SheetPage { System, IpConfig, Wireless, Security };

struct SettingInfo {
  SheetPage page;
  std::string_view key;    // the JSON member
  std::string_view label;  // the window's caption, without its colon
  // The profile line that loads this setting, if any.
  std::optional<profiles::Key> profileKey;
};

inline constexpr std::size_t kSettingCount = 37;
std::span<const SettingInfo> AllSettings();
std::optional<std::size_t> FindSetting(std::string_view key);

// The caption and JSON member of each page.
std::string_view PageTitle(SheetPage page);
std::string_view PageKey(SheetPage page);

struct Configuration {
  std::string address;  // where it was read; empty for a file
  std::array<std::optional<std::string>, kSettingCount> values;
  // 12 upper-case hexadecimal digits per station; unset when it was not read.
  std::optional<std::vector<std::string>> authorizedTable;

  const std::optional<std::string>& Value(std::string_view key) const;
  friend bool operator==(const Configuration&, const Configuration&) = default;
};

// Everything the pages show now; the table only when it was fetched.
Configuration Describe(pages::ConfigurationSheet& sheet);
// The settings a profile loads, as the pages show them once it is loaded into `sheet`: the
// settings the file has no line for are left out. Changes the sheet's pages.
Configuration DescribeLoaded(const profiles::ProfileContents& contents,
                             pages::ConfigurationSheet& sheet);
// The same for a profile on its own: loaded into pages that know every channel.
Configuration DescribeProfile(const profiles::ProfileContents& contents);

// The JSON object of a configuration, members in the table's order; schema in kelvo-cli(1).
nlohmann::ordered_json ToJson(const Configuration& configuration);
// nullopt when the object is not one (wrong schema number, a member of the wrong type).
std::optional<Configuration> FromJson(const nlohmann::json& object);
inline constexpr int kJsonSchema = 1;

// One line of a difference: a setting whose value differs, or a station that is only in
// one table ('+' only in the second, '-' only in the first).
struct Difference {
  std::string label;
  std::string before;
  std::string after;
  char station = 0;  // '+' or '-' for a table entry, which is in `after` or `before`
};
// The settings both sides have that differ, in the table's order, then the table when both
// sides have one.
std::vector<Difference> Compare(const Configuration& a, const Configuration& b);
std::string FormatDifference(const Difference& difference);

// The configuration laid out like the sheet's pages, for a terminal.
std::string FormatSheet(const Configuration& configuration);

}  // namespace kelvo::fleet
