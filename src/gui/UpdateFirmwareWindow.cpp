// SPDX-License-Identifier: GPL-2.0-or-later
#include "UpdateFirmwareWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "QtText.h"
#include "views/ControlBinding.h"

namespace kelvo::gui {
namespace {

constexpr int kProgressSteps = 1000;
constexpr int kFileNameChars = 50;
constexpr std::chrono::milliseconds kProgressInterval{100};

// "*.*" means every file to the dialog's users, while Qt would demand a dot.
QString QtPattern(const std::string& pattern) {
  return pattern == "*.*" ? QStringLiteral("*") : FromView(pattern);
}

}  // namespace

std::optional<std::string> QtFileChooser::ChooseExistingFile(
    const firmware::FileDialogRequest& request) {
  // Over whichever window asked, the firmware window as a rule.
  QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeModalWidget();
  QFileDialog dialog(parent, FromView(request.title));
  dialog.setObjectName(QStringLiteral("selectFirmwareDialog"));
  // The platform's dialog would not hide the patterns.
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails |
                    QFileDialog::ReadOnly);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDefaultSuffix(FromView(request.defaultSuffix));
  QStringList filters;
  for (const firmware::FileFilter& filter : request.filters) {
    filters << FromView(filter.description) + QStringLiteral(" (") + QtPattern(filter.pattern) +
                   QLatin1Char(')');
  }
  dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

UpdateFirmwareWindow::UpdateFirmwareWindow(firmware::FirmwareUpgrade& upgrade, QWidget* parent)
    : QDialog(parent),
      upgrade_(upgrade),
      binder_(std::make_unique<Binder>([this] { binder_->Refresh(); })) {
  setWindowTitle(FromView(std::string(firmware::kUpdateFirmwareTitle)));
  setModal(true);

  fileName_ = new QLineEdit(this);
  fileName_->setObjectName(QStringLiteral("fileName"));
  // Room for a typical full path; longer ones scroll, keeping the file's own name in view.
  fileName_->setMinimumWidth(fileName_->fontMetrics().averageCharWidth() * kFileNameChars);
  binder_->Text(fileName_, upgrade_.FileName());

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, kProgressSteps);
  progress_->setValue(0);
  progress_->setTextVisible(true);
  progress_->setFormat(QString());
  // The window is disabled while the device fetches, yet the bar is what the user watches:
  // it keeps its normal colours, so the count stays legible over the filled part.
  QPalette palette = progress_->palette();
  for (const QPalette::ColorRole role :
       {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text, QPalette::Highlight,
        QPalette::HighlightedText, QPalette::Button, QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
  }
  progress_->setPalette(palette);
  // Nothing to show before the first transfer; an empty bar would pass for a second field.
  progress_->hide();

  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel(QStringLiteral("File Name:"), this), 0, 0);
  fields->addWidget(fileName_, 0, 1);
  fields->addWidget(binder_->Button(
                        upgrade_.BrowseButton(), QStringLiteral("browseButton"),
                        [this] { upgrade_.Browse(); }, this),
                    0, 2);
  // Under the field and its button, level with both.
  fields->addWidget(progress_, 1, 1, 1, 2);
  fields->setColumnStretch(1, 1);

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch();
  buttonRow->addWidget(binder_->Button(
      upgrade_.UpgradeButton(), QStringLiteral("upgradeButton"), [this] { upgrade_.Upgrade(); },
      this));
  buttonRow->addWidget(binder_->Button(
      upgrade_.CancelButton(), QStringLiteral("cancelButton"), [this] { reject(); }, this));

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  // The window's own buttons stand apart from the rows they act on.
  layout->addSpacing(fontMetrics().height() / 2);
  layout->addLayout(buttonRow);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  progressTimer_.setInterval(kProgressInterval);
  connect(&progressTimer_, &QTimer::timeout, this, &UpdateFirmwareWindow::ShowProgress);
  upgrade_.SetStateListener([this] { StateChanged(); });
  binder_->Refresh();
}

UpdateFirmwareWindow::~UpdateFirmwareWindow() { upgrade_.SetStateListener(nullptr); }

void UpdateFirmwareWindow::reject() {
  // During a transfer the window takes no input; the close box waits for the verdict.
  if (!upgrade_.WindowEnabled()) return;
  upgrade_.Cancel();
  QDialog::reject();
}

void UpdateFirmwareWindow::StateChanged() {
  setEnabled(upgrade_.WindowEnabled());
  if (upgrade_.WindowEnabled()) {
    progressTimer_.stop();
  } else {
    progressTimer_.start();
  }
  ShowProgress();
}

void UpdateFirmwareWindow::ShowProgress() {
  const auto progress = upgrade_.TransferProgress();
  progress_->setVisible(progress.has_value());
  if (!progress || progress->size == 0) {
    progress_->setValue(progress && progress->finished ? kProgressSteps : 0);
    progress_->setFormat(QString());
    return;
  }
  const auto done = std::min(progress->acknowledged, progress->size);
  progress_->setValue(static_cast<int>(done * kProgressSteps / progress->size));
  progress_->setFormat(QStringLiteral("%1 of %2 bytes").arg(done).arg(progress->size));
}

}  // namespace kelvo::gui
