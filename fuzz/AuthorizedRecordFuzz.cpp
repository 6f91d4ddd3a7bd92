// SPDX-License-Identifier: GPL-2.0-or-later
// Authorised-table record: any bytes are decoded onto a record that already holds values, as
// the exchange decodes a reply onto the caller's count and address. Every field the bytes
// wholly reach must be read least significant byte first, a field they reach by one byte gets
// only its low byte, and a field they do not reach keeps its value. Encoding is the inverse:
// a record decodes from its own encoding to itself, and a 12-byte input encodes back to itself.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "mib/AuthorizedTableRecord.h"

namespace {

using kelvo::mib::AuthorizedTableRecord;

[[noreturn]] void Fail(const char* rule) {
  std::fprintf(stderr, "authorized_record: broken rule: %s\n", rule);
  std::abort();
}

void Require(bool holds, const char* rule) {
  if (!holds) Fail(rule);
}

// The 16-bit field at `at` after a decode of `bytes` onto `before`.
std::uint16_t Expected16(std::span<const std::uint8_t> bytes, std::size_t at,
                         std::uint16_t before) {
  const unsigned low = bytes.size() > at ? bytes[at] : (before & 0xFFu);
  const unsigned high = bytes.size() > at + 1 ? bytes[at + 1] : (before >> 8);
  return static_cast<std::uint16_t>(high << 8 | low);
}

bool SameRecord(const AuthorizedTableRecord& a, const AuthorizedTableRecord& b) {
  return a.operation == b.operation && a.count == b.count && a.index == b.index &&
         a.address == b.address;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);

  // Earlier values that differ from every byte pattern a short reply could leave behind.
  AuthorizedTableRecord before;
  before.operation = 0xA55A;
  before.count = 0xC33C;
  before.index = 0x0FF0;
  before.address = {0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};

  AuthorizedTableRecord decoded = before;
  decoded.DecodeInto(bytes);
  Require(decoded.operation == Expected16(bytes, 0, before.operation),
          "operation is bytes 0-1, least significant first, each when present");
  Require(decoded.count == Expected16(bytes, 2, before.count),
          "count is bytes 2-3, least significant first, each when present");
  Require(decoded.index == Expected16(bytes, 4, before.index),
          "index is bytes 4-5, least significant first, each when present");
  for (std::size_t i = 0; i < decoded.address.size(); ++i) {
    const std::uint8_t expected = 6 + i < bytes.size() ? bytes[6 + i] : before.address[i];
    Require(decoded.address[i] == expected, "the address is bytes 6-11, each when present");
  }

  // Whatever was decoded encodes to 12 bytes that decode to the same record from any start.
  const auto encoded = decoded.Encode();
  AuthorizedTableRecord again;
  again.DecodeInto(encoded);
  Require(SameRecord(again, decoded), "a record decodes from its encoding to itself");
  if (size >= AuthorizedTableRecord::kSize) {
    Require(std::equal(encoded.begin(), encoded.end(), bytes.begin()),
            "a whole record encodes back to its bytes; bytes past 12 are ignored");
  }
  return 0;
}
