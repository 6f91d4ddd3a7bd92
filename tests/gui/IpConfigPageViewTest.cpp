// SPDX-License-Identifier: GPL-2.0-or-later
// The "IP Config" tab against a simulated access point: the device's addresses on screen, a
// fixed address typed in and applied with its reset, and the rules that answer through
// message boxes (scripted here).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "Application.h"
#include "ConfigurationSheetDialog.h"
#include "GuiFixture.h"
#include "MainWindowView.h"
#include "PasswordDialog.h"
#include "mib/MibVariables.h"
#include "pages/IpConfigPage.h"
#include "support/ApSimProcess.h"
#include "support/TestSupport.h"
#include "views/ControlBinding.h"

namespace kelvo::gui {
namespace {

using test::OnModalOf;
using test::SpinUntil;

class IpConfigPageViewTest : public ::testing::Test {
 protected:
  IpConfigPageViewTest() {
    StartOptions options;
    options.agentPort = sim_.Port();
    options.listenPort = 0;
    options.discoveryTargets = {"127.255.255.255"};
    options.settingsPath = QString();
    app_ = std::make_unique<Application>(options, &prompter_);
  }

  // Opens the sheet on access point 0, brings "IP Config" to the front and runs onPage there.
  void OnIpConfigPage(std::function<void(ConfigurationSheetDialog*)> onPage) {
    ASSERT_FALSE(app_->Start().has_value());
    AccessPointList* list = app_->Window()->List();
    ASSERT_TRUE(SpinUntil([&] { return list->topLevelItemCount() == sim_.Count(); }));
    const auto items = list->findItems(QString::fromStdString(sim_.Address(0)), Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(items.front()).center());
    bool reached = false;
    OnModalOf<PasswordDialog>([&](PasswordDialog* prompt) {
      ASSERT_NE(prompt, nullptr);
      QTest::keyClicks(prompt->PasswordField(), "admin");
      OnModalOf<ConfigurationSheetDialog>([&](ConfigurationSheetDialog* sheet) {
        ASSERT_NE(sheet, nullptr);
        QTabBar* bar = sheet->Tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->tabRect(pages::ConfigurationSheet::kIpConfig).center());
        if (SpinUntil([&] {
              return app_->Sheet().CurrentTab() == pages::ConfigurationSheet::kIpConfig &&
                     Find<QWidget>(sheet, "applyButton")->isVisible();
            })) {
          reached = true;
          onPage(sheet);
        }
        sheet->close();
      });
      QTest::keyClick(prompt->PasswordField(), Qt::Key_Return);
    });
    QTest::mouseClick(app_->Window()->ConfigurationButton(), Qt::LeftButton);
    EXPECT_TRUE(reached);
  }

  // A widget of the IP page; other pages use the same names.
  template <typename W>
  static W* Find(QWidget* sheet, const char* name) {
    auto* page = sheet->findChild<QWidget*>(QStringLiteral("ipConfigPage"));
    W* widget = page != nullptr ? page->findChild<W*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(widget, nullptr) << name;
    return widget;
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

  test::ApSimProcess sim_;
  test::RecordingPrompter prompter_;
  std::unique_ptr<Application> app_;
};

TEST_F(IpConfigPageViewTest, FixedAddressTypedInIsWrittenAndResetsTheDevice) {
  sim_.Set(0, "IpAddress", 'a', "192.168.7.20");
  sim_.Set(0, "SubnetMask", 'a', "255.255.255.0");
  sim_.Set(0, "Gateway", 'a', "192.168.7.1");
  sim_.Set(0, "DhcpClient", 'i', "1");
  OnIpConfigPage([&](ConfigurationSheetDialog* sheet) {
    auto* ip = Find<AddressEdit>(sheet, "ipAddress");
    auto* mask = Find<AddressEdit>(sheet, "subnetMask");
    auto* gateway = Find<AddressEdit>(sheet, "gateway");
    auto* dhcp = Find<QComboBox>(sheet, "dhcpClient");
    EXPECT_EQ(Shown(ip), "192.168.7.20");
    EXPECT_EQ(Shown(mask), "255.255.255.0");
    EXPECT_EQ(Shown(gateway), "192.168.7.1");
    EXPECT_EQ(dhcp->currentText(), "Enabled");
    EXPECT_FALSE(ip->isEnabled()) << "DHCP supplies the address";
    for (const char* hidden : {"primaryPort", "primaryPortLabel", "macAddress", "macAddressLabel"})
      EXPECT_FALSE(Find<QWidget>(sheet, hidden)->isVisible()) << hidden;

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

    QTest::mouseClick(Find<QPushButton>(sheet, "applyButton"), Qt::LeftButton);
  });
  EXPECT_EQ(sim_.Get(0, "Gateway").value, "192.168.7.254");
  EXPECT_EQ(sim_.Get(0, "DhcpClient").value, "2");
  EXPECT_TRUE(Wrote("SystemRestart"));
  EXPECT_EQ(prompter_.Texts(), (std::vector<std::string>{std::string(pages::kDhcpResetMessage)}));
}

TEST_F(IpConfigPageViewTest, RefreshReplacesEditsThatWereNotApplied) {
  sim_.Set(0, "DhcpClient", 'i', "2");
  sim_.Set(0, "IpAddress", 'a', "10.0.0.5");
  OnIpConfigPage([&](ConfigurationSheetDialog* sheet) {
    auto* ip = Find<AddressEdit>(sheet, "ipAddress");
    ASSERT_TRUE(ip->isEnabled());
    TypeInto(ip, 3, "99");
    EXPECT_EQ(Shown(ip), "10.0.0.99");
    sim_.Set(0, "IpAddress", 'a', "10.0.0.6");
    QTest::mouseClick(Find<QPushButton>(sheet, "refreshButton"), Qt::LeftButton);
    EXPECT_EQ(Shown(ip), "10.0.0.6");
  });
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(IpConfigPageViewTest, ShortDeviceMacRefusesApplyAndWritesNothing) {
  sim_.Set(0, "MacAddress", 'x', "0011223344");
  OnIpConfigPage([&](ConfigurationSheetDialog* sheet) {
    sim_.ClearLog(0);
    QTest::mouseClick(Find<QPushButton>(sheet, "applyButton"), Qt::LeftButton);
    EXPECT_FALSE(Wrote("IpAddress"));
  });
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, pages::kMacTooShortMessage);
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
}

TEST_F(IpConfigPageViewTest, DhcpSnapsBackToDisabledInApClientMode) {
  sim_.Set(0, "DhcpClient", 'i', "2");
  OnIpConfigPage([&](ConfigurationSheetDialog* sheet) {
    app_->Sheet().Wireless().Mode().Select(pages::IpConfigPage::kApClientMode);
    auto* dhcp = Find<QComboBox>(sheet, "dhcpClient");
    ASSERT_EQ(dhcp->currentText(), "Disabled");
    dhcp->setFocus();
    QTest::keyClick(dhcp, Qt::Key_Up);
    EXPECT_EQ(dhcp->currentText(), "Disabled") << "the list shows the model's selection";
    EXPECT_TRUE(Find<AddressEdit>(sheet, "ipAddress")->isEnabled());
  });
  EXPECT_EQ(prompter_.Texts(),
            (std::vector<std::string>{std::string(pages::kApClientNeedsFixedAddressMessage)}));
}

}  // namespace
}  // namespace kelvo::gui
