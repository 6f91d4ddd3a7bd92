// SPDX-License-Identifier: GPL-2.0-or-later
// The packet receive test's datagram stream on loopback: what leaves is what is counted, every
// way of ending it joins the worker promptly, and payload lengths stay in range.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "rftest/TestPacketSender.h"

namespace kelvo::rftest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kLoopback[] = "127.0.0.1";
// TEST-NET-1: never an address of this host.
constexpr char kForeignAddress[] = "192.0.2.1";

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::chrono::milliseconds TimeOf(const std::function<void()>& action) {
  const auto start = Clock::now();
  action();
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// Plays the device's test port: a UDP socket on 127.0.0.1 that a thread drains, counting the
// datagrams by length and any byte that is not the pattern.
class Receiver {
 public:
  explicit Receiver(std::uint8_t pattern) : pattern_(pattern) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int buffer = 4 << 20;  // capped by net.core.rmem_max; the thread drains anyway
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
    thread_ = std::thread([this] { Drain(); });
  }
  ~Receiver() { Finish(); }

  std::uint16_t Port() const { return port_; }
  std::uint64_t Count() const { return count_.load(); }

  // Reads what is still queued (until 100 ms of silence), stops the thread.
  void Finish() {
    if (!thread_.joinable()) return;
    finishing_.store(true);
    thread_.join();
    ::close(fd_);
  }
  // Valid after Finish.
  const std::map<std::size_t, std::uint64_t>& Lengths() const { return lengths_; }
  std::uint64_t WrongBytes() const { return wrongBytes_; }
  std::uint64_t Drops() const { return drops_; }

 private:
  void Drain() {
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    std::vector<std::uint8_t> data(65536);
    for (;;) {
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, finishing_.load() ? 100 : 10) <= 0) {
        if (finishing_.load()) return;
        continue;
      }
      iovec io{data.data(), data.size()};
      char control[CMSG_SPACE(sizeof(std::uint32_t))];
      msghdr message{};
      message.msg_iov = &io;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      const ssize_t length = ::recvmsg(fd_, &message, MSG_DONTWAIT);
      if (length < 0) continue;
      for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
          std::memcpy(&drops_, CMSG_DATA(c), sizeof(std::uint32_t));
        }
      }
      for (ssize_t i = 0; i < length; ++i) wrongBytes_ += data[i] != pattern_;
      ++lengths_[static_cast<std::size_t>(length)];
      count_.fetch_add(1);
    }
  }

  std::uint8_t pattern_;
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<bool> finishing_{false};
  std::atomic<std::uint64_t> count_{0};
  std::map<std::size_t, std::uint64_t> lengths_;
  std::uint64_t wrongBytes_ = 0;
  std::uint64_t drops_ = 0;
};

// True once nothing more arrives for 100 ms: a stream still running never settles.
bool Settles(const Receiver& receiver) {
  std::uint64_t last = receiver.Count();
  auto quietSince = Clock::now();
  return WaitUntil(
      [&] {
        const std::uint64_t now = receiver.Count();
        if (now != last) {
          last = now;
          quietSince = Clock::now();
        }
        return Clock::now() - quietSince > 100ms;
      },
      5s);
}

TestPacketSettings LoopbackSettings(std::uint16_t port, int length, int number) {
  TestPacketSettings settings;
  settings.wirelessAddress = kLoopback;
  settings.deviceAddress = kLoopback;
  settings.devicePort = port;
  settings.pattern = 0x5A;
  settings.packetLength = length;
  settings.packetNumber = number;
  settings.bindRetryInterval = 10ms;
  settings.raisePriority = false;
  return settings;
}

bool Ended(const TestPacketSender& sender) { return sender.State() == SenderState::Ended; }

TEST(TestPacketSender, PayloadIsLengthLess42ClampedTo0And1472) {
  const std::pair<int, std::size_t> cases[] = {
      {INT_MIN, 0}, {-1, 0},      {0, 0},       {41, 0},      {42, 0},         {43, 1},
      {64, 22},     {1500, 1458}, {1514, 1472}, {1515, 1472}, {INT_MAX, 1472},
  };
  for (const auto& [length, payload] : cases) {
    EXPECT_EQ(TestPayloadLength(length), payload) << "packet length " << length;
  }
}

