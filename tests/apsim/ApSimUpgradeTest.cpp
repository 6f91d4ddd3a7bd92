// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-apsim fetching its firmware over real UDP on loopback after the UpgradeServerAddress
// set: a TFTP server scripted packet by packet in the test, and Debian's tftpd-hpa.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "AgentPackets.h"
#include "Sha256.h"
#include "firmware/TftpPacket.h"
#include "support/ApSimProcess.h"

namespace kelvo::test {
namespace {

using firmware::TftpAck;
using firmware::TftpErrorCode;
using firmware::TftpRequest;
using Bytes = std::vector<std::uint8_t>;

struct Datagram {
  Bytes bytes;
  std::string address;
  std::uint16_t port = 0;
};

class Udp {
 public:
  Udp() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      throw std::runtime_error("cannot bind a UDP socket on 127.0.0.1");
    }
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
  }
  ~Udp() { ::close(fd_); }
  Udp(const Udp&) = delete;
  Udp& operator=(const Udp&) = delete;

  std::uint16_t Port() const { return port_; }

  void SendTo(const Bytes& packet, const std::string& address, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

  std::optional<Datagram> Receive(int timeoutMs) {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) return std::nullopt;
    Datagram datagram;
    datagram.bytes.resize(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd_, datagram.bytes.data(), datagram.bytes.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return std::nullopt;
    datagram.bytes.resize(static_cast<std::size_t>(n));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    datagram.address = text;
    datagram.port = ntohs(from.sin_port);
    return datagram;
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

template <typename Packet>
Packet Decoded(const std::optional<Datagram>& datagram) {
  if (!datagram) throw std::runtime_error("nothing arrived");
  const auto packet = firmware::DecodeTftp(datagram->bytes);
  if (!packet || !std::holds_alternative<Packet>(*packet)) {
    throw std::runtime_error("another packet arrived");
  }
  return std::get<Packet>(*packet);
}

Bytes Image(std::size_t size) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + i / 509);
  return image;
}

Bytes FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string TempDirectory(const std::string& name) {
  std::string path = ::testing::TempDir() + name + '-' + std::to_string(::getpid());
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

// The server's side of one transfer, from the port it answers the read request from.
struct Transfer {
  Udp tid;
  Datagram client;

  void Send(const Bytes& packet) { tid.SendTo(packet, client.address, client.port); }
  TftpAck Ack() { return Decoded<TftpAck>(tid.Receive(3000)); }
};

class ApSimUpgrade : public ::testing::Test {
 protected:
  void SetServerAddress(int ap, long requestId = 1) {
    manager_.SendTo(SetRequest("admin", {Ip("UpgradeServerAddress", 127, 0, 0, 1)}, requestId),
                    sim_.Address(ap), sim_.Port());
  }

  std::optional<Message> Reply(int timeoutMs) {
    const auto datagram = manager_.Receive(timeoutMs);
    if (!datagram) return std::nullopt;
    return ParseMessage(datagram->bytes);
  }

  // Waits for the device's read request and answers it from a new port.
  std::unique_ptr<Transfer> Accept(TftpRequest* request = nullptr) {
    auto transfer = std::make_unique<Transfer>();
    auto datagram = listen_.Receive(3000);
    const auto rrq = Decoded<TftpRequest>(datagram);
    if (request != nullptr) *request = rrq;
    transfer->client = std::move(*datagram);
    return transfer;
  }

  // Sends the image's blocks from `first` on, a window at a time, each window acknowledged
  // at its last block; stops before the last block when `holdLast`.
  void Serve(Transfer& transfer, const Bytes& image, std::size_t blockSize, std::size_t window,
             std::uint16_t first = 1, bool holdLast = false) {
    const std::size_t blocks = image.size() / blockSize + 1;
    for (std::size_t n = first; n <= blocks;) {
      std::size_t sent = 0;
      for (; sent < window && n <= blocks; ++sent, ++n) {
        if (holdLast && n == blocks) return;
        const std::size_t offset = (n - 1) * blockSize;
        const std::size_t size = std::min(blockSize, image.size() - offset);
        transfer.Send(firmware::EncodeTftpData(static_cast<std::uint16_t>(n),
                                               std::span(image).subspan(offset, size)));
      }
      ASSERT_EQ(transfer.Ack().block, static_cast<std::uint16_t>(n - 1));
    }
  }

  void ExpectRecorded(int ap, const Bytes& image) {
    const ApSimImage recorded = sim_.Image(ap);
    EXPECT_EQ(recorded.state, "done");
    EXPECT_EQ(recorded.bytes, image.size());
    EXPECT_EQ(recorded.sha256, apsim::Sha256Hex(image));
    EXPECT_EQ(recorded.file, images_ + '/' + sim_.Address(ap) + ".dlf");
    EXPECT_EQ(FileBytes(recorded.file), image);
  }

  Udp listen_;  // the TFTP server's well-known port
  Udp manager_;
  std::string images_ = TempDirectory("apsim-images");
  ApSimProcess sim_{
      {.extraArguments = {"--tftp-port", std::to_string(listen_.Port()), "--image-dir", images_}}};
};

TEST_F(ApSimUpgrade, PlainDownloadsAreAnsweredOnlyAfterTheLastBlock) {
  sim_.Command("upgrade-firmware 1 2.1.0");
  for (const std::size_t size : {0u, 512u, 1000u}) {
    SCOPED_TRACE(size);
    const Bytes image = Image(size);
    SetServerAddress(0, static_cast<long>(size) + 1);
    TftpRequest request;
    const auto transfer = Accept(&request);
    EXPECT_EQ(transfer->client.address, "127.0.0.2") << "the device fetches from its address";
    EXPECT_EQ(request.fileName, "application.dlf");
    EXPECT_EQ(request.mode, "octet");
    EXPECT_TRUE(request.options.empty());

    Serve(*transfer, image, 512, 1, 1, /*holdLast=*/true);
    EXPECT_FALSE(Reply(150)) << "answered before the last block";
    Serve(*transfer, image, 512, 1, static_cast<std::uint16_t>(size / 512 + 1));
    const auto reply = Reply(2000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->requestId, static_cast<long>(size) + 1);
    EXPECT_EQ(reply->errorStatus, 0);
    EXPECT_EQ(reply->variables.at(0).bytes, (Bytes{127, 0, 0, 1}));
    ExpectRecorded(0, image);
  }
  manager_.SendTo(GetRequest("tundra", {Null("SystemDescription")}), sim_.Address(0), sim_.Port());
  EXPECT_TRUE(Reply(2000).value().variables.at(0).Text().ends_with("2.1.0")) << "rebooted";
}

TEST_F(ApSimUpgrade, WindowsOfNegotiatedBlocksWhileTheOthersKeepAnswering) {
  sim_.Command("tftp-options 1 blksize=1024 windowsize=4 tsize");
  sim_.Command("tftp-retry 1 5000 5");  // the pause below must not look like a lost packet
  const Bytes image = Image(1024 * 13 + 77);
  SetServerAddress(0, 7);
  TftpRequest request;
  const auto transfer = Accept(&request);
  EXPECT_EQ(request.options, (std::vector<firmware::TftpOption>{
                                 {"blksize", "1024"}, {"windowsize", "4"}, {"tsize", "0"}}));
  transfer->Send(firmware::EncodeTftpOptionAck(
      {{"blksize", "1024"}, {"windowsize", "4"}, {"tsize", std::to_string(image.size())}}));
  EXPECT_EQ(transfer->Ack().block, 0);
  Serve(*transfer, image, 1024, 4, 1, /*holdLast=*/true);  // blocks 1 to 13

  // Meanwhile: another access point answers, a second set to this one is refused at once...
  manager_.SendTo(GetRequest("tundra", {Null("DeviceName")}, 8), sim_.Address(1), sim_.Port());
  const auto other = Reply(1000);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->variables.at(0).Text(), "Kelvo-AP-02");
  SetServerAddress(0, 9);
  const auto refused = Reply(1000);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->requestId, 9);
  EXPECT_EQ(refused->errorStatus, 5);
  // ...a stranger's packet to the device's transfer port is answered with ERROR 5...
  Udp stranger;
  stranger.SendTo(firmware::EncodeTftpData(14, Bytes(77)), transfer->client.address,
                  transfer->client.port);
  EXPECT_EQ(Decoded<firmware::TftpError>(stranger.Receive(2000)).code,
            static_cast<std::uint16_t>(TftpErrorCode::UnknownTransferId));
  EXPECT_EQ(sim_.Image(0).state, "fetching");
  EXPECT_EQ(sim_.Image(0).bytes, 1024u * 13);

