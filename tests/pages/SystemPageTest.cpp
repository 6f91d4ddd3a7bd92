// SPDX-License-Identifier: GPL-2.0-or-later
// The System page against a simulated access point: the read of group 1, the password change,
// the channel list that follows the regulatory domain, the device-wide actions and the
// manufacturing switch.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "mib/Conversions.h"
#include "mib/MibVariables.h"
#include "mib/RadioTables.h"
#include "pages/ManufacturingSwitch.h"
#include "pages/PageFixture.h"
#include "pages/SystemPage.h"

namespace kelvo::pages {
namespace {

namespace fs = std::filesystem;
using mib::FullOid;
using mib::Variable;
using ui::MessageIcon;

std::string TextHex(std::string_view text) {
  return mib::HexText(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));  // NOLINT
}

fs::path ManufactureFixture(const std::string& name) {
  return fs::path(KELVO_SOURCE_DIR) / "tests" / "fixtures" / "manufacture" / name;
}

class SystemPageTest : public test::PageFixture {
 protected:
  SystemPageTest() {
    page_.SetHost(Host());
    page_.SetChannelPlanListener(
        [this](int domain) { channels_.SetEntries(mib::ChannelEntries(domain)); });
  }

  // The variables of the sets the access point received, in order.
  std::vector<test::ApSimLogEntry> Sets() {
    std::vector<test::ApSimLogEntry> sets;
    for (auto& entry : sim_.Log(0)) {
      if (entry.pdu == "set") sets.push_back(std::move(entry));
    }
    return sets;
  }

  SystemPage page_{context_};
  ui::ChoiceList channels_;
};

TEST_F(SystemPageTest, RefreshShowsTheDeviceIdentity) {
  sim_.Set(0, "RegulatoryDomain", 'i', "5");
  sim_.Set(0, "TrapEnable", 'i', "1");
  page_.Refresh();

  EXPECT_TRUE(prompter_.Texts().empty());
  EXPECT_EQ(page_.Description().Text(), "Kelvo 802.11b Wireless Access Point, firmware 1.0.4");
  EXPECT_EQ(page_.MacAddress().Text(), sim_.Get(0, "MacAddress").value);
  EXPECT_EQ(page_.MacAddress().Text().size(), 12u);
  EXPECT_EQ(page_.RegulationDomain().Text(), "MKK");
  EXPECT_EQ(page_.RegulatoryDomainList().Selection(), 5);
  EXPECT_TRUE(page_.TrapEnabled().Checked());
  EXPECT_EQ(TextHex(page_.SerialNumber().Text()), sim_.Get(0, "SerialNumber").value);
  EXPECT_EQ(values_.RegulatoryDomainName, "MKK");

  // Values the lists do not know: the trap box keeps its state, the domain loses its selection
  // and the shown name stays; Apply then writes the domain it wrote last.
  sim_.Set(0, "RegulatoryDomain", 'i', "3");
  page_.Refresh();
  ASSERT_TRUE(page_.Apply());
  sim_.Set(0, "TrapEnable", 'i', "7");
  sim_.Set(0, "RegulatoryDomain", 'i', "9");
  page_.Refresh();
  EXPECT_TRUE(page_.TrapEnabled().Checked());
  EXPECT_FALSE(page_.RegulatoryDomainList().HasSelection());
  EXPECT_EQ(page_.RegulationDomain().Text(), "Spain");
  sim_.ClearLog(0);
  ASSERT_TRUE(page_.Apply());
  const auto sets = Sets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[1].value, "3");
}

TEST_F(SystemPageTest, AReadThatStopsHalfwayKeepsWhatCameBefore) {
  page_.Refresh();
  const std::string serial = page_.SerialNumber().Text();
  sim_.Set(0, "SystemDescription", 's', "Renamed");
  sim_.Set(0, "MacAddress", 'i', "5");  // not an octet string: the read stops there
  sim_.Set(0, "RegulatoryDomain", 'i', "2");
  page_.Refresh();

  EXPECT_EQ(TakeMessages(), std::vector<std::string>{std::string(snmp::messages::kExtractError)});
  EXPECT_EQ(page_.Description().Text(), "Renamed");
  EXPECT_EQ(page_.RegulationDomain().Text(), "FCC");
  EXPECT_EQ(page_.SerialNumber().Text(), serial);

  // A short address shows the bytes that came and no more.
  sim_.Set(0, "MacAddress", 'x', "0A0B0C");
  page_.Refresh();
  EXPECT_EQ(page_.MacAddress().Text(), "0A0B0C");
}

