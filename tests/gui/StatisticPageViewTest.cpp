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
#include <QTest>

#include "GuiFixture.h"
#include "pages/StatisticPage.h"

namespace kelvo::gui {
namespace {

using pages::ConfigurationSheet;
using test::SpinUntil;

class StatisticPageViewTest : public test::AppFixture {
 protected:
  // Opens the sheet on access point 0 with the Statistic tab in front and runs inTab there.
  void OnStatisticTab(const std::function<void()>& inTab) {
    OnTab(
        ConfigurationSheet::kStatistic, [] { return true; },
        [&](ConfigurationSheetDialog*, QWidget*) { inTab(); });
  }

  // A widget of the Statistic page; other pages may use the same names.
  template <typename W>
  W* Find(const QString& name) {
    return test::Find<W>(tab_, name);
  }

  QString Text(const QString& name) {
    auto* edit = Find<QLineEdit>(name);
    return edit != nullptr ? edit->text() : QString();
  }
};

TEST_F(StatisticPageViewTest, ViewsShowTheirHeadingsLabelsAndOnlyTheirCounters) {
  OnStatisticTab([&] {
    EXPECT_EQ(Find<QGroupBox>("selectType")->title(), "Select Type");
    auto* ethernet = Find<QRadioButton>("ethernet");
    auto* wireless = Find<QRadioButton>("wireless");
    EXPECT_TRUE(ethernet->isChecked());
    EXPECT_FALSE(wireless->isChecked());
    QStringList headings;
    for (int column = 0; column < 4; ++column)
      headings << Text(QStringLiteral("heading%1").arg(column));
    EXPECT_EQ(headings, (QStringList{"       Rx Items ", "      Rx Values ", "       Tx Items",
                                     "      Tx Values"}));
    EXPECT_EQ(Find<QLabel>("ethernetRxFlaseCarrierRxLabel")->text(), "FlaseCarrierRx:");
    EXPECT_EQ(Find<QLabel>("ethernetTxTotalCollisionsLabel")->text(), "TotalCollisions:");
    EXPECT_TRUE(Find<QWidget>("ethernetRxTotalBytesRx")->isVisible());
    EXPECT_FALSE(Find<QWidget>("wirelessRxRxBeacon")->isVisible());

    // A view switch reads nothing.
    sim_.ClearLog(0);
    QTest::mouseClick(wireless, Qt::LeftButton);
    EXPECT_TRUE(wireless->isChecked());
    EXPECT_FALSE(ethernet->isChecked());
    EXPECT_TRUE(sim_.Log(0).empty());
    EXPECT_FALSE(Find<QWidget>("ethernetFrame")->isVisible());
    EXPECT_FALSE(Find<QWidget>("ethernetRxTotalBytesRx")->isVisible());
    EXPECT_TRUE(Find<QWidget>("wirelessFrame")->isVisible());
    EXPECT_EQ(Find<QLabel>("wirelessRxRxBeaconLabel")->text(), "RxBeacon:");
    EXPECT_EQ(Find<QLabel>("wirelessTxTxCTSLabel")->text(), "TxCTS:");
    EXPECT_TRUE(Find<QWidget>("wirelessTxUnicast")->isVisible());
  });
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(StatisticPageViewTest, ValuesOnScreenFollowEachTimedRead) {
  OnStatisticTab([&] {
    // The tab switch has read once: the counters are on screen at once.
    const QString first = Text("ethernetRxTotalBytesRx");
    EXPECT_FALSE(first.isEmpty());
    EXPECT_FALSE(Text("wirelessRxUnicast").isEmpty()) << "the hidden view is filled too";

    // The next read comes from the page's timer, with nobody touching anything.
    ASSERT_TRUE(SpinUntil([&] { return Text("ethernetRxTotalBytesRx") != first; },
                          std::chrono::seconds(8)));
    EXPECT_GT(Text("ethernetRxTotalBytesRx").toULongLong(), first.toULongLong());

    // Away from the tab the values stand still; back on it they move again.
    PressTab(ConfigurationSheet::kAbout);
    sim_.ClearLog(0);
    QTest::qWait(3000);
    EXPECT_TRUE(sim_.Log(0).empty()) << "no reads behind another tab";
    PressTab(ConfigurationSheet::kStatistic);
    QTest::mouseClick(Find<QRadioButton>("wireless"), Qt::LeftButton);
    const QString shown = Text("wirelessTxTxBeacon");
    ASSERT_TRUE(
        SpinUntil([&] { return Text("wirelessTxTxBeacon") != shown; }, std::chrono::seconds(8)));
  });
  EXPECT_TRUE(prompter_.Shown().empty());
}

}  // namespace
}  // namespace kelvo::gui
