// SPDX-License-Identifier: GPL-2.0-or-later
// The read-only TFTP server: reads of RFC 1350 with the option negotiation of RFC 2347,
// blksize (RFC 2348), timeout and tsize (RFC 2349) and windowsize (RFC 7440).
//
// Where the RFCs leave the choice to the server, it decides:
// - Mode: octet only. netascii (and mail) get ERROR 0, as line-end conversion would corrupt an
//   image.
// - Names: exactly servedName, case and all; a leading "/" is not stripped. A name with "/",
//   "\" or ".." gets ERROR 2, any other name (the empty one too) ERROR 1, a WRQ ERROR 2. The
//   file system is never consulted for a requested name: the image was opened at Start.
// - Options: unknown ones are left out of the OACK. A malformed or out-of-range value leaves its
//   option out (the transfer goes on with the default), except a blksize above 65464, which is
//   answered with 65464 (RFC 2348 lets the server answer with less). Of duplicated options the
//   first counts. tsize is answered with the image's size whatever number the client sent.
//   Blocks larger than the path's MTU are fragmented by IP; the device's own choice counts.
// - Block numbers wrap from 65535 to 0.
// - Retransmission: only the timer resends, never a duplicate ACK (Sorcerer's Apprentice). The
//   first wait is initialTimeout or the negotiated timeout, each further one twice the one
//   before, up to eight times the first (the exponential backoff of RFC 1123 4.2.3.2): a client
//   that re-acknowledges a repeated block only once, as atftp does, then sees a gap long enough
//   for its own timer to resend the lost ACK. After maxTransmissions sends without progress the
//   client gets ERROR 0 and the transfer has failed.
// - Hosts: only the devices of clientAddresses are answered; datagrams from any other host are
//   dropped without a reply, on any socket. On a transfer socket any other port of those hosts
//   (another port of the device, or another device) gets ERROR 5.
// - Sessions: one per device, all running at once, each with its own socket, timers, window and
//   options; no device's datagrams touch another's transfer. A repeated RRQ from the transfer's
//   own port is ignored; a valid RRQ from another port of the device supersedes that device's
//   transfer (the device restarted its fetch and will never acknowledge the old one).
// - Malformed datagrams on the server port get ERROR 4 (an ERROR is never answered); on a
//   transfer socket they are dropped.
//
// Cost: a datagram finds its transfer through its poll entry, or through its address on the
// server port; only the poll set, rebuilt before each wait, grows with the number of transfers.
// Blocks are read from the image with pread as they are sent (the page cache keeps that cheap),
// so no transfer holds a copy.
//
// Threads: Start and Stop run on the caller's thread, everything else on the server's own
// thread; Progress and ProgressOf read under a mutex from any thread.
#include "firmware/TftpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "firmware/TftpPacket.h"
#include "util/UniqueFd.h"

