// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli stats: the traffic counters of access points and their rates, poll after poll.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvo::cli {

int RunStats(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
