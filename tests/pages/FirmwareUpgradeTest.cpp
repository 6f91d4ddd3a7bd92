// SPDX-License-Identifier: GPL-2.0-or-later
// The firmware upgrade from the System page's "Update F/W" to the verdict, against a simulated
// access point that really fetches the image from our TFTP server: the staged copy, the
// messages, the window's enabled state, the image the device received, and the server gone
// (its port free) after every outcome.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "firmware/FirmwareUpgrade.h"
#include "mib/MibVariables.h"
#include "pages/ConfigurationSheet.h"
#include "pages/PageFixture.h"

namespace kelvo::test {
namespace {

namespace fs = std::filesystem;
using firmware::FirmwareUpgrade;
namespace messages = firmware::messages;

// A port that is free on 127.0.0.1 now; the simulator and the server get it in turn.
std::uint16_t FreeUdpPort() {
  const UdpPeer probe("127.0.0.1", 0);
  return probe.Port();
}

// Whether 127.0.0.1:port can be bound, i.e. no server holds it.
bool PortFree(std::uint16_t port) {
  try {
    const UdpPeer peer("127.0.0.1", port);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string TempDirectory() {
  std::string pattern = (fs::temp_directory_path() / "kelvo-fw-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  return pattern;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string RandomImage(std::size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// Browser... as a test plays it: each call takes the next scripted answer.
class ScriptedChooser final : public firmware::FileChooser {
 public:
  std::optional<std::string> ChooseExistingFile(
      const firmware::FileDialogRequest& request) override {
    requests.push_back(request);
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
  std::vector<std::optional<std::string>> answers;
  std::vector<firmware::FileDialogRequest> requests;
};

struct Ports {
  std::uint16_t tftp = FreeUdpPort();
};

class FirmwareUpgradeTest : public PageFixture {
 protected:
  FirmwareUpgradeTest() : FirmwareUpgradeTest(Ports{}, TempDirectory()) {}

  FirmwareUpgradeTest(Ports ports, std::string root)
      : PageFixture(ApSimOptions{1,
                                 "127.0.0.2",
                                 "admin",
                                 {"--tftp-port", std::to_string(ports.tftp), "--image-dir",
                                  root + "/received", "--tftp-timeout", "200"}}),
        tftpPort_(ports.tftp),
        root_(std::move(root)) {
    fs::create_directories(root_ + "/settings/Firmware");
    fs::create_directories(root_ + "/received");
    context_.settingsPath = root_ + "/settings/";
    sheet_ = std::make_unique<pages::ConfigurationSheet>(context_);
    sheet_->System().SetHost(Host());
    sheet_->SetFirmwareWindow(
        [this](FirmwareUpgrade& upgrade) {
          ++windowsOpened_;
          upgrade.SetStateListener(
              [this, &upgrade] { enabledStates_.push_back(upgrade.WindowEnabled()); });
          if (inWindow_) inWindow_(upgrade);
        },
        &chooser_, tftpPort_);
  }
  ~FirmwareUpgradeTest() override { fs::remove_all(root_); }

  // "Update F/W", then body with the open window's model.
  bool UpdateFirmware(std::function<void(FirmwareUpgrade&)> body) {
    inWindow_ = std::move(body);
    return sheet_->System().UpdateFirmware();
  }

  std::string Staged() const { return root_ + "/settings/Firmware/application.dlf"; }
  std::string Source(const std::string& bytes) {
    const std::string path = root_ + "/new image.dlf";
    WriteAll(path, bytes);
    return path;
  }
  // What the simulator says of the last download: state, bytes, sha256, where it was kept,
  // reason.
  std::vector<std::string> ImageRecord() {
    const auto lines = sim_.Command("image 1");
    std::vector<std::string> fields;
    std::stringstream line(lines.at(0));
    for (std::string field; std::getline(line, field, '\t');) fields.push_back(field);
    return fields;
  }
  std::vector<std::string> SetVariables() {
    std::vector<std::string> names;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.pdu != "set") continue;
      const auto variable = mib::FindByOid(entry.oid);
      names.emplace_back(variable ? mib::Info(*variable).name : entry.oid);
    }
    return names;
  }

  std::uint16_t tftpPort_;
  std::string root_;
  ScriptedChooser chooser_;
  std::unique_ptr<pages::ConfigurationSheet> sheet_;
  std::function<void(FirmwareUpgrade&)> inWindow_;
  int windowsOpened_ = 0;
  std::vector<bool> enabledStates_;
};

TEST_F(FirmwareUpgradeTest, DeviceFetchesTheExactImageAndThePortIsFreeAfterwards) {
  // Not a multiple of the block size.
  const std::string image = RandomImage(300 * 1024 + 17);
  WriteAll(Staged(), "an older image");
  chooser_.answers = {Source(image)};
  std::optional<firmware::TftpProgress> progress;
  bool accepted = false;
  ASSERT_TRUE(UpdateFirmware([&](FirmwareUpgrade& upgrade) {
    EXPECT_EQ(upgrade.Host(), Host());
    upgrade.Browse();
    EXPECT_EQ(upgrade.FileName().Text(), root_ + "/new image.dlf");
    accepted = upgrade.Upgrade();
    progress = upgrade.TransferProgress();
    EXPECT_TRUE(upgrade.WindowEnabled());
    EXPECT_TRUE(upgrade.IsOpen()) << "the window stays open";
  }));
  EXPECT_TRUE(accepted);
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, messages::kUpgradeSucceeded);
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::None);

  EXPECT_EQ(ReadAll(Staged()), image);
  EXPECT_EQ(ReadAll(root_ + "/received/127.0.0.2.dlf"), image) << "the device holds the image";
  const auto record = ImageRecord();
  ASSERT_GE(record.size(), 2U);
  EXPECT_EQ(record[0], "done");
  EXPECT_EQ(record[1], std::to_string(image.size()));

  // Prepared first, then pointed at this computer's address on the route to the device.
  EXPECT_EQ(SetVariables(), (std::vector<std::string>{"UpgradePrepare", "UpgradeServerAddress"}));
  const auto address = sim_.Get(0, "UpgradeServerAddress");
  EXPECT_EQ(address.type, 'a');
  EXPECT_EQ(address.value, snmp::SnmpComponent::LocalAddress(Host()));

  ASSERT_TRUE(progress.has_value());
  EXPECT_TRUE(progress->finished);
  EXPECT_EQ(progress->acknowledged, image.size());
  EXPECT_EQ(progress->size, image.size());
  // Disabled for the transfer, the final figure once the server stopped, enabled again.
  EXPECT_EQ(enabledStates_, (std::vector<bool>{false, false, true}));
  EXPECT_TRUE(PortFree(tftpPort_));
}

struct Refusal {
  const char* name;
  std::function<std::string(const std::string& root)> prepare;  // gives the File Name text
  std::string_view message;
};

TEST_F(FirmwareUpgradeTest, RefusedFilesSendNothingAndLeaveTheStagedImage) {
  const Refusal refusals[] = {
      {"empty name", [](const std::string&) { return std::string(); }, messages::kEmptyFileName},
      {"missing file", [](const std::string& root) { return root + "/nowhere.dlf"; },
       messages::kFileError},
      {"a directory", [](const std::string& root) { return root + "/received"; },
       messages::kFileError},
      // Neither may block the window: a FIFO without a writer, a device that never ends.
      {"a FIFO",
       [](const std::string& root) {
         const std::string fifo = root + "/fifo.dlf";
         EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
         return fifo;
       },
       messages::kFileError},
      {"a device", [](const std::string&) { return std::string("/dev/zero"); },
       messages::kFileError},
      {"no firmware directory",
       [](const std::string& root) {
         fs::remove_all(root + "/settings/Firmware");
         WriteAll(root + "/image.dlf", "image");
         return root + "/image.dlf";
       },
       messages::kFileError},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    WriteAll(Staged(), "the image staged before");
    const std::string name = refusal.prepare(root_);
    sim_.ClearLog(0);
    enabledStates_.clear();
    ASSERT_TRUE(UpdateFirmware([&](FirmwareUpgrade& upgrade) {
      upgrade.FileName().Type(name);
      EXPECT_FALSE(upgrade.Upgrade());
      EXPECT_FALSE(upgrade.TransferProgress().has_value());
    }));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{std::string(refusal.message)});
    EXPECT_EQ(SetVariables(), std::vector<std::string>{"UpgradePrepare"});
    EXPECT_TRUE(enabledStates_.empty()) << "the window never went disabled";
    if (fs::exists(root_ + "/settings/Firmware")) {
      EXPECT_EQ(ReadAll(Staged()), "the image staged before");
    } else {
      EXPECT_FALSE(fs::exists(root_ + "/settings/Firmware")) << "never created";
    }
  }
  EXPECT_TRUE(PortFree(tftpPort_));
}

TEST_F(FirmwareUpgradeTest, DeviceThatRefusesThePreparationGetsNoWindow) {
  sim_.SetPassword(0, "other");
  EXPECT_FALSE(UpdateFirmware([](FirmwareUpgrade&) {}));
  EXPECT_EQ(windowsOpened_, 0);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{std::string(snmp::messages::kSetError)});
}

TEST_F(FirmwareUpgradeTest, FailedDownloadAndOccupiedPortEndInFailure) {
  const std::string image = RandomImage(4096);
  chooser_.answers = {Source(image)};
  // The device fetches from a port nobody serves: it gives up and answers with an error.
  sim_.Command("tftp-port all " + std::to_string(FreeUdpPort()));
  sim_.Command("tftp-retry all 100 2");
  ASSERT_TRUE(UpdateFirmware([&](FirmwareUpgrade& upgrade) {
    upgrade.Browse();
    EXPECT_FALSE(upgrade.Upgrade());
    EXPECT_TRUE(upgrade.WindowEnabled());
  }));
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{std::string(messages::kUpgradeFailed)});
  EXPECT_EQ(ImageRecord().at(0), "failed");
  EXPECT_TRUE(PortFree(tftpPort_));

