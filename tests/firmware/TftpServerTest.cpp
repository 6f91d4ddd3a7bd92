// SPDX-License-Identifier: GPL-2.0-or-later
// The read-only TFTP server against a scripted client over loopback: whole transfers, the
// retransmission rules, sessions and TIDs, block wrap-around, option negotiation, the names it
// refuses, malformed datagrams and foreign hosts; after every bad case it still serves.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <thread>

#include "TftpTestClient.h"
#include "firmware/TftpServer.h"

namespace kelvo::firmware {
namespace {

using namespace std::chrono_literals;
using test::TftpFetch;
using test::TftpTestClient;
using Clock = std::chrono::steady_clock;

constexpr const char* kServerAddress = "127.0.0.1";
constexpr const char* kDevice = "127.0.0.2";
constexpr const char* kStranger = "127.0.0.5";

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed = 7) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 2s) {
  const auto end = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// For the tests of retransmission and giving up: 50, 100 and 200 ms, then the ERROR.
void ShortRetransmission(TftpServerOptions& options) {
  options.initialTimeout = 50ms;
  options.maxTransmissions = 3;
}

bool PortIsFree(std::uint16_t port) {
  try {
    test::UdpPeer peer(kServerAddress, port);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

class TftpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kelvo-tftp-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    server_.reset();
    std::filesystem::remove_all(directory_);
  }

  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = directory_ + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // Serves `image` as application.dlf to 127.0.0.2 with the default retransmission settings,
  // whose half a minute of patience a whole transfer needs: a stalled test thread must not end
  // it (under TSan, growing the received buffer to 32 MiB alone takes over half a second).
  void Serve(const std::vector<std::uint8_t>& image,
             const std::function<void(TftpServerOptions&)>& adjust = {}) {
    image_ = image;
    TftpServerOptions options;
    options.bindAddress = kServerAddress;
    options.port = 0;
    options.clientAddresses = {kDevice};
    options.filePath = WriteFile("application.dlf", image);
    if (adjust) adjust(options);
    std::string error;
    server_ = TftpServer::Start(options, &error);
    ASSERT_NE(server_, nullptr) << error;
  }

  std::uint16_t Port() const { return server_->Port(); }

  // A whole fetch by a well-behaved client is byte-identical and leaves the progress finished.
  void ExpectServes(const std::vector<TftpOption>& options = {}) {
    const auto fetched = TftpFetch(kDevice, Port(), "application.dlf", options);
    ASSERT_TRUE(fetched.complete) << fetched.failure;
    EXPECT_EQ(fetched.data, image_);
    EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
    EXPECT_EQ(server_->Progress().acknowledged, image_.size());
  }

  // The next datagram must be DATA `block`; returns its payload.
  std::vector<std::uint8_t> ExpectData(TftpTestClient& client, std::uint16_t block,
                                       int timeoutMs = 1000) {
    const auto received = client.Receive(timeoutMs);
    if (!received) {
      ADD_FAILURE() << "no DATA " << block;
      return {};
    }
    const auto* data = received->Data();
    if (!data) {
      ADD_FAILURE() << "not DATA but " << received->bytes.size() << " bytes";
      return {};
    }
    EXPECT_EQ(data->block, block);
    return data->payload;
  }

  void ExpectError(TftpTestClient& client, TftpErrorCode code, int timeoutMs = 1000) {
    const auto received = client.Receive(timeoutMs);
    ASSERT_TRUE(received) << "no ERROR";
    ASSERT_NE(received->Error(), nullptr) << "not an ERROR";
    EXPECT_EQ(received->Error()->code, static_cast<std::uint16_t>(code));
  }

  std::string directory_;
  std::vector<std::uint8_t> image_;
  std::unique_ptr<TftpServer> server_;
};

// --- Whole transfers ---------------------------------------------------------------------------

TEST_F(TftpServerTest, WholeTransfersAreByteIdenticalForEdgeAndRandomSizes) {
  for (const std::size_t size : {0u, 1u, 511u, 512u, 513u, 1024u, 4097u, 77777u, 300000u}) {
    SCOPED_TRACE(size);
    Serve(RandomBytes(size, static_cast<unsigned>(size)));
    const auto fetched = TftpFetch(kDevice, Port(), "application.dlf");
    ASSERT_TRUE(fetched.complete) << fetched.failure;
    EXPECT_EQ(fetched.data, image_);
    // Every block once; an exact multiple ends with an empty block.
    EXPECT_EQ(fetched.dataPackets, size / 512 + 1);
    EXPECT_TRUE(fetched.optionAck.empty());
    EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
    const TftpProgress progress = server_->Progress();
    EXPECT_EQ(progress.acknowledged, size);
    EXPECT_EQ(progress.size, size);
    EXPECT_TRUE(progress.started);
    EXPECT_FALSE(progress.failed);
  }
}

TEST_F(TftpServerTest, ExactMultipleEndsWithAnEmptyBlock) {
  Serve(RandomBytes(1024));
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf");
  EXPECT_EQ(ExpectData(client, 1).size(), 512u);
  client.Ack(1);
  EXPECT_EQ(ExpectData(client, 2).size(), 512u);
  client.Ack(2);
  EXPECT_TRUE(ExpectData(client, 3).empty());
  EXPECT_FALSE(server_->Progress().finished);
  client.Ack(3);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

TEST_F(TftpServerTest, ProgressCountsAcknowledgedBytes) {
  Serve(RandomBytes(1300));
  TftpTestClient client(kDevice, Port());
  EXPECT_FALSE(server_->Progress().started);
  client.SendRequest("application.dlf");
  ExpectData(client, 1);
  EXPECT_TRUE(server_->Progress().started);
  EXPECT_EQ(server_->Progress().acknowledged, 0u);
  client.Ack(1);
  ExpectData(client, 2);
  EXPECT_EQ(server_->Progress().acknowledged, 512u);
  client.Ack(2);
  ExpectData(client, 3);
  EXPECT_EQ(server_->Progress().acknowledged, 1024u);
  client.Ack(3);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
  EXPECT_EQ(server_->Progress().acknowledged, 1300u);
}

// --- Retransmission ----------------------------------------------------------------------------

TEST_F(TftpServerTest, DuplicateAcksNeverResendData) {
  // A long timer, so that anything arriving soon after is a resend caused by the duplicates.
  Serve(RandomBytes(2000), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf");
  ExpectData(client, 1);
  for (int i = 0; i < 3; ++i) client.Ack(1);
  ExpectData(client, 2);
  EXPECT_TRUE(client.Quiet(300)) << "DATA resent on a duplicate ACK";
  client.Ack(2);
  client.Ack(1);  // an old one as well
  client.Ack(2);
  ExpectData(client, 3);
  EXPECT_TRUE(client.Quiet(300));
  client.Ack(3);
  ExpectData(client, 4);
  client.Ack(4);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

TEST_F(TftpServerTest, DuplicateWindowAcksNeverResendTheWindow) {
  Serve(RandomBytes(512 * 10), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf", {{"windowsize", "4"}});
  ASSERT_TRUE(client.Receive(1000)->OptionAck());
  client.Ack(0);
  client.Ack(0);
  for (std::uint16_t block = 1; block <= 4; ++block) ExpectData(client, block);
  EXPECT_TRUE(client.Quiet(300));
  client.Ack(4);
  client.Ack(4);
  for (std::uint16_t block = 5; block <= 8; ++block) ExpectData(client, block);
  EXPECT_TRUE(client.Quiet(300));
}

TEST_F(TftpServerTest, WithheldAcksGetIdenticalRetransmissionsThenAnError) {
  Serve(RandomBytes(3000), ShortRetransmission);
  TftpTestClient client(kDevice, Port());
  // The server's first send follows the request, so its timers cannot expire earlier than
  // counted from here: 50 ms, twice that, twice again (a busy machine may make them longer).
  const auto requestedAt = Clock::now();
  client.SendRequest("application.dlf");
  const auto first = client.Receive(1000);
  ASSERT_TRUE(first && first->Data());
  for (const auto due : {50ms, 150ms}) {
    const auto again = client.Receive(1000);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->bytes, first->bytes);
    EXPECT_GE(Clock::now() - requestedAt, due);
  }
  ExpectError(client, TftpErrorCode::NotDefined);
  EXPECT_GE(Clock::now() - requestedAt, 350ms);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().failed; }));
  EXPECT_FALSE(server_->Progress().finished);
  EXPECT_TRUE(client.Quiet(200));
  ExpectServes();
}

TEST_F(TftpServerTest, WithheldAcksAfterTheOptionAckAndInAWindow) {
  Serve(RandomBytes(512 * 5 + 1), ShortRetransmission);
  {
    TftpTestClient client(kDevice, Port());
    client.SendRequest("application.dlf", {{"tsize", "0"}});
    const auto oack = client.Receive(1000);
    ASSERT_TRUE(oack && oack->OptionAck());
    for (int i = 0; i < 2; ++i) EXPECT_EQ(client.Receive(1000)->bytes, oack->bytes);
    ExpectError(client, TftpErrorCode::NotDefined);
    EXPECT_TRUE(WaitFor([&] { return server_->Progress().failed; }));
  }
  {
    TftpTestClient client(kDevice, Port());
    client.SendRequest("application.dlf", {{"windowsize", "3"}});
    ASSERT_TRUE(client.Receive(1000)->OptionAck());
    client.Ack(0);
    std::vector<std::vector<std::uint8_t>> window;
    for (int i = 0; i < 3; ++i) window.push_back(client.Receive(1000)->bytes);
    // The whole window again, block for block.
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < 3; ++i) EXPECT_EQ(client.Receive(1000)->bytes, window[i]);
    }
    ExpectError(client, TftpErrorCode::NotDefined);
  }
  ExpectServes({{"windowsize", "3"}});
}

