// SPDX-License-Identifier: GPL-2.0-or-later
#include "PasswordDialog.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "QtText.h"
#include "views/ControlBinding.h"

namespace kelvo::gui {

PasswordDialog::PasswordDialog(pages::PasswordPrompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
  setWindowTitle(FromView(kTitle));

  auto* notice = new QGroupBox(QStringLiteral("Notice:"), this);
  auto* noticeLayout = new QVBoxLayout(notice);
  noticeLayout->addWidget(new QLabel(
      QStringLiteral("Please enter the authorized password. You must enter correctly"), notice));
  noticeLayout->addWidget(new QLabel(
      QStringLiteral("password then you will get authorization to modify any values."), notice));

  password_ = new QLineEdit(this);
  password_->setEchoMode(QLineEdit::Password);
  password_->setMaxLength(static_cast<int>(pages::PasswordPrompt::kPasswordLimit));
  password_->setText(FromView(prompt_.Password().DisplayText()));
  KeepToHeldCharacters(password_, prompt_.Password());
  auto* passwordRow = new QHBoxLayout;
  passwordRow->addStretch();
  passwordRow->addWidget(new QLabel(QStringLiteral("Input Password:"), this));
  passwordRow->addWidget(password_);
  passwordRow->addStretch();
  password_->setMinimumWidth(160);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  ok_->setMinimumWidth(100);
  connect(ok_, &QPushButton::clicked, this, &PasswordDialog::Ok);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch();
  buttonRow->addWidget(ok_);
  buttonRow->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notice);
  layout->addLayout(passwordRow);
  layout->addLayout(buttonRow);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  password_->setFocus();
}

void PasswordDialog::Ok() {
  if (const auto bytes = prompt_.Password().FromDisplayed(password_->text().toStdString())) {
    prompt_.Password().SetText(*bytes);
  }
  if (prompt_.Ok()) accept();
}

void PasswordDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    prompt_.Escape();
    done(QDialog::Rejected);
    return;
  }
  QDialog::keyPressEvent(event);
}

void PasswordDialog::closeEvent(QCloseEvent* event) {
  if (prompt_.IsOpen()) prompt_.CloseBox();
  QDialog::closeEvent(event);
}

}  // namespace kelvo::gui
