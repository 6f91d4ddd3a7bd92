// SPDX-License-Identifier: GPL-2.0-or-later
// SHA-256 (FIPS 180-4), so that the control channel can name a received image by its digest.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kelvo::apsim {

// The digest as 64 lower-case hex digits, as sha256sum prints it.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace kelvo::apsim
