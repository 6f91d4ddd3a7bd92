// SPDX-License-Identifier: GPL-2.0-or-later
// The command line of kelvo-apsim, and the access point and fault notations that the command
// line and the control channel share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ApSimulator.h"

namespace kelvo::apsim {

struct FaultSetting {
  std::optional<std::size_t> ap;  // 0-based; nullopt = every access point
  Fault fault;
};

struct ProgramOptions {
  SimulatorSettings simulator;
  std::uint16_t port = 1161;
  std::uint32_t bindAddress = 0;  // 0.0.0.0
  std::vector<FaultSetting> faults;
  bool help = false;
};

struct ParsedOptions {
  std::optional<ProgramOptions> options;
  std::string error;  // set when options is empty
};

ParsedOptions ParseProgramOptions(std::span<const std::string_view> arguments);
std::string_view UsageText();

// An access point given by its 1-based number or its address; the 0-based index.
std::optional<std::size_t> ParseAp(std::string_view text, const SimulatorSettings& settings);

// A fault in words: none | silent | delay <ms> | error <status> [<index>] | drop <percent>.
std::optional<Fault> ParseFault(std::span<const std::string_view> words);

std::vector<std::string_view> SplitWords(std::string_view text);

}  // namespace kelvo::apsim
