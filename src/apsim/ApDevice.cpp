// SPDX-License-Identifier: GPL-2.0-or-later
#include "ApDevice.h"

#include <algorithm>
#include <cstddef>
#include <span>

#include "WriteRules.h"
#include "mib/RadioTables.h"

namespace kelvo::apsim {
namespace {

using mib::Variable;

constexpr std::size_t kVariableCount = static_cast<std::size_t>(Variable::SynthesizerRegisters) + 1;

std::size_t Slot(Variable variable) { return static_cast<std::size_t>(variable); }

// Traffic per counter, in events per 1000 seconds, in block order. Counters are 32-bit and
// wrap like the device's.
constexpr std::uint64_t kEthernetRxRates[16] = {
    9'000'000,  // TotalBytesRx
    60'000,     // TotalPktRx
    20,         // CRCErrorRx
    2'000,      // Multicast
    8'000,      // Broadcast
    50,         // ControlFrames
    10,         // PauseFrames
    0,          // UnknownOPC
    5,          // AlignmentErr
    0,          // OutOfRange
    2,          // CodeErrorRx
    1,          // FalseCarrierRx
    3,          // Undersize
    1,          // Oversize
    4,          // TotalFragments
    0,          // TotalJabber
};
constexpr std::uint64_t kEthernetTxRates[14] = {
    14'000'000,  // TotalBytesTx
    45'000,      // TotalPackets
    0,           // CRCError
    1'000,       // Multicast
    3'000,       // Broadcast
    41'000,      // Unicast
    0,           // PauseFrames
    100,         // SingleDefer
    20,          // MultiDefer
    30,          // SingleCollisions
    8,           // MultiCollisions
    0,           // LateCollisions
    0,           // Excessive
    38,          // TotalCollisions
};
// Transmit counters first, then receive.
constexpr std::uint64_t kWirelessRates[14] = {
    30'000,  // Tx Unicast
    2'000,   // Tx Broadcast
    500,     // Tx Multicast
    9'766,   // TxBeacon: one per 102.4 ms
    28'000,  // TxACK
    100,     // TxRTS
    90,      // TxCTS
    25'000,  // Rx Unicast
    3'000,   // Rx Broadcast
    600,     // Rx Multicast
    4'000,   // RxBeacon from neighbours
    29'000,  // RxACK
    80,      // RxRTS
    95,      // RxCTS
};

static_assert(std::size(kEthernetRxRates) == statistics::kCounterBlocks[0].count);
static_assert(std::size(kEthernetTxRates) == statistics::kCounterBlocks[1].count);
static_assert(std::size(kWirelessRates) == statistics::kCounterBlocks[2].count);

// The tables in reply order, like statistics::kCounterBlocks.
constexpr std::array<std::span<const std::uint64_t>, 3> kBlockRates = {
    kEthernetRxRates, kEthernetTxRates, kWirelessRates};

const statistics::CounterBlockLayout* CounterLayout(Variable variable) {
  for (const statistics::CounterBlockLayout& block : statistics::kCounterBlocks) {
    if (block.variable == variable) return &block;
  }
  return nullptr;
}

bool IsCounterBlock(Variable variable) { return CounterLayout(variable) != nullptr; }

// The events in `elapsed` at `rate`, rounded towards the past (a time before the counter's
// reference point gives a negative count), modulo 2^64; exact for every rate and time.
std::uint64_t Events(CounterRate rate, SimTime elapsed) {
  // rate * ms / kDivisor, with rate = r1 * kDivisor + r0 and ms = m1 * kDivisor + m0 so that
  // no product overflows before the modulo that the 32-bit counter applies anyway.
  constexpr std::uint64_t kDivisor = kCounterRateScale * 1000;
  const bool past = elapsed.count() < 0;
  const auto count = static_cast<std::uint64_t>(elapsed.count());
  const std::uint64_t ms = past ? 0 - count : count;
  const std::uint64_t r1 = rate / kDivisor;
  const std::uint64_t r0 = rate % kDivisor;
  const std::uint64_t m1 = ms / kDivisor;
  const std::uint64_t m0 = ms % kDivisor;
  const std::uint64_t whole = r1 * ms + r0 * m1 + r0 * m0 / kDivisor;
  if (!past) return whole;
  return 0 - whole - (r0 * m0 % kDivisor == 0 ? 0 : 1);
}

void PutLittle16(std::vector<std::uint8_t>& bytes, std::size_t offset, unsigned value) {
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLittle32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  PutLittle16(bytes, offset, value & 0xFFFF);
  PutLittle16(bytes, offset + 2, value >> 16);
}

unsigned Little16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes[offset] | static_cast<unsigned>(bytes[offset + 1]) << 8;
}

std::string Padded(int number, std::size_t width) {
  std::string text = std::to_string(number);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

// The device keeps 32 key bytes. 64 hex digits are the key itself; a passphrase is repeated to
// 32 bytes, each XOR-ed with its position (a stand-in for the WPA key derivation: deterministic
// and different for different passphrases).
std::vector<std::uint8_t> PreSharedKeyBytes(const std::vector<std::uint8_t>& text) {
  if (text.size() == 64) {
    const std::string digits(text.begin(), text.end());
    return ParseHexBytes(digits).value_or(std::vector<std::uint8_t>(32));
  }
  std::vector<std::uint8_t> key(32);
  for (std::size_t i = 0; i < key.size(); ++i) {
    key[i] = static_cast<std::uint8_t>(text[i % text.size()] ^ i);
  }
  return key;
}

std::string_view TextOf(const SnmpValue& value) {
  return {reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size()};
}

bool IsRegisterBlock(Variable variable) {
  return variable == Variable::BasebandRegisters || variable == Variable::TxPowerSettings ||
         variable == Variable::SynthesizerRegisters;
}

constexpr std::uint8_t kRegisterRead = 3;
constexpr std::uint8_t kRegisterWriteChip = 1;

constexpr long kPacketTxTest = 2;
constexpr long kPacketRxTest = 3;
constexpr long kStopOffset = 0x80;

std::size_t BankIndex(Variable variable) {
  switch (variable) {
    case Variable::BasebandRegisters:
      return 0;
    case Variable::TxPowerSettings:
      return 1;
    default:
      return 2;
  }
}

// The air time of one test packet at the parameters' rate and preamble, with the gap between
// frames: about 1.2 ms for 1500 bytes at 11 Mb.
std::chrono::microseconds PacketInterval(const std::vector<std::uint8_t>& parameters) {
  constexpr unsigned kTenthsOfMbit[] = {10, 20, 55, 110};
  const unsigned rate =
      parameters[1] >= 1 && parameters[1] <= 4 ? kTenthsOfMbit[parameters[1] - 1] : 110;
  const unsigned preamble = parameters[2] == 1 ? 192 : 96;
  const unsigned length = std::max(64U, Little16(parameters, 8));
  return std::chrono::microseconds(length * 8 * 10 / rate + preamble + 50);
}

// Channel 6 where the domain's plan has it, else the plan's first channel.
long FactoryChannel(long domain) {
  const int plan = static_cast<int>(domain);
  if (mib::ChannelPosition(plan, 6) >= 0) return 6;
  return mib::ChannelAt(plan, 1).value_or(6);
}

}  // namespace

MacAddress DeviceMacAddress(int number) {
  return {0x02,
          0x4B,
          0x56,
          0x00,
          static_cast<std::uint8_t>(number >> 8),
          static_cast<std::uint8_t>(number)};
}

ApDevice::ApDevice(int number, std::uint32_t address, std::string writeCommunity,
                   FactoryIdentity identity)
    : number_(number),
      address_(address),
      writeCommunity_(std::move(writeCommunity)),
      identity_(std::move(identity)),
      frozen_(kVariableCount, false) {
  // Each device has been up for `number` hours when the simulator starts, and its traffic
  // differs a little from the others'.
  const CounterRate factor = 9 + static_cast<unsigned>(number_) % 4;
  for (std::size_t b = 0; b < kBlockRates.size(); ++b) {
    for (std::size_t i = 0; i < kBlockRates[b].size(); ++i) {
      // Table rates are per 1000 s, the factor in tenths.
      counters_[statistics::kCounterBlocks[b].first + i] = {kBlockRates[b][i] * factor * 100, 0,
                                                            -std::chrono::hours(number)};
    }
  }
  LoadFactorySettings();
  for (const Variable variable :
       {Variable::BasebandRegisters, Variable::TxPowerSettings, Variable::SynthesizerRegisters}) {
    const std::vector<std::uint8_t>& factory = values_[Slot(variable)].bytes;
    Bank(variable) = RegisterBank{factory, factory};
  }
  rfTest_.txStoppedAt = 0;
}

ApDevice::RegisterBank& ApDevice::Bank(Variable variable) {
  return registers_[BankIndex(variable)];
}

const ApDevice::RegisterBank& ApDevice::Bank(Variable variable) const {
  return registers_[BankIndex(variable)];
}

void ApDevice::LoadFactorySettings() {
  values_.assign(kVariableCount, SnmpValue::Null());
  auto set = [this](Variable variable, SnmpValue value) {
    values_[Slot(variable)] = std::move(value);
  };
  const auto integer = [](long value) { return SnmpValue::Integer(value); };
  const auto text = [](std::string_view value) { return SnmpValue::Text(value); };
  const auto bytes = [](std::vector<std::uint8_t> value) {
    return SnmpValue::Bytes(std::move(value));
  };
  const MacAddress mac = DeviceMacAddress(number_);

  set(Variable::SystemDescription, text(std::string(kDescriptionPrefix) + identity_.firmware));
  set(Variable::SystemRestart, integer(0));
  set(Variable::TrapEnable, integer(0));
  set(Variable::LoadDefault, integer(0));
  set(Variable::UpgradeServerAddress, SnmpValue::Ip(0));
  set(Variable::UpgradePrepare, integer(0));
  set(Variable::RegulatoryDomain, integer(identity_.regulatoryDomain));
  set(Variable::SerialNumber, text("KV24" + Padded(number_, 6)));
  set(Variable::AccessPassword1, text(writeCommunity_));
  set(Variable::AccessPassword2, text(writeCommunity_));
  set(Variable::IpAddress, SnmpValue::Ip(address_));
  set(Variable::SubnetMask, SnmpValue::Ip(0xFFFFFF00));
  set(Variable::MacAddress, bytes({mac.begin(), mac.end()}));
  set(Variable::Gateway, SnmpValue::Ip((address_ & 0xFFFFFF00) | 1));
  set(Variable::DhcpClient, integer(2));
  set(Variable::PrimaryPort, integer(1));
  set(Variable::Channel, integer(FactoryChannel(identity_.regulatoryDomain)));
  set(Variable::Essid, text("kelvo-wlan"));
  set(Variable::RtsThreshold, integer(2347));
  set(Variable::FragmentationThreshold, integer(2346));
  set(Variable::PreambleType, integer(2));
  set(Variable::BasicRates, bytes({0x82, 0x00, 0x00, 0x00}));
  set(Variable::RateSetting, integer(2));
  set(Variable::DeviceName, text("Kelvo-AP-" + Padded(number_, 2)));
  set(Variable::RejectBroadcastProbe, integer(0));
  set(Variable::DataRate, integer(4));
  set(Variable::WlanDisable, integer(0));
  set(Variable::BeaconInterval, integer(100));
  set(Variable::OperationMode, integer(2));
  set(Variable::Bssid, bytes(std::vector<std::uint8_t>(6)));
  set(Variable::AuthorizedTableEnable, integer(2));
  set(Variable::AuthorizedTableEntry, bytes(std::vector<std::uint8_t>(12)));
  set(Variable::AuthenticationType, integer(1));
  set(Variable::EncryptionType, integer(0));
  for (const Variable key :
       {Variable::WepKey1, Variable::WepKey2, Variable::WepKey3, Variable::WepKey4}) {
    set(key, bytes(std::vector<std::uint8_t>(13)));
  }
  set(Variable::WepMode, integer(1));
  set(Variable::ActiveKey, integer(1));
  set(Variable::ReAuthEnabled, integer(2));
  set(Variable::ReAuthPeriod, integer(3600));
  for (const Variable server : {Variable::RadiusServer1, Variable::RadiusServer2,
                                Variable::RadiusServer3, Variable::RadiusServer4}) {
    set(server, SnmpValue::Ip(0));
  }
  for (const Variable secret : {Variable::RadiusSecret1, Variable::RadiusSecret2,
                                Variable::RadiusSecret3, Variable::RadiusSecret4}) {
    set(secret, text(""));
  }
  set(Variable::WpaSupportStation, integer(1));
  set(Variable::WpaCipher, integer(1));
  set(Variable::PskAsciiMode, integer(1));
  set(Variable::PreSharedKey, bytes(std::vector<std::uint8_t>(32)));
  set(Variable::GroupKeyInterval, integer(600));
  // Counter blocks are computed when read; the stored value only matters once frozen.
  set(Variable::EthernetRxCounters, bytes(std::vector<std::uint8_t>(64)));
  set(Variable::EthernetTxCounters, bytes(std::vector<std::uint8_t>(56)));
  set(Variable::WirelessCounters, bytes(std::vector<std::uint8_t>(56)));
  set(Variable::RfTestCommand, integer(0));
  // Channel 6, 11 Mb, long preamble, pattern 5A, 1000 packets of 1514 bytes.
  set(Variable::RfTestParameters,
      bytes({0x06, 0x04, 0x01, 0x5A, 0xE8, 0x03, 0x00, 0x00, 0xEA, 0x05}));
  // Operation, reserved, CR3, CR17, CR20, CR21, CR28, CR29.
  set(Variable::BasebandRegisters, bytes({0x00, 0x00, 0x0B, 0x1F, 0x4A, 0x3C, 0x60, 0x05}));
  // Operation, TX_GAIN 20, P_DESIRED 24.
  set(Variable::TxPowerSettings, bytes({0x00, 0x14, 0x18}));
  set(Variable::RfTestCounters, bytes(std::vector<std::uint8_t>(16)));
  // Operation, then IFPLL1, IFPLL3, RFPLL1, RFPLL4, CAL1, VCOT1, TXRX (32-bit, little-endian).
  std::vector<std::uint8_t> synthesizer(32);
  const std::uint32_t registers[7] = {0x00029004, 0x00000C91, 0x00026B20, 0x00000E08,
                                      0x00019D11, 0x00001F80, 0x00000700};
  for (std::size_t i = 0; i < 7; ++i) PutLittle32(synthesizer, 4 + 4 * i, registers[i]);
  set(Variable::SynthesizerRegisters, bytes(std::move(synthesizer)));

  authorizedTable_.clear();
}

bool ApDevice::Answers(const SnmpPdu& request) const {
  switch (request.type) {
    case PduType::GetRequest:
    case PduType::GetNextRequest:
      return request.community == kReadCommunity || request.community == writeCommunity_;
    case PduType::SetRequest:
      return true;
    default:
      return false;
  }
}

std::optional<AgentReply> ApDevice::Handle(const SnmpPdu& request, SimTime now) {
  if (!Answers(request)) return std::nullopt;
  switch (request.type) {
    case PduType::GetRequest:
      return HandleGet(request, now);
    case PduType::GetNextRequest: {
      // The agent offers no walk: as at the end of the MIB view, the first variable has no
      // successor.
      AgentReply reply;
      reply.variables = request.variables;
      reply.errorStatus = kNoSuchName;
      reply.errorIndex = request.variables.empty() ? 0 : 1;
      return reply;
    }
    case PduType::SetRequest:
      return HandleSet(request, now);
    default:
      return std::nullopt;
  }
}

AgentReply ApDevice::HandleGet(const SnmpPdu& request, SimTime now) const {
  AgentReply reply;
  for (std::size_t i = 0; i < request.variables.size(); ++i) {
    const VarBind& bind = request.variables[i];
    const auto variable = mib::FindByOid(FormatObjectId(bind.name));
    if (!variable || mib::Info(*variable).access == mib::Access::WriteOnly) {
      // RFC 1157: the reply is the request itself with the error fields set.
      reply.variables = request.variables;
      reply.errorStatus = kNoSuchName;
      reply.errorIndex = static_cast<long>(i + 1);
      return reply;
    }
    reply.variables.push_back({bind.name, Read(*variable, now)});
  }
  return reply;
}

AgentReply ApDevice::HandleSet(const SnmpPdu& request, SimTime now) {
  AgentReply reply;
  reply.variables = request.variables;
  auto refuse = [&reply](long status, std::size_t position) {
    reply.errorStatus = status;
    reply.errorIndex = static_cast<long>(position + 1);
    return reply;
  };

  // A community other than the write community may write nothing: the variables lie outside
  // its view, which SNMPv1 reports as noSuchName for the first one.
  if (request.community != writeCommunity_) {
    reply.errorStatus = kNoSuchName;
    reply.errorIndex = request.variables.empty() ? 0 : 1;
    return reply;
  }

  // All or nothing: every variable is checked before the first one is applied.
  std::vector<Variable> variables;
  std::optional<std::size_t> password1;
  std::optional<std::size_t> password2;
  for (std::size_t i = 0; i < request.variables.size(); ++i) {
    const VarBind& bind = request.variables[i];
    const auto variable = mib::FindByOid(FormatObjectId(bind.name));
    if (!variable) return refuse(kNoSuchName, i);
    if (const long status = CheckWrite(*variable, bind.value); status != kNoError) {
      return refuse(status, i);
    }
    if (*variable == Variable::RfTestCommand && !AcceptsTestCommand(bind.value.integer)) {
      return refuse(kGenErr, i);
    }
    if (*variable == Variable::AccessPassword1) password1 = i;
    if (*variable == Variable::AccessPassword2) password2 = i;
    variables.push_back(*variable);
  }
  // The password is changed by both variables together, with the same text; a lone one or a
  // mismatch is refused at the later of the two.
  if (password1 || password2) {
    if (!password1 || !password2) return refuse(kBadValue, password1 ? *password1 : *password2);
    if (request.variables[*password1].value != request.variables[*password2].value) {
      return refuse(kBadValue, std::max(*password1, *password2));
    }
  }

  for (std::size_t i = 0; i < variables.size(); ++i) {
    reply.variables[i].value = Apply(variables[i], request.variables[i].value, now, reply);
  }
  // It boots with everything the set wrote, whatever the order of the variables.
  if (reply.restarted) Restart(now);
  return reply;
}

void ApDevice::ConfigureCounters(const CounterSettings& settings) {
  for (std::size_t i = 0; i < counters_.size(); ++i) {
    CounterTrack& track = counters_[i];
    if (settings.rates[i]) track.rate = *settings.rates[i];
    if (settings.wrapAfter) track = {track.rate, 0, *settings.wrapAfter};
  }
}

void ApDevice::SetCounterRate(std::size_t counter, CounterRate rate, SimTime now) {
  counters_[counter] = {rate, CounterValue(counter, now), now};
}

void ApDevice::Restart(SimTime now) {
  for (CounterTrack& track : counters_) track = {track.rate, 0, now};
  if (rfTest_.running != 0) RunTestCommand(rfTest_.running + kStopOffset, now);
  for (RegisterBank& bank : registers_) bank.chip = bank.flash;
  // With DHCP on, the server hands it the address it had.
  const SnmpValue& dhcp = values_[Slot(Variable::DhcpClient)];
  const SnmpValue& ip = values_[Slot(Variable::IpAddress)];
  if (dhcp.tag == ValueTag::Integer && dhcp.integer == 2 && ip.tag == ValueTag::IpAddress &&
      ip.bytes.size() == 4) {
    address_ = static_cast<std::uint32_t>(ip.bytes[0]) << 24 |
               static_cast<std::uint32_t>(ip.bytes[1]) << 16 |
               static_cast<std::uint32_t>(ip.bytes[2]) << 8 | ip.bytes[3];
  }
}

void ApDevice::InstallFirmware(std::string version) {
  identity_.firmware = std::move(version);
  values_[Slot(Variable::SystemDescription)] =
      SnmpValue::Text(std::string(kDescriptionPrefix) + identity_.firmware);
}

SnmpValue ApDevice::Apply(Variable variable, const SnmpValue& value, SimTime now,
                          AgentReply& reply) {
  SnmpValue& stored = values_[Slot(variable)];
  switch (variable) {
    case Variable::SystemRestart:
      stored = value;
      // A full reset happens once the whole set is applied; a restart of the wireless
      // settings (2) changes nothing here.
      if (value.integer == 1) reply.restarted = true;
      return value;
    case Variable::LoadDefault: {
      // Factory settings everywhere, for the firmware and domain the device was made with; it
      // keeps its address, its write community and its traffic counters.
      const std::vector<SnmpValue> before = values_;
      LoadFactorySettings();
      for (std::size_t slot = 0; slot < kVariableCount; ++slot) {
        if (frozen_[slot]) values_[slot] = before[slot];
      }
      values_[Slot(Variable::LoadDefault)] = value;
      return value;
    }
    case Variable::AccessPassword1:
    case Variable::AccessPassword2:
      stored = value;
      reply.newWriteCommunity = std::string(TextOf(value));
      return value;
    case Variable::PreSharedKey:
      stored = SnmpValue::Bytes(PreSharedKeyBytes(value.bytes));
      return value;
    case Variable::AuthorizedTableEntry:
      return ExchangeAuthorizedRecord(value.bytes);
    case Variable::RfTestCommand:
      stored = value;
      RunTestCommand(value.integer, now);
      return value;
    default:
      break;
  }
  if (IsRegisterBlock(variable)) return RegisterBlock(variable, value.bytes);
  stored = value;
  return value;
}

SnmpValue ApDevice::RegisterBlock(Variable variable, const std::vector<std::uint8_t>& request) {
  RegisterBank& bank = Bank(variable);
  switch (request[0]) {
    case kRegisterWriteChip:
      bank.chip = request;
      return SnmpValue::Bytes(request);
    case kRegisterRead: {
      // "Read From BBP" reads the baseband chip; the power and RF2958 values are read from
      // flash. The reply has the request's layout and operation field.
      std::vector<std::uint8_t> reply =
          variable == Variable::BasebandRegisters ? bank.chip : bank.flash;
      reply.resize(request.size());
      const std::size_t opBytes = variable == Variable::SynthesizerRegisters ? 4 : 1;
      std::copy_n(request.begin(), std::min(opBytes, request.size()), reply.begin());
      return SnmpValue::Bytes(std::move(reply));
    }
    default:
      bank.flash = request;
      return SnmpValue::Bytes(request);
  }
}

bool ApDevice::AcceptsTestCommand(long command) const {
  if (command >= 1 && command <= 4) return rfTest_.running == 0 || rfTest_.running == command;
  return true;
}

void ApDevice::RunTestCommand(long command, SimTime now) {
  if (command >= 1 && command <= 4) {
    if (command == kPacketTxTest) {
      const std::vector<std::uint8_t>& parameters = values_[Slot(Variable::RfTestParameters)].bytes;
      const bool usable = parameters.size() == 10;
      rfTest_.txStarted = now;
      rfTest_.txTarget =
          usable
              ? static_cast<std::uint32_t>(Little16(parameters, 4) | Little16(parameters, 6) << 16)
              : 1000;
      rfTest_.txInterval = usable ? PacketInterval(parameters) : std::chrono::microseconds(1000);
      rfTest_.txStoppedAt.reset();
    }
    if (command == kPacketRxTest) rfTest_.rxGood = 0;
    rfTest_.running = static_cast<int>(command);
    return;
  }
  const long stopped = command - kStopOffset;
  if (stopped != rfTest_.running) return;
  if (stopped == kPacketTxTest) rfTest_.txStoppedAt = PacketsTransmitted(now);
  rfTest_.running = 0;
}

std::uint32_t ApDevice::PacketsTransmitted(SimTime now) const {
  if (rfTest_.txStoppedAt) return *rfTest_.txStoppedAt;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(now - rfTest_.txStarted);
  if (elapsed.count() <= 0) return 0;
  const auto sent = static_cast<std::uint64_t>(elapsed / rfTest_.txInterval);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(sent, rfTest_.txTarget));
}

