// SPDX-License-Identifier: GPL-2.0-or-later
// The Traffic window of one access point over the TrafficHistory model: the last five minutes
// of its rates in two charts (bytes per second above, frames per second below), a status line,
// "Pause"/"Resume" and "Export CSV...". Not modal; it reads through a TrafficReader of its own
// and stops it when it closes. GUI thread.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "snmp/AgentSession.h"
#include "statistics/TrafficHistory.h"
#include "ui/Prompter.h"

class QChart;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace kelvo::gui {

class TrafficReader;

class TrafficWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kPause = "Pause";
  static constexpr const char* kResume = "Resume";

  // The prompter shows an export's failure.
  TrafficWindow(const snmp::AccessPointEntry& accessPoint, std::uint16_t agentPort,
                ui::Prompter& prompter, QWidget* parent = nullptr);
  ~TrafficWindow() override;

  const std::string& Host() const { return host_; }
  const statistics::TrafficHistory& History() const { return history_; }
  QLineSeries* Series(statistics::TrafficSeries series) const {
    return series_[static_cast<std::size_t>(series)];
  }
  // The rate axis of a series' chart, whose title is the unit its points are in.
  QValueAxis* RateAxis(statistics::TrafficSeries series) const;
  QLabel* Status() const { return status_; }
  QPushButton* PauseButton() const { return pause_; }
  QPushButton* ExportButton() const { return export_; }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  struct Chart {
    QChart* chart;
    QChartView* view;
    QDateTimeAxis* time;
    QValueAxis* rate;
    statistics::TrafficUnit unit;
  };

  Chart MakeChart(const QString& title, statistics::TrafficUnit unit);
  void ReadArrived(const statistics::TrafficRead& read);
  void TogglePause();
  void ExportCsv();
  // Copies the model's shown points, time span and status into the charts and the label.
  void ShowHistory();
  // The charts' colours follow the window's palette, light or dark.
  void ApplyPalette();

  std::string host_;
  ui::Prompter& prompter_;
  statistics::TrafficHistory history_;
  std::array<Chart, 2> charts_{};
  std::array<QLineSeries*, statistics::kTrafficSeriesCount> series_{};
  QLabel* status_;
  QPushButton* pause_;
  QPushButton* export_;
  TrafficReader* reader_;
};

}  // namespace kelvo::gui
