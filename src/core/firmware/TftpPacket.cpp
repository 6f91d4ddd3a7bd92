// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware/TftpPacket.h"

#include <algorithm>

#include "util/Parse.h"

namespace kelvo::firmware {
namespace {

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void AppendU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void AppendString(std::vector<std::uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// Splits NUL-terminated strings; nullopt when the last one lacks its NUL.
std::optional<std::vector<std::string>> Strings(std::span<const std::uint8_t> bytes) {
  std::vector<std::string> strings;
  while (!bytes.empty()) {
    const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (nul == bytes.end()) return std::nullopt;
    strings.emplace_back(bytes.begin(), nul);
    bytes = bytes.subspan(static_cast<std::size_t>(nul - bytes.begin()) + 1);
  }
  return strings;
}

std::optional<std::vector<TftpOption>> Options(const std::vector<std::string>& strings,
                                               std::size_t first) {
  if ((strings.size() - first) % 2 != 0) return std::nullopt;
  std::vector<TftpOption> options;
  for (std::size_t i = first; i < strings.size(); i += 2) {
    if (strings[i].empty()) return std::nullopt;
    options.emplace_back(strings[i], strings[i + 1]);
  }
  return options;
}

}  // namespace

bool TftpNameEquals(std::string_view a, std::string_view b) {
  return util::EqualsIgnoringAsciiCase(a, b);
}

std::optional<std::uint64_t> ParseTftpNumber(std::string_view text) {
  if (text.size() > 19) return std::nullopt;
  return util::ParseInteger<std::uint64_t>(text);
}

std::optional<TftpPacket> DecodeTftp(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2) return std::nullopt;
  const std::uint16_t opcode = ReadU16(bytes, 0);
  const auto rest = bytes.subspan(2);
  switch (static_cast<TftpOpcode>(opcode)) {
    case TftpOpcode::ReadRequest:
    case TftpOpcode::WriteRequest: {
      const auto strings = Strings(rest);
      if (!strings || strings->size() < 2) return std::nullopt;
      auto options = Options(*strings, 2);
      if (!options) return std::nullopt;
      return TftpRequest{opcode == static_cast<std::uint16_t>(TftpOpcode::WriteRequest),
                         (*strings)[0], (*strings)[1], std::move(*options)};
    }
    case TftpOpcode::Data:
      if (rest.size() < 2) return std::nullopt;
      return TftpData{ReadU16(rest, 0), {rest.begin() + 2, rest.end()}};
    case TftpOpcode::Ack:
      // Trailing bytes after the block number are tolerated, as common clients pad.
      if (rest.size() < 2) return std::nullopt;
      return TftpAck{ReadU16(rest, 0)};
    case TftpOpcode::Error: {
      if (rest.size() < 3) return std::nullopt;
      const auto strings = Strings(rest.subspan(2));
      if (!strings || strings->size() != 1) return std::nullopt;
      return TftpError{ReadU16(rest, 0), (*strings)[0]};
    }
    case TftpOpcode::OptionAck: {
      const auto strings = Strings(rest);
      if (!strings) return std::nullopt;
      auto options = Options(*strings, 0);
      if (!options) return std::nullopt;
      return TftpOptionAck{std::move(*options)};
    }
  }
  return std::nullopt;
}

std::vector<std::uint8_t> EncodeTftpRequest(const TftpRequest& request) {
  std::vector<std::uint8_t> out;
  AppendU16(out, static_cast<std::uint16_t>(request.write ? TftpOpcode::WriteRequest
                                                          : TftpOpcode::ReadRequest));
  AppendString(out, request.fileName);
  AppendString(out, request.mode);
  for (const auto& [name, value] : request.options) {
    AppendString(out, name);
    AppendString(out, value);
  }
  return out;
}

std::vector<std::uint8_t> EncodeTftpData(std::uint16_t block,
                                         std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> out;
  out.reserve(kTftpHeaderSize + payload.size());
  AppendU16(out, static_cast<std::uint16_t>(TftpOpcode::Data));
  AppendU16(out, block);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<std::uint8_t> EncodeTftpAck(std::uint16_t block) {
  std::vector<std::uint8_t> out;
  AppendU16(out, static_cast<std::uint16_t>(TftpOpcode::Ack));
  AppendU16(out, block);
  return out;
}

std::vector<std::uint8_t> EncodeTftpError(TftpErrorCode code, std::string_view message) {
  std::vector<std::uint8_t> out;
  AppendU16(out, static_cast<std::uint16_t>(TftpOpcode::Error));
  AppendU16(out, static_cast<std::uint16_t>(code));
  AppendString(out, message);
  return out;
}

std::vector<std::uint8_t> EncodeTftpOptionAck(const std::vector<TftpOption>& options) {
  std::vector<std::uint8_t> out;
  AppendU16(out, static_cast<std::uint16_t>(TftpOpcode::OptionAck));
  for (const auto& [name, value] : options) {
    AppendString(out, name);
    AppendString(out, value);
  }
  return out;
}

}  // namespace kelvo::firmware
