// SPDX-License-Identifier: GPL-2.0-or-later
// "kelvo-cli vars|get|set": the agent's variables, read and written one request at a time, by
// name (from the variable table) or by numeric OID.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvo::cli {

// args are the words after the command; port is the agent port. Each returns the exit code.
int RunVarsCommand(const std::vector<std::string_view>& args);
int RunGetCommand(std::uint16_t port, std::vector<std::string_view> args);
int RunSetCommand(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
