// SPDX-License-Identifier: GPL-2.0-or-later
// The profile file: a short CR LF text of "Key:value" lines in three sections. Formatting and
// parsing work on bytes only; the store moves the values between the file and the pages.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mib/AgentValues.h"

namespace kelvo::profiles {

inline constexpr std::string_view kProfileExtension = ".kvp";

// The settings path followed by "Profile/"; the relative "Profile/" when the path is empty.
std::string ProfileDirectory(const std::string& settingsPath);

inline constexpr std::string_view kProfileHeader = "@@@ Kelvodesk Profile Information @@@";
namespace messages {
inline constexpr std::string_view kCannotOpen = "Can not open file!";
inline constexpr std::string_view kNotProfile = "Not correctly Kelvodesk profile!";
}  // namespace messages

// The reader looks at no more than this many bytes of a line at a time; the rest of a longer
// line is read as the next line.
inline constexpr std::size_t kLineChunk = 255;
// Bytes of a file the reader takes; a profile is a few hundred bytes, and anything past this
// is treated as not there so that a device file or a runaway file cannot stall the program.
inline constexpr std::size_t kReadLimit = std::size_t{4} * 1024 * 1024;

enum class Key {
  // [IP CONFIG]
  IpAddress,
  SubnetMask,
  Gateway,
  Dhcp,
  PrimaryPort,
  // [WIRELESS CONFIG]
  WlanEnable,
  RejectBroadcastSsid,
  ChannelId,
  Essid,
  ApName,
  BasicRates,
  DataRates,
  PreambleType,
  BeaconInterval,
  RtsThreshold,
  FragmentationThreshold,
  OperationMode,
  Bssid,
  AuthorizedEnable,
  // [ENCRYPTION CONFIG]
  ActiveKey,
  WepType,
  AuthType,
  EncryptionType,
};
inline constexpr std::size_t kKeyCount = 23;

// Key texts in file order, each with its colon.
inline constexpr std::array<std::string_view, kKeyCount> kKeyTexts = {"IP Address:",
                                                                      "Subnet mask:",
                                                                      "Gateway:",
                                                                      "DHCP:",
                                                                      "Primary port:",
                                                                      "Wlan Enable:",
                                                                      "Reject Broadcast SSID:",
                                                                      "Channel ID:",
                                                                      "ESSID:",
                                                                      "AP Name:",
                                                                      "Basic Rates:",
                                                                      "Data Rates:",
                                                                      "Preamble Type:",
                                                                      "Beacon Interval:",
                                                                      "RTS Threshold:",
                                                                      "Fragmentation Threshold:",
                                                                      "Operation Mode:",
                                                                      "BSSID:",
                                                                      "Authorized Enable:",
                                                                      "Active Key:",
                                                                      "WEP Type:",
                                                                      "Auth Type:",
                                                                      "Encryption Type:"};
inline constexpr std::string_view kMacListKey = "Authorized MAC List:";

enum class Section { Ip, Wireless, Encryption };
inline constexpr std::array<std::string_view, 3> kSectionHeaders = {
    "[IP CONFIG]", "[WIRELESS CONFIG]", "[ENCRYPTION CONFIG]"};
inline constexpr std::string_view kEndMarker = "[END]";

constexpr std::string_view KeyText(Key key) { return kKeyTexts[static_cast<std::size_t>(key)]; }

// What a file holds, as the reader finds it: a value for every key whose line matched.
struct ProfileContents {
  std::array<bool, 3> sections{};  // found, by Section
  std::array<std::optional<std::string>, kKeyCount> values;
  // Set when the line after "Authorized Enable:" was the list's count line: the entries whose
  // first 12 characters are hexadecimal digits, cut to those 12.
  std::optional<std::vector<std::string>> authorizedMacs;

  bool HasSection(Section section) const { return sections[static_cast<std::size_t>(section)]; }
  const std::optional<std::string>& Value(Key key) const {
    return values[static_cast<std::size_t>(key)];
  }
};

// nullopt when the first line does not start with the header.
std::optional<ProfileContents> ParseProfile(std::string_view bytes);

// The file's bytes for the values the pages' prepare steps left and the authorised list.
std::string FormatProfile(const mib::AgentValues& values,
                          const std::vector<std::string>& authorizedMacs);

enum class ReadStatus { Ok, CannotOpen, NotProfile };
struct ReadResult {
  ReadStatus status = ReadStatus::CannotOpen;
  ProfileContents contents;
};
// Opens and parses a profile. Only regular files are opened: a directory, a pipe or a device
// under a profile's name reads as a file that cannot be opened.
ReadResult ReadProfileFile(const std::string& path);

// Whether the first 12 characters of text are hexadecimal digits.
bool StartsWithTwelveHexDigits(std::string_view text);

// The address value rule: parts cut at "." (at most four), each part's first three characters
// converted as a leading number and reduced to its low 8 bits; missing parts are 0.
std::array<std::uint8_t, 4> ProfileAddress(std::string_view text);

}  // namespace kelvo::profiles
