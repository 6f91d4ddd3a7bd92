// SPDX-License-Identifier: GPL-2.0-or-later
// The "IP Config" tab: the device's address, mask, gateway and DHCP client mode. The primary
// port and the MAC text are bound although never shown, so their device values go back
// unchanged with every Apply.
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/ControlBinding.h"
#include "views/PageViews.h"

namespace kelvo::gui {
namespace {

class IpConfigPageView final : public PageView {
 public:
  IpConfigPageView(pages::ConfigurationSheet& sheet, QWidget* parent)
      : PageView(parent), page_(sheet.IpConfig()) {
    setObjectName(QStringLiteral("ipConfigPage"));
    auto* group = new QGroupBox(QStringLiteral("IP Configuration"), this);
    group->setObjectName(QStringLiteral("ipConfiguration"));
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    int row = 0;
    // The label goes with its widget, so a hidden control takes its label along.
    const auto addRow = [&](const QString& text, const QString& name, QWidget* widget,
                            Qt::Alignment alignment = {}) {
      auto* label = new QLabel(text, group);
      label->setObjectName(name + QStringLiteral("Label"));
      label->setBuddy(widget);
      widget->setObjectName(name);
      widget->setAccessibleName(text);
      grid->addWidget(label, row, 0);
      grid->addWidget(widget, row, 1, alignment);
      ++row;
      return label;
    };

    auto* ipAddress = new AddressEdit(group);
    auto* subnetMask = new AddressEdit(group);
    auto* gateway = new AddressEdit(group);
    auto* dhcpClient = new QComboBox(group);
    auto* primaryPort = new QComboBox(group);
    auto* macAddress = new QLineEdit(group);
    addRow(QStringLiteral("IP address:"), QStringLiteral("ipAddress"), ipAddress);
    addRow(QStringLiteral("Subnet mask:"), QStringLiteral("subnetMask"), subnetMask);
    addRow(QStringLiteral("Gateway:"), QStringLiteral("gateway"), gateway);
    // The drop-down lists keep their natural width instead of spanning the group.
    addRow(QStringLiteral("DHCP Client:"), QStringLiteral("dhcpClient"), dhcpClient, Qt::AlignLeft);
    QLabel* primaryPortLabel = addRow(QStringLiteral("Primary port:"),
                                      QStringLiteral("primaryPort"), primaryPort, Qt::AlignLeft);
    QLabel* macAddressLabel =
        addRow(QStringLiteral("Mac address:"), QStringLiteral("macAddress"), macAddress);

    auto* refresh = MakeButton(QStringLiteral("Refresh"), QStringLiteral("refreshButton"));
    auto* apply = MakeButton(QStringLiteral("Apply"), QStringLiteral("applyButton"));
    // Never shown: it takes the Enter key so that no visible button is pressed by it.
    auto* absorber = MakeButton(QString(), QStringLiteral("defaultButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(refresh);
    buttons->addWidget(apply);
    buttons->addWidget(absorber);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    layout->addStretch();

    binder_.Address(ipAddress, page_.IpAddress());
    binder_.Address(subnetMask, page_.SubnetMask());
    binder_.Address(gateway, page_.Gateway());
    binder_.Choices(dhcpClient, page_.DhcpClient(),
                    [this](int index) { page_.ChooseDhcpClient(index); });
    binder_.Choices(primaryPort, page_.PrimaryPort());
    binder_.Flags(primaryPortLabel, page_.PrimaryPort());
    binder_.Text(macAddress, page_.MacAddress());
    binder_.Flags(macAddressLabel, page_.MacAddress());
    binder_.Push(refresh, page_.RefreshButton(), [this] { page_.Refresh(); });
    binder_.Push(apply, page_.ApplyButton(), [this] { page_.Apply(); });
    binder_.Push(absorber, page_.DefaultButton(), {});
  }

  void ShowModel() override { binder_.Refresh(); }

 private:
  QPushButton* MakeButton(const QString& text, const QString& name) {
    return NewPageButton(text, name, this);
  }

  pages::IpConfigPage& page_;
  Binder binder_{[this] { ShowModel(); }};
};

}  // namespace

PageView* CreateIpConfigPageView(pages::ConfigurationSheet& sheet, QWidget* parent) {
  return new IpConfigPageView(sheet, parent);
}

}  // namespace kelvo::gui
