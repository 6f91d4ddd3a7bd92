// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli as administrators run it, against simulated access points.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mib/MibVariables.h"
#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::test {
namespace {

constexpr char kDeviceName[] = "1.3.6.1.4.1.15177.1.2.1.10.0";
constexpr char kChannel[] = "1.3.6.1.4.1.15177.1.2.1.1.0";
constexpr char kMacAddress[] = "1.3.6.1.4.1.15177.1.1.2.3.0";
constexpr char kIpAddress[] = "1.3.6.1.4.1.15177.1.1.2.1.0";
constexpr char kBssid[] = "1.3.6.1.4.1.15177.1.1.4.2.0";
constexpr char kTimeout[] =
    "Snmp Time out!  Please check your network is available and Agent was not be shutdown...\n";

class CliTest : public ::testing::Test {
 protected:
  // community: handed over in the environment, as a script would.
  ProgramResult Cli(std::vector<std::string> args,
                    const std::optional<std::string>& community = std::nullopt) {
    args.insert(args.begin(), {KELVO_CLI_PATH, "--port", std::to_string(sim_.Port())});
    std::vector<std::string> environment;
    if (community) environment.push_back("KELVO_COMMUNITY=" + *community);
    return RunProgram(args, 20000, environment);
  }

  static std::string TextOfHex(const std::string& hex) {
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return text;
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
  }

