// SPDX-License-Identifier: GPL-2.0-or-later
#include "WriteRules.h"

#include <cstddef>
#include <cstdint>

#include "util/Parse.h"

namespace kelvo::apsim {
namespace {

using mib::Variable;
using enum ValueKind;

constexpr long kText32 = 32;

// Read-only variables carry only their type (and, for blocks, their size); the access column of
// the variable table decides that they cannot be written.
constexpr VariableRule kRules[] = {
    {Variable::SystemDescription, OctetString, Check::None, 0, 0},
    {Variable::SystemRestart, Integer, Check::Range, 1, 2},
    {Variable::TrapEnable, Integer, Check::Range, 0, 1},
    {Variable::LoadDefault, Integer, Check::Range, 1, 1},
    {Variable::UpgradeServerAddress, IpAddress, Check::None, 0, 0},
    {Variable::UpgradePrepare, Integer, Check::Range, 1, 1},
    {Variable::RegulatoryDomain, Integer, Check::Range, 0, 6},
    {Variable::SerialNumber, OctetString, Check::Range, 0, 10},
    {Variable::AccessPassword1, OctetString, Check::Range, 0, 15},
    {Variable::AccessPassword2, OctetString, Check::Range, 0, 15},
    {Variable::IpAddress, IpAddress, Check::None, 0, 0},
    {Variable::SubnetMask, IpAddress, Check::None, 0, 0},
    {Variable::MacAddress, OctetString, Check::Range, 6, 6},
    {Variable::Gateway, IpAddress, Check::None, 0, 0},
    {Variable::DhcpClient, Integer, Check::Range, 1, 2},
    {Variable::PrimaryPort, Integer, Check::Range, 1, 2},
    {Variable::Channel, Integer, Check::Range, 0, 14},
    {Variable::Essid, OctetString, Check::Range, 0, kText32},
    {Variable::RtsThreshold, Integer, Check::Range, 0, 2347},
    {Variable::FragmentationThreshold, Integer, Check::Range, 0, 2347},
    {Variable::PreambleType, Integer, Check::Range, 1, 2},
    {Variable::BasicRates, OctetString, Check::Range, 4, 4},
    {Variable::RateSetting, Integer, Check::None, 0, 0},
    {Variable::DeviceName, OctetString, Check::Range, 0, kText32},
    {Variable::RejectBroadcastProbe, Integer, Check::Range, 0, 1},
    {Variable::DataRate, Integer, Check::Range, 1, 4},
    {Variable::WlanDisable, Integer, Check::Range, 0, 1},
    {Variable::BeaconInterval, Integer, Check::Range, 20, 1000},
    {Variable::OperationMode, Integer, Check::OperationMode, 1, 5},
    {Variable::Bssid, OctetString, Check::Range, 6, 6},
    {Variable::AuthorizedTableEnable, Integer, Check::Range, 1, 2},
    {Variable::AuthorizedTableEntry, OctetString, Check::AuthorizedRecord, 12, 12},
    {Variable::AuthenticationType, Integer, Check::Range, 1, 4},
    {Variable::EncryptionType, Integer, Check::Range, 0, 4},
    {Variable::WepKey1, OctetString, Check::WepKey, 5, 13},
    {Variable::WepKey2, OctetString, Check::WepKey, 5, 13},
    {Variable::WepKey3, OctetString, Check::WepKey, 5, 13},
    {Variable::WepKey4, OctetString, Check::WepKey, 5, 13},
    {Variable::WepMode, Integer, Check::WepMode, 1, 3},
    {Variable::ActiveKey, Integer, Check::Range, 1, 4},
    {Variable::ReAuthEnabled, Integer, Check::Range, 1, 2},
    {Variable::ReAuthPeriod, Integer, Check::Range, 0, 65535},
    {Variable::RadiusServer1, IpAddress, Check::None, 0, 0},
    {Variable::RadiusServer2, IpAddress, Check::None, 0, 0},
    {Variable::RadiusServer3, IpAddress, Check::None, 0, 0},
    {Variable::RadiusServer4, IpAddress, Check::None, 0, 0},
    {Variable::RadiusSecret1, OctetString, Check::Range, 0, kText32},
    {Variable::RadiusSecret2, OctetString, Check::Range, 0, kText32},
    {Variable::RadiusSecret3, OctetString, Check::Range, 0, kText32},
    {Variable::RadiusSecret4, OctetString, Check::Range, 0, kText32},
    {Variable::WpaSupportStation, Integer, Check::Range, 1, 7},
    {Variable::WpaCipher, Integer, Check::Range, 1, 3},
    {Variable::PskAsciiMode, Integer, Check::Range, 1, 2},
    {Variable::PreSharedKey, OctetString, Check::PreSharedKey, 8, 64},
    {Variable::GroupKeyInterval, Integer, Check::Range, 0, 65535},
    {Variable::EthernetRxCounters, OctetString, Check::None, 64, 64},
    {Variable::EthernetTxCounters, OctetString, Check::None, 56, 56},
    {Variable::WirelessCounters, OctetString, Check::None, 56, 56},
    {Variable::RfTestCommand, Integer, Check::TestCommand, 1, 0x84},
    {Variable::RfTestParameters, OctetString, Check::PacketTestBlock, 10, 10},
    {Variable::BasebandRegisters, OctetString, Check::RegisterBlock, 8, 8},
    {Variable::TxPowerSettings, OctetString, Check::RegisterBlock, 3, 3},
    {Variable::RfTestCounters, OctetString, Check::None, 16, 16},
    {Variable::SynthesizerRegisters, OctetString, Check::RegisterBlock, 32, 32},
};

constexpr bool RulesFollowEnumeration() {
  for (std::size_t i = 0; i < std::size(kRules); ++i) {
    if (static_cast<std::size_t>(kRules[i].variable) != i) return false;
  }
  return std::size(kRules) == static_cast<std::size_t>(Variable::SynthesizerRegisters) + 1;
}
static_assert(RulesFollowEnumeration(), "one rule per variable, in enumeration order");

unsigned Little16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes[offset] | static_cast<unsigned>(bytes[offset + 1]) << 8;
}

std::uint32_t Little32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return Little16(bytes, offset) | static_cast<std::uint32_t>(Little16(bytes, offset + 2)) << 16;
}

