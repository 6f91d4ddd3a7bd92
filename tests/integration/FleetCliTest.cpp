// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli inventory, show, diff and backup over a simulated fleet with faulty access points.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
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

const std::string kTimeout =
    "Snmp Time out!  Please check your network is available and Agent was not be shutdown...";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Six access points: 0 and 5 behave, 1 is silent, 2 answers late, 3 answers the discovery only,
// 4 behaves on another channel with a table of two stations.
class FleetCliTest : public ::testing::Test {
 protected:
  FleetCliTest()
      : sim_(ApSimOptions{
            6,
            "127.0.0.2",
            "admin",
            {"--fault", "2:silent", "--fault", "3:delay=300", "--fault", "4:reboot-after=1"}}) {
    char pattern[] = "/tmp/kelvo-fleet-cli-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary directory");
    dir_ = pattern;
    sim_.Set(4, "Channel", 'i', "11");
    sim_.Command("set-table " + sim_.Address(4) + " 001122334455 0A0B0C0D0E0F");
  }
  ~FleetCliTest() override { std::filesystem::remove_all(dir_); }

  ProgramResult Cli(std::vector<std::string> args, std::vector<std::string> prefix = {}) {
    args.insert(args.begin(), {KELVO_CLI_PATH, "--port", std::to_string(sim_.Port())});
    args.insert(args.begin(), prefix.begin(), prefix.end());
    return RunProgram(args, 30000, {"KELVO_COMMUNITY=admin"});
  }
  std::vector<std::string> Targets() {
    std::vector<std::string> args;
    for (int ap = 0; ap < sim_.Count(); ++ap) args.insert(args.end(), {"--to", sim_.Address(ap)});
    return args;
  }

  ApSimProcess sim_;
  std::string dir_;
};

TEST_F(FleetCliTest, InventoryListsEveryAccessPointWithItsStatusInEachFormat) {
  auto args = Targets();
  args.insert(args.begin(), "inventory");
  args.insert(args.end(), {"--format", "csv"});
  const auto csv = Cli(args);
  EXPECT_EQ(csv.exitCode, 1) << csv.err;
  const auto rows = Lines(csv.out);
  ASSERT_EQ(rows.size(), 7U) << csv.out;
  EXPECT_EQ(rows[0],
            "address,deviceName,macAddress,description,regulationDomain,channel,essid,mode,"
            "dhcpClient,ipAddress,subnetMask,gateway,security,stations,status\r");
  // Sorted by address; the silent one never answered discovery, the other one did.
  const std::string expected[][4] = {
      {"127.0.0.2", "Kelvo-AP-01", "6", "ok"},  {"127.0.0.3", "", "", "no answer"},
      {"127.0.0.4", "Kelvo-AP-03", "6", "ok"},  {"127.0.0.5", "", "", "no reply"},
      {"127.0.0.6", "Kelvo-AP-05", "11", "ok"}, {"127.0.0.7", "Kelvo-AP-06", "6", "ok"}};
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(rows[i + 1]);
    EXPECT_EQ(rows[i + 1].rfind(expected[i][0] + ',' + expected[i][1] + ',', 0), 0U);
    EXPECT_NE(rows[i + 1].find(',' + expected[i][3] + '\r'), std::string::npos);
  }
  // A description with a comma is quoted.
  EXPECT_NE(rows[1].find(",\"Kelvo 802.11b Wireless Access Point, firmware 1.0.4\","),
            std::string::npos);
  EXPECT_NE(csv.err.find("127.0.0.5: " + kTimeout + "\n"), std::string::npos);

  args.back() = "json";
  sim_.Fault(3, "reboot-after 1");
  const auto json = nlohmann::json::parse(Cli(args).out);
  ASSERT_EQ(json.size(), 6U);
  EXPECT_EQ(json[4]["channel"], expected[4][2]);
  EXPECT_EQ(json[4]["stations"], "2");
  EXPECT_EQ(json[3].value("message", ""), kTimeout);
}

TEST_F(FleetCliTest, ShowJsonHoldsWhatTheAccessPointHolds) {
  const auto shown = Cli({"show", "--json", sim_.Address(4), sim_.Address(0)});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  const auto lines = Lines(shown.out);
  ASSERT_EQ(lines.size(), 2U);
  const auto ap = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(ap["address"], sim_.Address(4));
  EXPECT_EQ(ap["wireless"]["channel"], "11");
  EXPECT_EQ(ap["wireless"]["deviceName"], "Kelvo-AP-05");
  EXPECT_EQ(ap["wireless"]["mode"], "AP");
  EXPECT_EQ(ap["ip"]["ipAddress"], sim_.Get(4, "IpAddress").value);
  EXPECT_EQ(ap["system"]["macAddress"], sim_.Get(4, "MacAddress").value);
  EXPECT_EQ(ap["wireless"]["authorizedTable"], nlohmann::json(sim_.AuthorizedTable(4)));
  // Secrets have no member at all.
  EXPECT_EQ(shown.out.find("ecret"), std::string::npos);
  EXPECT_EQ(shown.out.find("Key1"), std::string::npos);

  sim_.Fault(3, "error 5");
  const auto failed = Cli({"show", sim_.Address(3), sim_.Address(0)});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.out.rfind(sim_.Address(0) + "\nSystem\n", 0), 0U);
  EXPECT_EQ(failed.err, sim_.Address(3) + ": Snmp extract vairable error! Please retry again.\n" +
                            sim_.Address(3) + ": Snmp get error! Please retry again.\n");
}

