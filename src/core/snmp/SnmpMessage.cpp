// SPDX-License-Identifier: GPL-2.0-or-later
#include "snmp/SnmpMessage.h"

#include <arpa/inet.h>

#include <cstdint>

#include "util/Parse.h"

namespace kelvo::snmp {
namespace {

std::optional<std::vector<std::uint8_t>> ParseIpv4(std::string_view text) {
  in_addr address{};
  const std::string copy(text);
  if (::inet_pton(AF_INET, copy.c_str(), &address) != 1) return std::nullopt;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address.s_addr);
  return std::vector<std::uint8_t>(bytes, bytes + 4);
}

}  // namespace

std::optional<std::vector<std::uint32_t>> ParseObjectId(std::string_view text) {
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  std::vector<std::uint32_t> parts;
  while (!text.empty()) {
    const auto dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    const auto value = util::ParseInteger<std::uint32_t>(part);
    if (!value) return std::nullopt;
    parts.push_back(*value);
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
    if (text.empty()) return std::nullopt;  // trailing dot
  }
  // Net-SNMP's limit on sub-identifiers is 128.
  if (parts.size() < 2 || parts.size() > 128) return std::nullopt;
  return parts;
}

std::optional<SnmpVariable> SnmpVariable::ForGet(std::string_view oid) {
  auto parts = ParseObjectId(oid);
  if (!parts) return std::nullopt;
  SnmpVariable variable;
  variable.oid_ = std::string(oid);
  variable.oidParts_ = std::move(*parts);
  return variable;
}

std::optional<SnmpVariable> SnmpVariable::ForSet(std::string_view oid, SetType type,
                                                 std::string_view text) {
  auto variable = ForGet(oid);
  if (!variable) return std::nullopt;
  variable->setType_ = type;
  variable->text_ = std::string(text);
  switch (type) {
    case SetType::Integer: {
      // SNMPv1 INTEGER values are 32-bit; decimal text with an optional sign and nothing else.
      const auto value = util::ParseInteger<std::int32_t>(text, util::IntegerForm::OptionalPlus);
      if (!value) return std::nullopt;
      variable->tag_ = ValueTag::Integer;
      variable->integer_ = *value;
      return variable;
    }
    case SetType::OctetString:
      variable->tag_ = ValueTag::OctetString;
      variable->bytes_.assign(text.begin(), text.end());
      return variable;
    case SetType::IpAddress: {
      auto bytes = ParseIpv4(text);
      if (!bytes) return std::nullopt;
      variable->tag_ = ValueTag::IpAddress;
      variable->bytes_ = std::move(*bytes);
      return variable;
    }
    case SetType::None:
      break;
  }
  return std::nullopt;
}

std::optional<SnmpVariable> SnmpVariable::ForSetBytes(std::string_view oid,
                                                      std::vector<std::uint8_t> bytes) {
  auto variable = ForGet(oid);
  if (!variable) return std::nullopt;
  variable->setType_ = SetType::OctetString;
  variable->tag_ = ValueTag::OctetString;
  variable->bytes_ = std::move(bytes);
  return variable;
}

SnmpVariable::SnmpVariable(std::string oid, ValueTag tag, std::string text,
                           std::vector<std::uint8_t> bytes)
    : oid_(std::move(oid)), tag_(tag), text_(std::move(text)), bytes_(std::move(bytes)) {
  if (auto parts = ParseObjectId(oid_)) oidParts_ = std::move(*parts);
}

bool SnmpVariable::HasBytes() const {
  return tag_ == ValueTag::OctetString || tag_ == ValueTag::Opaque || tag_ == ValueTag::IpAddress;
}

void SnmpMessage::Clear() {
  variables_.clear();
  errorStatus_ = 0;
  errorIndex_ = 0;
}

const SnmpVariable* SnmpMessage::Item(std::size_t position) const {
  if (position == 0 || position > variables_.size()) return nullptr;
  return &variables_[position - 1];
}

}  // namespace kelvo::snmp