TEST_F(SystemPageTest, ApplyWithoutPasswordWritesThreeVariables) {
  page_.Refresh();
  page_.TrapEnabled().SetChecked(true);
  sim_.ClearLog(0);
  ASSERT_TRUE(page_.Apply());

  const auto sets = Sets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].oid, FullOid(Variable::TrapEnable));
  EXPECT_EQ(sets[0].type, 'i');
  EXPECT_EQ(sets[0].value, "1");
  EXPECT_EQ(sets[1].oid, FullOid(Variable::RegulatoryDomain));
  EXPECT_EQ(sets[1].value, "0");
  EXPECT_EQ(sets[2].oid, FullOid(Variable::SerialNumber));
  EXPECT_EQ(sets[2].type, 's');
  EXPECT_EQ(sets[2].value, sim_.Get(0, "SerialNumber").value);
  for (const auto& set : sets) EXPECT_EQ(set.community, "admin");
  EXPECT_EQ(sim_.Get(0, "TrapEnable").value, "1");
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(SystemPageTest, EqualPasswordsChangeTheDeviceAndTheWriteCommunity) {
  page_.Refresh();
  page_.NewPassword().Type("s3cret");
  page_.ConfirmPassword().Type("s3cret");
  sim_.ClearLog(0);
  ASSERT_TRUE(page_.Apply());

  auto sets = Sets();
  ASSERT_EQ(sets.size(), 5u);
  EXPECT_EQ(sets[3].oid, FullOid(Variable::AccessPassword1));
  EXPECT_EQ(sets[4].oid, FullOid(Variable::AccessPassword2));
  EXPECT_EQ(sets[3].value, TextHex("s3cret"));
  EXPECT_EQ(sets[4].value, TextHex("s3cret"));
  EXPECT_EQ(sets[4].community, "admin");
  EXPECT_EQ(session_.WriteCommunity(), "s3cret");

  // Every later write, of any kind, goes out with the new password and is taken.
  sim_.ClearLog(0);
  ASSERT_TRUE(page_.Reset());
  sets = Sets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].community, "s3cret");
  EXPECT_TRUE(prompter_.Texts().empty());

  // Once the boxes were cleared by a page switch, Apply carries no password again.
  page_.ShowChanged(false);
  page_.ShowChanged(true);
  sim_.ClearLog(0);
  ASSERT_TRUE(page_.Apply());
  sets = Sets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].community, "s3cret");
}

TEST_F(SystemPageTest, DifferingPasswordsWriteNothing) {
  struct Case {
    const char* name;
    const char* password;
    const char* confirmation;
  };
  const Case cases[] = {
      {"only confirmation typed", "", "s3cret"},
      {"only new password typed", "s3cret", ""},
      {"one character differs", "s3cret", "s3creT"},
  };
  page_.Refresh();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.ClearLog(0);
    prompter_.Clear();
    page_.NewPassword().Type(c.password);
    page_.ConfirmPassword().Type(c.confirmation);
    EXPECT_FALSE(page_.Apply());
    ASSERT_EQ(prompter_.Shown().size(), 1u);
    EXPECT_EQ(prompter_.Shown()[0].text, system_messages::kPasswordMismatch);
    EXPECT_EQ(prompter_.Shown()[0].caption, "Kelvo");
    EXPECT_EQ(prompter_.Shown()[0].icon, MessageIcon::None);
    EXPECT_TRUE(sim_.Log(0).empty());
    EXPECT_EQ(session_.WriteCommunity(), "admin");
  }
}

