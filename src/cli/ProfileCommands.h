// SPDX-License-Identifier: GPL-2.0-or-later
// "kelvo-cli profile show|save|apply": profile files without the window, on the same
// configuration sheet and profile store as the program.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvo::cli {

// args are the words after "profile"; port is the agent port. Returns the exit code.
int RunProfileCommand(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
