// SPDX-License-Identifier: GPL-2.0-or-later
// The read-only TFTP server that lends one firmware image to one access point during an
// upgrade. It exists only for the upgrade: Start binds and serves from its own thread, the
// destructor (or Stop) ends the transfer and joins the thread, and the port is free again.
// It serves exactly one name, answers only the device being upgraded and never writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace kelvo::firmware {

// The name the device asks for.
inline constexpr std::string_view kFirmwareFileName = "application.dlf";

struct TftpServerOptions {
  std::string bindAddress;  // the local IPv4 address that reaches the device
  std::uint16_t port = 69;
  std::string clientAddress;  // the device; datagrams from any other host are ignored
  std::string filePath;       // the staged image
  std::string servedName{kFirmwareFileName};
  // Retransmission: the first wait, unless the client negotiates a timeout, and how many times
  // a packet is sent before the transfer is given up with an ERROR.
  std::chrono::milliseconds initialTimeout{1000};
  int maxTransmissions = 6;
};

// What a watcher sees of the transfer; read from any thread.
struct TftpProgress {
  std::uint64_t acknowledged = 0;  // bytes the device has acknowledged
  std::uint64_t size = 0;          // the image's size
  bool started = false;            // a read request was accepted
  bool finished = false;           // the last block was acknowledged
  bool failed = false;             // the transfer was given up
};

class TftpServer {
 public:
  virtual ~TftpServer() = default;

  // Binds to bindAddress:port, opens the image and starts serving on a thread of its own.
  // nullptr with a reason in *error when the socket cannot be bound or the image not opened.
  static std::unique_ptr<TftpServer> Start(const TftpServerOptions& options, std::string* error);

  // Safe from any thread.
  virtual TftpProgress Progress() const = 0;
  // The port it listens on: options.port, or the one the system chose when that was 0.
  virtual std::uint16_t Port() const = 0;
  // Ends any transfer and joins the thread; the destructor does the same. Idempotent.
  virtual void Stop() = 0;
};

}  // namespace kelvo::firmware
