// SPDX-License-Identifier: GPL-2.0-or-later
// The "Wireless Operation" tab: radio settings, the operation mode and the authorised MAC
// table. Every rule runs in pages::WirelessPage; this view copies its state and forwards clicks.
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/ControlBinding.h"
#include "views/PageViews.h"

namespace kelvo::gui {
namespace {

class WirelessPageView final : public PageView {
 public:
  WirelessPageView(pages::ConfigurationSheet& sheet, QWidget* parent)
      : PageView(parent), page_(sheet.Wireless()) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildWirelessSetting());
    layout->addWidget(BuildOperationMode());
    layout->addWidget(BuildAuthorized(), 1);
    layout->addLayout(BuildButtons());
  }

  void ShowModel() override { binder_.Refresh(); }

 protected:
  // "Mode:" remembers its selection when it gets the focus, so that a refused choice can go
  // back to it. The focus a closing drop-down returns is not a new visit.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == mode_ && event->type() == QEvent::FocusIn &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      page_.FocusMode();
    }
    return PageView::eventFilter(watched, event);
  }

 private:
  // Adds "label" and its widget as the next row of the grid; both show and hide with control.
  template <typename W>
  W* AddRow(QGridLayout* grid, const QString& label, W* widget, const ui::Control& control,
            const QString& name) {
    const int row = grid->rowCount();
    auto* caption = new QLabel(label);
    caption->setBuddy(widget);
    widget->setObjectName(name);
    widget->setAccessibleName(label);
    grid->addWidget(caption, row, 0);
    // A box narrower than its cell keeps to the left edge, beside its label.
    const bool narrow = widget->maximumWidth() < QWIDGETSIZE_MAX;
    grid->addWidget(widget, row, 1, narrow ? Qt::AlignLeft : Qt::Alignment());
    binder_.Flags(caption, control);
    return widget;
  }

  QCheckBox* EnableBox() { return new QCheckBox(QStringLiteral("Enable")); }

  // A box for a short value of known width (numbers, 12 hex digits), so it does not stretch.
  static QLineEdit* ShortEdit(int characters) {
    auto* edit = new QLineEdit;
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QString(characters, u'0')) +
                          edit->fontMetrics().averageCharWidth() * 4);
    return edit;
  }

  QGroupBox* BuildWirelessSetting() {
    auto* group = new QGroupBox(QStringLiteral("Wireless Setting"));
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    binder_.Check(AddRow(grid, QStringLiteral("Reject broadcast probe:"), EnableBox(),
                         page_.RejectBroadcastProbe(), QStringLiteral("rejectBroadcastProbe")),
                  page_.RejectBroadcastProbe());
    binder_.Check(AddRow(grid, QStringLiteral("WLan Interface:"), EnableBox(),
                         page_.WlanInterface(), QStringLiteral("wlanInterface")),
                  page_.WlanInterface());
    binder_.Choices(AddRow(grid, QStringLiteral("Channel ID:"), new QComboBox, page_.ChannelId(),
                           QStringLiteral("channelId")),
                    page_.ChannelId());
    binder_.Text(AddRow(grid, QStringLiteral("ESSID:"), new QLineEdit, page_.Essid(),
                        QStringLiteral("essid")),
                 page_.Essid());
    binder_.Text(AddRow(grid, QStringLiteral("Device Name:"), new QLineEdit, page_.DeviceName(),
                        QStringLiteral("deviceName")),
                 page_.DeviceName());
    binder_.Choices(AddRow(grid, QStringLiteral("Basic Rates:"), new QComboBox, page_.BasicRates(),
                           QStringLiteral("basicRates")),
                    page_.BasicRates());
    binder_.Choices(AddRow(grid, QStringLiteral("Data Rates:"), new QComboBox, page_.DataRates(),
                           QStringLiteral("dataRates")),
                    page_.DataRates());
    binder_.Choices(AddRow(grid, QStringLiteral("Preamble Type:"), new QComboBox,
                           page_.PreambleType(), QStringLiteral("preambleType")),
                    page_.PreambleType());
    binder_.Number(AddRow(grid, QStringLiteral("Beacon Interval:"), ShortEdit(6),
                          page_.BeaconInterval(), QStringLiteral("beaconInterval")),
                   page_.BeaconInterval());
    binder_.Number(AddRow(grid, QStringLiteral("RTS Threshold:"), ShortEdit(6),
                          page_.RtsThreshold(), QStringLiteral("rtsThreshold")),
                   page_.RtsThreshold());
    binder_.Number(AddRow(grid, QStringLiteral("Frag. Threshold:"), ShortEdit(6),
                          page_.FragThreshold(), QStringLiteral("fragThreshold")),
                   page_.FragThreshold());
    return group;
  }

  QGroupBox* BuildOperationMode() {
    auto* group = new QGroupBox(QStringLiteral("Operation Mode"));
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    mode_ =
        AddRow(grid, QStringLiteral("Mode:"), new QComboBox, page_.Mode(), QStringLiteral("mode"));
    mode_->installEventFilter(this);
    binder_.Choices(mode_, page_.Mode(), [this](int index) { page_.ChooseMode(index); });
    binder_.Text(AddRow(grid, QStringLiteral("BSSID:"), ShortEdit(12), page_.Bssid(),
                        QStringLiteral("bssid")),
                 page_.Bssid());
    return group;
  }

  QGroupBox* BuildAuthorized() {
    auto* group = new QGroupBox(QStringLiteral("Authorized"));
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);

    auto* enable = new QCheckBox(QStringLiteral("Enable Authorized Table"));
    enable->setObjectName(QStringLiteral("enableAuthorizedTable"));
    enable->setAccessibleName(enable->text());
    binder_.Check(enable, page_.EnableAuthorizedTable());
    grid->addWidget(enable, 0, 0, 1, 3);

    auto* list = new QListWidget;
    list->setObjectName(QStringLiteral("macAddressList"));
    list->setAccessibleName(QStringLiteral("Mac Address List:"));
    auto* listLabel = new QLabel(QStringLiteral("Mac Address List:"));
    listLabel->setBuddy(list);
    binder_.List(list, page_.MacAddressList());
    grid->addWidget(listLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(list, 1, 1, 2, 1);
    grid->setRowStretch(2, 1);

    auto* input = ShortEdit(12);
    input->setObjectName(QStringLiteral("inputMacAddress"));
    input->setAccessibleName(QStringLiteral("Input Mac Address:"));
    auto* inputLabel = new QLabel(QStringLiteral("Input Mac Address:"));
    inputLabel->setBuddy(input);
    binder_.Text(input, page_.InputMacAddress());
    grid->addWidget(inputLabel, 3, 0);
    grid->addWidget(input, 3, 1);

    // Add and Delete stand beside the list they change.
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(
        MakeButton(page_.AddButton(), QStringLiteral("addButton"), [this] { page_.Add(); }));
    listButtons->addWidget(MakeButton(page_.DeleteButton(), QStringLiteral("deleteButton"),
                                      [this] { page_.Delete(); }));
    listButtons->addStretch();
    grid->addLayout(listButtons, 1, 2, 3, 1);
    return group;
  }

  QHBoxLayout* BuildButtons() {
    return binder_.RefreshApplyRow(
        page_.RefreshButton(), [this] { page_.Refresh(); }, page_.ApplyButton(),
        [this] { page_.Apply(); });
  }

  QPushButton* MakeButton(ui::Button& state, const QString& name, Binder::Action press) {
    return binder_.Button(state, name, std::move(press));
  }

  pages::WirelessPage& page_;
  Binder binder_{[this] { ShowModel(); }};
  QComboBox* mode_ = nullptr;
};

}  // namespace

PageView* CreateWirelessPageView(pages::ConfigurationSheet& sheet, QWidget* parent) {
  return new WirelessPageView(sheet, parent);
}

}  // namespace kelvo::gui
