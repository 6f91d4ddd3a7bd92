// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli profile show, save and apply against simulated access points.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::test {
namespace {

constexpr char kTimeout[] =
    "Snmp Time out!  Please check your network is available and Agent was not be shutdown...";
constexpr char kHeader[] = "@@@ Kelvodesk Profile Information @@@";

// One setting a profile carries: the value the access point holds when the profile is saved,
// how show prints it, and another valid value the test puts on the device before the apply.
struct Setting {
  const char* key;
  const char* variable;
  char type;
  const char* saved;
  const char* shown;
  const char* changed;
};
constexpr Setting kSettings[] = {
    {"IP Address", "IpAddress", 'a', "10.0.0.7", "10.0.0.7", "10.0.0.9"},
    {"Subnet mask", "SubnetMask", 'a', "255.255.0.0", "255.255.0.0", "255.255.255.0"},
    {"Gateway", "Gateway", 'a', "10.0.0.254", "10.0.0.254", "10.0.0.1"},
    {"DHCP", "DhcpClient", 'i', "2", "2", "1"},
    {"Primary port", "PrimaryPort", 'i', "2", "2", "1"},
    {"Wlan Enable", "WlanDisable", 'i', "1", "1", "0"},
    {"Reject Broadcast SSID", "RejectBroadcastProbe", 'i', "1", "1", "0"},
    {"Channel ID", "Channel", 'i', "11", "11", "3"},
    {"ESSID", "Essid", 's', "Lab Net", "Lab Net", "elsewhere"},
    {"AP Name", "DeviceName", 's', "Roof", "Roof", "Cellar"},
    {"Basic Rates", "BasicRates", 'x', "00008B00", "2", "82000000"},
    {"Data Rates", "DataRate", 'i', "2", "2", "4"},
    {"Preamble Type", "PreambleType", 'i', "1", "1", "2"},
    {"Beacon Interval", "BeaconInterval", 'i', "250", "250", "100"},
    {"RTS Threshold", "RtsThreshold", 'i', "1000", "1000", "2347"},
    {"Fragmentation Threshold", "FragmentationThreshold", 'i', "1500", "1500", "2346"},
    {"Operation Mode", "OperationMode", 'i', "1", "1", "2"},
    {"BSSID", "Bssid", 'x', "0A0B0C0D0E0F", "0A0B0C0D0E0F", "000000000000"},
    {"Authorized Enable", "AuthorizedTableEnable", 'i', "1", "1", "2"},
    {"Active Key", "ActiveKey", 'i', "2", "2", "1"},
    {"WEP Type", "WepMode", 'i', "3", "3", "1"},
    {"Auth Type", "AuthenticationType", 'i', "3", "3", "1"},
    {"Encryption Type", "EncryptionType", 'i', "1", "1", "0"},
};
const std::vector<std::string> kSavedTable = {"001122334455", "0A0B0C0D0E0F"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::string HexOf(const std::string& text) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const unsigned char c : text) hex += {kDigits[c >> 4], kDigits[c & 15]};
  return hex;
}

class ProfileCliTest : public ::testing::Test {
 protected:
  ProfileCliTest() {
    char pattern[] = "/tmp/kelvo-profile-cli-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary directory");
    dir_ = pattern;
  }
  ~ProfileCliTest() override { std::filesystem::remove_all(dir_); }

  // community: handed over in the environment, as a script would.
  ProgramResult Cli(std::vector<std::string> args,
                    const std::optional<std::string>& community = std::nullopt) {
    args.insert(args.begin(), {KELVO_CLI_PATH, "--port", std::to_string(sim_.Port()), "profile"});
    std::vector<std::string> environment;
    if (community) environment.push_back("KELVO_COMMUNITY=" + *community);
    return RunProgram(args, 20000, environment);
  }
  std::string File(const std::string& name) const { return dir_ + '/' + name; }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(File(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ostringstream bytes;
    bytes << std::ifstream(File(name), std::ios::binary).rdbuf();
    return bytes.str();
  }
  // Puts one column of kSettings and an authorised table on the device.
  void PutOnDevice(int ap, const char* Setting::*column, const std::vector<std::string>& table) {
    for (const Setting& s : kSettings) sim_.Set(ap, s.variable, s.type, s.*column);
    std::string command = "set-table " + sim_.Address(ap);
    for (const std::string& mac : table) command += ' ' + mac;
    sim_.Command(command);
  }
  bool AnySet(int ap) {
    for (const auto& entry : sim_.Log(ap)) {
      if (entry.pdu == "set") return true;
    }
    return false;
  }

  ApSimProcess sim_;
  std::string dir_;
};

