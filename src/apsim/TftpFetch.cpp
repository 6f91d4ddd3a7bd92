// SPDX-License-Identifier: GPL-2.0-or-later
#include "TftpFetch.h"

#include <type_traits>
#include <variant>

namespace kelvo::apsim {
namespace {

using firmware::TftpErrorCode;

// After the last ACK the socket stays open this many timeouts, so that a server whose copy of
// that ACK was lost gets it again when it resends the last block (RFC 1350, section 6).
constexpr int kDallyTimeouts = 3;

}  // namespace

TftpFetch::TftpFetch(std::uint32_t server, std::string fileName, TftpClientSettings settings)
    : fileName_(std::move(fileName)), settings_(std::move(settings)), server_(server) {}

const firmware::TftpOption* TftpFetch::Requested(std::string_view name) const {
  for (const auto& option : settings_.options) {
    if (firmware::TftpNameEquals(option.first, name)) return &option;
  }
  return nullptr;
}

TftpDatagram TftpFetch::Start(SimTime now) {
  return Transmit(firmware::EncodeTftpRequest({false, fileName_, "octet", settings_.options}), now);
}

TftpDatagram TftpFetch::Transmit(std::vector<std::uint8_t> packet, SimTime now) {
  lastSent_ = std::move(packet);
  transmissions_ = 1;
  deadline_ = now + settings_.timeout;
  return {server_, serverPort_.value_or(settings_.port), lastSent_};
}

std::optional<TftpDatagram> TftpFetch::Fail(std::string reason, std::optional<TftpErrorCode> code) {
  state_ = State::Failed;
  failure_ = std::move(reason);
  deadline_.reset();
  if (!code || !serverPort_) return std::nullopt;
  return TftpDatagram{server_, *serverPort_, firmware::EncodeTftpError(*code, failure_)};
}

std::optional<TftpDatagram> TftpFetch::Receive(std::span<const std::uint8_t> bytes,
                                               std::uint32_t address, std::uint16_t port,
                                               SimTime now) {
  if (state_ == State::Failed || !deadline_) return std::nullopt;
  const auto packet = firmware::DecodeTftp(bytes);
  // Until the server's first answer any port of the server's host may be its TID; after it
  // only that one. Everyone else is told so and otherwise ignored (RFC 1350, section 4), except
  // that an ERROR is never answered.
  const bool fromServer = address == server_ && (!serverPort_ || *serverPort_ == port);
  if (!fromServer) {
    if (packet && std::holds_alternative<firmware::TftpError>(*packet)) return std::nullopt;
    return TftpDatagram{
        address, port,
        firmware::EncodeTftpError(TftpErrorCode::UnknownTransferId, "Unknown transfer ID")};
  }

  if (state_ == State::Succeeded) {
    // Dallying: the server missed the last ACK and sent the last block again.
    const auto* data = packet ? std::get_if<firmware::TftpData>(&*packet) : nullptr;
    if (data != nullptr && data->block == lastBlock_) {
      return TftpDatagram{server_, *serverPort_, lastSent_};
    }
    return std::nullopt;
  }

  serverPort_ = port;
  if (!packet) return Fail("malformed packet from the server", TftpErrorCode::IllegalOperation);
  return std::visit(
      [&](const auto& received) -> std::optional<TftpDatagram> {
        using Packet = std::decay_t<decltype(received)>;
        if constexpr (std::is_same_v<Packet, firmware::TftpData>) {
          return OnData(received, now);
        } else if constexpr (std::is_same_v<Packet, firmware::TftpOptionAck>) {
          return OnOptionAck(received, now);
        } else if constexpr (std::is_same_v<Packet, firmware::TftpError>) {
          return Fail("server error " + std::to_string(received.code) + ": " + received.message,
                      std::nullopt);
        } else {
          return Fail("unexpected packet from the server", TftpErrorCode::IllegalOperation);
        }
      },
      *packet);
}

std::optional<TftpDatagram> TftpFetch::OnOptionAck(const firmware::TftpOptionAck& ack,
                                                   SimTime now) {
  if (settings_.options.empty() || blocks_ > 0) {
    return Fail("unexpected OACK", TftpErrorCode::IllegalOperation);
  }
  if (negotiated_) {
    // The server sent its OACK again: our ACK of block 0 was lost.
    return TftpDatagram{server_, *serverPort_, lastSent_};
  }
  // Every option must have been asked for, appear once and keep within what was asked
  // (RFC 2347); anything else is refused with ERROR 8. Options the server leaves out keep
  // their defaults.
  std::vector<std::string_view> seen;
  for (const auto& [name, value] : ack.options) {
    const firmware::TftpOption* asked = Requested(name);
    const auto number = firmware::ParseTftpNumber(value);
    // What was asked; 0 stands for nothing usable (every option asks for at least 1).
    const std::uint64_t limit =
        asked != nullptr ? firmware::ParseTftpNumber(asked->second).value_or(0) : 0;
    bool duplicate = false;
    for (const std::string_view other : seen) duplicate |= firmware::TftpNameEquals(other, name);
    seen.push_back(name);
    bool accepted = asked != nullptr && number && !duplicate;
    if (accepted && firmware::TftpNameEquals(name, "blksize")) {
      accepted = limit > 0 && *number >= firmware::kTftpMinBlockSize && *number <= limit;
      if (accepted) blockSize_ = static_cast<std::size_t>(*number);
    } else if (accepted && firmware::TftpNameEquals(name, "windowsize")) {
      accepted = limit > 0 && *number >= 1 && *number <= limit;
      if (accepted) windowSize_ = *number;
    } else if (accepted && firmware::TftpNameEquals(name, "timeout")) {
      // RFC 2349: the server either takes the timeout as asked or leaves it out.
      accepted = limit > 0 && *number == limit;
      if (accepted) settings_.timeout = std::chrono::seconds(*number);
    } else if (accepted && firmware::TftpNameEquals(name, "tsize")) {
      if (*number > kMaxImageSize) {
        return Fail("image of " + value + " bytes is too large", TftpErrorCode::DiskFull);
      }
      transferSize_ = *number;
    } else {
      accepted = false;
    }
    if (!accepted) {
      std::string reason = "refused option ";
      reason.append(name).append("=").append(value);
      return Fail(std::move(reason), TftpErrorCode::OptionRefused);
    }
  }
  negotiated_ = true;
  return Transmit(firmware::EncodeTftpAck(0), now);
}

std::optional<TftpDatagram> TftpFetch::OnData(const firmware::TftpData& data, SimTime now) {
  const auto expected = static_cast<std::uint16_t>(lastBlock_ + 1);  // 65535 + 1 wraps to 0
  if (data.block != expected) {
    if (blocks_ > 0 && data.block == lastBlock_) {
      // The server resent the end of a window (or its only block) because our ACK was lost
      // or late: acknowledge it again. Earlier blocks of such a window need no answer.
      inWindow_ = 0;
      return Transmit(firmware::EncodeTftpAck(lastBlock_), now);
    }
    const auto ahead = static_cast<std::uint16_t>(data.block - expected);
    if (ahead < 0x8000 && !gapAcknowledged_) {
      // A block of the window went missing: one ACK of the last block taken in order makes
      // the server go on from there (RFC 7440, section 4); the rest of the window is dropped.
      gapAcknowledged_ = true;
      inWindow_ = 0;
      return Transmit(firmware::EncodeTftpAck(lastBlock_), now);
    }
    return std::nullopt;
  }

  if (data.payload.size() > blockSize_) {
    return Fail("block " + std::to_string(data.block) + " is longer than the block size",
                TftpErrorCode::IllegalOperation);
  }
  if (image_.size() + data.payload.size() > kMaxImageSize) {
    return Fail("image is too large", TftpErrorCode::DiskFull);
  }
  image_.insert(image_.end(), data.payload.begin(), data.payload.end());
  lastBlock_ = data.block;
  ++blocks_;
  ++inWindow_;
  gapAcknowledged_ = false;

  if (data.payload.size() < blockSize_) {
    // The short block, possibly empty, ends the transfer.
    if (transferSize_ && *transferSize_ != image_.size()) {
      return Fail("received " + std::to_string(image_.size()) + " bytes, tsize announced " +
                      std::to_string(*transferSize_),
                  TftpErrorCode::NotDefined);
    }
    state_ = State::Succeeded;
    auto ack = Transmit(firmware::EncodeTftpAck(lastBlock_), now);
    deadline_ = now + kDallyTimeouts * settings_.timeout;
    return ack;
  }
  if (inWindow_ >= windowSize_) {
    inWindow_ = 0;
    return Transmit(firmware::EncodeTftpAck(lastBlock_), now);
  }
  // Progress inside a window restarts the wait for the rest of it.
  deadline_ = now + settings_.timeout;
  transmissions_ = 1;
  return std::nullopt;
}

std::optional<TftpDatagram> TftpFetch::Expire(SimTime now) {
  if (!deadline_ || now < *deadline_) return std::nullopt;
  if (state_ == State::Succeeded) {
    deadline_.reset();
    return std::nullopt;
  }
  if (transmissions_ >= settings_.tries) {
    return Fail("timed out after " + std::to_string(settings_.tries) + " tries",
                TftpErrorCode::NotDefined);
  }
  // Once the server has answered, what goes again is the ACK of the last block taken in order
  // (block 0 after an OACK); inside a window that ACK was never sent before.
  if (serverPort_) lastSent_ = firmware::EncodeTftpAck(lastBlock_);
  ++transmissions_;
  deadline_ = now + settings_.timeout;
  return TftpDatagram{server_, serverPort_.value_or(settings_.port), lastSent_};
}

std::optional<SimTime> TftpFetch::Deadline() const { return deadline_; }

}  // namespace kelvo::apsim
