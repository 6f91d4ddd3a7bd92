// SPDX-License-Identifier: GPL-2.0-or-later
// Every kind of agent request against every way a device's reply can go wrong, over UDP to the
// simulator: the exact messages, what the request reports, what the device and the pages end
// up holding, and that the next request after the fault works. One test per request kind and
// fault, so CTest spreads the real time-outs over its jobs.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "mib/MibVariables.h"
#include "pages/ConfigurationSheet.h"
#include "pages/PageFixture.h"
#include "pages/ProfileStore.h"
#include "pages/StatisticPage.h"
#include "pages/WirelessPage.h"
#include "rftest/TestOperations.h"

namespace kelvo::test {
namespace {

namespace fs = std::filesystem;
using Messages = std::vector<std::string>;

const std::string kTimeout(snmp::messages::kTimeout);
const std::string kExtractError(snmp::messages::kExtractError);
const std::string kResetWait(snmp::messages::kResetWait);

// The faults, in the simulator's control words. "late" is a reply that leaves 100 ms after the
// request's time-out; the test waits until it has arrived, so the next request finds it queued
// before its own reply.
constexpr int kLateMs = 100;
struct FaultRow {
  const char* name;
  const char* words;
};
constexpr FaultRow kFaults[] = {
    {"Fewer", "varbinds -1"},
    {"More", "varbinds +1"},
    {"WrongType", "wrong-type"},
    {"Shorter", "octets -2"},
    {"Emptied", "octets -64"},
    {"Longer", "octets +4"},
    {"OtherAddress", "from 127.0.0.99"},
    {"OtherId", "request-id +1"},
    {"Late", "late"},
    {"Rebooted", "reboot-after 0"},
};

// What one request did: the messages, and a short account of the result and of what the
// device or the pages hold afterwards.
struct Outcome {
  Messages messages;
  std::string state;
  bool operator==(const Outcome&) const = default;
};
void PrintTo(const Outcome& outcome, std::ostream* out) {
  *out << "{[";
  for (const auto& message : outcome.messages) *out << '"' << message << "\" ";
  *out << "] " << outcome.state << '}';
}

void PrintTo(const FaultRow& fault, std::ostream* out) { *out << fault.words; }

// One kind of request: its time-out, and what each fault makes of it ("" is the fault-free
// request, which the request after every fault must match too).
struct RequestKind {
  const char* name;
  int timeoutMs;
  std::map<std::string, Outcome> expected;
};

class FaultMatrix : public PageFixture {
 protected:
  FaultMatrix() : PageFixture({1, "127.0.97.2", "admin", {"--test-port", "0"}}) {
    sim_.Set(0, "Essid", 's', "faultnet");
    sim_.Set(0, "Bssid", 'x', "0A0B0C0D0E0F");
    sim_.Command("set-table 1 0011223344AA 0011223344BB");
  }

  void Inject(const FaultRow& fault, int timeoutMs) {
    const std::string words = fault.words;
    sim_.Fault(0, words == "late" ? "delay " + std::to_string(timeoutMs + kLateMs) : words);
  }

  Outcome Take(std::string state) { return {TakeMessages(), std::move(state)}; }

  // A device value as text; octet strings come as hex and are shown as their characters.
  std::string Device(const std::string& variable) {
    const ApSimValue value = sim_.Get(0, variable);
    if (value.type != 's') return value.value;
    std::string text;
    for (std::size_t i = 0; i + 1 < value.value.size(); i += 2) {
      text += static_cast<char>(std::stoi(value.value.substr(i, 2), nullptr, 16));
    }
    return text;
  }

  std::string Table() {
    std::string text;
    for (const auto& entry : sim_.AuthorizedTable(0)) text += (text.empty() ? "" : " ") + entry;
    return text;
  }

  // Reads what reaches the component for `ms`, as the window's event loop would.
  void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pollfd fd{session_.Component().Descriptor(), POLLIN, 0};
      if (::poll(&fd, 1, 20) > 0) session_.Component().ProcessIncoming();
    }
  }

