// SPDX-License-Identifier: GPL-2.0-or-later
// The access point's side of a firmware download: one TFTP read request (RFC 1350, octet mode)
// with optional negotiation of blksize (RFC 2348), timeout and tsize (RFC 2349) and windowsize
// (RFC 7440). Works on datagrams and times only; the caller owns the socket and the clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ApDevice.h"
#include "firmware/TftpPacket.h"

namespace kelvo::apsim {

struct TftpClientSettings {
  std::uint16_t port = 69;  // where the read request goes
  // Requested in the read request, in this order; none means plain 512-byte blocks.
  std::vector<firmware::TftpOption> options;
  // Wait for the server before the last packet is sent again (a negotiated timeout replaces
  // it), and how many times one packet is sent before the download is given up.
  std::chrono::milliseconds timeout{1000};
  int tries = 5;
};

struct TftpDatagram {
  std::uint32_t address = 0;  // host order
  std::uint16_t port = 0;
  std::vector<std::uint8_t> packet;
};

class TftpFetch {
 public:
  enum class State { Running, Succeeded, Failed };

  // No image the device could hold is larger.
  static constexpr std::size_t kMaxImageSize = 128u << 20;

  TftpFetch(std::uint32_t server, std::string fileName, TftpClientSettings settings);

  // The read request.
  TftpDatagram Start(SimTime now);
  // One datagram that arrived on the download's socket; what to send in return.
  std::optional<TftpDatagram> Receive(std::span<const std::uint8_t> bytes, std::uint32_t address,
                                      std::uint16_t port, SimTime now);
  // Call once Deadline() has passed: a retransmission, or the give-up.
  std::optional<TftpDatagram> Expire(SimTime now);

  // When Expire is due next; nullopt once nothing is left to do and the socket may close.
  std::optional<SimTime> Deadline() const;
  State Progress() const { return state_; }
  const std::vector<std::uint8_t>& Image() const { return image_; }
  const std::string& FailureReason() const { return failure_; }

 private:
  std::optional<TftpDatagram> OnData(const firmware::TftpData& data, SimTime now);
  std::optional<TftpDatagram> OnOptionAck(const firmware::TftpOptionAck& ack, SimTime now);
  // Sends `packet` to the server now and keeps it for retransmission.
  TftpDatagram Transmit(std::vector<std::uint8_t> packet, SimTime now);
  std::optional<TftpDatagram> Fail(std::string reason, std::optional<firmware::TftpErrorCode> code);
  const firmware::TftpOption* Requested(std::string_view name) const;

  std::string fileName_;
  TftpClientSettings settings_;
  std::string failure_;
  std::uint32_t server_;
  State state_ = State::Running;

  // The server's transfer ID: its address and the port its first answer came from.
  std::optional<std::uint16_t> serverPort_;
  std::uint16_t lastBlock_ = 0;  // the last block taken in order; wraps from 65535 to 0
  bool negotiated_ = false;      // an OACK was accepted
  bool gapAcknowledged_ = false;
  std::size_t blockSize_ = firmware::kTftpDefaultBlockSize;
  std::uint64_t windowSize_ = 1;
  std::optional<std::uint64_t> transferSize_;  // tsize from the server

  std::vector<std::uint8_t> image_;
  std::uint64_t blocks_ = 0;    // blocks taken in order
  std::uint64_t inWindow_ = 0;  // blocks taken since the last ACK

  std::vector<std::uint8_t> lastSent_;
  std::optional<SimTime> deadline_;
  int transmissions_ = 0;
};

}  // namespace kelvo::apsim
