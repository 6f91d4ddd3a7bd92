// SPDX-License-Identifier: GPL-2.0-or-later
#include "FleetSupport.h"

#include <arpa/inet.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <set>

#include "CliSupport.h"
#include "fleet/DeviceFinder.h"
#include "snmp/SnmpComponent.h"
#include "util/Parse.h"

namespace kelvo::cli {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int /*signal*/) { interrupted.store(true); }

constexpr std::size_t kBarWidth = 30;
// The discovery and the runner look at the interrupt flag this often.
constexpr auto kInterruptPoll = std::chrono::milliseconds(100);

std::uint32_t AddressValue(const std::string& text) {
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return 0xFFFFFFFF;
  return ntohl(address.s_addr);
}

}  // namespace

FleetConsole::FleetConsole() : terminal_(::isatty(STDERR_FILENO) == 1) {}

void FleetConsole::Message(std::string_view host, std::string_view text) {
  const std::lock_guard lock(mutex_);
  ClearBar();
  std::string line;
  line.reserve(host.size() + text.size() + 3);
  line.append(host).append(": ").append(text).push_back('\n');
  std::cerr << line << std::flush;
  DrawBar();
}

fleet::MessageLog::Sink FleetConsole::SinkFor(std::string host) {
  return [this, host = std::move(host)](std::string_view text) { Message(host, text); };
}

void FleetConsole::Progress(std::size_t done, std::size_t total) {
  const std::lock_guard lock(mutex_);
  done_ = done;
  total_ = total;
  DrawBar();
}

void FleetConsole::EndProgress() {
  const std::lock_guard lock(mutex_);
  ClearBar();
  total_ = 0;
  board_.clear();
}

void FleetConsole::SetBoard(std::vector<std::string> lines) {
  const std::lock_guard lock(mutex_);
  if (!terminal_) return;
  ClearBar();
  board_ = std::move(lines);
  DrawBar();
}

void FleetConsole::DrawBar() {
  if (!terminal_) return;
  if (!board_.empty()) {
    std::string text;
    for (const std::string& line : board_) text.append(line).push_back('\n');
    std::cerr << text << std::flush;
    boardShown_ = board_.size();
  }
  // A bar for one access point says nothing the result does not.
  if (total_ < 2) return;
  const std::size_t filled = done_ * kBarWidth / total_;
  std::string bar = "\r[";
  bar.append(filled, '#').append(kBarWidth - filled, '.');
  bar += "] " + std::to_string(done_) + '/' + std::to_string(total_);
  std::cerr << bar << std::flush;
  barShown_ = true;
}

void FleetConsole::ClearBar() {
  if (barShown_) std::cerr << "\r\033[K";
  if (boardShown_ > 0) std::cerr << "\033[" << boardShown_ << "A\033[J";
  if (barShown_ || boardShown_ > 0) std::cerr << std::flush;
  barShown_ = false;
  boardShown_ = 0;
}

InterruptGuard::InterruptGuard() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

InterruptGuard::~InterruptGuard() {
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
}

bool InterruptGuard::Interrupted() { return interrupted.load(); }

std::string TakeFleetOptions(std::vector<std::string_view> args, bool discovery,
                             const std::vector<std::string_view>& flags, FleetOptions& options,
                             std::vector<std::string_view>& set) {
  auto [community, problem] = TakeCommunity(args, "");
  if (!problem.empty()) return problem;
  options.community = std::move(community);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
      set.push_back(arg);
    } else if (arg == "--parallel") {
      const auto value = hasValue ? util::ParseInteger<long>(args[i + 1], util::IntegerForm::Strict)
                                  : std::nullopt;
      if (!value || *value < 1 || *value > static_cast<long>(fleet::kMaxParallel)) {
        return "--parallel takes a number from 1 to " + std::to_string(fleet::kMaxParallel);
      }
      options.parallel = static_cast<std::size_t>(*value);
      ++i;
    } else if (arg == "--format" && hasValue) {
      options.format = args[++i];
    } else if (discovery && arg == "--wait" && hasValue) {
      const std::string text(args[++i]);
      char* end = nullptr;
      options.waitSeconds = std::strtod(text.c_str(), &end);
      if (*end != '\0' || !(options.waitSeconds >= 0 && options.waitSeconds <= 3600)) {
        return "--wait takes seconds";
      }
    } else if (discovery && arg == "--to" && hasValue) {
      options.targets.emplace_back(args[++i]);
    } else if (arg.starts_with("--")) {
      return "unexpected option " + std::string(arg);
    } else {
      options.operands.emplace_back(arg);
    }
  }
  return {};
}

std::optional<std::vector<std::string>> DiscoverEach(
    std::uint16_t port, const FleetOptions& options,
    const std::function<void(const std::string& host)>& found) {
  Session session;
  if (!OpenSession(session, port)) return std::nullopt;
  snmp::AgentSession& agent = *session.agent;
  agent.SetDiscoveryTargets(options.targets);
  // Targets that are addresses of access points, not broadcasts, can all answer early.
  std::set<std::string> awaited;
  const auto broadcasts = snmp::SnmpComponent::InterfaceBroadcastAddresses();
  for (const std::string& target : options.targets) {
    if (target != snmp::kLimitedBroadcast &&
        std::find(broadcasts.begin(), broadcasts.end(), target) == broadcasts.end()) {
      awaited.insert(target);
    }
  }
  const bool allAddresses = !options.targets.empty() && awaited.size() == options.targets.size();
  agent.Discover();

  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long>(options.waitSeconds * 1000));
  // A reply from an address that is no target shows a target to be a broadcast address of
  // some network; which one cannot be told, so no target counts as unanswered then.
  const std::set<std::string> targets(options.targets.begin(), options.targets.end());
  bool strangers = false;
  fleet::CollectDiscovery(
      agent, session.wait, deadline,
      [&](const std::string& address) {
        awaited.erase(address);
        strangers = strangers || !targets.contains(address);
        found(address);
        return !(allAddresses && awaited.empty());
      },
      &InterruptGuard::Interrupted);
  if (strangers) return std::vector<std::string>();
  return std::vector<std::string>(awaited.begin(), awaited.end());
}

