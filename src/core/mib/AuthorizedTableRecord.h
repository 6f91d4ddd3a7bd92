// SPDX-License-Identifier: GPL-2.0-or-later
// The 12-byte record that stores or fetches one entry of an access point's authorised MAC
// table: operation, count, index (16 bits each, least significant byte first), address.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace kelvo::snmp {
class AgentSession;
}

namespace kelvo::mib {

struct AuthorizedTableRecord {
  static constexpr std::uint16_t kStore = 1;
  static constexpr std::uint16_t kFetch = 2;
  static constexpr std::size_t kSize = 12;

  std::uint16_t operation = 0;
  std::uint16_t count = 0;
  std::uint16_t index = 0;
  std::array<std::uint8_t, 6> address{};

  std::array<std::uint8_t, kSize> Encode() const;
  // Reads the fields present in the bytes; fields the bytes do not reach keep their values.
  void DecodeInto(std::span<const std::uint8_t> bytes);
};

// Sends one record to the access point (SetRequest, write community, 10000 ms) and returns
// the reply's count and address through the outputs. On any failure the outputs keep what
// the caller put in them; nothing is reported. The outputs are taken whatever the reply's
// error status; the result says whether a whole record came back with status 0 (a record cut
// short still gives what it holds, but a table built from it would hold made-up addresses).
bool ExchangeAuthorizedRecord(snmp::AgentSession& session, const std::string& host,
                              const AuthorizedTableRecord& request, std::uint16_t& count,
                              std::array<std::uint8_t, 6>& address);

}  // namespace kelvo::mib
