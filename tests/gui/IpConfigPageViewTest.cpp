// SPDX-License-Identifier: GPL-2.0-or-later
// The "IP Config" tab against a simulated access point: the device's addresses on screen, a
// fixed address typed in and applied with its reset, and the rules that answer through
// message boxes (scripted here).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "GuiFixture.h"
#include "mib/MibVariables.h"
#include "pages/IpConfigPage.h"
#include "views/ControlBinding.h"

namespace kelvo::gui {
namespace {

using test::Find;

class IpConfigPageViewTest : public test::AppFixture {
 protected:
  // Opens the sheet on access point 0, brings "IP Config" to the front and runs onPage there.
  void OnIpConfigPage(const std::function<void(ConfigurationSheetDialog*)>& onPage) {
    OnTab(
        pages::ConfigurationSheet::kIpConfig,
        [&] { return Find<QWidget>(tab_, "applyButton")->isVisible(); },
        [&](ConfigurationSheetDialog* sheet, QWidget*) { onPage(sheet); });
  }

  static QString Shown(AddressEdit* edit) {
    QStringList parts;
    for (QLineEdit* field : edit->findChildren<QLineEdit*>()) parts << field->text();
    return parts.join(QLatin1Char('.'));
  }

  // Replaces the text of one field of an address box by typing.
  static void TypeInto(AddressEdit* edit, int field, const QString& text) {
    QLineEdit* line = edit->findChildren<QLineEdit*>().at(field);
    line->setFocus();
    line->selectAll();
    QTest::keyClicks(line, text);
  }

  bool Wrote(const std::string& variable) {
    const std::string oid = mib::FullOid(*mib::FindByName(variable));
    for (const auto& entry : sim_.Log(0)) {
      if (entry.pdu == "set" && entry.oid == oid) return true;
    }
    return false;
  }
};

TEST_F(IpConfigPageViewTest, FixedAddressTypedInIsWrittenAndResetsTheDevice) {
  sim_.Set(0, "IpAddress", 'a', "192.168.7.20");
  sim_.Set(0, "SubnetMask", 'a', "255.255.255.0");
  sim_.Set(0, "Gateway", 'a', "192.168.7.1");
  sim_.Set(0, "DhcpClient", 'i', "1");
  OnIpConfigPage([&](ConfigurationSheetDialog* sheet) {
    auto* ip = Find<AddressEdit>(tab_, "ipAddress");
    auto* mask = Find<AddressEdit>(tab_, "subnetMask");
    auto* gateway = Find<AddressEdit>(tab_, "gateway");
    auto* dhcp = Find<QComboBox>(tab_, "dhcpClient");
    EXPECT_EQ(Shown(ip), "192.168.7.20");
    EXPECT_EQ(Shown(mask), "255.255.255.0");
    EXPECT_EQ(Shown(gateway), "192.168.7.1");
    EXPECT_EQ(dhcp->currentText(), "Enabled");
    EXPECT_FALSE(ip->isEnabled()) << "DHCP supplies the address";
    for (const char* hidden : {"primaryPort", "primaryPortLabel", "macAddress", "macAddressLabel"})
      EXPECT_FALSE(Find<QWidget>(tab_, hidden)->isVisible()) << hidden;

    // "Disabled" opens the boxes for a fixed address.
    dhcp->setFocus();
    QTest::keyClick(dhcp, Qt::Key_Down);
    EXPECT_EQ(dhcp->currentText(), "Disabled");
    EXPECT_TRUE(ip->isEnabled());
    EXPECT_TRUE(gateway->isEnabled());
    TypeInto(gateway, 3, "254");
    EXPECT_EQ(Shown(gateway), "192.168.7.254");

    // Enter in a box presses no button.
    sim_.ClearLog(0);
    QTest::keyClick(gateway->findChildren<QLineEdit*>().at(3), Qt::Key_Return);
    QTest::qWait(100);
    EXPECT_TRUE(sim_.Log(0).empty());
    EXPECT_TRUE(sheet->isVisible());

    QTest::mouseClick(Find<QPushButton>(tab_, "applyButton"), Qt::LeftButton);
  });
  EXPECT_EQ(sim_.Get(0, "Gateway").value, "192.168.7.254");
  EXPECT_EQ(sim_.Get(0, "DhcpClient").value, "2");
  EXPECT_TRUE(Wrote("SystemRestart"));
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{std::string(pages::ip_messages::kDhcpReset)}));
}

TEST_F(IpConfigPageViewTest, RefreshReplacesEditsThatWereNotApplied) {
  sim_.Set(0, "DhcpClient", 'i', "2");
  sim_.Set(0, "IpAddress", 'a', "10.0.0.5");
  OnIpConfigPage([&](ConfigurationSheetDialog*) {
    auto* ip = Find<AddressEdit>(tab_, "ipAddress");
    ASSERT_TRUE(ip->isEnabled());
    TypeInto(ip, 3, "99");
    EXPECT_EQ(Shown(ip), "10.0.0.99");
    sim_.Set(0, "IpAddress", 'a', "10.0.0.6");
    QTest::mouseClick(Find<QPushButton>(tab_, "refreshButton"), Qt::LeftButton);
    EXPECT_EQ(Shown(ip), "10.0.0.6");
  });
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(IpConfigPageViewTest, ShortDeviceMacRefusesApplyAndWritesNothing) {
  sim_.Set(0, "MacAddress", 'x', "0011223344");
  OnIpConfigPage([&](ConfigurationSheetDialog*) {
    sim_.ClearLog(0);
    QTest::mouseClick(Find<QPushButton>(tab_, "applyButton"), Qt::LeftButton);
    EXPECT_FALSE(Wrote("IpAddress"));
  });
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, pages::ip_messages::kMacTooShort);
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
}

TEST_F(IpConfigPageViewTest, DhcpSnapsBackToDisabledInApClientMode) {
  sim_.Set(0, "DhcpClient", 'i', "2");
  OnIpConfigPage([&](ConfigurationSheetDialog*) {
    app_->Sheet().Wireless().Mode().Select(pages::WirelessPage::kApClient);
    auto* dhcp = Find<QComboBox>(tab_, "dhcpClient");
    ASSERT_EQ(dhcp->currentText(), "Disabled");
    dhcp->setFocus();
    QTest::keyClick(dhcp, Qt::Key_Up);
    EXPECT_EQ(dhcp->currentText(), "Disabled") << "the list shows the model's selection";
    EXPECT_TRUE(Find<AddressEdit>(tab_, "ipAddress")->isEnabled());
  });
  EXPECT_EQ(
      prompter_.Texts(),
      (std::vector<std::string>{std::string(pages::ip_messages::kApClientNeedsFixedAddress)}));
}

}  // namespace
}  // namespace kelvo::gui
