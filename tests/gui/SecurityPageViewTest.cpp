// SPDX-License-Identifier: GPL-2.0-or-later
// The "Security" tab driven through its widgets against a simulated access point: the key
// boxes follow the WEP and active-key choices, a typed key and the other choices reach the
// device with Apply, and the validations answer through the prompter.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>

#include "GuiFixture.h"
#include "mib/MibVariables.h"
#include "views/ControlBinding.h"

namespace kelvo::gui {
namespace {

class SecurityPageViewTest : public test::AppFixture {
 protected:
  // Opens the sheet on the first access point with the Security tab in front, runs inTab in
  // it and closes the sheet again.
  void OnSecurityTab(const std::function<void()>& inTab) {
    OnTab(
        pages::ConfigurationSheet::kSecurity,
        [&] { return Edit("reAuthPeriod")->text() == "3600"; },
        [&](ConfigurationSheetDialog*, QWidget*) {
          sim_.ClearLog(0);
          prompter_.Clear();
          inTab();
        });
  }

  template <typename W>
  W* Find(const QString& name) {
    return test::Find<W>(tab_, name);
  }
  QLineEdit* Edit(const QString& name) { return Find<QLineEdit>(name); }
  QLineEdit* Key(int number) { return Edit(QStringLiteral("key%1").arg(number)); }
  QComboBox* Combo(const QString& name) { return Find<QComboBox>(name); }
  void Click(const QString& name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
};

TEST_F(SecurityPageViewTest, KeyBoxesFollowTheChoicesAndOnlyTheActiveKeyTravels) {
  sim_.Set(0, "RadiusServer2", 'a', "10.0.0.9");
  sim_.Set(0, "RadiusSecret2", 's', "hush");
  OnSecurityTab([&] {
    EXPECT_EQ(Combo("auth")->currentText(), "Open System");
    EXPECT_FALSE(Combo("encry")->isEnabled());
    EXPECT_EQ(Combo("reAuthEnabled")->currentText(), "False");
    EXPECT_EQ(Edit("secret2")->text(), "hush");
    EXPECT_EQ(Find<AddressEdit>("radiusIp2")->Parts()[3], 9);
    // The WPA values are carried, never offered.
    EXPECT_FALSE(Find<QGroupBox>("wpa")->isVisible());
    EXPECT_EQ(Edit("keyInterval")->text(), "600");
    EXPECT_FALSE(Edit("keyInterval")->isVisibleTo(tab_));

    for (int key = 1; key <= 4; ++key) {
      EXPECT_EQ(Key(key)->text(), "0000000000") << key;
      EXPECT_EQ(Key(key)->echoMode(), QLineEdit::Password);
      EXPECT_EQ(Key(key)->isReadOnly(), key != 1) << key;
    }
    Choose(Combo("wep"), pages::SecurityPage::kWep128);
    Choose(Combo("active"), 1);
    for (int key = 1; key <= 4; ++key) {
      EXPECT_EQ(Key(key)->text(), QString(26, QLatin1Char('0'))) << key;
      EXPECT_EQ(Key(key)->isReadOnly(), key != 2) << key;
    }
    Retype(Key(2), "0102030405060708090A0B0C0D0E");
    EXPECT_EQ(Key(2)->text().size(), 26) << "typing stops at the key length";

    Choose(Combo("auth"), pages::SecurityPage::kSharedKey);
    EXPECT_EQ(Combo("encry")->currentText(), "WEP");
    EXPECT_FALSE(Combo("encry")->isEnabled());
    Click("applyButton");
  });
  EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{});
  EXPECT_EQ(sim_.Get(0, "WepMode").value, "3");
  EXPECT_EQ(sim_.Get(0, "ActiveKey").value, "2");
  EXPECT_EQ(sim_.Get(0, "WepKey2").value, "0102030405060708090A0B0C0D");
  EXPECT_FALSE(WasSet(mib::Variable::WepKey1));
  EXPECT_EQ(sim_.Get(0, "AuthenticationType").value, "2");
  EXPECT_EQ(sim_.Get(0, "EncryptionType").value, "1");
  EXPECT_EQ(sim_.Get(0, "RadiusSecret2").value, "68757368") << "hush, in hex";
  EXPECT_TRUE(WasSet(mib::Variable::SystemRestart)) << "a new encryption restarts the radio";
}

TEST_F(SecurityPageViewTest, ValidationMessagesStopTheWrite) {
  OnSecurityTab([&] {
    Retype(Key(1), "12345678G0");
    Click("applyButton");
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{"WEP key only accept character (0~9,A~F)!"}));

    prompter_.Clear();
    Retype(Key(1), "123456789");
    Click("applyButton");
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{"The length of the WEP key is not enough!"}));

    prompter_.Clear();
    Retype(Key(1), "0000000000");
    Retype(Edit("reAuthPeriod"), "65536");
    Click("applyButton");
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{"ReAuthPeriod only accept an integer 0~65535."}));
    EXPECT_TRUE(SetOids().empty());

    // Enter in a text box presses no button.
    Retype(Edit("reAuthPeriod"), "65535");
    QTest::keyClick(Edit("reAuthPeriod"), Qt::Key_Return);
    EXPECT_TRUE(SetOids().empty());
    Click("applyButton");
  });
  EXPECT_EQ(sim_.Get(0, "ReAuthPeriod").value, "65535");
  EXPECT_FALSE(WasSet(mib::Variable::WepKey1)) << "a zero key is not sent";
  EXPECT_FALSE(WasSet(mib::Variable::SystemRestart)) << "the encryption did not change";
}

}  // namespace
}  // namespace kelvo::gui
