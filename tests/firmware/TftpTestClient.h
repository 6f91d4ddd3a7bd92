// SPDX-License-Identifier: GPL-2.0-or-later
// A scripted TFTP client for the server's tests: sends exactly what a test says, shows every
// datagram it gets back, and fetches whole files as a well-behaved client (with windows) does.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "firmware/TftpPacket.h"
#include "support/TestSupport.h"

namespace kelvo::test {

struct TftpReceived {
  std::vector<std::uint8_t> bytes;
  std::optional<firmware::TftpPacket> packet;  // nullopt when it does not decode
  std::string fromAddress;
  std::uint16_t fromPort = 0;

  const firmware::TftpData* Data() const;
  const firmware::TftpError* Error() const;
  const firmware::TftpOptionAck* OptionAck() const;
};

class TftpTestClient {
 public:
  explicit TftpTestClient(const std::string& address, std::uint16_t serverPort);

  std::uint16_t Port() const { return peer_.Port(); }
  UdpPeer& Peer() { return peer_; }

  void SendRequest(const std::string& name, const std::vector<firmware::TftpOption>& options = {},
                   const std::string& mode = "octet", bool write = false);
  // To the server's port.
  void SendRaw(const std::vector<std::uint8_t>& bytes);
  // To the transfer's TID (learnt from the last datagram received from the server).
  void Ack(std::uint16_t block);
  void SendToTransfer(const std::vector<std::uint8_t>& bytes);
  std::uint16_t TransferPort() const { return transferPort_; }

  // The next datagram within timeoutMs; learns the transfer's TID from it.
  std::optional<TftpReceived> Receive(int timeoutMs);
  // True when nothing arrives within timeoutMs.
  bool Quiet(int timeoutMs);

 private:
  UdpPeer peer_;
  std::string serverAddress_ = "127.0.0.1";
  std::uint16_t serverPort_;
  std::uint16_t transferPort_ = 0;
};

struct TftpFetchResult {
  bool complete = false;
  std::string failure;  // why it stopped when not complete
  std::vector<std::uint8_t> data;
  std::vector<firmware::TftpOption> optionAck;  // empty when the server sent none
  std::uint64_t dataPackets = 0;
  bool sawBlockZero = false;  // the block number wrapped
};

// Fetches `name` with the given options from a fresh socket on clientAddress, ACKing each
// window (every block without a windowsize) and the last in-order block on a gap. Gives up when
// the server is silent for silenceMs.
TftpFetchResult TftpFetch(const std::string& clientAddress, std::uint16_t serverPort,
                          const std::string& name,
                          const std::vector<firmware::TftpOption>& options = {},
                          int silenceMs = 3000);

}  // namespace kelvo::test