  // Someone else holds the TFTP port: the device is not even asked.
  const UdpPeer squatter("127.0.0.1", tftpPort_);
  sim_.ClearLog(0);
  ASSERT_TRUE(UpdateFirmware([&](FirmwareUpgrade& upgrade) {
    upgrade.Browse();  // no answer left: the stored name is shown again
    EXPECT_TRUE(upgrade.FileName().Text().empty());
    upgrade.FileName().Type(root_ + "/new image.dlf");
    EXPECT_FALSE(upgrade.Upgrade());
  }));
  const std::string local = snmp::SnmpComponent::LocalAddress(Host());
  EXPECT_EQ(TakeMessages(),
            (std::vector<std::string>{"TFTP server could not start on " + local + ":" +
                                          std::to_string(tftpPort_) + ": Address already in use",
                                      std::string(messages::kUpgradeFailed)}));
  EXPECT_EQ(SetVariables(), std::vector<std::string>{"UpgradePrepare"});
}

// Slow: the device is given the full 60000 ms to answer the server address.
TEST_F(FirmwareUpgradeTest, SlowDeviceThatNeverAnswersFailsAfterTheTimeOut) {
  chooser_.answers = {Source(RandomImage(1000))};
  ASSERT_TRUE(UpdateFirmware([&](FirmwareUpgrade& upgrade) {
    upgrade.Browse();
    sim_.Fault(0, "silent");
    EXPECT_FALSE(upgrade.Upgrade());
  }));
  EXPECT_EQ(TakeMessages(), (std::vector<std::string>{std::string(snmp::messages::kResetWait),
                                                      std::string(messages::kUpgradeFailed)}));
  EXPECT_TRUE(PortFree(tftpPort_));
}

