// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvo::cli {

// profile apply FILE HOST... | FILE --all, with its options; args start with FILE.
int RunFleetApply(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
