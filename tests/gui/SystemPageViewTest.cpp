// SPDX-License-Identifier: GPL-2.0-or-later
// The System and About tabs of the sheet against simulated access points: what the device
// reports, the password change as a user types it, the device-wide buttons and the
// manufacturing button. Message boxes are scripted.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "GuiFixture.h"
#include "mib/MibVariables.h"

namespace kelvo::gui {
namespace {

// Octet strings as the simulator logs and reports them.
std::string Hex(const std::string& text) {
  return QByteArray::fromStdString(text).toHex().toUpper().toStdString();
}

class SystemPageViewTest : public test::AppFixture {
 protected:
  // Opens the sheet on the first access point with the System tab in front; inSheet runs
  // while the sheet is on screen, then the sheet is closed.
  void InSheet(const std::function<void(ConfigurationSheetDialog*)>& inSheet) {
    OnTab(
        pages::ConfigurationSheet::kSystem, [] { return true; },
        [&](ConfigurationSheetDialog* sheet, QWidget*) { inSheet(sheet); });
  }

  template <typename W = QWidget>
  W* Find(const char* name, int tab = pages::ConfigurationSheet::kSystem) {
    return test::Find<W>(sheet_->Tabs()->widget(tab), QLatin1String(name));
  }
  QString Text(const char* name) { return Find<QLineEdit>(name)->text(); }
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }

  // The variables the access point was asked to set, as (name, value).
  std::vector<std::pair<std::string, std::string>> Sets() {
    std::vector<std::pair<std::string, std::string>> sets;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.pdu != "set") continue;
      const auto variable = mib::FindByOid(entry.oid);
      const std::string name = variable ? std::string(mib::Info(*variable).name) : entry.oid;
      sets.emplace_back(name, entry.value);
    }
    return sets;
  }
};

TEST_F(SystemPageViewTest, ShowsTheDeviceAndHidesWhatIsOnlyCarried) {
  sim_.Set(0, "SystemDescription", 's', "Lobby AP rev B");
  sim_.Set(0, "MacAddress", 'x', "0002A5C0FFEE");
  sim_.Set(0, "RegulatoryDomain", 'i', "2");
  InSheet([&](ConfigurationSheetDialog*) {
    EXPECT_EQ(Text("description"), "Lobby AP rev B");
    EXPECT_EQ(Text("macAddress"), "0002A5C0FFEE");
    EXPECT_EQ(Text("regulationDomain"), "ETSI");
    for (const char* name : {"description", "macAddress", "regulationDomain"}) {
      EXPECT_TRUE(Find<QLineEdit>(name)->isReadOnly()) << name;
    }
    for (const char* name :
         {"regulatoryDomainList", "serialNumber", "trapEnabled", "mfgButton", "defaultButton"}) {
      EXPECT_FALSE(Find(name)->isVisible()) << name;
    }
    for (const char* name :
         {"newPassword", "confirmPassword", "profileNameList", "newProfileName", "addSaveButton",
          "saveButton", "loadButton", "delButton", "updateFwButton", "loadDefaultButton",
          "resetButton", "refreshButton", "applyButton"}) {
      EXPECT_TRUE(Find(name)->isVisible()) << name;
    }
    EXPECT_EQ(Find<QLineEdit>("newPassword")->echoMode(), QLineEdit::Password);
    QTest::keyClicks(Find("newProfileName"), "Profile-123");
    EXPECT_EQ(Text("newProfileName"), "Profile-") << "typing stops at 8";

    // Refresh reads the device again.
    sim_.Set(0, "SystemDescription", 's', "Renamed");
    Click("refreshButton");
    EXPECT_EQ(Text("description"), "Renamed");
  });
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(SystemPageViewTest, ApplyWritesTheNewPasswordAndTheCarriedValues) {
  sim_.Set(0, "RegulatoryDomain", 'i', "5");
  sim_.Set(0, "SerialNumber", 's', "SN00042");
  sim_.Set(0, "TrapEnable", 'i', "1");
  InSheet([&](ConfigurationSheetDialog*) {
    QTest::keyClicks(Find("newPassword"), "0123456789abcdefXYZ");
    EXPECT_EQ(Text("newPassword"), "0123456789abcde") << "typing stops at 15";
    QTest::keyClicks(Find("confirmPassword"), "0123456789abcde");
    sim_.ClearLog(0);
    Click("applyButton");
  });
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"TrapEnable", "1"},
      {"RegulatoryDomain", "5"},
      {"SerialNumber", Hex("SN00042")},
      {"AccessPassword1", Hex("0123456789abcde")},
      {"AccessPassword2", Hex("0123456789abcde")}};
  EXPECT_EQ(Sets(), expected);
  EXPECT_EQ(sim_.Get(0, "SerialNumber").value, Hex("SN00042"));
  EXPECT_EQ(app_->Session().WriteCommunity(), "0123456789abcde");
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(SystemPageViewTest, PasswordBoxesRejectAMismatchIgnoreEnterAndClearOnTabChange) {
  InSheet([&](ConfigurationSheetDialog*) {
    sim_.ClearLog(0);
    // Only the confirmation typed: a mismatch, and nothing is written.
    QTest::keyClicks(Find("confirmPassword"), "secret");
    Click("applyButton");
    ASSERT_EQ(prompter_.Texts(),
              std::vector<std::string>{std::string(pages::system_messages::kPasswordMismatch)});
    EXPECT_EQ(prompter_.Shown().front().icon, ui::MessageIcon::None);
    // Enter in a text box presses no button and keeps the sheet open.
    QTest::keyClick(Find("confirmPassword"), Qt::Key_Return);
    EXPECT_TRUE(sheet_->isVisible());
    EXPECT_TRUE(Sets().empty());
    EXPECT_EQ(prompter_.Shown().size(), 1U);

    PressTab(pages::ConfigurationSheet::kIpConfig);
    PressTab(pages::ConfigurationSheet::kSystem);
    EXPECT_EQ(Text("confirmPassword"), "");
    EXPECT_EQ(Text("newPassword"), "");
  });
  EXPECT_EQ(app_->Session().WriteCommunity(), "admin");
}

