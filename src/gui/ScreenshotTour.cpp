// SPDX-License-Identifier: GPL-2.0-or-later
#include "ScreenshotTour.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>
#include <memory>

#include "Application.h"
#include "ConfigurationSheetDialog.h"
#include "MainWindowView.h"
#include "PasswordDialog.h"
#include "RfTestDialog.h"
#include "TrafficWindow.h"
#include "UpdateFirmwareWindow.h"

namespace kelvo::gui {
namespace {

constexpr int kSettleMs = 600;
constexpr int kDiscoveryMs = 1500;
// Often enough to catch the transfer part way and the outcome's message as it opens.
constexpr int kPollMs = 40;
// Long enough for two counter polls of the RF test window.
constexpr int kRfTestRunMs = 4500;

// Fusion's colours turned dark, as desktops with a dark theme give them.
QPalette DarkPalette() {
  QPalette palette;
  const QColor window(0x35, 0x35, 0x35);
  const QColor base(0x26, 0x26, 0x26);
  const QColor text(0xe8, 0xe8, 0xe8);
  const QColor disabled(0x80, 0x80, 0x80);
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::ToolTipBase, base);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::BrightText, Qt::red);
  palette.setColor(QPalette::Link, QColor(0x4a, 0x9e, 0xe8));
  palette.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::PlaceholderText, disabled);
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, disabled);
  }
  return palette;
}

}  // namespace

ScreenshotTour::ScreenshotTour(Application& application, QString directory)
    : application_(application),
      directory_(std::move(directory)),
      firmwareImage_(qEnvironmentVariable("KELVO_SCREENSHOT_FIRMWARE")),
      startWatch_(new QTimer(this)) {
  if (qEnvironmentVariable("KELVO_SCREENSHOT_PALETTE") == QLatin1String("dark")) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(DarkPalette());
  }
  // Until Begin, only the event loop of a box that start-up opens runs this timer.
  startWatch_->setInterval(kPollMs);
  connect(startWatch_, &QTimer::timeout, this, &ScreenshotTour::AtStartMessage);
  startWatch_->start();
}

void ScreenshotTour::Begin() {
  startWatch_->stop();
  QTimer::singleShot(kDiscoveryMs, this, &ScreenshotTour::AtMainWindow);
}

void ScreenshotTour::Grab(QWidget* widget, const QString& name) {
  if (widget == nullptr) return;
  // Made with the first picture: a copy that ends before any window leaves nothing behind.
  QDir().mkpath(directory_);
  widget->grab().save(QDir(directory_).filePath(name + QStringLiteral(".png")));
}

void ScreenshotTour::AtStartMessage() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr) return;
  Grab(box, QStringLiteral("start-message"));
  QTextStream(stdout) << "start-up message: " << box->text() << Qt::endl;
  box->accept();
}

void ScreenshotTour::AtMainWindow() {
  MainWindowView* window = application_.Window();
  Grab(window, QStringLiteral("main-window"));
  if (application_.MainWindowModel().Rows().empty()) {
    window->close();
    return;
  }
  QTimer::singleShot(0, this, [this] {
    // The About box is modal: grab it from inside its own event loop.
    QTimer::singleShot(kSettleMs, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      Grab(box, QStringLiteral("about"));
      if (box != nullptr) box->accept();
    });
    application_.Window()->ShowAbout();
    application_.MainWindowModel().ClickRow(0);
    // It reads on its own through the rest of the tour.
    traffic_ = application_.Window()->ShowTraffic();
    QTimer::singleShot(kSettleMs, this, &ScreenshotTour::AtPrompt);
    application_.MainWindowModel().Configure();
    // The sheet has closed; the list is discovered anew.
    QTimer::singleShot(kDiscoveryMs, this, [this] {
      Grab(traffic_, QStringLiteral("traffic-window"));
      application_.Window()->close();
    });
  });
}

void ScreenshotTour::AtPrompt() {
  auto* prompt = qobject_cast<PasswordDialog*>(QApplication::activeModalWidget());
  if (prompt == nullptr) return;
  prompt->PasswordField()->setText(QStringLiteral("admin"));
  Grab(prompt, QStringLiteral("password-prompt"));
  QTimer::singleShot(kSettleMs, this, [this] { AtSheet(0); });
  prompt->OkButton()->click();
}

void ScreenshotTour::AtSheet(int tab) {
  auto* sheet = qobject_cast<ConfigurationSheetDialog*>(QApplication::activeModalWidget());
  if (sheet == nullptr) return;
  Grab(sheet, QStringLiteral("sheet-%1").arg(tab));
  if (tab + 1 >= sheet->Tabs()->count()) {
    // Every page has been read now, so a profile can be saved from them.
    sheet->Tabs()->setCurrentIndex(0);
    QTimer::singleShot(kSettleMs, this, &ScreenshotTour::AtProfiles);
    return;
  }
  sheet->Tabs()->setCurrentIndex(tab + 1);
  QTimer::singleShot(kSettleMs, this, [this, tab] { AtSheet(tab + 1); });
}

