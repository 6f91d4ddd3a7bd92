// SPDX-License-Identifier: GPL-2.0-or-later
// Conversions between bytes, hexadecimal text, dotted addresses and numbers, shared by the
// pages, the profiles and the RF test.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ui/Prompter.h"
#include "util/Parse.h"

namespace kelvo::mib {

namespace messages {
inline constexpr std::string_view kOddHexLength = "Invaild input, please input even number!!";
}  // namespace messages

// Two upper-case hexadecimal digits per byte, high nibble first.
std::string HexText(std::span<const std::uint8_t> bytes);

// Converts the first n characters of text into n/2 bytes at the start of out. An odd n shows
// the guard message (error icon, caption "Error") and fails. Otherwise out is cleared and
// every character must be a hexadecimal digit; anything else, a text shorter than n or an out
// shorter than n/2 fails without a message (the caller reports it).
bool ParseHex(std::string_view text, std::size_t n, std::span<std::uint8_t> out,
              ui::Prompter& prompter);

// Splits dotted-decimal text into four numbers. Each part is the text up to the next "." but
// at most three characters (the rest of a longer part is skipped); scanning stops after 15
// characters; a part converts as its leading digits (0 when there are none), and a value
// above 255 is taken as 255. Missing parts are 0.
std::array<std::uint8_t, 4> SplitDottedAddress(std::string_view text);

std::string FormatDottedAddress(std::array<std::uint8_t, 4> bytes);

// Agent values and profile settings read their numbers leniently.
using util::LeadingInteger;

}  // namespace kelvo::mib
