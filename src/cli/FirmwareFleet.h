// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvo::cli {

// firmware --image FILE HOST... | --all, with its options.
int RunFleetFirmware(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
