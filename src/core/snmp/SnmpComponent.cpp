// SPDX-License-Identifier: GPL-2.0-or-later
#include "snmp/SnmpComponent.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

#include "snmp/NetSnmpLibrary.h"

namespace kelvo::snmp {
namespace {

using Clock = std::chrono::steady_clock;

// The largest datagram UDP can carry; anything shorter is read whole.
constexpr std::size_t kDatagramCapacity = 65535;
// Bounds the work of one ProcessIncoming() call so that a flood cannot starve the caller.
constexpr int kDatagramsPerPass = 256;
constexpr auto kBroadcastListLife = std::chrono::seconds(5);

SnmpFailure SystemFailure(SnmpFailure::Kind kind, int error, const std::string& what) {
  return SnmpFailure{kind, error, what + ": " + std::strerror(error)};
}

std::optional<in_addr> ParseAddress(const std::string& text) {
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
  return address;
}

std::string FormatAddress(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

sockaddr_in SocketAddress(in_addr address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr = address;
  return result;
}

// Invalid when it cannot be set up, with errno saying why.
util::UniqueFd OpenSocket() {
  util::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) return fd;
  // A discovery on a large segment answers in one burst; room for about a thousand replies
  // keeps them while the window is busy (the kernel caps this at net.core.rmem_max).
  const int receiveBuffer = 1 << 20;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  const int on = 1;
  if (::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) fd.Reset();
  return fd;
}

std::string ObjectIdText(const oid* parts, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) text += '.';
    text += std::to_string(parts[i]);
  }
  return text;
}

// The text and byte forms of one variable of a reply.
SnmpVariable DecodeVariable(const netsnmp_variable_list& var) {
  const std::string oidText = ObjectIdText(var.name, var.name_length);
  const auto tag = static_cast<ValueTag>(var.type);
  std::string text;
  std::vector<std::uint8_t> bytes;
  switch (var.type) {
    case ASN_INTEGER:
      if (var.val.integer != nullptr) text = std::to_string(*var.val.integer);
      break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
      if (var.val.integer != nullptr) {
        text = std::to_string(static_cast<unsigned long>(*var.val.integer) & 0xFFFFFFFFUL);
      }
      break;
    case ASN_COUNTER64:
      if (var.val.counter64 != nullptr) {
        const std::uint64_t value = (static_cast<std::uint64_t>(var.val.counter64->high) << 32) |
                                    (var.val.counter64->low & 0xFFFFFFFFUL);
        text = std::to_string(value);
      }
      break;
    case ASN_OCTET_STR:
    case ASN_OPAQUE:
      if (var.val.string != nullptr) {
        bytes.assign(var.val.string, var.val.string + var.val_len);
        // The text form is the characters up to the first NUL, as a C string holds them.
        const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        text.assign(bytes.begin(), nul);
      }
      break;
    case ASN_IPADDRESS:
      if (var.val.string != nullptr) {
        bytes.assign(var.val.string, var.val.string + var.val_len);
        if (bytes.size() == 4) {
          text = std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
                 std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
        }
      }
      break;
    case ASN_OBJECT_ID:
      if (var.val.objid != nullptr) text = ObjectIdText(var.val.objid, var.val_len / sizeof(oid));
      break;
    default:
      break;
  }
  return SnmpVariable(oidText, tag, std::move(text), std::move(bytes));
}

// Net-SNMP's encoder and parser keep process-wide state (statistics, the session defaults) and
// its Debian build is not made reentrant; components of several threads take turns in it.
std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

struct PduDeleter {
  void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduDeleter>;

netsnmp_session SessionTemplate() {
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_1;
  return session;
}

// Encodes the message as an SNMPv1 request; empty when an item cannot be encoded.
std::vector<std::uint8_t> Encode(const SnmpMessage& message, std::int32_t requestId) {
  const std::lock_guard lock(LibraryMutex());
  PduPtr pdu(snmp_pdu_create(message.Type() == PduType::SetRequest ? SNMP_MSG_SET : SNMP_MSG_GET));
  if (!pdu) return {};
  pdu->version = SNMP_VERSION_1;
  pdu->reqid = requestId;
  pdu->msgid = requestId;
  const std::string& community = message.Community();
  pdu->community = static_cast<u_char*>(std::malloc(community.size() + 1));
  if (pdu->community == nullptr) return {};
  std::memcpy(pdu->community, community.data(), community.size());
  pdu->community[community.size()] = 0;
  pdu->community_len = community.size();

  for (const SnmpVariable& variable : message.Variables()) {
    std::vector<oid> name(variable.OidParts().begin(), variable.OidParts().end());
    netsnmp_variable_list* added = nullptr;
    switch (variable.Tag()) {
      case ValueTag::Integer: {
        const long value = variable.IntegerValue();
        added = snmp_pdu_add_variable(pdu.get(), name.data(), name.size(), ASN_INTEGER, &value,
                                      sizeof value);
        break;
      }
      case ValueTag::OctetString:
      case ValueTag::IpAddress: {
        const auto type = variable.Tag() == ValueTag::IpAddress ? ASN_IPADDRESS : ASN_OCTET_STR;
        added = snmp_pdu_add_variable(pdu.get(), name.data(), name.size(), type,
                                      variable.Bytes().data(), variable.Bytes().size());
        break;
      }
      default:
        added = snmp_pdu_add_variable(pdu.get(), name.data(), name.size(), ASN_NULL, nullptr, 0);
        break;
    }
    if (added == nullptr) return {};
  }

  netsnmp_session session = SessionTemplate();
  size_t capacity = 1024;
  size_t offset = 0;
  auto* buffer = static_cast<u_char*>(std::malloc(capacity));
  if (buffer == nullptr) return {};
  std::vector<std::uint8_t> packet;
  // Reverse encoding fills the buffer from its end: the packet is its last `offset` bytes.
  if (snmp_build(&buffer, &capacity, &offset, &session, pdu.get()) == 0) {
    packet.assign(buffer + capacity - offset, buffer + capacity);
  }
  std::free(buffer);
  return packet;
}

std::int32_t FirstRequestId() {
  std::random_device random;
  return static_cast<std::int32_t>(random() & 0x3FFFFFFF) + 1;
}

}  // namespace

