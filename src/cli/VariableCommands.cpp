// SPDX-License-Identifier: GPL-2.0-or-later
#include "VariableCommands.h"

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "mib/Conversions.h"
#include "mib/MibVariables.h"
#include "snmp/AgentSession.h"
#include "snmp/SnmpComponent.h"
#include "ui/Controls.h"
#include "util/Parse.h"

namespace kelvo::cli {
namespace {

using mib::Access;
using mib::Kind;
using mib::VariableInfo;
using snmp::AgentSession;
using snmp::SetType;
using snmp::SnmpVariable;
using snmp::ValueTag;

constexpr int kRequestTimeoutMs = 2000;

std::string_view TypeName(SetType type) {
  switch (type) {
    case SetType::Integer:
      return "INTEGER";
    case SetType::OctetString:
      return "OCTET STRING";
    case SetType::IpAddress:
      return "IpAddress";
    case SetType::None:
      break;
  }
  return "NULL";
}

std::string_view AccessName(Access access) {
  switch (access) {
    case Access::ReadWrite:
      return "read-write";
    case Access::ReadOnly:
      return "read-only";
    case Access::WriteOnly:
      return "write-only";
  }
  return {};
}

std::string_view KindName(Kind kind) {
  switch (kind) {
    case Kind::Integer:
      return "integer";
    case Kind::Text:
      return "text";
    case Kind::RawBytes:
      return "hex";
    case Kind::Address:
      return "address";
    case Kind::Block:
      return "block";
  }
  return {};
}

// set's TYPE letters: i INTEGER, s text, x hex bytes, a IpAddress; 0 for any other word.
char TypeLetter(std::string_view word) {
  if (word.size() == 1 && std::string_view("isxa").find(word[0]) != std::string_view::npos) {
    return word[0];
  }
  return 0;
}

SetType TypeOfLetter(char letter) {
  switch (letter) {
    case 'i':
      return SetType::Integer;
    case 'a':
      return SetType::IpAddress;
    default:
      return SetType::OctetString;
  }
}

// The letter a variable's own kind is written with.
char LetterOfKind(Kind kind) {
  switch (kind) {
    case Kind::Integer:
      return 'i';
    case Kind::Text:
      return 's';
    case Kind::Address:
      return 'a';
    case Kind::RawBytes:
    case Kind::Block:
      break;
  }
  return 'x';
}

std::string_view ValueForm(char letter) {
  switch (letter) {
    case 'i':
      return "a 32-bit decimal integer";
    case 'a':
      return "a dotted IPv4 address";
    case 'x':
      return "hex bytes";
    default:
      return "text";
  }
}

// Hex digits, two a byte, with an optional 0x; ':' or '-' may stand between byte pairs, as in
// a MAC address written 00:11:22:AA:BB:CC.
std::optional<std::vector<std::uint8_t>> ParseHexValue(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.empty()) return std::vector<std::uint8_t>{};
  std::string digits;
  for (;;) {
    const std::size_t end = text.find_first_of(":-");
    const std::string_view group = text.substr(0, end);
    if (group.empty() || group.size() % 2 != 0) return std::nullopt;
    digits += group;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return util::ParseHexBytes(digits);
}

// The request variable for a value in the form its letter names; nullopt when it does not fit.
std::optional<SnmpVariable> BuildSetVariable(std::string_view oid, char letter,
                                             std::string_view value) {
  if (letter == 'x') {
    auto bytes = ParseHexValue(value);
    if (!bytes) return std::nullopt;
    return SnmpVariable::ForSetBytes(oid, std::move(*bytes));
  }
  return SnmpVariable::ForSet(oid, TypeOfLetter(letter), value);
}

// A device text (Latin-1) as UTF-8 that stays on its line: control bytes become \xHH and the
// backslash \\, so the escapes read back unambiguously.
std::string EscapedText(std::span<const std::uint8_t> bytes) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string latin1;
  for (const std::uint8_t byte : bytes) {
    if (byte == '\\') {
      latin1 += "\\\\";
    } else if (byte < 0x20 || byte == 0x7F) {
      latin1 += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    } else {
      latin1 += static_cast<char>(byte);
    }
  }
  return ui::Utf8FromLatin1(latin1);
}

// A value in its variable's kind when the table knows it: texts as text, byte strings as hex
// (with 0x when asked by OID, as for unknown variables). Otherwise INTEGER in decimal, IpAddress
// dotted, OCTET STRING as text when printable, else 0x and hex.
std::string FormatValue(const SnmpVariable& variable, bool askedByName) {
  if (variable.Tag() != ValueTag::OctetString && variable.Tag() != ValueTag::Opaque) {
    return variable.Text();
  }
  const std::string hex = mib::HexText(variable.Bytes());
  if (const auto known = mib::FindByOid(variable.Oid())) {
    switch (mib::Info(*known).kind) {
      case Kind::Text:
        return EscapedText(variable.Bytes());
      case Kind::RawBytes:
      case Kind::Block:
        return askedByName ? hex : "0x" + hex;
      case Kind::Integer:
      case Kind::Address:
        break;
    }
  }
  for (const std::uint8_t byte : variable.Bytes()) {
    if (byte < 0x20 || byte > 0x7E) return "0x" + hex;
  }
  return std::string(variable.Bytes().begin(), variable.Bytes().end());
}

std::string UnknownVariable(std::string_view word) {
  return "unknown variable " + std::string(word) + " (kelvo-cli vars lists the names)";
}

// One request variable: its OID, and its table name when it was asked by name.
struct Asked {
  std::string oid;
  std::string_view name;
};

// Sends the request built in the session's message and prints the reply, one variable a line;
// a refusal prints `refusal` with the agent's error status and index.
int SendAndPrint(AgentSession& agent, const std::string& host, std::string_view refusal,
                 const std::vector<Asked>& asked) {
  if (!agent.SendBuilt(host, kRequestTimeoutMs)) {
    std::cerr << snmp::messages::kTimeout << '\n';
    return kExitAgent;
  }
  const auto& reply = agent.Component().Message();
  if (reply.ErrorStatus() != 0) {
    std::cerr << refusal << " (error status " << reply.ErrorStatus() << ", index "
              << reply.ErrorIndex() << ")\n";
    return kExitAgent;
  }
  const auto& variables = reply.Variables();
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const SnmpVariable& variable = variables[i];
    const bool byName =
        i < asked.size() && !asked[i].name.empty() && asked[i].oid == variable.Oid();
    std::cout << (byName ? std::string(asked[i].name) : variable.Oid()) << '\t'
              << FormatValue(variable, byName) << '\n';
  }
  return kExitOk;
}

}  // namespace

