// SPDX-License-Identifier: GPL-2.0-or-later
// Start-up: the options, the settings path, the single-instance guard (also with the real
// program started twice) and a listening port that is taken.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "Application.h"
#include "GuiFixture.h"
#include "MainWindowView.h"
#include "StartUp.h"
#include "support/TestSupport.h"

namespace kelvo::gui {
namespace {

TEST(StartUpOptionsTest, DefaultsAreTheDevicePorts) {
  const auto parsed = ParseStartOptions({});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->agentPort, 161);
  EXPECT_EQ(parsed.options->listenPort, 161);
  EXPECT_TRUE(parsed.options->discoveryTargets.empty());
  EXPECT_FALSE(parsed.options->settingsPath.has_value());
}

TEST(StartUpOptionsTest, OptionsOverrideAndRepeat) {
  const auto parsed = ParseStartOptions({"--agent-port", "1161", "--listen-port", "1162",
                                         "--discover-to", "127.255.255.255", "--discover-to",
                                         "10.0.0.255", "--settings-path", "/srv/kelvo"});
  ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
  EXPECT_EQ(parsed.options->agentPort, 1161);
  EXPECT_EQ(parsed.options->listenPort, 1162);
  EXPECT_EQ(parsed.options->discoveryTargets,
            (std::vector<std::string>{"127.255.255.255", "10.0.0.255"}));
  EXPECT_EQ(parsed.options->settingsPath, "/srv/kelvo/");
}

TEST(StartUpOptionsTest, BadCommandLinesAreRefused) {
  for (const QStringList& arguments :
       {QStringList{"--agent-port"}, QStringList{"--agent-port", "0"},
        QStringList{"--listen-port", "70000"}, QStringList{"--agent-port", "x1"},
        QStringList{"--colour", "blue"}}) {
    EXPECT_FALSE(ParseStartOptions(arguments).options) << arguments.join(' ').toStdString();
  }
}

TEST(SettingsPathTest, CommandLineThenSettingThenTheUsersDataDirectory) {
  QTemporaryDir data;
  ASSERT_TRUE(data.isValid());
  const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  QSettings(QSettings::SystemScope, "Norvane", "Kelvodesk").remove("Path");
  EXPECT_EQ(ReadSettingsPath(), "");

  // Nothing configured: the data directory, with its two directories made, never a path
  // relative to wherever the program was started.
  const QString own = data.path() + "/kelvo/";
  EXPECT_EQ(ChooseSettingsPath(std::nullopt), own);
  EXPECT_EQ(ProfileDirectory(ChooseSettingsPath(std::nullopt)), own + "Profile/");
  EXPECT_TRUE(QDir(own + "Profile").exists());
  EXPECT_TRUE(QDir(own + "Firmware").exists());

  {
    QSettings settings(QSettings::SystemScope, "Norvane", "Kelvodesk");
    settings.setValue("Path", "/opt/kelvo/");
  }
  EXPECT_EQ(ChooseSettingsPath(std::nullopt), "/opt/kelvo/");
  EXPECT_EQ(ProfileDirectory(ReadSettingsPath()), "/opt/kelvo/Profile/");
  EXPECT_EQ(ChooseSettingsPath(QString("/srv/kelvo/")), "/srv/kelvo/");
  QSettings(QSettings::SystemScope, "Norvane", "Kelvodesk").remove("Path");
  if (oldDataHome.isNull()) {
    qunsetenv("XDG_DATA_HOME");
  } else {
    qputenv("XDG_DATA_HOME", oldDataHome);
  }
}

TEST(InstanceGuardTest, SecondHolderIsRefusedUntilTheFirstEnds) {
  QTemporaryDir dir;
  auto first = InstanceGuard::Acquire(dir.path());
  ASSERT_TRUE(first);
  EXPECT_FALSE(InstanceGuard::Acquire(dir.path()));
  first.reset();
  EXPECT_TRUE(InstanceGuard::Acquire(dir.path()));
}

TEST(InstanceGuardTest, LockOfAProcessThatNoLongerRunsDoesNotBlock) {
  QTemporaryDir dir;
  QProcess gone;
  gone.start("true", {});
  ASSERT_TRUE(gone.waitForStarted());
  const qint64 pid = gone.processId();
  ASSERT_TRUE(gone.waitForFinished());
  QFile lock(QDir(dir.path()).filePath(InstanceGuard::kLockName));
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  lock.write(QByteArray::number(pid) + "\nkelvo\n" + QSysInfo::machineHostName().toUtf8() + "\n");
  lock.close();
  EXPECT_TRUE(InstanceGuard::Acquire(dir.path()));
}

// The real program, twice, on the offscreen platform with a shared runtime directory.
class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("ASAN_OPTIONS", "detect_leaks=0");
    for (QProcess* program : {&first_, &second_}) program->setProcessEnvironment(environment);
  }
  ~ProgramTest() override {
    for (QProcess* program : {&first_, &second_}) {
      if (program->state() != QProcess::NotRunning) {
        program->kill();
        program->waitForFinished();
      }
    }
  }
  QStringList Arguments(const QString& screenshots) const {
    return {"--agent-port",     "1",         "--listen-port",   "0",
            "--discover-to",    "127.0.0.1", "--settings-path", runtime_.path(),
            "--screenshot-dir", screenshots};
  }
  // Once the holder has written itself into the lock file.
  bool LockTaken() const {
    QFile lock(QDir(runtime_.path()).filePath(InstanceGuard::kLockName));
    return lock.open(QIODevice::ReadOnly) && lock.readAll().count('\n') >= 3;
  }

  QTemporaryDir runtime_;
  QTemporaryDir pictures_;
  QProcess first_;
  QProcess second_;
};

