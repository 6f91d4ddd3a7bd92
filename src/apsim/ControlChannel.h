// SPDX-License-Identifier: GPL-2.0-or-later
// The simulator's control commands, one per line (normally from stdin): faults, the request
// log, direct reads and writes of an access point's values, its password and its authorised
// table, its firmware download settings, the image it downloaded, the firmware it installs and
// how long it reboots, and its counters' rates. Every command's output ends with a line "ok" or
// "error <reason>".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ApSimulator.h"

namespace kelvo::apsim {

class ControlChannel {
 public:
  // Access points are named by number or by the address they answer at now.
  explicit ControlChannel(ApSimulator& simulator) : simulator_(simulator) {}

  // Runs one command line (without its line end) and returns its output lines.
  std::vector<std::string> Execute(std::string_view line, SimTime now);
  bool QuitRequested() const { return quit_; }

 private:
  ApSimulator& simulator_;
  bool quit_ = false;
};

}  // namespace kelvo::apsim
