// SPDX-License-Identifier: GPL-2.0-or-later
// The read-only TFTP server that lends one firmware image to the access points being upgraded,
// each with a transfer of its own, all at once. It exists only for the upgrade: Start binds and
// serves from its own thread, the destructor (or Stop) ends the transfers and joins the thread,
// and the port is free again. It serves exactly one name, answers only the devices being
// upgraded and never writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvo::firmware {

// The name the device asks for.
inline constexpr std::string_view kFirmwareFileName = "application.dlf";

struct TftpServerOptions {
  std::string bindAddress;  // the local IPv4 address that reaches the devices
  std::uint16_t port = 69;
  // The devices (IPv4 addresses, at least one); datagrams from any other host are ignored.
  std::vector<std::string> clientAddresses;
  std::string filePath;  // the staged image
  std::string servedName{kFirmwareFileName};
  // Retransmission: the first wait, unless the client negotiates a timeout, and how many times
  // a packet is sent before the transfer is given up with an ERROR.
  std::chrono::milliseconds initialTimeout{1000};
  int maxTransmissions = 6;
};

// What a watcher sees of one device's transfer; read from any thread. The latest transfer counts
// when the device restarts its fetch.
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

  // Safe from any thread. ProgressOf: of one device of the set (size is known from Start); a
  // default TftpProgress for any other address. Progress: of the first device of the set.
  virtual TftpProgress ProgressOf(const std::string& client) const = 0;
  virtual TftpProgress Progress() const = 0;
  // The port it listens on: options.port, or the one the system chose when that was 0.
  virtual std::uint16_t Port() const = 0;
  // Ends every running transfer (failed unless its last block was acknowledged) and joins the
  // thread; the destructor does the same. Idempotent.
  virtual void Stop() = 0;
};

}  // namespace kelvo::firmware
