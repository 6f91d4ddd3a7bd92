// SPDX-License-Identifier: GPL-2.0-or-later
// Rate of the packet receive test's stream on loopback: TestPacketSender against a minimal
// sendto() loop (the kernel's limit on this path) and a sendmmsg() loop (what batching would
// give), for payloads of 22, 512 and 1472 bytes, in rounds that take turns.
//
//   kelvo-bench-test-packet-sender [--count 200000] [--rounds 7]
//
// All three send to one UDP socket on 127.0.0.1 that never reads (so the receiving side costs
// the same for all: the queue fills and the rest are dropped at the socket). Exit status 1
// when a run did not send its count.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "rftest/TestPacketSender.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kelvo;

constexpr int kBatch = 64;

struct Sink {
  int fd = -1;
  sockaddr_in address{};
};

Sink OpenSink() {
  Sink sink;
  sink.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sink.address.sin_family = AF_INET;
  sink.address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(sink.fd, reinterpret_cast<const sockaddr*>(&sink.address), sizeof sink.address);
  socklen_t length = sizeof sink.address;
  ::getsockname(sink.fd, reinterpret_cast<sockaddr*>(&sink.address), &length);
  return sink;
}

int BoundSocket() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  return fd;
}

double Seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

// Datagrams per second; 0 when the count was not reached.
double RunSender(const Sink& sink, std::size_t payload, int count) {
  rftest::TestPacketSettings settings;
  settings.wirelessAddress = "127.0.0.1";
  settings.deviceAddress = "127.0.0.1";
  settings.devicePort = ntohs(sink.address.sin_port);
  settings.packetLength = static_cast<int>(payload) + rftest::kTestFrameOverhead;
  settings.packetNumber = count;
  settings.bindRetryInterval = std::chrono::milliseconds(0);
  rftest::TestPacketSender sender;
  const auto start = Clock::now();
  if (!sender.Start(settings)) return 0;
  while (sender.State() != rftest::SenderState::Ended) std::this_thread::yield();
  const auto elapsed = Clock::now() - start;
  return sender.SentCount() == static_cast<std::uint32_t>(count) ? count / Seconds(elapsed) : 0;
}

double RunSendto(const Sink& sink, std::size_t payload, int count) {
  const int fd = BoundSocket();
  const std::vector<std::uint8_t> data(payload, 0xAA);
  int sent = 0;
  const auto start = Clock::now();
  while (sent < count) {
    if (::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&sink.address),
                 sizeof sink.address) >= 0) {
      ++sent;
    }
  }
  const auto elapsed = Clock::now() - start;
  ::close(fd);
  return count / Seconds(elapsed);
}

double RunSendmmsg(const Sink& sink, std::size_t payload, int count) {
  const int fd = BoundSocket();
  std::vector<std::uint8_t> data(payload, 0xAA);
  iovec io{data.data(), data.size()};
  std::vector<mmsghdr> batch(kBatch);
  for (mmsghdr& message : batch) {
    message.msg_hdr = {};
    message.msg_hdr.msg_name = const_cast<sockaddr_in*>(&sink.address);
    message.msg_hdr.msg_namelen = sizeof sink.address;
    message.msg_hdr.msg_iov = &io;
    message.msg_hdr.msg_iovlen = 1;
  }
  int sent = 0;
  const auto start = Clock::now();
  while (sent < count) {
    const int n =
        ::sendmmsg(fd, batch.data(), static_cast<unsigned>(std::min(kBatch, count - sent)), 0);
    if (n > 0) sent += n;
  }
  const auto elapsed = Clock::now() - start;
  ::close(fd);
  return count / Seconds(elapsed);
}

// Runs a baseline loop on a thread of the priority the sender obtained, so that neither side is
// favoured by the scheduler over the other.
double OnSenderPriority(bool realTime, double (*loop)(const Sink&, std::size_t, int),
                        const Sink& sink, std::size_t payload, int count) {
  double rate = 0;
  std::thread thread([&] {
    if (realTime) {
      sched_param param{};
      param.sched_priority = ::sched_get_priority_min(SCHED_FIFO);
      ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param);
    }
    rate = loop(sink, payload, count);
  });
  thread.join();
  return rate;
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

const char* PriorityName(rftest::SenderPriority priority) {
  switch (priority) {
    case rftest::SenderPriority::RealTime:
      return "SCHED_FIFO";
    case rftest::SenderPriority::RaisedNice:
      return "raised nice";
    case rftest::SenderPriority::Normal:
      break;
  }
  return "normal";
}

}  // namespace

int main(int argc, char** argv) {
  int count = 200000;
  int rounds = 7;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--count" && i + 1 < argc) {
      count = std::atoi(argv[++i]);
    } else if (option == "--rounds" && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--count N] [--rounds R]\n", argv[0]);
      return 2;
    }
  }
  if (count < 1 || rounds < 1) return 2;

  const Sink sink = OpenSink();
  bool realTime = false;
  {
    rftest::TestPacketSender probe;
    rftest::TestPacketSettings settings;
    settings.wirelessAddress = settings.deviceAddress = "127.0.0.1";
    settings.devicePort = ntohs(sink.address.sin_port);
    settings.packetNumber = 1;
    settings.bindRetryInterval = std::chrono::milliseconds(0);
    probe.Start(settings);
    while (probe.State() != rftest::SenderState::Ended) std::this_thread::yield();
    realTime = probe.Priority() == rftest::SenderPriority::RealTime;
    std::printf("sender thread priority: %s (the loops run at the same)\n",
                PriorityName(probe.Priority()));
  }
  std::printf("%d datagrams per run, %d rounds, medians in datagrams per second\n", count, rounds);
  std::printf("%8s %14s %14s %14s %10s %10s\n", "payload", "sender", "sendto", "sendmmsg",
              "sender/to", "mmsg/to");
  bool complete = true;
  for (const std::size_t payload : {std::size_t{22}, std::size_t{512}, std::size_t{1472}}) {
    std::vector<double> sender, sendto, sendmmsg;
    for (int round = 0; round < rounds; ++round) {
      sender.push_back(RunSender(sink, payload, count));
      sendto.push_back(OnSenderPriority(realTime, RunSendto, sink, payload, count));
      sendmmsg.push_back(OnSenderPriority(realTime, RunSendmmsg, sink, payload, count));
      complete = complete && sender.back() > 0;
    }
    const double s = Median(sender), t = Median(sendto), m = Median(sendmmsg);
    std::printf("%8zu %14.0f %14.0f %14.0f %10.3f %10.3f\n", payload, s, t, m, s / t, m / t);
  }
  ::close(sink.fd);
  return complete ? 0 : 1;
}
