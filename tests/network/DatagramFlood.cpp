// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-datagram-flood: sends a bounded number of damaged and forged SNMPv1 replies (RFC 1157)
// at a manager's socket while the manager talks to real agents. The forgeries start from real
// replies: the flood first asks each agent for its device name and keeps the answers.
//
// Kinds, sent in turn:
//   bit-flip         a real reply with 1 to 8 bits flipped, from the agent's address
//   truncated        a real reply cut short, from the agent's address
//   wrong-id         a real reply re-encoded with a request id the manager never used
//   wrong-community  a real reply with another community and an id from the manager's range
//   wrong-type       a real reply as GetRequest/SetRequest/Trap or SNMPv2c, same id range
//   random           random bytes of random length, some with a sequence header that lies
//   lying-length     a real reply whose length fields claim more than the datagram holds
//   stray            a well-formed GetResponse from an address that is no agent, with an
//                    unused request id
// With --guess-ids N, strays carry request ids 1..N instead: a manager whose ids started at 1
// would take them for answers to its broadcast.
//
// Usage: kelvo-datagram-flood --target ADDR:PORT --agent ADDR:PORT... [--count N]
//                             [--seed S] [--stray-from ADDR]... [--guess-ids N]
// Prints the counts per kind, the time and the rate; exit status 1 when no agent answered.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kGetRequest = 0xA0;
constexpr std::uint8_t kGetResponse = 0xA2;
constexpr std::uint8_t kSetRequest = 0xA3;
constexpr std::uint8_t kTrap = 0xA4;
// The manager's first request id is at most 2^30 + 1 and counts up by one per request, so a
// test run never reaches ids from here up to 2^31 - 1.
constexpr std::uint32_t kUnusedIdBase = (1U << 30) + (1U << 24);
constexpr std::uint32_t kUnusedIdCount = 0x7FFFFFFFU - kUnusedIdBase;
// Where the manager's ids start; forgeries that should fail on another field than the id
// draw theirs from here, as a blind forger would.
constexpr std::uint32_t kManagerIdRange = 1U << 30;
const std::string_view kDeviceNameOid = "1.3.6.1.4.1.15177.1.2.1.10.0";

void AppendLength(Bytes& out, std::size_t length) {
  if (length < 0x80) {
    out.push_back(static_cast<std::uint8_t>(length));
  } else if (length <= 0xFF) {
    out.insert(out.end(), {0x81, static_cast<std::uint8_t>(length)});
  } else {
    out.insert(out.end(), {0x82, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length & 0xFF)});
  }
}