std::string StatusWord(const HostRead& read) {
  switch (read.status) {
    case HostRead::Status::Ok:
      return "ok";
    case HostRead::Status::NoAnswer:
      return "no answer";
    case HostRead::Status::NotRead:
      return "not read";
    case HostRead::Status::NoTable:
      return "no table";
    case HostRead::Status::Failed:
      break;
  }
  if (read.message == snmp::messages::kTimeout) return "no reply";
  if (read.message == snmp::messages::kGetError) return "refused";
  if (read.message == snmp::messages::kExtractError) return "bad reply";
  return "error";
}

std::string ShortReason(const std::string& message) {
  if (message == snmp::messages::kTimeout || message == snmp::messages::kResetWait) {
    return "no reply";
  }
  if (message == snmp::messages::kSetError) return "refused";
  return message;
}

HostRead ReadHost(fleet::HeadlessSheet& sheet, const std::string& host, std::uint16_t port,
                  const std::string& community, bool needTable, FleetConsole& console) {
  HostRead result;
  result.address = host;
  if (!sheet.Start(port, community)) {
    result.status = HostRead::Status::Failed;
    result.message = "cannot set up the SNMP component";
    return result;
  }
  const auto outcome = sheet.Read(host);
  // A refused read also shows that its reply could not be read; the refusal says more.
  const auto& messages = sheet.Log().Messages();
  if (!messages.empty()) {
    const auto refusal = std::find(messages.begin(), messages.end(), snmp::messages::kGetError);
    result.message = refusal != messages.end() ? *refusal : messages.front();
  }
  switch (outcome) {
    case fleet::HeadlessSheet::ReadOutcome::Failed:
      result.status = HostRead::Status::Failed;
      return result;
    case fleet::HeadlessSheet::ReadOutcome::NoTable:
      // Without the write community the table cannot be asked for at all.
      if (needTable || !community.empty()) {
        result.status = HostRead::Status::NoTable;
        result.message = fleet::kNoTableText;
        console.Message(host, result.message);
        return result;
      }
      break;
    case fleet::HeadlessSheet::ReadOutcome::Ok:
      break;
  }
  result.status = HostRead::Status::Ok;
  result.configuration = fleet::Describe(sheet.Sheet());
  return result;
}

bool RunFleet(std::uint16_t port, const FleetOptions& options,
              const std::vector<std::string>& hosts, FleetConsole& console,
              const fleet::FleetRunner::Job& job, std::vector<std::string>& unanswered,
              std::vector<std::string>& dropped) {
  fleet::FleetRunner runner(options.parallel, job, [&console](std::size_t done, std::size_t all) {
    console.Progress(done, all);
  });
  bool started = true;
  if (hosts.empty()) {
    auto missing =
        DiscoverEach(port, options, [&runner](const std::string& host) { runner.Add(host); });
    if (missing) {
      unanswered = std::move(*missing);
    } else {
      started = false;
    }
  } else {
    for (const std::string& host : hosts) runner.Add(host);
  }
  runner.Close();
  while (!runner.WaitFor(kInterruptPoll)) {
    if (InterruptGuard::Interrupted()) runner.Cancel();
  }
  if (InterruptGuard::Interrupted()) runner.Cancel();
  runner.Wait();
  dropped = runner.Dropped();
  console.EndProgress();
  return started;
}

std::optional<std::string> TakeOptionValue(std::vector<std::string_view>& args,
                                           std::string_view name) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == name) {
      std::string value(args[i + 1]);
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return value;
    }
  }
  return std::nullopt;
}

std::string TakeSeconds(std::vector<std::string_view>& args, std::string_view name,
                        std::chrono::milliseconds& seconds) {
  const auto text = TakeOptionValue(args, name);
  if (!text) return {};
  char* end = nullptr;
  const double value = std::strtod(text->c_str(), &end);
  if (*end != '\0' || !(value >= 0 && value <= 3600)) return std::string(name) + " takes seconds";
  seconds = std::chrono::milliseconds(static_cast<long>(value * 1000));
  return {};
}

bool Confirm(const std::string& question) {
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

std::vector<std::string> AlignedLines(const std::vector<std::vector<std::string>>& lines) {
  std::vector<std::size_t> widths;
  for (const auto& line : lines) {
    if (widths.size() < line.size()) widths.resize(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
  }
  std::vector<std::string> texts;
  for (const auto& line : lines) {
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
      text += line[i];
      if (i + 1 < line.size()) text.append(widths[i] - line[i].size() + 2, ' ');
    }
    texts.push_back(std::move(text));
  }
  return texts;
}

void PrintAligned(const std::vector<std::vector<std::string>>& lines) {
  for (const std::string& text : AlignedLines(lines)) std::cout << text << '\n';
}

bool AddressLess(const std::string& a, const std::string& b) {
  const std::uint32_t x = AddressValue(a);
  const std::uint32_t y = AddressValue(b);
  return x != y ? x < y : a < b;
}

}  // namespace kelvo::cli
