// SPDX-License-Identifier: GPL-2.0-or-later
// "kelvo-cli firmware": the firmware upgrade without the window, on the same upgrade sequence
// as the "Update Firmware" window.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvo::cli {

// args are the words after "firmware"; port is the agent port. Returns the exit code: 0 only
// when the access point accepted the upgrade.
int RunFirmwareCommand(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
