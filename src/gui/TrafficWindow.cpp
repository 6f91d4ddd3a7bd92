// SPDX-License-Identifier: GPL-2.0-or-later
#include "TrafficWindow.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "QtText.h"
#include "TrafficReader.h"
#include "ui/Controls.h"
#include "util/FileReplacer.h"

namespace kelvo::gui {
namespace {

using statistics::kTrafficSeries;
using statistics::TrafficSeries;
using statistics::TrafficUnit;

constexpr std::string_view kExportCaption = "Export CSV";
// One tick a minute across the five minutes shown.
constexpr int kTimeTicks = 6;
// How far the time axis moves at once.
using AxisStep = std::chrono::duration<std::int64_t, std::ratio<10>>;

// Series colours that read well on a light and on a dark background, in kTrafficSeries order.
struct SeriesColours {
  QRgb light;
  QRgb dark;
};
constexpr std::array<SeriesColours, statistics::kTrafficSeriesCount> kColours = {{
    {0x1f6fb5, 0x5aa9f0},  // Ethernet receive: blue
    {0xd9730d, 0xffad4d},  // Ethernet transmit: orange
    {0x23923a, 0x5fd170},  // wireless receive: green
    {0x8e44ad, 0xc890e6},  // wireless transmit: purple
    {0xc62828, 0xff6b6b},  // Ethernet errors: red
}};

qreal Msecs(std::chrono::system_clock::time_point time) {
  return static_cast<qreal>(
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

QColor Mix(const QColor& a, const QColor& b, double share) {
  return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                          static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                          static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

}  // namespace

TrafficWindow::TrafficWindow(const snmp::AccessPointEntry& accessPoint, std::uint16_t agentPort,
                             ui::Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window),
      host_(accessPoint.address),
      prompter_(prompter),
      history_(accessPoint.address) {
  setObjectName(QStringLiteral("trafficWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  QString title = QStringLiteral("Traffic - ") + FromView(host_);
  if (!accessPoint.deviceName.empty()) {
    title += QStringLiteral(" (%1)").arg(FromView(ui::Utf8FromLatin1(accessPoint.deviceName)));
  }
  setWindowTitle(title);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("trafficStatus"));
  // The line keeps its height when it has nothing to say, so the charts do not jump.
  status_->setMinimumHeight(status_->fontMetrics().height());

  charts_ = {MakeChart(QStringLiteral("Ethernet"), TrafficUnit::Bytes),
             MakeChart(QStringLiteral("Frames"), TrafficUnit::Frames)};
  for (const auto& info : kTrafficSeries) {
    Chart& chart = charts_[info.unit == TrafficUnit::Bytes ? 0 : 1];
    auto* series = new QLineSeries(chart.chart);
    series->setName(FromView(info.name));
    chart.chart->addSeries(series);
    series->attachAxis(chart.time);
    series->attachAxis(chart.rate);
    series_[static_cast<std::size_t>(info.series)] = series;
  }

  pause_ = new QPushButton(QString::fromLatin1(kPause), this);
  pause_->setObjectName(QStringLiteral("pauseButton"));
  export_ = new QPushButton(QStringLiteral("Export CSV..."), this);
  export_->setObjectName(QStringLiteral("exportButton"));
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  connect(pause_, &QPushButton::clicked, this, &TrafficWindow::TogglePause);
  connect(export_, &QPushButton::clicked, this, &TrafficWindow::ExportCsv);
  connect(close, &QPushButton::clicked, this, &QWidget::close);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(pause_);
  buttons->addWidget(export_);
  buttons->addStretch();
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_);
  for (const Chart& chart : charts_) layout->addWidget(chart.view, 1);
  layout->addLayout(buttons);

  ApplyPalette();
  ShowHistory();
  resize(760, 620);

  reader_ = new TrafficReader(host_, agentPort, this);
  connect(reader_, &TrafficReader::ReadDone, this, &TrafficWindow::ReadArrived);
}

TrafficWindow::~TrafficWindow() = default;

TrafficWindow::Chart TrafficWindow::MakeChart(const QString& title, TrafficUnit unit) {
  Chart chart{new QChart, nullptr, new QDateTimeAxis, new QValueAxis, unit};
  chart.chart->setTitle(title);
  chart.chart->setAnimationOptions(QChart::NoAnimation);
  chart.chart->legend()->setAlignment(Qt::AlignBottom);
  chart.chart->setBackgroundRoundness(0);
  chart.chart->setMargins(QMargins(4, 4, 4, 4));
  chart.time->setFormat(QStringLiteral("HH:mm:ss"));
  chart.time->setTickCount(kTimeTicks);
  chart.rate->setLabelFormat(QStringLiteral("%g"));
  chart.chart->addAxis(chart.time, Qt::AlignBottom);
  chart.chart->addAxis(chart.rate, Qt::AlignLeft);
  // The view owns the chart.
  chart.view = new QChartView(chart.chart, this);
  chart.view->setRenderHint(QPainter::Antialiasing);
  chart.view->setObjectName(unit == TrafficUnit::Bytes ? QStringLiteral("bytesChart")
                                                       : QStringLiteral("framesChart"));
  chart.view->setMinimumHeight(180);
  return chart;
}

QValueAxis* TrafficWindow::RateAxis(TrafficSeries series) const {
  const auto& info = kTrafficSeries[static_cast<std::size_t>(series)];
  return charts_[info.unit == TrafficUnit::Bytes ? 0 : 1].rate;
}

void TrafficWindow::ReadArrived(const statistics::TrafficRead& read) {
  history_.Add(read);
  ShowHistory();
}

void TrafficWindow::TogglePause() {
  if (history_.Paused()) {
    history_.Resume();
  } else {
    history_.Pause();
  }
  pause_->setText(QString::fromLatin1(history_.Paused() ? kResume : kPause));
  ShowHistory();
}

void TrafficWindow::ExportCsv() {
  const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QFileDialog dialog(
      this, FromView(kExportCaption),
      QDir::home().filePath(QStringLiteral("traffic-%1-%2.csv").arg(FromView(host_), stamp)),
      QStringLiteral("CSV files (*.csv);;All files (*)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().front();
  // What is shown when the name was chosen; the old file stays whole if this fails.
  if (!util::FileReplacer().Replace(path.toStdString(), history_.Csv())) {
    const std::string text = "The traffic could not be written to " + path.toStdString() +
                             ". Any file of that name is as it was.";
    prompter_.ShowMessage(text, kExportCaption, ui::MessageIcon::Error);
  }
}

void TrafficWindow::ShowHistory() {
  const auto& points = history_.Points();
  // The time axis moves in steps: laying out its labels is most of a redraw's cost, and a step
  // changes them every ten reads instead of at each.
  const auto end =
      std::chrono::ceil<AxisStep>(history_.ShownEnd().value_or(std::chrono::system_clock::now()));
  const auto start = end - statistics::TrafficHistory::kSpan;
  for (Chart& chart : charts_) {
    double largest = 0;
    for (const auto& info : kTrafficSeries) {
      if (info.unit != chart.unit) continue;
      for (const auto& point : points) {
        largest =
            std::max(largest, point.values[static_cast<std::size_t>(info.series)].value_or(0));
      }
    }
    const statistics::RateUnit unit = statistics::ChooseRateUnit(chart.unit, largest);
    for (const auto& info : kTrafficSeries) {
      if (info.unit != chart.unit) continue;
      const auto s = static_cast<std::size_t>(info.series);
      QList<QPointF> line;
      line.reserve(static_cast<qsizetype>(points.size()));
      for (const auto& point : points) {
        if (point.values[s]) line.append({Msecs(point.wallTime), *point.values[s] / unit.divisor});
      }
      series_[s]->replace(line);
    }
    chart.time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(Msecs(start))),
                         QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(Msecs(end))));
    chart.rate->setTitleText(FromView(unit.name));
    // Headroom above the largest rate, rounded to a scale that reads well.
    chart.rate->setRange(0, largest > 0 ? largest / unit.divisor * 1.1 : 1);
    chart.rate->applyNiceNumbers();
  }
  status_->setText(FromView(history_.Status()));
}

void TrafficWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ApplyPalette();
}

void TrafficWindow::ApplyPalette() {
  // A palette may arrive while the constructor still builds the charts.
  if (charts_.back().chart == nullptr || series_.back() == nullptr) return;
  const QPalette colours = palette();
  const QColor background = colours.color(QPalette::Window);
  const QColor text = colours.color(QPalette::WindowText);
  const bool dark = background.lightness() < 128;
  const QColor grid = Mix(background, text, 0.18);
  const QColor line = Mix(background, text, 0.45);
  for (Chart& chart : charts_) {
    chart.chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart.chart->setBackgroundBrush(background);
    chart.chart->setBackgroundPen(Qt::NoPen);
    chart.chart->setPlotAreaBackgroundVisible(false);
    chart.chart->setTitleBrush(text);
    chart.chart->setTitleFont(font());
    chart.chart->legend()->setLabelColor(text);
    chart.chart->legend()->setFont(font());
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(chart.time), static_cast<QAbstractAxis*>(chart.rate)}) {
      axis->setLabelsColor(text);
      axis->setLabelsFont(font());
      axis->setTitleBrush(text);
      axis->setTitleFont(font());
      axis->setGridLineColor(grid);
      axis->setLinePenColor(line);
    }
    chart.view->setBackgroundBrush(background);
  }
  for (std::size_t s = 0; s < series_.size(); ++s) {
    QPen pen(QColor::fromRgb(dark ? kColours[s].dark : kColours[s].light));
    pen.setWidthF(2);
    series_[s]->setPen(pen);
  }
}

}  // namespace kelvo::gui
