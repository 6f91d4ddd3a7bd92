// SPDX-License-Identifier: GPL-2.0-or-later
// The packet receive test over a slow link: the RF test window's model drives a device under
// test across a shaped interface (tests/network/ShapedLinkTest.sh builds one: a veth pair
// between two network namespaces with a 6 Mbit/s token bucket, about what 802.11b carries),
// and the count the computer claims is compared with the count the device received. For
// comparison a plain blocking sendto() loop runs the same test, which the kernel lets "succeed"
// for every datagram that the interface queue then drops.
//
//   kelvo-bench-shaped-link --device A --wireless W --agent-port P [--count N] [--length L]
//                           [--plain]
//
// Prints one line per run. Exit status 0 when the window's count of the stream equals what
// the device received and both are the packet number; 1 otherwise; 2 for a usage error.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "rftest/RfTestWindow.h"
#include "rftest/TestOperations.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kelvo;
using std::chrono::milliseconds;

// Long enough for the shaped queue (50 ms of data) and the device's socket to drain.
constexpr milliseconds kDrain{1000};
constexpr int kUdpIpHeaders = 42;

// The window's counter timer is ticked by hand here; pauses really wait.
class HandTimers final : public ui::TimerService {
  class HandTimer final : public ui::Timer {
   public:
    void Start(milliseconds) override { active_ = true; }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }

   private:
    bool active_ = false;
  };

 public:
  std::unique_ptr<ui::Timer> CreateTimer(std::function<void()>) override {
    return std::make_unique<HandTimer>();
  }
  void Pause(milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

struct Options {
  std::string device;
  std::string wireless;
  std::uint16_t agentPort = 161;
  int count = 3000;
  int length = 1500;
  bool plain = false;
};

bool ParseAddress(const std::string& text, ui::AddressField& field) {
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address.s_addr);
  field.SetAddress({bytes[0], bytes[1], bytes[2], bytes[3]});
  return true;
}

double Mbits(std::uint64_t datagrams, int length, Clock::duration elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  return seconds > 0 ? static_cast<double>(datagrams) * length * 8 / seconds / 1e6 : 0;
}

void ReportMessages(const bench::CollectingPrompter& prompter) {
  for (const std::string& message : prompter.messages) {
    std::fprintf(stderr, "message: %s\n", message.c_str());
  }
}

// The stream as the window runs it; true when its count, the window's counter and the packet
// number agree.
bool WindowRun(snmp::AgentSession& session, bench::CollectingPrompter& prompter,
               const Options& options) {
  HandTimers timers;
  rftest::RfTestWindow window(session, timers, options.device);
  if (!ParseAddress(options.wireless, window.Wireless()) ||
      !ParseAddress(options.wireless, window.Ethernet())) {
    std::fprintf(stderr, "not an IPv4 address: %s\n", options.wireless.c_str());
    return false;
  }
  window.Set();
  window.PacketNumber().SetText(std::to_string(options.count));
  window.PacketLength().SetText(std::to_string(options.length));
  window.Apply();
  if (!prompter.messages.empty()) {
    ReportMessages(prompter);
    return false;
  }

  window.PressTest(rftest::TestKind::PacketRx);
  // The press itself waits a second before the command; the stream starts after it.
  const auto streaming = Clock::now();
  while (window.Sender().IsRunning()) std::this_thread::sleep_for(milliseconds(5));
  const auto elapsed = Clock::now() - streaming;
  std::this_thread::sleep_for(kDrain);
  window.Tick();
  const std::string shown = window.CounterLabel(rftest::RfTestWindow::RxGood).Text();
  const std::uint32_t sent = window.Sender().SentCount();
  window.PressTest(rftest::TestKind::PacketRx);

  const bool agree =
      shown == std::to_string(sent) && sent == static_cast<std::uint32_t>(options.count);
  std::printf("window stream: %u sent, device received %s, %.2f s, %.2f Mbit/s of frames: %s\n",
              sent, shown.c_str(), std::chrono::duration<double>(elapsed).count(),
              Mbits(sent, options.length, elapsed), agree ? "counts agree" : "COUNTS DIFFER");
  ReportMessages(prompter);
  return agree && prompter.messages.empty();
}

// The same test with a plain blocking sendto() loop; reports, never fails.
void PlainRun(snmp::AgentSession& session, const Options& options) {
  rftest::TestBlocks blocks;
  blocks.mode = rftest::StartCode(rftest::TestKind::PacketRx);
  if (!rftest::SetTestVariable(session, rftest::TestGroup::Command, options.device, blocks)) {
    std::fprintf(stderr, "the device did not start its packet receive test\n");
    return;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, options.wireless.c_str(), &local.sin_addr);
  sockaddr_in device{};
  device.sin_family = AF_INET;
  device.sin_port = htons(65535);
  ::inet_pton(AF_INET, options.device.c_str(), &device.sin_addr);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    std::perror("plain socket");
    if (fd >= 0) ::close(fd);
    return;
  }
  const std::vector<std::uint8_t> payload(static_cast<std::size_t>(options.length - kUdpIpHeaders),
                                          0xAA);
  int succeeded = 0;
  const auto start = Clock::now();
  for (int i = 0; i < options.count; ++i) {
    if (::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&device),
                 sizeof device) >= 0) {
      ++succeeded;
    }
  }
  const auto elapsed = Clock::now() - start;
  ::close(fd);
  std::this_thread::sleep_for(kDrain);
  std::uint32_t received = 0;
  rftest::GetTestVariable(session, rftest::TestGroup::Counters, options.device,
                          [&](std::span<const std::uint8_t> bytes) {
                            received = rftest::DecodeCounters(bytes, {}).rxGood;
                          });
  blocks.mode = rftest::StopCode(rftest::TestKind::PacketRx);
  rftest::SetTestVariable(session, rftest::TestGroup::Command, options.device, blocks);
  std::printf("plain sendto:  %d \"sent\", device received %u, %.2f s\n", succeeded, received,
              std::chrono::duration<double>(elapsed).count());
}

int Usage() {
  std::fprintf(stderr,
               "usage: kelvo-bench-shaped-link --device A --wireless W --agent-port P "
               "[--count N] [--length L] [--plain]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--plain") {
      options.plain = true;
    } else if (option == "--device" && hasValue) {
      options.device = argv[++i];
    } else if (option == "--wireless" && hasValue) {
      options.wireless = argv[++i];
    } else if (option == "--agent-port" && hasValue) {
      options.agentPort = static_cast<std::uint16_t>(std::atoi(argv[++i]));
    } else if (option == "--count" && hasValue) {
      options.count = std::atoi(argv[++i]);
    } else if (option == "--length" && hasValue) {
      options.length = std::atoi(argv[++i]);
    } else {
      return Usage();
    }
  }
  if (options.device.empty() || options.wireless.empty() || options.count < 1 ||
      options.count > 65535 || options.length < 64 || options.length > 1514) {
    return Usage();
  }

  snmp::PollWaitHook wait;
  bench::CollectingPrompter prompter;
  bench::NoBusy busy;
  auto component = snmp::SnmpComponent::Create(wait);
  if (!component) {
    std::fprintf(stderr, "cannot set up the SNMP component\n");
    return 1;
  }
  snmp::AgentSession session(std::move(component), prompter, busy);
  session.SetAgentPort(options.agentPort);
  // The simulator's password, which the program would have taken at its prompt.
  session.SetWriteCommunity("admin");

  const bool agree = WindowRun(session, prompter, options);
  if (options.plain) PlainRun(session, options);
  return agree ? 0 : 1;
}
