// SPDX-License-Identifier: GPL-2.0-or-later
// The Traffic window through its widgets against simulated access points: opened from the main
// window's context menu, its charts filled by its own reads, pause and resume, the CSV export,
// and the main window's discovery and configuration sheet undisturbed meanwhile.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <memory>

#include "GuiFixture.h"
#include "TrafficReader.h"
#include "TrafficWindow.h"

namespace kelvo::gui {
namespace {

using statistics::kTrafficSeries;
using statistics::TrafficSeries;
using test::SpinUntil;

// Long enough for a few of the window's reads, one every TrafficReader::kInterval.
constexpr std::chrono::seconds kReads{15};

class TrafficWindowTest : public test::AppFixture {
 protected:
  // Opens the main window's context menu; clicks "Traffic..." when asked to and it is enabled,
  // else closes the menu. Returns whether the item was enabled.
  bool UseTrafficItem(bool click) {
    // Shared with the poll, which outlives this call if the menu never shows.
    auto enabled = std::make_shared<bool>(false);
    auto* poll = new QTimer(app_->Window());
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [enabled, click, poll] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      poll->stop();
      poll->deleteLater();
      for (QAction* action : menu->actions()) {
        if (action->text() != MainWindowView::kTrafficCommand) continue;
        *enabled = action->isEnabled();
        if (click && *enabled) {
          QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
          return;
        }
      }
      menu->close();
    });
    poll->start();
    const QPoint at = app_->Window()->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, app_->Window()->mapToGlobal(at));
    QApplication::sendEvent(app_->Window(), &event);
    return *enabled;
  }

  QList<TrafficWindow*> TrafficWindows() { return app_->Window()->findChildren<TrafficWindow*>(); }
};

// The divisor of the unit an axis title names.
double Divisor(const QString& unit) {
  return unit.startsWith(QLatin1Char('k')) ? 1e3 : unit.startsWith(QLatin1Char('M')) ? 1e6 : 1;
}

