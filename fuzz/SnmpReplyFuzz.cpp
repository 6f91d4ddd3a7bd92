// SPDX-License-Identifier: GPL-2.0-or-later
// SNMP replies: the input is a request kind and a script of datagrams that reach the
// component's socket over loopback while the request is outstanding, each from the agent that
// was asked or from another address. The script is sent from inside the wait hook, as soon as
// the request has arrived at the agent, followed by one well-formed closing reply, so that
// every blocking request ends at once. The bytes "RQID" in a datagram stand for the request's
// id (4 bytes, most significant first), so that the fuzzer can reach past the id check.
//
// Checks: ASan guards every read of a datagram; a blocking request ends with the first
// datagram that is a real reply (SNMPv1 GetResponse, the request's id and community, from the
// host that was asked), or else with the closing reply, and the values the session hands on
// are that datagram's; a discovery lists exactly the real replies with a non-empty name, one
// row per address, newest first.
//
// What is a real reply is decided here with Net-SNMP's parser, the same decoder the component
// uses; the checks are about which datagram the component believes, not about BER.

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "snmp/AgentSession.h"
#include "snmp/SnmpComponent.h"
#include "snmp/WaitHook.h"
#include "ui/Prompter.h"

namespace {

using Datagram = std::vector<std::uint8_t>;
namespace snmp = kelvo::snmp;

constexpr std::size_t kMaxScript = 64;
constexpr std::string_view kAgentAddress = "127.0.0.1";
constexpr std::string_view kStrangerAddress = "127.0.0.2";
constexpr std::string_view kWriteCommunity = "admin";
constexpr std::string_view kClosingText = "closing reply";
constexpr std::string_view kIdMarker = "RQID";

[[noreturn]] void Fail(const char* rule) {
  std::fprintf(stderr, "snmp_reply: broken rule: %s\n", rule);
  std::abort();
}

void Require(bool holds, const char* rule) {
  if (!holds) Fail(rule);
}

// A non-blocking UDP socket on a loopback address.
class Socket {
 public:
  explicit Socket(std::string_view address)
      : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0)) {
    Require(fd_ >= 0, "a UDP socket opens");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    Require(::inet_pton(AF_INET, std::string(address).c_str(), &local.sin_addr) == 1,
            "loopback address parses");
    Require(::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0,
            "a loopback socket binds");
    socklen_t length = sizeof local;
    Require(::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) == 0,
            "getsockname works");
    port_ = ntohs(local.sin_port);
  }
  ~Socket() { ::close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  std::uint16_t Port() const { return port_; }

  // The next datagram and the port it came from, or nothing when none is waiting.
  std::optional<Datagram> Receive(std::uint16_t* fromPort = nullptr) {
    Datagram data(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return std::nullopt;
    data.resize(static_cast<std::size_t>(n));
    if (fromPort != nullptr) *fromPort = ntohs(from.sin_port);
    return data;
  }

  void SendTo(const Datagram& data, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Require(::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to) == static_cast<ssize_t>(data.size()),
            "a scripted datagram is sent");
  }

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

struct PduDeleter {
  void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduDeleter>;

struct Value {
  std::string oid;
  int type = 0;
  Datagram bytes;  // octet string content
  std::optional<long> integer;
};

// A datagram as Net-SNMP reads it.
struct Parsed {
  long version = -1;
  int command = 0;
  long requestId = 0;
  std::string community;
  long errorStatus = 0;
  long errorIndex = 0;
  std::vector<Value> values;
};

std::string OidText(const oid* parts, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) text += '.';
    text += std::to_string(parts[i]);
  }
  return text;
}

std::optional<Parsed> Parse(const Datagram& datagram) {
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_1;
  PduPtr pdu(static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu))));
  Datagram copy = datagram;
  if (snmp_parse(nullptr, &session, pdu.get(), copy.data(), copy.size()) != 0) return std::nullopt;
  Parsed parsed;
  parsed.version = pdu->version;
  parsed.command = pdu->command;
  parsed.requestId = pdu->reqid;
  if (pdu->community != nullptr) {
    parsed.community.assign(reinterpret_cast<const char*>(pdu->community), pdu->community_len);
  }
  parsed.errorStatus = pdu->errstat;
  parsed.errorIndex = pdu->errindex;
  for (const netsnmp_variable_list* var = pdu->variables; var != nullptr;
       var = var->next_variable) {
    Value value;
    value.oid = OidText(var->name, var->name_length);
    value.type = var->type;
    if (var->type == ASN_OCTET_STR && var->val.string != nullptr) {
      value.bytes.assign(var->val.string, var->val.string + var->val_len);
    }
    if (var->type == ASN_INTEGER && var->val.integer != nullptr) value.integer = *var->val.integer;
    parsed.values.push_back(std::move(value));
  }
  return parsed;
}

