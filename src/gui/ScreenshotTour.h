// SPDX-License-Identifier: GPL-2.0-or-later
// Pictures of the windows for the documentation, taken by the program itself: the main window
// after discovery, the password prompt, every tab of the sheet, the About box, the System tab
// again after saving two profiles with the rewrite question over it and, when the environment
// names an image in KELVO_SCREENSHOT_FIRMWARE, the "Update Firmware" window empty, with that
// file's name, during the transfer and under the outcome's message; in manufacturing mode the
// RF test window as it opens and during a packet receive test; the Traffic window of the first
// access point, opened with the tour and pictured at its end; then it quits. With
// KELVO_SCREENSHOT_PALETTE=dark every window is pictured in a dark palette.
// A message box shown during start-up is pictured too (start-message), its text printed on
// stdout as "start-up message: TEXT" for scripts, and accepted so that start-up goes on.
// Driven by timers on the GUI thread; it configures the first access point listed with the
// password "admin".
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QTimer;

namespace kelvo::gui {
class TrafficWindow;
}

namespace kelvo::gui {

class Application;

class ScreenshotTour final : public QObject {
  Q_OBJECT

 public:
  // Made before Application::Start, whose messages it watches for; touches no window yet.
  ScreenshotTour(Application& application, QString directory);
  // Once Start has shown the main window: the windows' tour.
  void Begin();

 private:
  void Grab(QWidget* widget, const QString& name);
  void AtStartMessage();
  void AtMainWindow();
  void AtPrompt();
  void AtSheet(int tab);
  void AtProfiles();
  void AtFirmware();
  void AtFirmwareWindow();
  void AtRfTestWindow();

  Application& application_;
  QString directory_;
  QString firmwareImage_;
  QTimer* startWatch_;
  QPointer<TrafficWindow> traffic_;
};

}  // namespace kelvo::gui
