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
    FormGrid form(group, binder_);
    binder_.Check(form.Add(QStringLiteral("Reject broadcast probe:"), EnableBox(),
                           QStringLiteral("rejectBroadcastProbe"), &page_.RejectBroadcastProbe()),
                  page_.RejectBroadcastProbe());
    binder_.Check(form.Add(QStringLiteral("WLan Interface:"), EnableBox(),
                           QStringLiteral("wlanInterface"), &page_.WlanInterface()),
                  page_.WlanInterface());
    binder_.Choices(form.Add(QStringLiteral("Channel ID:"), new QComboBox,
                             QStringLiteral("channelId"), &page_.ChannelId()),
                    page_.ChannelId());
    binder_.Text(
        form.Add(QStringLiteral("ESSID:"), new QLineEdit, QStringLiteral("essid"), &page_.Essid()),
        page_.Essid());
    binder_.Text(form.Add(QStringLiteral("Device Name:"), new QLineEdit,
                          QStringLiteral("deviceName"), &page_.DeviceName()),
                 page_.DeviceName());
    binder_.Choices(form.Add(QStringLiteral("Basic Rates:"), new QComboBox,
                             QStringLiteral("basicRates"), &page_.BasicRates()),
                    page_.BasicRates());
    binder_.Choices(form.Add(QStringLiteral("Data Rates:"), new QComboBox,
                             QStringLiteral("dataRates"), &page_.DataRates()),
                    page_.DataRates());
    binder_.Choices(form.Add(QStringLiteral("Preamble Type:"), new QComboBox,
                             QStringLiteral("preambleType"), &page_.PreambleType()),
                    page_.PreambleType());
    binder_.Number(form.Add(QStringLiteral("Beacon Interval:"), ShortEdit(6),
                            QStringLiteral("beaconInterval"), &page_.BeaconInterval()),
                   page_.BeaconInterval());
    binder_.Number(form.Add(QStringLiteral("RTS Threshold:"), ShortEdit(6),
                            QStringLiteral("rtsThreshold"), &page_.RtsThreshold()),
                   page_.RtsThreshold());
    binder_.Number(form.Add(QStringLiteral("Frag. Threshold:"), ShortEdit(6),
                            QStringLiteral("fragThreshold"), &page_.FragThreshold()),
                   page_.FragThreshold());
    return group;
  }

  QGroupBox* BuildOperationMode() {
    auto* group = new QGroupBox(QStringLiteral("Operation Mode"));
    FormGrid form(group, binder_);
    mode_ = form.Add(QStringLiteral("Mode:"), new QComboBox, QStringLiteral("mode"), &page_.Mode());
    mode_->installEventFilter(this);
    binder_.Choices(mode_, page_.Mode(), [this](int index) { page_.ChooseMode(index); });
    binder_.Text(
        form.Add(QStringLiteral("BSSID:"), ShortEdit(12), QStringLiteral("bssid"), &page_.Bssid()),
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
