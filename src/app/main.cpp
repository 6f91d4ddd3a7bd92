// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo: finds the access points on the local segment and configures them.
#include <QApplication>
#include <QTextStream>
#include <cstdio>
#include <string_view>

#include "Application.h"
#include "ScreenshotTour.h"
#include "StartUp.h"
#include "Version.h"

int main(int argc, char* argv[]) {
  // Answered before Qt starts, so that they work without a display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--version") {
      std::printf("kelvo %s\n", KELVO_VERSION);
      return 0;
    }
    if (argument == "--help" || argument == "-h") {
      std::fputs(kelvo::gui::StartOptionsUsage().toLocal8Bit().constData(), stdout);
      return 0;
    }
  }

  QApplication qtApplication(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kelvo"));
  QApplication::setOrganizationName(QStringLiteral("Norvane"));
  QApplication::setApplicationVersion(QStringLiteral(KELVO_VERSION));
  // Ties the windows to the installed desktop entry (its icon and name in docks on Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.norvane.Kelvo"));

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  const auto parsed = kelvo::gui::ParseStartOptions(arguments);
  if (!parsed.options) {
    QTextStream(stderr) << "kelvo: " << parsed.error << '\n' << kelvo::gui::StartOptionsUsage();
    return 2;
  }

  kelvo::gui::Application application(*parsed.options);
  // Before Start, so that a message shown during start-up is pictured too.
  std::unique_ptr<kelvo::gui::ScreenshotTour> tour;
  if (!parsed.options->screenshotDirectory.isEmpty()) {
    tour = std::make_unique<kelvo::gui::ScreenshotTour>(application,
                                                        parsed.options->screenshotDirectory);
  }
  if (const auto exitCode = application.Start()) return *exitCode;
  if (tour) tour->Begin();
  return application.Exec();
}
