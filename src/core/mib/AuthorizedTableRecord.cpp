// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/AuthorizedTableRecord.h"

#include <algorithm>

#include "mib/MibVariables.h"
#include "snmp/AgentSession.h"

namespace kelvo::mib {
namespace {

constexpr int kExchangeTimeoutMs = 10000;

void Put16(std::array<std::uint8_t, AuthorizedTableRecord::kSize>& bytes, std::size_t at,
           std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A 16-bit field at `at`, from the bytes that are there.
void Get16(std::span<const std::uint8_t> bytes, std::size_t at, std::uint16_t& value) {
  if (bytes.size() > at) value = static_cast<std::uint16_t>((value & 0xFF00) | bytes[at]);
  if (bytes.size() > at + 1) {
    value = static_cast<std::uint16_t>((value & 0x00FF) | (bytes[at + 1] << 8));
  }
}

}  // namespace

std::array<std::uint8_t, AuthorizedTableRecord::kSize> AuthorizedTableRecord::Encode() const {
  std::array<std::uint8_t, kSize> bytes{};
  Put16(bytes, 0, operation);
  Put16(bytes, 2, count);
  Put16(bytes, 4, index);
  std::copy(address.begin(), address.end(), bytes.begin() + 6);
  return bytes;
}

void AuthorizedTableRecord::DecodeInto(std::span<const std::uint8_t> bytes) {
  Get16(bytes, 0, operation);
  Get16(bytes, 2, count);
  Get16(bytes, 4, index);
  for (std::size_t i = 0; i < address.size() && 6 + i < bytes.size(); ++i) {
    address[i] = bytes[6 + i];
  }
}

bool ExchangeAuthorizedRecord(snmp::AgentSession& session, const std::string& host,
                              const AuthorizedTableRecord& request, std::uint16_t& count,
                              std::array<std::uint8_t, 6>& address) {
  const auto bytes = request.Encode();
  session.BeginRequest(snmp::PduType::SetRequest, session.WriteCommunity());
  auto variable =
      snmp::SnmpVariable::ForSetBytes(FullOid(Variable::AuthorizedTableEntry),
                                      std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  session.Component().Message().Add(std::move(*variable));
  if (!session.SendBuilt(host, kExchangeTimeoutMs)) return false;
  const bool accepted = session.Component().Message().ErrorStatus() == 0;
  const auto reply = session.ResponseValueBytes(1);
  if (!reply) return false;
  AuthorizedTableRecord decoded;
  decoded.count = count;
  decoded.address = address;
  decoded.DecodeInto(*reply);
  count = decoded.count;
  address = decoded.address;
  return accepted && reply->size() >= AuthorizedTableRecord::kSize;
}

}  // namespace kelvo::mib
