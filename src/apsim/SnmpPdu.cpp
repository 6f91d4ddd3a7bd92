// SPDX-License-Identifier: GPL-2.0-or-later
#include "SnmpPdu.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "snmp/NetSnmpLibrary.h"

namespace kelvo::apsim {
namespace {

struct PduDeleter {
  void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduPointer = std::unique_ptr<netsnmp_pdu, PduDeleter>;

struct FreeDeleter {
  void operator()(u_char* buffer) const { std::free(buffer); }
};

// The session only serves as the template that snmp_parse and snmp_build read the version from.
netsnmp_session Version1Session() {
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_1;
  return session;
}

SnmpValue ValueOf(const netsnmp_variable_list& variable) {
  SnmpValue value;
  value.tag = static_cast<ValueTag>(variable.type);
  switch (variable.type) {
    case ASN_INTEGER:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
      value.integer = variable.val.integer != nullptr ? *variable.val.integer : 0;
      break;
    case ASN_OCTET_STR:
    case ASN_OPAQUE:
    case ASN_IPADDRESS:
      if (variable.val.string != nullptr) {
        value.bytes.assign(variable.val.string, variable.val.string + variable.val_len);
      }
      break;
    case ASN_OBJECT_ID:
      if (variable.val.objid != nullptr) {
        const std::size_t count = variable.val_len / sizeof(oid);
        for (std::size_t i = 0; i < count; ++i) {
          value.objectId.push_back(static_cast<std::uint32_t>(variable.val.objid[i]));
        }
      }
      break;
    case ASN_NULL:
      break;
    default:
      // Types SNMPv1 does not define (Counter64, floats) are kept as their raw content.
      if (variable.val.string != nullptr) {
        value.bytes.assign(variable.val.string, variable.val.string + variable.val_len);
      }
      break;
  }
  return value;
}

bool AddVariable(netsnmp_pdu* pdu, const VarBind& bind) {
  std::vector<oid> name(bind.name.begin(), bind.name.end());
  const auto type = static_cast<u_char>(bind.value.tag);
  const SnmpValue& value = bind.value;
  netsnmp_variable_list* added = nullptr;
  switch (value.tag) {
    case ValueTag::Integer:
    case ValueTag::Counter32:
    case ValueTag::Gauge32:
    case ValueTag::TimeTicks: {
      const long integer = value.integer;
      added = snmp_pdu_add_variable(pdu, name.data(), name.size(), type, &integer, sizeof integer);
      break;
    }
    case ValueTag::ObjectId: {
      const std::vector<oid> parts(value.objectId.begin(), value.objectId.end());
      added = snmp_pdu_add_variable(pdu, name.data(), name.size(), type, parts.data(),
                                    parts.size() * sizeof(oid));
      break;
    }
    case ValueTag::Null:
      added = snmp_pdu_add_variable(pdu, name.data(), name.size(), type, nullptr, 0);
      break;
    default:
      added = snmp_pdu_add_variable(pdu, name.data(), name.size(), type, value.bytes.data(),
                                    value.bytes.size());
      break;
  }
  return added != nullptr;
}

void AppendHex32(std::string& text, std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
}

}  // namespace

SnmpValue SnmpValue::Integer(long value) {
  SnmpValue result;
  result.tag = ValueTag::Integer;
  result.integer = value;
  return result;
}

SnmpValue SnmpValue::Text(std::string_view text) {
  return Bytes(std::vector<std::uint8_t>(text.begin(), text.end()));
}

SnmpValue SnmpValue::Bytes(std::vector<std::uint8_t> bytes) {
  SnmpValue result;
  result.tag = ValueTag::OctetString;
  result.bytes = std::move(bytes);
  return result;
}

SnmpValue SnmpValue::Ip(std::uint32_t address) {
  SnmpValue result;
  result.tag = ValueTag::IpAddress;
  result.bytes = {static_cast<std::uint8_t>(address >> 24),
                  static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
                  static_cast<std::uint8_t>(address)};
  return result;
}

std::optional<SnmpPdu> DecodePdu(std::span<const std::uint8_t> packet) {
  if (!snmp::EnsureNetSnmpLibrary() || packet.empty()) return std::nullopt;
  netsnmp_session session = Version1Session();
  PduPointer pdu(snmp_pdu_create(SNMP_MSG_GET));
  if (!pdu) return std::nullopt;
  // snmp_parse wants a writable buffer.
  std::vector<u_char> data(packet.begin(), packet.end());
  if (snmp_parse(nullptr, &session, pdu.get(), data.data(), data.size()) != SNMPERR_SUCCESS ||
      pdu->version != SNMP_VERSION_1) {
    return std::nullopt;
  }
  SnmpPdu result;
  if (pdu->community != nullptr) {
    result.community.assign(reinterpret_cast<const char*>(pdu->community), pdu->community_len);
  }
  result.type = static_cast<PduType>(pdu->command);
  result.requestId = pdu->reqid;
  result.errorStatus = pdu->errstat;
  result.errorIndex = pdu->errindex;
  for (const netsnmp_variable_list* variable = pdu->variables; variable != nullptr;
       variable = variable->next_variable) {
    VarBind bind;
    bind.name.assign(variable->name, variable->name + variable->name_length);
    bind.value = ValueOf(*variable);
    result.variables.push_back(std::move(bind));
  }
  return result;
}

std::optional<std::vector<std::uint8_t>> EncodePdu(const SnmpPdu& pdu) {
  if (!snmp::EnsureNetSnmpLibrary()) return std::nullopt;
  netsnmp_session session = Version1Session();
  PduPointer message(snmp_pdu_create(static_cast<int>(pdu.type)));
  if (!message) return std::nullopt;
  message->version = SNMP_VERSION_1;
  message->reqid = pdu.requestId;
  message->errstat = pdu.errorStatus;
  message->errindex = pdu.errorIndex;
  // The library frees the community with the PDU; an empty one still needs a buffer.
  message->community = static_cast<u_char*>(std::malloc(pdu.community.size() + 1));
  if (message->community == nullptr) return std::nullopt;
  std::memcpy(message->community, pdu.community.data(), pdu.community.size());
  message->community_len = pdu.community.size();
  for (const VarBind& bind : pdu.variables) {
    if (!AddVariable(message.get(), bind)) return std::nullopt;
  }

  // Reverse encoding is on: the library fills the buffer from its end, growing it as needed,
  // and the message is the last `offset` bytes.
  std::size_t length = 1024;
  std::unique_ptr<u_char, FreeDeleter> buffer(static_cast<u_char*>(std::malloc(length)));
  if (!buffer) return std::nullopt;
  u_char* raw = buffer.release();
  std::size_t offset = 0;
  const int status = snmp_build(&raw, &length, &offset, &session, message.get());
  buffer.reset(raw);
  if (status != SNMPERR_SUCCESS || offset > length) return std::nullopt;
  const u_char* begin = raw + (length - offset);
  return std::vector<std::uint8_t>(begin, begin + offset);
}

std::string FormatObjectId(const ObjectId& oid) {
  std::string text;
  for (std::size_t i = 0; i < oid.size(); ++i) {
    if (i > 0) text += '.';
    text += std::to_string(oid[i]);
  }
  return text;
}

std::optional<ObjectId> ParseObjectId(std::string_view text) {
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  ObjectId result;
  while (!text.empty()) {
    const std::size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    const auto value = util::ParseInteger<std::uint32_t>(part);
    if (!value) return std::nullopt;
    result.push_back(*value);
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
    if (text.empty()) return std::nullopt;
  }
  if (result.size() < 2) return std::nullopt;
  return result;
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  const std::string copy(text);
  in_addr address{};
  if (::inet_pton(AF_INET, copy.c_str(), &address) != 1) return std::nullopt;
  return ntohl(address.s_addr);
}

std::string FormatIpv4(std::uint32_t address) {
  return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
         std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

ValueText DescribeValue(const SnmpValue& value) {
  switch (value.tag) {
    case ValueTag::Integer:
      return {'i', std::to_string(value.integer)};
    case ValueTag::OctetString:
      return {'s', HexText(value.bytes)};
    case ValueTag::IpAddress:
      if (value.bytes.size() == 4) {
        return {'a', FormatIpv4(static_cast<std::uint32_t>(value.bytes[0]) << 24 |
                                static_cast<std::uint32_t>(value.bytes[1]) << 16 |
                                static_cast<std::uint32_t>(value.bytes[2]) << 8 | value.bytes[3])};
      }
      return {'o', HexText(value.bytes)};
    case ValueTag::Null:
      return {'n', "-"};
    case ValueTag::Counter32:
    case ValueTag::Gauge32:
    case ValueTag::TimeTicks: {
      std::string text;
      AppendHex32(text, static_cast<std::uint32_t>(value.integer));
      return {'o', text};
    }
    case ValueTag::ObjectId: {
      std::string text;
      for (const std::uint32_t part : value.objectId) AppendHex32(text, part);
      return {'o', text};
    }
    default:
      return {'o', HexText(value.bytes)};
  }
}

}  // namespace kelvo::apsim
