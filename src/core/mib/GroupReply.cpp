// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/GroupReply.h"

#include "mib/Conversions.h"
#include "snmp/AgentSession.h"

namespace kelvo::mib {

std::optional<std::string> GroupReply::Text(Variable variable) const {
  const std::size_t position = ReadPosition(group_, variable);
  if (position == 0) return std::nullopt;
  return session_.ResponseValueText(position);
}

std::optional<std::vector<std::uint8_t>> GroupReply::Bytes(Variable variable) const {
  const std::size_t position = ReadPosition(group_, variable);
  if (position == 0) return std::nullopt;
  return session_.ResponseValueBytes(position);
}

std::optional<long> GroupReply::Integer(Variable variable) const {
  const auto text = Text(variable);
  if (!text) return std::nullopt;
  return LeadingInteger(*text);
}

}  // namespace kelvo::mib
