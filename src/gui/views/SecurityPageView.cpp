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
    FormGrid form(group, binder_);
    binder_.Choices(
        form.Add(QStringLiteral("Auth."), new QComboBox, QStringLiteral("auth"), &page_.Auth()),
        page_.Auth(), [this](int index) { page_.ChooseAuth(index); });
    binder_.Choices(
        form.Add(QStringLiteral("Encry."), new QComboBox, QStringLiteral("encry"), &page_.Encry()),
        page_.Encry(), [this](int index) { page_.ChooseEncry(index); });
    return group;
  }

  QGroupBox* BuildWep() {
    auto* group = new QGroupBox(QStringLiteral("WEP"));
    FormGrid form(group, binder_);
    binder_.Choices(
        form.Add(QStringLiteral(" WEP:"), new QComboBox, QStringLiteral("wep"), &page_.Wep()),
        page_.Wep(), [this](int index) { page_.ChooseWep(index); });
    binder_.Choices(form.Add(QStringLiteral("Active:"), new QComboBox, QStringLiteral("active"),
                             &page_.Active()),
                    page_.Active(), [this](int index) { page_.ChooseActive(index); });
    for (std::size_t i = 0; i < 4; ++i) {
      const QString number = QString::number(i + 1);
      binder_.Text(form.Add(QStringLiteral("Key%1:").arg(number), PasswordEdit(),
                            QStringLiteral("key%1").arg(number), &page_.Key(i)),
                   page_.Key(i));
    }
    return group;
  }

  QGroupBox* Build8021X() {
    auto* group = new QGroupBox(QStringLiteral("802.1X"));
    FormGrid form(group, binder_);
    binder_.Choices(form.Add(QStringLiteral("ReAuthEnabled:"), new QComboBox,
                             QStringLiteral("reAuthEnabled"), &page_.ReAuthEnabled()),
                    page_.ReAuthEnabled());
    binder_.Number(form.Add(QStringLiteral("ReAuthPeriod:"), NumberEdit(),
                            QStringLiteral("reAuthPeriod"), &page_.ReAuthPeriod()),
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
    form.Grid()->addLayout(servers, form.NextRow(), 0, 1, 2);
    return group;
  }

  QGroupBox* BuildWpa() {
    wpa_ = new QGroupBox(QStringLiteral("WPA"));
    wpa_->setObjectName(QStringLiteral("wpa"));
    FormGrid form(wpa_, binder_);
    binder_.Choices(form.Add(QStringLiteral("Support Sta."), new QComboBox,
                             QStringLiteral("supportSta"), &page_.SupportSta()),
                    page_.SupportSta());
    binder_.Choices(form.Add(QStringLiteral("Cipher:"), new QComboBox, QStringLiteral("cipher"),
                             &page_.Cipher()),
                    page_.Cipher());
    binder_.Number(form.Add(QStringLiteral("Key Interval:"), NumberEdit(),
                            QStringLiteral("keyInterval"), &page_.KeyInterval()),
                   page_.KeyInterval());
    binder_.Text(form.Add(QStringLiteral("PSK (HEX):"), PasswordEdit(), QStringLiteral("pskHex"),
                          &page_.Psk()),
                 page_.Psk());
    auto* ascii = new QCheckBox(QStringLiteral("ASCII Passphrase"));
    ascii->setObjectName(QStringLiteral("asciiPassphrase"));
    ascii->setAccessibleName(ascii->text());
    binder_.Check(ascii, page_.AsciiPassphrase(), [this] { page_.ClickAsciiPassphrase(); });
    form.Grid()->addWidget(ascii, form.NextRow(), 1);
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
