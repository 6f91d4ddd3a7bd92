// SPDX-License-Identifier: GPL-2.0-or-later
// TFTP packets (RFC 1350) with option negotiation (RFC 2347): blksize (RFC 2348), timeout and
// tsize (RFC 2349), windowsize (RFC 7440). Every packet the server and the simulated device
// exchange is encoded and decoded here and nowhere else. Decoding never reads past the bytes
// given and refuses anything that is not a well-formed packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kelvo::firmware {

enum class TftpOpcode : std::uint16_t {
  ReadRequest = 1,
  WriteRequest = 2,
  Data = 3,
  Ack = 4,
  Error = 5,
  OptionAck = 6,
};

enum class TftpErrorCode : std::uint16_t {
  NotDefined = 0,
  FileNotFound = 1,
  AccessViolation = 2,
  DiskFull = 3,
  IllegalOperation = 4,
  UnknownTransferId = 5,
  FileExists = 6,
  NoSuchUser = 7,
  OptionRefused = 8,  // RFC 2347
};

inline constexpr std::size_t kTftpDefaultBlockSize = 512;
inline constexpr std::size_t kTftpHeaderSize = 4;
// Option ranges: blksize 8..65464 (RFC 2348), timeout 1..255 s (RFC 2349), windowsize 1..65535
// (RFC 7440).
inline constexpr std::size_t kTftpMinBlockSize = 8;
inline constexpr std::size_t kTftpMaxBlockSize = 65464;
inline constexpr int kTftpMinTimeout = 1;
inline constexpr int kTftpMaxTimeout = 255;
inline constexpr int kTftpMaxWindowSize = 65535;

// An option as it travels: name and value text. Names compare without regard to case.
using TftpOption = std::pair<std::string, std::string>;

struct TftpRequest {
  bool write = false;  // WRQ rather than RRQ
  std::string fileName;
  std::string mode;  // as sent; "octet" and "netascii" compare without regard to case
  std::vector<TftpOption> options;
};
struct TftpData {
  std::uint16_t block = 0;
  std::vector<std::uint8_t> payload;
};
struct TftpAck {
  std::uint16_t block = 0;
};
struct TftpError {
  std::uint16_t code = 0;
  std::string message;
};
struct TftpOptionAck {
  std::vector<TftpOption> options;
};

using TftpPacket = std::variant<TftpRequest, TftpData, TftpAck, TftpError, TftpOptionAck>;

// nullopt for anything malformed: shorter than its fixed part, an unknown opcode, a missing
// NUL, an option without a value, an ERROR without its message.
std::optional<TftpPacket> DecodeTftp(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> EncodeTftpRequest(const TftpRequest& request);
std::vector<std::uint8_t> EncodeTftpData(std::uint16_t block,
                                         std::span<const std::uint8_t> payload);
std::vector<std::uint8_t> EncodeTftpAck(std::uint16_t block);
std::vector<std::uint8_t> EncodeTftpError(TftpErrorCode code, std::string_view message);
std::vector<std::uint8_t> EncodeTftpOptionAck(const std::vector<TftpOption>& options);

// Case-insensitive ASCII comparison, as option names and modes are compared.
bool TftpNameEquals(std::string_view a, std::string_view b);

// A decimal option value without sign, blanks or a leading "+"; nullopt when it is anything
// else or does not fit.
std::optional<std::uint64_t> ParseTftpNumber(std::string_view text);

}  // namespace kelvo::firmware
