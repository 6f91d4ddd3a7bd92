// SPDX-License-Identifier: GPL-2.0-or-later
// TFTP server: for every input a server is started on loopback with an image of the size the
// first byte picks, and the rest is a script of datagrams that two clients of the device's
// address (and a stranger on another address) send to the server's port or to the transfer's
// own port. After each datagram a third client of the device's address sends two probes (a
// WRQ each) to the server's port, one after the other's answer; the second answer shows that
// the datagram has been handled, so that what the clients have received by then is all the
// datagram caused.
//
// Checks: everything the server sends is a well-formed DATA, OACK or ERROR; DATA carries the
// image's bytes for its block at the negotiated block size and never a block past the last;
// an OACK only acknowledges options the client asked for, in their ranges, with the image's
// size as tsize; a WRQ is always refused with "access violation"; the stranger gets nothing;
// the progress never claims more than the image, and a finished transfer is one whose last
// block the client acknowledged.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "firmware/TftpPacket.h"
#include "firmware/TftpServer.h"

namespace {

namespace fw = kelvo::firmware;
using Datagram = std::vector<std::uint8_t>;

constexpr std::size_t kMaxScript = 16;
constexpr std::array<std::uint64_t, 8> kImageSizes = {0, 1, 8, 511, 512, 513, 1500, 2048};

// Where the script was when a rule broke.
struct Position {
  std::size_t step = 0;
  unsigned flags = 0;
  std::uint16_t port = 0;
} position;

[[noreturn]] void Fail(const char* rule) {
  std::fprintf(stderr, "tftp_server: broken rule: %s (datagram %zu, flags %u, to port %u)\n", rule,
               position.step, position.flags, position.port);
  std::abort();
}

void Require(bool holds, const char* rule) {
  if (!holds) Fail(rule);
}

std::uint8_t ImageByte(std::uint64_t offset) { return static_cast<std::uint8_t>(offset * 7 + 3); }

class Socket {
 public:
  explicit Socket(const char* address) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0)) {
    Require(fd_ >= 0, "a UDP socket opens");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &local.sin_addr);
    Require(::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0,
            "a loopback socket binds");
  }
  ~Socket() { ::close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int Descriptor() const { return fd_; }

  void SendTo(const Datagram& data, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

  // The next datagram and its source port; nothing when none waits (a pending ICMP error, from
  // a send to a transfer port that has closed, counts as nothing).
  std::optional<Datagram> Receive(std::uint16_t* fromPort) {
    for (;;) {
      Datagram data(65536);
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n =
          ::recvfrom(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) {
        if (errno == ECONNREFUSED) continue;
        return std::nullopt;
      }
      data.resize(static_cast<std::size_t>(n));
      *fromPort = ntohs(from.sin_port);
      return data;
    }
  }

  // Sends the probe until it is answered. Loopback drops datagrams when the host runs short of
  // UDP memory (floods from other tests), so a lost probe or answer is sent again; a server
  // that answers none of them within 8 s (libFuzzer gives up at 10) is stuck. Late answers to
  // a probe sent again are dropped before the next one.
  void Probe(std::uint16_t port) {
    std::uint8_t sink[1];
    while (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) >= 0) {
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
      SendTo(fw::EncodeTftpRequest({true, "probe", "octet", {}}), port);
      pollfd pfd{fd_, POLLIN, 0};
      if (::poll(&pfd, 1, 1000) == 1) {
        ::recv(fd_, sink, sizeof sink, 0);
        return;
      }
    }
    Fail("the server answers the probe");
  }

 private:
  int fd_;
};

// What one client has asked for, and the transfer it was last sent packets from. A transfer
// is known by its port: the server opens a new one for every transfer it starts.
struct Client {
  std::optional<fw::TftpRequest> asked;    // its latest read request of the served name
  std::optional<fw::TftpRequest> request;  // the one its current transfer answers
  std::uint16_t transferPort = 0;
  std::size_t blockSize = fw::kTftpDefaultBlockSize;
  bool ackedLast = false;