  // A fresh page each time, so what a read left in it shows.
  Outcome ReadWireless() {
    pages::WirelessPage page(context_);
    page.SetHost(Host());
    session_.ReadGroup(mib::Group::Wireless, Host());
    return Take("essid=" + page.Essid().Text() + " name=" + page.DeviceName().Text() +
                " bssid=" + page.Bssid().Text());
  }

  Outcome FetchTable() {
    pages::WirelessPage page(context_);
    page.SetHost(Host());
    page.FetchAuthorizedTable();
    std::string entries;
    for (const auto& entry : page.MacAddressList().Items()) entries += entry + ' ';
    return Take(entries + "complete=" + std::to_string(page.AuthorizedTableFetched()));
  }

  Outcome StoreTable(const std::string& entry) {
    pages::WirelessPage page(context_);
    page.SetHost(Host());
    page.MacAddressList().Add(entry);
    const bool stored = page.StoreAuthorizedTable();
    return Take(std::to_string(stored) + " table=" + Table());
  }

  Outcome GetParameters() {
    std::string received = "none";
    rftest::GetTestVariable(session_, rftest::TestGroup::Parameters, Host(),
                            [&](std::span<const std::uint8_t> bytes) {
                              const auto reply = rftest::DecodePacketParameters(bytes);
                              received = std::to_string(bytes.size()) +
                                         " channel=" + std::to_string(reply.channel.value_or(0));
                            });
    return Take(received);
  }

  Outcome SetParameters(std::uint8_t channel) {
    rftest::TestBlocks blocks;
    blocks.packet.channel = channel;
    blocks.packet.dataRate = 1;
    blocks.packet.preamble = 1;
    blocks.packet.packetNumber = 100;
    blocks.packet.packetLength = 64;
    const bool set =
        rftest::SetTestVariable(session_, rftest::TestGroup::Parameters, Host(), blocks);
    return Take(std::to_string(set) +
                " device=" + sim_.Get(0, "RfTestParameters").value.substr(0, 2));
  }

  // The Statistic page's read, quiet as while the page is visible: which of the 44 counter
  // texts were filled.
  Outcome ReadStatistics() {
    pages::StatisticPage page(context_);
    session_.SetQuiet(true);
    session_.ReadGroup(mib::Group::Statistics, Host());
    session_.SetQuiet(false);
    std::string filled;
    for (std::size_t i = 0; i < statistics::kCounterCount; ++i) {
      filled += page.CounterText(i).empty() ? '-' : 'x';
    }
    return Take(filled);
  }

  Outcome PollTestCounters() {
    std::string received = "none";
    rftest::GetTestVariable(session_, rftest::TestGroup::Counters, Host(),
                            [&](std::span<const std::uint8_t> bytes) {
                              rftest::DecodeCounters(bytes, rftest::CounterBlock{});
                              received = std::to_string(bytes.size());
                            });
    return Take(received);
  }

  Outcome ReadBaseband() {
    std::string received = "none";
    rftest::ReadTestRegisters(session_, rftest::TestGroup::Baseband, Host(), rftest::TestBlocks{},
                              [&](std::span<const std::uint8_t> bytes) {
                                const auto values = rftest::DecodeBaseband(bytes);
                                received = std::to_string(bytes.size()) +
                                           " last=" + (values.back() ? "yes" : "no");
                              });
    return Take(received);
  }

  Outcome Discover() {
    session_.SetDiscoveryTargets({Host()});
    session_.Discover();
    Pump(800);
    std::string rows;
    for (const auto& row : session_.AccessPoints()) rows += row.address + '=' + row.deviceName;
    return Take(rows.empty() ? "none" : rows);
  }
};

// A faulted request, then the same request with the fault cleared.
class FaultRowTest : public FaultMatrix, public ::testing::WithParamInterface<FaultRow> {
 protected:
  void Check(const RequestKind& kind, const std::function<Outcome()>& run) {
    const FaultRow& fault = GetParam();
    SCOPED_TRACE(std::string(kind.name) + " / " + fault.name);
    const auto expected = kind.expected.find(fault.name);
    ASSERT_NE(expected, kind.expected.end()) << "no row";
    Inject(fault, kind.timeoutMs);
    EXPECT_EQ(run(), expected->second);
    if (std::string(fault.words) == "late") {
      std::this_thread::sleep_for(std::chrono::milliseconds(3 * kLateMs));
    }
    sim_.Fault(0, "none");
    EXPECT_EQ(run(), kind.expected.at("")) << "the request after the fault";
  }
};

