// SPDX-License-Identifier: GPL-2.0-or-later
// The "Update Firmware" window over the FirmwareUpgrade model, and the open-file dialog its
// "Browser..." button shows. GUI thread.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

#include "firmware/FirmwareUpgrade.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kelvo::gui {

class Binder;

// QFileDialog with the request's title and filters. Qt reads a filter's patterns from its
// last parenthesised group and can hide that group, so each filter shows its own description
// while matching its own pattern.
class QtFileChooser final : public firmware::FileChooser {
 public:
  explicit QtFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<std::string> ChooseExistingFile(
      const firmware::FileDialogRequest& request) override;

 private:
  QWidget* parent_;
};

class UpdateFirmwareWindow final : public QDialog {
  Q_OBJECT

 public:
  UpdateFirmwareWindow(firmware::FirmwareUpgrade& upgrade, QWidget* parent = nullptr);
  ~UpdateFirmwareWindow() override;

  QLineEdit* FileName() const { return fileName_; }
  QProgressBar* Progress() const { return progress_; }

 public Q_SLOTS:
  // "Cancel", Escape and the title-bar close.
  void reject() override;

 private:
  void StateChanged();
  void ShowProgress();

  firmware::FirmwareUpgrade& upgrade_;
  std::unique_ptr<Binder> binder_;
  QLineEdit* fileName_;
  QProgressBar* progress_;
  // Ticks inside the wait of the blocking request, which keeps painting.
  QTimer progressTimer_;
};

}  // namespace kelvo::gui
