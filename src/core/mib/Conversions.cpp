// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/Conversions.h"

#include <algorithm>
#include <cstdint>

#include "util/Parse.h"

namespace kelvo::mib {

std::string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

bool ParseHex(std::string_view text, std::size_t n, std::span<std::uint8_t> out,
              ui::Prompter& prompter) {
  if (n % 2 != 0) {
    prompter.ShowMessage(messages::kOddHexLength, "Error", ui::MessageIcon::Error);
    return false;
  }
  if (out.size() < n / 2) return false;
  std::fill_n(out.begin(), n / 2, std::uint8_t{0});
  if (text.size() < n) return false;
  return util::DecodeHex(text.substr(0, n), out.first(n / 2));
}

std::array<std::uint8_t, 4> SplitDottedAddress(std::string_view text) {
  text = text.substr(0, std::min<std::size_t>(text.size(), 15));
  std::array<std::uint8_t, 4> result{};
  for (std::size_t part = 0; part < 4 && !text.empty(); ++part) {
    const std::size_t dot = text.find('.');
    const std::string_view field = text.substr(0, std::min<std::size_t>(dot, 3));
    const long value =
        util::ParseInteger<long>(field.substr(0, field.find_first_not_of("0123456789")))
            .value_or(0);
    result[part] = static_cast<std::uint8_t>(std::min(value, 255L));
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return result;
}

std::string FormatDottedAddress(std::array<std::uint8_t, 4> bytes) {
  return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
         std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
}

}  // namespace kelvo::mib
