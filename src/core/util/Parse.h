// SPDX-License-Identifier: GPL-2.0-or-later
// Decimal and hexadecimal text to numbers and bytes: the one place every reader of numbers in
// the core, the command line and the simulator goes through.
#pragma once

#include <charconv>
#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

namespace kelvo::util {

// What an integer text may hold besides its digits. Every form takes the whole text and
// fails on anything after the digits and on a value outside the type.
enum class IntegerForm {
  Strict,        // digits, '-' first for a signed type (std::from_chars)
  OptionalPlus,  // also one '+' first
  LeadingSpace,  // also white space before the sign: what strtol takes as a whole text
};

namespace detail {
constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
}  // namespace detail

template <std::integral T>
[[nodiscard]] std::optional<T> ParseInteger(std::string_view text,
                                            IntegerForm form = IntegerForm::Strict, int base = 10) {
  if (form == IntegerForm::LeadingSpace) {
    while (!text.empty() && detail::IsSpace(text.front())) text.remove_prefix(1);
  }
  if (form != IntegerForm::Strict && text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.starts_with('-')) return std::nullopt;  // one sign only
  }
  if (text.empty()) return std::nullopt;
  T value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// The leading decimal integer as atoi reads it: white space skipped, an optional sign, then
// the digits up to the first other character; 0 when there are none. Values beyond 32 bits
// saturate.
long LeadingInteger(std::string_view text);

// One hexadecimal digit of either case.
std::optional<unsigned> HexDigit(char c);

// Two hexadecimal digits a byte, high one first, into out; text must be exactly twice as long
// as out. On a bad digit the bytes before it are already written.
[[nodiscard]] bool DecodeHex(std::string_view text, std::span<std::uint8_t> out);

// The whole text as hexadecimal bytes: an even number of digits (none gives no bytes).
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);

// Case-insensitive ASCII comparison: TFTP option names and modes, variable names.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace kelvo::util
