// SPDX-License-Identifier: GPL-2.0-or-later
// TFTP packets: any bytes go through DecodeTftp, and an accepted packet must encode back to
// exactly the bytes it came from (an ACK to its first four: padding after the block number is
// tolerated, nothing else is). Packets built from the input's NUL-separated texts must decode
// to themselves, and are refused exactly when an option name is empty. Option numbers and name
// comparison are checked against their plain definitions.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "firmware/TftpPacket.h"

namespace {

namespace fw = kelvo::firmware;
using Bytes = std::span<const std::uint8_t>;

[[noreturn]] void Fail(const char* rule) {
  std::fprintf(stderr, "tftp_packet: broken rule: %s\n", rule);
  std::abort();
}

void Require(bool holds, const char* rule) {
  if (!holds) Fail(rule);
}

bool SameBytes(const std::vector<std::uint8_t>& encoded, Bytes bytes) {
  return encoded.size() == bytes.size() &&
         std::equal(encoded.begin(), encoded.end(), bytes.begin());
}

std::vector<std::uint8_t> Encode(const fw::TftpPacket& packet) {
  struct Encoder {
    std::vector<std::uint8_t> operator()(const fw::TftpRequest& p) const {
      return fw::EncodeTftpRequest(p);
    }
    std::vector<std::uint8_t> operator()(const fw::TftpData& p) const {
      return fw::EncodeTftpData(p.block, p.payload);
    }
    std::vector<std::uint8_t> operator()(const fw::TftpAck& p) const {
      return fw::EncodeTftpAck(p.block);
    }
    std::vector<std::uint8_t> operator()(const fw::TftpError& p) const {
      return fw::EncodeTftpError(static_cast<fw::TftpErrorCode>(p.code), p.message);
    }
    std::vector<std::uint8_t> operator()(const fw::TftpOptionAck& p) const {
      return fw::EncodeTftpOptionAck(p.options);
    }
  };
  return std::visit(Encoder{}, packet);
}

bool SamePacket(const fw::TftpPacket& a, const fw::TftpPacket& b) {
  if (a.index() != b.index()) return false;
  if (const auto* x = std::get_if<fw::TftpRequest>(&a)) {
    const auto& y = std::get<fw::TftpRequest>(b);
    return x->write == y.write && x->fileName == y.fileName && x->mode == y.mode &&
           x->options == y.options;
  }
  if (const auto* x = std::get_if<fw::TftpData>(&a)) {
    const auto& y = std::get<fw::TftpData>(b);
    return x->block == y.block && x->payload == y.payload;
  }
  if (const auto* x = std::get_if<fw::TftpAck>(&a))
    return x->block == std::get<fw::TftpAck>(b).block;
  if (const auto* x = std::get_if<fw::TftpError>(&a)) {
    const auto& y = std::get<fw::TftpError>(b);
    return x->code == y.code && x->message == y.message;
  }
  return std::get<fw::TftpOptionAck>(a).options == std::get<fw::TftpOptionAck>(b).options;
}

void CheckDecode(Bytes bytes) {
  const auto packet = fw::DecodeTftp(bytes);
  if (!packet) return;
  const std::uint16_t opcode = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
  Require(opcode >= 1 && opcode <= 6, "only the six opcodes decode");
  const std::vector<std::uint8_t> encoded = Encode(*packet);
  if (std::holds_alternative<fw::TftpAck>(*packet)) {
    Require(bytes.size() >= 4 && SameBytes(encoded, bytes.first(4)),
            "an ACK is its first four bytes");
    return;
  }
  Require(SameBytes(encoded, bytes), "a decoded packet encodes back to its bytes");
  if (const auto* request = std::get_if<fw::TftpRequest>(&*packet)) {
    Require(request->write == (opcode == 2), "WRQ and RRQ keep their opcode");
    for (const auto& [name, value] : request->options) {
      Require(!name.empty(), "a decoded option has a name");
    }
  }
}

// The input's texts between NULs; the first byte picks the packet, the next two a number.
void CheckBuilt(Bytes bytes) {
  if (bytes.size() < 3) return;
  const std::uint8_t kind = bytes[0] % 5;
  const std::uint16_t number = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
  const Bytes rest = bytes.subspan(3);
  std::vector<std::string> texts;
  std::string current;
  for (const std::uint8_t b : rest) {
    if (b == 0) {
      texts.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(b);
    }
  }
  texts.push_back(current);

  fw::TftpPacket built;
  bool refusable = false;
  const auto options = [&](std::size_t first) {
    std::vector<fw::TftpOption> list;
    for (std::size_t i = first; i + 1 < texts.size(); i += 2) {
      list.emplace_back(texts[i], texts[i + 1]);
      refusable = refusable || texts[i].empty();
    }
    return list;
  };
  switch (kind) {
    case 0:
      texts.resize(std::max<std::size_t>(texts.size(), 2));
      built = fw::TftpRequest{(number & 1) != 0, texts[0], texts[1], options(2)};
      break;
    case 1:
      built = fw::TftpData{number, std::vector<std::uint8_t>(rest.begin(), rest.end())};
      break;
    case 2:
      built = fw::TftpAck{number};
      break;
    case 3:
      built = fw::TftpError{number, texts[0]};
      break;
    default:
      built = fw::TftpOptionAck{options(0)};
      break;
  }
  const std::vector<std::uint8_t> encoded = Encode(built);
  const auto decoded = fw::DecodeTftp(encoded);
  if (refusable) {
    Require(!decoded, "an option without a name is refused");
    return;
  }
  Require(decoded.has_value(), "an encoded packet decodes");
  Require(SamePacket(*decoded, built), "an encoded packet decodes to itself");
}

void CheckTexts(Bytes bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const bool digits =
      !text.empty() && text.size() <= 19 &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  const auto number = fw::ParseTftpNumber(text);
  Require(number.has_value() == digits, "an option number is 1 to 19 decimal digits");
  if (number) {
    std::uint64_t value = 0;
    for (const char c : text) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    Require(*number == value, "an option number is its digits' value");
  }

  const std::size_t half = text.size() / 2;
  const std::string_view a = text.substr(0, half);
  const std::string_view b = text.substr(half);
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  bool equal = a.size() == b.size();
  for (std::size_t i = 0; equal && i < a.size(); ++i) equal = lower(a[i]) == lower(b[i]);
  Require(fw::TftpNameEquals(a, b) == equal, "names compare ignoring ASCII case only");
  Require(fw::TftpNameEquals(a, a), "a name equals itself");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes bytes(data, size);
  CheckDecode(bytes);
  CheckBuilt(bytes);
  CheckTexts(bytes);
  return 0;
}