TEST_F(ProgramTest, SecondCopyEndsSilentlyWithoutAWindow) {
  first_.start(KELVO_PROGRAM_PATH, Arguments(pictures_.filePath("first")));
  ASSERT_TRUE(test::SpinUntil([&] { return LockTaken(); }, std::chrono::seconds(20)));

  second_.start(KELVO_PROGRAM_PATH, Arguments(pictures_.filePath("second")));
  ASSERT_TRUE(second_.waitForFinished(20000));
  EXPECT_EQ(second_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second_.exitCode(), 0);
  EXPECT_EQ(second_.readAllStandardOutput(), "");
  EXPECT_FALSE(QDir(pictures_.filePath("second")).exists()) << "no window was shown";

  // The first copy is not affected: it shows its window and ends by itself.
  ASSERT_TRUE(first_.waitForFinished(30000));
  EXPECT_EQ(first_.exitCode(), 0);
  EXPECT_TRUE(QFile::exists(pictures_.filePath("first/main-window.png")));
}

TEST_F(ProgramTest, CopyThatCrashedDoesNotLockTheNextOneOut) {
  first_.start(KELVO_PROGRAM_PATH, Arguments(pictures_.filePath("first")));
  ASSERT_TRUE(test::SpinUntil([&] { return LockTaken(); }, std::chrono::seconds(20)));
  first_.kill();
  ASSERT_TRUE(first_.waitForFinished());

  second_.start(KELVO_PROGRAM_PATH, Arguments(pictures_.filePath("second")));
  ASSERT_TRUE(second_.waitForFinished(30000));
  EXPECT_EQ(second_.exitCode(), 0);
  EXPECT_TRUE(QFile::exists(pictures_.filePath("second/main-window.png")));
}

// The screenshot tour pictures a box shown during start-up, names it on stdout and accepts it;
// the window opens after it.
TEST_F(ProgramTest, StartUpMessageIsPicturedAndAcceptedThenTheWindowOpens) {
  test::UdpPeer taken("0.0.0.0", 0);
  QStringList arguments = Arguments(pictures_.path());
  arguments[arguments.indexOf("--listen-port") + 1] = QString::number(taken.Port());
  first_.start(KELVO_PROGRAM_PATH, arguments);
  ASSERT_TRUE(first_.waitForFinished(60000));
  EXPECT_EQ(first_.exitCode(), 0);
  EXPECT_EQ(first_.readAllStandardOutput().toStdString(),
            "start-up message: " + std::string(snmp::messages::kPortInUse) + "\n");
  for (const char* picture : {"start-message.png", "main-window.png"}) {
    EXPECT_TRUE(QFile::exists(pictures_.filePath(picture))) << picture;
  }
}

TEST(StartUpComponentTest, NoComponentIsReportedThenTheProgramEndsWithZero) {
  test::RecordingPrompter prompter;
  StartOptions options;
  options.settingsPath = QString();
  Application application(options, &prompter);
  application.SetComponentFactory([](snmp::WaitHook&) { return nullptr; });
  EXPECT_EQ(application.Start(), std::optional<int>(0));
  ASSERT_EQ(prompter.Shown().size(), 1U);
  EXPECT_EQ(prompter.Shown()[0].text, "CoInitialize() fail!!");
  EXPECT_EQ(prompter.Shown()[0].caption, "Kelvo");
  EXPECT_EQ(prompter.Shown()[0].icon, ui::MessageIcon::Error);
  EXPECT_EQ(application.Window(), nullptr);
}

TEST(ListeningPortTest, PortInUseIsReportedAndTheWindowStillOpens) {
  test::UdpPeer taken("0.0.0.0", 0);
  test::RecordingPrompter prompter;
  StartOptions options;
  options.listenPort = taken.Port();
  options.agentPort = 1;
  options.discoveryTargets = {"127.0.0.1"};
  options.settingsPath = QString();
  Application application(options, &prompter);
  ASSERT_FALSE(application.Start().has_value());
  EXPECT_EQ(prompter.Texts(),
            (std::vector<std::string>{"Port 162 is in use. Check to see if another manager is "
                                      "running, then restart this one."}));
  ASSERT_NE(application.Window(), nullptr);
  EXPECT_TRUE(application.Window()->isVisible());
  EXPECT_EQ(application.ProfileDirectory(), "Profile/");
}

}  // namespace
}  // namespace kelvo::gui
