// SPDX-License-Identifier: GPL-2.0-or-later
// The message object of the SNMP component: reused for every request, and holding the last
// reply once one has arrived.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo::snmp {

// The PDU tag less 0x80.
enum class PduType : int { GetRequest = 32, GetResponse = 34, SetRequest = 35 };

// The type code of a variable that is written.
enum class SetType : int { None = 0, Integer = 1, OctetString = 2, IpAddress = 4 };

// ASN.1 tags of the values a reply may carry.
enum class ValueTag : std::uint8_t {
  None = 0x00,  // no value (outgoing GetRequest variable)
  Integer = 0x02,
  OctetString = 0x04,
  Null = 0x05,
  ObjectId = 0x06,
  IpAddress = 0x40,
  Counter32 = 0x41,
  Gauge32 = 0x42,
  TimeTicks = 0x43,
  Opaque = 0x44,
  Counter64 = 0x46,
};

// Parses dotted numeric object identifier text ("1.3.6.1.4.1.15177.1.2.1.10.0"). An optional
// leading dot is allowed; every sub-identifier must fit 32 bits; at least two are needed.
std::optional<std::vector<std::uint32_t>> ParseObjectId(std::string_view text);

class SnmpVariable {
 public:
  // A variable for a GetRequest; nullopt when the identifier is not a numeric OID.
  static std::optional<SnmpVariable> ForGet(std::string_view oid);
  // A typed variable for a SetRequest, valued by text (integers in decimal, addresses dotted)
  // or by raw bytes (octet strings only). nullopt when identifier, type or value is invalid.
  static std::optional<SnmpVariable> ForSet(std::string_view oid, SetType type,
                                            std::string_view text);
  static std::optional<SnmpVariable> ForSetBytes(std::string_view oid,
                                                 std::vector<std::uint8_t> bytes);
  // A variable as decoded from a reply.
  SnmpVariable(std::string oid, ValueTag tag, std::string text, std::vector<std::uint8_t> bytes);

  const std::string& Oid() const { return oid_; }
  const std::vector<std::uint32_t>& OidParts() const { return oidParts_; }
  SetType Type() const { return setType_; }
  ValueTag Tag() const { return tag_; }
  // Integers and counters in decimal, IpAddress dotted, octet strings as their characters,
  // object identifiers dotted, NULL as "".
  const std::string& Text() const { return text_; }
  // The content of an octet string (or opaque value), or the four bytes of an IpAddress.
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  bool HasBytes() const;
  // For an outgoing INTEGER: the value to encode.
  long IntegerValue() const { return integer_; }

 private:
  SnmpVariable() = default;

  std::string oid_;
  std::vector<std::uint32_t> oidParts_;
  SetType setType_ = SetType::None;
  ValueTag tag_ = ValueTag::None;
  std::string text_;
  std::vector<std::uint8_t> bytes_;
  long integer_ = 0;
};

class SnmpMessage {
 public:
  // Drops all variables, the error status and index.
  void Clear();

  PduType Type() const { return type_; }
  void SetType(PduType type) { type_ = type; }

  const std::string& Community() const { return community_; }
  void SetCommunity(std::string community) { community_ = std::move(community); }

  void Add(SnmpVariable variable) { variables_.push_back(std::move(variable)); }
  std::size_t Count() const { return variables_.size(); }
  // 1-based, in the order added (or received); nullptr outside the list.
  const SnmpVariable* Item(std::size_t position) const;
  const std::vector<SnmpVariable>& Variables() const { return variables_; }

  // Non-zero when the agent refused the request.
  int ErrorStatus() const { return errorStatus_; }
  int ErrorIndex() const { return errorIndex_; }
  void SetError(int status, int index) {
    errorStatus_ = status;
    errorIndex_ = index;
  }

 private:
  PduType type_ = PduType::GetRequest;
  std::string community_;
  std::vector<SnmpVariable> variables_;
  int errorStatus_ = 0;
  int errorIndex_ = 0;
};

}  // namespace kelvo::snmp