int RunVarsCommand(const std::vector<std::string_view>& args) {
  if (!args.empty()) return Usage("vars takes no arguments");
  for (const VariableInfo& info : mib::AllVariables()) {
    std::cout << info.name << '\t' << mib::FullOid(info.variable) << '\t' << TypeName(info.type)
              << '\t' << AccessName(info.access) << '\t' << KindName(info.kind) << '\t'
              << (info.secret ? "secret" : "") << '\n';
  }
  return kExitOk;
}

int RunGetCommand(std::uint16_t port, std::vector<std::string_view> args) {
  const auto [community, problem] = TakeCommunity(args, snmp::kReadCommunity);
  if (!problem.empty()) return Usage(problem);
  if (args.size() < 2) return Usage("get needs a host and at least one variable");
  std::vector<Asked> asked;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (snmp::ParseObjectId(args[i])) {
      asked.push_back({std::string(args[i]), {}});
    } else if (const auto variable = mib::FindByName(args[i])) {
      asked.push_back({mib::FullOid(*variable), mib::Info(*variable).name});
    } else {
      return Usage(UnknownVariable(args[i]));
    }
  }
  Session session;
  if (!OpenSession(session, port)) return kExitAgent;
  AgentSession& agent = *session.agent;
  agent.BeginRequest(snmp::PduType::GetRequest, community);
  for (const Asked& variable : asked) agent.AddGetVariable(variable.oid);
  return SendAndPrint(agent, std::string(args[0]), snmp::messages::kGetError, asked);
}

int RunSetCommand(std::uint16_t port, std::vector<std::string_view> args) {
  const auto [community, problem] = TakeCommunity(args, "");
  if (!problem.empty()) return Usage(problem);
  if (args.size() != 3 && args.size() != 4) return Usage("set needs HOST VAR [TYPE] VALUE");
  const std::string host(args[0]);
  const std::string_view value = args.back();
  // 0 when no TYPE was given.
  const char letter = args.size() == 4 ? TypeLetter(args[2]) : '\0';
  if (args.size() == 4 && letter == 0) return Usage("TYPE is one of i, s, x, a");

  std::optional<SnmpVariable> variable;
  std::vector<Asked> asked;
  if (snmp::ParseObjectId(args[1])) {
    if (letter == 0) return Usage("set needs HOST OID TYPE VALUE");
    variable = BuildSetVariable(args[1], letter, value);
    if (!variable) return Usage("the OID or the value does not fit type " + std::string(args[2]));
  } else {
    const auto found = mib::FindByName(args[1]);
    if (!found) return Usage(UnknownVariable(args[1]));
    const VariableInfo& info = mib::Info(*found);
    const std::string name(info.name);
    if (info.access == Access::ReadOnly) return Usage(name + " is read-only");
    if (letter != 0 && TypeOfLetter(letter) != info.type) {
      return Usage("TYPE " + std::string(1, letter) + " does not fit " + name + ", an " +
                   std::string(TypeName(info.type)));
    }
    const char form = letter != 0 ? letter : LetterOfKind(info.kind);
    // Device texts are Latin-1; the command line is UTF-8. The value itself is never echoed:
    // it may be a secret.
    std::string text(value);
    if (form == 's') {
      auto latin1 = ui::Latin1FromUtf8(value);
      if (!latin1) {
        return Usage("the value of " + name +
                     " holds a character beyond Latin-1 (ISO 8859-1), which the device cannot "
                     "store");
      }
      text = std::move(*latin1);
    }
    const std::string oid = mib::FullOid(*found);
    variable = BuildSetVariable(oid, form, text);
    if (!variable) return Usage("the value of " + name + " is not " + std::string(ValueForm(form)));
    asked.push_back({oid, info.name});
  }

  Session session;
  if (!OpenSession(session, port)) return kExitAgent;
  AgentSession& agent = *session.agent;
  agent.BeginRequest(snmp::PduType::SetRequest, community);
  agent.Component().Message().Add(std::move(*variable));
  return SendAndPrint(agent, host, snmp::messages::kSetError, asked);
}

}  // namespace kelvo::cli
