// SPDX-License-Identifier: GPL-2.0-or-later
#include "fleet/DeviceFinder.h"

#include <algorithm>
#include <set>

#include "fleet/HeadlessSheet.h"
#include "mib/Conversions.h"

namespace kelvo::fleet {
namespace {

// The read time-out of the session's own reads.
constexpr int kGetTimeoutMs = 2000;
// How often a collecting discovery looks at `stop`, and a waiter at its deadline.
constexpr auto kPollSlice = std::chrono::milliseconds(100);
constexpr std::size_t kMacBytes = 6;

}  // namespace

void CollectDiscovery(snmp::AgentSession& session, snmp::WaitHook& wait,
                      std::chrono::steady_clock::time_point deadline,
                      const std::function<bool(const std::string& address)>& found,
                      const std::function<bool()>& stop) {
  using Clock = std::chrono::steady_clock;
  std::set<std::string> seen;
  snmp::SnmpComponent& component = session.Component();
  while (!stop || !stop()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    if (wait.WaitReadable(component.Descriptor(), std::min(left, kPollSlice))) {
      component.ProcessIncoming();
    }
    // The list is newest first.
    const auto& rows = session.AccessPoints();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
      if (seen.insert(row->address).second && !found(row->address)) return;
    }
  }
}

std::optional<std::vector<std::uint8_t>> GetValue(snmp::AgentSession& session,
                                                  const std::string& host, mib::Variable variable) {
  session.BeginRequest(snmp::PduType::GetRequest, snmp::kReadCommunity);
  session.AddGetVariable(mib::FullOid(variable));
  if (!session.SendBuilt(host, kGetTimeoutMs)) return std::nullopt;
  if (session.Component().Message().ErrorStatus() != 0) return std::nullopt;
  return session.ResponseValueBytes(1);
}

std::optional<std::string> ReadMacAddress(snmp::AgentSession& session, const std::string& host) {
  const auto bytes = GetValue(session, host, mib::Variable::MacAddress);
  if (!bytes || bytes->size() < kMacBytes) return std::nullopt;
  return mib::HexText(std::span(bytes->data(), kMacBytes));
}

DeviceFinder::DeviceFinder(Settings settings) : settings_(std::move(settings)) {}

DeviceFinder::~DeviceFinder() = default;

void DeviceFinder::Know(const std::string& address, const std::string& mac) {
  const std::lock_guard lock(mutex_);
  known_[address] = mac;
}

std::size_t DeviceFinder::Rounds() const {
  const std::lock_guard lock(mutex_);
  return started_;
}

std::optional<std::string> DeviceFinder::Find(const std::string& mac, Clock::time_point deadline,
                                              const std::function<bool()>& stop) {
  std::unique_lock lock(mutex_);
  // Where this access point answered before it restarted says nothing now.
  std::erase_if(known_, [&mac](const auto& entry) { return entry.second == mac; });
  // A round that is running began before the restart: only the rounds after it count.
  const std::uint64_t first = started_ + 1;
  for (;;) {
    if (const auto sighting = seen_.find(mac);
        sighting != seen_.end() && sighting->second.round >= first) {
      return sighting->second.address;
    }
    if (broken_ || Clock::now() >= deadline || (stop && stop())) return std::nullopt;
    if (running_) {
      roundEnded_.wait_for(lock, kPollSlice);
      continue;
    }
    running_ = true;
    const std::uint64_t number = ++started_;
    lock.unlock();
    const bool ran = RunRound(number);
    lock.lock();
    running_ = false;
    broken_ = broken_ || !ran;
    roundEnded_.notify_all();
  }
}

bool DeviceFinder::RunRound(std::uint64_t number) {
  if (!sheet_) {
    auto sheet = std::make_unique<HeadlessSheet>();
    if (!sheet->Start(settings_.agentPort, {})) return false;
    sheet->Agent().SetDiscoveryTargets(settings_.discoveryTargets);
    sheet_ = std::move(sheet);
  }
  snmp::AgentSession& session = sheet_->Agent();
  snmp::PollWaitHook wait;
  std::vector<std::string> answered;
  session.Discover();
  CollectDiscovery(session, wait, Clock::now() + settings_.round,
                   [&answered](const std::string& address) {
                     answered.push_back(address);
                     return true;
                   },
                   {});
  std::map<std::string, std::string> known;
  {
    const std::lock_guard lock(mutex_);
    known = known_;
  }
  std::map<std::string, Sighting> sightings;
  for (const std::string& address : answered) {
    std::optional<std::string> mac;
    if (const auto entry = known.find(address); entry != known.end()) {
      mac = entry->second;
    } else {
      mac = ReadMacAddress(session, address);
    }
    if (mac) sightings[*mac] = {address, number};
  }
  const std::lock_guard lock(mutex_);
  for (auto& [mac, sighting] : sightings) seen_[mac] = std::move(sighting);
  return true;
}

}  // namespace kelvo::fleet