// The reply that ends every script: well formed, from the agent, one octet string.
Datagram ClosingReply(long requestId, const std::string& community) {
  PduPtr pdu(snmp_pdu_create(SNMP_MSG_RESPONSE));
  pdu->version = SNMP_VERSION_1;
  pdu->reqid = requestId;
  pdu->msgid = requestId;
  pdu->community = static_cast<u_char*>(std::malloc(community.size() + 1));
  std::memcpy(pdu->community, community.c_str(), community.size() + 1);
  pdu->community_len = community.size();
  const oid name[] = {1, 3, 6, 1, 4, 1, 15177, 99, 1, 0};
  snmp_pdu_add_variable(pdu.get(), name, std::size(name), ASN_OCTET_STR, kClosingText.data(),
                        kClosingText.size());
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_1;
  size_t capacity = 1024;
  size_t offset = 0;
  auto* buffer = static_cast<u_char*>(std::malloc(capacity));
  Require(snmp_build(&buffer, &capacity, &offset, &session, pdu.get()) == 0,
          "the closing reply encodes");
  Datagram packet(buffer + capacity - offset, buffer + capacity);
  std::free(buffer);
  return packet;
}

struct Scripted {
  bool fromStranger = false;
  Datagram bytes;
};

// Replaces every "RQID" with the id, most significant byte first.
void PutRequestId(Datagram& datagram, long requestId) {
  const auto id = static_cast<std::uint32_t>(requestId);
  for (std::size_t i = 0; i + kIdMarker.size() <= datagram.size(); ++i) {
    if (std::equal(kIdMarker.begin(), kIdMarker.end(), datagram.begin() + static_cast<long>(i))) {
      for (std::size_t k = 0; k < 4; ++k) {
        datagram[i + k] = static_cast<std::uint8_t>(id >> (24 - 8 * k));
      }
    }
  }
}

// The request as the agent received it.
struct Request {
  long id = 0;
  std::string community;
  std::uint16_t managerPort = 0;
};

class Prompts final : public kelvo::ui::Prompter {
 public:
  void ShowMessage(std::string_view text, std::string_view, kelvo::ui::MessageIcon) override {
    shown.emplace_back(text);
  }
  kelvo::ui::Answer AskYesNo(std::string_view, std::string_view, kelvo::ui::MessageIcon) override {
    return kelvo::ui::Answer::No;
  }
  bool Shown(std::string_view text) const {
    return std::find(shown.begin(), shown.end(), text) != shown.end();
  }
  std::vector<std::string> shown;
};

struct NoBusy final : kelvo::ui::BusyIndicator {
  void BeginBusy() override {}
  void EndBusy() override {}
};

// The agent and a stranger on loopback, answering from inside the component's wait.
class ScriptedAgent final : public snmp::WaitHook {
 public:
  std::vector<Scripted> script;
  std::optional<Request> request;
  std::optional<Datagram> closing;

  // Takes the request that the component has just sent; loopback delivers it at once.
  Request TakeRequest() {
    std::uint16_t port = 0;
    auto datagram = agent.Receive(&port);
    Require(datagram.has_value(), "the request reached the agent");
    auto parsed = Parse(*datagram);
    Require(parsed.has_value(), "the request is well-formed SNMP");
    Require(parsed->version == SNMP_VERSION_1, "the request is SNMPv1");
    Require(!agent.Receive(), "one request is sent once");
    return Request{parsed->requestId, parsed->community, port};
  }

  void SendScript(bool closeIt) {
    for (Scripted& item : script) {
      PutRequestId(item.bytes, request->id);
      (item.fromStranger ? stranger : agent).SendTo(item.bytes, request->managerPort);
    }
    if (closeIt) {
      closing = ClosingReply(request->id, request->community);
      agent.SendTo(*closing, request->managerPort);
    }
  }

  bool WaitReadable(int, std::chrono::milliseconds) override {
    Require(!request.has_value(), "a blocking request ends at its reply");
    request = TakeRequest();
    SendScript(true);
    return true;
  }

  Socket agent{kAgentAddress};
  Socket stranger{kStrangerAddress};
};

constexpr std::string_view kReadOids[] = {
    "1.3.6.1.4.1.15177.1.1.7.1.0", "1.3.6.1.4.1.15177.1.1.7.2.0", "1.3.6.1.4.1.15177.1.2.3.1.0"};

