// SPDX-License-Identifier: GPL-2.0-or-later
// The "Wireless Operation" tab driven through its widgets against a simulated access point:
// what the device holds reaches the boxes, edits and the MAC table reach the device with
// Apply, and the mode rule and the validations answer through the prompter.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>

#include "GuiFixture.h"
#include "mib/MibVariables.h"

namespace kelvo::gui {
namespace {

class WirelessPageViewTest : public test::AppFixture {
 protected:
  // Opens the sheet on the first access point with the Wireless tab in front, runs inTab in
  // it and closes the sheet again.
  void OnWirelessTab(const std::function<void()>& inTab) {
    OnTab(
        pages::ConfigurationSheet::kWireless, [&] { return Edit("essid")->text() == "kelvo-wlan"; },
        [&](ConfigurationSheetDialog*, QWidget*) {
          sim_.ClearLog(0);
          prompter_.Clear();
          inTab();
        });
  }

  template <typename W>
  W* Find(const char* name) {
    return test::Find<W>(tab_, QString::fromLatin1(name));
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QComboBox* Combo(const char* name) { return Find<QComboBox>(name); }
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
};

TEST_F(WirelessPageViewTest, ShowsTheDeviceAndAppliesEditsWithTheMacTable) {
  sim_.Command("set-table 1 0011223344AA 0011223344BB");
  OnWirelessTab([&] {
    EXPECT_EQ(Edit("deviceName")->text(), "Kelvo-AP-01");
    EXPECT_EQ(Combo("channelId")->currentText(), "Channel 6");
    EXPECT_EQ(Combo("dataRates")->currentText(), "11");
    EXPECT_EQ(Combo("preambleType")->currentText(), "Long");
    EXPECT_EQ(Edit("rtsThreshold")->text(), "2347");
    EXPECT_EQ(Edit("beaconInterval")->text(), "100");
    EXPECT_EQ(Combo("mode")->currentText(), "AP");
    EXPECT_TRUE(Edit("bssid")->isReadOnly()) << "BSSID is editable in Bridge mode only";
    EXPECT_FALSE(Find<QCheckBox>("wlanInterface")->isVisible());
    auto* list = Find<QListWidget>("macAddressList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "0011223344BB");

    // Typing stops at the 32-character limit of the model.
    Retype(Edit("essid"), QString(40, QLatin1Char('e')));
    EXPECT_EQ(Edit("essid")->text().size(), 32);
    Retype(Edit("essid"), "Lobby");
    Choose(Combo("dataRates"), 1);
    auto* enable = Find<QCheckBox>("enableAuthorizedTable");
    QTest::mouseClick(enable, Qt::LeftButton, {}, QPoint(8, enable->height() / 2));

    // Delete the first entry, add one; the device sees nothing until Apply.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    Click("deleteButton");
    Retype(Edit("inputMacAddress"), "00aabbccddee");
    Click("addButton");
    EXPECT_EQ(Edit("inputMacAddress")->text(), "");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "00aabbccddee") << "kept as typed";
    EXPECT_TRUE(SetOids().empty());

    Click("applyButton");
  });
  EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{});
  EXPECT_EQ(sim_.Get(0, "Essid").value, "4C6F626279") << "Lobby, in hex";
  EXPECT_EQ(sim_.Get(0, "DataRate").value, "2");
  EXPECT_EQ(sim_.Get(0, "AuthorizedTableEnable").value, "1");
  EXPECT_EQ(sim_.AuthorizedTable(0), (std::vector<std::string>{"0011223344BB", "00AABBCCDDEE"}));
  EXPECT_TRUE(WasSet(mib::Variable::SystemRestart)) << "a new ESSID restarts the radio";
}

TEST_F(WirelessPageViewTest, ValidationMessagesStopTheWrite) {
  OnWirelessTab([&] {
    // Enter in a text box presses no button.
    Retype(Edit("deviceName"), "Hall");
    QTest::keyClick(Edit("deviceName"), Qt::Key_Return);
    EXPECT_TRUE(SetOids().empty());

    Retype(Edit("inputMacAddress"), "00112233445");
    Click("addButton");
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{"MAC address less then 12 characters!"}));
    EXPECT_EQ(Find<QListWidget>("macAddressList")->count(), 0);
    EXPECT_EQ(Edit("inputMacAddress")->text(), "00112233445") << "a refused input stays";

    prompter_.Clear();
    Retype(Edit("beaconInterval"), "19");
    Click("applyButton");
    EXPECT_EQ(
        prompter_.Texts(),
        (std::vector<std::string>{"Beacon interval only accept an integer beteween 20~1000."}));

    prompter_.Clear();
    Retype(Edit("beaconInterval"), "20");
    Retype(Edit("fragThreshold"), "2348");
    Click("applyButton");
    EXPECT_EQ(prompter_.Texts(), (std::vector<std::string>{"RTS Threshold & Fragmentation "
                                                           "Threshold only accept an integer "
                                                           "between 0~2347."}));
    EXPECT_TRUE(SetOids().empty());

    // Number boxes take digits only.
    Retype(Edit("rtsThreshold"), "12x3");
    EXPECT_EQ(Edit("rtsThreshold")->text(), "123");
  });
}

TEST_F(WirelessPageViewTest, ApClientNeedsAFixedAddressAndBridgeFreesTheBssid) {
  sim_.Set(0, "DhcpClient", 'i', "1");
  OnWirelessTab([&] {
    QComboBox* mode = Combo("mode");
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_End);  // straight past "AP Client"
    EXPECT_EQ(mode->currentText(), "Repeater");
    EXPECT_TRUE(prompter_.Texts().empty());
    // A refused choice goes back to the selection "Mode:" had when it got the focus.
    Edit("essid")->setFocus();
    Choose(mode, pages::WirelessPage::kApClient);
    EXPECT_EQ(mode->currentText(), "Repeater");
    EXPECT_EQ(prompter_.Texts(),
              (std::vector<std::string>{
                  "Only have a fixed LAN IP address then you can setting to AP Cleint mode."}));

    QTest::keyClick(mode, Qt::Key_Home);
    EXPECT_EQ(mode->currentText(), "Bridge");
    EXPECT_FALSE(Edit("bssid")->isReadOnly());
    Retype(Edit("bssid"), "0011223344FF");
    Click("applyButton");
    EXPECT_TRUE(app_->Session().ResetNeeded()) << "a new mode needs a reset";
  });
  EXPECT_EQ(sim_.Get(0, "OperationMode").value, "1");
  EXPECT_EQ(sim_.Get(0, "Bssid").value, "0011223344FF");
  EXPECT_FALSE(WasSet(mib::Variable::SystemRestart)) << "no radio value changed";
}

}  // namespace
}  // namespace kelvo::gui