TEST_F(TrafficWindowTest, ChartsOneAccessPointWhileTheMainWindowAndSheetWorkUndisturbed) {
  sim_.Set(0, "DeviceName", 's', "Lobby");
  StartAndDiscover();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_FALSE(UseTrafficItem(true)) << "enabled without a selected access point";
  EXPECT_TRUE(TrafficWindows().isEmpty());

  ClickRow(RowOf(sim_.Address(0)));
  EXPECT_TRUE(UseTrafficItem(true));
  ASSERT_EQ(TrafficWindows().size(), 1);
  QPointer<TrafficWindow> traffic = TrafficWindows().front();
  EXPECT_TRUE(traffic->isVisible());
  EXPECT_FALSE(traffic->isModal());
  EXPECT_EQ(traffic->windowTitle(), "Traffic - 127.0.0.2 (Lobby)");
  // The same access point again: the same window.
  EXPECT_TRUE(UseTrafficItem(true));
  EXPECT_EQ(TrafficWindows().size(), 1);

  // The simulator's first access point: 9000 B/s in over Ethernet, 28.6 wireless frames/s in.
  QLineSeries* ethernet = traffic->Series(TrafficSeries::EthernetReceive);
  QLineSeries* wireless = traffic->Series(TrafficSeries::WirelessReceive);
  ASSERT_TRUE(SpinUntil([&] { return ethernet->count() >= 2; }, kReads));
  EXPECT_EQ(traffic->RateAxis(TrafficSeries::EthernetReceive)->titleText(), "kB/s");
  EXPECT_EQ(traffic->RateAxis(TrafficSeries::WirelessReceive)->titleText(), "frames/s");
  EXPECT_NEAR(ethernet->points().back().y(), 9.0, 0.3);
  EXPECT_NEAR(wireless->points().back().y(), 28.6, 1.5);
  EXPECT_EQ(traffic->Status()->text(), "");

  // A new discovery lists every access point again, and the sheet reads without a message,
  // while points keep coming behind its modal window.
  QTest::mouseClick(app_->Window()->DiscoveryButton(), Qt::LeftButton);
  EXPECT_TRUE(SpinUntil([&] { return List()->topLevelItemCount() == sim_.Count(); }));
  ClickRow(RowOf(sim_.Address(0)));
  const qsizetype beforeSheet = ethernet->count();
  bool sheetShown = false;
  Configure("admin", [&](ConfigurationSheetDialog* sheet) {
    ASSERT_NE(sheet, nullptr);
    sheetShown = true;
    sheet_ = sheet;
    PressTab(pages::ConfigurationSheet::kWireless);
    EXPECT_TRUE(SpinUntil([&] { return ethernet->count() >= beforeSheet + 2; }, kReads));
    sheet->close();
  });
  EXPECT_TRUE(
      SpinUntil([&] { return sheetShown && QApplication::activeModalWidget() == nullptr; }));
  EXPECT_TRUE(prompter_.Shown().empty()) << prompter_.Texts().front();
  // The sheet's end starts a discovery of its own.
  EXPECT_TRUE(SpinUntil([&] { return List()->topLevelItemCount() == sim_.Count(); }));

  // Paused, the charts stand still while the reads go on.
  QTest::mouseClick(traffic->PauseButton(), Qt::LeftButton);
  EXPECT_EQ(traffic->PauseButton()->text(), TrafficWindow::kResume);
  EXPECT_TRUE(traffic->Status()->text().startsWith("Paused at "));
  const QList<QPointF> paused = ethernet->points();
  const std::size_t requests = sim_.Log(0).size();
  // Group 3 asks for three variables; two more reads.
  ASSERT_TRUE(SpinUntil([&] { return sim_.Log(0).size() >= requests + 6; }, kReads));
  EXPECT_EQ(ethernet->points(), paused);

  // The export holds exactly the shown points, in each chart's unit times its divisor.
  QTemporaryDir directory;
  const QString path = directory.filePath("lobby.csv");
  test::OnModalOf<QFileDialog>([&](QFileDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();
  });
  QTest::mouseClick(traffic->ExportButton(), Qt::LeftButton);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), paused.size() + 1);
  EXPECT_EQ(lines.front(),
            "time (UTC),Ethernet receive (B/s),Ethernet transmit (B/s),Wireless receive "
            "(frames/s),Wireless transmit (frames/s),Ethernet errors (frames/s)");
  for (qsizetype row = 0; row < paused.size(); ++row) {
    const QStringList fields = lines[row + 1].split(',');
    ASSERT_EQ(fields.size(), 1 + qsizetype{statistics::kTrafficSeriesCount});
    const QDateTime time = QDateTime::fromString(fields[0], Qt::ISODateWithMs);
    EXPECT_EQ(time.timeSpec(), Qt::UTC);
    EXPECT_EQ(time.toMSecsSinceEpoch(), static_cast<qint64>(paused[row].x()));
    for (const auto& info : kTrafficSeries) {
      QLineSeries* series = traffic->Series(info.series);
      const double divisor = Divisor(traffic->RateAxis(info.series)->titleText());
      const auto column = static_cast<qsizetype>(info.series) + 1;
      EXPECT_NEAR(fields[column].toDouble(), series->at(row).y() * divisor, 0.0006)
          << "row " << row << " " << info.name;
    }
  }

  // Resumed, the reads made while paused are there at once.
  QTest::mouseClick(traffic->PauseButton(), Qt::LeftButton);
  EXPECT_EQ(traffic->PauseButton()->text(), TrafficWindow::kPause);
  EXPECT_GE(ethernet->count(), paused.size() + 2);
  EXPECT_EQ(ethernet->points().mid(0, paused.size()), paused);

  // Silent, the access point gets a status line; closed during a read that will get no reply,
  // the window goes at once and its thread ends after the read.
  sim_.Fault(0, "silent");
  EXPECT_TRUE(SpinUntil(
      [&] { return traffic->Status()->text().startsWith("No reply from 127.0.0.2"); }, kReads));
  traffic->close();
  EXPECT_TRUE(SpinUntil([&] { return traffic == nullptr; }));
  EXPECT_TRUE(TrafficReader::WaitForAllEnded(std::chrono::seconds(5)));
  EXPECT_TRUE(prompter_.Shown().empty());
}

}  // namespace
}  // namespace kelvo::gui