  ApSimProcess sim_;
};

TEST_F(CliTest, DiscoverListsEveryAccessPointOnce) {
  const auto result = Cli({"discover", "--wait", "0.5", "--to", "127.255.255.255"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  auto lines = Lines(result.out);
  std::sort(lines.begin(), lines.end());
  std::vector<std::string> expected;
  for (int ap = 0; ap < sim_.Count(); ++ap) {
    expected.push_back(sim_.Address(ap) + '\t' + TextOfHex(sim_.Get(ap, "DeviceName").value));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
}

TEST_F(CliTest, GetPrintsEachTypeInItsForm) {
  sim_.Set(0, "DeviceName", 's', "Lobby AP");
  sim_.Set(0, "MacAddress", 'x', "024B56000001");
  const auto result = Cli({"get", sim_.Address(0), kDeviceName, kMacAddress, kIpAddress, kChannel});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[0], std::string(kDeviceName) + "\tLobby AP");
  EXPECT_EQ(lines[1], std::string(kMacAddress) + "\t0x024B56000001");
  EXPECT_EQ(lines[2], std::string(kIpAddress) + '\t' + sim_.Address(0));
  EXPECT_EQ(lines[3].substr(0, lines[3].find('\t')), kChannel);
  EXPECT_EQ(lines[3].substr(lines[3].find('\t') + 1), sim_.Get(0, "Channel").value);
}

TEST_F(CliTest, SetWritesEachTypeAndTheDeviceKeepsIt) {
  const std::string ap = sim_.Address(1);
  EXPECT_EQ(Cli({"set", ap, kChannel, "i", "11"}, "admin").exitCode, 0);
  EXPECT_EQ(Cli({"set", ap, kDeviceName, "s", "Hall"}, "admin").exitCode, 0);
  EXPECT_EQ(Cli({"set", ap, kBssid, "x", "0A0B0C0D0E0F"}, "admin").exitCode, 0);
  EXPECT_EQ(Cli({"set", ap, "1.3.6.1.4.1.15177.1.1.2.4.0", "a", "10.1.2.254"}, "admin").exitCode,
            0);
  EXPECT_EQ(sim_.Get(1, "Channel").value, "11");
  EXPECT_EQ(sim_.Get(1, "Bssid").value, "0A0B0C0D0E0F");
  EXPECT_EQ(sim_.Get(1, "Gateway").value, "10.1.2.254");
  const auto read = Cli({"get", ap, kDeviceName});
  EXPECT_EQ(read.out, std::string(kDeviceName) + "\tHall\n");

  const auto log = sim_.Log(1);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front().pdu, "set");
  EXPECT_EQ(log.front().type, 'i');
  EXPECT_EQ(log.front().community, "admin");
}

// By name, values are printed and taken in each variable's kind, whatever the bytes are; a
// refusal sends nothing.
TEST_F(CliTest, VariablesByNameFollowTheirKind) {
  const auto vars = Cli({"vars"});
  ASSERT_EQ(vars.exitCode, 0) << vars.err;
  const auto rows = Lines(vars.out);
  const auto table = mib::AllVariables();
  ASSERT_EQ(rows.size(), table.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string start = std::string(table[i].name) + '\t' + mib::FullOid(table[i].variable);
    EXPECT_EQ(rows[i].rfind(start + '\t', 0), 0U) << rows[i];
    EXPECT_EQ(std::count(rows[i].begin(), rows[i].end(), '\t'), 5) << rows[i];
    EXPECT_EQ(rows[i].ends_with("\tsecret"), table[i].secret) << rows[i];
  }
  for (const char* row :
       {"SystemDescription\t1.3.6.1.4.1.15177.1.1.1.1.0\tOCTET STRING\tread-only\ttext\t",
        "SystemRestart\t1.3.6.1.4.1.15177.1.1.1.2.0\tINTEGER\twrite-only\tinteger\t",
        "Gateway\t1.3.6.1.4.1.15177.1.1.2.4.0\tIpAddress\tread-write\taddress\t",
        "WepKey1\t1.3.6.1.4.1.15177.1.2.2.1.0\tOCTET STRING\tread-write\thex\tsecret",
        "RfTestCounters\t1.3.6.1.4.1.15177.1.1.8.6.0\tOCTET STRING\tread-only\tblock\t"}) {
    EXPECT_NE(std::find(rows.begin(), rows.end(), row), rows.end()) << row;
  }

  const std::string ap = sim_.Address(0);
  // A, line feed, B, e acute, backslash, DEL: one line of UTF-8 text; printable bytes of a MAC
  // address stay hex.
  sim_.Set(0, "DeviceName", 'x', "410A42E95C7F");
  sim_.Set(0, "MacAddress", 'x', "414243444546");
  const std::string name = "A\\x0AB\xC3\xA9\\\\\\x7F";
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string output;  // stdout on success, else a part of stderr
    std::string variable = {};
    std::string stored = {};  // as the simulator logs and keeps it
  };
  const Case cases[] = {
      {{"get", ap, "dEVICEnAME", "macaddress", kMacAddress, kDeviceName},
       0,
       "DeviceName\t" + name + "\nMacAddress\t414243444546\n" + kMacAddress + "\t0x414243444546\n" +
           kDeviceName + '\t' + name + '\n'},
      {{"get", ap, "Channel", "NoSuchThing"}, 2, "unknown variable NoSuchThing"},
      {{"set", ap, "channel", "11"}, 0, "Channel\t11\n", "Channel", "11"},
      {{"set", ap, "DeviceName", "Caf\xC3\xA9"},
       0,
       "DeviceName\tCaf\xC3\xA9\n",
       "DeviceName",
       "436166E9"},
      {{"set", ap, "GATEWAY", "10.1.2.254"}, 0, "Gateway\t10.1.2.254\n", "Gateway", "10.1.2.254"},
      {{"set", ap, "MacAddress", "00:11:22:aa:bb:cc"},
       0,
       "MacAddress\t001122AABBCC\n",
       "MacAddress",
       "001122AABBCC"},
      {{"set", ap, "Bssid", "0x0A-0B-0C-0D-0E-0F"},
       0,
       "Bssid\t0A0B0C0D0E0F\n",
       "Bssid",
       "0A0B0C0D0E0F"},
      {{"set", ap, "RfTestParameters", "06020100640000000004"},
       0,
       "RfTestParameters\t06020100640000000004\n",
       "RfTestParameters",
       "06020100640000000004"},
      {{"set", ap, "Essid", "s", "Hall"}, 0, "Essid\tHall\n", "Essid", "48616C6C"},
      {{"set", ap, "Channel", "s", "3"}, 2, "TYPE s does not fit Channel"},
      {{"set", ap, "SystemDescription", "x"}, 2, "SystemDescription is read-only"},
      {{"set", ap, "Essid", "\xE2\x82\xAC"}, 2, "beyond Latin-1"},
      {{"set", ap, "MacAddress", "0:011:22:AA:BB:CC"}, 2, "MacAddress is not hex bytes"},
      {{"set", ap, "Nowhere", "1"}, 2, "unknown variable Nowhere"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[2]);
    sim_.ClearLog(0);
    const auto result = Cli(c.args, "admin");
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    if (c.exitCode != 0) {
      EXPECT_NE(result.err.find(c.output), std::string::npos) << result.err;
      EXPECT_TRUE(sim_.Log(0).empty()) << "nothing was sent";
      continue;
    }
    EXPECT_EQ(result.out, c.output);
    if (c.variable.empty()) continue;
    const auto log = sim_.Log(0);
    ASSERT_EQ(log.size(), 1U);
    EXPECT_EQ(log[0].oid, mib::FullOid(*mib::FindByName(c.variable)));
    EXPECT_EQ(log[0].value, c.stored);
    EXPECT_EQ(sim_.Get(0, c.variable).value, c.stored);
  }
}

TEST_F(CliTest, RefusalsAndSilenceExitWithOneAndTheMessage) {
  const std::string ap = sim_.Address(0);
  const auto refused = Cli({"set", ap, kChannel, "i", "3"}, "wrong");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err.rfind("Snmp set to Agent error! Check your password and retry again.", 0),
            0U)
      << refused.err;
  EXPECT_NE(sim_.Get(0, "Channel").value, "3");