std::unique_ptr<SnmpComponent> SnmpComponent::Create(WaitHook& wait) {
  if (!EnsureNetSnmpLibrary()) return nullptr;
  util::UniqueFd fd = OpenSocket();
  if (!fd.Valid()) return nullptr;
  return std::unique_ptr<SnmpComponent>(new SnmpComponent(wait, std::move(fd)));
}

SnmpComponent::SnmpComponent(WaitHook& wait, util::UniqueFd fd)
    : wait_(wait),
      fd_(std::move(fd)),
      lastRequestId_(FirstRequestId()),
      receiveBuffer_(kDatagramCapacity) {}

SnmpComponent::~SnmpComponent() = default;

SnmpStatus SnmpComponent::Listen(std::uint16_t port, std::string_view localAddress) {
  in_addr address{};
  address.s_addr = htonl(INADDR_ANY);
  if (!localAddress.empty()) {
    const auto parsed = ParseAddress(std::string(localAddress));
    if (!parsed) {
      return SnmpFailure{SnmpFailure::Kind::InvalidHost, EINVAL,
                         "invalid local address " + std::string(localAddress)};
    }
    address = *parsed;
  }
  const util::UniqueFd fd = OpenSocket();
  if (!fd.Valid()) return SystemFailure(SnmpFailure::Kind::Socket, errno, "socket");
  const sockaddr_in local = SocketAddress(address, port);
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int error = errno;
    return SystemFailure(SnmpFailure::Kind::Bind, error, "bind to port " + std::to_string(port));
  }
  // The new socket takes the old descriptor's number, so watchers of Descriptor() stay valid.
  if (::dup3(fd.Get(), fd_.Get(), O_CLOEXEC) < 0) {
    const int error = errno;
    return SystemFailure(SnmpFailure::Kind::Socket, error, "dup3");
  }
  listening_ = true;
  notifyRequestId_ = 0;
  return {};
}

bool SnmpComponent::IsBroadcast(in_addr_t address) {
  if (address == htonl(INADDR_BROADCAST)) return true;
  // Listing the interfaces costs more than a loopback round trip; a short-lived copy serves
  // the requests of a burst.
  const auto now = Clock::now();
  if (broadcastsListed_ == Clock::time_point{} || now - broadcastsListed_ > kBroadcastListLife) {
    broadcasts_ = InterfaceBroadcastAddresses();
    broadcastsListed_ = now;
  }
  in_addr value{};
  value.s_addr = address;
  return std::find(broadcasts_.begin(), broadcasts_.end(), FormatAddress(value)) !=
         broadcasts_.end();
}

std::uint16_t SnmpComponent::LocalPort() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

SnmpStatus SnmpComponent::Send() {
  if (timeoutMs_ <= 0) return Transmit({remoteHost_}, false);

  const auto destination = ParseAddress(remoteHost_);
  if (!destination) {
    return SnmpFailure{SnmpFailure::Kind::InvalidHost, EINVAL, "invalid host " + remoteHost_};
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
  if (SnmpStatus sent = Transmit({remoteHost_}, false); !sent) return sent;
  // From here on replies to this request are collected by the wait below, not notified.
  notifyRequestId_ = 0;
  const bool requireSource = !IsBroadcast(destination->s_addr);

  std::vector<std::uint8_t>& buffer = receiveBuffer_;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    if (!wait_.WaitReadable(fd_.Get(), left)) continue;
    // Drain what arrived; stray datagrams are dropped, but never past the deadline.
    while (Clock::now() < deadline) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = ::recvfrom(fd_.Get(), buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) break;
      if (TakeReply(buffer.data(), static_cast<std::size_t>(n), from.sin_addr.s_addr, requireSource,
                    destination->s_addr)) {
        return {};
      }
    }
  }
  return SnmpFailure{
      SnmpFailure::Kind::Timeout, ETIMEDOUT,
      "no reply from " + remoteHost_ + " within " + std::to_string(timeoutMs_) + " ms"};
}

