// SPDX-License-Identifier: GPL-2.0-or-later
#include "ApSimServer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "ControlChannel.h"
#include "TftpFetch.h"
#include "firmware/TftpServer.h"
#include "snmp/NetSnmpLibrary.h"
#include "util/UniqueFd.h"

namespace kelvo::apsim {
namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int /*signal*/) { stopSignal = 1; }

using util::UniqueFd;

// A pipe, a socket or a terminal on stdin is a parent's channel: its end of file means the
// parent has gone, and the simulator goes too. /dev/null or a file only gives commands.
bool InputEndsTheRun() {
  struct stat status {};
  if (::fstat(STDIN_FILENO, &status) != 0) return false;
  return S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode) || ::isatty(STDIN_FILENO) == 1;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "kelvo-apsim: %s: %s\n", what.c_str(), std::strerror(errno));
}

// 255.255.255.255, the loopback network's broadcast and the directed broadcast of every local
// interface: a request to any of them reaches every access point.
std::vector<std::uint32_t> BroadcastAddresses() {
  std::vector<std::uint32_t> addresses = {0xFFFFFFFF, 0x7FFFFFFF};
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
        (entry->ifa_flags & IFF_BROADCAST) == 0 || entry->ifa_broadaddr == nullptr) {
      continue;
    }
    sockaddr_in broadcast{};
    std::memcpy(&broadcast, entry->ifa_broadaddr, sizeof broadcast);
    addresses.push_back(ntohl(broadcast.sin_addr.s_addr));
  }
  ::freeifaddrs(list);
  return addresses;
}

void WriteLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  std::fflush(stdout);
}

struct Received {
  std::vector<std::uint8_t> packet;
  std::uint32_t destination = 0;
  std::uint32_t source = 0;
  std::uint16_t sourcePort = 0;
};

// One datagram with the destination address of its IP header (IP_PKTINFO); false when none
// is waiting.
bool ReceiveOne(int fd, Received& received) {
  received.packet.resize(65536);
  sockaddr_in from{};
  iovec data{received.packet.data(), received.packet.size()};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t length = ::recvmsg(fd, &message, MSG_DONTWAIT);
  if (length < 0) return false;
  received.packet.resize(static_cast<std::size_t>(length));
  received.source = ntohl(from.sin_addr.s_addr);
  received.sourcePort = ntohs(from.sin_port);
  received.destination = 0;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(header), sizeof info);
      received.destination = ntohl(info.ipi_addr.s_addr);
    }
  }
  return true;
}

// Sends from the access point's own address, whichever address the request went to.
void SendReply(int fd, const OutgoingReply& reply) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(reply.toPort);
  to.sin_addr.s_addr = htonl(reply.to);
  iovec data{const_cast<std::uint8_t*>(reply.packet.data()), reply.packet.size()};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &to;
  message.msg_namelen = sizeof to;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_spec_dst.s_addr = htonl(reply.from);
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  // A lost reply is what UDP allows; the manager times out as with a real device.
  (void)::sendmsg(fd, &message, MSG_DONTWAIT);
}

UniqueFd OpenSocket(const ProgramOptions& options, std::uint16_t& port) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) {
    Fail("cannot create the UDP socket");
    return fd;
  }
  const int on = 1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(options.port);
  local.sin_addr.s_addr = htonl(options.bindAddress);
  const std::string where = FormatIpv4(options.bindAddress) + ':' + std::to_string(options.port);
  // No SO_REUSEADDR: a port that another program holds must make the start fail.
  if (::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      ::setsockopt(fd.Get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
    Fail("cannot set up the UDP socket");
    return UniqueFd();
  }
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    Fail("cannot bind " + where);
    return UniqueFd();
  }
  socklen_t length = sizeof local;
  ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&local), &length);
  port = ntohs(local.sin_port);
  return fd;
}

// A firmware download's own socket, bound to the access point's address so that the TFTP
// server sees the device as the client; invalid, with errno saying why, when that fails.
UniqueFd OpenDownloadSocket(std::uint32_t address) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.Valid()) return fd;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(address);
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) fd.Reset();
  return fd;
}

