// SPDX-License-Identifier: GPL-2.0-or-later
#include "integration/HandAgent.h"

#include <poll.h>

#include <algorithm>

namespace kelvo::test {

HandAgent::HandAgent(const std::vector<std::string>& addresses) : addresses_(addresses) {
  for (const std::string& address : addresses_) {
    sockets_.push_back(std::make_unique<UdpPeer>(address, port_));
    port_ = sockets_.back()->Port();
  }
}

void HandAgent::Reply(const Received& to, std::size_t from, const std::vector<ReplyValue>& values,
                      int errorStatus, int errorIndex, int delayMs, long requestId) {
  const long id = requestId >= 0 ? requestId : to.request.requestId;
  pending_.push_back({Clock::now() + std::chrono::milliseconds(delayMs), from,
                      EncodeResponse(id, to.request.community, values, errorStatus, errorIndex),
                      to.fromAddress, to.fromPort});
  SendDue();
}

void HandAgent::SendDue() {
  const auto now = Clock::now();
  // Sent in the order they fell due; equal times keep the order they were queued in.
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const Pending& a, const Pending& b) { return a.due < b.due; });
  while (!pending_.empty() && pending_.front().due <= now) {
    const Pending& next = pending_.front();
    sockets_[next.from]->SendTo(next.datagram, next.toAddress, next.toPort);
    pending_.erase(pending_.begin());
  }
}

void HandAgent::ServeAgent(std::size_t agent) {
  std::vector<std::uint8_t> datagram;
  Received received;
  if (!sockets_[agent]->Receive(datagram, received.fromAddress, received.fromPort, 0)) return;
  auto request = DecodeRequest(datagram);
  if (!request) return;
  received.request = std::move(*request);
  received.agent = agent;
  requests_.push_back(received);
  if (responder_) responder_(received);
}

bool HandAgent::WaitReadable(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    SendDue();
    auto until = deadline;
    if (!pending_.empty()) until = std::min(until, pending_.front().due);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    std::vector<pollfd> fds{{fd, POLLIN, 0}};
    for (const auto& socket : sockets_) fds.push_back({socket->Descriptor(), POLLIN, 0});
    ::poll(fds.data(), fds.size(), std::max<int>(0, static_cast<int>(left.count())));
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents & POLLIN) ServeAgent(i - 1);
    }
    if (fds[0].revents & POLLIN) return true;
    if (Clock::now() >= deadline) return false;
  }
}

void HandAgent::Pump(snmp::SnmpComponent& component, std::chrono::milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    if (WaitReadable(component.Descriptor(), left)) component.ProcessIncoming();
  }
}

}  // namespace kelvo::test
