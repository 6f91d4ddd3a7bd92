// SPDX-License-Identifier: GPL-2.0-or-later
// The datagram stream of the packet receive test: the computer sends the device a burst of UDP
// datagrams over the air from its wireless interface, and the device counts what it received.
//
// The worker owns a copy of everything it reads (the settings are taken by value at Start), so
// it can never read a window that has gone; Stop and the destructor still join it, so nothing
// runs after its owner. Start and Stop belong to the owner's thread (the GUI thread of the RF
// test window); SentCount, IsRunning and State may be read from any thread at any time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "util/UniqueFd.h"

namespace kelvo::rftest {

// The device counts test datagrams arriving on this port.
inline constexpr std::uint16_t kTestDatagramPort = 65535;
// A packet length counts a whole Ethernet frame: 14 bytes of Ethernet, 20 of IPv4 and 8 of UDP
// header come before the payload.
inline constexpr int kTestFrameOverhead = 42;
// The payload of the longest frame (1514 bytes); no datagram is ever longer.
inline constexpr std::size_t kMaxTestPayload = 1472;

// The payload for a packet length: length - 42, clamped to 0..1472. Lengths up to 42 send
// empty datagrams (each still a packet the device can count); lengths above 1514 send 1472.
std::size_t TestPayloadLength(int packetLength);

struct TestPacketSettings {
  std::string wirelessAddress;  // local address the stream leaves from (bound with port 0)
  std::string deviceAddress;    // the agent address of the device under test
  std::uint16_t devicePort = kTestDatagramPort;
  std::uint8_t pattern = 0xAA;  // every payload byte
  int packetLength = 1500;      // frame length; see TestPayloadLength
  int packetNumber = 1000;      // the stream ends by itself after this many sent; < 1 sends none
  // Waited before every bind attempt, the first included, so a failed bind is retried at this
  // interval until it succeeds or the stream is stopped.
  std::chrono::milliseconds bindRetryInterval{1000};
  // The stream runs at the highest priority the process may give it. Tests on a shared
  // machine leave it at normal priority, where a loopback stream cannot starve its neighbours.
  bool raisePriority = true;
};

// What the worker obtained when it raised its own priority (read after it has started).
enum class SenderPriority : std::uint8_t {
  Normal,      // neither of the others was permitted
  RaisedNice,  // the lowest nice value RLIMIT_NICE allows
  RealTime,    // SCHED_FIFO
};

enum class SenderState : std::uint8_t {
  NotStarted,
  Binding,  // waiting for the interval, or the wireless address is not (yet) bindable
  Sending,
  Ended,  // the packet number was reached, Stop was called, or the settings cannot be used
};

class TestPacketSender {
 public:
  TestPacketSender();
  // Stops and joins a running worker.
  ~TestPacketSender();
  TestPacketSender(const TestPacketSender&) = delete;
  TestPacketSender& operator=(const TestPacketSender&) = delete;

  // Owner's thread. Stops any previous stream (joining it), resets the count to 0 and starts a
  // new worker. False, with nothing running, only when the system refuses a thread or an
  // eventfd.
  bool Start(const TestPacketSettings& settings);
  // Owner's thread. Clears the running flag, wakes the worker from any wait (bind interval,
  // back-off, a full send buffer) and joins it; returns once it has ended. Idempotent.
  void Stop();

  // Any thread. Datagrams the kernel accepted since the last Start: failed sends (a full
  // interface queue, a pending ICMP error, an unreachable network) are not counted.
  std::uint32_t SentCount() const { return sent_.load(); }
  // Any thread. The running flag: set by Start, cleared by Stop or when the packet number is
  // reached. A worker may still be leaving its loop for a moment after it reads false.
  bool IsRunning() const { return running_.load(); }
  SenderState State() const { return state_.load(); }
  SenderPriority Priority() const { return priority_.load(); }

 private:
  // Worker thread.
  void Run(const TestPacketSettings& settings, int wakeFd);

  std::atomic<bool> running_{false};
  std::atomic<std::uint32_t> sent_{0};
  std::atomic<SenderState> state_{SenderState::NotStarted};
  std::atomic<SenderPriority> priority_{SenderPriority::Normal};
  util::UniqueFd wake_;  // eventfd written by Stop; the worker waits on it
  std::thread worker_;
};

}  // namespace kelvo::rftest
