// SPDX-License-Identifier: GPL-2.0-or-later
// The access point's TFTP download against scripted servers, with no sockets: every datagram
// the device sends is checked, every answer of the server is written out by the test.
#include <gtest/gtest.h>

#include "Sha256.h"
#include "TftpFetch.h"

namespace kelvo::apsim {
namespace {

using namespace std::chrono_literals;
using firmware::TftpAck;
using firmware::TftpError;
using firmware::TftpErrorCode;

constexpr std::uint32_t kServer = 0x7F000001;
constexpr std::uint16_t kServerTid = 40001;
constexpr std::uint32_t kStranger = 0x7F000009;

std::vector<std::uint8_t> Image(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return image;
}

template <typename Packet>
Packet As(const std::optional<TftpDatagram>& datagram) {
  if (!datagram) throw std::runtime_error("nothing was sent");
  const auto decoded = firmware::DecodeTftp(datagram->packet);
  if (!decoded || !std::holds_alternative<Packet>(*decoded)) {
    throw std::runtime_error("another packet was sent");
  }
  return std::get<Packet>(*decoded);
}

class TftpFetchTest : public ::testing::Test {
 protected:
  TftpFetch Make(std::vector<firmware::TftpOption> options = {}) {
    TftpClientSettings settings;
    settings.port = 6969;
    settings.options = std::move(options);
    return TftpFetch(kServer, "application.dlf", settings);
  }

  std::optional<TftpDatagram> Server(TftpFetch& fetch, const std::vector<std::uint8_t>& packet,
                                     std::uint16_t port = kServerTid) {
    return fetch.Receive(packet, kServer, port, now);
  }
  std::optional<TftpDatagram> Block(TftpFetch& fetch, std::uint16_t block,
                                    std::span<const std::uint8_t> payload) {
    return Server(fetch, firmware::EncodeTftpData(block, payload));
  }

  // A well-behaved server: sends `window` blocks of `blockSize`, then expects the device's ACK
  // of the last of them. Returns the number of ACKs the device sent.
  int Serve(TftpFetch& fetch, const std::vector<std::uint8_t>& image, std::size_t blockSize,
            std::size_t window) {
    int acks = 0;
    std::size_t offset = 0;
    std::uint16_t block = 0;
    bool last = false;
    while (!last) {
      std::optional<TftpDatagram> answer;
      for (std::size_t i = 0; i < window && !last; ++i) {
        EXPECT_FALSE(answer) << "ACK in the middle of a window, after block " << block;
        const std::size_t size = std::min(blockSize, image.size() - offset);
        last = size < blockSize;
        answer = Block(fetch, ++block, std::span(image).subspan(offset, size));
        offset += size;
      }
      EXPECT_EQ(As<TftpAck>(answer).block, block);
      EXPECT_EQ(answer->port, kServerTid);
      ++acks;
    }
    return acks;
  }