TEST_F(FirmwareUpgradeTest, FieldShowsTheStoredNameAfterEveryUseOfTheDialog) {
  chooser_.answers = {std::nullopt, "/images/a.dlf", std::nullopt, std::nullopt};
  ASSERT_TRUE(UpdateFirmware([&](FirmwareUpgrade& upgrade) {
    upgrade.FileName().Type("typed");
    upgrade.Browse();  // cancelled: nothing was stored yet
    EXPECT_EQ(upgrade.FileName().Text(), "");
    upgrade.Browse();
    EXPECT_EQ(upgrade.FileName().Text(), "/images/a.dlf");
    upgrade.FileName().Type("typed again");
    upgrade.Browse();  // cancelled: the chosen name comes back
    EXPECT_EQ(upgrade.FileName().Text(), "/images/a.dlf");
    // An Upgrade stores the name it took, even one that fails.
    upgrade.FileName().Type("/images/missing.dlf");
    upgrade.Upgrade();
    upgrade.FileName().Type("typed once more");
    upgrade.Browse();
    EXPECT_EQ(upgrade.FileName().Text(), "/images/missing.dlf");
  }));
  ASSERT_EQ(chooser_.requests.size(), 4U);
  const firmware::FileDialogRequest& request = chooser_.requests[0];
  EXPECT_EQ(request.title, "Select firmware...");
  ASSERT_EQ(request.filters.size(), 2U);
  EXPECT_EQ(request.filters[0].description, "Firmware (*.dlf)");
  EXPECT_EQ(request.filters[0].pattern, "*dlf");
  EXPECT_EQ(request.filters[1].description, "All Files (*.*)");
  EXPECT_EQ(request.filters[1].pattern, "*.*");
  EXPECT_EQ(request.defaultSuffix, "dlf");
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{std::string(messages::kFileError)});
}

}  // namespace
}  // namespace kelvo::test
