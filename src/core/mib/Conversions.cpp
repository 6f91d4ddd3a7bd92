// SPDX-License-Identifier: GPL-2.0-or-later
#include "mib/Conversions.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace kelvo::mib {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

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
    prompter.ShowMessage(kOddHexLengthMessage, "Error", ui::MessageIcon::Error);
    return false;
  }
  if (out.size() < n / 2) return false;
  std::fill_n(out.begin(), n / 2, std::uint8_t{0});
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out[i / 2] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

std::array<std::uint8_t, 4> SplitDottedAddress(std::string_view text) {
  text = text.substr(0, std::min<std::size_t>(text.size(), 15));
  std::array<std::uint8_t, 4> result{};
  for (std::size_t part = 0; part < 4 && !text.empty(); ++part) {
    const std::size_t dot = text.find('.');
    const std::string_view field = text.substr(0, std::min<std::size_t>(dot, 3));
    long value = 0;
    for (const char c : field) {
      if (c < '0' || c > '9') break;
      value = value * 10 + (c - '0');
    }
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

long LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<std::int64_t>(value * 10 + (text[i] - '0'),
                                   std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1);
  }
  if (negative) value = -value;
  value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max());
  return static_cast<long>(value);
}

}  // namespace kelvo::mib