namespace kelvo::firmware {
namespace {

// Datagrams the transfer socket may still hold when a stop arrives.
constexpr int kMaxDrainedOnStop = 64;

using Clock = std::chrono::steady_clock;

// Large enough for any UDP datagram over IPv4.
constexpr std::size_t kReceiveBufferSize = 65536;

using util::UniqueFd;

struct Endpoint {
  in_addr_t address = 0;   // network byte order
  std::uint16_t port = 0;  // host byte order
  bool operator==(const Endpoint&) const = default;
};

sockaddr_in ToSockaddr(const Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = endpoint.address;
  address.sin_port = htons(endpoint.port);
  return address;
}

std::string SystemError(std::string_view what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// A UDP socket bound to address:port; invalid with the reason in *error.
UniqueFd BindUdp(in_addr_t address, std::uint16_t port, std::string* error) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) {
    if (error) *error = SystemError("cannot create a UDP socket");
    return fd;
  }
  const sockaddr_in local = ToSockaddr({address, port});
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    if (error) {
      char text[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
      *error = SystemError("cannot bind " + std::string(text) + ":" + std::to_string(port));
    }
    fd.Reset();
  }
  return fd;
}

bool IsPathLike(std::string_view name) {
  return name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos ||
         name.find("..") != std::string_view::npos;
}

struct Negotiated {
  std::size_t blockSize = kTftpDefaultBlockSize;
  std::chrono::milliseconds timeout{1000};
  std::uint64_t windowSize = 1;
  std::vector<TftpOption> acknowledged;  // the OACK's content; empty: no OACK
};

// Applies the request's options (see the decisions at the top); the OACK lists the ones taken.
Negotiated Negotiate(const std::vector<TftpOption>& options, std::uint64_t imageSize,
                     std::chrono::milliseconds defaultTimeout) {
  Negotiated result;
  result.timeout = defaultTimeout;
  std::vector<std::string_view> seen;
  for (const auto& [name, value] : options) {
    if (std::any_of(seen.begin(), seen.end(), [&key = name](std::string_view earlier) {
          return TftpNameEquals(earlier, key);
        })) {
      continue;
    }
    seen.push_back(name);
    const std::optional<std::uint64_t> number = ParseTftpNumber(value);
    if (!number) continue;
    if (TftpNameEquals(name, "blksize")) {
      if (*number < kTftpMinBlockSize) continue;
      result.blockSize =
          static_cast<std::size_t>(std::min<std::uint64_t>(*number, kTftpMaxBlockSize));
      result.acknowledged.emplace_back("blksize", std::to_string(result.blockSize));
    } else if (TftpNameEquals(name, "timeout")) {
      if (*number < kTftpMinTimeout || *number > kTftpMaxTimeout) continue;
      result.timeout = std::chrono::seconds(*number);
      result.acknowledged.emplace_back("timeout", std::to_string(*number));
    } else if (TftpNameEquals(name, "tsize")) {
      result.acknowledged.emplace_back("tsize", std::to_string(imageSize));
    } else if (TftpNameEquals(name, "windowsize")) {
      if (*number < 1 || *number > kTftpMaxWindowSize) continue;
      result.windowSize = *number;
      result.acknowledged.emplace_back("windowsize", std::to_string(*number));
    }
  }
  return result;
}

// One read transfer to one client TID, from its own socket (the server's TID).
struct Session {
  UniqueFd socket;
  Endpoint peer;
  std::size_t blockSize = kTftpDefaultBlockSize;
  std::uint64_t windowSize = 1;
  std::chrono::milliseconds timeout{1000};  // the first wait after a send
  std::chrono::milliseconds wait{1000};     // the current one, doubled on each resend
  std::uint64_t lastBlock = 1;              // absolute block numbers count from 1 and never wrap
  std::vector<std::uint8_t> optionAck;      // sent until the client acknowledges block 0
  bool awaitingOptionAck = false;
  std::uint64_t firstUnacknowledged = 1;
  std::uint64_t lastSent = 0;  // the current window is firstUnacknowledged..lastSent
  int transmissions = 0;       // sends of the current window (or of the OACK)
  Clock::time_point deadline;
};

// The wake-up and the listener come first in the poll set, then one entry per running transfer.
constexpr std::size_t kWakeEntry = 0;
constexpr std::size_t kListenerEntry = 1;
constexpr std::size_t kFirstTransferEntry = 2;

class TftpServerImpl final : public TftpServer {
 public:
  TftpServerImpl(const TftpServerOptions& options, in_addr_t bindAddress,
                 const std::vector<in_addr_t>& clients, UniqueFd listener, std::uint16_t port,
                 UniqueFd image, std::uint64_t size, UniqueFd wake)
      : options_(options),
        bindAddress_(bindAddress),
        listener_(std::move(listener)),
        port_(port),
        image_(std::move(image)),
        size_(size),
        wake_(std::move(wake)),
        receiveBuffer_(kReceiveBufferSize),
        payloadBuffer_(kTftpMaxBlockSize) {
    for (const in_addr_t address : clients) {
      // An address given twice is one device.
      if (indexOf_.emplace(address, sessions_.size()).second) sessions_.emplace_back();
    }
    TftpProgress idle;
    idle.size = size;
    progress_.assign(sessions_.size(), idle);
    pollSet_.reserve(kFirstTransferEntry + sessions_.size());
    pollOwners_.reserve(sessions_.size());
    thread_ = std::thread([this] { Run(); });
  }