TEST_F(ProfileCliTest, SaveWritesWhatTheDeviceHoldsAndShowPrintsIt) {
  PutOnDevice(0, &Setting::saved, kSavedTable);
  const auto saved = Cli({"save", sim_.Address(0), File("ap.kvp")}, "admin");
  ASSERT_EQ(saved.exitCode, 0) << saved.err;
  EXPECT_EQ(saved.err, "");
  EXPECT_EQ(Read("ap.kvp").rfind(std::string(kHeader) + "\r\n[IP CONFIG]\r\n", 0), 0U);

  const auto shown = Cli({"show", File("ap.kvp")});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  std::vector<std::string> expected;
  for (const Setting& s : kSettings) expected.push_back(std::string(s.key) + ": " + s.shown);
  expected.push_back("Authorized MAC List: 2");
  expected.insert(expected.end(), kSavedTable.begin(), kSavedTable.end());
  EXPECT_EQ(Lines(shown.out), expected);
}

TEST_F(ProfileCliTest, ApplyPutsEveryGroupAndTheTableBack) {
  PutOnDevice(0, &Setting::saved, kSavedTable);
  ASSERT_EQ(Cli({"save", sim_.Address(0), File("ap.kvp")}, "admin").exitCode, 0);
  PutOnDevice(0, &Setting::changed, {"665544332211"});
  const auto applied = Cli({"apply", File("ap.kvp"), sim_.Address(0)}, "admin");
  ASSERT_EQ(applied.exitCode, 0) << applied.err;
  EXPECT_EQ(applied.err, "");
  for (const Setting& s : kSettings) {
    SCOPED_TRACE(s.key);
    EXPECT_EQ(sim_.Get(0, s.variable).value, s.type == 's' ? HexOf(s.saved) : s.saved);
  }
  EXPECT_EQ(sim_.AuthorizedTable(0), kSavedTable);
}

// Operation mode 4 selects no entry, so its value cannot be put into the request: the rest of
// the push goes out, and the command says what it left out and fails.
TEST_F(ProfileCliTest, ApplyFailsNamingAValueItCouldNotSend) {
  const auto applied =
      Cli({"apply", std::string(KELVO_SOURCE_DIR) + "/tests/fixtures/profiles/operation_mode_4.kvp",
           sim_.Address(0)},
          "admin");
  EXPECT_EQ(applied.exitCode, 1);
  EXPECT_EQ(
      applied.err,
      "Snmp set variable error! Please retry again.\nkelvo-cli: not written: OperationMode\n");
  EXPECT_EQ(sim_.Get(0, "Essid").value, HexOf("Lab Net"));
}

// A wrong password shows first in the authorised table, which travels by SetRequest: without it
// the push would write back an empty table, so nothing is written at all.
TEST_F(ProfileCliTest, AWrongPasswordWritesNothing) {
  Write("ap.kvp", std::string(kHeader) +
                      "\n[IP CONFIG]\nGateway:10.9.9.9\n[WIRELESS CONFIG]\n"
                      "Wlan Enable:1\n");
  for (const char* command : {"apply", "save"}) {
    SCOPED_TRACE(command);
    const auto run = std::string(command) == "apply"
                         ? Cli({"apply", File("ap.kvp"), sim_.Address(0)}, "wrong")
                         : Cli({"save", sim_.Address(0), File("new.kvp")}, "wrong");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "kelvo-cli: the access point did not send its authorised MAC table (is the "
              "community right?)\n");
  }
  EXPECT_NE(sim_.Get(0, "Gateway").value, "10.9.9.9");
  EXPECT_FALSE(std::filesystem::exists(File("new.kvp")));
  std::set<std::string> written;
  for (const auto& entry : sim_.Log(0)) {
    if (entry.pdu == "set") written.insert(entry.oid);
  }
  EXPECT_FALSE(written.contains("1.3.6.1.4.1.15177.1.1.2.4.0"));  // Gateway
}

