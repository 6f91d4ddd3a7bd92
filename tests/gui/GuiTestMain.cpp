// SPDX-License-Identifier: GPL-2.0-or-later
// GoogleTest with a QApplication on the offscreen platform. The single-instance lock and the
// settings of the tests go to a private directory, so test programs that run side by side,
// and a copy of Kelvo the developer runs, do not meet.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  qputenv("XDG_RUNTIME_DIR", home.filePath(QStringLiteral("runtime")).toLocal8Bit());
  QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                     home.filePath(QStringLiteral("settings")));
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
