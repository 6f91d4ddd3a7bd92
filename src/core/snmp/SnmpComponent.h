// SPDX-License-Identifier: GPL-2.0-or-later
// The SNMP component: SNMPv1 GetRequest and SetRequest over one UDP socket, with messages
// encoded and decoded by Net-SNMP's library. Blocking requests wait through a WaitHook with an
// exact time-out; with a time-out of 0 a send returns at once and replies arrive as
// notifications. Every operation runs on the thread that owns the component.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "snmp/SnmpMessage.h"
#include "snmp/WaitHook.h"
#include "util/UniqueFd.h"

namespace kelvo::snmp {

// What a failed operation reports: the kind, the system error (errno, 0 if none) and a
// description for logs and tools.
struct SnmpFailure {
  enum class Kind { InvalidHost, Encode, Socket, Send, Bind, Timeout };
  Kind kind;
  int systemError = 0;
  std::string description;
};

// Either success or an SnmpFailure.
class SnmpStatus {
 public:
  SnmpStatus() = default;
  SnmpStatus(SnmpFailure failure) : failed_(true), failure_(std::move(failure)) {}  // NOLINT
  bool Ok() const { return !failed_; }
  explicit operator bool() const { return Ok(); }
  const SnmpFailure& Failure() const { return failure_; }

 private:
  bool failed_ = false;
  SnmpFailure failure_{SnmpFailure::Kind::Socket, 0, {}};
};

// Notifications, delivered from ProcessIncoming() on the owner's thread.
class SnmpComponentListener {
 public:
  virtual ~SnmpComponentListener() = default;
  // A reply to the last request sent with time-out 0 is in Message(); RemoteHost() is the
  // replier's address.
  virtual void ReplyReceived() = 0;
  // The socket reported an error while no blocking request was waiting.
  virtual void ErrorReported(int code, std::string_view description) = 0;
};

class SnmpComponent {
 public:
  // nullptr when Net-SNMP's library or the socket cannot be set up.
  static std::unique_ptr<SnmpComponent> Create(WaitHook& wait);
  ~SnmpComponent();
  SnmpComponent(const SnmpComponent&) = delete;
  SnmpComponent& operator=(const SnmpComponent&) = delete;

  void SetListener(SnmpComponentListener* listener) { listener_ = listener; }

  // The agent's address (dotted IPv4) before a send; the replier's address after a reply.
  const std::string& RemoteHost() const { return remoteHost_; }
  void SetRemoteHost(std::string host) { remoteHost_ = std::move(host); }
  std::uint16_t RemotePort() const { return remotePort_; }
  void SetRemotePort(std::uint16_t port) { remotePort_ = port; }

  // Milliseconds; 0 makes Send() return at once.
  int Timeout() const { return timeoutMs_; }
  void SetTimeout(int milliseconds) { timeoutMs_ = milliseconds; }

  SnmpMessage& Message() { return message_; }
  const SnmpMessage& Message() const { return message_; }

  // Whether Listen() has bound the socket.
  bool Listening() const { return listening_; }
  // Binds the component's socket to the local port and address ("" = all interfaces). A later
  // call binds anew. The descriptor number stays the same.
  SnmpStatus Listen(std::uint16_t port, std::string_view localAddress);

  // Sends the message to RemoteHost():RemotePort(). With a time-out above 0 it waits for the
  // reply from that host with this request's id and community, which then replaces the
  // message; other datagrams are ignored. A new send ends the collection of replies to an
  // earlier one.
  SnmpStatus Send();
  // Sends the same request to several addresses at once (time-out 0 only); succeeds when at
  // least one send did. Replies to it come from any address.
  SnmpStatus SendToAll(const std::vector<std::string>& hosts);

  // Reads what has arrived on the socket and delivers the notifications; returns at once.
  // Call it when the descriptor is readable and no blocking request is waiting.
  void ProcessIncoming();
  // The socket to watch for readability; stable for the component's lifetime.
  int Descriptor() const { return fd_.Get(); }
  // How many requests this component has sent (a request to several hosts counts once).
  std::uint64_t RequestsSent() const { return requestsSent_; }
  // The local port the socket is bound to (0 before the first send or bind).
  std::uint16_t LocalPort() const;

  // The address of this computer on the route to host ("" when there is none).
  static std::string LocalAddress(std::string_view host);
  // The directed broadcast addresses of the local IPv4 interfaces that have one.
  static std::vector<std::string> InterfaceBroadcastAddresses();

 private:
  SnmpComponent(WaitHook& wait, util::UniqueFd fd);
  SnmpStatus Transmit(const std::vector<std::string>& hosts, bool anyOk);
  // Decodes one datagram; true when it is the awaited reply and was taken into the message.
  bool TakeReply(const std::uint8_t* data, std::size_t length, std::uint32_t sourceAddress,
                 bool requireSource, std::uint32_t expectedSource);

  // Whether a reply to this destination may come from any address.
  bool IsBroadcast(in_addr_t address);

  WaitHook& wait_;
  util::UniqueFd fd_;
  SnmpComponentListener* listener_ = nullptr;
  std::string remoteHost_;
  std::uint16_t remotePort_ = 161;
  int timeoutMs_ = 0;
  bool listening_ = false;
  SnmpMessage message_;
  std::int32_t lastRequestId_ = 0;
  // The community of the last request sent; its replies carry the same.
  std::string requestCommunity_;
  std::uint64_t requestsSent_ = 0;
  // Request id whose replies are delivered as notifications; 0 when none.
  std::int32_t notifyRequestId_ = 0;
  std::vector<std::uint8_t> receiveBuffer_;
  std::vector<std::string> broadcasts_;
  std::chrono::steady_clock::time_point broadcastsListed_{};
};

}  // namespace kelvo::snmp