  // ...and the download goes on undisturbed.
  Serve(*transfer, image, 1024, 4, 14);
  const auto reply = Reply(2000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->requestId, 7);
  EXPECT_EQ(reply->errorStatus, 0);
  ExpectRecorded(0, image);
}

TEST_F(ApSimUpgrade, FailedDownloadsAndFaultsGetTheirErrorStatus) {
  sim_.Command("upgrade-firmware 1 2.1.0");
  // The server refuses the file.
  SetServerAddress(0);
  Accept()->Send(firmware::EncodeTftpError(TftpErrorCode::FileNotFound, "File not found"));
  auto reply = Reply(2000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->errorStatus, 5);
  EXPECT_EQ(reply->errorIndex, 1);
  EXPECT_EQ(sim_.Image(0).state, "failed");
  EXPECT_EQ(sim_.Image(0).reason, "server error 1: File not found");

  // The server never answers: three read requests 100 ms apart, then the error status.
  sim_.Command("tftp-retry 1 100 3");
  const auto start = std::chrono::steady_clock::now();
  SetServerAddress(0, 2);
  const auto first = listen_.Receive(2000);
  ASSERT_TRUE(first);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(listen_.Receive(1000)->bytes, first->bytes);
  reply = Reply(2000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->errorStatus, 5);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_FALSE(listen_.Receive(200)) << "no fourth try";

  // Faults: silent answers nothing and fetches nothing; error answers at once.
  sim_.Fault(0, "silent");
  SetServerAddress(0, 3);
  EXPECT_FALSE(listen_.Receive(300));
  EXPECT_FALSE(Reply(10));
  sim_.Fault(0, "error 5");
  SetServerAddress(0, 4);
  reply = Reply(1000);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->errorStatus, 5);
  EXPECT_FALSE(listen_.Receive(100));
  EXPECT_TRUE(sim_.Get(0, "SystemDescription").value.ends_with("312E302E34")) << "still 1.0.4";
}