SnmpValue ApDevice::TestCounters(SimTime now) const {
  // One transmitted packet in a hundred goes out bad; every datagram that arrives is good.
  const std::uint32_t sent = PacketsTransmitted(now);
  const std::uint32_t bad = sent / 100;
  std::vector<std::uint8_t> block(16);
  PutLittle32(block, 0, sent - bad);
  PutLittle32(block, 4, bad);
  PutLittle32(block, 8, rfTest_.rxGood);
  PutLittle32(block, 12, 0);
  return SnmpValue::Bytes(std::move(block));
}

bool ApDevice::TestDatagramReceived() {
  if (rfTest_.running != kPacketRxTest) return false;
  ++rfTest_.rxGood;
  return true;
}

SnmpValue ApDevice::ExchangeAuthorizedRecord(const std::vector<std::uint8_t>& request) {
  const unsigned operation = Little16(request, 0);
  const unsigned count = Little16(request, 2);
  const unsigned index = Little16(request, 4);
  MacAddress address{};
  std::copy_n(request.begin() + 6, address.size(), address.begin());

  if (operation == 1) {
    // The manager stores the whole table in order, index 1 first, so index 1 starts a new
    // table; count 0 stores an empty one.
    if (count == 0 || index == 1) authorizedTable_.clear();
    if (index >= 1) {
      if (authorizedTable_.size() < index) authorizedTable_.resize(index);
      authorizedTable_[index - 1] = address;
    }
  } else if (index >= 1 && index <= authorizedTable_.size()) {
    address = authorizedTable_[index - 1];
  } else {
    address = {};
  }

  std::vector<std::uint8_t> reply(12);
  PutLittle16(reply, 0, operation);
  PutLittle16(reply, 2, static_cast<unsigned>(authorizedTable_.size()));
  PutLittle16(reply, 4, index);
  std::copy(address.begin(), address.end(), reply.begin() + 6);
  return SnmpValue::Bytes(std::move(reply));
}

