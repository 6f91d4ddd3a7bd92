// SPDX-License-Identifier: GPL-2.0-or-later
// Reads least-significant-byte-first numbers out of a received octet string. A field that the
// bytes do not wholly cover reads as nullopt: nothing is ever read past the received length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kelvo::statistics {

class LittleEndianReader {
 public:
  constexpr explicit LittleEndianReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  constexpr std::size_t Size() const { return bytes_.size(); }

  // Whether width bytes starting at offset lie inside the received bytes; safe for any
  // offset, however large.
  constexpr bool Covers(std::size_t offset, std::size_t width) const {
    return offset <= bytes_.size() && width <= bytes_.size() - offset;
  }

  constexpr std::optional<std::uint16_t> U16(std::size_t offset) const {
    if (!Covers(offset, 2)) return std::nullopt;
    return static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
  }

  constexpr std::optional<std::uint32_t> U32(std::size_t offset) const {
    if (!Covers(offset, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(bytes_[offset]) |
           static_cast<std::uint32_t>(bytes_[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes_[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes_[offset + 3]) << 24;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace kelvo::statistics
