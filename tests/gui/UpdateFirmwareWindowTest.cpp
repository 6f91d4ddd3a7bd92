// SPDX-License-Identifier: GPL-2.0-or-later
// The "Update Firmware" window opened from the System page against a simulated access point
// that fetches the image from the program's TFTP server: the scripted file dialog, the field
// redisplay, the window disabled with its progress moving during the transfer, the refusals
// and failures that leave it usable, the close box as Cancel, and the real open dialog's title
// and filters.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <random>

#include "GuiFixture.h"
#include "UpdateFirmwareWindow.h"

namespace kelvo::gui {
namespace {

class ScriptedChooser final : public firmware::FileChooser {
 public:
  std::optional<std::string> ChooseExistingFile(const firmware::FileDialogRequest&) override {
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
  std::vector<std::optional<std::string>> answers;
};

class UpdateFirmwareWindowTest : public test::AppFixture {
 protected:
  UpdateFirmwareWindowTest() {
    tftpPort_ = test::UdpPeer("127.0.0.1", 0).Port();
    QDir(settings_.path()).mkdir(QStringLiteral("Firmware"));
    StartOptions options;
    options.agentPort = sim_.Port();
    options.listenPort = 0;
    options.discoveryTargets = {"127.255.255.255"};
    options.settingsPath = settings_.path() + QLatin1Char('/');
    options.tftpPort = tftpPort_;
    app_ = std::make_unique<Application>(options, &prompter_);
    app_->SetFileChooser(&chooser_);
    sim_.Command("tftp-port all " + std::to_string(tftpPort_));
  }

  // A random image of size bytes in the settings directory's neighbourhood.
  std::string WriteImage(qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    std::mt19937 random(7);
    for (char& byte : bytes) byte = static_cast<char>(random());
    const QString path = images_.filePath(QStringLiteral("new.dlf"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path.toStdString();
  }

  // Opens the window with "Update F/W" and runs body in it; true when it ran.
  bool InWindow(const std::function<void(UpdateFirmwareWindow*)>& body) {
    bool ran = false;
    OnTab(
        pages::ConfigurationSheet::kSystem, [] { return true; },
        [&](ConfigurationSheetDialog* sheet, QWidget* tab) {
          WhenWindowShows([&, sheet](UpdateFirmwareWindow* window) {
            EXPECT_EQ(window->parentWidget(), sheet) << "modal over the sheet";
            ran = true;
            body(window);
            // The title-bar close is Cancel; the window goes away.
            if (window->isVisible()) window->close();
          });
          QTest::mouseClick(test::Find<QPushButton>(tab, QStringLiteral("updateFwButton")),
                            Qt::LeftButton);
        });
    return ran;
  }

  // Runs action in the firmware window once it is the modal window on screen. The sheet is
  // modal before it, while the device is being prepared, so the window's type is what counts.
  static void WhenWindowShows(std::function<void(UpdateFirmwareWindow*)> action) {
    auto* poll = new QTimer(QCoreApplication::instance());
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, clock, action = std::move(action)] {
      auto* window = qobject_cast<UpdateFirmwareWindow*>(QApplication::activeModalWidget());
      const bool ready = window != nullptr && window->isVisible();
      if (!ready && clock->elapsed() < 20000) return;
      poll->stop();
      poll->deleteLater();
      if (ready) action(window);
    });
    poll->start(20);
  }

  static void Click(QWidget* window, const char* name) {
    QTest::mouseClick(test::Find<QPushButton>(window, QLatin1String(name)), Qt::LeftButton);
  }

