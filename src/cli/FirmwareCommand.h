// SPDX-License-Identifier: GPL-2.0-or-later
// "kelvo-cli firmware": the firmware upgrade without the window, on the same upgrade sequence
// as the "Update Firmware" window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/FirmwareUpgrade.h"

namespace kelvo::cli {

// Where the image is staged and served from: --settings-path DIR (with its separator; the
// program's own directory by default) and --tftp-port T.
struct FirmwareServing {
  std::string settingsPath;
  std::uint16_t tftpPort = firmware::kDefaultTftpPort;
};
// Takes both options from args; a problem text or "".
std::string TakeFirmwareServing(std::vector<std::string_view>& args, FirmwareServing& serving);

// args are the words after "firmware"; port is the agent port. Returns the exit code: 0 only
// when the access point accepted the upgrade.
int RunFirmwareCommand(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
