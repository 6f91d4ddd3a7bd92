// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli firmware against a simulated access point that fetches the image by TFTP.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::test {
namespace {

namespace fs = std::filesystem;

class FirmwareCliTest : public ::testing::Test {
 protected:
  FirmwareCliTest()
      : tftpPort_(UdpPeer("127.0.0.1", 0).Port()),
        root_(MakeRoot()),
        sim_({1,
              "127.0.0.2",
              "admin",
              {"--tftp-port", std::to_string(tftpPort_), "--image-dir", root_ + "/received"}}) {
    fs::create_directories(root_ + "/settings/Firmware");
    fs::create_directories(root_ + "/received");
    std::ofstream(root_ + "/image.dlf", std::ios::binary) << std::string(70000, 'k') << "end";
  }
  ~FirmwareCliTest() override { fs::remove_all(root_); }

  static std::string MakeRoot() {
    std::string pattern = (fs::temp_directory_path() / "kelvo-fwcli-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    return pattern;
  }
  ProgramResult Run(const std::string& community) {
    // The password travels in a file, as the program asks.
    const std::string file = root_ + "/community";
    std::ofstream(file, std::ios::trunc) << community << '\n';
    return RunProgram({KELVO_CLI_PATH, "--port", std::to_string(sim_.Port()), "firmware",
                       "--community-file", file, "--settings-path", root_ + "/settings",
                       "--tftp-port", std::to_string(tftpPort_), sim_.Address(0),
                       root_ + "/image.dlf"});
  }
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  std::uint16_t tftpPort_;
  std::string root_;
  ApSimProcess sim_;
};

TEST_F(FirmwareCliTest, UpgradesAndReportsProgress) {
  const ProgramResult result = Run("admin");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("sent 70003 of 70003 bytes\n"), std::string::npos) << result.err;
  EXPECT_TRUE(result.err.ends_with("Upgrade firmware successfully! System will reboot now...\n"))
      << result.err;
  EXPECT_EQ(ReadAll(root_ + "/received/127.0.0.2.dlf"), ReadAll(root_ + "/image.dlf"));
  EXPECT_EQ(ReadAll(root_ + "/settings/Firmware/application.dlf"), ReadAll(root_ + "/image.dlf"));
}

TEST_F(FirmwareCliTest, RefusedPreparationAndMissingFileExitWithOne) {
  ProgramResult result = Run("wrong");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Snmp set to Agent error! Check your password and retry again.\n");

  fs::remove(root_ + "/image.dlf");
  result = Run("admin");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "File error! Please select a new one.\n");
  // A FIFO in its place is refused at once rather than waited on for a writer.
  ASSERT_EQ(::mkfifo((root_ + "/image.dlf").c_str(), 0600), 0);
  result = Run("admin");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "File error! Please select a new one.\n");
  for (const auto& entry : sim_.Log(0)) {
    EXPECT_NE(entry.oid, "1.3.6.1.4.1.15177.1.1.1.6.0") << "the server address was never set";
  }
}

}  // namespace
}  // namespace kelvo::test
