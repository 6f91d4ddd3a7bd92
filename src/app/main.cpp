// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo: finds the access points on the local segment and configures them.
#include <QApplication>
#include <QTextStream>
#include <cstdio>

#include "Application.h"
#include "ScreenshotTour.h"
#include "StartUp.h"

int main(int argc, char* argv[]) {
  QApplication qtApplication(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kelvo"));
  QApplication::setOrganizationName(QStringLiteral("Norvane"));

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  const auto parsed = kelvo::gui::ParseStartOptions(arguments);
  if (parsed.help) {
    QTextStream(stdout) << kelvo::gui::StartOptionsUsage();
    return 0;
  }
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
