// SPDX-License-Identifier: GPL-2.0-or-later
// What the commands on many access points share: the console they report on, Ctrl-C, the
// discovery that feeds the runner, and the read of one access point into its configuration.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/Configuration.h"
#include "fleet/FleetRunner.h"
#include "fleet/HeadlessSheet.h"

namespace kelvo::cli {

// Standard error shared by the threads: each message is one whole line prefixed with its
// access point's address, and a progress bar when standard error is a terminal.
class FleetConsole {
 public:
  FleetConsole();
  void Message(std::string_view host, std::string_view text);
  // A headless sheet's sink for the messages of one access point.
  fleet::MessageLog::Sink SinkFor(std::string host);
  void Progress(std::size_t done, std::size_t total);
  // Removes the bar, so that what follows starts on a clean line.
  void EndProgress();
  // On a terminal, lines kept below the messages and redrawn in place (one per transfer, say);
  // an empty list removes them. Elsewhere nothing.
  void SetBoard(std::vector<std::string> lines);
  bool Terminal() const { return terminal_; }

 private:
  void DrawBar();
  void ClearBar();

  std::mutex mutex_;
  const bool terminal_;
  bool barShown_ = false;
  std::vector<std::string> board_;
  std::size_t boardShown_ = 0;
  std::size_t done_ = 0;
  std::size_t total_ = 0;
};

// SIGINT and SIGTERM set a flag while the guard lives, however often they come: wrappers
// such as timeout(1) send one to the process and another to its group, and the reads in
// flight end within their time-outs anyway. SIGQUIT still ends the program at once. The flag
// is never cleared.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  static bool Interrupted();
};

// The options of the commands on many access points.
struct FleetOptions {
  std::size_t parallel = fleet::kDefaultParallel;
  double waitSeconds = 2.0;
  std::vector<std::string> targets;  // --to
  std::string format;                // --format
  std::string community;
  std::vector<std::string> operands;
};
// Takes --parallel, --format, --wait and --to (when `discovery`), the community and any flag of
// `flags` (each removed from args and reported in `set`); returns a problem text or "".
std::string TakeFleetOptions(std::vector<std::string_view> args, bool discovery,
                             const std::vector<std::string_view>& flags, FleetOptions& options,
                             std::vector<std::string_view>& set);

// Discovers access points as the discover command does and hands each to `found` as soon as
// its reply arrives, until the wait has passed, every target given by address has answered
// or an interrupt came. Returns the targets given by address that did not answer, or nullopt
// when the SNMP component cannot be set up.
std::optional<std::vector<std::string>> DiscoverEach(
    std::uint16_t port, const FleetOptions& options,
    const std::function<void(const std::string& host)>& found);

// A message of a failed write in a summary's words: "no reply", "refused", or itself.
std::string ShortReason(const std::string& message);

// One access point's read.
struct HostRead {
  enum class Status { Ok, NoAnswer, NotRead, NoTable, Failed };
  std::string address;
  Status status = Status::NotRead;
  std::string message;  // the first message shown, if any
  std::optional<fleet::Configuration> configuration;
};
// The short word for a status (and its message) in tables: ok, no reply, refused, ...
std::string StatusWord(const HostRead& read);

// Reads host into the headless sheet (made with the console's SinkFor(host)); a table that
// should have come but did not is reported on the console too.
HostRead ReadHost(fleet::HeadlessSheet& sheet, const std::string& host, std::uint16_t port,
                  const std::string& community, bool needTable, FleetConsole& console);

// Runs `job` for every host of `hosts`, or of the discovery when there are none, and waits,
// cancelling on an interrupt. Returns false when discovery could not start. `unanswered`
// gets the discovery targets that did not answer, `dropped` the hosts an interrupt left out.
bool RunFleet(std::uint16_t port, const FleetOptions& options,
              const std::vector<std::string>& hosts, FleetConsole& console,
              const fleet::FleetRunner::Job& job, std::vector<std::string>& unanswered,
              std::vector<std::string>& dropped);

// What the jobs on many access points found, by address, filled from the runner's threads.
template <typename Outcome>
class HostResults {
 public:
  void Put(const std::string& host, Outcome outcome) {
    const std::lock_guard lock(mutex_);
    outcomes_[host] = std::move(outcome);
  }
  std::optional<Outcome> Find(const std::string& host) const {
    const std::lock_guard lock(mutex_);
    const auto found = outcomes_.find(host);
    if (found == outcomes_.end()) return std::nullopt;
    return found->second;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Outcome> outcomes_;
};

// Takes "NAME S" (seconds, 0 to 3600, fractions allowed) into `seconds`; a problem text or "".
std::string TakeSeconds(std::vector<std::string_view>& args, std::string_view name,
                        std::chrono::milliseconds& seconds);

// Removes "NAME VALUE" from args and returns VALUE; nullopt when NAME is not there.
std::optional<std::string> TakeOptionValue(std::vector<std::string_view>& args,
                                           std::string_view name);

// Asks on standard error and reads the answer from standard input: true for y or yes.
bool Confirm(const std::string& question);

// Lines of cells laid out with each column as wide as its widest cell and two spaces from the
// next; PrintAligned prints them on standard output.
std::vector<std::string> AlignedLines(const std::vector<std::vector<std::string>>& lines);
void PrintAligned(const std::vector<std::vector<std::string>>& lines);

// IPv4 addresses in numeric order.
bool AddressLess(const std::string& a, const std::string& b);

}  // namespace kelvo::cli