TEST(TestPacketSender, SendsExactlyThePacketNumberAndEndsByItself) {
  // {packet length, packet number}: the smallest and the largest frames of the test.
  for (const auto& [length, number] : {std::pair{64, 500}, std::pair{1514, 300}}) {
    Receiver receiver(0x5A);
    TestPacketSender sender;
    ASSERT_TRUE(sender.Start(LoopbackSettings(receiver.Port(), length, number)));
    EXPECT_TRUE(sender.IsRunning());
    ASSERT_TRUE(WaitUntil([&] { return Ended(sender); }, 10s)) << "length " << length;
    receiver.Finish();
    EXPECT_FALSE(sender.IsRunning());
    EXPECT_EQ(sender.SentCount(), static_cast<std::uint32_t>(number));
    EXPECT_EQ(receiver.Drops(), 0u) << "the receiver fell behind; the comparison is void";
    const std::size_t payload = TestPayloadLength(length);
    EXPECT_EQ(receiver.Lengths(), (std::map<std::size_t, std::uint64_t>{{payload, number}}));
    EXPECT_EQ(receiver.WrongBytes(), 0u);
  }
}

TEST(TestPacketSender, DatagramLengthsAtAndBeyondTheLimits) {
  for (const int length : {0, 42, 43, 64, 1514, 1515, 9000}) {
    Receiver receiver(0x5A);
    TestPacketSender sender;
    ASSERT_TRUE(sender.Start(LoopbackSettings(receiver.Port(), length, 3)));
    ASSERT_TRUE(WaitUntil([&] { return Ended(sender); }, 5s));
    receiver.Finish();
    EXPECT_EQ(receiver.Lengths(),
              (std::map<std::size_t, std::uint64_t>{{TestPayloadLength(length), 3}}))
        << "packet length " << length;
    EXPECT_EQ(receiver.WrongBytes(), 0u);
  }
}

TEST(TestPacketSender, UnusableSettingsEndWithoutSending) {
  Receiver receiver(0x5A);
  for (TestPacketSettings settings :
       {LoopbackSettings(receiver.Port(), 64, 0), LoopbackSettings(receiver.Port(), 64, -7)}) {
    TestPacketSender sender;
    ASSERT_TRUE(sender.Start(settings));
    ASSERT_TRUE(WaitUntil([&] { return Ended(sender); }, 2s));
    EXPECT_FALSE(sender.IsRunning());
    EXPECT_EQ(sender.SentCount(), 0u);
  }
  TestPacketSettings badDevice = LoopbackSettings(receiver.Port(), 64, 5);
  badDevice.deviceAddress = "not an address";
  TestPacketSender sender;
  ASSERT_TRUE(sender.Start(badDevice));
  ASSERT_TRUE(WaitUntil([&] { return Ended(sender); }, 2s));
  receiver.Finish();
  EXPECT_EQ(receiver.Count(), 0u);
}

TEST(TestPacketSender, StopMidStreamJoinsPromptlyAndTheCountStops) {
  Receiver receiver(0x5A);
  TestPacketSender sender;
  ASSERT_TRUE(sender.Start(LoopbackSettings(receiver.Port(), 64, INT_MAX)));
  ASSERT_TRUE(WaitUntil([&] { return sender.SentCount() > 2000; }, 10s));
  sender.Stop();  // a stream that Stop did not interrupt would never end
  EXPECT_EQ(sender.State(), SenderState::Ended);
  EXPECT_FALSE(sender.IsRunning());
  const std::uint32_t atStop = sender.SentCount();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(sender.SentCount(), atStop);
  receiver.Finish();
  if (receiver.Drops() == 0) {
    EXPECT_EQ(receiver.Count(), atStop);
  }
  EXPECT_LT(atStop, static_cast<std::uint32_t>(INT_MAX));

  // A new start counts from 0 again.
  Receiver second(0x5A);
  ASSERT_TRUE(sender.Start(LoopbackSettings(second.Port(), 64, 10)));
  ASSERT_TRUE(WaitUntil([&] { return Ended(sender); }, 5s));
  second.Finish();
  EXPECT_EQ(sender.SentCount(), 10u);
  EXPECT_EQ(second.Count(), 10u);
}

