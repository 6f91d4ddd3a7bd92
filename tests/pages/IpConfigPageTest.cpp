// SPDX-License-Identifier: GPL-2.0-or-later
// The IP configuration page against a simulated access point: the read and write of group 2,
// the MAC text checks, when Apply resets the device, and the DHCP rules shared with the
// Wireless page.
#include <gtest/gtest.h>

#include <functional>

#include "mib/MibVariables.h"
#include "pages/IpConfigPage.h"
#include "pages/PageFixture.h"
#include "pages/WirelessPage.h"

namespace kelvo::pages {
namespace {

using mib::FullOid;
using mib::Variable;
using ui::MessageIcon;
using Address = std::array<std::uint8_t, 4>;

const std::string kResetOid = FullOid(Variable::SystemRestart);

class IpConfigPageTest : public test::PageFixture {
 protected:
  IpConfigPageTest() {
    page_.SetHost(Host());
    page_.SetApClientQuery([this] { return modes_.Selection() == WirelessPage::kApClient; });
  }

  // The page as the sheet leaves it after a press on its tab.
  void ActivateTab() {
    page_.ShowChanged(true);
    page_.Refresh();
    page_.Activate();
    sim_.ClearLog(ap_);
    prompter_.Clear();
  }

  std::vector<test::ApSimLogEntry> Sets() {
    std::vector<test::ApSimLogEntry> sets;
    for (auto& entry : sim_.Log(ap_)) {
      if (entry.pdu == "set") sets.push_back(std::move(entry));
    }
    return sets;
  }

  bool AddressesEnabled() {
    const bool enabled = page_.IpAddress().Enabled();
    EXPECT_EQ(page_.SubnetMask().Enabled(), enabled);
    EXPECT_EQ(page_.Gateway().Enabled(), enabled);
    return enabled;
  }

