// SPDX-License-Identifier: GPL-2.0-or-later
// Agents played by hand: UDP sockets on loopback addresses that answer the component's
// requests from inside its wait hook, so a test runs on one thread and decides every reply
// (its values, its delay, its source address, its request id).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "snmp/SnmpComponent.h"
#include "snmp/WaitHook.h"
#include "support/TestSupport.h"

namespace kelvo::test {

class HandAgent final : public snmp::WaitHook {
 public:
  struct Received {
    AgentRequest request;
    std::size_t agent;  // index of the address that received it
    std::string fromAddress;
    std::uint16_t fromPort;
  };
  using Responder = std::function<void(const Received&)>;

  // One socket per address, all on the same (ephemeral) port.
  explicit HandAgent(const std::vector<std::string>& addresses);

  std::uint16_t Port() const { return port_; }
  const std::string& Address(std::size_t agent) const { return addresses_[agent]; }
  void SetResponder(Responder responder) { responder_ = std::move(responder); }
  const std::vector<Received>& Requests() const { return requests_; }

  // Sends a reply to the manager that sent `to`, from agent `from`, after delayMs.
  void Reply(const Received& to, std::size_t from, const std::vector<ReplyValue>& values,
             int errorStatus = 0, int errorIndex = 0, int delayMs = 0, long requestId = -1);

  // Serves the agents while waiting for the component's descriptor.
  bool WaitReadable(int fd, std::chrono::milliseconds timeout) override;

  // Lets the agents answer and delivers what the component receives, for `duration`.
  void Pump(snmp::SnmpComponent& component, std::chrono::milliseconds duration);

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point due;
    std::size_t from;
    std::vector<std::uint8_t> datagram;
    std::string toAddress;
    std::uint16_t toPort;
  };
  void ServeAgent(std::size_t agent);
  void SendDue();

  std::vector<std::string> addresses_;
  std::vector<std::unique_ptr<UdpPeer>> sockets_;
  std::uint16_t port_ = 0;
  Responder responder_;
  std::vector<Received> requests_;
  std::vector<Pending> pending_;
};

}  // namespace kelvo::test