TEST(TestPacketSender, StartWhileRunningReplacesTheStream) {
  Receiver first(0x5A);
  Receiver second(0x5A);
  TestPacketSender sender;
  ASSERT_TRUE(sender.Start(LoopbackSettings(first.Port(), 64, INT_MAX)));
  ASSERT_TRUE(WaitUntil([&] { return sender.SentCount() > 100; }, 10s));
  ASSERT_TRUE(sender.Start(LoopbackSettings(second.Port(), 1514, 20)));
  EXPECT_TRUE(Settles(first)) << "the first stream goes on";
  ASSERT_TRUE(WaitUntil([&] { return Ended(sender); }, 5s));
  second.Finish();
  EXPECT_EQ(sender.SentCount(), 20u);
  EXPECT_EQ(second.Lengths(), (std::map<std::size_t, std::uint64_t>{{1472, 20}}));
}

TEST(TestPacketSender, DestroyingStopsAndJoinsWhileSendingAndWhileBinding) {
  Receiver receiver(0x5A);
  auto sending = std::make_unique<TestPacketSender>();
  ASSERT_TRUE(sending->Start(LoopbackSettings(receiver.Port(), 1514, INT_MAX)));
  ASSERT_TRUE(WaitUntil([&] { return sending->SentCount() > 100; }, 10s));
  sending.reset();
  EXPECT_TRUE(Settles(receiver)) << "datagrams keep coming after the sender was destroyed";

  TestPacketSettings binding = LoopbackSettings(receiver.Port(), 64, 10);
  binding.wirelessAddress = kForeignAddress;
  // An interval no join comes near: sitting it out would show.
  binding.bindRetryInterval = 10min;
  auto waiting = std::make_unique<TestPacketSender>();
  ASSERT_TRUE(waiting->Start(binding));
  std::this_thread::sleep_for(50ms);
  EXPECT_LT(TimeOf([&] { waiting.reset(); }), 1min);
}

TEST(TestPacketSender, AddressNotOnThisHostIsRetriedSilentlyUntilStopped) {
  Receiver receiver(0x5A);
  TestPacketSettings settings = LoopbackSettings(receiver.Port(), 64, 10);
  settings.wirelessAddress = kForeignAddress;
  settings.bindRetryInterval = 20ms;
  TestPacketSender sender;
  ASSERT_TRUE(sender.Start(settings));
  std::this_thread::sleep_for(200ms);  // about ten attempts
  EXPECT_EQ(sender.State(), SenderState::Binding);
  EXPECT_TRUE(sender.IsRunning());
  EXPECT_EQ(sender.SentCount(), 0u);
  sender.Stop();
  EXPECT_EQ(sender.State(), SenderState::Ended);

  // With a long interval the first attempt comes only after it: a stop during that wait must
  // not sit it out.
  settings.wirelessAddress = kLoopback;
  settings.bindRetryInterval = 10min;
  ASSERT_TRUE(sender.Start(settings));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sender.State(), SenderState::Binding);
  EXPECT_LT(TimeOf([&] { sender.Stop(); }), 1min);
  receiver.Finish();
  EXPECT_EQ(receiver.Count(), 0u);
}

