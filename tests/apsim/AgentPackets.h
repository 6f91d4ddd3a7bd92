// SPDX-License-Identifier: GPL-2.0-or-later
// SNMPv1 requests and replies for the simulator's tests, built and taken apart with Net-SNMP
// directly, independently of the simulator's own codec.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvo::test {

struct Binding {
  std::string oid;    // numeric, no leading dot
  std::uint8_t type;  // ASN.1 tag: 0x02 INTEGER, 0x04 OCTET STRING, 0x05 NULL, 0x40 IpAddress
  long integer = 0;
  std::vector<std::uint8_t> bytes;  // octet string content, or the 4 address bytes

  std::string Text() const { return {bytes.begin(), bytes.end()}; }
};

// Variables by name of the variable table (or a numeric OID when no name matches).
Binding Null(const std::string& variable);
Binding Int(const std::string& variable, long value);
Binding Text(const std::string& variable, const std::string& value);
Binding Raw(const std::string& variable, std::vector<std::uint8_t> value);
Binding Ip(const std::string& variable, std::uint8_t a, std::uint8_t b, std::uint8_t c,
           std::uint8_t d);

struct Message {
  int command = 0;  // 0xA0 get, 0xA2 response, 0xA3 set
  std::string community;
  long requestId = 0;
  long errorStatus = 0;
  long errorIndex = 0;
  std::vector<Binding> variables;
};

std::vector<std::uint8_t> GetRequest(const std::string& community, std::vector<Binding> variables,
                                     long requestId = 4711);
std::vector<std::uint8_t> SetRequest(const std::string& community, std::vector<Binding> variables,
                                     long requestId = 4712);
std::optional<Message> ParseMessage(std::span<const std::uint8_t> packet);

// The 12-byte authorised-table record: little-endian operation, count, index, then the address.
std::vector<std::uint8_t> AuthorizedRecord(unsigned operation, unsigned count, unsigned index,
                                           std::vector<std::uint8_t> address = {0, 0, 0, 0, 0, 0});

}  // namespace kelvo::test
