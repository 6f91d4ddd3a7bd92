// SPDX-License-Identifier: GPL-2.0-or-later
#include "AgentPackets.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "mib/MibVariables.h"
#include "snmp/NetSnmpLibrary.h"

namespace kelvo::test {
namespace {

std::string OidOf(const std::string& variable) {
  const auto known = mib::FindByName(variable);
  return known ? mib::FullOid(*known) : variable;
}

std::vector<oid> OidParts(const std::string& text) {
  std::vector<oid> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, '.')) parts.push_back(std::stoul(part));
  return parts;
}

netsnmp_session Session() {
  snmp::EnsureNetSnmpLibrary();
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_1;
  return session;
}

std::vector<std::uint8_t> Build(int command, const std::string& community,
                                const std::vector<Binding>& variables, long requestId) {
  netsnmp_session session = Session();
  netsnmp_pdu* pdu = snmp_pdu_create(command);
  pdu->version = SNMP_VERSION_1;
  pdu->reqid = requestId;
  pdu->community = static_cast<u_char*>(std::malloc(community.size() + 1));
  std::memcpy(pdu->community, community.data(), community.size());
  pdu->community_len = community.size();
  for (const Binding& binding : variables) {
    const auto name = OidParts(binding.oid);
    if (binding.type == ASN_INTEGER) {
      snmp_pdu_add_variable(pdu, name.data(), name.size(), ASN_INTEGER, &binding.integer,
                            sizeof binding.integer);
    } else {
      snmp_pdu_add_variable(pdu, name.data(), name.size(), binding.type, binding.bytes.data(),
                            binding.bytes.size());
    }
  }
  std::size_t length = 256;
  std::size_t offset = 0;
  auto* buffer = static_cast<u_char*>(std::malloc(length));
  const int status = snmp_build(&buffer, &length, &offset, &session, pdu);
  std::vector<std::uint8_t> packet(buffer + length - offset, buffer + length);
  std::free(buffer);
  snmp_free_pdu(pdu);
  if (status != SNMPERR_SUCCESS) throw std::runtime_error("snmp_build failed");
  return packet;
}

}  // namespace

Binding Null(const std::string& variable) { return {OidOf(variable), ASN_NULL, 0, {}}; }
Binding Int(const std::string& variable, long value) {
  return {OidOf(variable), ASN_INTEGER, value, {}};
}
Binding Text(const std::string& variable, const std::string& value) {
  return {OidOf(variable), ASN_OCTET_STR, 0, {value.begin(), value.end()}};
}
Binding Raw(const std::string& variable, std::vector<std::uint8_t> value) {
  return {OidOf(variable), ASN_OCTET_STR, 0, std::move(value)};
}
Binding Ip(const std::string& variable, std::uint8_t a, std::uint8_t b, std::uint8_t c,
           std::uint8_t d) {
  return {OidOf(variable), ASN_IPADDRESS, 0, {a, b, c, d}};
}

std::vector<std::uint8_t> GetRequest(const std::string& community, std::vector<Binding> variables,
                                     long requestId) {
  return Build(SNMP_MSG_GET, community, variables, requestId);
}

std::vector<std::uint8_t> SetRequest(const std::string& community, std::vector<Binding> variables,
                                     long requestId) {
  return Build(SNMP_MSG_SET, community, variables, requestId);
}

std::optional<Message> ParseMessage(std::span<const std::uint8_t> packet) {
  netsnmp_session session = Session();
  netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
  std::vector<u_char> data(packet.begin(), packet.end());
  if (snmp_parse(nullptr, &session, pdu, data.data(), data.size()) != SNMPERR_SUCCESS) {
    snmp_free_pdu(pdu);
    return std::nullopt;
  }
  Message message;
  message.command = pdu->command;
  message.community.assign(reinterpret_cast<const char*>(pdu->community), pdu->community_len);
  message.requestId = pdu->reqid;
  message.errorStatus = pdu->errstat;
  message.errorIndex = pdu->errindex;
  for (auto* variable = pdu->variables; variable != nullptr; variable = variable->next_variable) {
    Binding binding;
    std::string name;
    for (std::size_t i = 0; i < variable->name_length; ++i) {
      name += (i ? "." : "") + std::to_string(variable->name[i]);
    }
    binding.oid = name;
    binding.type = variable->type;
    if (variable->type == ASN_INTEGER) {
      binding.integer = *variable->val.integer;
    } else if (variable->val_len > 0 && variable->type != ASN_NULL) {
      binding.bytes.assign(variable->val.string, variable->val.string + variable->val_len);
    }
    message.variables.push_back(std::move(binding));
  }
  snmp_free_pdu(pdu);
  return message;
}

std::vector<std::uint8_t> AuthorizedRecord(unsigned operation, unsigned count, unsigned index,
                                           std::vector<std::uint8_t> address) {
  // Sized up front: GCC 12 misreads an insert after a six-byte initialiser at -O2.
  std::vector<std::uint8_t> record(6 + address.size());
  const unsigned fields[] = {operation, count, index};
  for (std::size_t i = 0; i < 3; ++i) {
    record[2 * i] = static_cast<std::uint8_t>(fields[i]);
    record[2 * i + 1] = static_cast<std::uint8_t>(fields[i] >> 8);
  }
  std::copy(address.begin(), address.end(), record.begin() + 6);
  return record;
}

}  // namespace kelvo::test