  const auto outOfRange = Cli({"set", ap, kChannel, "i", "99"}, "admin");
  EXPECT_EQ(outOfRange.exitCode, 1);

  const auto unknown = Cli({"get", ap, "1.3.6.1.4.1.15177.9.9.9.0"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.err.rfind("Snmp get error! Please retry again.", 0), 0U) << unknown.err;

  sim_.Fault(0, "silent");
  const auto silent = Cli({"get", ap, kDeviceName});
  EXPECT_EQ(silent.exitCode, 1);
  EXPECT_EQ(silent.err, kTimeout);
  EXPECT_EQ(silent.out, "");
}

// A community never comes from the command line, where every user of the machine reads it.
TEST_F(CliTest, CommunityComesFromAFileOrTheEnvironmentNeverTheCommandLine) {
  const std::string ap = sim_.Address(0);
  const std::string file =
      ::testing::TempDir() + "kelvo-cli-community-" + std::to_string(::getpid());
  // The first line counts; a CR before its line break belongs to the line break.
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "admin\r\nsecond line\n";
  EXPECT_EQ(Cli({"set", "--community-file", file, ap, kDeviceName, "s", "FromFile"}).exitCode, 0);
  EXPECT_EQ(TextOfHex(sim_.Get(0, "DeviceName").value), "FromFile");
  // The file wins over the environment.
  EXPECT_EQ(Cli({"set", "--community-file", file, ap, kDeviceName, "s", "Both"}, "wrong").exitCode,
            0);
  EXPECT_EQ(Cli({"set", ap, kDeviceName, "s", "FromEnvironment"}, "admin").exitCode, 0);
  EXPECT_EQ(TextOfHex(sim_.Get(0, "DeviceName").value), "FromEnvironment");
  std::filesystem::remove(file);

  sim_.ClearLog(0);
  struct Refusal {
    std::vector<std::string> args;
    std::string_view message;
  };
  const Refusal refusals[] = {
      {{"set", "--community", "Zq9-secret", ap, kDeviceName, "s", "X"},
       "can be read by every user"},
      {{"get", "--community=Zq9-secret", ap, kDeviceName}, "can be read by every user"},
      {{"set", "--community-file", file, ap, kDeviceName, "s", "X"}, "cannot read"},
      {{"set", ap, kDeviceName, "s", "X", "--community-file"}, "needs a file name"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.args[1]);
    const auto result = Cli(refusal.args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find(refusal.message), std::string::npos) << result.err;
    // The refusal names no secret.
    EXPECT_EQ(result.err.find("Zq9"), std::string::npos) << result.err;
  }
  EXPECT_TRUE(sim_.Log(0).empty()) << "nothing was sent";
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"get"},
      {"get", "127.0.0.2"},
      {"get", "127.0.0.2", "1.3.x"},
      {"set", "127.0.0.2", kChannel, "i"},
      {"set", "127.0.0.2", kChannel, "q", "1"},
      {"set", "127.0.0.2", kChannel, "i", "eleven"},
      {"set", "127.0.0.2", kChannel, "x", "ABC"},
      {"set", "127.0.0.2", kChannel, "a", "10.0.0"},
      {"discover", "--wait", "soon"},
      {"stats"},
      {"stats", "--interval", "0", "127.0.0.2"},
      {"stats", "--count", "0", "127.0.0.2"},
      {"stats", "--counters", "ethernet_rx_bytes,nothing", "127.0.0.2"},
      {"stats", "--counters", "", "127.0.0.2"},
      {"stats", "--format", "xml", "127.0.0.2"},
  };
  for (const auto& args : cases) {
    const auto result = Cli(args);
    std::string joined;
    for (const auto& arg : args) joined += arg + ' ';
    EXPECT_EQ(result.exitCode, 2) << joined;
    EXPECT_NE(result.err.find("usage:"), std::string::npos) << joined;
  }
}

}  // namespace
}  // namespace kelvo::test