// A fresh Wireless page shows "ESSID", "APName" and a zero BSSID.
const Outcome kReadWhole{{}, "essid=faultnet name=Kelvo-AP-01 bssid=0A0B0C0D0E0F"};
const Outcome kReadNothing{{kTimeout}, "essid=ESSID name=APName bssid=000000000000"};

TEST_P(FaultRowTest, ReadGroup) {
  const RequestKind kind{
      "ReadGroup",
      2000,
      {{"", kReadWhole},
       // The last variable is missing: everything before it was taken.
       {"Fewer", {{kExtractError}, kReadWhole.state}},
       {"More", kReadWhole},
       // Texts read as the integers' decimal text; BasicRates has no bytes and ends the step.
       {"WrongType", {{kExtractError}, "essid=8 name=11 bssid=000000000000"}},
       {"Shorter", {{}, "essid=faultn name=Kelvo-AP- bssid=0A0B0C0D"}},
       {"Emptied", {{}, "essid= name= bssid="}},
       {"Longer", {{}, "essid=faultnet#### name=Kelvo-AP-01#### bssid=0A0B0C0D0E0F"}},
       {"OtherAddress", kReadNothing},
       {"OtherId", kReadNothing},
       {"Late", kReadNothing},
       {"Rebooted", kReadNothing}}};
  Check(kind, [&] { return ReadWireless(); });
}

TEST_P(FaultRowTest, WriteGroup) {
  // A group of its own: Channel and Essid, the two value types.
  struct Write final : snmp::AgentGroup {
    std::vector<std::string> ReadIdentifiers() const override { return {}; }
    bool Extract(snmp::AgentSession&) override { return true; }
    void BuildWrite(snmp::AgentSession& session) override {
      session.AddSetVariable(mib::FullOid(mib::Variable::Channel), snmp::SetType::Integer, "11");
      session.AddSetVariable(mib::FullOid(mib::Variable::Essid), snmp::SetType::OctetString,
                             "written");
    }
  } group;
  session_.AttachGroup(mib::Group::IpConfig, &group);
  // Only the reply is spoilt: the device took the values in every case but the reboot.
  const Outcome taken{{}, "1 written 11"};
  const Outcome lost{{kTimeout}, "0 written 11"};
  const RequestKind kind{"WriteGroup",
                         2000,
                         {{"", taken},
                          {"Fewer", taken},
                          {"More", taken},
                          {"WrongType", taken},
                          {"Shorter", taken},
                          {"Emptied", taken},
                          {"Longer", taken},
                          {"OtherAddress", lost},
                          {"OtherId", lost},
                          {"Late", lost},
                          {"Rebooted", {{kTimeout}, "0 faultnet 6"}}}};
  Check(kind, [&] {
    const bool written = session_.WriteGroup(mib::Group::IpConfig, Host());
    return Take(std::to_string(written) + ' ' + Device("Essid") + ' ' + Device("Channel"));
  });
  session_.AttachGroup(mib::Group::IpConfig, nullptr);
}

TEST_P(FaultRowTest, SetSingleValue) {
  const Outcome taken{{}, "1 channel=11"};
  const Outcome lost{{kResetWait}, "0 channel=11"};
  const RequestKind kind{"SetSingleValue",
                         2000,
                         {{"", taken},
                          {"Fewer", taken},
                          {"More", taken},
                          {"WrongType", taken},
                          {"Shorter", taken},
                          {"Emptied", taken},
                          {"Longer", taken},
                          {"OtherAddress", lost},
                          {"OtherId", lost},
                          {"Late", lost},
                          {"Rebooted", {{kResetWait}, "0 channel=6"}}}};
  Check(kind, [&] {
    const bool set = session_.SetSingleValue(snmp::SetKind::Integer, Host(),
                                             mib::FullOid(mib::Variable::Channel), "11");
    return Take(std::to_string(set) + " channel=" + Device("Channel"));
  });
}