  SimTime now{1000};
};

TEST_F(TftpFetchTest, PlainDownloadsAckEveryBlockAndEndOnTheShortOne) {
  for (const std::size_t size : {0u, 511u, 1024u, 5000u}) {
    SCOPED_TRACE(size);
    TftpFetch fetch = Make();
    EXPECT_EQ(fetch.Start(now).port, 6969);
    const auto image = Image(size);
    // A multiple of 512 ends with an empty block.
    EXPECT_EQ(Serve(fetch, image, 512, 1), static_cast<int>(size / 512 + 1));
    EXPECT_EQ(fetch.Progress(), TftpFetch::State::Succeeded);
    EXPECT_EQ(fetch.Image(), image);
  }
}

TEST_F(TftpFetchTest, TheServerMayGrantLessThanAskedInAnyCase) {
  TftpFetch fetch = Make({{"blksize", "1428"}, {"windowsize", "4"}, {"tsize", "0"}});
  fetch.Start(now);
  const auto image = Image(1024 * 12 + 100);
  const auto ack = Server(
      fetch,
      firmware::EncodeTftpOptionAck(
          {{"BLKSIZE", "1024"}, {"windowsize", "3"}, {"TSize", std::to_string(image.size())}}));
  EXPECT_EQ(As<TftpAck>(ack).block, 0);
  EXPECT_EQ(Serve(fetch, image, 1024, 3), 5) << "13 blocks in windows of 3";
  EXPECT_EQ(fetch.Image(), image);
}

TEST_F(TftpFetchTest, AServerThatIgnoresTheOptionsGetsPlainBlocks) {
  TftpFetch fetch = Make({{"blksize", "1428"}, {"windowsize", "8"}});
  fetch.Start(now);
  const auto image = Image(1300);
  EXPECT_EQ(Serve(fetch, image, 512, 1), 3);
  EXPECT_EQ(fetch.Image(), image);
}

TEST_F(TftpFetchTest, UnacceptableOptionAcksAreRefusedWithError8) {
  const std::vector<firmware::TftpOption> asked = {{"blksize", "1024"}, {"timeout", "2"}};
  const std::vector<std::vector<firmware::TftpOption>> bad = {
      {{"blksize", "1025"}},                     // more than asked
      {{"blksize", "7"}},                        // below the minimum
      {{"timeout", "3"}},                        // not the timeout asked
      {{"windowsize", "2"}},                     // not asked
      {{"blksize", "512"}, {"blksize", "512"}},  // twice
      {{"blksize", "+512"}},
  };
  for (const auto& options : bad) {
    SCOPED_TRACE(options.front().first + "=" + options.front().second);
    TftpFetch fetch = Make(asked);
    fetch.Start(now);
    const auto refusal = Server(fetch, firmware::EncodeTftpOptionAck(options));
    EXPECT_EQ(As<TftpError>(refusal).code,
              static_cast<std::uint16_t>(TftpErrorCode::OptionRefused));
    EXPECT_EQ(refusal->port, kServerTid);
    EXPECT_EQ(fetch.Progress(), TftpFetch::State::Failed);
  }
  // An OACK to a request without options is just as wrong.
  TftpFetch plain = Make();
  plain.Start(now);
  EXPECT_EQ(As<TftpError>(Server(plain, firmware::EncodeTftpOptionAck({{"blksize", "512"}}))).code,
            static_cast<std::uint16_t>(TftpErrorCode::IllegalOperation));
}

TEST_F(TftpFetchTest, TheServersErrorOrMalformedDataEndTheDownload) {
  TftpFetch refused = Make();
  refused.Start(now);
  EXPECT_FALSE(Server(refused, firmware::EncodeTftpError(TftpErrorCode::FileNotFound, "gone")));
  EXPECT_EQ(refused.Progress(), TftpFetch::State::Failed);
  EXPECT_EQ(refused.FailureReason(), "server error 1: gone");
  EXPECT_FALSE(refused.Deadline());

  const std::vector<std::vector<std::uint8_t>> malformed = {
      {0, 3, 0},                                // DATA without its block number
      {0, 9, 0, 1},                             // unknown opcode
      firmware::EncodeTftpAck(1),               // the server does not acknowledge
      firmware::EncodeTftpData(1, Image(513)),  // longer than the block size
  };
  for (const auto& packet : malformed) {
    TftpFetch fetch = Make();
    fetch.Start(now);
    EXPECT_EQ(As<TftpError>(Server(fetch, packet)).code,
              static_cast<std::uint16_t>(TftpErrorCode::IllegalOperation));
    EXPECT_EQ(fetch.Progress(), TftpFetch::State::Failed);
  }

  // A tsize that the blocks do not add up to.
  TftpFetch sized = Make({{"tsize", "0"}});
  sized.Start(now);
  Server(sized, firmware::EncodeTftpOptionAck({{"tsize", "600"}}));
  Block(sized, 1, Image(512));
  EXPECT_TRUE(Block(sized, 2, Image(10)));
  EXPECT_EQ(sized.Progress(), TftpFetch::State::Failed);
}

TEST_F(TftpFetchTest, SilenceBringsByteIdenticalAcksThenTheGiveUp) {
  // After the first blocks, the last ACK goes again; then an ERROR ends it.
  TftpFetch stalled = Make();
  stalled.Start(now);
  const auto ack = Block(stalled, 1, Image(512));
  for (int i = 1; i < 5; ++i) {
    now += 999ms;
    EXPECT_FALSE(stalled.Expire(now)) << "not before the full second";
    now += 1ms;
    EXPECT_EQ(stalled.Expire(now)->packet, ack->packet);
  }
  now += 1s;
  EXPECT_EQ(As<TftpError>(stalled.Expire(now)).code, 0);
  EXPECT_EQ(stalled.Progress(), TftpFetch::State::Failed);
}

TEST_F(TftpFetchTest, OtherTransferIdsAreToldOffAndChangeNothing) {
  TftpFetch fetch = Make();
  fetch.Start(now);
  // Before the server answers: another host.
  const auto early = fetch.Receive(firmware::EncodeTftpData(1, Image(512)), kStranger, 5000, now);
  EXPECT_EQ(As<TftpError>(early).code,
            static_cast<std::uint16_t>(TftpErrorCode::UnknownTransferId));
  EXPECT_EQ(early->address, kStranger);
  EXPECT_EQ(early->port, 5000);

  Block(fetch, 1, Image(512));
  // After it: the same host from another port, and an ERROR, which is never answered.
  const auto late = Server(fetch, firmware::EncodeTftpData(2, Image(100)), kServerTid + 1);
  EXPECT_EQ(As<TftpError>(late).code, static_cast<std::uint16_t>(TftpErrorCode::UnknownTransferId));
  EXPECT_EQ(late->port, kServerTid + 1);
  EXPECT_FALSE(Server(fetch, firmware::EncodeTftpError(TftpErrorCode::NotDefined, "x"), 7));
  EXPECT_EQ(fetch.Progress(), TftpFetch::State::Running);

  EXPECT_EQ(As<TftpAck>(Block(fetch, 2, Image(100))).block, 2);
  EXPECT_EQ(fetch.Image().size(), 612u);
}

TEST_F(TftpFetchTest, LostPacketsAreRecoveredWithoutDuplicateData) {
  TftpFetch fetch = Make({{"windowsize", "4"}});
  fetch.Start(now);
  Server(fetch, firmware::EncodeTftpOptionAck({{"windowsize", "4"}}));
  // The OACK again (our ACK 0 was lost): ACK 0 again.
  EXPECT_EQ(As<TftpAck>(Server(fetch, firmware::EncodeTftpOptionAck({{"windowsize", "4"}}))).block,
            0);
  const auto image = Image(512 * 8 + 3);
  const auto block = [&](std::uint16_t n) {
    const std::size_t offset = (n - 1) * std::size_t{512};
    return Block(
        fetch, n,
        std::span(image).subspan(offset, std::min<std::size_t>(512, image.size() - offset)));
  };
  EXPECT_FALSE(block(1));
  // Block 2 lost: one ACK of block 1 for the rest of the window.
  EXPECT_EQ(As<TftpAck>(block(3)).block, 1);
  EXPECT_FALSE(block(4));
  // The server goes on from block 2.
  for (std::uint16_t n = 2; n <= 4; ++n) EXPECT_FALSE(block(n));
  EXPECT_EQ(As<TftpAck>(block(5)).block, 5);
  // Our ACK of 5 was lost and the server sends 2..5 again: one ACK, at the end.
  for (std::uint16_t n = 2; n <= 4; ++n) EXPECT_FALSE(block(n));
  EXPECT_EQ(As<TftpAck>(block(5)).block, 5);
  for (std::uint16_t n = 6; n <= 8; ++n) EXPECT_FALSE(block(n));
  EXPECT_EQ(As<TftpAck>(block(9)).block, 9);
  EXPECT_EQ(fetch.Progress(), TftpFetch::State::Succeeded);
  EXPECT_EQ(fetch.Image(), image);

  // Dallying: a resent last block gets the last ACK again, until the socket may close.
  EXPECT_EQ(As<TftpAck>(block(9)).block, 9);
  now += 3s;
  EXPECT_FALSE(fetch.Expire(now));
  EXPECT_FALSE(fetch.Deadline());
}

TEST_F(TftpFetchTest, BlockNumbersWrapFrom65535ToZero) {
  TftpFetch fetch = Make({{"blksize", "8"}});
  fetch.Start(now);
  Server(fetch, firmware::EncodeTftpOptionAck({{"blksize", "8"}}));
  const auto image = Image(8 * 65540 + 5);
  std::uint16_t block = 0;
  for (std::size_t offset = 0; offset <= image.size(); offset += 8) {
    const std::size_t size = std::min<std::size_t>(8, image.size() - offset);
    const auto ack = Block(fetch, ++block, std::span(image).subspan(offset, size));
    ASSERT_EQ(As<TftpAck>(ack).block, block);
    if (size < 8) break;
  }
  EXPECT_EQ(block, 65541 - 65536);
  EXPECT_EQ(fetch.Image(), image);
}

TEST(Sha256, KnownDigests) {
  const auto digest = [](std::string_view text) {
    return Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  };
  EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first padding block.
  EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(digest(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace kelvo::apsim