std::uint32_t ApDevice::CounterValue(std::size_t counter, SimTime now) const {
  const CounterTrack& track = counters_[counter];
  return static_cast<std::uint32_t>(track.start + Events(track.rate, now - track.since));
}

SnmpValue ApDevice::CounterBlock(Variable variable, SimTime now) const {
  const statistics::CounterBlockLayout& layout = *CounterLayout(variable);
  std::vector<std::uint8_t> block(layout.Bytes());
  for (std::size_t i = 0; i < layout.count; ++i) {
    const statistics::CounterSlot& slot = statistics::kCounters[layout.first + i];
    PutLittle32(block, slot.offset, CounterValue(layout.first + i, now));
  }
  return SnmpValue::Bytes(std::move(block));
}

SnmpValue ApDevice::Read(Variable variable, SimTime now) const {
  const SnmpValue& stored = values_[Slot(variable)];
  if (IsCounterBlock(variable) && !frozen_[Slot(variable)]) return CounterBlock(variable, now);
  switch (variable) {
    case Variable::RfTestCounters:
      return frozen_[Slot(variable)] ? stored : TestCounters(now);
    case Variable::BasebandRegisters:
    case Variable::TxPowerSettings:
    case Variable::SynthesizerRegisters: {
      // What a read-back would return, with operation 0.
      const RegisterBank& bank = Bank(variable);
      SnmpValue block =
          SnmpValue::Bytes(variable == Variable::BasebandRegisters ? bank.chip : bank.flash);
      const std::size_t opBytes = variable == Variable::SynthesizerRegisters ? 4 : 1;
      for (std::size_t i = 0; i < opBytes && i < block.bytes.size(); ++i) block.bytes[i] = 0;
      return block;
    }
    case Variable::WepKey1:
    case Variable::WepKey2:
    case Variable::WepKey3:
    case Variable::WepKey4: {
      // Keys are kept as written (13 bytes, or 5); the key size of WepMode decides what a
      // read returns.
      const SnmpValue& mode = values_[Slot(Variable::WepMode)];
      if (stored.tag != ValueTag::OctetString || mode.tag != ValueTag::Integer ||
          (mode.integer != 1 && mode.integer != 3)) {
        return stored;
      }
      SnmpValue key = stored;
      key.bytes.resize(mode.integer == 1 ? 5 : 13);
      return key;
    }
    case Variable::AuthorizedTableEntry: {
      // Reading the record outside the exchange shows the table's size.
      std::vector<std::uint8_t> record(12);
      PutLittle16(record, 2, static_cast<unsigned>(authorizedTable_.size()));
      return SnmpValue::Bytes(std::move(record));
    }
    default:
      return stored;
  }
}

void ApDevice::Store(Variable variable, SnmpValue value) {
  // A register block stored by hand is what both the chip and the flash hold.
  if (IsRegisterBlock(variable)) Bank(variable) = RegisterBank{value.bytes, value.bytes};
  values_[Slot(variable)] = std::move(value);
  if (IsCounterBlock(variable) || variable == Variable::RfTestCounters) {
    frozen_[Slot(variable)] = true;
  }
}

}  // namespace kelvo::apsim
