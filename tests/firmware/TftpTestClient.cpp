// SPDX-License-Identifier: GPL-2.0-or-later
#include "TftpTestClient.h"

#include <poll.h>

#include <variant>

namespace kelvo::test {

using namespace firmware;

const TftpData* TftpReceived::Data() const {
  return packet ? std::get_if<TftpData>(&*packet) : nullptr;
}
const TftpError* TftpReceived::Error() const {
  return packet ? std::get_if<TftpError>(&*packet) : nullptr;
}
const TftpOptionAck* TftpReceived::OptionAck() const {
  return packet ? std::get_if<TftpOptionAck>(&*packet) : nullptr;
}

TftpTestClient::TftpTestClient(const std::string& address, std::uint16_t serverPort)
    : peer_(address, 0), serverPort_(serverPort) {}

void TftpTestClient::SendRequest(const std::string& name, const std::vector<TftpOption>& options,
                                 const std::string& mode, bool write) {
  SendRaw(EncodeTftpRequest(TftpRequest{write, name, mode, options}));
}

void TftpTestClient::SendRaw(const std::vector<std::uint8_t>& bytes) {
  peer_.SendTo(bytes, serverAddress_, serverPort_);
}

void TftpTestClient::Ack(std::uint16_t block) { SendToTransfer(EncodeTftpAck(block)); }

void TftpTestClient::SendToTransfer(const std::vector<std::uint8_t>& bytes) {
  peer_.SendTo(bytes, serverAddress_, transferPort_);
}

std::optional<TftpReceived> TftpTestClient::Receive(int timeoutMs) {
  TftpReceived received;
  if (!peer_.Receive(received.bytes, received.fromAddress, received.fromPort, timeoutMs)) {
    return std::nullopt;
  }
  received.packet = DecodeTftp(received.bytes);
  if (received.fromPort != serverPort_) transferPort_ = received.fromPort;
  return received;
}

bool TftpTestClient::Quiet(int timeoutMs) {
  pollfd pfd{peer_.Descriptor(), POLLIN, 0};
  return ::poll(&pfd, 1, timeoutMs) == 0;
}

TftpFetchResult TftpFetch(const std::string& clientAddress, std::uint16_t serverPort,
                          const std::string& name, const std::vector<TftpOption>& options,
                          int silenceMs) {
  TftpFetchResult result;
  TftpTestClient client(clientAddress, serverPort);
  client.SendRequest(name, options);
  std::size_t blockSize = kTftpDefaultBlockSize;
  std::uint64_t window = 1;
  for (const auto& [option, value] : options) {
    if (TftpNameEquals(option, "windowsize")) window = ParseTftpNumber(value).value_or(1);
  }
  std::uint16_t lastInOrder = 0;
  std::uint64_t inWindow = 0;
  bool first = true;
  for (;;) {
    const auto received = client.Receive(silenceMs);
    if (!received) {
      result.failure = "server silent";
      return result;
    }
    if (first) {
      first = false;
      if (const auto* oack = received->OptionAck()) {
        result.optionAck = oack->options;
        window = 1;
        for (const auto& [option, value] : oack->options) {
          if (TftpNameEquals(option, "blksize")) blockSize = *ParseTftpNumber(value);
          if (TftpNameEquals(option, "windowsize")) window = *ParseTftpNumber(value);
        }
        client.Ack(0);
        continue;
      }
      window = 1;
    }
    if (const auto* error = received->Error()) {
      result.failure = "ERROR " + std::to_string(error->code) + " " + error->message;
      return result;
    }
    const auto* data = received->Data();
    if (!data) {
      result.failure = "unexpected packet";
      return result;
    }
    ++result.dataPackets;
    if (data->block != static_cast<std::uint16_t>(lastInOrder + 1)) {
      // A gap or a retransmission: say where we are, as RFC 7440 asks.
      client.Ack(lastInOrder);
      inWindow = 0;
      continue;
    }
    lastInOrder = data->block;
    if (data->block == 0) result.sawBlockZero = true;
    result.data.insert(result.data.end(), data->payload.begin(), data->payload.end());
    const bool last = data->payload.size() < blockSize;
    if (++inWindow >= window || last) {
      client.Ack(lastInOrder);
      inWindow = 0;
    }
    if (last) {
      result.complete = true;
      return result;
    }
  }
}

}  // namespace kelvo::test
