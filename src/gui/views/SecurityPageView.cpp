// SPDX-License-Identifier: GPL-2.0-or-later
// The "Security" tab: authentication and encryption, the WEP keys, 802.1X with its RADIUS
// servers, and the WPA values that are carried but never shown. Every rule runs in
// pages::SecurityPage; this view copies its state and forwards the user's choices.
#include <QCheckBox>
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

class SecurityPageView final : public PageView {
 public:
  SecurityPageView(pages::ConfigurationSheet& sheet, QWidget* parent)
      : PageView(parent), page_(sheet.Security()) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildType());
    layout->addWidget(BuildWep());
    layout->addWidget(Build8021X());
    layout->addWidget(BuildWpa());
    layout->addStretch();
    layout->addLayout(BuildButtons());
  }

  void ShowModel() override {
    binder_.Refresh();
    // The group has no state of its own: it shows while any of its controls does.
    wpa_->setVisible(page_.SupportSta().Visible() || page_.Cipher().Visible() ||
                     page_.KeyInterval().Visible() || page_.Psk().Visible() ||
                     page_.AsciiPassphrase().Visible());
  }

 private:
  // Adds "label" and its widget as a row of the grid; the label shows and hides with control.
  template <typename W>
  W* AddRow(QGridLayout* grid, int row, const QString& label, W* widget, const ui::Control& control,
            const QString& name) {
    auto* caption = new QLabel(label);
    caption->setBuddy(widget);
    widget->setObjectName(name);
    widget->setAccessibleName(label.trimmed());
    grid->addWidget(caption, row, 0);
    // A box narrower than its cell keeps to the left edge, beside its label.
    const bool narrow = widget->maximumWidth() < QWIDGETSIZE_MAX;
    grid->addWidget(widget, row, 1, narrow ? Qt::AlignLeft : Qt::Alignment());
    binder_.Flags(caption, control);
    return widget;
  }

  // A box for a number, so it does not stretch.
  static QLineEdit* NumberEdit() {
    auto* edit = new QLineEdit;
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("000000")) +
                          edit->fontMetrics().averageCharWidth() * 4);
    return edit;
  }

  static QLineEdit* PasswordEdit() {
    auto* edit = new QLineEdit;
    edit->setEchoMode(QLineEdit::Password);
    return edit;
  }

  QGroupBox* BuildType() {
    auto* group = new QGroupBox(QStringLiteral("Type"));
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    binder_.Choices(AddRow(grid, 0, QStringLiteral("Auth."), new QComboBox, page_.Auth(),
                           QStringLiteral("auth")),
                    page_.Auth(), [this](int index) { page_.ChooseAuth(index); });
    binder_.Choices(AddRow(grid, 1, QStringLiteral("Encry."), new QComboBox, page_.Encry(),
                           QStringLiteral("encry")),
                    page_.Encry(), [this](int index) { page_.ChooseEncry(index); });
    return group;
  }

  QGroupBox* BuildWep() {
    auto* group = new QGroupBox(QStringLiteral("WEP"));
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    binder_.Choices(
        AddRow(grid, 0, QStringLiteral(" WEP:"), new QComboBox, page_.Wep(), QStringLiteral("wep")),
        page_.Wep(), [this](int index) { page_.ChooseWep(index); });
    binder_.Choices(AddRow(grid, 1, QStringLiteral("Active:"), new QComboBox, page_.Active(),
                           QStringLiteral("active")),
                    page_.Active(), [this](int index) { page_.ChooseActive(index); });
    for (std::size_t i = 0; i < 4; ++i) {
      const QString number = QString::number(i + 1);
      binder_.Text(AddRow(grid, static_cast<int>(i) + 2, QStringLiteral("Key%1:").arg(number),
                          PasswordEdit(), page_.Key(i), QStringLiteral("key%1").arg(number)),
                   page_.Key(i));
    }
    return group;
  }

  QGroupBox* Build8021X() {
    auto* group = new QGroupBox(QStringLiteral("802.1X"));
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    binder_.Choices(AddRow(grid, 0, QStringLiteral("ReAuthEnabled:"), new QComboBox,
                           page_.ReAuthEnabled(), QStringLiteral("reAuthEnabled")),
                    page_.ReAuthEnabled());
    binder_.Number(AddRow(grid, 1, QStringLiteral("ReAuthPeriod:"), NumberEdit(),
                          page_.ReAuthPeriod(), QStringLiteral("reAuthPeriod")),
                   page_.ReAuthPeriod());

    // The servers top to bottom, each with its secret beside it.
    auto* servers = new QGridLayout;
    servers->addWidget(new QLabel(QStringLiteral("Radius IP")), 0, 0);
    servers->addWidget(new QLabel(QStringLiteral("Secret")), 0, 1);
    servers->setColumnStretch(1, 1);
    for (std::size_t i = 0; i < 4; ++i) {
      const QString number = QString::number(i + 1);
      auto* address = new AddressEdit;
      address->setObjectName(QStringLiteral("radiusIp%1").arg(number));
      address->setAccessibleName(QStringLiteral("Radius IP %1").arg(number));
      binder_.Address(address, page_.RadiusIp(i));
      auto* secret = new QLineEdit;
      secret->setObjectName(QStringLiteral("secret%1").arg(number));
      secret->setAccessibleName(QStringLiteral("Secret %1").arg(number));
      binder_.Text(secret, page_.Secret(i));
      servers->addWidget(address, static_cast<int>(i) + 1, 0);
      servers->addWidget(secret, static_cast<int>(i) + 1, 1);
    }
    grid->addLayout(servers, 2, 0, 1, 2);
    return group;
  }

  QGroupBox* BuildWpa() {
    wpa_ = new QGroupBox(QStringLiteral("WPA"));
    wpa_->setObjectName(QStringLiteral("wpa"));
    auto* grid = new QGridLayout(wpa_);
    grid->setColumnStretch(1, 1);
    binder_.Choices(AddRow(grid, 0, QStringLiteral("Support Sta."), new QComboBox,
                           page_.SupportSta(), QStringLiteral("supportSta")),
                    page_.SupportSta());
    binder_.Choices(AddRow(grid, 1, QStringLiteral("Cipher:"), new QComboBox, page_.Cipher(),
                           QStringLiteral("cipher")),
                    page_.Cipher());
    binder_.Number(AddRow(grid, 2, QStringLiteral("Key Interval:"), NumberEdit(),
                          page_.KeyInterval(), QStringLiteral("keyInterval")),
                   page_.KeyInterval());
    binder_.Text(AddRow(grid, 3, QStringLiteral("PSK (HEX):"), PasswordEdit(), page_.Psk(),
                        QStringLiteral("pskHex")),
                 page_.Psk());
    auto* ascii = new QCheckBox(QStringLiteral("ASCII Passphrase"));
    ascii->setObjectName(QStringLiteral("asciiPassphrase"));
    ascii->setAccessibleName(ascii->text());
    binder_.Check(ascii, page_.AsciiPassphrase(), [this] { page_.ClickAsciiPassphrase(); });
    grid->addWidget(ascii, 4, 1);
    return wpa_;
  }

  QHBoxLayout* BuildButtons() {
    return binder_.RefreshApplyRow(
        page_.RefreshButton(), [this] { page_.Refresh(); }, page_.ApplyButton(),
        [this] { page_.Apply(); });
  }

  pages::SecurityPage& page_;
  Binder binder_{[this] { ShowModel(); }};
  QGroupBox* wpa_ = nullptr;
};

}  // namespace

PageView* CreateSecurityPageView(pages::ConfigurationSheet& sheet, QWidget* parent) {
  return new SecurityPageView(sheet, parent);
}

}  // namespace kelvo::gui
