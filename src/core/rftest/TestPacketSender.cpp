// SPDX-License-Identifier: GPL-2.0-or-later
// Why the stream is paced although the receive test wants it back to back: a UDP sendto() on
// Linux reports success even when the interface queue then drops the datagram, so a plain
// loop on a slow radio link "sends" thousands of datagrams of which a few dozen leave. Two
// things make the count honest:
// - a small SO_SNDBUF: a datagram stays charged to the socket until the driver has sent it, so
//   once a few frames are queued the next send would block; we wait for room (woken by Stop
//   too) instead of overrunning the queue;
// - IP_RECVERR: with it the kernel reports a queue drop as ENOBUFS instead of hiding it, and we
//   back off briefly before trying again.
// The socket stays unconnected, so the device's ICMP port-unreachable (nothing listens on its
// test port unless the test runs) fails at most the one send that collects it; that send did
// not leave and is not counted.
#include "rftest/TestPacketSender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>
#include <vector>

namespace kelvo::rftest {
namespace {

using std::chrono::milliseconds;

// A few full frames in flight (the kernel doubles the value): enough to keep any link busy,
// small enough to stay below a radio driver's or a shaper's queue.
constexpr int kSendBufferBytes = 16 * 1024;
constexpr milliseconds kFirstBackOff{1};
constexpr milliseconds kLongestBackOff{16};

using util::UniqueFd;

// The highest priority this process may give the worker. SCHED_FIFO at its lowest level already
// runs ahead of every time-shared thread (the GUI included); higher levels would also outrank
// the kernel's threaded interrupt handlers, which the stream itself needs. Without the right to
// real-time scheduling, the lowest nice value RLIMIT_NICE permits; otherwise unchanged.
SenderPriority RaiseOwnPriority() {
  sched_param param{};
  param.sched_priority = ::sched_get_priority_min(SCHED_FIFO);
  if (::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0) {
    return SenderPriority::RealTime;
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_NICE, &limit) != 0) return SenderPriority::Normal;
  // RLIMIT_NICE n allows nice values down to 20 - n.
  const int lowest = limit.rlim_cur == RLIM_INFINITY
                         ? -20
                         : 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
  const auto thread = static_cast<id_t>(::gettid());
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, thread);
  if (errno != 0 || lowest >= current) return SenderPriority::Normal;
  // On Linux PRIO_PROCESS with a thread id changes that thread alone.
  return ::setpriority(PRIO_PROCESS, thread, lowest) == 0 ? SenderPriority::RaisedNice
                                                          : SenderPriority::Normal;
}

// Waits up to `timeout` (-1: no limit) for `events` on `fd` (none when fd < 0) or for the wake
// eventfd; returns the revents of fd.
short WaitFor(int wakeFd, int fd, short events, int timeoutMs) {
  pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
  const nfds_t count = fd >= 0 ? 2 : 1;
  const auto deadline = std::chrono::steady_clock::now() + milliseconds(timeoutMs);
  for (;;) {
    int wait = timeoutMs;
    if (timeoutMs > 0) {
      const auto left =
          std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now());
      wait = static_cast<int>(std::max<milliseconds::rep>(left.count(), 0));
    }
    const int ready = ::poll(fds, count, wait);
    if (ready >= 0) return count == 2 ? fds[1].revents : short{0};
    if (errno != EINTR) return 0;
  }
}

// ICMP reports that IP_RECVERR queued; read so the queue (charged to the receive buffer) stays
// empty and poll does not keep signalling POLLERR.
void DrainErrorQueue(int fd) {
  char data[64];
  char control[512];
  for (int i = 0; i < 64; ++i) {
    iovec io{data, sizeof data};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return;
  }
}

bool ParseAddress(const std::string& text, in_addr* address) {
  return ::inet_pton(AF_INET, text.c_str(), address) == 1;
}

UniqueFd BindLocal(const std::string& localAddress) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  if (!ParseAddress(localAddress, &local.sin_addr)) return UniqueFd();
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) return fd;
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    fd.Reset();
    return fd;
  }
  // Both are refinements; the stream still runs, less honestly paced, without them.
  const int sendBuffer = kSendBufferBytes;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  const int on = 1;
  ::setsockopt(fd.Get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
  return fd;
}

}  // namespace

std::size_t TestPayloadLength(int packetLength) {
  if (packetLength <= kTestFrameOverhead) return 0;
  return std::min(static_cast<std::size_t>(packetLength - kTestFrameOverhead), kMaxTestPayload);
}

TestPacketSender::TestPacketSender() = default;

TestPacketSender::~TestPacketSender() { Stop(); }

bool TestPacketSender::Start(const TestPacketSettings& settings) {
  Stop();
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC));
  if (!wake.Valid()) return false;
  sent_.store(0);
  priority_.store(SenderPriority::Normal);
  state_.store(SenderState::Binding);
  running_.store(true);
  try {
    worker_ = std::thread(&TestPacketSender::Run, this, settings, wake.Get());
  } catch (const std::system_error&) {
    running_.store(false);
    state_.store(SenderState::Ended);
    return false;
  }
  wake_ = std::move(wake);
  return true;
}

void TestPacketSender::Stop() {
  running_.store(false);
  if (wake_.Valid()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
  }
  if (worker_.joinable()) worker_.join();
  wake_.Reset();
}

void TestPacketSender::Run(const TestPacketSettings& settings, int wakeFd) {
  if (settings.raisePriority) priority_.store(RaiseOwnPriority());
  sockaddr_in device{};
  device.sin_family = AF_INET;
  device.sin_port = htons(settings.devicePort);
  // Nothing can be sent to an unreadable address, and a packet number below 1 asks for nothing.
  if (!ParseAddress(settings.deviceAddress, &device.sin_addr) || settings.packetNumber < 1) {
    running_.store(false);
    state_.store(SenderState::Ended);
    return;
  }
  const auto target = static_cast<std::uint32_t>(settings.packetNumber);
  const int interval =
      static_cast<int>(std::max<milliseconds::rep>(settings.bindRetryInterval.count(), 0));

  UniqueFd socket;
  while (!socket.Valid()) {
    if (interval > 0) WaitFor(wakeFd, -1, 0, interval);
    if (!running_.load()) {
      state_.store(SenderState::Ended);
      return;
    }
    socket = BindLocal(settings.wirelessAddress);
  }

  // Filled once, before the first datagram.
  const std::vector<std::uint8_t> payload(TestPayloadLength(settings.packetLength),
                                          settings.pattern);
  state_.store(SenderState::Sending);
  milliseconds backOff = kFirstBackOff;
  while (running_.load()) {
    const ssize_t sent = ::sendto(socket.Get(), payload.data(), payload.size(), MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr*>(&device), sizeof device);
    if (sent >= 0) {
      backOff = kFirstBackOff;
      if (sent_.fetch_add(1) + 1 >= target) running_.store(false);
      continue;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      // The send buffer is full: the link is slower than we are. Wait for room or Stop.
      if (WaitFor(wakeFd, socket.Get(), POLLOUT, -1) & POLLERR) DrainErrorQueue(socket.Get());
      continue;
    }
    DrainErrorQueue(socket.Get());
    // A port-unreachable is reported once, by this send; the next one goes out.
    if (error == ECONNREFUSED) continue;
    // ENOBUFS (the interface queue dropped it), an unreachable network, a firewall: do not spin.
    WaitFor(wakeFd, -1, 0, static_cast<int>(backOff.count()));
    backOff = std::min(backOff * 2, kLongestBackOff);
  }
  state_.store(SenderState::Ended);
}

}  // namespace kelvo::rftest
