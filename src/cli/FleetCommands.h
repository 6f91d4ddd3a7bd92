// SPDX-License-Identifier: GPL-2.0-or-later
// The commands on many access points: show, inventory, backup and diff.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvo::cli {

int RunShow(std::uint16_t port, std::vector<std::string_view> args);
int RunInventory(std::uint16_t port, std::vector<std::string_view> args);
int RunBackup(std::uint16_t port, std::vector<std::string_view> args);
int RunDiff(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
