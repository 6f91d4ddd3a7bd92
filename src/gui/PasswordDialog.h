// SPDX-License-Identifier: GPL-2.0-or-later
// The "Authorized Password" prompt's window; the PasswordPrompt model decides what OK,
// Escape and the close box mean.
#pragma once

#include <QDialog>

#include "pages/PasswordPrompt.h"

class QLineEdit;
class QPushButton;

namespace kelvo::gui {

class PasswordDialog final : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kTitle = "Authorized Password";

  PasswordDialog(pages::PasswordPrompt& prompt, QWidget* parent = nullptr);
  QLineEdit* PasswordField() const { return password_; }
  QPushButton* OkButton() const { return ok_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Ok();

  pages::PasswordPrompt& prompt_;
  QLineEdit* password_;
  QPushButton* ok_;
};

}  // namespace kelvo::gui