Bytes Tlv(std::uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  AppendLength(out, content.size());
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Integer(std::int64_t value) {
  Bytes content;
  for (int shift = 56; shift > 0; shift -= 8) {
    const std::int64_t top = value >> shift;
    const bool redundant = (top == 0 && ((value >> (shift - 1)) & 1) == 0) ||
                           (top == -1 && ((value >> (shift - 1)) & 1) == 1);
    if (!redundant || !content.empty()) content.push_back(static_cast<std::uint8_t>(top & 0xFF));
  }
  content.push_back(static_cast<std::uint8_t>(value & 0xFF));
  return Tlv(kInteger, content);
}

Bytes Text(std::string_view text) { return Tlv(kOctetString, Bytes(text.begin(), text.end())); }

Bytes Oid(std::string_view dotted) {
  std::vector<std::uint32_t> arcs;
  std::uint32_t arc = 0;
  for (const char c : dotted) {
    if (c == '.') {
      arcs.push_back(arc);
      arc = 0;
    } else {
      arc = arc * 10 + static_cast<std::uint32_t>(c - '0');
    }
  }
  arcs.push_back(arc);
  Bytes content{static_cast<std::uint8_t>(arcs[0] * 40 + arcs[1])};
  for (std::size_t i = 2; i < arcs.size(); ++i) {
    Bytes groups;
    std::uint32_t value = arcs[i];
    do {
      groups.insert(groups.begin(), static_cast<std::uint8_t>(value & 0x7F));
      value >>= 7;
    } while (value != 0);
    for (std::size_t g = 0; g + 1 < groups.size(); ++g) groups[g] |= 0x80;
    content.insert(content.end(), groups.begin(), groups.end());
  }
  return Tlv(0x06, content);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// The fields of a message that the forgeries change; the variable bindings stay as received.
struct Message {
  std::int64_t version = 0;
  std::string community;
  std::uint8_t pduType = kGetResponse;
  std::int64_t requestId = 0;
  std::int64_t errorStatus = 0;
  std::int64_t errorIndex = 0;
  Bytes bindings;  // the whole SEQUENCE OF VarBind, tag included
};

Bytes Encode(const Message& m) {
  const Bytes pdu = Tlv(m.pduType, Concat({Integer(m.requestId), Integer(m.errorStatus),
                                           Integer(m.errorIndex), m.bindings}));
  return Tlv(kSequence, Concat({Integer(m.version), Text(m.community), pdu}));
}

// A bounds-checked reader of the few definite-length TLVs a reply is made of.
class Reader {
 public:
  explicit Reader(const Bytes& data) : data_(data) {}
  // The next TLV's tag and content span; nullopt past the end or on a bad length.
  std::optional<std::pair<std::uint8_t, std::pair<std::size_t, std::size_t>>> Next() {
    if (position_ + 2 > data_.size()) return std::nullopt;
    const std::uint8_t tag = data_[position_++];
    std::size_t length = data_[position_++];
    if (length & 0x80) {
      const std::size_t count = length & 0x7F;
      if (count == 0 || count > 2 || position_ + count > data_.size()) return std::nullopt;
      length = 0;
      for (std::size_t i = 0; i < count; ++i) length = length << 8 | data_[position_++];
    }
    if (position_ + length > data_.size()) return std::nullopt;
    const std::size_t begin = position_;
    return std::pair{tag, std::pair{begin, length}};
  }
  void Skip(std::size_t length) { position_ += length; }
  std::size_t Position() const { return position_; }

 private:
  const Bytes& data_;
  std::size_t position_ = 0;
};

std::int64_t IntegerAt(const Bytes& data, std::size_t begin, std::size_t length) {
  std::int64_t value = length > 0 && (data[begin] & 0x80) ? -1 : 0;
  for (std::size_t i = 0; i < length; ++i) value = value * 256 + data[begin + i];
  return value;
}

std::optional<Message> Decode(const Bytes& data) {
  Reader reader(data);
  Message m;
  const auto outer = reader.Next();
  if (!outer || outer->first != kSequence) return std::nullopt;
  const auto version = reader.Next();
  if (!version || version->first != kInteger) return std::nullopt;
  m.version = IntegerAt(data, version->second.first, version->second.second);
  reader.Skip(version->second.second);
  const auto community = reader.Next();
  if (!community || community->first != kOctetString) return std::nullopt;
  m.community.assign(
      data.begin() + static_cast<long>(community->second.first),
      data.begin() + static_cast<long>(community->second.first + community->second.second));
  reader.Skip(community->second.second);
  const auto pdu = reader.Next();
  if (!pdu) return std::nullopt;
  m.pduType = pdu->first;
  std::int64_t* fields[] = {&m.requestId, &m.errorStatus, &m.errorIndex};
  for (std::int64_t* field : fields) {
    const auto value = reader.Next();
    if (!value || value->first != kInteger) return std::nullopt;
    *field = IntegerAt(data, value->second.first, value->second.second);
    reader.Skip(value->second.second);
  }
  m.bindings.assign(data.begin() + static_cast<long>(reader.Position()), data.end());
  return m;
}

struct Endpoint {
  sockaddr_in address{};
  std::string text;
};

std::optional<Endpoint> ParseEndpoint(std::string_view text) {
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  Endpoint endpoint;
  endpoint.text = std::string(text);
  endpoint.address.sin_family = AF_INET;
  const std::string host(text.substr(0, colon));
  if (::inet_pton(AF_INET, host.c_str(), &endpoint.address.sin_addr) != 1) return std::nullopt;
  endpoint.address.sin_port =
      htons(static_cast<std::uint16_t>(std::stoi(std::string(text.substr(colon + 1)))));
  return endpoint;
}

int BoundSocket(in_addr address) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = address;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Asks the agent for its device name; the reply is the seed of every forgery from it.
std::optional<Bytes> FetchRealReply(const Endpoint& agent) {
  const int fd = BoundSocket(in_addr{htonl(INADDR_LOOPBACK)});
  if (fd < 0) return std::nullopt;
  Message request;
  request.community = "tundra";
  request.pduType = kGetRequest;
  request.requestId = 0x4B454C;
  request.bindings = Tlv(kSequence, Tlv(kSequence, Concat({Oid(kDeviceNameOid), {0x05, 0x00}})));
  const Bytes packet = Encode(request);
  std::optional<Bytes> reply;
  for (int attempt = 0; attempt < 5 && !reply; ++attempt) {
    ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&agent.address),
             sizeof agent.address);
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 500) <= 0) continue;
    Bytes buffer(2048);
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n <= 0) continue;
    buffer.resize(static_cast<std::size_t>(n));
    if (Decode(buffer)) reply = std::move(buffer);
  }
  ::close(fd);
  return reply;
}

