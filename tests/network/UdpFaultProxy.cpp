// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-udp-fault-proxy: a UDP relay between one client and one upstream that loses,
// duplicates and reorders chosen datagrams, the same ones on every run.
//
// Datagrams are counted from 1 in each direction: "up" is client to upstream, "down" upstream
// to client. A fault names its direction and datagrams: "down:2,5" the 2nd and 5th, "up:%7"
// every 7th, "down:3,%10" both. Faults:
//   --drop SPEC        the datagram is not forwarded
//   --duplicate SPEC   the datagram is forwarded twice
//   --hold SPEC        the datagram is forwarded after the next one in its direction (or after
//                      --hold-ms, 300 by default, when none comes): reordering, or a late reply
// The client is whoever last sent to the listening socket. With --follow-upstream-port the
// upstream port becomes the source port of the upstream's last datagram (a TFTP server answers
// from a port of its own). --source binds the upstream socket to an address.
//
// Usage: kelvo-udp-fault-proxy --listen ADDR:PORT --upstream ADDR:PORT [--source ADDR]
//                              [--follow-upstream-port] [faults...]
// Prints "ready PORT" once listening; ends when stdin closes, printing the counts.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

enum Direction { kUp, kDown, kDirections };

// Which datagrams of one direction a fault takes.
struct Selection {
  std::set<std::uint64_t> numbers;
  std::uint64_t every = 0;
  bool Takes(std::uint64_t number) const {
    return numbers.contains(number) || (every != 0 && number % every == 0);
  }
};

struct Faults {
  std::array<Selection, kDirections> drop, duplicate, hold;
};

