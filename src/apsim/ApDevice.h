// SPDX-License-Identifier: GPL-2.0-or-later
// One simulated access point: its management variables with factory values, its communities,
// the authorised MAC table, traffic counters that advance with time, and the agent's answers
// to GetRequest and SetRequest (RFC 1157).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SnmpPdu.h"
#include "mib/MibVariables.h"
#include "statistics/CounterBlocks.h"

namespace kelvo::apsim {

// Every access point reads with this community; it writes with the administrator password.
inline constexpr std::string_view kReadCommunity = "tundra";

using MacAddress = std::array<std::uint8_t, 6>;

// The MAC address of access point `number` (1-based): locally administered, unique in a fleet.
MacAddress DeviceMacAddress(int number);

inline constexpr std::string_view kDescriptionPrefix =
    "Kelvo 802.11b Wireless Access Point, firmware ";
inline constexpr std::string_view kNewestFirmware = "1.0.4";

// What a device keeps through LoadDefault: the firmware it runs and the regulatory domain it
// was made for.
struct FactoryIdentity {
  std::string firmware = std::string(kNewestFirmware);
  long regulatoryDomain = 0;
};

// Time on the simulator's monotonic clock.
using SimTime = std::chrono::milliseconds;

// A traffic counter's pace in events per million seconds, so that fractions of one event per
// second are exact: 0.5 per second is 500'000.
using CounterRate = std::uint64_t;
inline constexpr CounterRate kCounterRateScale = 1'000'000;

// How a device's counters run from the simulator's start on.
struct CounterSettings {
  // Per counter, in statistics::kCounters order; nullopt keeps the device's own rate.
  std::array<std::optional<CounterRate>, statistics::kCounterCount> rates{};
  // Every counter passes 2^32 (is 0 again) this long after the start, instead of having
  // counted since the device's last power-on.
  std::optional<std::chrono::seconds> wrapAfter;
};

struct AgentReply {
  long errorStatus = kNoError;
  long errorIndex = 0;
  std::vector<VarBind> variables;
  // Set by an accepted password change: becomes the write community once the reply is out.
  std::optional<std::string> newWriteCommunity;
  // Set by an accepted full restart (SystemRestart 1), which has been carried out.
  bool restarted = false;
};

class ApDevice {
 public:
  // number is 1-based and makes the device's name, MAC address and serial number unique.
  ApDevice(int number, std::uint32_t address, std::string writeCommunity,
           FactoryIdentity identity = {});

  int Number() const { return number_; }
  // The address it answers at; a full restart may change it.
  std::uint32_t Address() const { return address_; }

  // A full restart: the traffic counters start from zero, the radio boots idle with the
  // registers it keeps in flash, and a fixed IpAddress (DhcpClient 2) becomes its address.
  void Restart(SimTime now);
  // Sets the counters' rates and start as if they had held since the device was powered on;
  // before the first read.
  void ConfigureCounters(const CounterSettings& settings);
  // From `now` on the counter (statistics::kCounters index) advances at `rate`, continuing
  // from its value at `now`.
  void SetCounterRate(std::size_t counter, CounterRate rate, SimTime now);
  // Runs `version` from now on, also after LoadDefault.
  void InstallFirmware(std::string version);

  // Whether the agent answers this request at all. GetRequest: the read or the write
  // community; SetRequest: any community (a wrong one is refused with an error reply).
  bool Answers(const SnmpPdu& request) const;

  // The agent's reply; nullopt when it stays silent (see Answers, and PDU types other than
  // GetRequest, GetNextRequest and SetRequest).
  std::optional<AgentReply> Handle(const SnmpPdu& request, SimTime now);

  const std::string& WriteCommunity() const { return writeCommunity_; }
  void SetWriteCommunity(std::string community) { writeCommunity_ = std::move(community); }

  // The value as a GetRequest would return it now; write-only variables give their last
  // written value.
  SnmpValue Read(mib::Variable variable, SimTime now) const;
  // Stores a value with no checks at all. A counter block stored this way stops advancing.
  void Store(mib::Variable variable, SnmpValue value);

  const std::vector<MacAddress>& AuthorizedTable() const { return authorizedTable_; }
  void SetAuthorizedTable(std::vector<MacAddress> table) { authorizedTable_ = std::move(table); }

  // The manufacturing test: the start code (1..4) of the test the radio runs, 0 for none.
  int RunningTest() const { return rfTest_.running; }
  // A test datagram reached the device's test port; the packet RX test counts it as received
  // good. Returns whether it was counted.
  bool TestDatagramReceived();

 private:
  AgentReply HandleGet(const SnmpPdu& request, SimTime now) const;
  AgentReply HandleSet(const SnmpPdu& request, SimTime now);
  // Applies one validated value; returns what the reply carries for it.
  SnmpValue Apply(mib::Variable variable, const SnmpValue& value, SimTime now, AgentReply& reply);
  SnmpValue ExchangeAuthorizedRecord(const std::vector<std::uint8_t>& request);
  SnmpValue CounterBlock(mib::Variable variable, SimTime now) const;
  std::uint32_t CounterValue(std::size_t counter, SimTime now) const;
  void LoadFactorySettings();
  // Whether the radio takes this RfTestCommand now: a start while another test runs is refused.
  bool AcceptsTestCommand(long command) const;
  void RunTestCommand(long command, SimTime now);
  std::uint32_t PacketsTransmitted(SimTime now) const;
  SnmpValue TestCounters(SimTime now) const;
  SnmpValue RegisterBlock(mib::Variable variable, const std::vector<std::uint8_t>& request);

  // A register block as the chip holds it and as the flash keeps it, operation byte included;
  // the chip loads from flash at a full restart, and the flash survives LoadDefault.
  struct RegisterBank {
    std::vector<std::uint8_t> chip;
    std::vector<std::uint8_t> flash;
  };
  RegisterBank& Bank(mib::Variable variable);
  const RegisterBank& Bank(mib::Variable variable) const;

  struct RfTestState {
    int running = 0;
    // The last packet TX test: when it started, its packet number and pace, and the packets
    // it had sent when it was stopped (nullopt while it runs).
    SimTime txStarted{0};
    std::uint32_t txTarget = 0;
    std::chrono::microseconds txInterval{1};
    std::optional<std::uint32_t> txStoppedAt;
    std::uint32_t rxGood = 0;
  };

  int number_;
  std::uint32_t address_;
  std::string writeCommunity_;
  FactoryIdentity identity_;
  std::vector<SnmpValue> values_;  // indexed by mib::Variable
  std::vector<bool> frozen_;       // counter blocks stored by hand
  std::vector<MacAddress> authorizedTable_;
  std::array<RegisterBank, 3> registers_;  // baseband, power, synthesizer
  RfTestState rfTest_;
  // A counter is `start` at `since` and then advances at `rate`; `since` may be in the future
  // (the counter is below `start` until then, modulo 2^32). Each device has been up for a while
  // when the simulator starts, so `since` begins before 0.
  struct CounterTrack {
    CounterRate rate = 0;
    std::uint32_t start = 0;
    SimTime since{0};
  };
  std::array<CounterTrack, statistics::kCounterCount> counters_;
};

}  // namespace kelvo::apsim