// The packet RX test's receiver of one access point: a socket on its own address, so that the
// kernel sorts the datagrams by destination and another simulator on other addresses may hold
// the same port. Without SO_REUSEADDR, so two simulators never share an address silently.
struct TestPortSocket {
  UniqueFd socket;
  std::uint32_t address = 0;
};

std::vector<TestPortSocket> OpenTestPortSockets(const SimulatorSettings& settings,
                                                std::uint16_t port) {
  std::vector<TestPortSocket> sockets;
  if (port == 0) return sockets;
  for (int i = 0; i < settings.count; ++i) {
    const std::uint32_t address = settings.firstAddress + static_cast<std::uint32_t>(i);
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
      Fail("cannot create a test port socket");
      break;
    }
    // A burst of test datagrams must wait in the buffer rather than be dropped; the kernel caps
    // the size at net.core.rmem_max.
    const int size = 8 << 20;
    (void)::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      // The access point still answers SNMP; only its packet RX test counts nothing.
      Fail("cannot bind the test port " + FormatIpv4(address) + ':' + std::to_string(port));
      continue;
    }
    sockets.push_back({std::move(fd), address});
  }
  return sockets;
}

void SendDatagram(int fd, const TftpDatagram& datagram) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(datagram.port);
  to.sin_addr.s_addr = htonl(datagram.address);
  // A lost packet is what TFTP's retransmission is for.
  (void)::sendto(fd, datagram.packet.data(), datagram.packet.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Written under a temporary name and renamed, so a reader never sees half an image. The path,
// or empty when it could not be written (reported on stderr; the download still counts).
std::string WriteImage(const std::string& directory, std::uint32_t address,
                       const std::vector<std::uint8_t>& image) {
  std::string path = directory + '/' + FormatIpv4(address) + ".dlf";
  const std::string temporary = path + ".part";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  bool written = file != nullptr;
  if (written) {
    // fwrite must not see the null data of an empty image.
    written = image.empty() || std::fwrite(image.data(), 1, image.size(), file) == image.size();
    written = std::fclose(file) == 0 && written;
  }
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    Fail("cannot write " + path);
    std::remove(temporary.c_str());
    return {};
  }
  return path;
}

// The download an UpgradeServerAddress set started, with the reply that waits for its end.
struct Download {
  Download(UniqueFd fd, TftpFetch fetchValue, OutgoingReply replyValue)
      : socket(std::move(fd)), fetch(std::move(fetchValue)), reply(std::move(replyValue)) {}

  UniqueFd socket;
  TftpFetch fetch;
  OutgoingReply reply;  // reply.upgrade holds the failure reply
  bool answered = false;
};

class Server {
 public:
  Server(const ProgramOptions& options, const SimulatorSettings& settings, int socket,
         std::vector<TestPortSocket> testPorts)
      : simulator_(settings),
        control_(simulator_),
        socket_(socket),
        testPorts_(std::move(testPorts)),
        imageDirectory_(options.imageDirectory),
        flashTime_(options.flashTime) {
    for (const FaultSetting& setting : options.faults) {
      for (std::size_t ap = 0; ap < simulator_.Count(); ++ap) {
        if (!setting.ap || *setting.ap == ap) simulator_.SetFault(ap, setting.fault);
      }
    }
  }