// Quiet: no message whatever happens; a block cut short fills the counters it covers.
TEST_P(FaultRowTest, ReadStatistics) {
  const std::string kLastOfEachBlockMissing =
      std::string(15, 'x') + '-' + std::string(13, 'x') + '-' + std::string(13, 'x') + '-';
  const std::string all(statistics::kCounterCount, 'x');
  const Outcome whole{{}, all};
  const Outcome none{{}, std::string(statistics::kCounterCount, '-')};
  const RequestKind kind{"ReadStatistics",
                         2000,
                         {{"", whole},
                          {"Fewer", {{}, std::string(30, 'x') + std::string(14, '-')}},
                          {"More", whole},
                          {"WrongType", none},
                          {"Shorter", {{}, kLastOfEachBlockMissing}},
                          {"Emptied", none},
                          {"Longer", whole},
                          {"OtherAddress", none},
                          {"OtherId", none},
                          {"Late", none},
                          {"Rebooted", none}}};
  Check(kind, [&] { return ReadStatistics(); });
}

// The table exchanges report nothing; an address cut short keeps the zeros it was sent with,
// and a record cut short does not count as an answer (a table saved from it would be wrong).
TEST_P(FaultRowTest, FetchAuthorizedTable) {
  const Outcome whole{{}, "0011223344AA 0011223344BB complete=1"};
  const Outcome empty{{}, "complete=0"};
  const RequestKind kind{"FetchAuthorizedTable",
                         10000,
                         {{"", whole},
                          {"Fewer", empty},
                          {"More", whole},
                          {"WrongType", empty},
                          {"Shorter", {{}, "001122330000 001122330000 complete=0"}},
                          {"Emptied", empty},
                          {"Longer", whole},
                          {"OtherAddress", empty},
                          {"OtherId", empty},
                          {"Late", empty},
                          {"Rebooted", empty}}};
  Check(kind, [&] { return FetchTable(); });
}

TEST_P(FaultRowTest, StoreAuthorizedTable) {
  const Outcome stored{{}, "1 table=00AABBCCDDEE"};
  const Outcome unanswered{{}, "0 table=00AABBCCDDEE"};
  const RequestKind kind{"StoreAuthorizedTable",
                         10000,
                         {{"", stored},
                          {"Fewer", unanswered},
                          {"More", stored},
                          {"WrongType", unanswered},
                          {"Shorter", unanswered},
                          {"Emptied", unanswered},
                          {"Longer", stored},
                          {"OtherAddress", unanswered},
                          {"OtherId", unanswered},
                          {"Late", unanswered},
                          {"Rebooted", {{}, "0 table=0011223344AA 0011223344BB"}}}};
  Check(kind, [&] { return StoreTable("00AABBCCDDEE"); });
}

TEST_P(FaultRowTest, GetTestVariable) {
  const Outcome whole{{}, "10 channel=6"};
  const Outcome lost{{kTimeout}, "none"};
  const RequestKind kind{"GetTestVariable",
                         rftest::kTestRequestTimeoutMs,
                         {{"", whole},
                          {"Fewer", {{kExtractError}, "none"}},
                          {"More", whole},
                          {"WrongType", {{kExtractError}, "none"}},
                          {"Shorter", {{}, "8 channel=6"}},
                          {"Emptied", {{}, "0 channel=0"}},
                          {"Longer", {{}, "14 channel=6"}},
                          {"OtherAddress", lost},
                          {"OtherId", lost},
                          {"Late", lost},
                          {"Rebooted", lost}}};
  Check(kind, [&] { return GetParameters(); });
}

// The counters are polled: a silent or lost reply shows nothing, an unreadable one the
// extraction message.
TEST_P(FaultRowTest, PollTestCounters) {
  const Outcome whole{{}, "16"};
  const Outcome none{{}, "none"};
  const RequestKind kind{"PollTestCounters",
                         rftest::kTestRequestTimeoutMs,
                         {{"", whole},
                          {"Fewer", {{kExtractError}, "none"}},
                          {"More", whole},
                          {"WrongType", {{kExtractError}, "none"}},
                          {"Shorter", {{}, "14"}},
                          {"Emptied", {{}, "0"}},
                          {"Longer", {{}, "20"}},
                          {"OtherAddress", none},
                          {"OtherId", none},
                          {"Late", none},
                          {"Rebooted", none}}};
  Check(kind, [&] { return PollTestCounters(); });
}

