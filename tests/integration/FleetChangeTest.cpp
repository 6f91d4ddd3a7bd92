// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli profile apply to many access points and firmware to many, over a simulated fleet
// with faulty members.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::test {
namespace {

std::string Slurp(const std::filesystem::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// The summary line of one host, its cells split at runs of two or more spaces.
std::vector<std::string> SummaryRow(const std::string& out, const std::string& host) {
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) {
    if (!line.starts_with(host + "  ")) continue;
    std::vector<std::string> cells;
    const std::regex gap(" {2,}");
    for (std::sregex_token_iterator cell(line.begin(), line.end(), gap, -1), end; cell != end;
         ++cell) {
      cells.push_back(*cell);
    }
    return cells;
  }
  return {};
}

int SetRequests(ApSimProcess& sim, int ap) {
  const auto log = sim.Log(ap);
  return static_cast<int>(std::count_if(
      log.begin(), log.end(), [](const ApSimLogEntry& entry) { return entry.pdu == "set"; }));
}

class FleetChangeTest : public ::testing::Test {
 protected:
  explicit FleetChangeTest(std::vector<std::string> simArguments = {})
      : sim_(ApSimOptions{5, "127.0.0.2", "admin", std::move(simArguments)}) {
    char pattern[] = "/tmp/kelvo-fleet-change-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary directory");
    dir_ = pattern;
  }
  ~FleetChangeTest() override { std::filesystem::remove_all(dir_); }

  ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {KELVO_CLI_PATH, "--port", std::to_string(sim_.Port())});
    return RunProgram(args, 60000, {"KELVO_COMMUNITY=admin"});
  }
  // Access point 0's profile with some lines replaced ("Key:" -> value).
  std::string Profile(const std::string& name,
                      const std::vector<std::pair<std::string, std::string>>& lines) {
    const std::string file = (dir_ / name).string();
    const auto saved = Cli({"profile", "save", sim_.Address(0), file});
    if (saved.exitCode != 0) throw std::runtime_error("profile save failed: " + saved.err);
    std::string text = Slurp(file);
    for (const auto& [key, value] : lines) {
      const auto at = text.find("\r\n" + key);
      if (at == std::string::npos) throw std::runtime_error("no line " + key);
      const auto end = text.find("\r\n", at + 2);
      text.replace(at + 2, end - at - 2, key + value);
    }
    std::ofstream(file, std::ios::binary) << text;
    for (int ap = 0; ap < sim_.Count(); ++ap) sim_.ClearLog(ap);
    return file;
  }

  ApSimProcess sim_;
  std::filesystem::path dir_;
};