TEST(ApSimUpgradeTftpdHpa, DebianTftpdHpaServesTwoAccessPointsAtOnce) {
  const std::string server = "/usr/sbin/in.tftpd";
  if (::access(server.c_str(), X_OK) != 0) {
    GTEST_SKIP() << "tftpd-hpa (Debian package tftpd-hpa) is not installed";
  }
  if (::geteuid() != 0) GTEST_SKIP() << "tftpd-hpa's -s (chroot) needs root";
  const std::string root = TempDirectory("apsim-tftpd");
  const std::string images = TempDirectory("apsim-tftpd-images");
  const Bytes image = Image(300'000);
  std::ofstream(root + "/application.dlf", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  std::uint16_t port = 0;
  {
    const Udp probe;  // a port that was free a moment ago
    port = probe.Port();
  }
  const std::string address = "127.0.0.1:" + std::to_string(port);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(server.c_str(), server.c_str(), "--foreground", "--address", address.c_str(), "-s",
            root.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(pid, 0);
  struct Reaper {
    pid_t pid;
    ~Reaper() {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  } reaper{pid};

  ApSimProcess sim(
      {.extraArguments = {"--tftp-port", std::to_string(port), "--image-dir", images}});
  sim.Command("tftp-options 2 blksize=1428 tsize");
  Udp manager;
  for (int ap = 0; ap < 2; ++ap) {
    manager.SendTo(SetRequest("admin", {Ip("UpgradeServerAddress", 127, 0, 0, 1)}, ap + 1),
                   sim.Address(ap), sim.Port());
  }
  for (int i = 0; i < 2; ++i) {
    const auto reply = manager.Receive(10000);
    ASSERT_TRUE(reply) << "no answer";
    const auto message = ParseMessage(reply->bytes);
    EXPECT_EQ(message->errorStatus, 0) << sim.Image(i).reason;
  }
  for (int ap = 0; ap < 2; ++ap) {
    EXPECT_EQ(FileBytes(images + '/' + sim.Address(ap) + ".dlf"), image);
  }
}

}  // namespace
}  // namespace kelvo::test