  // Downloads run in this loop too, each on its own socket, so the access points keep
  // answering while one fetches its image.
  void Run(const sigset_t& waitMask) {
    std::vector<pollfd> fds;
    while (stopSignal == 0 && !control_.QuitRequested() && !inputEnded_) {
      std::optional<Clock::time_point> due;
      if (!pending_.empty()) due = pending_.begin()->first;
      for (const auto& download : downloads_) {
        if (const auto deadline = download->fetch.Deadline()) {
          const Clock::time_point at = started_ + *deadline;
          if (!due || at < *due) due = at;
        }
      }
      timespec timeout{};
      const timespec* wait = nullptr;
      if (due) {
        const auto left = std::max(Clock::duration::zero(), *due - Clock::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        wait = &timeout;
      }
      fds.assign({{socket_, POLLIN, 0}, {stdinOpen_ ? STDIN_FILENO : -1, POLLIN, 0}});
      for (const auto& download : downloads_) fds.push_back({download->socket.Get(), POLLIN, 0});
      const std::size_t firstTestPort = fds.size();
      for (const TestPortSocket& test : testPorts_) fds.push_back({test.socket.Get(), POLLIN, 0});
      // Signals are blocked except while waiting here, so none is missed between checks.
      const int ready = ::ppoll(fds.data(), fds.size(), wait, &waitMask);
      if (ready < 0 && errno != EINTR) break;
      if (ready > 0) {
        // Downloads first: ReceiveAll may start new ones and so change the list.
        for (std::size_t i = 0; i < downloads_.size(); ++i) {
          if ((fds[2 + i].revents & POLLIN) != 0) ReceiveDownload(*downloads_[i]);
        }
        for (std::size_t i = 0; i < testPorts_.size(); ++i) {
          if ((fds[firstTestPort + i].revents & POLLIN) != 0) ReceiveTestDatagrams(testPorts_[i]);
        }
        if ((fds[0].revents & POLLIN) != 0) ReceiveAll();
        if (stdinOpen_ && fds[1].revents != 0) ReadControl();
      }
      ServeDownloads();
      SendDue();
    }
  }

 private:
  SimTime Now() const { return std::chrono::duration_cast<SimTime>(Clock::now() - started_); }
  // A download's timers count from the next whole millisecond: from Now(), rounded down, a
  // retransmission or give-up would come up to a millisecond before its time.
  SimTime DownloadNow() const { return std::chrono::ceil<SimTime>(Clock::now() - started_); }

  void ReceiveAll() {
    Received received;
    // A bounded batch keeps stdin and the timers served under a flood.
    for (int i = 0; i < 64 && ReceiveOne(socket_, received); ++i) {
      for (OutgoingReply& reply :
           simulator_.HandleDatagram(received.packet, received.destination, received.source,
                                     received.sourcePort, Now())) {
        if (reply.upgrade) {
          StartDownload(reply);
        } else {
          Queue(std::move(reply));
        }
      }
    }
  }

  // Only the arrival counts; the payload is not looked at.
  void ReceiveTestDatagrams(const TestPortSocket& test) {
    // A larger batch than the agent's: the test stream comes back to back.
    for (int i = 0; i < 4096; ++i) {
      if (::recv(test.socket.Get(), nullptr, 0, MSG_DONTWAIT | MSG_TRUNC) < 0) break;
      simulator_.TestDatagramReceived(test.address);
    }
  }

  void Queue(OutgoingReply reply) {
    if (reply.delay.count() == 0) {
      Send(reply);
    } else {
      pending_.emplace(Clock::now() + reply.delay, std::move(reply));
    }
  }

  void StartDownload(OutgoingReply& reply) {
    const std::size_t ap = reply.ap;
    const std::uint32_t server = reply.upgrade->server;
    UniqueFd fd = OpenDownloadSocket(reply.from);
    if (!fd.Valid()) {
      const std::string reason =
          "cannot open a socket on " + FormatIpv4(reply.from) + ": " + std::strerror(errno);
      simulator_.UpgradeFailed(ap, reason, 0);
      reply.packet = std::move(reply.upgrade->failurePacket);
      Queue(std::move(reply));
      return;
    }
    TftpFetch fetch(server, std::string(firmware::kFirmwareFileName), reply.upgrade->tftp);
    SendDatagram(fd.Get(), fetch.Start(DownloadNow()));
    downloads_.push_back(
        std::make_unique<Download>(std::move(fd), std::move(fetch), std::move(reply)));
  }

  void ReceiveDownload(Download& download) {
    std::vector<std::uint8_t> packet(65536);
    // A bounded batch, as for the agent's socket.
    for (int i = 0; i < 256; ++i) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = ::recvfrom(download.socket.Get(), packet.data(), packet.size(),
                                   MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) break;
      const auto answer =
          download.fetch.Receive(std::span(packet.data(), static_cast<std::size_t>(n)),
                                 ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), DownloadNow());
      if (answer) SendDatagram(download.socket.Get(), *answer);
    }
    if (!download.answered) {
      simulator_.UpgradeProgressed(download.reply.ap, download.fetch.Image().size());
    }
  }

  // Retransmissions and give-ups that are due; answers the sets whose download has ended and
  // closes the downloads that are over.
  void ServeDownloads() {
    for (auto& download : downloads_) {
      TftpFetch& fetch = download->fetch;
      if (const auto deadline = fetch.Deadline(); deadline && *deadline <= Now()) {
        if (const auto answer = fetch.Expire(DownloadNow())) {
          SendDatagram(download->socket.Get(), *answer);
        }
      }
      if (fetch.Progress() == TftpFetch::State::Running || download->answered) continue;
      download->answered = true;
      OutgoingReply reply = std::move(download->reply);
      if (fetch.Progress() == TftpFetch::State::Succeeded) {
        const std::string file = imageDirectory_.empty()
                                     ? std::string()
                                     : WriteImage(imageDirectory_, reply.from, fetch.Image());
        simulator_.UpgradeSucceeded(reply.ap, fetch.Image(), file);
        reply.restarts = true;
        reply.delay += flashTime_;
      } else {
        simulator_.UpgradeFailed(reply.ap, fetch.FailureReason(), fetch.Image().size());
        reply.packet = std::move(reply.upgrade->failurePacket);
      }
      reply.upgrade.reset();
      Queue(std::move(reply));
    }
    std::erase_if(downloads_, [](const auto& download) {
      return download->answered && !download->fetch.Deadline();
    });
  }

  void Send(const OutgoingReply& reply) {
    SendReply(socket_, reply);
    simulator_.ReplySent(reply, Now());
  }

  void SendDue() {
    const auto now = Clock::now();
    while (!pending_.empty() && pending_.begin()->first <= now) {
      Send(pending_.begin()->second);
      pending_.erase(pending_.begin());
    }
  }

  void ReadControl() {
    char buffer[4096];
    const ssize_t length = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (length <= 0) {
      if (length < 0 && (errno == EINTR || errno == EAGAIN)) return;
      stdinOpen_ = false;
      inputEnded_ = endsWithInput_;
      return;
    }
    input_.append(buffer, static_cast<std::size_t>(length));
    std::size_t end;
    while ((end = input_.find('\n')) != std::string::npos && !control_.QuitRequested()) {
      std::string line = input_.substr(0, end);
      input_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      WriteLines(control_.Execute(line, Now()));
    }
  }

  const Clock::time_point started_ = Clock::now();
  ApSimulator simulator_;
  ControlChannel control_;
  int socket_;
  std::vector<TestPortSocket> testPorts_;
  std::string imageDirectory_;
  std::chrono::milliseconds flashTime_;
  bool stdinOpen_ = true;
  const bool endsWithInput_ = InputEndsTheRun();
  bool inputEnded_ = false;
  std::string input_;
  // Delayed replies by the time they are due; equal times keep their order.
  std::multimap<Clock::time_point, OutgoingReply> pending_;
  std::vector<std::unique_ptr<Download>> downloads_;
};

}  // namespace

int RunServer(const ProgramOptions& options) {
  if (!snmp::EnsureNetSnmpLibrary()) {
    std::fprintf(stderr, "kelvo-apsim: the SNMP library could not be initialised\n");
    return 1;
  }
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigset_t waitMask;
  ::sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  // The wait lets them in even if whoever started us had them blocked.
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);

  std::uint16_t port = 0;
  const UniqueFd socket = OpenSocket(options, port);
  if (!socket.Valid()) return 1;

  SimulatorSettings settings = options.simulator;
  settings.broadcastAddresses = BroadcastAddresses();
  WriteLines({"ready port=" + std::to_string(port)});
  // After the ready line: a test port that another simulator holds is only a warning.
  Server server(options, settings, socket.Get(),
                OpenTestPortSockets(options.simulator, options.testPort));
  server.Run(waitMask);
  return 0;
}

}  // namespace kelvo::apsim