TEST_F(ProfileCliTest, RefusedFilesExitWithTheMessageAndWriteNothing) {
  struct Case {
    const char* name;
    const char* bytes;  // nullptr: no such file
    const char* message;
  };
  const Case cases[] = {
      {"missing", nullptr, "Can not open file!\n"},
      {"empty", "", "Not correctly Kelvodesk profile!\n"},
      {"header_in_lower_case", "@@@ kelvodesk profile information @@@\r\n[IP CONFIG]\r\n",
       "Not correctly Kelvodesk profile!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.bytes != nullptr) Write(c.name, c.bytes);
    for (const char* command : {"show", "apply"}) {
      std::vector<std::string> args = {command, File(c.name)};
      if (args[0] == "apply") args.push_back(sim_.Address(0));
      const auto result = Cli(args, "admin");
      EXPECT_EQ(result.exitCode, 1) << command;
      EXPECT_EQ(result.err, c.message) << command;
      EXPECT_EQ(result.out, "") << command;
    }
  }
  EXPECT_FALSE(AnySet(0));
}

TEST_F(ProfileCliTest, ASilentDeviceTimesOutAndNothingIsWritten) {
  Write("old.kvp", "kept");
  ASSERT_EQ(Cli({"save", sim_.Address(1), File("ap.kvp")}, "admin").exitCode, 0);
  sim_.Fault(0, "silent");
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"apply", File("ap.kvp"), sim_.Address(0)},
                                             {"save", sim_.Address(0), File("old.kvp")}}) {
    const auto result = Cli(args, "admin");
    EXPECT_EQ(result.exitCode, 1) << args[0];
    // The first unanswered read ends the run: one time-out, not one per group.
    EXPECT_EQ(Lines(result.err), std::vector<std::string>{kTimeout}) << args[0];
  }
  EXPECT_EQ(Read("old.kvp"), "kept");
  sim_.Fault(0, "none");
  EXPECT_FALSE(AnySet(0));
}

TEST_F(ProfileCliTest, ShowPrintsOnlyTheMatchedKeysOfAnLfFile) {
  // "Subnet Mask:" is misspelt and so left out; the bad list line counts towards the three,
  // and the long entry is cut to its first 12 digits.
  Write("lf.kvp", std::string(kHeader) +
                      " trailing\n[WIRELESS CONFIG]\nWlan Enable:0\n\n"
                      " indented\nReject Broadcast SSID:1\nChannel ID:6\nESSID:a b:c\nAP Name:\n"
                      "Basic Rates:1\nData Rates:4\nPreamble Type:2\nBeacon Interval:100\n"
                      "RTS Threshold:2347\nFragmentation Threshold:2346\nOperation Mode:2\n"
                      "BSSID:000000000000\nAuthorized Enable:1\nAuthorized MAC List:3\n"
                      "aabbccddeeff\nnot a mac\n0011223344556677\nFFEEDDCCBBAA\n"
                      "[IP CONFIG]\nIP Address:192.168.1.10\nSubnet Mask:255.255.255.0\n");
  const auto shown = Cli({"show", File("lf.kvp")});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_EQ(shown.out,
            "IP Address: 192.168.1.10\nWlan Enable: 0\nReject Broadcast SSID: 1\nChannel ID: 6\n"
            "ESSID: a b:c\nAP Name: \nBasic Rates: 1\nData Rates: 4\nPreamble Type: 2\n"
            "Beacon Interval: 100\nRTS Threshold: 2347\nFragmentation Threshold: 2346\n"
            "Operation Mode: 2\nBSSID: 000000000000\nAuthorized Enable: 1\n"
            "Authorized MAC List: 2\naabbccddeeff\n001122334455\n");
}

// Every access point of a varied fleet reads into the sheet without a message, and the saved
// profiles show a fleet rather than copies of one device.
TEST(ProfileCliVariedFleet, EveryAccessPointSavesWithoutAMessage) {
  ApSimProcess fleet({.count = 40, .extraArguments = {"--vary"}});
  char pattern[] = "/tmp/kelvo-varied-fleet-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  std::set<std::string> profiles, channels, essids;
  for (int ap = 0; ap < fleet.Count(); ++ap) {
    const std::string file = dir + "/ap" + std::to_string(ap) + ".kvp";
    const auto saved = RunProgram({KELVO_CLI_PATH, "--port", std::to_string(fleet.Port()),
                                   "profile", "save", fleet.Address(ap), file},
                                  20000, {"KELVO_COMMUNITY=admin"});
    EXPECT_EQ(saved.exitCode, 0) << fleet.Address(ap);
    EXPECT_EQ(saved.err, "") << fleet.Address(ap);
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    profiles.insert(text.str());
    for (const std::string& line : Lines(text.str())) {
      if (line.starts_with("Channel ID:")) channels.insert(line);
      if (line.starts_with("ESSID:")) essids.insert(line);
    }
  }
  std::filesystem::remove_all(dir);
  EXPECT_EQ(profiles.size(), 40U);
  EXPECT_GE(channels.size(), 5U);
  EXPECT_GE(essids.size(), 5U);
}

}  // namespace
}  // namespace kelvo::test