// A read group that keeps what the session hands on, position by position.
class RecordingGroup final : public snmp::AgentGroup {
 public:
  std::vector<std::string> ReadIdentifiers() const override {
    return {std::begin(kReadOids), std::end(kReadOids)};
  }
  bool Extract(snmp::AgentSession& session) override {
    extracted = true;
    texts.clear();
    bytes.clear();
    for (std::size_t i = 1;; ++i) {
      auto text = session.ResponseValueText(i);
      if (!text) break;
      texts.push_back(std::move(*text));
      bytes.push_back(session.ResponseValueBytes(i));
    }
    Require(!session.ResponseValueBytes(texts.size() + 1), "no bytes past the last variable");
    return true;
  }
  void BuildWrite(snmp::AgentSession&) override {}

  bool extracted = false;
  std::vector<std::string> texts;
  std::vector<std::optional<Datagram>> bytes;
};

struct World {
  ScriptedAgent agent;
  Prompts prompts;
  NoBusy busy;
  snmp::AgentSession session{snmp::SnmpComponent::Create(agent), prompts, busy};
  RecordingGroup group;

  World() {
    session.SetAgentPort(agent.agent.Port());
    session.SetDiscoveryTargets({std::string(kAgentAddress)});
    session.SetWriteCommunity(std::string(kWriteCommunity));
    session.AttachGroup(kelvo::mib::Group::IpConfig, &group);
  }

  // Leaves no datagram of an earlier input anywhere.
  void Drain() {
    const int fd = session.Component().Descriptor();
    std::uint8_t sink[1];
    while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) >= 0) {
    }
    while (agent.agent.Receive()) {
    }
    while (agent.stranger.Receive()) {
    }
  }
};

World& TheWorld() {
  static World* world = new World;
  return *world;
}

bool IsRealReply(const std::optional<Parsed>& parsed, const Request& request) {
  return parsed && parsed->version == SNMP_VERSION_1 && parsed->command == SNMP_MSG_RESPONSE &&
         parsed->requestId == request.id && parsed->community == request.community;
}

// The reply a blocking request must end with: the first real reply from the agent.
Parsed ExpectedReply(const ScriptedAgent& agent) {
  for (const Scripted& item : agent.script) {
    const auto parsed = Parse(item.bytes);
    if (!item.fromStranger && IsRealReply(parsed, *agent.request)) return *parsed;
  }
  const auto closing = Parse(*agent.closing);
  Require(closing.has_value(), "the closing reply parses");
  return *closing;
}

void CheckValues(const Parsed& expected, const snmp::SnmpMessage& message) {
  Require(message.Count() == expected.values.size(), "the reply's variables, all of them");
  Require(message.ErrorStatus() == expected.errorStatus, "the reply's error status");
  for (std::size_t i = 0; i < expected.values.size(); ++i) {
    const Value& value = expected.values[i];
    const snmp::SnmpVariable& got = *message.Item(i + 1);
    Require(got.Oid() == value.oid, "each variable keeps its identifier");
    Require(static_cast<int>(got.Tag()) == value.type, "each variable keeps its type");
    if (value.type == ASN_OCTET_STR) {
      Require(got.Bytes() == value.bytes, "an octet string is its bytes");
      const auto nul = std::find(value.bytes.begin(), value.bytes.end(), 0);
      Require(got.Text() == std::string(value.bytes.begin(), nul),
              "an octet string's text runs to its first NUL");
    }
    if (value.integer) {
      Require(got.Text() == std::to_string(*value.integer), "an integer's text is its value");
    }
  }
}

void RunRead(World& world) {
  world.group.extracted = false;
  world.session.ReadGroup(kelvo::mib::Group::IpConfig, std::string(kAgentAddress));
  Require(world.agent.request.has_value(), "the read was sent and waited for");
  Require(world.agent.request->community == snmp::kReadCommunity, "a read uses the read community");
  Require(!world.prompts.Shown(snmp::messages::kTimeout), "an answered read does not time out");
  Require(world.group.extracted, "an answered read is extracted");
  const Parsed expected = ExpectedReply(world.agent);
  CheckValues(expected, world.session.Component().Message());
  Require(world.group.texts.size() == expected.values.size(), "the group sees every variable");
  for (std::size_t i = 0; i < expected.values.size(); ++i) {
    const Value& value = expected.values[i];
    if (value.type == ASN_OCTET_STR) {
      Require(world.group.bytes[i] == value.bytes, "the group gets an octet string's bytes");
    }
  }
  Require(world.prompts.Shown(snmp::messages::kGetError) == (expected.errorStatus != 0),
          "a read reports exactly the agent's refusal");
  Require(world.session.Component().RemoteHost() == kAgentAddress,
          "a read's reply comes from the agent");
}