SnmpStatus SnmpComponent::SendToAll(const std::vector<std::string>& hosts) {
  return Transmit(hosts, true);
}

SnmpStatus SnmpComponent::Transmit(const std::vector<std::string>& hosts, bool anyOk) {
  const std::int32_t requestId = lastRequestId_ = (lastRequestId_ % 0x7FFFFFFF) + 1;
  notifyRequestId_ = 0;
  const std::vector<std::uint8_t> packet = Encode(message_, requestId);
  if (packet.empty()) {
    return SnmpFailure{SnmpFailure::Kind::Encode, 0, "the request cannot be encoded"};
  }
  SnmpStatus result = SnmpFailure{SnmpFailure::Kind::InvalidHost, EINVAL, "no destination"};
  bool anySent = false;
  for (const std::string& host : hosts) {
    const auto destination = ParseAddress(host);
    SnmpStatus status;
    if (!destination) {
      status = SnmpFailure{SnmpFailure::Kind::InvalidHost, EINVAL, "invalid host " + host};
    } else {
      const sockaddr_in to = SocketAddress(*destination, remotePort_);
      if (::sendto(fd_.Get(), packet.data(), packet.size(), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        status = SystemFailure(SnmpFailure::Kind::Send, errno, "send to " + host);
      }
    }
    if (status) {
      anySent = true;
    } else {
      result = status;
      if (!anyOk) return result;
    }
  }
  if (!anySent) return result;
  requestCommunity_ = message_.Community();
  ++requestsSent_;
  notifyRequestId_ = requestId;
  return {};
}

bool SnmpComponent::TakeReply(const std::uint8_t* data, std::size_t length,
                              std::uint32_t sourceAddress, bool requireSource,
                              std::uint32_t expectedSource) {
  if (requireSource && sourceAddress != expectedSource) return false;
  const std::lock_guard lock(LibraryMutex());
  netsnmp_session session = SessionTemplate();
  PduPtr pdu(static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu))));
  if (!pdu) return false;
  // Net-SNMP's parser takes a mutable buffer.
  std::vector<u_char> copy(data, data + length);
  if (snmp_parse(nullptr, &session, pdu.get(), copy.data(), copy.size()) != 0) return false;
  if (pdu->version != SNMP_VERSION_1 || pdu->command != SNMP_MSG_RESPONSE ||
      pdu->reqid != lastRequestId_) {
    return false;
  }
  // An agent answers with the community it was asked with; any other is not its reply.
  const std::string community =
      pdu->community == nullptr
          ? std::string()
          : std::string(reinterpret_cast<const char*>(pdu->community), pdu->community_len);
  if (community != requestCommunity_) return false;
  message_.Clear();
  message_.SetType(PduType::GetResponse);
  message_.SetCommunity(community);
  for (const netsnmp_variable_list* var = pdu->variables; var != nullptr;
       var = var->next_variable) {
    message_.Add(DecodeVariable(*var));
  }
  message_.SetError(static_cast<int>(pdu->errstat), static_cast<int>(pdu->errindex));
  in_addr source{};
  source.s_addr = sourceAddress;
  remoteHost_ = FormatAddress(source);
  return true;
}

void SnmpComponent::ProcessIncoming() {
  std::vector<std::uint8_t>& buffer = receiveBuffer_;
  for (int i = 0; i < kDatagramsPerPass; ++i) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd_.Get(), buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) {
      const int error = errno;
      if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) return;
      if (listener_ != nullptr) listener_->ErrorReported(error, std::strerror(error));
      return;
    }
    if (notifyRequestId_ == 0) continue;
    if (TakeReply(buffer.data(), static_cast<std::size_t>(n), from.sin_addr.s_addr, false, 0) &&
        listener_ != nullptr) {
      listener_->ReplyReceived();
    }
  }
}

std::string SnmpComponent::LocalAddress(std::string_view host) {
  const auto destination = ParseAddress(std::string(host));
  if (!destination) return {};
  const util::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) return {};
  // Connecting a UDP socket sends nothing; it only asks the kernel for the route.
  const sockaddr_in to = SocketAddress(*destination, 161);
  std::string result;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
      ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    result = FormatAddress(local.sin_addr);
  }
  return result;
}

std::vector<std::string> SnmpComponent::InterfaceBroadcastAddresses() {
  std::vector<std::string> result;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return result;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_BROADCAST) == 0) continue;
    if (entry->ifa_broadaddr == nullptr) continue;
    const auto* broadcast = reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr);
    const std::string text = FormatAddress(broadcast->sin_addr);
    if (std::find(result.begin(), result.end(), text) == result.end()) result.push_back(text);
  }
  ::freeifaddrs(list);
  return result;
}

}  // namespace kelvo::snmp
