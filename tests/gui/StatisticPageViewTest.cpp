// SPDX-License-Identifier: GPL-2.0-or-later
// The "Statistic" tab against a simulated access point whose counters advance with time: the
// two views with their headings and labels, and values on screen that follow the page's own
// 2500 ms reads under the program's real timers.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "Application.h"
#include "ConfigurationSheetDialog.h"
#include "GuiFixture.h"
#include "MainWindowView.h"
#include "PasswordDialog.h"
#include "pages/StatisticPage.h"
#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::gui {
namespace {

using pages::ConfigurationSheet;
using test::OnModalOf;
using test::SpinUntil;

class StatisticPageViewTest : public ::testing::Test {
 protected:
  StatisticPageViewTest() {
    StartOptions options;
    options.agentPort = sim_.Port();
    options.listenPort = 0;
    options.discoveryTargets = {"127.255.255.255"};
    options.settingsPath = QString();
    app_ = std::make_unique<Application>(options, &prompter_);
  }

  // Opens the sheet on access point 0 and runs inSheet there.
  void InSheet(std::function<void(ConfigurationSheetDialog*)> inSheet) {
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
        reached = true;
        inSheet(sheet);
        sheet->close();
      });
      QTest::keyClick(prompt->PasswordField(), Qt::Key_Return);
    });
    QTest::mouseClick(app_->Window()->ConfigurationButton(), Qt::LeftButton);
    EXPECT_TRUE(reached);
  }

  void PressTab(ConfigurationSheetDialog* sheet, int tab) {
    QTabBar* bar = sheet->Tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    ASSERT_TRUE(SpinUntil([&] { return app_->Sheet().CurrentTab() == tab; }));
  }

  // A widget of the Statistic page; other pages may use the same names.
  template <typename W>
  static W* Find(QWidget* sheet, const QString& name) {
    auto* page = sheet->findChild<QWidget*>(QStringLiteral("statisticPage"));
    W* widget = page != nullptr ? page->findChild<W*>(name) : nullptr;
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }

  static QString Text(QWidget* sheet, const QString& name) {
    auto* edit = Find<QLineEdit>(sheet, name);
    return edit != nullptr ? edit->text() : QString();
  }

  test::ApSimProcess sim_;
  test::RecordingPrompter prompter_;
  std::unique_ptr<Application> app_;
};

TEST_F(StatisticPageViewTest, ViewsShowTheirHeadingsLabelsAndOnlyTheirCounters) {
  InSheet([&](ConfigurationSheetDialog* sheet) {
    PressTab(sheet, ConfigurationSheet::kStatistic);
    EXPECT_EQ(Find<QGroupBox>(sheet, "selectType")->title(), "Select Type");
    auto* ethernet = Find<QRadioButton>(sheet, "ethernet");
    auto* wireless = Find<QRadioButton>(sheet, "wireless");
    EXPECT_TRUE(ethernet->isChecked());
    EXPECT_FALSE(wireless->isChecked());
    QStringList headings;
    for (int column = 0; column < 4; ++column)
      headings << Text(sheet, QStringLiteral("heading%1").arg(column));
    EXPECT_EQ(headings, (QStringList{"       Rx Items ", "      Rx Values ", "       Tx Items",
                                     "      Tx Values"}));
    EXPECT_EQ(Find<QLabel>(sheet, "ethernetRxFlaseCarrierRxLabel")->text(), "FlaseCarrierRx:");
    EXPECT_EQ(Find<QLabel>(sheet, "ethernetTxTotalCollisionsLabel")->text(), "TotalCollisions:");
    EXPECT_TRUE(Find<QWidget>(sheet, "ethernetRxTotalBytesRx")->isVisible());
    EXPECT_FALSE(Find<QWidget>(sheet, "wirelessRxRxBeacon")->isVisible());

    // A view switch reads nothing.
    sim_.ClearLog(0);
    QTest::mouseClick(wireless, Qt::LeftButton);
    EXPECT_TRUE(wireless->isChecked());
    EXPECT_FALSE(ethernet->isChecked());
    EXPECT_TRUE(sim_.Log(0).empty());
    EXPECT_FALSE(Find<QWidget>(sheet, "ethernetFrame")->isVisible());
    EXPECT_FALSE(Find<QWidget>(sheet, "ethernetRxTotalBytesRx")->isVisible());
    EXPECT_TRUE(Find<QWidget>(sheet, "wirelessFrame")->isVisible());
    EXPECT_EQ(Find<QLabel>(sheet, "wirelessRxRxBeaconLabel")->text(), "RxBeacon:");
    EXPECT_EQ(Find<QLabel>(sheet, "wirelessTxTxCTSLabel")->text(), "TxCTS:");
    EXPECT_TRUE(Find<QWidget>(sheet, "wirelessTxUnicast")->isVisible());
  });
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(StatisticPageViewTest, ValuesOnScreenFollowEachTimedRead) {
  InSheet([&](ConfigurationSheetDialog* sheet) {
    PressTab(sheet, ConfigurationSheet::kStatistic);
    // The tab switch has read once: the counters are on screen at once.
    const QString first = Text(sheet, "ethernetRxTotalBytesRx");
    EXPECT_FALSE(first.isEmpty());
    EXPECT_FALSE(Text(sheet, "wirelessRxUnicast").isEmpty()) << "the hidden view is filled too";

    // The next read comes from the page's timer, with nobody touching anything.
    ASSERT_TRUE(SpinUntil([&] { return Text(sheet, "ethernetRxTotalBytesRx") != first; },
                          std::chrono::seconds(8)));
    EXPECT_GT(Text(sheet, "ethernetRxTotalBytesRx").toULongLong(), first.toULongLong());

    // Away from the tab the values stand still; back on it they move again.
    PressTab(sheet, ConfigurationSheet::kAbout);
    sim_.ClearLog(0);
    QTest::qWait(3000);
    EXPECT_TRUE(sim_.Log(0).empty()) << "no reads behind another tab";
    PressTab(sheet, ConfigurationSheet::kStatistic);
    QTest::mouseClick(Find<QRadioButton>(sheet, "wireless"), Qt::LeftButton);
    const QString shown = Text(sheet, "wirelessTxTxBeacon");
    ASSERT_TRUE(SpinUntil([&] { return Text(sheet, "wirelessTxTxBeacon") != shown; },
                          std::chrono::seconds(8)));
  });
  EXPECT_TRUE(prompter_.Shown().empty());
}

}  // namespace
}  // namespace kelvo::gui