void RunSet(World& world, bool address) {
  const bool ok = world.session.SetSingleValue(
      address ? snmp::SetKind::IpAddress : snmp::SetKind::Integer, std::string(kAgentAddress),
      address ? "1.3.6.1.4.1.15177.1.2.9.1.0" : "1.3.6.1.4.1.15177.1.2.1.4.0",
      address ? "127.0.0.1" : "1");
  Require(world.agent.request.has_value(), "the set was sent and waited for");
  Require(world.agent.request->community == kWriteCommunity, "a set uses the write community");
  Require(!world.prompts.Shown(snmp::messages::kResetWait), "an answered set does not time out");
  const Parsed expected = ExpectedReply(world.agent);
  CheckValues(expected, world.session.Component().Message());
  Require(ok == (expected.errorStatus == 0), "a set succeeds exactly when the agent accepts it");
}

// The text discovery lists for a reply's first variable; nullopt where the type's text form
// is not worked out here.
std::optional<std::string> NameOf(const Parsed& reply) {
  if (reply.values.empty()) return std::string();
  const Value& first = reply.values.front();
  if (first.type == ASN_OCTET_STR) {
    const auto nul = std::find(first.bytes.begin(), first.bytes.end(), 0);
    return std::string(first.bytes.begin(), nul);
  }
  if (first.integer) return std::to_string(*first.integer);
  if (first.type == ASN_NULL) return std::string();
  return std::nullopt;
}

void RunDiscovery(World& world) {
  world.session.Discover();
  Require(!world.prompts.Shown(snmp::messages::kTimeout), "a discovery is sent");
  world.agent.request = world.agent.TakeRequest();
  Require(world.agent.request->community == snmp::kReadCommunity,
          "a discovery uses the read community");
  world.agent.SendScript(false);
  world.session.Component().ProcessIncoming();

  std::vector<snmp::AccessPointEntry> expected;
  bool exact = true;
  std::vector<std::string> repliers;
  for (const Scripted& item : world.agent.script) {
    const auto parsed = Parse(item.bytes);
    if (!IsRealReply(parsed, *world.agent.request)) continue;
    const std::string address(item.fromStranger ? kStrangerAddress : kAgentAddress);
    repliers.push_back(address);
    const auto name = NameOf(*parsed);
    if (!name) {
      exact = false;
      continue;
    }
    const bool listed = std::any_of(expected.begin(), expected.end(),
                                    [&](const auto& row) { return row.address == address; });
    if (!name->empty() && !listed) expected.insert(expected.begin(), {address, *name});
  }
  const std::vector<snmp::AccessPointEntry>& listed = world.session.AccessPoints();
  if (exact) {
    Require(listed == expected, "a discovery lists exactly the real replies, newest first");
    return;
  }
  for (std::size_t i = 0; i < listed.size(); ++i) {
    Require(std::find(repliers.begin(), repliers.end(), listed[i].address) != repliers.end(),
            "a discovery lists only addresses that sent a real reply");
    Require(!listed[i].deviceName.empty(), "a listed access point has a name");
    for (std::size_t k = 0; k < i; ++k) {
      Require(listed[k].address != listed[i].address, "an address is listed once");
    }
  }
}

}  // namespace

// Input: byte 0 picks the request (read group, integer set, address set, discovery); then up
// to 64 datagrams, each a flags byte (bit 0: from the stranger), a 16-bit length (least
// significant byte first) and that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  World& world = TheWorld();
  world.Drain();
  world.prompts.shown.clear();
  world.agent.request.reset();
  world.agent.closing.reset();
  world.agent.script.clear();

  std::size_t at = 1;
  while (at + 3 <= size && world.agent.script.size() < kMaxScript) {
    const bool fromStranger = (data[at] & 1) != 0;
    const std::size_t length =
        std::min<std::size_t>(data[at + 1] | data[at + 2] << 8, size - at - 3);
    at += 3;
    world.agent.script.push_back({fromStranger, Datagram(data + at, data + at + length)});
    at += length;
  }

  switch (data[0] % 4) {
    case 0:
      RunRead(world);
      break;
    case 1:
      RunSet(world, false);
      break;
    case 2:
      RunSet(world, true);
      break;
    default:
      RunDiscovery(world);
      break;
  }
  return 0;
}
