// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "mib/Conversions.h"
#include "profiles/ProfileFile.h"

namespace kelvo::profiles {
namespace {

namespace fs = std::filesystem;

fs::path Fixture(std::string_view name) {
  return fs::path(KELVO_SOURCE_DIR) / "tests" / "fixtures" / "profiles" / name;
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

using Values = std::map<Key, std::string>;
using Macs = std::optional<std::vector<std::string>>;

Values IpValues() {
  return {{Key::IpAddress, "192.168.10.20"},
          {Key::SubnetMask, "255.255.255.0"},
          {Key::Gateway, "192.168.10.1"},
          {Key::Dhcp, "2"},
          {Key::PrimaryPort, "1"}};
}
Values WirelessValues() {
  return {{Key::WlanEnable, "0"},
          {Key::RejectBroadcastSsid, "1"},
          {Key::ChannelId, "6"},
          {Key::Essid, "Lab Net"},
          {Key::ApName, "ap-west"},
          {Key::BasicRates, "2"},
          {Key::DataRates, "3"},
          {Key::PreambleType, "2"},
          {Key::BeaconInterval, "200"},
          {Key::RtsThreshold, "1500"},
          {Key::FragmentationThreshold, "2000"},
          {Key::OperationMode, "5"},
          {Key::Bssid, "00A0C5112233"},
          {Key::AuthorizedEnable, "1"}};
}
Values EncryptionValues() {
  return {
      {Key::ActiveKey, "2"}, {Key::WepType, "3"}, {Key::AuthType, "3"}, {Key::EncryptionType, "1"}};
}
Values Merge(std::initializer_list<Values> parts) {
  Values all;
  for (const Values& part : parts) all.insert(part.begin(), part.end());
  return all;
}
Values Complete() { return Merge({IpValues(), WirelessValues(), EncryptionValues()}); }
Values With(Values values, Key key, std::string value) {
  values[key] = std::move(value);
  return values;
}
const Macs kTwoMacs = std::vector<std::string>{"001122334455", "AABBCCDDEEFF"};

struct Case {
  const char* file;
  ReadStatus status;
  std::array<bool, 3> sections{};
  Values values;
  Macs macs;
};

std::vector<Case> Cases() {
  const std::array<bool, 3> all{true, true, true};
  Values shifted = Merge({IpValues(), EncryptionValues()});
  for (Key key : {Key::WlanEnable, Key::RejectBroadcastSsid, Key::ChannelId}) {
    shifted[key] = WirelessValues()[key];
  }
  Values overlong = {{Key::WlanEnable, "0"},
                     {Key::RejectBroadcastSsid, "1"},
                     {Key::ChannelId, "6"},
                     {Key::Essid, std::string(kLineChunk - KeyText(Key::Essid).size(), 'x')},
                     {Key::ActiveKey, "4"}};
  Values truncated = IpValues();
  for (Key key : {Key::WlanEnable, Key::RejectBroadcastSsid, Key::ChannelId, Key::Essid,
                  Key::ApName, Key::BasicRates, Key::DataRates, Key::PreambleType}) {
    truncated[key] = WirelessValues()[key];
  }
  Values empty;
  for (std::size_t i = 0; i < kKeyCount; ++i) empty[static_cast<Key>(i)] = "";
  return {
      {"complete_crlf.kvp", ReadStatus::Ok, all, Complete(), kTwoMacs},
      {"lf_endings.kvp", ReadStatus::Ok, all, Complete(), kTwoMacs},
      {"header_with_trailing_text.kvp", ReadStatus::Ok, all, Complete(), kTwoMacs},
      {"header_wrong_case.kvp", ReadStatus::NotProfile, {}, {}, {}},
      {"header_wrong_spacing.kvp", ReadStatus::NotProfile, {}, {}, {}},
      {"empty.kvp", ReadStatus::NotProfile, {}, {}, {}},
      {"garbage_without_header.kvp", ReadStatus::NotProfile, {}, {}, {}},
      {"missing.kvp", ReadStatus::CannotOpen, {}, {}, {}},
      {"header_only.kvp", ReadStatus::Ok, {}, {}, {}},
      {"binary_garbage.kvp", ReadStatus::Ok, {}, {}, {}},
      {"sections_reordered.kvp", ReadStatus::Ok, all, Complete(), kTwoMacs},
      {"blank_and_space_led_lines.kvp", ReadStatus::Ok, all, Complete(), kTwoMacs},
      // Each wireless key after the stray line meets the line meant for the key before it,
      // down to the count line, which meets "Authorized Enable:".
      {"extra_line_shifts_keys.kvp", ReadStatus::Ok, all, shifted, {}},
      // The bad line counts towards the two; the file ends before the second address.
      {"bad_mac_line_inside_count.kvp",
       ReadStatus::Ok,
       {true, true, false},
       Merge({IpValues(), WirelessValues()}),
       std::vector<std::string>{"001122334455"}},
      {"operation_mode_4.kvp", ReadStatus::Ok, all, With(Complete(), Key::OperationMode, "4"),
       kTwoMacs},
      {"unknown_channel.kvp", ReadStatus::Ok, all, With(Complete(), Key::ChannelId, "99"),
       kTwoMacs},
      {"truncated.kvp", ReadStatus::Ok, {true, true, false}, truncated, {}},
      {"overlong_essid_line.kvp", ReadStatus::Ok, {false, true, true}, overlong, {}},
      // A long entry gives its first 12 digits; the rest of the line is read as the next line.
      {"overlong_mac_entry.kvp",
       ReadStatus::Ok,
       {false, true, false},
       With(WirelessValues(), Key::Essid, "Lab Net"),
       std::vector<std::string>{"001122334455", "FFFFFFFFFFFF", "AABBCCDDEEFF"}},
      {"empty_values.kvp", ReadStatus::Ok, all, empty, std::vector<std::string>{}},
  };
}

TEST(ProfileFileTest, ReadsEveryFixtureAsTheReaderRulesSay) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.file);
    const ReadResult result = ReadProfileFile(Fixture(c.file).string());
    ASSERT_EQ(result.status, c.status);
    if (c.status != ReadStatus::Ok) continue;
    EXPECT_EQ(result.contents.sections, c.sections);
    for (std::size_t i = 0; i < kKeyCount; ++i) {
      const auto key = static_cast<Key>(i);
      const auto expected = c.values.find(key);
      SCOPED_TRACE(KeyText(key));
      if (expected == c.values.end()) {
        EXPECT_FALSE(result.contents.Value(key).has_value()) << *result.contents.Value(key);
      } else {
        EXPECT_EQ(result.contents.Value(key), expected->second);
      }
    }
    EXPECT_EQ(result.contents.authorizedMacs, c.macs);
  }
}

