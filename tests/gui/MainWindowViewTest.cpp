// SPDX-License-Identifier: GPL-2.0-or-later
// The program's windows against simulated access points: discovery into the list, the way
// through the password prompt into the sheet, the reads the sheet makes and the reset
// question of its close box. Message boxes are scripted, except where a real one is clicked.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include "GuiFixture.h"
#include "PasswordDialog.h"
#include "mib/MibVariables.h"

namespace kelvo::gui {
namespace {

using test::OnModalOf;
using test::SpinUntil;

class MainWindowViewTest : public test::AppFixture {
 protected:
  // The read groups the access point received, in order; 0 for a request that is none.
  std::vector<int> GroupsRead(int ap) {
    std::vector<std::vector<std::string>> requests;
    int sequence = 0;
    for (const auto& entry : sim_.Log(ap)) {
      if (entry.sequence != sequence) {
        requests.emplace_back();
        sequence = entry.sequence;
      }
      requests.back().push_back(entry.oid);
    }
    std::vector<int> groups;
    for (const auto& oids : requests) {
      int found = 0;
      for (const mib::Group group : mib::kAllGroups) {
        std::vector<std::string> expected;
        for (const auto variable : mib::ReadGroup(group)) {
          expected.push_back(mib::FullOid(variable));
        }
        if (expected == oids) found = static_cast<int>(group);
      }
      groups.push_back(found);
    }
    return groups;
  }
};

TEST_F(MainWindowViewTest, ShowingTheWindowListsEveryAccessPoint) {
  for (int ap = 0; ap < sim_.Count(); ++ap)
    sim_.Set(ap, "DeviceName", 's', "Hall-" + std::to_string(ap));
  StartAndDiscover();
  EXPECT_EQ(app_->Window()->windowTitle(), "Kelvo");
  for (int ap = 0; ap < sim_.Count(); ++ap) {
    const int row = RowOf(sim_.Address(ap));
    ASSERT_GE(row, 0) << sim_.Address(ap);
    EXPECT_EQ(List()->topLevelItem(row)->text(1).toStdString(), "Hall-" + std::to_string(ap));
  }
  EXPECT_TRUE(prompter_.Shown().empty());

  // "Discovery" empties the list and fills it again.
  sim_.Set(0, "DeviceName", 's', "Renamed");
  QTest::mouseClick(app_->Window()->DiscoveryButton(), Qt::LeftButton);
  ASSERT_TRUE(SpinUntil([&] {
    const int row = RowOf(sim_.Address(0));
    return row >= 0 && List()->topLevelItem(row)->text(1) == "Renamed";
  }));
}

TEST_F(MainWindowViewTest, ConfigurationWithoutASelectedRowOpensNothing) {
  StartAndDiscover();
  QTest::mouseClick(app_->Window()->ConfigurationButton(), Qt::LeftButton);
  QTest::qWait(100);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowViewTest, ClickedRowIsManagedEvenAfterAKeyboardMove) {
  StartAndDiscover();
  const int clicked = RowOf(sim_.Address(1));
  ClickRow(clicked);
  EXPECT_EQ(List()->SelectedRow(), clicked);
  List()->setFocus();
  QTest::keyClick(List(), clicked == 0 ? Qt::Key_Down : Qt::Key_Up);
  EXPECT_NE(List()->SelectedRow(), clicked);
  EXPECT_NE(app_->MainWindowModel().SelectedRow(), clicked) << "the model follows the keyboard";
  for (int ap = 0; ap < sim_.Count(); ++ap) sim_.ClearLog(ap);

  bool sheetOpened = false;
  Configure("admin", [&](ConfigurationSheetDialog* sheet) {
    ASSERT_NE(sheet, nullptr);
    sheetOpened = true;
    EXPECT_EQ(sheet->windowTitle(), "Access Point Configuation Utility");
    sheet->close();
  });
  ASSERT_TRUE(sheetOpened);
  EXPECT_EQ(app_->Sheet().Host(), sim_.Address(1));
  const auto groups = GroupsRead(1);
  ASSERT_GE(groups.size(), 2U);
  EXPECT_EQ(std::vector<int>(groups.begin(), groups.begin() + 2), (std::vector<int>{1, 2}));
  EXPECT_EQ(app_->Session().WriteCommunity(), "admin");
}

TEST_F(MainWindowViewTest, SheetReadsTheGroupOfAPressedTabOnly) {
  StartAndDiscover();
  ClickRow(RowOf(sim_.Address(0)));
  std::vector<int> afterWireless;
  std::vector<int> afterSame;
  Configure("admin", [&](ConfigurationSheetDialog* sheet) {
    ASSERT_NE(sheet, nullptr);
    QStringList texts;
    for (int tab = 0; tab < sheet->Tabs()->count(); ++tab) texts << sheet->Tabs()->tabText(tab);
    EXPECT_EQ(texts, (QStringList{"System", "IP Config", "Statistic", "Wireless Operation",
                                  "Security", "About"}));
    sim_.ClearLog(0);
    QTabBar* bar = sheet->Tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(3).center());
    SpinUntil([&] { return app_->Sheet().CurrentTab() == 3; });
    afterWireless = GroupsRead(0);
    sim_.ClearLog(0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(3).center());
    QTest::qWait(50);
    afterSame = GroupsRead(0);
    sheet->close();
  });
  ASSERT_FALSE(afterWireless.empty());
  EXPECT_EQ(afterWireless.front(), 4) << "Wireless Operation reads group 4 first";
  EXPECT_TRUE(afterSame.empty()) << "the tab in front reads nothing";
}

TEST_F(MainWindowViewTest, CloseBoxWithAPendingResetAsksAndResetsOnYes) {
  StartAndDiscover();
  ClickRow(RowOf(sim_.Address(2)));
  prompter_.QueueAnswer(ui::Answer::Yes);
  Configure("admin", [&](ConfigurationSheetDialog* sheet) {
    ASSERT_NE(sheet, nullptr);
    app_->Session().SetResetNeeded(true);
    sim_.ClearLog(2);
    sheet->close();
  });
  ASSERT_TRUE(SpinUntil([&] { return QApplication::activeModalWidget() == nullptr; }));
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_TRUE(prompter_.Shown()[0].question);
  EXPECT_EQ(prompter_.Shown()[0].text, pages::sheet_messages::kResetQuestion);
  const auto log = sim_.Log(2);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front().pdu, "set");
  EXPECT_EQ(log.front().oid, "1.3.6.1.4.1.15177.1.1.1.2.0");
  EXPECT_EQ(log.front().community, "admin");
  // Closing the sheet discovers again.
  EXPECT_TRUE(SpinUntil([&] { return List()->topLevelItemCount() == sim_.Count(); }));
}