TEST_P(FaultRowTest, SetTestVariable) {
  const Outcome taken{{}, "1 device=09"};
  const Outcome lost{{kTimeout}, "0 device=09"};
  const RequestKind kind{"SetTestVariable",
                         rftest::kTestRequestTimeoutMs,
                         {{"", taken},
                          {"Fewer", taken},
                          {"More", taken},
                          {"WrongType", taken},
                          {"Shorter", taken},
                          {"Emptied", taken},
                          {"Longer", taken},
                          {"OtherAddress", lost},
                          {"OtherId", lost},
                          {"Late", lost},
                          {"Rebooted", {{kTimeout}, "0 device=06"}}}};
  Check(kind, [&] { return SetParameters(9); });
}

TEST_P(FaultRowTest, ReadTestRegisters) {
  const Outcome whole{{}, "8 last=yes"};
  const Outcome lost{{kTimeout}, "none"};
  const RequestKind kind{"ReadTestRegisters",
                         rftest::kRegisterReadTimeoutMs,
                         {{"", whole},
                          {"Fewer", lost},
                          {"More", whole},
                          {"WrongType", lost},
                          {"Shorter", {{}, "6 last=no"}},
                          {"Emptied", {{}, "0 last=no"}},
                          {"Longer", {{}, "12 last=yes"}},
                          {"OtherAddress", lost},
                          {"OtherId", lost},
                          {"Late", lost},
                          {"Rebooted", lost}}};
  Check(kind, [&] { return ReadBaseband(); });
}

// Discovery takes a reply from any address and never shows a time-out; a reply without a
// readable name is not listed.
TEST_P(FaultRowTest, Discovery) {
  const Outcome listed{{}, "127.0.97.2=Kelvo-AP-01"};
  const Outcome none{{}, "none"};
  const RequestKind kind{"Discovery",
                         0,
                         {{"", listed},
                          {"Fewer", none},
                          {"More", listed},
                          {"WrongType", {{}, "127.0.97.2=11"}},
                          {"Shorter", {{}, "127.0.97.2=Kelvo-AP-"}},
                          {"Emptied", none},
                          {"Longer", {{}, "127.0.97.2=Kelvo-AP-01####"}},
                          {"OtherAddress", {{}, "127.0.0.99=Kelvo-AP-01"}},
                          {"OtherId", none},
                          {"Late", listed},
                          {"Rebooted", none}}};
  Check(kind, [&] { return Discover(); });
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultRowTest, ::testing::ValuesIn(kFaults),
                         [](const auto& row) { return std::string(row.param.name); });

// A device that reboots in the middle of a profile push: the push stops at the write that got
// no answer, with the time-out message and no success, and the session serves the next push.
class ProfilePushTest : public FaultMatrix, public ::testing::WithParamInterface<int> {
 protected:
  ProfilePushTest()
      : settings_(fs::temp_directory_path() / ("kelvo-faults-" + std::to_string(::getpid()) + "-" +
                                               std::to_string(GetParam()))) {
    fs::create_directories(settings_ / "Profile");
    context_.settingsPath = settings_.string() + "/";
    sheet_ = std::make_unique<pages::ConfigurationSheet>(context_);
  }
  ~ProfilePushTest() override { fs::remove_all(settings_); }

  // The requests the device received, in order, each named by its first variable.
  std::vector<std::string> Requests() {
    std::vector<std::string> requests;
    int sequence = 0;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.sequence == sequence) continue;
      sequence = entry.sequence;
      const auto variable = mib::FindByOid(entry.oid);
      requests.push_back(variable ? std::string(mib::Info(*variable).name) : entry.oid);
    }
    return requests;
  }

  fs::path settings_;
  std::unique_ptr<pages::ConfigurationSheet> sheet_;
};