TEST(ProfileFileTest, OddLineBreaksAndLongLines) {
  const std::string head = std::string(kProfileHeader) + "\r\n[IP CONFIG]\r\n";
  // A lone CR stays part of the line; a CR before LF does not.
  auto parsed = ParseProfile(head + "IP Address:1.2.3.4\r\rSubnet mask:1.1.1.1\r\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->Value(Key::IpAddress), "1.2.3.4\r\rSubnet mask:1.1.1.1");
  EXPECT_FALSE(parsed->Value(Key::SubnetMask));
  // The last line needs no line break; a NUL ends a line's text.
  parsed = ParseProfile(head + "IP Address:1.2.3.4\r\nSubnet mask:255.0");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->Value(Key::SubnetMask), "255.0");
  parsed = ParseProfile(head + std::string("IP Address:9.9\0.9.9\r\n", 20));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->Value(Key::IpAddress), "9.9");
  // A header split over the chunk limit is still only its first 37 characters.
  EXPECT_TRUE(ParseProfile(std::string(kProfileHeader) + std::string(400, '@')));
  EXPECT_FALSE(ParseProfile(kProfileHeader.substr(0, 36)));
  // A line of exactly 255 bytes before its CR LF leaves no empty extra line behind that a key
  // could use up.
  const std::string essid(kLineChunk - KeyText(Key::Essid).size(), 'e');
  parsed = ParseProfile(std::string(kProfileHeader) +
                        "\r\n[WIRELESS CONFIG]\r\nWlan Enable:0\r\nReject Broadcast SSID:0\r\n"
                        "Channel ID:1\r\nESSID:" +
                        essid + "\r\nAP Name:n\r\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->Value(Key::Essid), essid);
  EXPECT_EQ(parsed->Value(Key::ApName), "n");
}

