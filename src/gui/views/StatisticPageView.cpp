// SPDX-License-Identifier: GPL-2.0-or-later
// The "Statistic" tab: the Ethernet or the wireless traffic counters, two columns each under
// four column headings. The page model reads the counters on its own timer; the view looks
// for changed values on a short timer of its own while it is visible.
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <array>

#include "QtText.h"
#include "views/ControlBinding.h"
#include "views/PageViews.h"

namespace kelvo::gui {
namespace {

using statistics::Column;
using statistics::kCounters;

// Fast enough that a new read shows at once to the eye; a refresh only compares revisions.
constexpr int kShowIntervalMs = 200;

// The widget names of a counter: its column and its label, which alone repeat across columns.
QString CounterName(const statistics::CounterSlot& slot) {
  static constexpr std::array<std::string_view, 4> kPrefixes = {"ethernetRx", "ethernetTx",
                                                                "wirelessRx", "wirelessTx"};
  QString label = FromView(slot.label);
  label.remove(QLatin1Char(':'));
  return FromView(kPrefixes.at(static_cast<std::size_t>(slot.column))) + label;
}

// Receive counters on the left, transmit counters on the right, in both views.
int FirstGridColumn(Column column) {
  return column == Column::EthernetReceive || column == Column::WirelessReceive ? 0 : 2;
}

class StatisticPageView final : public PageView {
 public:
  StatisticPageView(pages::ConfigurationSheet& sheet, QWidget* parent)
      : PageView(parent), page_(sheet.Statistic()) {
    setObjectName(QStringLiteral("statisticPage"));
    auto* layout = new QVBoxLayout(this);

    const auto caption = pages::StatisticPage::kSelectTypeCaption;
    auto* selectType = new QGroupBox(FromView(caption), this);
    selectType->setObjectName(QStringLiteral("selectType"));
    auto* ethernet = new QRadioButton(QStringLiteral("Ethernet"), selectType);
    auto* wireless = new QRadioButton(QStringLiteral("Wireless"), selectType);
    ethernet->setObjectName(QStringLiteral("ethernet"));
    wireless->setObjectName(QStringLiteral("wireless"));
    ethernet->setAccessibleName(ethernet->text());
    wireless->setAccessibleName(wireless->text());
    auto* typeLayout = new QHBoxLayout(selectType);
    typeLayout->addWidget(ethernet);
    typeLayout->addWidget(wireless);
    typeLayout->addStretch();
    layout->addWidget(selectType);

    auto* headings = new QGroupBox(this);
    headings->setObjectName(QStringLiteral("headings"));
    auto* headingLayout = new QGridLayout(headings);
    for (std::size_t column = 0; column < pages::StatisticPage::kHeadings.size(); ++column) {
      auto* heading = new QLineEdit(headings);
      heading->setObjectName(QStringLiteral("heading%1").arg(column));
      heading->setFocusPolicy(Qt::NoFocus);
      headingLayout->addWidget(heading, 0, static_cast<int>(column));
      headingLayout->setColumnStretch(static_cast<int>(column), 1);
      binder_.Text(heading, page_.Heading(column));
    }
    layout->addWidget(headings);

    // Both views take the same place; the model shows one of them.
    auto* ethernetFrame = MakeFrame(QStringLiteral("ethernetFrame"));
    auto* wirelessFrame = MakeFrame(QStringLiteral("wirelessFrame"));
    auto* views = new QGridLayout;
    views->addWidget(ethernetFrame, 0, 0, Qt::AlignTop);
    views->addWidget(wirelessFrame, 0, 0, Qt::AlignTop);
    layout->addLayout(views);
    layout->addStretch();

    for (std::size_t i = 0; i < kCounters.size(); ++i) {
      const statistics::CounterSlot& slot = kCounters[i];
      QGroupBox* frame = statistics::ViewOf(slot.column) == statistics::View::Ethernet
                             ? ethernetFrame
                             : wirelessFrame;
      auto* grid = static_cast<QGridLayout*>(frame->layout());
      const QString name = CounterName(slot);
      auto* label = new QLabel(FromView(page_.Label(i).Text()), frame);
      label->setObjectName(name + QStringLiteral("Label"));
      auto* value = new QLineEdit(frame);
      value->setObjectName(name);
      value->setAccessibleName(label->text());
      value->setFocusPolicy(Qt::NoFocus);
      value->setAlignment(Qt::AlignRight);
      // Room for the largest 32-bit counter.
      value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("4294967295")) +
                             12);
      label->setBuddy(value);
      const int column = FirstGridColumn(slot.column);
      grid->addWidget(label, slot.row, column);
      grid->addWidget(value, slot.row, column + 1);
      binder_.Flags(label, page_.Label(i));
      binder_.Text(value, page_.Value(i));
    }

    // Never shown: it takes the Enter key so that nothing else is pressed by it.
    auto* absorber = NewPageButton(QString(), QStringLiteral("defaultButton"), this);
    layout->addWidget(absorber);

    binder_.Check(ethernet, page_.Ethernet(), [this] { page_.ClickEthernet(); });
    binder_.Check(wireless, page_.Wireless(), [this] { page_.ClickWireless(); });
    binder_.Flags(ethernetFrame, page_.EthernetFrame());
    binder_.Flags(wirelessFrame, page_.WirelessFrame());
    binder_.Push(absorber, page_.DefaultButton(), {});

    showTimer_.setInterval(kShowIntervalMs);
    connect(&showTimer_, &QTimer::timeout, this, [this] { ShowModel(); });
  }

  void ShowModel() override { binder_.Refresh(); }

 protected:
  // The model reads only while its page is in front, so only then can values change.
  void showEvent(QShowEvent* event) override {
    PageView::showEvent(event);
    ShowModel();
    showTimer_.start();
  }
  void hideEvent(QHideEvent* event) override {
    showTimer_.stop();
    PageView::hideEvent(event);
  }

 private:
  QGroupBox* MakeFrame(const QString& name) {
    auto* frame = new QGroupBox(this);
    frame->setObjectName(name);
    auto* grid = new QGridLayout(frame);
    grid->setVerticalSpacing(2);
    for (int column = 0; column < 4; ++column) grid->setColumnStretch(column, 1);
    return frame;
  }

  pages::StatisticPage& page_;
  Binder binder_{[this] { ShowModel(); }};
  QTimer showTimer_;
};

}  // namespace

PageView* CreateStatisticPageView(pages::ConfigurationSheet& sheet, QWidget* parent) {
  return new StatisticPageView(sheet, parent);
}

}  // namespace kelvo::gui