enum Kind {
  kBitFlip,
  kTruncated,
  kWrongId,
  kWrongCommunity,
  kWrongType,
  kRandom,
  kLyingLength,
  kStray,
  kKinds
};
constexpr std::array<std::string_view, kKinds> kKindNames = {
    "bit-flip",   "truncated", "wrong-id",     "wrong-community",
    "wrong-type", "random",    "lying-length", "stray"};

struct Agent {
  Endpoint endpoint;
  Bytes reply;
  Message decoded;
  int fd = -1;  // bound to the agent's address, so that the forgery passes a source check
};

}  // namespace

int main(int argc, char** argv) {
  std::optional<Endpoint> target;
  std::vector<Agent> agents;
  std::vector<std::string> strayAddresses;
  std::uint64_t count = 1'000'000;
  std::uint32_t guessIds = 0;
  std::uint64_t seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--target") {
      target = ParseEndpoint(value);
    } else if (name == "--agent") {
      auto endpoint = ParseEndpoint(value);
      if (!endpoint) break;
      agents.push_back({*endpoint, {}, {}, -1});
    } else if (name == "--count") {
      count = std::stoull(value);
    } else if (name == "--seed") {
      seed = std::stoull(value);
    } else if (name == "--stray-from") {
      strayAddresses.push_back(value);
    } else if (name == "--guess-ids") {
      guessIds = static_cast<std::uint32_t>(std::stoul(value));
    }
  }
  if (!target || agents.empty()) {
    std::cerr << "usage: kelvo-datagram-flood --target ADDR:PORT --agent ADDR:PORT... "
                 "[--count N] [--seed S] [--stray-from ADDR]... [--guess-ids N]\n";
    return 2;
  }
  if (strayAddresses.empty()) strayAddresses = {"127.0.0.66", "127.0.0.77"};

  for (Agent& agent : agents) {
    auto reply = FetchRealReply(agent.endpoint);
    if (!reply) {
      std::cerr << "flood: no reply from " << agent.endpoint.text << '\n';
      return 1;
    }
    agent.reply = std::move(*reply);
    agent.decoded = *Decode(agent.reply);
    agent.fd = BoundSocket(agent.endpoint.address.sin_addr);
    if (agent.fd < 0) {
      std::cerr << "flood: cannot bind to " << agent.endpoint.text << '\n';
      return 1;
    }
  }
  std::vector<int> strayFds;
  for (const std::string& address : strayAddresses) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return 2;
    const int fd = BoundSocket(parsed);
    if (fd < 0) {
      std::cerr << "flood: cannot bind to " << address << '\n';
      return 1;
    }
    strayFds.push_back(fd);
  }

  std::mt19937_64 random(seed);
  auto below = [&](std::uint64_t limit) { return limit == 0 ? 0 : random() % limit; };
  std::array<std::uint64_t, kKinds> sent{};
  std::uint64_t sendErrors = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t i = 0; i < count; ++i) {
    const auto kind = static_cast<Kind>(i % kKinds);
    Agent& agent = agents[below(agents.size())];
    int fd = agent.fd;
    Bytes packet;
    Message m = agent.decoded;
    switch (kind) {
      case kBitFlip: {
        packet = agent.reply;
        const auto flips = 1 + below(8);
        for (std::uint64_t f = 0; f < flips; ++f) {
          packet[below(packet.size())] ^= static_cast<std::uint8_t>(1U << below(8));
        }
        break;
      }
      case kTruncated:
        packet.assign(agent.reply.begin(),
                      agent.reply.begin() + static_cast<long>(below(agent.reply.size())));
        break;
      case kWrongId:
        m.requestId = kUnusedIdBase + static_cast<std::int64_t>(below(kUnusedIdCount));
        packet = Encode(m);
        break;
      case kWrongCommunity: {
        static constexpr std::array<std::string_view, 5> kCommunities = {"public", "Tundra",
                                                                         "tundra ", "", "tundr"};
        m.community = std::string(kCommunities[below(kCommunities.size())]);
        m.requestId = 1 + static_cast<std::int64_t>(below(kManagerIdRange));
        packet = Encode(m);
        break;
      }
      case kWrongType: {
        static constexpr std::array<std::uint8_t, 4> kTypes = {kGetRequest, kSetRequest, kTrap,
                                                               kGetResponse};
        m.pduType = kTypes[below(kTypes.size())];
        // The last choice keeps the response type but claims SNMPv2c.
        if (m.pduType == kGetResponse) m.version = 1;
        m.requestId = 1 + static_cast<std::int64_t>(below(kManagerIdRange));
        packet = Encode(m);
        break;
      }
      case kRandom: {
        packet.resize(below(1473));
        for (auto& byte : packet) byte = static_cast<std::uint8_t>(random());
        if (packet.size() > 4 && below(2) == 0) {
          packet[0] = kSequence;
          packet[1] = 0x82;
        }
        break;
      }
      case kLyingLength: {
        packet = agent.reply;
        // The outer sequence (or, on odd turns, the first inner field) claims far more.
        const std::size_t at = below(2) == 0 ? 1 : 3;
        if (at < packet.size()) packet[at] = static_cast<std::uint8_t>(0x80 | (1 + below(4)));
        if (below(2) == 0) packet.insert(packet.begin() + 2, {0xFF, 0xFF, 0xFF, 0xFF});
        break;
      }
      case kStray:
        fd = strayFds[below(strayFds.size())];
        m.community = "tundra";
        m.requestId = guessIds > 0
                          ? 1 + static_cast<std::int64_t>(below(guessIds))
                          : kUnusedIdBase + static_cast<std::int64_t>(below(kUnusedIdCount));
        m.bindings =
            Tlv(kSequence, Tlv(kSequence, Concat({Oid(kDeviceNameOid), Text("intruder")})));
        packet = Encode(m);
        break;
      case kKinds:
        break;
    }
    if (::sendto(fd, packet.data(), packet.size(), 0,
                 reinterpret_cast<const sockaddr*>(&target->address), sizeof target->address) < 0) {
      ++sendErrors;
    }
    ++sent[kind];
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "flood: " << count << " datagrams to " << target->text << " in " << seconds << " s ("
            << static_cast<std::uint64_t>(static_cast<double>(count) / seconds)
            << "/s), send errors " << sendErrors << '\n';
  for (std::size_t k = 0; k < kKinds; ++k) {
    std::cout << "flood:   " << kKindNames[k] << ' ' << sent[k] << '\n';
  }
  for (const Agent& agent : agents) ::close(agent.fd);
  for (const int fd : strayFds) ::close(fd);
  return 0;
}