void ScreenshotTour::AtProfiles() {
  auto* sheet = qobject_cast<ConfigurationSheetDialog*>(QApplication::activeModalWidget());
  if (sheet == nullptr) return;
  QWidget* system = sheet->Tabs()->widget(0);
  auto* name = system->findChild<QLineEdit*>(QStringLiteral("newProfileName"));
  auto* addSave = system->findChild<QPushButton*>(QStringLiteral("addSaveButton"));
  if (name == nullptr || addSave == nullptr) {
    sheet->close();
    return;
  }
  // Typed as a user would, so the field's model sees each name.
  const auto type = [name](const QString& text) {
    name->setFocus();
    name->selectAll();
    name->insert(text);
  };
  // Without a profile directory nothing is saved and the list stays empty.
  for (const QString& profile : {QStringLiteral("Lobby"), QStringLiteral("Dock-2")}) {
    type(profile);
    addSave->click();
  }
  type(QStringLiteral("Lobby"));
  // The question is modal: grab it, with the list behind it, from its own event loop.
  auto asked = std::make_shared<bool>(false);
  QTimer::singleShot(kSettleMs, this, [this, sheet = QPointer<QWidget>(sheet), asked] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (sheet == nullptr || box == nullptr || box->parentWidget() != sheet) return;
    *asked = true;
    Grab(box, QStringLiteral("profile-rewrite-question"));
    Grab(sheet, QStringLiteral("sheet-0-profiles"));
    box->button(QMessageBox::No)->click();
  });
  addSave->click();
  if (!*asked) Grab(sheet, QStringLiteral("sheet-0-profiles"));
  QTimer::singleShot(kSettleMs, this, &ScreenshotTour::AtFirmware);
}

void ScreenshotTour::AtFirmware() {
  auto* sheet = qobject_cast<ConfigurationSheetDialog*>(QApplication::activeModalWidget());
  if (sheet == nullptr) return;
  auto* update =
      sheet->Tabs()->widget(0)->findChild<QPushButton*>(QStringLiteral("updateFwButton"));
  if (!firmwareImage_.isEmpty() && update != nullptr) {
    // The device is prepared first; the window then runs modally until the tour closes it.
    QTimer::singleShot(kSettleMs, this, &ScreenshotTour::AtFirmwareWindow);
    update->click();
  }
  // In manufacturing mode, the RF test window; it too runs modally until the tour closes it.
  auto* mfg = sheet->Tabs()->widget(0)->findChild<QPushButton*>(QStringLiteral("mfgButton"));
  if (mfg != nullptr && mfg->isVisible()) {
    QTimer::singleShot(kSettleMs, this, &ScreenshotTour::AtRfTestWindow);
    mfg->click();
  }
  sheet->close();
}

void ScreenshotTour::AtRfTestWindow() {
  auto* window = qobject_cast<RfTestDialog*>(QApplication::activeModalWidget());
  if (window == nullptr) return;
  Grab(window, QStringLiteral("rftest-window"));
  // Both interfaces are loopback here; the device under test is the first access point.
  for (const char* name : {"wirelessAddress", "ethernetAddress"}) {
    auto* address = window->findChild<QWidget*>(QLatin1String(name));
    if (address == nullptr) continue;
    const auto parts = address->findChildren<QLineEdit*>();
    const QStringList bytes = {QStringLiteral("127"), QStringLiteral("0"), QStringLiteral("0"),
                               QStringLiteral("1")};
    for (qsizetype i = 0; i < parts.size() && i < bytes.size(); ++i) {
      parts[i]->setFocus();
      parts[i]->selectAll();
      parts[i]->insert(bytes[i]);
    }
  }
  const auto click = [window](const char* name) {
    if (auto* button = window->findChild<QPushButton*>(QLatin1String(name))) button->click();
  };
  // Set reads the device's parameters and registers and starts the counters; a shorter run is
  // applied, then the packet receive test streams to the device while its counters come in.
  click("setButton");
  if (auto* number = window->findChild<QLineEdit*>(QStringLiteral("packetNumber"))) {
    number->setFocus();
    number->selectAll();
    number->insert(QStringLiteral("500"));
  }
  click("applyButton");
  click("packetRxButton");
  QTimer::singleShot(kRfTestRunMs, this, [this, window = QPointer<RfTestDialog>(window), click] {
    if (window == nullptr) return;
    Grab(window, QStringLiteral("rftest-window-running"));
    click("packetRxButton");
    window->close();
  });
}

void ScreenshotTour::AtFirmwareWindow() {
  auto* window = qobject_cast<UpdateFirmwareWindow*>(QApplication::activeModalWidget());
  if (window == nullptr) return;
  auto* upgrade = window->findChild<QPushButton*>(QStringLiteral("upgradeButton"));
  Grab(window, QStringLiteral("firmware-window"));
  QLineEdit* name = window->FileName();
  name->setFocus();
  name->selectAll();
  name->insert(firmwareImage_);
  Grab(window, QStringLiteral("firmware-window-file"));
  if (upgrade == nullptr) {
    window->close();
    return;
  }
  // The upgrade blocks in its request while the window keeps painting and timers run: picture
  // the transfer once it is well under way, then the messages; the outcome's comes last.
  auto* poll = new QTimer(window);
  poll->setInterval(kPollMs);
  auto caught = std::make_shared<bool>(false);
  connect(poll, &QTimer::timeout, this, [this, window, caught] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      Grab(box, QStringLiteral("firmware-message"));
      box->accept();
      return;
    }
    const QProgressBar* progress = window->Progress();
    const int value = progress->value();
    if (!*caught && value >= progress->maximum() / 4 && value < progress->maximum()) {
      *caught = true;
      Grab(window, QStringLiteral("firmware-window-transfer"));
    }
  });
  poll->start();
  upgrade->click();
  poll->stop();
  Grab(window, QStringLiteral("firmware-window-done"));
  window->close();
}

}  // namespace kelvo::gui