TEST_P(ProfilePushTest, RebootStopsThePushWithTheTimeOut) {
  const int answered = GetParam();
  sheet_->Open(Host());
  for (int tab : {pages::ConfigurationSheet::kIpConfig, pages::ConfigurationSheet::kWireless,
                  pages::ConfigurationSheet::kSecurity, pages::ConfigurationSheet::kSystem}) {
    sheet_->PressTab(tab);
  }
  ASSERT_TRUE(sheet_->Profiles().ReadProfile(
      (fs::path(KELVO_SOURCE_DIR) / "tests/fixtures/profiles/complete_crlf.kvp").string()));
  ASSERT_EQ(TakeMessages(), Messages{});
  const std::string oldIp = Device("IpAddress");
  const std::string oldMode = Device("OperationMode");
  sim_.ClearLog(0);
  sim_.Fault(0, "reboot-after " + std::to_string(answered));

  EXPECT_FALSE(sheet_->Profiles().ApplyProfile());
  EXPECT_EQ(TakeMessages(), Messages{kTimeout}) << "one message, for the write that got none";
  const auto requests = Requests();
  if (answered == 1) {
    // Group 2 went through; group 4 got no answer and nothing followed it.
    EXPECT_EQ(requests, (std::vector<std::string>{"IpAddress", "Channel"}));
    EXPECT_EQ(Device("IpAddress"), "192.168.10.20");
    EXPECT_EQ(Device("OperationMode"), oldMode);
  } else {
    // Groups 2 and 4 went through; the table went unanswered (that does not stop the push)
    // and the security write after it timed out.
    ASSERT_GE(requests.size(), 4u);
    EXPECT_EQ(requests.back(), "WepMode");
    EXPECT_EQ(Device("OperationMode"), "5");
  }
  EXPECT_NE(Device("IpAddress"), oldIp);

  // Back up: the same push goes through whole and quietly.
  sim_.Fault(0, "none");
  EXPECT_TRUE(sheet_->Profiles().ApplyProfile());
  EXPECT_EQ(TakeMessages(), Messages{});
  EXPECT_EQ(Device("WepMode"), "3");
}

INSTANTIATE_TEST_SUITE_P(Faults, ProfilePushTest, ::testing::Values(1, 2),
                         [](const auto& row) { return "AfterWrites" + std::to_string(row.param); });

// The same through kelvo-cli: the device reboots once it has taken group 2, after the reads
// the command starts with.
TEST(ProfileApplyCliTest, RebootStopsTheCommandWithTheTimeOut) {
  ApSimProcess sim({1, "127.0.98.2", "admin", {"--test-port", "0"}});
  const std::string file =
      (fs::path(KELVO_SOURCE_DIR) / "tests/fixtures/profiles/complete_crlf.kvp").string();
  const auto apply = [&] {
    return RunProgram({KELVO_CLI_PATH, "--port", std::to_string(sim.Port()), "profile", "apply",
                       file, sim.Address(0)},
                      30000, {"KELVO_COMMUNITY=admin"});
  };
  // A clean run tells which request writes group 4.
  const auto clean = apply();
  ASSERT_EQ(clean.exitCode, 0) << clean.err;
  int wirelessWrite = 0;
  for (const auto& entry : sim.Log(0)) {
    if (entry.pdu == "set" && entry.oid == mib::FullOid(mib::Variable::Channel)) {
      wirelessWrite = entry.sequence;
    }
  }
  ASSERT_GT(wirelessWrite, 1);
  // As before the clean run, so the faulted run makes the same requests up to group 4.
  sim.Set(0, "IpAddress", 'a', "10.9.9.9");
  sim.Command("set-table 1");
  sim.ClearLog(0);
  sim.Fault(0, "reboot-after " + std::to_string(wirelessWrite - 1));

  const auto rebooted = apply();
  EXPECT_EQ(rebooted.exitCode, 1);
  EXPECT_EQ(rebooted.out, "");
  EXPECT_EQ(rebooted.err, kTimeout + "\n") << "the time-out alone, no word of the table";
  const auto log = sim.Log(0);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().sequence, wirelessWrite) << "nothing after the unanswered write";
  EXPECT_EQ(log.back().pdu, "set");
  EXPECT_EQ(sim.Get(0, "IpAddress").value, "192.168.10.20") << "group 2 was taken";

  sim.Fault(0, "none");
  const auto again = apply();
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(again.err, "");
}

}  // namespace
}  // namespace kelvo::test