TEST_F(TftpServerTest, LateAckAfterARetransmissionContinuesOnce) {
  Serve(RandomBytes(1500), [](TftpServerOptions& o) { o.initialTimeout = 300ms; });
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf");
  const auto first = ExpectData(client, 1);
  EXPECT_EQ(ExpectData(client, 1), first);  // resent by the timer
  client.Ack(1);
  client.Ack(1);  // the client answers the resend too
  const auto second = ExpectData(client, 2);
  EXPECT_EQ(second, std::vector<std::uint8_t>(image_.begin() + 512, image_.begin() + 1024));
  // Only the timer may send block 2 again, not the second ACK 1.
  EXPECT_TRUE(client.Quiet(150)) << "DATA resent on the duplicate ACK";
  client.Ack(2);
  EXPECT_EQ(ExpectData(client, 3).size(), 1500u - 1024u);
  client.Ack(3);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

TEST_F(TftpServerTest, PartialWindowAckResumesAfterTheAcknowledgedBlock) {
  Serve(RandomBytes(512 * 8 + 10), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf", {{"windowsize", "4"}});
  ASSERT_TRUE(client.Receive(1000)->OptionAck());
  client.Ack(0);
  for (std::uint16_t block = 1; block <= 4; ++block) ExpectData(client, block);
  client.Ack(2);  // blocks 3 and 4 were lost
  for (std::uint16_t block = 3; block <= 6; ++block) ExpectData(client, block);
  client.Ack(6);
  for (std::uint16_t block = 7; block <= 9; ++block) ExpectData(client, block);
  client.Ack(9);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

TEST_F(TftpServerTest, NegotiatedTimeoutReplacesTheInitialOne) {
  Serve(RandomBytes(100), ShortRetransmission);
  TftpTestClient client(kDevice, Port());
  const auto requestedAt = Clock::now();
  client.SendRequest("application.dlf", {{"timeout", "1"}});
  const auto oack = client.Receive(1000);
  ASSERT_TRUE(oack && oack->OptionAck());
  ASSERT_TRUE(client.Receive(3000));
  EXPECT_GE(Clock::now() - requestedAt, 1000ms);
}

// --- Sessions and TIDs -------------------------------------------------------------------------

TEST_F(TftpServerTest, RepeatedRequestFromTheSamePortStartsNoSecondTransfer) {
  Serve(RandomBytes(1200), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf");
  ExpectData(client, 1);
  const std::uint16_t tid = client.TransferPort();
  client.SendRequest("application.dlf");
  client.SendRequest("application.dlf");
  EXPECT_TRUE(client.Quiet(200)) << "a second transfer began";
  client.Ack(1);
  ExpectData(client, 2);
  EXPECT_EQ(client.TransferPort(), tid);
  client.Ack(2);
  ExpectData(client, 3);
  client.Ack(3);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

TEST_F(TftpServerTest, RequestFromAnotherPortOfTheDeviceSupersedesTheTransfer) {
  Serve(RandomBytes(3000), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  TftpTestClient abandoned(kDevice, Port());
  abandoned.SendRequest("application.dlf");
  ExpectData(abandoned, 1);
  abandoned.Ack(1);
  ExpectData(abandoned, 2);
  EXPECT_EQ(server_->Progress().acknowledged, 512u);
  ExpectServes();
  EXPECT_TRUE(abandoned.Quiet(100));
}

TEST_F(TftpServerTest, ForeignTidGetsError5AndTheTransferGoesOn) {
  Serve(RandomBytes(1500), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf");
  ExpectData(client, 1);

  TftpTestClient otherPort(kDevice, Port());
  otherPort.Peer().SendTo(EncodeTftpAck(1), kServerAddress, client.TransferPort());
  ExpectError(otherPort, TftpErrorCode::UnknownTransferId);
  // Another host is not answered at all.
  TftpTestClient otherHost(kStranger, Port());
  otherHost.Peer().SendTo(EncodeTftpAck(1), kServerAddress, client.TransferPort());
  EXPECT_TRUE(otherHost.Quiet(200));
  // Neither moved the transfer: the real client's block 1 is still unacknowledged.
  EXPECT_TRUE(client.Quiet(100));
  EXPECT_EQ(server_->Progress().acknowledged, 0u);
  client.Ack(1);
  ExpectData(client, 2);
  client.Ack(2);
  ExpectData(client, 3);
  client.Ack(3);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

TEST_F(TftpServerTest, MalformedDatagramsOnTheTransferSocketAreDropped) {
  Serve(RandomBytes(700), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf");
  ExpectData(client, 1);
  for (const std::vector<std::uint8_t>& bytes :
       {std::vector<std::uint8_t>{}, {0}, {0, 4}, {0, 4, 0}, {0, 9, 0, 1}, {0, 3, 0, 1, 9}}) {
    client.SendToTransfer(bytes);
  }
  EXPECT_TRUE(client.Quiet(100));
  client.Ack(1);
  ExpectData(client, 2);
  client.Ack(2);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

TEST_F(TftpServerTest, ClientErrorEndsTheTransfer) {
  Serve(RandomBytes(1500));
  for (const bool afterOptionAck : {false, true}) {
    TftpTestClient client(kDevice, Port());
    if (afterOptionAck) {
      client.SendRequest("application.dlf", {{"blksize", "1024"}});
      ASSERT_TRUE(client.Receive(1000)->OptionAck());
      client.SendToTransfer(EncodeTftpError(TftpErrorCode::OptionRefused, "no"));
    } else {
      client.SendRequest("application.dlf");
      ExpectData(client, 1);
      client.SendToTransfer(EncodeTftpError(TftpErrorCode::DiskFull, "full"));
    }
    EXPECT_TRUE(WaitFor([&] { return server_->Progress().failed; }));
    EXPECT_TRUE(client.Quiet(200)) << "the transfer went on";
    ExpectServes();
  }
}

// --- Block numbers past 65535 ------------------------------------------------------------------

TEST_F(TftpServerTest, BlockNumbersWrapFrom65535ToZero) {
  // 65537 blocks of 8 bytes: ..., 65535, 0, 1 (the last, 3 bytes).
  Serve(RandomBytes(65536 * 8 + 3));
  const auto fetched = TftpFetch(kDevice, Port(), "application.dlf", {{"blksize", "8"}});
  ASSERT_TRUE(fetched.complete) << fetched.failure;
  EXPECT_TRUE(fetched.sawBlockZero);
  EXPECT_EQ(fetched.dataPackets, 65537u);
  EXPECT_EQ(fetched.data, image_);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

TEST_F(TftpServerTest, WindowAcrossTheWrapIsAcknowledgedByItsWrappedNumber) {
  Serve(RandomBytes(65540 * 8), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  const auto fetched =
      TftpFetch(kDevice, Port(), "application.dlf", {{"blksize", "8"}, {"windowsize", "7"}});
  ASSERT_TRUE(fetched.complete) << fetched.failure;
  EXPECT_EQ(fetched.data, image_);
}

TEST_F(TftpServerTest, PartialAckJustBeforeTheWrapResumesAtBlockZero) {
  // 65541 blocks of 8 bytes (an exact multiple: the last is empty), windows of 4.
  Serve(RandomBytes(65540 * 8), [](TftpServerOptions& o) { o.initialTimeout = 2000ms; });
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf", {{"blksize", "8"}, {"windowsize", "4"}});
  ASSERT_TRUE(client.Receive(1000)->OptionAck());
  client.Ack(0);
  for (std::uint16_t block = 1; block < 65533; ++block) {
    ASSERT_EQ(ExpectData(client, block).size(), 8u);
    if (block % 4 == 0) client.Ack(block);
  }
  for (const std::uint16_t block : {65533, 65534, 65535, 0}) ExpectData(client, block);
  client.Ack(65535);  // block 65536 (number 0) was lost
  EXPECT_EQ(ExpectData(client, 0),
            std::vector<std::uint8_t>(image_.begin() + 65535 * 8, image_.begin() + 65536 * 8));
  for (const std::uint16_t block : {1, 2, 3}) ExpectData(client, block);
  client.Ack(65535);  // a duplicate from before the wrap counts for nothing
  EXPECT_TRUE(client.Quiet(200));
  EXPECT_EQ(server_->Progress().acknowledged, 65535u * 8);
  client.Ack(3);
  ExpectData(client, 4);
  EXPECT_TRUE(ExpectData(client, 5).empty());
  client.Ack(5);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
  EXPECT_EQ(server_->Progress().acknowledged, image_.size());
}

TEST_F(TftpServerTest, FortyMebibytesAt512BytesCrossTheWrap) {
  Serve(RandomBytes(40u << 20));
  const auto fetched = TftpFetch(kDevice, Port(), "application.dlf", {}, 5000);
  ASSERT_TRUE(fetched.complete) << fetched.failure;
  EXPECT_TRUE(fetched.sawBlockZero);
  EXPECT_TRUE(fetched.data == image_);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

// --- Options -----------------------------------------------------------------------------------

struct OptionCase {
  const char* name;
  std::vector<TftpOption> request;
  std::vector<TftpOption> optionAck;  // empty: DATA 1 comes at once
};

TEST_F(TftpServerTest, OptionNegotiation) {
  const std::vector<OptionCase> cases = {
      {"blksize valid", {{"blksize", "1428"}}, {{"blksize", "1428"}}},
      {"blksize smallest", {{"blksize", "8"}}, {{"blksize", "8"}}},
      {"blksize largest", {{"blksize", "65464"}}, {{"blksize", "65464"}}},
      {"blksize too large is capped", {{"blksize", "65535"}}, {{"blksize", "65464"}}},
      {"blksize too small", {{"blksize", "7"}}, {}},
      {"blksize zero", {{"blksize", "0"}}, {}},
      {"blksize not a number", {{"blksize", "big"}}, {}},
      {"blksize signed", {{"blksize", "+512"}}, {}},
      {"blksize empty", {{"blksize", ""}}, {}},
      {"blksize huge", {{"blksize", "99999999999999999999999"}}, {}},
      {"name in capitals", {{"BlkSize", "1024"}}, {{"blksize", "1024"}}},
      {"tsize", {{"tsize", "0"}}, {{"tsize", "3000"}}},
      {"tsize with a size", {{"tsize", "12"}}, {{"tsize", "3000"}}},
      {"tsize malformed", {{"tsize", "x"}}, {}},
      {"timeout valid", {{"timeout", "5"}}, {{"timeout", "5"}}},
      {"timeout zero", {{"timeout", "0"}}, {}},
      {"timeout too long", {{"timeout", "256"}}, {}},
      {"windowsize valid", {{"windowsize", "16"}}, {{"windowsize", "16"}}},
      {"windowsize zero", {{"windowsize", "0"}}, {}},
      {"windowsize too large", {{"windowsize", "65536"}}, {}},
      {"unknown", {{"multicast", ""}, {"rollover", "0"}}, {}},
      {"unknown next to known",
       {{"foo", "1"}, {"blksize", "1024"}, {"utimeout", "1000"}},
       {{"blksize", "1024"}}},
      {"duplicate: first counts",
       {{"blksize", "1024"}, {"blksize", "2048"}},
       {{"blksize", "1024"}}},
      {"duplicate in another case", {{"blksize", "600"}, {"BLKSIZE", "700"}}, {{"blksize", "600"}}},
      {"duplicate after a bad value", {{"blksize", "1"}, {"blksize", "1024"}}, {}},
      {"all four",
       {{"blksize", "1000"}, {"tsize", "0"}, {"timeout", "2"}, {"windowsize", "4"}},
       {{"blksize", "1000"}, {"tsize", "3000"}, {"timeout", "2"}, {"windowsize", "4"}}},
  };
  Serve(RandomBytes(3000));
  for (const OptionCase& option : cases) {
    SCOPED_TRACE(option.name);
    TftpTestClient client(kDevice, Port());
    client.SendRequest("application.dlf", option.request);
    const auto first = client.Receive(1000);
    ASSERT_TRUE(first);
    if (option.optionAck.empty()) {
      ASSERT_NE(first->Data(), nullptr);
      EXPECT_EQ(first->Data()->payload.size(), 512u);
    } else {
      ASSERT_NE(first->OptionAck(), nullptr);
      EXPECT_EQ(first->OptionAck()->options, option.optionAck);
    }
    // Left unanswered; the next request, from another port, supersedes it.
    ExpectServes(option.request);
  }
}

// --- Names, modes and writes -------------------------------------------------------------------

TEST_F(TftpServerTest, RefusesEveryOtherNameWithoutTouchingFiles) {
  struct NameCase {
    std::string name;
    TftpErrorCode code;
  };
  const std::vector<NameCase> cases = {
      {"other.bin", TftpErrorCode::FileNotFound},  // exists next to the image
      {"APPLICATION.DLF", TftpErrorCode::FileNotFound},
      {"application.dl", TftpErrorCode::FileNotFound},
      {"application.dlf ", TftpErrorCode::FileNotFound},
      {"", TftpErrorCode::FileNotFound},
      {"/application.dlf", TftpErrorCode::AccessViolation},
      {"./application.dlf", TftpErrorCode::AccessViolation},
      {"../application.dlf", TftpErrorCode::AccessViolation},
      {"..", TftpErrorCode::AccessViolation},
      {"/etc/passwd", TftpErrorCode::AccessViolation},
      {"sub/application.dlf", TftpErrorCode::AccessViolation},
      {"..\\..\\boot.ini", TftpErrorCode::AccessViolation},
  };
  Serve(RandomBytes(600));
  WriteFile("other.bin", RandomBytes(10));
  for (const NameCase& name : cases) {
    SCOPED_TRACE(name.name);
    TftpTestClient client(kDevice, Port());
    client.SendRequest(name.name);
    ExpectError(client, name.code);
    EXPECT_FALSE(server_->Progress().started);
  }
  ExpectServes();
}

TEST_F(TftpServerTest, ServesOctetOnlyAndRefusesWrites) {
  Serve(RandomBytes(600));
  struct RequestCase {
    std::string name;
    std::string mode;
    bool write;
    TftpErrorCode code;
  };
  const std::vector<RequestCase> cases = {
      {"application.dlf", "netascii", false, TftpErrorCode::NotDefined},
      {"application.dlf", "mail", false, TftpErrorCode::NotDefined},
      {"application.dlf", "", false, TftpErrorCode::NotDefined},
      {"application.dlf", "octet", true, TftpErrorCode::AccessViolation},
      {"new.bin", "octet", true, TftpErrorCode::AccessViolation},
      {"../x", "octet", true, TftpErrorCode::AccessViolation},
  };
  for (const RequestCase& request : cases) {
    SCOPED_TRACE(request.mode + (request.write ? " WRQ " : " RRQ ") + request.name);
    TftpTestClient client(kDevice, Port());
    client.SendRequest(request.name, {}, request.mode, request.write);
    ExpectError(client, request.code);
  }
  EXPECT_FALSE(std::filesystem::exists(directory_ + "/new.bin"));
  EXPECT_FALSE(server_->Progress().started);
  // The mode's case does not matter.
  TftpTestClient client(kDevice, Port());
  client.SendRequest("application.dlf", {}, "OcTeT");
  ExpectData(client, 1);
  client.Ack(1);
  ExpectData(client, 2);
  client.Ack(2);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().finished; }));
}

// --- Malformed datagrams and strangers ---------------------------------------------------------

TEST_F(TftpServerTest, MalformedDatagramsOnTheServerPortGetError4) {
  const auto bytes = [](std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases = {
      {"empty", {}},
      {"one byte", {0}},
      {"opcode only", {0, 1}},
      {"three bytes", {0, 1, 'a'}},
      {"name without NUL", bytes(std::string_view("\0\1application.dlf", 17))},
      {"no mode", bytes(std::string_view("\0\1application.dlf\0", 18))},
      {"mode without NUL", bytes(std::string_view("\0\1application.dlf\0octet", 23))},
      {"option without value",
       bytes(std::string_view("\0\1application.dlf\0octet\0blksize\0", 32))},
      {"value without NUL",
       bytes(std::string_view("\0\1application.dlf\0octet\0blksize\0001024", 36))},
      {"empty option name", bytes(std::string_view("\0\1application.dlf\0octet\0\0001\0", 27))},
      {"opcode 0", {0, 0, 0, 1}},
      {"opcode 7", {0, 7, 'a', 0, 'b', 0}},
      {"opcode 0x0101", {1, 1, 'a', 0, 'b', 0}},
      {"ACK to the server port", {0, 4, 0, 1}},
      {"DATA to the server port", {0, 3, 0, 1, 'x'}},
      {"OACK to the server port", bytes(std::string_view("\0\6blksize\0008\0", 12))},
  };
  Serve(RandomBytes(1000));
  for (const auto& [name, datagram] : cases) {
    SCOPED_TRACE(name);
    TftpTestClient client(kDevice, Port());
    client.SendRaw(datagram);
    ExpectError(client, TftpErrorCode::IllegalOperation);
    EXPECT_TRUE(client.Quiet(20));
  }
  // An ERROR is never answered.
  TftpTestClient client(kDevice, Port());
  client.SendRaw(EncodeTftpError(TftpErrorCode::NotDefined, "x"));
  EXPECT_TRUE(client.Quiet(100));
  EXPECT_FALSE(server_->Progress().started);
  ExpectServes();
}

TEST_F(TftpServerTest, OtherHostsAreNeverAnswered) {
  Serve(RandomBytes(1000));
  TftpTestClient stranger(kStranger, Port());
  stranger.SendRequest("application.dlf");
  stranger.SendRequest("other");
  stranger.SendRequest("application.dlf", {}, "octet", true);
  stranger.SendRaw({0, 1});
  EXPECT_TRUE(stranger.Quiet(300));
  EXPECT_FALSE(server_->Progress().started);
  ExpectServes();
}

// --- Several devices at once -------------------------------------------------------------------

TEST_F(TftpServerTest, DevicesOfTheSetFetchAtOnceEachWithItsOwnOptionsAndProgress) {
  // Each OACK repeats the request (tsize: the client sent the right size).
  const std::vector<std::pair<std::string, std::vector<TftpOption>>> devices = {
      {kDevice, {}},
      {"127.0.1.1", {{"windowsize", "8"}}},
      {"127.0.1.2", {{"blksize", "1428"}, {"windowsize", "3"}}},
      {"127.0.1.3", {{"blksize", "64"}}},
      {"127.0.1.4", {{"tsize", "100000"}, {"timeout", "3"}}},
  };
  const std::string idle = "127.0.1.9";  // in the set, never asks
  Serve(RandomBytes(100000), [&](TftpServerOptions& o) {
    o.clientAddresses.clear();
    for (const auto& device : devices) o.clientAddresses.push_back(device.first);
    o.clientAddresses.push_back(kDevice);  // given twice, still one device
    o.clientAddresses.push_back(idle);
  });
  std::vector<std::future<test::TftpFetchResult>> fetches;
  for (const auto& [address, options] : devices) {
    fetches.push_back(std::async(std::launch::async, TftpFetch, address, Port(), "application.dlf",
                                 options, 3000));
  }
  TftpTestClient stranger(kStranger, Port());
  stranger.SendRequest("application.dlf");
  EXPECT_TRUE(stranger.Quiet(300));
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const auto& [address, options] = devices[i];
    SCOPED_TRACE(address);
    const test::TftpFetchResult fetched = fetches[i].get();
    ASSERT_TRUE(fetched.complete) << fetched.failure;
    EXPECT_TRUE(fetched.data == image_);
    EXPECT_EQ(fetched.optionAck, options);
    EXPECT_TRUE(WaitFor([&] { return server_->ProgressOf(address).finished; }));
    EXPECT_EQ(server_->ProgressOf(address).acknowledged, image_.size());
  }
  EXPECT_TRUE(server_->Progress().finished);  // the first of the set
  const TftpProgress waiting = server_->ProgressOf(idle);
  EXPECT_TRUE(!waiting.started && !waiting.failed && waiting.size == image_.size());
  for (const char* outside : {kStranger, "127.0.0.1", "x", ""}) {
    EXPECT_EQ(server_->ProgressOf(outside).size, 0u) << outside;
  }
}

// A silent device (50 ms timer) fails while another, patient (30 s), is held mid-transfer and
// then finishes; a third is held until Stop fails it, which touches no ended transfer.
TEST_F(TftpServerTest, EachDeviceFailsOrFinishesOnItsOwn) {
  const std::string patientAddress = "127.0.1.1", heldAddress = "127.0.1.2";
  Serve(RandomBytes(1500), [&](TftpServerOptions& o) {
    ShortRetransmission(o);
    o.clientAddresses = {kDevice, patientAddress, heldAddress};
  });
  TftpTestClient patient(patientAddress, Port()), held(heldAddress, Port());
  for (TftpTestClient* client : {&patient, &held}) {
    client->SendRequest("application.dlf", {{"timeout", "30"}});
    ASSERT_TRUE(client->Receive(1000)->OptionAck());
    client->Ack(0);
    ExpectData(*client, 1);
  }
  TftpTestClient silent(kDevice, Port());
  silent.SendRequest("application.dlf");
  const auto first = silent.Receive(1000);
  ASSERT_TRUE(first && first->Data());
  // Another device of the set on this transfer's socket moves nothing.
  TftpTestClient neighbour(heldAddress, Port());
  neighbour.Peer().SendTo(EncodeTftpAck(1), kServerAddress, silent.TransferPort());
  for (int resend = 0; resend < 2; ++resend) {
    EXPECT_EQ(silent.Receive(1000).value_or(test::TftpReceived{}).bytes, first->bytes);
  }
  ExpectError(silent, TftpErrorCode::NotDefined);
  ExpectError(neighbour, TftpErrorCode::UnknownTransferId);
  EXPECT_TRUE(WaitFor([&] { return server_->Progress().failed; }));
  EXPECT_EQ(server_->Progress().acknowledged, 0u);

  for (std::uint16_t block = 1; block <= 3; ++block) {
    patient.Ack(block);
    if (block < 3) ExpectData(patient, block + 1);
  }
  EXPECT_TRUE(WaitFor([&] { return server_->ProgressOf(patientAddress).finished; }));
  held.Ack(1);
  ExpectData(held, 2);
  server_->Stop();
  ExpectError(held, TftpErrorCode::NotDefined);
  const TftpProgress stopped = server_->ProgressOf(heldAddress);
  EXPECT_TRUE(stopped.failed && !stopped.finished && stopped.acknowledged == 512u);
  EXPECT_FALSE(server_->ProgressOf(patientAddress).failed);
  EXPECT_TRUE(server_->Progress().failed);
}

// --- Start and Stop ----------------------------------------------------------------------------

// The retransmission timer is far longer than any join: a Stop that sat it out would show.
TEST_F(TftpServerTest, StopMidTransferJoinsQuicklyAndFreesThePort) {
  Serve(RandomBytes(100000), [](TftpServerOptions& o) { o.initialTimeout = 10min; });
  const std::uint16_t port = Port();
  TftpTestClient client(kDevice, port);
  client.SendRequest("application.dlf");
  ExpectData(client, 1);
  client.Ack(1);
  ExpectData(client, 2);
  EXPECT_FALSE(PortIsFree(port));
  const auto before = Clock::now();
  server_->Stop();
  EXPECT_LT(Clock::now() - before, 1min);
  ExpectError(client, TftpErrorCode::NotDefined);
  EXPECT_TRUE(server_->Progress().failed);
  EXPECT_TRUE(PortIsFree(port));
  server_->Stop();  // idempotent
  server_.reset();
}

// The window stops the server as soon as the device reports the image taken, which may be
// before the server thread has read the last ACK: the transfer still counts as finished.
TEST_F(TftpServerTest, StopRightAfterTheLastAckKeepsTheTransferFinished) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    Serve(RandomBytes(100));
    TftpTestClient client(kDevice, Port());
    client.SendRequest("application.dlf");
    ExpectData(client, 1);
    client.Ack(1);
    server_->Stop();
    EXPECT_TRUE(server_->Progress().finished);
    EXPECT_FALSE(server_->Progress().failed);
    EXPECT_EQ(server_->Progress().acknowledged, 100u);
  }
}

TEST_F(TftpServerTest, DestructorStopsAnIdleServer) {
  Serve(RandomBytes(10));
  const std::uint16_t port = Port();
  server_.reset();  // without a transfer nothing but Stop wakes the thread
  EXPECT_TRUE(PortIsFree(port));
}

TEST_F(TftpServerTest, StartReportsWhyItCannotServe) {
  const std::string image = WriteFile("application.dlf", RandomBytes(10));
  const std::string fifo = directory_ + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  test::UdpPeer taken(kServerAddress, 0);

  struct StartCase {
    const char* name;
    std::function<void(TftpServerOptions&)> adjust;
    std::string expected;  // part of the error
  };
  const std::vector<StartCase> cases = {
      {"missing image", [&](auto& o) { o.filePath = directory_ + "/none"; },
       "No such file or directory"},
      {"directory", [&](auto& o) { o.filePath = directory_; }, "not a regular file"},
      {"fifo", [&](auto& o) { o.filePath = fifo; }, "not a regular file"},
      {"port in use", [&](auto& o) { o.port = taken.Port(); }, "Address already in use"},
      {"address not local", [](auto& o) { o.bindAddress = "192.0.2.1"; },
       "Cannot assign requested address"},
      {"bad bind address", [](auto& o) { o.bindAddress = "localhost"; }, "invalid bind address"},
      {"no client", [](auto& o) { o.clientAddresses = {}; }, "invalid client address"},
      {"empty client", [](auto& o) { o.clientAddresses = {""}; }, "invalid client address"},
      {"client not IPv4",
       [](auto& o) {
         o.clientAddresses = {kDevice, "::1"};
       },
       "invalid client address \"::1\""},
      {"client by name", [](auto& o) { o.clientAddresses = {"ap1"}; }, "invalid client address"},
  };
  for (const StartCase& start : cases) {
    SCOPED_TRACE(start.name);
    TftpServerOptions options;
    options.bindAddress = kServerAddress;
    options.port = 0;
    options.clientAddresses = {kDevice};
    options.filePath = image;
    start.adjust(options);
    std::string error;
    EXPECT_EQ(TftpServer::Start(options, &error), nullptr);
    EXPECT_NE(error.find(start.expected), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace kelvo::firmware
