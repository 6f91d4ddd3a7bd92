// SPDX-License-Identifier: GPL-2.0-or-later
// Three simulated access points (127.0.0.2 to .4) in-process: requests go in as bytes, replies
// come out as bytes and are taken apart with Net-SNMP.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>

#include "AgentPackets.h"
#include "ApSimulator.h"
#include "statistics/CounterBlocks.h"

namespace kelvo::test {

// The counter with this key as the device's counter block shows it now.
inline std::uint32_t CounterAt(const apsim::ApDevice& device, std::string_view key,
                               apsim::SimTime now) {
  const auto counter = statistics::CounterByKey(key);
  if (!counter) throw std::invalid_argument("no counter " + std::string(key));
  const statistics::CounterSlot& slot = statistics::kCounters[*counter];
  const apsim::SnmpValue block =
      device.Read(statistics::kCounterBlocks[static_cast<std::size_t>(slot.block)].variable, now);
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | block.bytes.at(slot.offset + i);
  return value;
}

class AgentFixture : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kAp1 = 0x7F000002;
  static constexpr std::uint32_t kManager = 0x7F000001;
  static constexpr std::uint16_t kManagerPort = 40000;

  std::vector<apsim::OutgoingReply> Send(const std::vector<std::uint8_t>& packet,
                                         std::uint32_t destination = kAp1) {
    return simulator.HandleDatagram(packet, destination, kManager, kManagerPort, now);
  }

  // One request to one access point that must be answered; the reply counts as sent.
  Message Exchange(const std::vector<std::uint8_t>& packet, std::uint32_t destination = kAp1) {
    const auto replies = Send(packet, destination);
    if (replies.size() != 1) throw std::runtime_error("expected exactly one reply");
    simulator.ReplySent(replies[0], now);
    auto message = ParseMessage(replies[0].packet);
    if (!message) throw std::runtime_error("reply does not parse");
    return *message;
  }

  Message Get(std::vector<Binding> variables, std::uint32_t destination = kAp1) {
    return Exchange(GetRequest("tundra", std::move(variables)), destination);
  }
  Message Set(std::vector<Binding> variables, const std::string& community = "admin") {
    return Exchange(SetRequest(community, std::move(variables)));
  }
  Binding Read(const std::string& variable) { return Get({Null(variable)}).variables.at(0); }

  apsim::ApSimulator simulator{apsim::SimulatorSettings{}};
  apsim::SimTime now{0};
};

}  // namespace kelvo::test