bool IsHexDigit(std::uint8_t c) { return util::HexDigit(static_cast<char>(c)).has_value(); }

bool ValidPreSharedKey(const std::vector<std::uint8_t>& text) {
  if (text.size() == 64) {
    for (const std::uint8_t c : text) {
      if (!IsHexDigit(c)) return false;
    }
    return true;
  }
  if (text.size() < 8 || text.size() > 63) return false;
  for (const std::uint8_t c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

bool ValidPacketTestBlock(const std::vector<std::uint8_t>& block) {
  if (block.size() != 10) return false;
  const std::uint32_t packets = Little32(block, 4);
  const unsigned length = Little16(block, 8);
  return block[0] >= 1 && block[0] <= 14 && block[1] >= 1 && block[1] <= 4 && block[2] >= 1 &&
         block[2] <= 2 && packets >= 1 && packets <= 65535 && length >= 64 && length <= 1514;
}

// Storing needs 1 <= index <= count <= 128, except the record that empties the table (count 0,
// index 0). A fetch may name any index: outside the table it returns a zero address.
bool ValidAuthorizedRecord(const std::vector<std::uint8_t>& record) {
  if (record.size() != 12) return false;
  const unsigned operation = Little16(record, 0);
  const unsigned count = Little16(record, 2);
  const unsigned index = Little16(record, 4);
  if (operation == 2) return true;
  if (operation != 1) return false;
  if (count == 0) return index == 0;
  return count <= kAuthorizedTableSize && index >= 1 && index <= count;
}

}  // namespace

std::span<const VariableRule> AllRules() { return kRules; }

const VariableRule& RuleFor(mib::Variable variable) {
  return kRules[static_cast<std::size_t>(variable)];
}

ValueTag TagOf(ValueKind kind) {
  switch (kind) {
    case ValueKind::Integer:
      return ValueTag::Integer;
    case ValueKind::OctetString:
      return ValueTag::OctetString;
    case ValueKind::IpAddress:
      return ValueTag::IpAddress;
  }
  return ValueTag::Null;
}

long CheckWrite(mib::Variable variable, const SnmpValue& value) {
  if (mib::Info(variable).access == mib::Access::ReadOnly) return kNoSuchName;
  const VariableRule& rule = RuleFor(variable);
  if (value.tag != TagOf(rule.kind)) return kBadValue;
  if (rule.kind == ValueKind::IpAddress && value.bytes.size() != 4) return kBadValue;

  const long integer = value.integer;
  const auto length = static_cast<long>(value.bytes.size());
  bool valid = true;
  switch (rule.check) {
    case Check::None:
      break;
    case Check::Range: {
      const long measured = rule.kind == ValueKind::Integer ? integer : length;
      valid = measured >= rule.min && measured <= rule.max;
      break;
    }
    case Check::OperationMode:
      valid = integer == 1 || integer == 2 || integer == 3 || integer == 5;
      break;
    case Check::WepMode:
      valid = integer == 1 || integer == 3;
      break;
    case Check::WepKey:
      valid = length == 5 || length == 13;
      break;
    case Check::PreSharedKey:
      valid = ValidPreSharedKey(value.bytes);
      break;
    case Check::TestCommand:
      valid = (integer >= 1 && integer <= 4) || (integer >= 0x81 && integer <= 0x84);
      break;
    case Check::PacketTestBlock:
      valid = ValidPacketTestBlock(value.bytes);
      break;
    case Check::RegisterBlock:
      valid = length == rule.min && value.bytes[0] >= 1 && value.bytes[0] <= 3;
      break;
    case Check::AuthorizedRecord:
      valid = ValidAuthorizedRecord(value.bytes);
      break;
  }
  return valid ? kNoError : kBadValue;
}

}  // namespace kelvo::apsim