TEST_F(MainWindowViewTest, PasswordPromptKeysAndCloseBox) {
  StartAndDiscover();
  ClickRow(0);
  // Escape: no sheet, authorisation unchanged.
  OnModalOf<PasswordDialog>([](PasswordDialog* prompt) {
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->windowTitle(), "Authorized Password");
    EXPECT_EQ(prompt->PasswordField()->echoMode(), QLineEdit::Password);
    QTest::keyClicks(prompt->PasswordField(), "0123456789abcdefXYZ");
    EXPECT_EQ(prompt->PasswordField()->text(), "0123456789abcde") << "typing stops at 15";
    QTest::keyClick(prompt, Qt::Key_Escape);
  });
  QTest::mouseClick(app_->Window()->ConfigurationButton(), Qt::LeftButton);
  EXPECT_FALSE(app_->Session().Authorised());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // The close box withdraws an earlier authorisation.
  app_->Session().SetAuthorised(true);
  OnModalOf<PasswordDialog>([](PasswordDialog* prompt) { prompt->close(); });
  QTest::mouseClick(app_->Window()->ConfigurationButton(), Qt::LeftButton);
  EXPECT_FALSE(app_->Session().Authorised());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The box and the prompt both count the bytes the device stores: one per Latin-1 character.
TEST_F(MainWindowViewTest, PasswordHoldsLatin1CharactersOneBytePerCharacter) {
  StartAndDiscover();
  app_->Prompt().Open();
  PasswordDialog prompt(app_->Prompt());
  // Key presses carrying the characters, as a keyboard layout delivers them.
  for (const QChar c : QString::fromUtf8("\u20ac") + QString(16, QChar(0xE9))) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(prompt.PasswordField(), &key);
  }
  EXPECT_EQ(prompt.PasswordField()->text(), QString(15, QChar(0xE9))) << "no euro sign, 15 of é";
  QTest::mouseClick(prompt.OkButton(), Qt::LeftButton);
  EXPECT_EQ(app_->Session().WriteCommunity(), std::string(15, '\xE9'));
  EXPECT_EQ(app_->Session().Authorised(), 1);
}

TEST_F(MainWindowViewTest, DoubleClickOpensThePromptForThatRow) {
  StartAndDiscover();
  const int row = RowOf(sim_.Address(2));
  bool prompted = false;
  OnModalOf<PasswordDialog>([&](PasswordDialog* prompt) {
    prompted = prompt != nullptr;
    if (prompt != nullptr) QTest::keyClick(prompt, Qt::Key_Escape);
  });
  const QRect rect = List()->visualItemRect(List()->topLevelItem(row));
  QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, rect.center());
  EXPECT_TRUE(SpinUntil([&] { return prompted; }));
  EXPECT_EQ(app_->MainWindowModel().RecordedRow(), row);
}

TEST_F(MainWindowViewTest, StandardDialogKeysCloseTheWindow) {
  StartAndDiscover();
  List()->setFocus();
  QTest::keyClick(List(), Qt::Key_Escape);
  EXPECT_FALSE(app_->Window()->isVisible());
}

// The one test with real message boxes: the reset question answered No with the mouse.
class RealMessageBoxTest : public MainWindowViewTest {
 protected:
  RealMessageBoxTest() { MakeApp(QString(), nullptr); }
};

TEST_F(RealMessageBoxTest, ResetQuestionAnsweredNoSendsNothing) {
  StartAndDiscover();
  ClickRow(RowOf(sim_.Address(0)));
  QString question;
  QString caption;
  Configure("admin", [&](ConfigurationSheetDialog* sheet) {
    ASSERT_NE(sheet, nullptr);
    app_->Session().SetResetNeeded(true);
    sim_.ClearLog(0);
    OnModalOf<QMessageBox>([&](QMessageBox* box) {
      ASSERT_NE(box, nullptr);
      question = box->text();
      caption = box->windowTitle();
      EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
      QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    sheet->close();
  });
  ASSERT_TRUE(SpinUntil([&] { return QApplication::activeModalWidget() == nullptr; }));
  EXPECT_EQ(question.toStdString(), pages::sheet_messages::kResetQuestion);
  EXPECT_EQ(caption, "Kelvo");
  for (const auto& entry : sim_.Log(0)) EXPECT_NE(entry.pdu, "set");
}

}  // namespace
}  // namespace kelvo::gui