TEST(ProfileFileTest, AuthorizedCountsThatCannotBeMet) {
  const std::string head =
      std::string(kProfileHeader) +
      "\r\n[WIRELESS CONFIG]\r\nWlan Enable:0\r\nReject Broadcast SSID:0\r\n"
      "Channel ID:1\r\nESSID:e\r\nAP Name:n\r\nBasic Rates:0\r\nData Rates:1\r\n"
      "Preamble Type:1\r\nBeacon Interval:100\r\nRTS Threshold:2347\r\n"
      "Fragmentation Threshold:2346\r\nOperation Mode:2\r\nBSSID:000000000000\r\n"
      "Authorized Enable:2\r\n";
  for (const char* count : {"-5", "abc", "0"}) {
    const auto parsed =
        ParseProfile(head + "Authorized MAC List:" + count + "\r\n001122334455\r\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->authorizedMacs, std::vector<std::string>{}) << count;
  }
  // A huge count ends with the file.
  const auto parsed =
      ParseProfile(head + "Authorized MAC List:99999999999\r\n001122334455\r\n[END]\r\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->authorizedMacs, std::vector<std::string>{"001122334455"});
}

TEST(ProfileFileTest, AddressValuesStayWithinTheirText) {
  EXPECT_EQ(ProfileAddress("192.168.10.20"), (std::array<std::uint8_t, 4>{192, 168, 10, 20}));
  // Low 8 bits of each part; parts cut at three characters; missing parts are 0.
  EXPECT_EQ(ProfileAddress("300.1.2.3"), (std::array<std::uint8_t, 4>{44, 1, 2, 3}));
  EXPECT_EQ(ProfileAddress("1.2"), (std::array<std::uint8_t, 4>{1, 2, 0, 0}));
  EXPECT_EQ(ProfileAddress("1234.56789.1.2.3.4"),
            (std::array<std::uint8_t, 4>{123, 567 & 0xFF, 1, 2}));
  EXPECT_EQ(ProfileAddress(""), (std::array<std::uint8_t, 4>{}));
  EXPECT_EQ(ProfileAddress("-1.x.7"), (std::array<std::uint8_t, 4>{255, 0, 7, 0}));
}

mib::AgentValues PreparedValues() {
  mib::AgentValues values;
  values.IpAddress = "192.168.10.20";
  values.SubnetMask = "255.255.255.0";
  values.Gateway = "192.168.10.1";
  values.DhcpClient = "2";
  values.PrimaryPort = "1";
  values.WlanDisable = "0";
  values.RejectBroadcastProbe = "1";
  values.Channel = "6";
  values.Essid = "Lab Net";
  values.DeviceName = "ap-west";
  values.BasicRatesIndex = "2";
  values.DataRate = "3";
  values.PreambleType = "2";
  values.BeaconInterval = "200";
  values.RtsThreshold = "1500";
  values.FragmentationThreshold = "2000";
  values.OperationMode = "5";
  values.BssidBytes = {0x00, 0xA0, 0xC5, 0x11, 0x22, 0x33};
  values.AuthorizedTableEnable = "1";
  values.ActiveKey = "2";
  values.WepMode = "3";
  values.AuthenticationType = "3";
  values.EncryptionType = "1";
  return values;
}

TEST(ProfileFileTest, FormatsTheLayoutByteForByte) {
  const std::string text = FormatProfile(PreparedValues(), {"001122334455", "AABBCCDDEEFF"});
  EXPECT_EQ(text, Bytes(Fixture("complete_crlf.kvp")));
  // An empty list is its count line alone.
  const std::string none = FormatProfile(PreparedValues(), {});
  EXPECT_NE(none.find("Authorized Enable:1\r\nAuthorized MAC List:0\r\n[ENCRYPTION CONFIG]\r\n"),
            std::string::npos);
}

TEST(ProfileFileTest, OnlyRegularFilesAreOpened) {
  const fs::path dir = fs::temp_directory_path() / ("kelvo-profile-" + std::to_string(::getpid()));
  fs::create_directories(dir / "folder.kvp");
  const std::string fifo = (dir / "pipe.kvp").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadProfileFile((dir / "folder.kvp").string()).status, ReadStatus::CannotOpen);
  EXPECT_EQ(ReadProfileFile(fifo).status, ReadStatus::CannotOpen);
  EXPECT_EQ(ReadProfileFile("/dev/zero").status, ReadStatus::CannotOpen);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kelvo::profiles