  ~TftpServerImpl() override { Stop(); }

  TftpProgress ProgressOf(const std::string& client) const override {
    in_addr parsed{};
    if (::inet_pton(AF_INET, client.c_str(), &parsed) != 1) return {};
    const auto found = indexOf_.find(parsed.s_addr);
    if (found == indexOf_.end()) return {};
    std::lock_guard lock(progressMutex_);
    return progress_[found->second];
  }

  TftpProgress Progress() const override {
    std::lock_guard lock(progressMutex_);
    return progress_.front();
  }

  std::uint16_t Port() const override { return port_; }

  void Stop() override {
    std::lock_guard lock(stopMutex_);
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    // An eventfd write of 8 bytes cannot fail short; the thread only needs it readable.
    [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
    thread_.join();
    listener_.Reset();
    image_.Reset();
  }

 private:
  void Run();
  int PreparePoll();
  void ReceiveOnListener();
  // False when nothing was waiting on the device's transfer socket.
  bool ReceiveOnSession(std::size_t device);
  void HandleRequest(std::size_t device, const TftpRequest& request, const Endpoint& from);
  void HandleAck(std::size_t device, std::uint16_t block);
  void HandleTimeout(std::size_t device);
  void SendWindow(std::size_t device);
  bool SendBlock(std::size_t device, std::uint64_t block);
  void SendFromListener(const std::vector<std::uint8_t>& packet, const Endpoint& to);
  void SendFromSession(const Session& session, const std::vector<std::uint8_t>& packet,
                       const Endpoint& to);
  // Ends the device's running transfer; failed unless the last block was acknowledged.
  void EndSession(std::size_t device, bool finished);
  void SetAcknowledged(std::size_t device, std::uint64_t bytes);

  const TftpServerOptions options_;
  const in_addr_t bindAddress_;
  // Closed by Stop once the thread has ended, so that the port is free at once.
  UniqueFd listener_;
  const std::uint16_t port_;
  UniqueFd image_;
  const std::uint64_t size_;
  const UniqueFd wake_;
  // Filled by the constructor, read-only afterwards (ProgressOf reads it from any thread).
  std::unordered_map<in_addr_t, std::size_t> indexOf_;

  // Server thread only.
  std::vector<std::optional<Session>> sessions_;  // the running transfer of each device
  std::vector<pollfd> pollSet_;
  std::vector<std::size_t> pollOwners_;  // the device of each transfer entry of pollSet_
  std::vector<std::uint8_t> receiveBuffer_;
  std::vector<std::uint8_t> payloadBuffer_;

  mutable std::mutex progressMutex_;
  std::vector<TftpProgress> progress_;  // by device
  std::mutex stopMutex_;
  std::thread thread_;
};

void TftpServerImpl::Run() {
  for (;;) {
    const int timeoutMs = PreparePoll();
    const int ready = ::poll(pollSet_.data(), pollSet_.size(), timeoutMs);
    if (ready < 0 && errno != EINTR) break;
    if (pollSet_[kWakeEntry].revents != 0) break;
    const bool request = pollSet_[kListenerEntry].revents != 0;
    // The transfers before the listener: a request may replace a device's transfer, whose entry
    // would then name a closed socket.
    int left = ready - (request ? 1 : 0);
    for (std::size_t entry = kFirstTransferEntry; left > 0 && entry < pollSet_.size(); ++entry) {
      if (pollSet_[entry].revents == 0) continue;
      --left;
      ReceiveOnSession(pollOwners_[entry - kFirstTransferEntry]);
    }
    if (request) ReceiveOnListener();
  }
  // What the clients sent before the stop is taken first, so that a stop that comes with the
  // last ACK already queued does not fail a finished transfer. Bounded: a client may go on.
  for (std::size_t device = 0; device < sessions_.size(); ++device) {
    for (int queued = 0; sessions_[device] && queued < kMaxDrainedOnStop; ++queued) {
      if (!ReceiveOnSession(device)) break;
    }
    if (const auto& session = sessions_[device]) {
      SendFromSession(*session, EncodeTftpError(TftpErrorCode::NotDefined, "Server stopped"),
                      session->peer);
      EndSession(device, false);
    }
  }
}

// Runs the timers that are due, then lists the sockets to wait on. Returns poll's time-out: up
// to the nearest deadline, none without a transfer.
int TftpServerImpl::PreparePoll() {
  pollSet_.assign({{wake_.Get(), POLLIN, 0}, {listener_.Get(), POLLIN, 0}});
  pollOwners_.clear();
  const Clock::time_point now = Clock::now();
  std::optional<Clock::time_point> nearest;
  for (std::size_t device = 0; device < sessions_.size(); ++device) {
    const std::optional<Session>& session = sessions_[device];
    if (session && now >= session->deadline) HandleTimeout(device);
    if (!session) continue;
    pollSet_.push_back({session->socket.Get(), POLLIN, 0});
    pollOwners_.push_back(device);
    if (!nearest || session->deadline < *nearest) nearest = session->deadline;
  }
  if (!nearest) return -1;
  // Rounded up, so that the wake-up is never early.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*nearest - Clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

void TftpServerImpl::ReceiveOnListener() {
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t n = ::recvfrom(listener_.Get(), receiveBuffer_.data(), receiveBuffer_.size(),
                               MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
  if (n < 0) return;
  const Endpoint source{from.sin_addr.s_addr, ntohs(from.sin_port)};
  const auto device = indexOf_.find(source.address);
  if (device == indexOf_.end()) return;
  const auto packet = DecodeTftp(std::span(receiveBuffer_.data(), static_cast<std::size_t>(n)));
  if (!packet) {
    SendFromListener(EncodeTftpError(TftpErrorCode::IllegalOperation, "Illegal TFTP operation"),
                     source);
    return;
  }
  if (std::holds_alternative<TftpError>(*packet)) return;
  const auto* request = std::get_if<TftpRequest>(&*packet);
  if (!request) {
    SendFromListener(EncodeTftpError(TftpErrorCode::IllegalOperation, "Illegal TFTP operation"),
                     source);
    return;
  }
  HandleRequest(device->second, *request, source);
}

void TftpServerImpl::HandleRequest(std::size_t device, const TftpRequest& request,
                                   const Endpoint& from) {
  std::optional<Session>& running = sessions_[device];
  if (running && running->peer == from) return;  // a repeated RRQ of the running transfer
  if (request.write) {
    SendFromListener(EncodeTftpError(TftpErrorCode::AccessViolation, "Access violation"), from);
    return;
  }
  if (!TftpNameEquals(request.mode, "octet")) {
    SendFromListener(EncodeTftpError(TftpErrorCode::NotDefined, "Only octet mode is served"), from);
    return;
  }
  if (request.fileName != options_.servedName) {
    if (IsPathLike(request.fileName)) {
      SendFromListener(EncodeTftpError(TftpErrorCode::AccessViolation, "Access violation"), from);
    } else {
      SendFromListener(EncodeTftpError(TftpErrorCode::FileNotFound, "File not found"), from);
    }
    return;
  }
  UniqueFd socket = BindUdp(bindAddress_, 0, nullptr);
  if (!socket.Valid()) {
    SendFromListener(EncodeTftpError(TftpErrorCode::NotDefined, "No transfer socket"), from);
    return;
  }
  if (running) EndSession(device, false);

  Negotiated negotiated = Negotiate(request.options, size_, options_.initialTimeout);
  Session& session = running.emplace();
  session.socket = std::move(socket);
  session.peer = from;
  session.blockSize = negotiated.blockSize;
  session.windowSize = negotiated.windowSize;
  session.timeout = negotiated.timeout;
  // The last block is the short one; an exact multiple ends with an empty block.
  session.lastBlock = size_ / session.blockSize + 1;
  {
    std::lock_guard lock(progressMutex_);
    TftpProgress& progress = progress_[device];
    progress.acknowledged = 0;
    progress.started = true;
    progress.finished = false;
    progress.failed = false;
  }
  if (!negotiated.acknowledged.empty()) {
    session.optionAck = EncodeTftpOptionAck(negotiated.acknowledged);
    session.awaitingOptionAck = true;
    session.transmissions = 1;
    session.wait = session.timeout;
    session.deadline = Clock::now() + session.wait;
    SendFromSession(session, session.optionAck, session.peer);
    return;
  }
  SendWindow(device);
}

bool TftpServerImpl::ReceiveOnSession(std::size_t device) {
  const Session& session = *sessions_[device];
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t n = ::recvfrom(session.socket.Get(), receiveBuffer_.data(), receiveBuffer_.size(),
                               MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
  if (n < 0) return false;
  const Endpoint source{from.sin_addr.s_addr, ntohs(from.sin_port)};
  const bool fromPeer = source == session.peer;
  if (!fromPeer && !indexOf_.contains(source.address)) return true;
  const auto packet = DecodeTftp(std::span(receiveBuffer_.data(), static_cast<std::size_t>(n)));
  if (!fromPeer) {
    if (!packet || !std::holds_alternative<TftpError>(*packet)) {
      SendFromSession(session,
                      EncodeTftpError(TftpErrorCode::UnknownTransferId, "Unknown transfer ID"),
                      source);
    }
    return true;
  }
  if (!packet) return true;
  if (const auto* ack = std::get_if<TftpAck>(&*packet)) {
    HandleAck(device, ack->block);
  } else if (std::holds_alternative<TftpError>(*packet)) {
    EndSession(device, false);  // the client gave up, or refused the OACK (ERROR 8)
  }
  return true;
}

void TftpServerImpl::HandleAck(std::size_t device, std::uint16_t block) {
  Session& session = *sessions_[device];
  if (session.awaitingOptionAck) {
    if (block != 0) return;
    session.awaitingOptionAck = false;
    session.optionAck.clear();
    SendWindow(device);
    return;
  }
  // The block numbers of acknowledged..lastSent are distinct modulo 65536 (a window holds at
  // most 65535 blocks), so the 16-bit number names one absolute block. Zero distance is the
  // block acknowledged before: a duplicate ACK, which must not resend anything.
  const std::uint64_t acknowledgedBefore = session.firstUnacknowledged - 1;
  const std::uint64_t distance =
      static_cast<std::uint16_t>(block - static_cast<std::uint16_t>(acknowledgedBefore));
  if (distance == 0 || distance > session.lastSent - acknowledgedBefore) return;
  const std::uint64_t acknowledged = acknowledgedBefore + distance;
  SetAcknowledged(device, std::min<std::uint64_t>(acknowledged * session.blockSize, size_));
  if (acknowledged == session.lastBlock) {
    EndSession(device, true);
    return;
  }
  // After an ACK inside the window the client lost the blocks after it: go on from there.
  session.firstUnacknowledged = acknowledged + 1;
  SendWindow(device);
}

void TftpServerImpl::HandleTimeout(std::size_t device) {
  Session& session = *sessions_[device];
  if (session.transmissions >= options_.maxTransmissions) {
    SendFromSession(session, EncodeTftpError(TftpErrorCode::NotDefined, "Transfer timed out"),
                    session.peer);
    EndSession(device, false);
    return;
  }
  ++session.transmissions;
  session.wait = std::min(session.wait * 2, session.timeout * 8);
  session.deadline = Clock::now() + session.wait;
  if (session.awaitingOptionAck) {
    SendFromSession(session, session.optionAck, session.peer);
    return;
  }
  for (std::uint64_t block = session.firstUnacknowledged; block <= session.lastSent; ++block) {
    if (!SendBlock(device, block)) return;
  }
}

// Sends firstUnacknowledged and the blocks after it, up to the window or the last block.
void TftpServerImpl::SendWindow(std::size_t device) {
  Session& session = *sessions_[device];
  session.lastSent =
      std::min(session.firstUnacknowledged + session.windowSize - 1, session.lastBlock);
  session.transmissions = 1;
  session.wait = session.timeout;
  session.deadline = Clock::now() + session.wait;
  for (std::uint64_t block = session.firstUnacknowledged; block <= session.lastSent; ++block) {
    if (!SendBlock(device, block)) return;
  }
}

// False when the image could not be read; the transfer has then ended.
bool TftpServerImpl::SendBlock(std::size_t device, std::uint64_t block) {
  const Session& session = *sessions_[device];
  const std::uint64_t offset = (block - 1) * session.blockSize;
  const std::size_t length =
      static_cast<std::size_t>(std::min<std::uint64_t>(session.blockSize, size_ - offset));
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pread(image_.Get(), payloadBuffer_.data() + done, length - done,
                              static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SendFromSession(session, EncodeTftpError(TftpErrorCode::NotDefined, "Read error"),
                      session.peer);
      EndSession(device, false);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  // Block numbers wrap from 65535 to 0.
  SendFromSession(
      session,
      EncodeTftpData(static_cast<std::uint16_t>(block), std::span(payloadBuffer_.data(), length)),
      session.peer);
  return true;
}

void TftpServerImpl::SendFromListener(const std::vector<std::uint8_t>& packet, const Endpoint& to) {
  const sockaddr_in address = ToSockaddr(to);
  // A lost datagram is recovered by the client's or our own retransmission.
  ::sendto(listener_.Get(), packet.data(), packet.size(), 0,
           reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

void TftpServerImpl::SendFromSession(const Session& session,
                                     const std::vector<std::uint8_t>& packet, const Endpoint& to) {
  const sockaddr_in address = ToSockaddr(to);
  ::sendto(session.socket.Get(), packet.data(), packet.size(), 0,
           reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

void TftpServerImpl::EndSession(std::size_t device, bool finished) {
  sessions_[device].reset();
  std::lock_guard lock(progressMutex_);
  TftpProgress& progress = progress_[device];
  if (finished) {
    progress.acknowledged = size_;
    progress.finished = true;
  } else {
    progress.failed = true;
  }
}

void TftpServerImpl::SetAcknowledged(std::size_t device, std::uint64_t bytes) {
  std::lock_guard lock(progressMutex_);
  progress_[device].acknowledged = bytes;
}

bool ParseAddress(const std::string& text, in_addr_t* address) {
  if (text.empty()) {
    *address = htonl(INADDR_ANY);
    return true;
  }
  in_addr parsed{};
  if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  *address = parsed.s_addr;
  return true;
}

}  // namespace

std::unique_ptr<TftpServer> TftpServer::Start(const TftpServerOptions& options,
                                              std::string* error) {
  const auto fail = [&](std::string reason) -> std::unique_ptr<TftpServer> {
    if (error) *error = std::move(reason);
    return nullptr;
  };
  in_addr_t bindAddress = 0;
  if (!ParseAddress(options.bindAddress, &bindAddress)) {
    return fail("invalid bind address \"" + options.bindAddress + "\"");
  }
  if (options.clientAddresses.empty()) return fail("invalid client address: none given");
  std::vector<in_addr_t> clients;
  clients.reserve(options.clientAddresses.size());
  for (const std::string& client : options.clientAddresses) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, client.c_str(), &parsed) != 1) {
      return fail("invalid client address \"" + client + "\"");
    }
    clients.push_back(parsed.s_addr);
  }
  if (options.initialTimeout.count() <= 0 || options.maxTransmissions < 1) {
    return fail("invalid retransmission settings");
  }

  // O_NONBLOCK: opening a FIFO must not wait for a writer; regular files ignore it.
  UniqueFd image(::open(options.filePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!image.Valid()) return fail(SystemError("cannot open " + options.filePath));
  struct stat status {};
  if (::fstat(image.Get(), &status) != 0)
    return fail(SystemError("cannot read " + options.filePath));
  if (!S_ISREG(status.st_mode)) return fail(options.filePath + " is not a regular file");

  UniqueFd listener = BindUdp(bindAddress, options.port, error);
  if (!listener.Valid()) return nullptr;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    return fail(SystemError("cannot read the bound port"));
  }
  UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake.Valid()) return fail(SystemError("cannot create an eventfd"));

  return std::make_unique<TftpServerImpl>(
      options, bindAddress, clients, std::move(listener), ntohs(local.sin_port), std::move(image),
      static_cast<std::uint64_t>(status.st_size), std::move(wake));
}

}  // namespace kelvo::firmware
