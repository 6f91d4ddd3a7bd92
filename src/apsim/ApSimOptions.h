// SPDX-License-Identifier: GPL-2.0-or-later
// The command line of kelvo-apsim, and the access point and fault notations that the command
// line and the control channel share.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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
  // Where each access point receives the datagrams of the packet RX test; 0: nowhere.
  std::uint16_t testPort = 65535;
  std::vector<FaultSetting> faults;
  // Every downloaded image is also written here as <access point address>.dlf; empty: nowhere.
  std::string imageDirectory;
  // How long a device writes a downloaded image to its flash before it answers the set.
  std::chrono::milliseconds flashTime{0};
  bool help = false;
  bool version = false;
};

struct ParsedOptions {
  std::optional<ProgramOptions> options;
  std::string error;  // set when options is empty
};

ParsedOptions ParseProgramOptions(std::span<const std::string_view> arguments);
std::string_view UsageText();

// An access point given by its 1-based number or its address; the 0-based index. The first
// knows the addresses the access points start at, the second the ones they answer at now.
std::optional<std::size_t> ParseAp(std::string_view text, const SimulatorSettings& settings);
std::optional<std::size_t> ParseAp(std::string_view text, const ApSimulator& simulator);

// A fault in words: none | silent | ignore-reset | delay <ms> | error <status> [<index>] |
// drop <percent> | varbinds <+-n> | wrong-type | octets <+-n> | from <address> |
// request-id <+-n> | reboot-after <n> [<ms>].
std::optional<Fault> ParseFault(std::span<const std::string_view> words);

// Options a download requests: "none" alone, or any of blksize=N (8..65464),
// windowsize=N (1..65535), timeout=S (1..255) and tsize, each at most once.
std::optional<std::vector<firmware::TftpOption>> ParseTftpOptions(
    std::span<const std::string_view> words);

// The retransmission wait in ms (1..60000) and the number of tries (1..100).
std::optional<std::pair<std::chrono::milliseconds, int>> ParseTftpRetry(std::string_view ms,
                                                                        std::string_view tries);

// How long a restart keeps an access point silent: 0..3600000 ms.
std::optional<std::chrono::milliseconds> ParseRebootTime(std::string_view ms);

// A counter's rate per second: a decimal with up to six places after the point, at most 2^32.
std::optional<CounterRate> ParseCounterRate(std::string_view text);
// The counters (statistics::kCounters indexes) a key names: its own, or every one for "all".
std::optional<std::vector<std::size_t>> ParseCounterKey(std::string_view text);

// A firmware version as the description shows it: 1..32 printable characters, no spaces.
bool IsFirmwareVersion(std::string_view text);

std::vector<std::string_view> SplitWords(std::string_view text);

}  // namespace kelvo::apsim