  void SeenFrom(std::uint16_t port) {
    if (port == transferPort) return;
    Require(asked.has_value(), "a transfer answers a read request of the served name");
    transferPort = port;
    request = asked;
    blockSize = fw::kTftpDefaultBlockSize;
  }
};

class MemoryImage {
 public:
  MemoryImage() : fd_(::memfd_create("application.dlf", MFD_CLOEXEC)) {
    Require(fd_ >= 0, "memfd_create works");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  const std::string& Fill(std::uint64_t size) {
    Datagram bytes(size);
    for (std::uint64_t i = 0; i < size; ++i) bytes[i] = ImageByte(i);
    Require(::ftruncate(fd_, 0) == 0 &&
                ::pwrite(fd_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()),
            "the image is written");
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

struct World {
  MemoryImage image;
  Socket clients[2] = {Socket("127.0.0.1"), Socket("127.0.0.1")};
  Socket prober{"127.0.0.1"};
  Socket stranger{"127.0.0.2"};
};

World& TheWorld() {
  static World* world = new World;
  return *world;
}

bool AskedFor(const fw::TftpRequest& request, std::string_view name) {
  return std::any_of(
      request.options.begin(), request.options.end(),
      [&](const fw::TftpOption& option) { return fw::TftpNameEquals(option.first, name); });
}

// An OACK opens a transfer (or is sent again for it) and sets its block size.
void CheckOptionAck(const fw::TftpOptionAck& ack, Client& client, std::uint64_t imageSize) {
  client.blockSize = fw::kTftpDefaultBlockSize;
  std::vector<std::string> names;
  for (const auto& [name, value] : ack.options) {
    Require(AskedFor(*client.request, name), "an OACK only acknowledges requested options");
    Require(std::find(names.begin(), names.end(), name) == names.end(),
            "an OACK names each option once");
    names.push_back(name);
    const auto number = fw::ParseTftpNumber(value);
    Require(number.has_value(), "an OACK value is a number");
    if (name == "blksize") {
      Require(*number >= fw::kTftpMinBlockSize && *number <= fw::kTftpMaxBlockSize,
              "blksize within 8..65464");
      client.blockSize = static_cast<std::size_t>(*number);
    } else if (name == "timeout") {
      Require(*number >= fw::kTftpMinTimeout && *number <= fw::kTftpMaxTimeout,
              "timeout within 1..255");
    } else if (name == "windowsize") {
      Require(*number >= 1 && *number <= fw::kTftpMaxWindowSize, "windowsize within 1..65535");
    } else {
      Require(name == "tsize", "an OACK names a known option");
      Require(*number == imageSize, "tsize is the image's size");
    }
  }
}

void CheckData(const fw::TftpData& data, const Client& client, std::uint64_t imageSize) {
  const std::uint64_t lastBlock = imageSize / client.blockSize + 1;
  Require(data.block >= 1 && data.block <= lastBlock, "DATA blocks run from 1 to the last");
  const std::uint64_t offset = (data.block - 1) * client.blockSize;
  const std::uint64_t length = std::min<std::uint64_t>(client.blockSize, imageSize - offset);
  Require(data.payload.size() == length, "a DATA block has the negotiated size, the last less");
  for (std::size_t i = 0; i < data.payload.size(); ++i) {
    Require(data.payload[i] == ImageByte(offset + i), "DATA carries the image's bytes");
  }
}

// Everything the server has sent to the clients and the stranger since the last call.
void Collect(World& world, std::uint64_t imageSize, std::array<Client, 2>& clients,
             bool lastWasWrite, int writer, bool& writeRefused) {
  std::uint16_t port = 0;
  Require(!world.stranger.Receive(&port), "the server never answers another host");
  for (int c = 0; c < 2; ++c) {
    while (auto datagram = world.clients[c].Receive(&port)) {
      const auto packet = fw::DecodeTftp(*datagram);
      Require(packet.has_value(), "the server sends well-formed packets");
      Client& client = clients[static_cast<std::size_t>(c)];
      if (const auto* error = std::get_if<fw::TftpError>(&*packet)) {
        if (lastWasWrite && c == writer &&
            error->code == static_cast<std::uint16_t>(fw::TftpErrorCode::AccessViolation)) {
          writeRefused = true;
        }
        continue;
      }
      client.SeenFrom(port);
      if (const auto* ack = std::get_if<fw::TftpOptionAck>(&*packet)) {
        CheckOptionAck(*ack, client, imageSize);
        continue;
      }
      const auto* data = std::get_if<fw::TftpData>(&*packet);
      Require(data != nullptr, "the server sends only DATA, OACK and ERROR");
      CheckData(*data, client, imageSize);
    }
  }
}

}  // namespace

// Input: byte 0 picks the image size; then up to 16 datagrams, each a flags byte (bits 0-1:
// client 0, client 1 or the stranger; bit 2: to the transfer's port rather than the server's),
// a length byte and that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  World& world = TheWorld();
  const std::uint64_t imageSize = kImageSizes[data[0] % kImageSizes.size()];
  fw::TftpServerOptions options;
  options.bindAddress = "127.0.0.1";
  options.port = 0;
  options.clientAddresses = {"127.0.0.1"};
  options.filePath = world.image.Fill(imageSize);
  std::string error;
  auto server = fw::TftpServer::Start(options, &error);
  Require(server != nullptr, "the server starts");

  // Nothing an earlier server sent (its "Server stopped") may count for this one.
  std::uint16_t ignored = 0;
  for (Socket& socket : world.clients) {
    while (socket.Receive(&ignored)) {
    }
  }

  std::array<Client, 2> clients;
  std::size_t at = 1;
  for (std::size_t sent = 0; sent < kMaxScript && at + 2 <= size; ++sent) {
    const std::uint8_t flags = data[at];
    const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
    const Datagram datagram(data + at + 2, data + at + 2 + length);
    at += 2 + length;
    const int sender = (flags & 3) == 3 ? 0 : flags & 3;
    const bool fromStranger = (flags & 3) == 2;
    Client* client = fromStranger ? nullptr : &clients[static_cast<std::size_t>(sender)];
    const bool toTransfer = (flags & 4) != 0 && client != nullptr && client->transferPort != 0;
    const std::uint16_t port = toTransfer ? client->transferPort : server->Port();
    position = {sent, flags, port};

    const auto packet = fw::DecodeTftp(datagram);
    // A WRQ must be refused unless it comes from a client with a transfer, whose repeated
    // requests the server ignores.
    bool isWrite = false;
    if (client != nullptr && packet && !toTransfer) {
      if (const auto* request = std::get_if<fw::TftpRequest>(&*packet)) {
        isWrite = request->write && client->transferPort == 0;
        if (!request->write && request->fileName == fw::kFirmwareFileName &&
            fw::TftpNameEquals(request->mode, "octet")) {
          client->asked = *request;
        }
      }
    }
    if (client != nullptr && packet && toTransfer) {
      const auto* ack = std::get_if<fw::TftpAck>(&*packet);
      if (ack != nullptr && ack->block == imageSize / client->blockSize + 1) {
        client->ackedLast = true;
      }
    }
    (fromStranger ? world.stranger : world.clients[sender]).SendTo(datagram, port);

    // The server handles at most one datagram per socket in each turn of its loop, its own
    // port first: the answer to the second probe comes from a later turn than the datagram.
    world.prober.Probe(server->Port());
    world.prober.Probe(server->Port());
    bool writeRefused = false;
    Collect(world, imageSize, clients, isWrite, sender, writeRefused);
    if (isWrite) Require(writeRefused, "a WRQ is refused with access violation");
  }

  const fw::TftpProgress progress = server->Progress();
  Require(progress.acknowledged <= imageSize, "the progress never exceeds the image");
  if (progress.finished) {
    Require(clients[0].ackedLast || clients[1].ackedLast,
            "a finished transfer had its last block acknowledged");
  }
  server->Stop();
  return 0;
}