  int ap_ = 0;  // the access point the page manages
  IpConfigPage page_{context_};
  ui::ChoiceList modes_{{"Bridge", "AP", "AP Client", "Repeater"}, 1};
};

TEST_F(IpConfigPageTest, RefreshShowsTheDeviceAddresses) {
  sim_.Set(0, "PrimaryPort", 'i', "2");
  page_.Refresh();
  EXPECT_TRUE(prompter_.Texts().empty());
  EXPECT_EQ(page_.IpAddress().Address(), (Address{127, 0, 0, 2}));
  EXPECT_EQ(page_.SubnetMask().Address(), (Address{255, 255, 255, 0}));
  EXPECT_EQ(page_.Gateway().Address(), (Address{127, 0, 0, 1}));
  EXPECT_EQ(page_.DhcpClient().Selection(), IpConfigPage::kDhcpDisabled);
  EXPECT_TRUE(page_.IsDhcpDisabled());
  EXPECT_EQ(page_.PrimaryPort().Selection(), 1);
  EXPECT_EQ(page_.MacAddress().Text(), sim_.Get(0, "MacAddress").value);

  // A short address gives a short text, which Apply then refuses.
  sim_.Set(0, "MacAddress", 'x', "0102");
  page_.Refresh();
  EXPECT_EQ(page_.MacAddress().Text(), "0102");
}

TEST_F(IpConfigPageTest, ApplyWritesGroupTwoInOrder) {
  ActivateTab();
  page_.PrimaryPort().Select(1);
  ASSERT_TRUE(page_.Apply());

  const auto sets = Sets();
  ASSERT_EQ(sets.size(), 6u) << "an unchanged fixed address asks for no reset";
  const std::vector<std::pair<Variable, char>> expected = {
      {Variable::IpAddress, 'a'},  {Variable::SubnetMask, 'a'},  {Variable::Gateway, 'a'},
      {Variable::DhcpClient, 'i'}, {Variable::PrimaryPort, 'i'}, {Variable::MacAddress, 's'}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(sets[i].oid, FullOid(expected[i].first)) << i;
    EXPECT_EQ(sets[i].type, expected[i].second) << i;
  }
  EXPECT_EQ(sets[0].value, "127.0.0.2");
  EXPECT_EQ(sets[1].value, "255.255.255.0");
  EXPECT_EQ(sets[2].value, "127.0.0.1");
  EXPECT_EQ(sets[3].value, "2");
  EXPECT_EQ(sets[4].value, "2");
  EXPECT_EQ(sets[5].value, page_.MacAddress().Text());
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(IpConfigPageTest, ApplyResetsWhenTheDhcpModeOrAFixedAddressChanged) {
  struct Case {
    const char* name;
    const char* deviceDhcp;  // DhcpClient on the device when the tab is activated
    std::function<void(IpConfigPage&)> edit;
    bool reset;
  };
  const Case cases[] = {
      {"fixed, nothing changed", "2", [](IpConfigPage&) {}, false},
      {"fixed to DHCP", "2", [](IpConfigPage& p) { p.ChooseDhcpClient(0); }, true},
      {"DHCP to fixed", "1", [](IpConfigPage& p) { p.ChooseDhcpClient(1); }, true},
      {"fixed, gateway changed", "2",
       [](IpConfigPage& p) {
         p.Gateway().SetAddress({127, 0, 0, 254});
       },
       true},
      {"fixed, address changed", "2",
       [](IpConfigPage& p) {
         p.IpAddress().SetAddress({127, 0, 0, 9});
       },
       true},
      {"fixed, mask changed", "2",
       [](IpConfigPage& p) {
         p.SubnetMask().SetAddress({255, 255, 0, 0});
       },
       true},
      {"fixed, a field blanked to zero", "2",
       [](IpConfigPage& p) {
         auto parts = p.IpAddress().Parts();
         parts[3].reset();
         p.IpAddress().SetParts(parts);
       },
       true},
      {"DHCP, nothing changed", "1", [](IpConfigPage&) {}, false},
      {"DHCP, gateway changed", "1",
       [](IpConfigPage& p) {
         p.Gateway().SetAddress({127, 0, 0, 254});
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.Set(ap_, "DhcpClient", 'i', c.deviceDhcp);
    sim_.Set(ap_, "Gateway", 'a', "127.0.0.1");
    ActivateTab();
    c.edit(page_);
    ASSERT_TRUE(page_.Apply());

    const auto sets = Sets();
    if (c.reset) {
      ASSERT_EQ(prompter_.Shown().size(), 1u);
      EXPECT_EQ(prompter_.Shown()[0].text, ip_messages::kDhcpReset);
      EXPECT_EQ(prompter_.Shown()[0].icon, MessageIcon::None);
      ASSERT_EQ(sets.size(), 7u);
      EXPECT_EQ(sets[6].oid, kResetOid);
      EXPECT_EQ(sets[6].value, "1");
      EXPECT_GT(sets[6].sequence, sets[5].sequence);
    } else {
      EXPECT_TRUE(prompter_.Texts().empty());
      EXPECT_EQ(sets.size(), 6u);
    }
    // The reset moved the device to its new fixed address: the next case takes the next one.
    if (sim_.Get(ap_, "IpAddress").value != sim_.Address(ap_)) page_.SetHost(sim_.Address(++ap_));
  }
}

TEST_F(IpConfigPageTest, TheRememberedValuesLastUntilTheNextActivation) {
  ActivateTab();
  page_.Gateway().SetAddress({127, 0, 0, 254});
  ASSERT_TRUE(page_.Apply());
  ASSERT_TRUE(page_.Apply());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>(2, std::string(ip_messages::kDhcpReset)));

  ActivateTab();
  EXPECT_EQ(page_.Gateway().Address(), (Address{127, 0, 0, 254}));
  ASSERT_TRUE(page_.Apply());
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(IpConfigPageTest, ARefusedWriteOffersNoReset) {
  ActivateTab();
  page_.ChooseDhcpClient(0);
  sim_.Fault(0, "error 5 1");
  EXPECT_FALSE(page_.Apply());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{std::string(snmp::messages::kSetError)});
  ASSERT_EQ(Sets().size(), 6u);
  EXPECT_EQ(sim_.Get(0, "DhcpClient").value, "2");
}

TEST_F(IpConfigPageTest, BeforeAnyReadTheHiddenMacIsSentAsSixZeroBytes) {
  ASSERT_TRUE(page_.Apply());
  const auto sets = Sets();
  ASSERT_EQ(sets.size(), 6u);
  EXPECT_EQ(sets[0].value, "0.0.0.0");
  EXPECT_EQ(sets[3].value, "1");
  EXPECT_EQ(sets[4].value, "1");
  EXPECT_EQ(sets[5].oid, FullOid(Variable::MacAddress));
  EXPECT_EQ(sets[5].value, "000000000000");
  EXPECT_EQ(sim_.Get(0, "MacAddress").value, "000000000000");
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(IpConfigPageTest, BadMacTextsWriteNothing) {
  struct Case {
    const char* name;
    const char* text;
    std::string_view message;
    MessageIcon icon;
  };
  const Case cases[] = {
      {"empty", "", ip_messages::kMacTooShort, MessageIcon::Error},
      {"eleven digits", "0123456789A", ip_messages::kMacTooShort, MessageIcon::Error},
      {"letter beyond F", "0123456789AG", ip_messages::kMacNotHex, MessageIcon::Error},
      {"blank inside", "01 3456789AB", ip_messages::kMacNotHex, MessageIcon::Error},
      {"separators", "01-23-45-67-", ip_messages::kMacNotHex, MessageIcon::Error},
      {"thirteen digits", "0123456789ABC", "Please enter no more than 12 characters.",
       MessageIcon::Warning},
  };
  page_.Refresh();
  ASSERT_TRUE(page_.PrepareIpValues());
  const auto prepared = values_.MacAddressBytes;
  sim_.ClearLog(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prompter_.Clear();
    page_.MacAddress().SetText(c.text);
    EXPECT_FALSE(page_.Apply());
    ASSERT_EQ(prompter_.Shown().size(), 1u);
    EXPECT_EQ(prompter_.Shown()[0].text, c.message);
    EXPECT_EQ(prompter_.Shown()[0].icon, c.icon);
    EXPECT_EQ(values_.MacAddressBytes, prepared);
  }
  EXPECT_TRUE(sim_.Log(0).empty());

  // Lower-case digits are taken and sent in bytes.
  page_.MacAddress().SetText("0a1b2c3d4e5f");
  ASSERT_TRUE(page_.Apply());
  EXPECT_EQ(sim_.Get(0, "MacAddress").value, "0A1B2C3D4E5F");
}

TEST_F(IpConfigPageTest, ApClientModeKeepsTheFixedAddress) {
  page_.Refresh();
  page_.ShowChanged(true);
  ASSERT_TRUE(AddressesEnabled());

  modes_.Select(WirelessPage::kApClient);
  page_.ChooseDhcpClient(0);
  EXPECT_EQ(page_.DhcpClient().Selection(), IpConfigPage::kDhcpDisabled);
  ASSERT_EQ(prompter_.Shown().size(), 1u);
  EXPECT_EQ(prompter_.Shown()[0].text, ip_messages::kApClientNeedsFixedAddress);
  EXPECT_EQ(prompter_.Shown()[0].icon, MessageIcon::None);
  EXPECT_TRUE(AddressesEnabled());
  EXPECT_TRUE(Sets().empty());

  // In any other mode, or with no Wireless page linked, DHCP may be chosen.
  prompter_.Clear();
  modes_.Select(1);
  page_.ChooseDhcpClient(0);
  EXPECT_FALSE(page_.IsDhcpDisabled());
  EXPECT_FALSE(AddressesEnabled());
  page_.ChooseDhcpClient(1);
  EXPECT_TRUE(AddressesEnabled());
  page_.SetApClientQuery(nullptr);
  page_.ChooseDhcpClient(0);
  EXPECT_FALSE(AddressesEnabled());
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(IpConfigPageTest, ShowAndHideApplyTheEnablingRuleAndHideRereads) {
  EXPECT_FALSE(AddressesEnabled()) << "DHCP is selected at creation";

  // A read does not touch the enabling; the next show does.
  page_.Refresh();
  EXPECT_FALSE(AddressesEnabled());
  page_.ShowChanged(true);
  EXPECT_TRUE(AddressesEnabled());

  // A mode the list does not know leaves no selection, which counts as fixed.
  sim_.Set(0, "DhcpClient", 'i', "7");
  page_.Refresh();
  EXPECT_FALSE(page_.DhcpClient().HasSelection());
  page_.ShowChanged(true);
  EXPECT_TRUE(AddressesEnabled());

  // Leaving the tab drops edits that were not applied.
  sim_.Set(0, "DhcpClient", 'i', "1");
  page_.Gateway().SetAddress({10, 0, 0, 1});
  sim_.ClearLog(0);
  page_.ShowChanged(false);
  EXPECT_EQ(page_.Gateway().Address(), (Address{127, 0, 0, 1}));
  EXPECT_EQ(page_.DhcpClient().Selection(), IpConfigPage::kDhcpEnabled);
  EXPECT_TRUE(AddressesEnabled()) << "the rule runs before the read";
  EXPECT_EQ(sim_.Log(0).size(), 6u);
  EXPECT_TRUE(Sets().empty());
}

}  // namespace
}  // namespace kelvo::pages
