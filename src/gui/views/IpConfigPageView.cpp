// SPDX-License-Identifier: GPL-2.0-or-later
// The "IP Config" tab: the device's address, mask, gateway and DHCP client mode. The primary
// port and the MAC text are bound although never shown, so their device values go back
// unchanged with every Apply.
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
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
    FormGrid form(group, binder_);
    auto* ipAddress = form.Add(QStringLiteral("IP address:"), new AddressEdit(group),
                               QStringLiteral("ipAddress"));
    auto* subnetMask = form.Add(QStringLiteral("Subnet mask:"), new AddressEdit(group),
                                QStringLiteral("subnetMask"));
    auto* gateway =
        form.Add(QStringLiteral("Gateway:"), new AddressEdit(group), QStringLiteral("gateway"));
    // The drop-down lists keep their natural width instead of spanning the group; the hidden
    // rows take their captions along.
    auto* dhcpClient = form.Add(QStringLiteral("DHCP Client:"), new QComboBox(group),
                                QStringLiteral("dhcpClient"), nullptr, Qt::AlignLeft);
    auto* primaryPort =
        form.Add(QStringLiteral("Primary port:"), new QComboBox(group),
                 QStringLiteral("primaryPort"), &page_.PrimaryPort(), Qt::AlignLeft);
    auto* macAddress = form.Add(QStringLiteral("Mac address:"), new QLineEdit(group),
                                QStringLiteral("macAddress"), &page_.MacAddress());

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
    binder_.Text(macAddress, page_.MacAddress());
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