TEST_F(SystemPageTest, RefusedOrOverlongValuesChangeNothing) {
  // A refused write keeps the community even with a new password given.
  page_.Refresh();
  page_.NewPassword().Type("s3cret");
  page_.ConfirmPassword().Type("s3cret");
  page_.RegulatoryDomainList().Select(5);
  sim_.Fault(0, "error 5 1");
  EXPECT_FALSE(page_.Apply());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{std::string(snmp::messages::kSetError)});
  EXPECT_EQ(session_.WriteCommunity(), "admin");
  EXPECT_EQ(page_.RememberedDomain(), 0);
  EXPECT_TRUE(channels_.Entries().empty());

  // A serial number longer than the box allows is refused before anything is sent.
  sim_.Fault(0, "none");
  sim_.ClearLog(0);
  page_.SerialNumber().SetText("KV2400000001");
  EXPECT_FALSE(page_.Apply());
  ASSERT_EQ(prompter_.Shown().size(), 1u);
  EXPECT_EQ(prompter_.Shown()[0].text, "Please enter no more than 10 characters.");
  EXPECT_TRUE(sim_.Log(0).empty());
}

TEST_F(SystemPageTest, ApplyRebuildsTheChannelListWhenTheDomainChanged) {
  struct Case {
    int domain;
    std::vector<std::string> channels;
  };
  const Case cases[] = {
      {5, {"Auto", "Channel 14"}},
      {3, {"Auto", "Channel 10", "Channel 11"}},
      {4, {"Auto", "Channel 10", "Channel 11", "Channel 12", "Channel 13"}},
  };
  page_.Refresh();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.domain);
    page_.RegulatoryDomainList().Select(c.domain);
    ASSERT_TRUE(page_.Apply());
    EXPECT_EQ(channels_.Entries(), c.channels);
    EXPECT_FALSE(channels_.HasSelection());
    EXPECT_EQ(page_.RememberedDomain(), c.domain);
    EXPECT_EQ(sim_.Get(0, "RegulatoryDomain").value, std::to_string(c.domain));
  }

  // The same domain again leaves the list and its selection alone.
  channels_.Select(1);
  ASSERT_TRUE(page_.Apply());
  EXPECT_EQ(channels_.Selection(), 1);

  // The sheet's activation takes the device's domain as the one the list was built for.
  sim_.Set(0, "RegulatoryDomain", 'i', "6");
  page_.Refresh();
  page_.Activate();
  ASSERT_TRUE(page_.Apply());
  EXPECT_EQ(channels_.Selection(), 1);
  page_.RebuildChannelList();
  EXPECT_EQ(channels_.Count(), 15);

  // No domain selected: no plan, an empty list.
  page_.RegulatoryDomainList().Select(ui::ChoiceList::kNone);
  page_.RebuildChannelList();
  EXPECT_TRUE(channels_.Entries().empty());
}

TEST_F(SystemPageTest, DeviceActionsSendTheirSingleSets) {
  int firmwareWindows = 0;
  page_.SetFirmwareWindowOpener([&] { ++firmwareWindows; });

  ASSERT_TRUE(page_.Reset());
  EXPECT_FALSE(session_.ResetNeeded());
  ASSERT_TRUE(page_.LoadDefault());
  EXPECT_TRUE(session_.ResetNeeded());
  ASSERT_TRUE(page_.UpdateFirmware());
  EXPECT_EQ(firmwareWindows, 1);

  const auto sets = Sets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].oid, FullOid(Variable::SystemRestart));
  EXPECT_EQ(sets[1].oid, FullOid(Variable::LoadDefault));
  EXPECT_EQ(sets[2].oid, FullOid(Variable::UpgradePrepare));
  for (const auto& set : sets) {
    EXPECT_EQ(set.type, 'i');
    EXPECT_EQ(set.value, "1");
  }
  EXPECT_TRUE(prompter_.Texts().empty());

  // Refused: the message, no pending reset, no firmware window.
  session_.SetResetNeeded(false);
  sim_.Fault(0, "error 5 1");
  EXPECT_FALSE(page_.LoadDefault());
  EXPECT_FALSE(page_.UpdateFirmware());
  EXPECT_FALSE(page_.Reset());
  EXPECT_FALSE(session_.ResetNeeded());
  EXPECT_EQ(firmwareWindows, 1);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>(3, std::string(snmp::messages::kSetError)));

  // Without an opener the firmware step ends after the device took the request.
  sim_.Fault(0, "none");
  page_.SetFirmwareWindowOpener(nullptr);
  EXPECT_TRUE(page_.UpdateFirmware());
}