TEST_F(FleetChangeTest, RehearsalsAndRefusalsSendNoSetRequestAndACanaryStopsTheRest) {
  const std::string channel = Profile("channel.kvp", {{"Channel ID:", "11"}, {"DHCP:", "1"}});
  const auto dry =
      Cli({"profile", "apply", channel, sim_.Address(1), sim_.Address(2), "--dry-run"});
  EXPECT_EQ(dry.exitCode, 0) << dry.err;
  EXPECT_NE(
      dry.out.find(sim_.Address(1) + ": 4 to change\n  IP address: " + sim_.Address(1) +
                   " -> 127.0.0.2\n  DHCP Client: Disabled -> Enabled\n  Channel ID: 6 -> 11\n"),
      std::string::npos)
      << dry.out;
  EXPECT_EQ(SummaryRow(dry.out, sim_.Address(2)),
            (std::vector<std::string>{sim_.Address(2), "dry run", "4", "-", "needs a reset"}));

  const std::string fixed = Profile("fixed.kvp", {{"IP Address:", "127.0.0.60"}, {"DHCP:", "2"}});
  struct Refusal {
    std::vector<std::string> args;
    std::string says;
  };
  const Refusal refusals[] = {
      {{"profile", "apply", fixed, sim_.Address(1), sim_.Address(2)},
       "sets the fixed IP address 127.0.0.60: all 2 access points would get it"},
      {{"profile", "apply", channel, "--all", "--to", sim_.Address(1)}, "add --yes to confirm"},
      {{"profile", "apply", channel, sim_.Address(1), "--all"}, "HOSTs or --all, not both"},
  };
  for (const Refusal& refusal : refusals) {
    const auto result = Cli(refusal.args);
    EXPECT_EQ(result.exitCode, 2) << refusal.says;
    EXPECT_NE(result.err.find(refusal.says), std::string::npos) << result.err;
  }
  for (int ap = 0; ap < sim_.Count(); ++ap) EXPECT_EQ(SetRequests(sim_, ap), 0) << ap;

  // The canary refuses every write; the two after it are never touched.
  sim_.Fault(3, "error 5 1");
  const auto canary = Cli({"profile", "apply", channel, sim_.Address(3), sim_.Address(1),
                           sim_.Address(2), "--canary", "1"});
  EXPECT_EQ(canary.exitCode, 1);
  EXPECT_NE(canary.err.find("the canary failed: the other 2 access points are left as they are"),
            std::string::npos)
      << canary.err;
  const auto skipped = SummaryRow(canary.out, sim_.Address(1));
  ASSERT_GE(skipped.size(), 2U) << canary.out;
  EXPECT_EQ(skipped[1], "skipped: the canary failed");
  EXPECT_EQ(SetRequests(sim_, 1) + SetRequests(sim_, 2), 0);
  EXPECT_EQ(sim_.Get(1, "Channel").value, "6");

  // Without the fault the same push is written and read back on every access point.
  const auto pushed = Cli(
      {"profile", "apply", channel, sim_.Address(1), sim_.Address(2), "--canary", "1", "--json"});
  EXPECT_EQ(pushed.exitCode, 0) << pushed.err;
  const auto summary = nlohmann::json::parse(pushed.out);
  ASSERT_EQ(summary.size(), 2U);
  for (const auto& row : summary) {
    EXPECT_EQ(row["result"], "written");
    EXPECT_EQ(row["verified"], true);
    EXPECT_EQ(row["changes"].size(), 4U);
    EXPECT_NE(std::find(row["notVerifiable"].begin(), row["notVerifiable"].end(), "RateSetting"),
              row["notVerifiable"].end());
  }
  EXPECT_EQ(sim_.Get(2, "Channel").value, "11");
}

// Restarts keep an access point silent for a moment, as a real one is.
class FleetResetTest : public FleetChangeTest {
 protected:
  FleetResetTest() : FleetChangeTest({"--reboot-ms", "300"}) {}
};

TEST_F(FleetResetTest, ANewAddressIsFoundByMacAfterTheResetAndSilenceIsNeverSuccess) {
  const std::string moved = Profile("moved.kvp", {{"IP Address:", "127.0.0.60"}, {"DHCP:", "2"}});
  const std::vector<std::string> look = {"--to", "127.255.255.255"};
  const auto apply = [&](const std::string& file, int ap, std::vector<std::string> options) {
    std::vector<std::string> args = {"profile", "apply", file, sim_.Address(ap)};
    args.insert(args.end(), options.begin(), options.end());
    return Cli(args);
  };
  auto with = [&look](std::vector<std::string> options, std::string wait = "10") {
    options.insert(options.end(), look.begin(), look.end());
    options.insert(options.end(), {"--reboot-wait", wait});
    return options;
  };
  const auto reset = apply(moved, 1, with({"--reset"}));
  EXPECT_EQ(reset.exitCode, 0) << reset.out << reset.err;
  EXPECT_EQ(SummaryRow(reset.out, sim_.Address(1)),
            (std::vector<std::string>{sim_.Address(1), "written", "2", "yes", "127.0.0.60"}));
  const auto log = sim_.Log(1);
  const auto restart = std::find_if(log.begin(), log.end(), [](const ApSimLogEntry& entry) {
    return entry.oid == "1.3.6.1.4.1.15177.1.1.1.2.0";
  });
  ASSERT_NE(restart, log.end());
  EXPECT_EQ(Cli({"get", "127.0.0.60", "DeviceName"}).exitCode, 0);
  EXPECT_NE(Cli({"get", sim_.Address(1), "DeviceName"}).exitCode, 0);

  // Without --reset the device stays where it is and the summary says why.
  const auto waiting = apply(Profile("waiting.kvp", {{"IP Address:", "127.0.0.61"}}), 2, with({}));
  EXPECT_EQ(waiting.exitCode, 0) << waiting.err;
  EXPECT_EQ(
      SummaryRow(waiting.out, sim_.Address(2)),
      (std::vector<std::string>{sim_.Address(2), "written", "2", "yes", "at the next reset"}));
  EXPECT_NE(waiting.out.find("take effect at each device's next reset"), std::string::npos);
  EXPECT_EQ(Cli({"get", sim_.Address(2), "DeviceName"}).exitCode, 0);

  // The same push again, on devices that go silent for good right after the restart, or
  // right after the push: written, but never reported as success.
  sim_.Fault(3, "reboot-after " + std::to_string(restart->sequence));
  const auto lost =
      apply(Profile("lost.kvp", {{"IP Address:", "127.0.0.62"}}), 3, with({"--reset"}, "3"));
  EXPECT_EQ(lost.exitCode, 1);
  EXPECT_EQ(SummaryRow(lost.out, sim_.Address(3)),
            (std::vector<std::string>{sim_.Address(3), "written", "2",
                                      "not verified: unreachable after the change", "not found"}));
  EXPECT_EQ(sim_.Get(3, "IpAddress").value, "127.0.0.62");
  sim_.Fault(4, "reboot-after " + std::to_string(restart->sequence - 1));
  const auto silent = apply(moved, 4, with({}));
  EXPECT_EQ(silent.exitCode, 1);
  const auto silentRow = SummaryRow(silent.out, sim_.Address(4));
  ASSERT_EQ(silentRow.size(), 5U) << silent.out;
  EXPECT_EQ(silentRow[3], "not verified: no reply");
}

