// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers shared by the tests: a prompter that records and answers from a script, a busy
// indicator that counts, and small UDP peers for playing an agent by hand.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Prompter.h"
#include "ui/Timers.h"

namespace kelvo::test {

struct ShownMessage {
  std::string text;
  std::string caption;
  ui::MessageIcon icon;
  bool question = false;
};

class RecordingPrompter final : public ui::Prompter {
 public:
  void ShowMessage(std::string_view text, std::string_view caption, ui::MessageIcon icon) override;
  // Answers from the queue; No when it is empty.
  ui::Answer AskYesNo(std::string_view text, std::string_view caption,
                      ui::MessageIcon icon) override;

  void QueueAnswer(ui::Answer answer) { answers_.push_back(answer); }
  const std::vector<ShownMessage>& Shown() const { return shown_; }
  std::vector<std::string> Texts() const;
  void Clear() { shown_.clear(); }

 private:
  std::vector<ShownMessage> shown_;
  std::deque<ui::Answer> answers_;
};

class CountingBusy final : public ui::BusyIndicator {
 public:
  void BeginBusy() override {
    ++depth;
    ++begun;
  }
  void EndBusy() override { --depth; }
  int depth = 0;
  int begun = 0;
};

// Timers the test fires by hand; pauses are recorded, not slept.
class ManualTimers final : public ui::TimerService {
 public:
  class ManualTimer final : public ui::Timer {
   public:
    explicit ManualTimer(std::function<void()> onTick) : onTick_(std::move(onTick)) {}
    void Start(std::chrono::milliseconds interval) override {
      interval_ = interval;
      active_ = true;
    }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }
    std::chrono::milliseconds Interval() const { return interval_; }
    // One tick, as the event loop would deliver it; nothing when stopped.
    void Fire() {
      if (active_) onTick_();
    }

   private:
    std::function<void()> onTick_;
    std::chrono::milliseconds interval_{0};
    bool active_ = false;
  };

  std::unique_ptr<ui::Timer> CreateTimer(std::function<void()> onTick) override {
    auto timer = std::make_unique<ManualTimer>(std::move(onTick));
    timers_.push_back(timer.get());
    return timer;
  }
  void Pause(std::chrono::milliseconds duration) override { pauses.push_back(duration); }

  // Timers in the order they were created; valid while their owners live.
  const std::vector<ManualTimer*>& Timers() const { return timers_; }
  std::vector<std::chrono::milliseconds> pauses;

 private:
  std::vector<ManualTimer*> timers_;
};

// A UDP socket bound to address:port (port 0 = ephemeral) for tests that answer requests by
// hand or send datagrams from a chosen address.
class UdpPeer {
 public:
  UdpPeer(const std::string& address, std::uint16_t port);
  ~UdpPeer();
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  std::uint16_t Port() const { return port_; }
  int Descriptor() const { return fd_; }
  // Waits up to timeoutMs for a datagram; false on time-out.
  bool Receive(std::vector<std::uint8_t>& data, std::string& fromAddress, std::uint16_t& fromPort,
               int timeoutMs);
  void SendTo(const std::vector<std::uint8_t>& data, const std::string& address,
              std::uint16_t port);

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// Runs a program to its end (killed after timeoutMs) and collects its output.
struct ProgramResult {
  int exitCode = -1;  // 128 + signal when it was killed
  std::string out;
  std::string err;
};
// This process's environment with `additions` ("NAME=value") added, replacing any variable of
// the same name.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& additions);

// `environment` adds or replaces variables ("NAME=value") of the program's environment.
ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutMs = 20000,
                         const std::vector<std::string>& environment = {});

// An SNMPv1 request as an agent sees it, and the reply a test agent sends back, encoded with
// Net-SNMP so tests can play an agent by hand.
struct AgentRequest {
  long requestId = 0;
  int command = 0;  // the PDU tag, e.g. 0xA0 GetRequest, 0xA3 SetRequest
  std::string community;
  std::vector<std::string> oids;
};
std::optional<AgentRequest> DecodeRequest(const std::vector<std::uint8_t>& datagram);

struct ReplyValue {
  std::string oid;
  int type;  // ASN.1 tag: 0x02 INTEGER, 0x04 OCTET STRING, 0x40 IpAddress, 0x05 NULL
  std::vector<std::uint8_t> bytes;  // octet string content or 4 address bytes
  long integer = 0;
};
ReplyValue IntegerValue(const std::string& oid, long value);
ReplyValue TextValue(const std::string& oid, const std::string& text);
std::vector<std::uint8_t> EncodeResponse(long requestId, const std::string& community,
                                         const std::vector<ReplyValue>& values, int errorStatus = 0,
                                         int errorIndex = 0);

}  // namespace kelvo::test
