// SPDX-License-Identifier: GPL-2.0-or-later
// The profile box against a simulated access point: saving what the pages show, loading it
// into other pages and pushing it to the device, and the list's commands.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "mib/Conversions.h"
#include "pages/ConfigurationSheet.h"
#include "pages/PageFixture.h"
#include "pages/ProfileStore.h"

namespace kelvo::pages {
namespace {

namespace fs = std::filesystem;
using profiles::kProfileHeader;
using ui::Answer;

// What a profile carries, as the pages show it.
std::map<std::string, std::string> Snapshot(ConfigurationSheet& sheet) {
  auto& ip = sheet.IpConfig();
  auto& w = sheet.Wireless();
  auto& s = sheet.Security();
  const auto sel = [](const ui::ChoiceList& list) { return std::to_string(list.Selection()); };
  const auto check = [](const ui::CheckBox& box) { return box.Checked() ? "on" : "off"; };
  std::string macs;
  for (const auto& mac : w.MacAddressList().Items()) macs += mac + ' ';
  return {{"ip", mib::FormatDottedAddress(ip.IpAddress().Address())},
          {"mask", mib::FormatDottedAddress(ip.SubnetMask().Address())},
          {"gateway", mib::FormatDottedAddress(ip.Gateway().Address())},
          {"dhcp", sel(ip.DhcpClient())},
          {"port", sel(ip.PrimaryPort())},
          {"wlan", check(w.WlanInterface())},
          {"reject", check(w.RejectBroadcastProbe())},
          {"channel", sel(w.ChannelId())},
          {"essid", w.Essid().Text()},
          {"name", w.DeviceName().Text()},
          {"basic", sel(w.BasicRates())},
          {"data", sel(w.DataRates())},
          {"preamble", sel(w.PreambleType())},
          {"beacon", w.BeaconInterval().Text()},
          {"rts", w.RtsThreshold().Text()},
          {"frag", w.FragThreshold().Text()},
          {"mode", sel(w.Mode())},
          {"bssid", w.Bssid().Text()},
          {"authorized", check(w.EnableAuthorizedTable())},
          {"macs", macs},
          {"active", sel(s.Active())},
          {"wep", sel(s.Wep())},
          {"auth", sel(s.Auth())},
          {"encry", sel(s.Encry())},
          {"encryEnabled", s.Encry().Enabled() ? "yes" : "no"},
          {"encryEntries", std::to_string(s.Encry().Count())}};
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class ProfileStoreTest : public test::PageFixture {
 protected:
  ProfileStoreTest()
      : settings_(fs::temp_directory_path() /
                  ("kelvo-profiles-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::remove_all(settings_);
    fs::create_directories(settings_ / "Profile");
    context_.settingsPath = settings_.string() + "/";
    sheet_ = std::make_unique<ConfigurationSheet>(context_);
  }
  ~ProfileStoreTest() override { fs::remove_all(settings_); }

  ProfileStore& Store() { return sheet_->Profiles(); }
  ui::ListBox& List() { return sheet_->System().ProfileNameList(); }
  fs::path File(const std::string& name) const { return settings_ / "Profile" / (name + ".kvp"); }
  void PutFile(const std::string& fileName, const std::string& text) {
    std::ofstream(settings_ / "Profile" / fileName, std::ios::binary) << text;
  }

  // Opens the sheet on access point 0 and visits the tabs a profile draws from.
  void OpenAndVisit() {
    sheet_->Open(Host());
    for (int tab : {ConfigurationSheet::kIpConfig, ConfigurationSheet::kWireless,
                    ConfigurationSheet::kSecurity, ConfigurationSheet::kSystem}) {
      sheet_->PressTab(tab);
    }
    ASSERT_EQ(TakeMessages(), std::vector<std::string>{});
  }
  void Select(const std::string& name) {
    const auto& items = List().Items();
    const auto it = std::find(items.begin(), items.end(), name);
    ASSERT_NE(it, items.end()) << name;
    List().Select(static_cast<int>(it - items.begin()));
  }
  // The sets the access point received, one text per request: variable names in order.
  std::vector<std::string> Sets() {
    std::vector<std::string> requests;
    int sequence = 0;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.pdu != "set") continue;
      if (entry.sequence != sequence) {
        requests.emplace_back();
        sequence = entry.sequence;
      }
      const auto variable = mib::FindByOid(entry.oid);
      requests.back() += (requests.back().empty() ? "" : " ") +
                         std::string(variable ? mib::Info(*variable).name : entry.oid);
    }
    return requests;
  }

  fs::path settings_;
  std::unique_ptr<ConfigurationSheet> sheet_;
};

TEST_F(ProfileStoreTest, SavedProfileMatchesTheLayoutAndRestoresEverySetting) {
  sim_.Set(0, "IpAddress", 'a', "192.168.10.20");
  sim_.Set(0, "SubnetMask", 'a', "255.255.255.0");
  sim_.Set(0, "Gateway", 'a', "192.168.10.1");
  sim_.Set(0, "DhcpClient", 'i', "2");
  sim_.Set(0, "Channel", 'i', "6");
  sim_.Set(0, "Essid", 's', "LabNet");
  sim_.Set(0, "DeviceName", 's', "ap-west");
  sim_.Set(0, "DataRate", 'i', "3");
  sim_.Set(0, "PreambleType", 'i', "2");
  sim_.Set(0, "BeaconInterval", 'i', "200");
  sim_.Set(0, "RtsThreshold", 'i', "1500");
  sim_.Set(0, "FragmentationThreshold", 'i', "2000");
  sim_.Set(0, "OperationMode", 'i', "5");
  sim_.Set(0, "Bssid", 'x', "00A0C5112233");
  sim_.Set(0, "AuthorizedTableEnable", 'i', "1");
  sim_.Set(0, "WepMode", 'i', "3");
  sim_.Set(0, "ActiveKey", 'i', "2");
  sim_.Set(0, "AuthenticationType", 'i', "3");
  sim_.Set(0, "EncryptionType", 'i', "1");
  sim_.Command("set-table 1 001122334455 AABBCCDDEEFF");
  OpenAndVisit();
  const auto before = Snapshot(*sheet_);

  sheet_->System().NewProfileName().Type("lab");
  Store().AddSave();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
  ASSERT_TRUE(fs::exists(File("lab")));
  const std::string basic = sheet_->Wireless().BasicRates().SelectedText();
  const std::string basicIndex = std::to_string(sheet_->Wireless().BasicRates().Selection());
  EXPECT_EQ(Contents(File("lab")),
            "@@@ Kelvodesk Profile Information @@@\r\n[IP CONFIG]\r\n"
            "IP Address:192.168.10.20\r\nSubnet mask:255.255.255.0\r\nGateway:192.168.10.1\r\n"
            "DHCP:2\r\nPrimary port:" +
                std::to_string(sheet_->IpConfig().PrimaryPort().Selection() + 1) +
                "\r\n[WIRELESS CONFIG]\r\nWlan Enable:" +
                (sheet_->Wireless().WlanInterface().Checked() ? "0" : "1") +
                "\r\nReject Broadcast SSID:" +
                (sheet_->Wireless().RejectBroadcastProbe().Checked() ? "1" : "0") +
                "\r\nChannel ID:6\r\nESSID:LabNet\r\nAP Name:ap-west\r\nBasic Rates:" + basicIndex +
                "\r\nData Rates:3\r\nPreamble Type:2\r\nBeacon Interval:200\r\n"
                "RTS Threshold:1500\r\nFragmentation Threshold:2000\r\nOperation Mode:5\r\n"
                "BSSID:00A0C5112233\r\nAuthorized Enable:1\r\nAuthorized MAC List:2\r\n"
                "001122334455\r\nAABBCCDDEEFF\r\n[ENCRYPTION CONFIG]\r\nActive Key:2\r\n"
                "WEP Type:3\r\nAuth Type:3\r\nEncryption Type:1\r\n[END]\r\n");

  // Fresh pages of another run read it back.
  snmp::PollWaitHook wait;
  mib::AgentValues values;
  snmp::AgentSession session(snmp::SnmpComponent::Create(wait), prompter_, busy_);
  pages::PageContext context{session, values, timers_, context_.settingsPath};
  ConfigurationSheet fresh(context);
  fresh.System().RebuildChannelList();
  ASSERT_TRUE(fresh.Profiles().ReadProfile(File("lab").string()));
  EXPECT_EQ(Snapshot(fresh), before);
  EXPECT_EQ(fresh.Security().Wep().SelectedText(), "Enable 128");
  EXPECT_EQ(fresh.Wireless().BasicRates().SelectedText(), basic);
  // Keys are not in the file: the load leaves 128-bit zero placeholders, Key 2 editable.
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(fresh.Security().Key(i).Text(), std::string(26, '0'));
    EXPECT_EQ(fresh.Security().Key(i).ReadOnly(), i != 1);
  }
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
}

// Loading each fixture into pages that hold other values: what changes and what stays.
// Profiles are plain files that get copied around: no key, secret, pre-shared key or password
// of the pages goes into one, whatever the pages hold.
TEST_F(ProfileStoreTest, AProfileHoldsNoKeysSecretsOrPasswords) {
  OpenAndVisit();
  auto& security = sheet_->Security();
  const std::vector<std::string> secrets = {
      "A1B2C3D4E5",
      "F6E5D4C3B2",
      "1122334455",
      "99887766AA",
      "radius-secret-one",
      "radius-secret-two",
      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF",
      "new-admin-pass"};
  for (std::size_t i = 0; i < 4; ++i) security.Key(i).SetText(secrets[i]);
  security.Secret(0).SetText(secrets[4]);
  security.Secret(1).SetText(secrets[5]);
  security.Psk().SetText(secrets[6]);
  sheet_->System().NewPassword().SetText(secrets[7]);
  sheet_->System().ConfirmPassword().SetText(secrets[7]);

  sheet_->System().NewProfileName().Type("shared");
  Store().AddSave();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
  ASSERT_TRUE(fs::exists(File("shared")));
  const std::string text = Contents(File("shared"));
  for (const std::string& secret : secrets) {
    EXPECT_EQ(text.find(secret), std::string::npos) << secret;
  }
  // Nor the write community the session was opened with.
  EXPECT_EQ(text.find("admin"), std::string::npos);
}

TEST_F(ProfileStoreTest, FixturesChangeOnlyWhatTheyHold) {
  OpenAndVisit();
  const auto fixture = [](const char* name) {
    return (fs::path(KELVO_SOURCE_DIR) / "tests/fixtures/profiles" / name).string();
  };
  struct Case {
    const char* file;
    std::map<std::string, std::string> changes;  // against the complete profile's values
  };
  // Every fixture is loaded over the complete profile's values after a baseline reload from
  // the device, so a key left alone shows the device's value.
  ASSERT_TRUE(Store().ReadProfile(fixture("complete_crlf.kvp")));
  const auto complete = Snapshot(*sheet_);
  EXPECT_EQ(complete.at("mode"), "3");
  EXPECT_EQ(complete.at("encry"), "1");
  EXPECT_EQ(complete.at("encryEnabled"), "yes");
  EXPECT_EQ(complete.at("macs"), "001122334455 AABBCCDDEEFF ");

  const Case cases[] = {
      {"lf_endings.kvp", {}},
      {"sections_reordered.kvp", {}},
      {"blank_and_space_led_lines.kvp", {}},
      {"operation_mode_4.kvp", {{"mode", "-1"}}},
      {"unknown_channel.kvp", {{"channel", "0"}}},
      // -1 marks the plan's empty positions; it is no channel and selects the automatic one.
      {"channel_of_an_empty_slot.kvp", {{"channel", "0"}}},
      // Open System forces "None", disabled, whatever the file's encryption says.
      // 802.1X offers only its own key choice, fixed.
      {"eap_authentication.kvp",
       {{"active", "0"},
        {"wep", "0"},
        {"auth", "3"},
        {"encry", "0"},
        {"encryEnabled", "no"},
        {"encryEntries", "1"}}},
      // No authentication selected: the encryption list keeps its entries and is not tied.
      {"unknown_auth_type.kvp", {{"active", "2"}, {"wep", "-1"}, {"auth", "-1"}, {"encry", "0"}}},
      {"auth_type_1_forces_none.kvp",
       {{"active", "0"}, {"wep", "0"}, {"auth", "0"}, {"encry", "0"}, {"encryEnabled", "no"}}},
      // A value without digits is 0: lists counted from 1 lose their selection, the others
      // take position 0; the boxes take 0 as their number.
      {"empty_values.kvp",
       {{"ip", "0.0.0.0"}, {"mask", "0.0.0.0"}, {"gateway", "0.0.0.0"}, {"dhcp", "-1"},
        {"port", "-1"},    {"reject", "off"},   {"channel", "0"},       {"essid", ""},
        {"name", ""},      {"basic", "0"},      {"data", "-1"},         {"preamble", "-1"},
        {"beacon", "0"},   {"rts", "0"},        {"frag", "0"},          {"mode", "0"},
        {"macs", ""},      {"active", "-1"},    {"wep", "0"},           {"auth", "-1"},
        {"encry", "0"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(Store().ReadProfile(fixture("complete_crlf.kvp")));
    ASSERT_TRUE(Store().ReadProfile(fixture(c.file)));
    auto expected = complete;
    for (const auto& [field, value] : c.changes) expected[field] = value;
    EXPECT_EQ(Snapshot(*sheet_), expected);
  }
  // Refused files leave the pages as they were, with the message.
  sheet_->Wireless().Essid().SetText("kept");
  const auto kept = Snapshot(*sheet_);
  EXPECT_FALSE(Store().ReadProfile(fixture("header_wrong_case.kvp")));
  EXPECT_FALSE(Store().ReadProfile(fixture("no_such_file.kvp")));
  EXPECT_EQ(Snapshot(*sheet_), kept);
  ASSERT_EQ(prompter_.Shown().size(), 2u);
  EXPECT_EQ(prompter_.Shown()[0].text, "Not correctly Kelvodesk profile!");
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
  EXPECT_EQ(prompter_.Shown()[1].text, "Can not open file!");
  EXPECT_EQ(prompter_.Shown()[1].icon, ui::MessageIcon::Error);
}

TEST_F(ProfileStoreTest, ListFollowsTheDirectoryOnEveryShowAndHide) {
  PutFile("beta.kvp", "x");
  PutFile("Alpha.kvp", "x");
  PutFile("site.north.kvp", "x");
  PutFile("notes.txt", "x");
  PutFile(".kvp", "x");
  const std::string longName(40, 'n');
  PutFile(longName + ".kvp", "x");
  fs::create_directories(settings_ / "Profile" / "folder.kvp");
  sheet_->Open(Host());
  EXPECT_EQ(List().Items(), (std::vector<std::string>{"Alpha", "beta", longName, "site"}));
  PutFile("gamma.kvp", "x");
  fs::remove(File("beta"));
  EXPECT_EQ(List().Count(), 4);
  sheet_->PressTab(ConfigurationSheet::kAbout);
  EXPECT_EQ(List().Items(), (std::vector<std::string>{"Alpha", "gamma", longName, "site"}));
  // A missing directory is an empty list, without a message.
  fs::remove_all(settings_ / "Profile");
  sheet_->PressTab(ConfigurationSheet::kSystem);
  EXPECT_EQ(List().Count(), 0);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
}

TEST_F(ProfileStoreTest, AddSaveAsksBeforeOverwritingAListedName) {
  OpenAndVisit();
  ui::TextField& name = sheet_->System().NewProfileName();
  Store().AddSave();  // empty name: nothing
  EXPECT_EQ(prompter_.Shown().size(), 0u);
  EXPECT_EQ(List().Count(), 0);

  name.Type("home");
  Store().AddSave();
  name.Type("office");
  Store().AddSave();
  EXPECT_EQ(List().Items(), (std::vector<std::string>{"office", "home"}));
  EXPECT_EQ(name.Text(), "");
  EXPECT_TRUE(fs::exists(File("home")));

  PutFile("home.kvp", "old");
  name.Type("home");
  prompter_.QueueAnswer(Answer::No);
  Store().AddSave();
  ASSERT_EQ(prompter_.Shown().size(), 1u);
  EXPECT_EQ(prompter_.Shown()[0].text,
            "The profile name is already exist! Do you want to rewrite it?");
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::None);
  EXPECT_EQ(List().Selection(), 1);
  EXPECT_EQ(name.Text(), "home");
  EXPECT_EQ(Contents(File("home")), "old");

  prompter_.QueueAnswer(Answer::Yes);
  Store().AddSave();
  EXPECT_NE(Contents(File("home")), "old");
  EXPECT_EQ(name.Text(), "");
  EXPECT_EQ(List().Items(), (std::vector<std::string>{"office", "home"}));

  // Names differ in case on this file system: a second entry and a second file, no question.
  TakeMessages();
  name.Type("Home");
  Store().AddSave();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
  EXPECT_EQ(List().Items(), (std::vector<std::string>{"Home", "office", "home"}));
  EXPECT_TRUE(fs::exists(File("Home")));
}

TEST_F(ProfileStoreTest, FailedSavesKeepTheListTheFieldAndTheOldFile) {
  OpenAndVisit();
  ui::TextField& name = sheet_->System().NewProfileName();
  // A page that refuses its values: its message, no file.
  sheet_->Wireless().BeaconInterval().SetText("0");
  name.Type("bad");
  Store().AddSave();
  EXPECT_EQ(TakeMessages().size(), 1u);
  EXPECT_FALSE(fs::exists(File("bad")));
  EXPECT_EQ(name.Text(), "bad");
  sheet_->Wireless().BeaconInterval().SetText("100");

  // A disk that fills part way: silent, nothing listed, the old file intact.
  struct FullDisk final : util::FileReplacer {
    ssize_t WriteSome(int fd, const char* data, std::size_t size) override {
      if (written_ >= 40) {
        errno = ENOSPC;
        return -1;
      }
      const auto n = util::FileReplacer::WriteSome(fd, data, std::min<std::size_t>(size, 40));
      written_ += static_cast<std::size_t>(n);
      return n;
    }
    std::size_t written_ = 0;
  } fullDisk;
  Store().SetFileReplacer(&fullDisk);
  Store().AddSave();
  EXPECT_EQ(List().Count(), 0);
  EXPECT_EQ(name.Text(), "bad");
  PutFile("kept.kvp", "the old profile");
  sheet_->PressTab(ConfigurationSheet::kAbout);
  Select("kept");
  Store().Save();
  EXPECT_EQ(Contents(File("kept")), "the old profile");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});

  // A name that would lead out of the profile directory is not a name.
  name.SetText("../up");
  Store().AddSave();
  EXPECT_FALSE(fs::exists(settings_ / "up.kvp"));
  EXPECT_EQ(name.Text(), "../up");

  // Without the profile directory the save ends silently.
  Store().SetFileReplacer(nullptr);
  fs::remove_all(settings_ / "Profile");
  name.SetText("lost");
  Store().AddSave();
  EXPECT_EQ(name.Text(), "lost");
  EXPECT_EQ(List().Items(), std::vector<std::string>{"kept"});
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
}

TEST_F(ProfileStoreTest, DelSelectsTheEntryThatTakesThePlace) {
  for (const char* name : {"a", "b", "c"}) PutFile(std::string(name) + ".kvp", "x");
  sheet_->Open(Host());
  Store().Del();  // nothing selected
  EXPECT_EQ(List().Count(), 3);
  Select("c");
  Store().Del();
  EXPECT_EQ(List().Items(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(List().Selection(), 1);
  EXPECT_FALSE(fs::exists(File("c")));
  List().Select(0);
  Store().Del();
  EXPECT_EQ(List().Items(), std::vector<std::string>{"b"});
  EXPECT_EQ(List().Selection(), 0);
  // A file already gone: the entry goes, silently.
  fs::remove(File("b"));
  Store().Del();
  EXPECT_EQ(List().Count(), 0);
  EXPECT_EQ(List().Selection(), ui::ChoiceList::kNone);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
}

TEST_F(ProfileStoreTest, LongAndDottedNamesReachTheirOwnFiles) {
  const std::string longName(40, 'n');
  const std::string cut(31, 'n');
  PutFile(longName + ".kvp", "long");
  PutFile(cut + ".kvp", "cut");
  PutFile("site.north.kvp", "dotted");
  OpenAndVisit();
  Select(longName);
  Store().Save();
  EXPECT_NE(Contents(File(longName)), "long");
  EXPECT_EQ(Contents(File(cut)), "cut");
  Store().Del();
  EXPECT_FALSE(fs::exists(File(longName)));
  EXPECT_TRUE(fs::exists(File(cut)));

  // "site" stands for site.north.kvp, but the name opens site.kvp.
  sim_.ClearLog(0);
  Select("site");
  prompter_.QueueAnswer(Answer::Yes);
  Store().Load();
  EXPECT_EQ(TakeMessages(), (std::vector<std::string>{
                                "Do you  want to load this profile setting and upgrade to Agent?",
                                "Can not open file!"}));
  EXPECT_EQ(Sets(), std::vector<std::string>{});
}

TEST_F(ProfileStoreTest, LoadReadsThenPushesGroupsTableAndSecurityInOrder) {
  OpenAndVisit();
  const std::string profile =
      (fs::path(KELVO_SOURCE_DIR) / "tests/fixtures/profiles" / "complete_crlf.kvp").string();
  fs::copy_file(profile, File("lab"));
  sheet_->PressTab(ConfigurationSheet::kAbout);
  sheet_->PressTab(ConfigurationSheet::kSystem);
  sim_.ClearLog(0);
  const auto before = Snapshot(*sheet_);

  Select("lab");
  prompter_.QueueAnswer(Answer::No);
  Store().Load();
  EXPECT_EQ(Snapshot(*sheet_), before);
  EXPECT_EQ(Sets(), std::vector<std::string>{});

  prompter_.QueueAnswer(Answer::Yes);
  TakeMessages();
  Store().Load();
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{
                                "Do you  want to load this profile setting and upgrade to Agent?"});
  const auto sets = Sets();
  ASSERT_EQ(sets.size(), 5u);
  EXPECT_TRUE(sets[0].starts_with("IpAddress")) << sets[0];
  EXPECT_TRUE(sets[1].starts_with("Channel")) << sets[1];
  EXPECT_EQ(sets[2], "AuthorizedTableEntry");
  EXPECT_EQ(sets[3], "AuthorizedTableEntry");
  EXPECT_NE(sets[4].find("AuthenticationType"), std::string::npos) << sets[4];
  // The all-zero keys of a load are not sent: the device keeps its keys.
  EXPECT_EQ(sets[4].find("WepKey"), std::string::npos) << sets[4];
  EXPECT_EQ(sim_.Get(0, "Essid").value, "4C6162204E6574");  // "Lab Net"
  EXPECT_EQ(sim_.Get(0, "OperationMode").value, "5");
  EXPECT_EQ(sim_.Get(0, "IpAddress").value, "192.168.10.20");
  EXPECT_EQ(sim_.Get(0, "WepMode").value, "3");
  EXPECT_EQ(sim_.AuthorizedTable(0), (std::vector<std::string>{"001122334455", "AABBCCDDEEFF"}));
}

TEST_F(ProfileStoreTest, ALoadedDhcpModeEnablesTheAddressesAsAChoiceWould) {
  OpenAndVisit();
  auto& ip = sheet_->IpConfig();
  // DHCP 1 is "Enabled": the device supplies the addresses, so they are not typed in.
  for (const char* dhcp : {"1", "2", "1"}) {
    SCOPED_TRACE(dhcp);
    PutFile("dhcp.kvp", std::string("@@@ Kelvodesk Profile Information @@@\r\n[IP CONFIG]\r\n"
                                    "IP Address:10.0.0.9\r\nSubnet mask:255.0.0.0\r\n"
                                    "Gateway:10.0.0.1\r\nDHCP:") +
                            dhcp + "\r\nPrimary port:1\r\n");
    ASSERT_TRUE(Store().ReadProfile(File("dhcp").string()));
    const bool fixed = std::string(dhcp) == "2";
    EXPECT_EQ(ip.IsDhcpDisabled(), fixed);
    EXPECT_EQ(ip.IpAddress().Enabled(), fixed);
    EXPECT_EQ(ip.SubnetMask().Enabled(), fixed);
    EXPECT_EQ(ip.Gateway().Enabled(), fixed);
  }
}

TEST_F(ProfileStoreTest, APushStopsWhereTheDeviceStopsAnswering) {
  OpenAndVisit();
  ASSERT_TRUE(Store().ReadProfile(
      (fs::path(KELVO_SOURCE_DIR) / "tests/fixtures/profiles/complete_crlf.kvp").string()));
  sim_.ClearLog(0);
  sim_.Fault(0, "silent");
  EXPECT_FALSE(Store().ApplyProfile());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{std::string(snmp::messages::kTimeout)});
  EXPECT_EQ(Sets().size(), 1u);
  // The device refuses group 4: the table and security are not written either.
  sim_.Fault(0, "none");
  sim_.ClearLog(0);
  sheet_->Wireless().BeaconInterval().SetText("1000");
  sim_.Fault(0, "error 3 1");
  EXPECT_FALSE(Store().ApplyProfile());
  EXPECT_EQ(Sets().size(), 1u);
  EXPECT_EQ(TakeMessages().size(), 1u);
  // A page that refuses its values stops everything before the device is asked.
  sim_.Fault(0, "none");
  sim_.ClearLog(0);
  sheet_->Wireless().BeaconInterval().SetText("5000");
  EXPECT_FALSE(Store().ApplyProfile());
  EXPECT_EQ(TakeMessages().size(), 1u);
  EXPECT_EQ(Sets(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kelvo::pages