// Twenty access points fetch one image at once; the eighth cannot reach the server.
TEST(FleetFirmwareTest, EveryAccessPointGetsTheWholeImageAndADeadPathFailsAlone) {
  char pattern[] = "/tmp/kelvo-fleet-firmware-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  std::filesystem::create_directories(dir / "settings" / "Firmware");
  std::filesystem::create_directories(dir / "received");
  std::string image;
  for (int i = 0; i < 40000; ++i) image += std::to_string(i * 7919) + ',';
  std::ofstream(dir / "image.dlf", std::ios::binary) << image;
  const std::string tftpPort = std::to_string(UdpPeer("127.0.0.1", 0).Port());
  constexpr int kCount = 20;
  constexpr int kDead = 7;
  ApSimProcess sim({kCount,
                    "127.0.0.2",
                    "admin",
                    {"--tftp-port", tftpPort, "--image-dir", (dir / "received").string(),
                     "--reboot-ms", "200", "--upgrade-firmware", "2.0.0"}});
  sim.Command("tftp-port " + std::to_string(kDead + 1) + " 1");
  sim.Command("tftp-retry " + std::to_string(kDead + 1) + " 50 2");
  const std::string expected = "Kelvo 802.11b Wireless Access Point, firmware 2.0.0";
  std::vector<std::string> args = {KELVO_CLI_PATH,
                                   "--port",
                                   std::to_string(sim.Port()),
                                   "firmware",
                                   "--image",
                                   (dir / "image.dlf").string(),
                                   "--settings-path",
                                   (dir / "settings").string(),
                                   "--tftp-port",
                                   tftpPort,
                                   "--expect-description",
                                   expected,
                                   "--to",
                                   "127.255.255.255",
                                   "--reboot-wait",
                                   "10"};
  for (int ap = 0; ap < kCount; ++ap) args.push_back(sim.Address(ap));
  const ProgramResult result = RunProgram(args, 60000, {"KELVO_COMMUNITY=admin"});
  EXPECT_EQ(result.exitCode, 1) << result.err;
  for (int ap = 0; ap < kCount; ++ap) {
    const auto row = SummaryRow(result.out, sim.Address(ap));
    ASSERT_GE(row.size(), 3U) << result.out;
    if (ap == kDead) {
      EXPECT_EQ(row[1], "failed: the access point did not fetch the image") << result.out;
      EXPECT_EQ(sim.Image(ap).state, "failed");
      EXPECT_EQ(sim.Get(ap, "SystemDescription").value.find("2.0.0"), std::string::npos);
      continue;
    }
    EXPECT_EQ(row,
              (std::vector<std::string>{sim.Address(ap), "upgraded", std::to_string(image.size()),
                                        "yes", sim.Address(ap), expected}));
    EXPECT_EQ(Slurp(dir / "received" / (sim.Address(ap) + ".dlf")), image) << ap;
    EXPECT_EQ(sim.Image(ap).sha256, sim.Image(0).sha256);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kelvo::test
