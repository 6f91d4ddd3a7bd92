// SPDX-License-Identifier: GPL-2.0-or-later
// Finding access points again after a restart, when a new IP setting may have moved them: by
// their MAC address, through rounds of discovery followed by a read of the MAC address of each
// answer that is not known to come from some other access point. Many threads may look at
// once; they share the rounds, so a fleet restarting together costs one discovery a round.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "mib/MibVariables.h"
#include "snmp/AgentSession.h"
#include "snmp/WaitHook.h"

namespace kelvo::fleet {

class HeadlessSheet;

// A device goes on answering for a moment after it acknowledged a restart (or an upgrade that
// ends in one); a discovery in that moment would find it where it was, before the restart.
inline constexpr std::chrono::seconds kRestartSettle{1};

// Hands every address that answers the discovery the session has just sent to `found`, once,
// until the deadline, until `found` returns false or until `stop` returns true.
void CollectDiscovery(snmp::AgentSession& session, snmp::WaitHook& wait,
                      std::chrono::steady_clock::time_point deadline,
                      const std::function<bool(const std::string& address)>& found,
                      const std::function<bool()>& stop);

// One variable by GetRequest with the read community, quietly: nullopt when the access point
// did not answer, refused or sent no value.
std::optional<std::vector<std::uint8_t>> GetValue(snmp::AgentSession& session,
                                                  const std::string& host, mib::Variable variable);

// The MAC address as the System page shows it: 12 upper-case hexadecimal digits.
std::optional<std::string> ReadMacAddress(snmp::AgentSession& session, const std::string& host);

class DeviceFinder {
 public:
  using Clock = std::chrono::steady_clock;
  struct Settings {
    std::uint16_t agentPort = 161;
    std::vector<std::string> discoveryTargets;  // empty: the session's broadcasts
    std::chrono::milliseconds round{1000};      // how long each discovery collects answers
  };
  explicit DeviceFinder(Settings settings);
  ~DeviceFinder();
  DeviceFinder(const DeviceFinder&) = delete;
  DeviceFinder& operator=(const DeviceFinder&) = delete;

  // An access point that is not restarting: its answers need no read of the MAC address.
  void Know(const std::string& address, const std::string& mac);

  // Waits for the access point with this MAC address to answer a discovery that began after
  // the call; its address then. nullopt at the deadline, when `stop` returns true, or when the
  // SNMP component cannot be set up.
  std::optional<std::string> Find(const std::string& mac, Clock::time_point deadline,
                                  const std::function<bool()>& stop);

  std::size_t Rounds() const;

 private:
  struct Sighting {
    std::string address;
    std::uint64_t round = 0;
  };
  // Runs round `number` without the lock held; false when no session could be made.
  bool RunRound(std::uint64_t number);

  const Settings settings_;
  mutable std::mutex mutex_;
  std::condition_variable roundEnded_;
  bool running_ = false;
  bool broken_ = false;
  std::uint64_t started_ = 0;
  std::map<std::string, std::string> known_;  // address -> MAC
  std::map<std::string, Sighting> seen_;      // MAC -> where the latest round saw it
  // Used only by the thread that runs the round.
  std::unique_ptr<HeadlessSheet> sheet_;
};

}  // namespace kelvo::fleet
