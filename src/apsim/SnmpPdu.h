// SPDX-License-Identifier: GPL-2.0-or-later
// SNMPv1 messages (RFC 1157) as the simulated agents see them: decoded into plain values and
// encoded back with Net-SNMP's library, which does all of the BER work.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mib/Conversions.h"
#include "snmp/SnmpMessage.h"
#include "util/Parse.h"

namespace kelvo::apsim {

// ASN.1 tags of the values the simulator reads, writes or echoes.
using ValueTag = snmp::ValueTag;

// The PDU tags of SNMPv1.
enum class PduType : std::uint8_t {
  GetRequest = 0xA0,
  GetNextRequest = 0xA1,
  GetResponse = 0xA2,
  SetRequest = 0xA3,
  Trap = 0xA4,
};

// The SNMPv1 error status values (RFC 1157, 4.1.1).
enum ErrorStatus : long {
  kNoError = 0,
  kTooBig = 1,
  kNoSuchName = 2,
  kBadValue = 3,
  kReadOnly = 4,
  kGenErr = 5,
};

using ObjectId = std::vector<std::uint32_t>;

struct SnmpValue {
  ValueTag tag = ValueTag::Null;
  long integer = 0;                 // Integer, Counter32, Gauge32, TimeTicks
  std::vector<std::uint8_t> bytes;  // OctetString, Opaque, IpAddress (4 bytes, network order)
  ObjectId objectId;                // ObjectId

  static SnmpValue Null() { return {}; }
  static SnmpValue Integer(long value);
  static SnmpValue Text(std::string_view text);
  static SnmpValue Bytes(std::vector<std::uint8_t> bytes);
  static SnmpValue Ip(std::uint32_t address);  // host order in, network order stored

  bool operator==(const SnmpValue&) const = default;
};

struct VarBind {
  ObjectId name;
  SnmpValue value;
};

struct SnmpPdu {
  std::string community;
  PduType type = PduType::GetRequest;
  long requestId = 0;
  long errorStatus = 0;
  long errorIndex = 0;
  std::vector<VarBind> variables;
};

// Decodes one SNMPv1 message; nullopt for anything else (other versions, malformed packets).
std::optional<SnmpPdu> DecodePdu(std::span<const std::uint8_t> packet);

// Encodes an SNMPv1 message; nullopt when the library refuses it.
std::optional<std::vector<std::uint8_t>> EncodePdu(const SnmpPdu& pdu);

std::string FormatObjectId(const ObjectId& oid);
// Dotted numeric text, an optional leading dot allowed; nullopt for anything else.
std::optional<ObjectId> ParseObjectId(std::string_view text);

std::optional<std::uint32_t> ParseIpv4(std::string_view text);  // host order
std::string FormatIpv4(std::uint32_t address);

using mib::HexText;  // upper case, no separators
using util::ParseHexBytes;

// A value as the control channel and the request log show it: a type letter (i INTEGER,
// s OCTET STRING, a IpAddress, n NULL, o anything else) and the value text (decimal, upper-case
// hex, dotted, "-", or hex of the value's content).
struct ValueText {
  char type;
  std::string text;
};
ValueText DescribeValue(const SnmpValue& value);

}  // namespace kelvo::apsim