TEST_F(SystemPageViewTest, DeviceButtonsSendTheirRequests) {
  InSheet([&](ConfigurationSheetDialog*) {
    sim_.ClearLog(0);
    Click("resetButton");
    EXPECT_FALSE(app_->Session().ResetNeeded()) << "a reset asks for no later reset";
    Click("loadDefaultButton");
    EXPECT_TRUE(app_->Session().ResetNeeded());
    const std::vector<std::pair<std::string, std::string>> expected = {{"SystemRestart", "1"},
                                                                       {"LoadDefault", "1"}};
    EXPECT_EQ(Sets(), expected);
  });
  // Closing offers the reset the factory values need; the scripted answer is No.
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, pages::sheet_messages::kResetQuestion);
}

TEST_F(SystemPageViewTest, ManufacturingFileShowsMfgWhichOpensTheRfTest) {
  QTemporaryDir settings;
  ASSERT_TRUE(settings.isValid());
  QFile file(settings.filePath(QStringLiteral("manufacture.ini")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Text));
  file.write("[Manufacture5521]\n\nEnable5521=1\n");
  file.close();
  // The settings path ends with its separator.
  MakeApp(settings.path() + QLatin1Char('/'), &prompter_);
  int opened = 0;
  InSheet([&](ConfigurationSheetDialog*) {
    app_->Sheet().System().SetRfTestWindowOpener([&] {
      ++opened;
      EXPECT_TRUE(app_->Session().NetworkMessageSuppressed());
    });
    ASSERT_TRUE(Find("mfgButton")->isVisible());
    Click("mfgButton");
  });
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(app_->Session().NetworkMessageSuppressed());
}

TEST_F(SystemPageViewTest, AboutTabIsAPictureWithATinyCornerBox) {
  InSheet([&](ConfigurationSheetDialog*) {
    PressTab(pages::ConfigurationSheet::kAbout);
    QWidget* page = sheet_->Tabs()->widget(pages::ConfigurationSheet::kAbout);
    QWidget* picture = Find("aboutPicture", pages::ConfigurationSheet::kAbout);
    auto* corner = Find<QLineEdit>("cornerText", pages::ConfigurationSheet::kAbout);
    EXPECT_EQ(picture->geometry(), page->rect()) << "the picture fills the page";
    EXPECT_TRUE(corner->isVisible());
    EXPECT_LT(corner->width(), page->width() / 10);
    EXPECT_EQ(corner->geometry().bottomRight(), page->rect().bottomRight());
    for (auto* button : page->findChildren<QPushButton*>()) EXPECT_FALSE(button->isVisible());
  });
}

}  // namespace
}  // namespace kelvo::gui