TEST_F(SystemPageTest, ShowAndHideClearPasswordsAndRefillProfiles) {
  int refills = 0;
  page_.SetProfileListRefresher([&] { ++refills; });
  page_.NewPassword().Type("abc");
  page_.ConfirmPassword().Type("abd");
  page_.ShowChanged(false);
  EXPECT_EQ(page_.NewPassword().Text(), "");
  EXPECT_EQ(page_.ConfirmPassword().Text(), "");
  page_.NewPassword().Type("abc");
  page_.ShowChanged(true);
  EXPECT_EQ(page_.NewPassword().Text(), "");
  EXPECT_EQ(refills, 2);
}

TEST(ManufacturingSwitchTest, DecidesByTheFirstEntryOfTheSection) {
  struct Case {
    const char* file;
    bool enabled;
  };
  const Case cases[] = {
      {"enabled-after-skipped-lines.ini", true},
      {"enabled-crlf.ini", true},
      {"last-line-without-break.ini", false},
      {"digit-zero.ini", false},
      {"value-ten.ini", false},
      {"other-key-first.ini", false},
      {"other-section.ini", false},
      {"no-section.ini", false},
      {"section-at-end.ini", false},
      {"long-line-read-in-two.ini", false},
      {"empty.ini", false},
      {"missing.ini", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(ManufacturingEnabled(ManufactureFixture(c.file).string()), c.enabled);
  }
}

class SystemPageManufacturingTest : public SystemPageTest {
 protected:
  SystemPageManufacturingTest() {
    std::string pattern = (fs::temp_directory_path() / "kelvo-mfg.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    directory_ = pattern;
    context_.settingsPath = directory_.string() + "/";
  }
  ~SystemPageManufacturingTest() override { fs::remove_all(directory_); }

  void UseSwitchFile(const std::string& fixture) {
    fs::copy_file(ManufactureFixture(fixture), directory_ / "manufacture.ini",
                  fs::copy_options::overwrite_existing);
  }

  fs::path directory_;
};

TEST_F(SystemPageManufacturingTest, TheSwitchOnlyEverShowsTheMfgButton) {
  page_.ShowChanged(true);
  EXPECT_FALSE(page_.MfgVisible());
  UseSwitchFile("digit-zero.ini");
  page_.ShowChanged(false);
  EXPECT_FALSE(page_.MfgVisible());

  UseSwitchFile("enabled-after-skipped-lines.ini");
  page_.ShowChanged(true);
  EXPECT_TRUE(page_.MfgVisible());

  UseSwitchFile("digit-zero.ini");
  page_.ShowChanged(false);
  EXPECT_TRUE(page_.MfgVisible());
  fs::remove(directory_ / "manufacture.ini");
  page_.ShowChanged(true);
  EXPECT_TRUE(page_.MfgVisible());
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(SystemPageManufacturingTest, NetworkMessagesStayQuietWhileTheRfTestIsOpen) {
  std::vector<int> seen;
  page_.SetRfTestWindowOpener([&] { seen.push_back(session_.NetworkMessageSuppressed()); });
  page_.OpenRfTest();
  EXPECT_TRUE(seen.empty()) << "the hidden MFG button cannot be pressed";

  UseSwitchFile("enabled-crlf.ini");
  page_.ShowChanged(true);
  page_.OpenRfTest();
  EXPECT_EQ(seen, std::vector<int>{1});
  EXPECT_FALSE(session_.NetworkMessageSuppressed());

  page_.SetRfTestWindowOpener([] { throw std::runtime_error("window failed"); });
  EXPECT_THROW(page_.OpenRfTest(), std::runtime_error);
  EXPECT_FALSE(session_.NetworkMessageSuppressed());
}

}  // namespace
}  // namespace kelvo::pages