// In a fresh network namespace 10.200.0.1 is no address of ours and cannot be bound; the sender
// keeps retrying and starts sending once the address is given to the loopback interface. The
// child process exits 0 on success, 77 when namespaces are not available, or the failed step.
int RunBindRetryInNamespace() {
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return 77;
  constexpr char kLateAddress[] = "10.200.0.1";
  const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  // Up first: a namespace without any local route accepts a bind to any address.
  if (::ioctl(control, SIOCGIFFLAGS, &request) != 0) return 1;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  if (::ioctl(control, SIOCSIFFLAGS, &request) != 0) return 2;

  TestPacketSender sender;
  TestPacketSettings settings = LoopbackSettings(40000, 64, 5);
  settings.wirelessAddress = kLateAddress;
  settings.deviceAddress = kLateAddress;
  settings.bindRetryInterval = 30ms;
  if (!sender.Start(settings)) return 3;
  std::this_thread::sleep_for(150ms);
  if (sender.State() != SenderState::Binding || sender.SentCount() != 0) return 4;

  // The address arrives, as when the wireless interface associates late.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  ::inet_pton(AF_INET, kLateAddress, &address.sin_addr);
  std::memcpy(&request.ifr_addr, &address, sizeof address);
  if (::ioctl(control, SIOCSIFADDR, &request) != 0) return 5;
  ::close(control);
  const int device = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  address.sin_port = htons(40000);
  if (::bind(device, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 6;

  if (!WaitUntil([&] { return Ended(sender); }, 5s)) return 7;
  if (sender.SentCount() != 5) return 8;
  int received = 0;
  char data[64];
  while (::recv(device, data, sizeof data, MSG_DONTWAIT) == 22) ++received;
  return received == 5 ? 0 : 9;
}

TEST(TestPacketSender, StartsSendingOnceTheAddressAppears) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(RunBindRetryInNamespace());
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no user and network namespaces here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed step";
}

// Counts the UDP datagrams that arrive for one loopback port, whether or not a socket listens
// there (a raw socket sees them before UDP answers with port-unreachable). Needs CAP_NET_RAW.
class RawUdpCounter {
 public:
  explicit RawUdpCounter(std::uint16_t port) : port_(port) {
    fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd_ < 0) return;
    // Only datagrams to the port are queued: other tests' traffic must not crowd them out.
    sock_filter program[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),  // X = length of the IP header
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 2),   // A = UDP destination port
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, port, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    const sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
    ::setsockopt(fd_, SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter);
    const int buffer = 4 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    thread_ = std::thread([this] { Count(); });
  }
  ~RawUdpCounter() { Finish(); }
  bool Available() const { return fd_ >= 0; }
  std::uint64_t Finish() {
    if (thread_.joinable()) {
      finishing_.store(true);
      thread_.join();
      ::close(fd_);
    }
    return count_;
  }

 private:
  void Count() {
    std::vector<std::uint8_t> packet(65536);
    // The socket sees every UDP datagram of the machine; other tests may keep it busy, so the
    // drain after Finish ends at a quiet moment or after a short while, whichever comes first.
    std::optional<std::chrono::steady_clock::time_point> drainEnd;
    for (;;) {
      if (!drainEnd && finishing_.load()) {
        drainEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
      }
      if (drainEnd && std::chrono::steady_clock::now() > *drainEnd) return;
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, drainEnd ? 100 : 10) <= 0) {
        if (drainEnd) return;
        continue;
      }
      const ssize_t length = ::recv(fd_, packet.data(), packet.size(), MSG_DONTWAIT);
      if (length < 20) continue;
      const std::size_t header = (packet[0] & 0x0F) * 4u;
      if (static_cast<std::size_t>(length) < header + 8) continue;
      const std::uint16_t destination =
          static_cast<std::uint16_t>(packet[header + 2] << 8 | packet[header + 3]);
      count_ += destination == port_;
    }
  }

  std::uint16_t port_;
  int fd_ = -1;
  std::thread thread_;
  std::atomic<bool> finishing_{false};
  std::uint64_t count_ = 0;
};

TEST(TestPacketSender, PortUnreachableFromTheDeviceNeitherStopsNorMiscountsTheStream) {
  // A port nobody listens on: take an ephemeral one and give it back.
  std::uint16_t closedPort = 0;
  {
    Receiver probe(0);
    closedPort = probe.Port();
  }
  RawUdpCounter wire(closedPort);
  TestPacketSender sender;
  ASSERT_TRUE(sender.Start(LoopbackSettings(closedPort, 64, 400)));
  ASSERT_TRUE(WaitUntil([&] { return Ended(sender); }, 10s));
  EXPECT_EQ(sender.SentCount(), 400u);
  // Without CAP_NET_RAW only the count and the self-ending are checked.
  if (wire.Available()) {
    EXPECT_EQ(wire.Finish(), 400u) << "datagrams that reached the port";
  }
}

}  // namespace
}  // namespace kelvo::rftest