  QTemporaryDir settings_;
  QTemporaryDir images_;
  std::uint16_t tftpPort_ = 0;
  ScriptedChooser chooser_;
};

TEST_F(UpdateFirmwareWindowTest, BrowseThenUpgradeShowsProgressWhileDisabled) {
  const std::string image = WriteImage(2 * 1024 * 1024 + 100);
  chooser_.answers = {image, std::nullopt};
  ASSERT_TRUE(InWindow([&](UpdateFirmwareWindow* window) {
    EXPECT_EQ(window->windowTitle(), "Update Firmware");
    auto* field = test::Find<QLineEdit>(window, QStringLiteral("fileName"));
    Click(window, "browseButton");
    EXPECT_EQ(field->text().toStdString(), image);
    // A name typed and then a cancelled dialog: the chosen name comes back.
    Retype(field, QStringLiteral("/somewhere/else.dlf"));
    Click(window, "browseButton");
    EXPECT_EQ(field->text().toStdString(), image);

    // What the window looks like while the device fetches.
    std::vector<std::pair<bool, int>> samples;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
      samples.emplace_back(window->isEnabled(), window->Progress()->value());
    });
    sampler.start(5);
    Click(window, "upgradeButton");
    sampler.stop();

    ASSERT_FALSE(samples.empty()) << "the window was not kept painting";
    EXPECT_FALSE(samples.front().first) << "disabled during the transfer";
    const bool movedMidway = std::any_of(samples.begin(), samples.end(), [](const auto& sample) {
      return !sample.first && sample.second > 0 && sample.second < 1000;
    });
    EXPECT_TRUE(movedMidway) << "progress shown during the transfer";
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(window->isVisible()) << "the window stays open";
    EXPECT_EQ(window->Progress()->value(), 1000);
    const QString size = QString::number(2 * 1024 * 1024 + 100);
    EXPECT_EQ(window->Progress()->text(), size + QStringLiteral(" of ") + size + " bytes");
  }));
  EXPECT_EQ(prompter_.Texts(),
            std::vector<std::string>{std::string(firmware::messages::kUpgradeSucceeded)});
  const auto record = sim_.Command("image 1").at(0);
  EXPECT_TRUE(record.starts_with("done\t" + std::to_string(2 * 1024 * 1024 + 100) + "\t"))
      << record;
  EXPECT_TRUE(WasSet(mib::Variable::UpgradeServerAddress));
}

TEST_F(UpdateFirmwareWindowTest, CancelClosesWithoutUpgrading) {
  ASSERT_TRUE(InWindow([&](UpdateFirmwareWindow* window) {
    Retype(test::Find<QLineEdit>(window, QStringLiteral("fileName")), QStringLiteral("x.dlf"));
    Click(window, "cancelButton");
    EXPECT_FALSE(window->isVisible());
  }));
  EXPECT_TRUE(WasSet(mib::Variable::UpgradePrepare));
  EXPECT_FALSE(WasSet(mib::Variable::UpgradeServerAddress));
  EXPECT_TRUE(prompter_.Shown().empty());
}

// Whether 127.0.0.1:port can be bound, i.e. no server holds it.
bool PortFree(std::uint16_t port) {
  try {
    const test::UdpPeer peer("127.0.0.1", port);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

TEST_F(UpdateFirmwareWindowTest, RefusedFilesKeepTheWindowUsableAndSendNothing) {
  struct Refusal {
    const char* name;
    std::function<QString()> prepare;  // gives the File Name text to type
    std::string_view message;
  };
  const QString firmwareDir = settings_.filePath(QStringLiteral("Firmware"));
  const Refusal refusals[] = {
      {"empty name", [] { return QString(); }, firmware::messages::kEmptyFileName},
      {"missing file", [&] { return images_.filePath(QStringLiteral("nowhere.dlf")); },
       firmware::messages::kFileError},
      {"no firmware directory",
       [&] {
         EXPECT_TRUE(QDir(firmwareDir).removeRecursively());
         return QString::fromStdString(WriteImage(1000));
       },
       firmware::messages::kFileError},
  };
  ASSERT_TRUE(InWindow([&](UpdateFirmwareWindow* window) {
    auto* field = test::Find<QLineEdit>(window, QStringLiteral("fileName"));
    for (const Refusal& refusal : refusals) {
      SCOPED_TRACE(refusal.name);
      Retype(field, refusal.prepare());
      sim_.ClearLog(0);
      prompter_.Clear();
      Click(window, "upgradeButton");
      EXPECT_EQ(prompter_.Texts(), std::vector<std::string>{std::string(refusal.message)});
      EXPECT_FALSE(WasSet(mib::Variable::UpgradeServerAddress));
      EXPECT_TRUE(window->isEnabled());
      EXPECT_TRUE(window->isVisible()) << "the window stays open";
      EXPECT_FALSE(window->Progress()->isVisible()) << "nothing was transferred";
    }
    EXPECT_FALSE(QDir(firmwareDir).exists()) << "the program never creates the directory";

    // The title-bar close is Cancel: the window goes, nothing more is sent or said.
    prompter_.Clear();
    window->close();
    EXPECT_FALSE(window->isVisible());
  }));
  EXPECT_FALSE(WasSet(mib::Variable::UpgradeServerAddress));
  EXPECT_TRUE(prompter_.Shown().empty());
  EXPECT_TRUE(PortFree(tftpPort_));
}

TEST_F(UpdateFirmwareWindowTest, DeviceThatRefusesThePreparationGetsNoWindow) {
  struct Refusal {
    const char* name;
    std::function<void()> refuse;
    std::function<void()> restore;
  };
  const Refusal refusals[] = {
      {"wrong password", [&] { sim_.SetPassword(0, "other"); },
       [&] { sim_.SetPassword(0, "admin"); }},
      {"error status", [&] { sim_.Fault(0, "error 5 1"); }, [&] { sim_.Fault(0, "none"); }},
  };
  OnTab(
      pages::ConfigurationSheet::kSystem, [] { return true; },
      [&](ConfigurationSheetDialog* sheet, QWidget* tab) {
        for (const Refusal& refusal : refusals) {
          SCOPED_TRACE(refusal.name);
          refusal.refuse();
          prompter_.Clear();
          // Any firmware window that shows is counted and closed, so a wrong one cannot hang.
          int windows = 0;
          QTimer watch;
          QObject::connect(&watch, &QTimer::timeout, [&] {
            if (auto* window =
                    qobject_cast<UpdateFirmwareWindow*>(QApplication::activeModalWidget())) {
              ++windows;
              window->close();
            }
          });
          watch.start(10);
          Click(tab, "updateFwButton");
          watch.stop();
          refusal.restore();
          EXPECT_EQ(windows, 0);
          EXPECT_EQ(prompter_.Texts(),
                    std::vector<std::string>{std::string(snmp::messages::kSetError)});
          EXPECT_EQ(QApplication::activeModalWidget(), sheet);
        }
      });
  EXPECT_TRUE(WasSet(mib::Variable::UpgradePrepare));
  EXPECT_FALSE(WasSet(mib::Variable::UpgradeServerAddress));
}

TEST_F(UpdateFirmwareWindowTest, FailedFetchEnablesTheWindowAgainAndFreesThePort) {
  const std::string image = WriteImage(4096);
  // The device fetches from a port nobody serves and soon gives up.
  sim_.Command("tftp-port all " + std::to_string(test::UdpPeer("127.0.0.1", 0).Port()));
  sim_.Command("tftp-retry all 100 2");
  ASSERT_TRUE(InWindow([&](UpdateFirmwareWindow* window) {
    Retype(test::Find<QLineEdit>(window, QStringLiteral("fileName")),
           QString::fromStdString(image));
    // The title-bar close while the device fetches: ignored, the window waits for the verdict.
    bool closedWhileDisabled = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (closedWhileDisabled || window->isEnabled()) return;
      closedWhileDisabled = true;
      window->close();
    });
    closer.start(5);
    Click(window, "upgradeButton");
    closer.stop();
    EXPECT_TRUE(closedWhileDisabled) << "the window was never disabled";
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(window->isVisible()) << "still open after the close during the transfer";
  }));
  EXPECT_EQ(prompter_.Texts(),
            std::vector<std::string>{std::string(firmware::messages::kUpgradeFailed)});
  EXPECT_TRUE(sim_.Command("image 1").at(0).starts_with("failed\t"));
  EXPECT_TRUE(WasSet(mib::Variable::UpgradeServerAddress));
  EXPECT_TRUE(PortFree(tftpPort_));
}

TEST(FileDialogTest, OffersTheFirmwareFiltersUnderTheirOwnNames) {
  QtFileChooser chooser;
  bool seen = false;
  test::OnModalOf<QFileDialog>([&](QFileDialog* dialog) {
    ASSERT_NE(dialog, nullptr);
    seen = true;
    EXPECT_EQ(dialog->windowTitle(), "Select firmware...");
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog->defaultSuffix(), "dlf");
    // Each entry matches its own pattern and shows only its own description.
    EXPECT_EQ(dialog->nameFilters(),
              (QStringList{"Firmware (*.dlf) (*dlf)", "All Files (*.*) (*)"}));
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 2);
    EXPECT_EQ(types->itemText(0), "Firmware (*.dlf)");
    EXPECT_EQ(types->itemText(1), "All Files (*.*)");
    dialog->reject();
  });
  EXPECT_FALSE(chooser.ChooseExistingFile(firmware::FirmwareDialogRequest()).has_value());
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace kelvo::gui