// What diff reports between a profile and an access point is what an apply then changes.
TEST_F(FleetCliTest, DiffOfAProfileAndAHostIsWhatApplyChanges) {
  const std::string profile = dir_ + "/ap.kvp";
  ASSERT_EQ(Cli({"profile", "save", sim_.Address(0), profile}).exitCode, 0);
  sim_.Set(0, "Channel", 'i', "3");
  sim_.Set(0, "Essid", 's', "elsewhere");
  sim_.Command("set-table " + sim_.Address(0) + " 665544332211");

  const auto diff = Cli({"diff", profile, sim_.Address(0)});
  EXPECT_EQ(diff.exitCode, 1) << diff.err;
  EXPECT_EQ(Lines(diff.out),
            (std::vector<std::string>{"Channel ID: 6 -> 3", "ESSID: kelvo-wlan -> elsewhere",
                                      "Authorized MAC: + 665544332211"}));
  ASSERT_EQ(Cli({"profile", "apply", profile, sim_.Address(0)}).exitCode, 0);
  const auto after = Cli({"diff", profile, sim_.Address(0)});
  EXPECT_EQ(after.exitCode, 0) << after.out << after.err;
  EXPECT_EQ(sim_.Get(0, "Channel").value, "6");
  EXPECT_TRUE(sim_.AuthorizedTable(0).empty());

  // Two access points, a snapshot against a host, and operands that are neither.
  EXPECT_EQ(Cli({"diff", sim_.Address(0), sim_.Address(5)}).out,
            "Mac Address: 024B56000001 -> 024B56000006\nSerial Number: KV24000001 -> "
            "KV24000006\nIP address: 127.0.0.2 -> 127.0.0.7\nDevice Name: Kelvo-AP-01 -> "
            "Kelvo-AP-06\n");
  std::ofstream(dir_ + "/ap.json") << Cli({"show", "--json", sim_.Address(0)}).out;
  EXPECT_EQ(Cli({"diff", dir_ + "/ap.json", sim_.Address(0)}).exitCode, 0);
  EXPECT_EQ(Cli({"diff", dir_ + "/nothing", sim_.Address(0)}).exitCode, 2);
  EXPECT_EQ(Cli({"diff", sim_.Address(1), sim_.Address(0)}).exitCode, 2);
}

TEST_F(FleetCliTest, BackupKeepsWholeFilesAndCommitsOnlyChanges) {
  const std::string backup = dir_ + "/backup";
  const std::vector<std::string> hosts = {"backup", "--git", backup, sim_.Address(0),
                                          sim_.Address(4)};
  const auto first = Cli(hosts);
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_NE(first.out.find("2 access points backed up, 2 added"), std::string::npos);
  EXPECT_NE(first.out.find("\ncommitted "), std::string::npos);
  const std::string profile = backup + "/024B56000005.kvp";
  const std::string snapshot = Slurp(backup + "/024B56000005.json");
  EXPECT_EQ(nlohmann::json::parse(snapshot)["wireless"]["channel"], "11");
  // The backed-up profile, loaded into the access point's pages, changes nothing.
  EXPECT_EQ(Cli({"diff", profile, sim_.Address(4)}).exitCode, 0);

  const auto unchanged = Cli(hosts);
  EXPECT_EQ(unchanged.out, "2 access points backed up, 0 added, 0 changed, 0 gone\n");
  EXPECT_EQ(Slurp(backup + "/024B56000005.json"), snapshot);

  sim_.Set(4, "Essid", 's', "warehouse");
  const auto changed = Cli(hosts);
  EXPECT_NE(changed.out.find("changed: 024B56000005 Kelvo-AP-05 (127.0.0.6)\ncommitted "),
            std::string::npos)
      << changed.out;
  EXPECT_EQ(Cli({"diff", backup + "/024B56000001.json", dir_ + "/none.json"}).exitCode, 2);

  // A discovery that ran to its end finds an access point gone: its files go, the others stay.
  sim_.Fault(4, "silent");
  const auto gone = Cli(
      {"backup", "--git", backup, "--to", sim_.Address(0), "--to", sim_.Address(4), "--wait", "1"});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_NE(gone.out.find("gone: 024B56000005 Kelvo-AP-05 (127.0.0.6)\ncommitted "),
            std::string::npos)
      << gone.out;
  EXPECT_FALSE(std::filesystem::exists(profile));
  EXPECT_TRUE(std::filesystem::exists(backup + "/024B56000001.kvp"));

  // Interrupted while access points answer slowly one at a time: the ones being read are
  // finished, and every file in the directory is whole.
  sim_.Fault(ApSimProcess::kAll, "delay 150");
  const std::string slow = dir_ + "/slow";
  std::vector<std::string> args = {"backup", "--parallel", "1", slow};
  for (int ap : {0, 2, 4, 5}) args.push_back(sim_.Address(ap));
  const auto interrupted = Cli(args, {"/usr/bin/timeout", "--preserve-status", "-s", "INT", "2"});
  EXPECT_EQ(interrupted.exitCode, 1) << interrupted.err;
  EXPECT_NE(interrupted.err.find("kelvo-cli: interrupted: "), std::string::npos);
  int whole = 0;
  for (const auto& entry : std::filesystem::directory_iterator(slow)) {
    const std::string name = entry.path().filename();
    const std::string bytes = Slurp(entry.path());
    SCOPED_TRACE(name);
    if (name.ends_with(".kvp")) {
      EXPECT_TRUE(bytes.ends_with("[END]\r\n"));
    } else {
      ASSERT_TRUE(name.ends_with(".json"));
      EXPECT_FALSE(nlohmann::json::parse(bytes, nullptr, false).is_discarded());
    }
    ++whole;
  }
  EXPECT_GT(whole, 0);
  EXPECT_LT(whole, 9);  // 4 access points, 2 files each, and the index
}

}  // namespace
}  // namespace kelvo::test