bool ParseSelection(std::string_view spec, std::array<Selection, kDirections>& selections) {
  const auto colon = spec.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view direction = spec.substr(0, colon);
  Selection& selection = selections[direction == "up" ? kUp : kDown];
  if (direction != "up" && direction != "down") return false;
  std::string_view list = spec.substr(colon + 1);
  while (!list.empty()) {
    const auto comma = list.find(',');
    const std::string item(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (item.empty()) return false;
    if (item[0] == '%') {
      selection.every = std::stoull(item.substr(1));
    } else {
      selection.numbers.insert(std::stoull(item));
    }
  }
  return true;
}

std::optional<sockaddr_in> ParseEndpoint(const std::string& text) {
  const auto colon = text.rfind(':');
  sockaddr_in address{};
  address.sin_family = AF_INET;
  const std::string host = colon == std::string::npos ? text : text.substr(0, colon);
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return std::nullopt;
  if (colon != std::string::npos) {
    address.sin_port = htons(static_cast<std::uint16_t>(std::stoi(text.substr(colon + 1))));
  }
  return address;
}

int BoundSocket(const sockaddr_in& address) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

struct Held {
  Bytes data;
  Clock::time_point due;
};

class Relay {
 public:
  Relay(int listenFd, int upstreamFd, sockaddr_in upstream, bool followUpstreamPort, Faults faults,
        std::chrono::milliseconds holdTime)
      : fds_{listenFd, upstreamFd},
        upstream_(upstream),
        followUpstreamPort_(followUpstreamPort),
        faults_(std::move(faults)),
        holdTime_(holdTime) {}

  // Reads one datagram from the socket of the direction's source and relays it.
  void Receive(Direction direction) {
    Bytes buffer(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fds_[direction], buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return;
    buffer.resize(static_cast<std::size_t>(n));
    if (direction == kUp) {
      client_ = from;
      haveClient_ = true;
    } else if (followUpstreamPort_) {
      upstream_.sin_port = from.sin_port;
    }
    const std::uint64_t number = ++counts_[direction].received;
    if (faults_.drop[direction].Takes(number)) {
      ++counts_[direction].dropped;
      return;
    }
    if (faults_.hold[direction].Takes(number) && !held_[direction]) {
      held_[direction] = Held{std::move(buffer), Clock::now() + holdTime_};
      ++counts_[direction].held;
      return;
    }
    Forward(direction, buffer);
    if (faults_.duplicate[direction].Takes(number)) {
      Forward(direction, buffer);
      ++counts_[direction].duplicated;
    }
    ReleaseHeld(direction);
  }

  // Releases what was held longer than the hold time; returns the poll time-out until the
  // next release (-1 when nothing is held).
  int ReleaseDue() {
    int timeout = -1;
    for (const Direction direction : {kUp, kDown}) {
      if (!held_[direction]) continue;
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(held_[direction]->due - Clock::now());
      if (left.count() <= 0) {
        ReleaseHeld(direction);
      } else if (timeout < 0 || left.count() < timeout) {
        timeout = static_cast<int>(left.count());
      }
    }
    return timeout;
  }

  void PrintCounts() const {
    const char* names[] = {"up", "down"};
    for (const Direction direction : {kUp, kDown}) {
      const Counts& c = counts_[direction];
      std::cout << names[direction] << ": received " << c.received << " forwarded " << c.forwarded
                << " dropped " << c.dropped << " duplicated " << c.duplicated << " held " << c.held
                << '\n';
    }
  }

 private:
  struct Counts {
    std::uint64_t received = 0, forwarded = 0, dropped = 0, duplicated = 0, held = 0;
  };

  void Forward(Direction direction, const Bytes& data) {
    // Toward the client from the listening socket, toward the upstream from its own.
    const int fd = fds_[direction == kUp ? kDown : kUp];
    const sockaddr_in& to = direction == kUp ? upstream_ : client_;
    if (direction == kDown && !haveClient_) return;
    ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ++counts_[direction].forwarded;
  }

  void ReleaseHeld(Direction direction) {
    if (!held_[direction]) return;
    const Bytes data = std::move(held_[direction]->data);
    held_[direction].reset();
    Forward(direction, data);
  }

  std::array<int, kDirections> fds_;
  sockaddr_in upstream_;
  sockaddr_in client_{};
  bool haveClient_ = false;
  bool followUpstreamPort_;
  Faults faults_;
  std::chrono::milliseconds holdTime_;
  std::array<std::optional<Held>, kDirections> held_;
  std::array<Counts, kDirections> counts_{};
};

int Usage() {
  std::cerr << "usage: kelvo-udp-fault-proxy --listen ADDR:PORT --upstream ADDR:PORT "
               "[--source ADDR] [--follow-upstream-port] [--hold-ms MS] [--drop SPEC] "
               "[--duplicate SPEC] [--hold SPEC]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<sockaddr_in> listen, upstream;
  sockaddr_in source{};
  source.sin_family = AF_INET;
  bool follow = false;
  Faults faults;
  int holdMs = 300;
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--follow-upstream-port") {
      follow = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    bool ok = true;
    if (name == "--listen") {
      listen = ParseEndpoint(value);
    } else if (name == "--upstream") {
      upstream = ParseEndpoint(value);
    } else if (name == "--source") {
      const auto parsed = ParseEndpoint(value);
      ok = parsed.has_value();
      if (parsed) source = *parsed;
    } else if (name == "--hold-ms") {
      holdMs = std::stoi(value);
    } else if (name == "--drop") {
      ok = ParseSelection(value, faults.drop);
    } else if (name == "--duplicate") {
      ok = ParseSelection(value, faults.duplicate);
    } else if (name == "--hold") {
      ok = ParseSelection(value, faults.hold);
    } else {
      ok = false;
    }
    if (!ok) return Usage();
  }
  if (!listen || !upstream) return Usage();

  const int listenFd = BoundSocket(*listen);
  const int upstreamFd = BoundSocket(source);
  if (listenFd < 0 || upstreamFd < 0) {
    std::cerr << "kelvo-udp-fault-proxy: cannot bind\n";
    return 1;
  }
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&bound), &length);
  std::cout << "ready " << ntohs(bound.sin_port) << std::endl;

  Relay relay(listenFd, upstreamFd, *upstream, follow, std::move(faults),
              std::chrono::milliseconds(holdMs));
  for (;;) {
    const int timeout = relay.ReleaseDue();
    std::array<pollfd, 3> pfds{{{listenFd, POLLIN, 0}, {upstreamFd, POLLIN, 0}, {0, POLLIN, 0}}};
    if (::poll(pfds.data(), pfds.size(), timeout) < 0) continue;
    if (pfds[0].revents & POLLIN) relay.Receive(kUp);
    if (pfds[1].revents & POLLIN) relay.Receive(kDown);
    if (pfds[2].revents != 0) {
      char byte = 0;
      if (::read(0, &byte, 1) <= 0) break;
    }
  }
  relay.PrintCounts();
  ::close(listenFd);
  ::close(upstreamFd);
  return 0;
}
