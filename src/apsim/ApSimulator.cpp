// SPDX-License-Identifier: GPL-2.0-or-later
#include "ApSimulator.h"

#include <algorithm>

#include "DeviceVariation.h"

namespace kelvo::apsim {
namespace {

// A long demo run must not grow without bound; the oldest lines go first.
constexpr std::size_t kLogLimit = 100'000;

std::string PduName(PduType type) {
  switch (type) {
    case PduType::GetRequest:
      return "get";
    case PduType::SetRequest:
      return "set";
    case PduType::GetNextRequest:
      return "getnext";
    default:
      return "other";
  }
}

// The log is one line per variable, so control characters would break it.
std::string Printable(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return result;
}

// Where an UpgradeServerAddress set with the write community carries the variable.
std::optional<std::size_t> UpgradeServerAddressAt(const SnmpPdu& request, const ApDevice& device) {
  if (request.type != PduType::SetRequest || request.community != device.WriteCommunity()) {
    return std::nullopt;
  }
  const std::string oid = mib::FullOid(mib::Variable::UpgradeServerAddress);
  for (std::size_t i = 0; i < request.variables.size(); ++i) {
    if (FormatObjectId(request.variables[i].name) == oid) return i;
  }
  return std::nullopt;
}

std::uint32_t HostOrder(const std::vector<std::uint8_t>& address) {
  std::uint32_t value = 0;
  for (const std::uint8_t byte : address) value = value << 8 | byte;
  return value;
}

}  // namespace

ApSimulator::ApSimulator(const SimulatorSettings& settings)
    : broadcastAddresses_(settings.broadcastAddresses), random_(settings.seed) {
  aps_.reserve(static_cast<std::size_t>(settings.count));
  for (int i = 0; i < settings.count; ++i) {
    const auto address = settings.firstAddress + static_cast<std::uint32_t>(i);
    ApDevice device = settings.vary
                          ? MakeVariedDevice(i + 1, address, settings.password, settings.seed)
                          : ApDevice(i + 1, address, settings.password);
    device.ConfigureCounters(settings.counters);
    aps_.emplace_back(std::move(device), settings);
  }
}

std::optional<std::size_t> ApSimulator::FindByAddress(std::uint32_t address) const {
  for (std::size_t i = 0; i < aps_.size(); ++i) {
    if (aps_[i].device.Address() == address) return i;
  }
  return std::nullopt;
}

void ApSimulator::SetFault(std::size_t ap, const Fault& fault) {
  aps_[ap].fault = fault;
  aps_[ap].rebootRequests = 0;
  aps_[ap].rebootDown.reset();
}

bool ApSimulator::RebootLetsThrough(Ap& ap, SimTime now) {
  if (ap.fault.kind != Fault::Kind::Reboot) return true;
  if (!ap.rebootDown) {
    if (ap.rebootRequests < ap.fault.rebootAfter) {
      ++ap.rebootRequests;
      return true;
    }
    ap.rebootDown = now;
  }
  if (ap.fault.rebootDownMs < 0 || now - *ap.rebootDown < SimTime(ap.fault.rebootDownMs)) {
    return false;
  }
  // Back up: the device answers as before the fault.
  ap.fault = Fault{};
  ap.rebootDown.reset();
  return true;
}

void ApSimulator::SpoilReply(const Fault& fault, SnmpPdu& response) {
  std::vector<VarBind>& variables = response.variables;
  switch (fault.kind) {
    case Fault::Kind::Varbinds:
      if (fault.varbindDelta < 0) {
        const auto cut = std::min(variables.size(), static_cast<std::size_t>(-fault.varbindDelta));
        variables.resize(variables.size() - cut);
      } else {
        // Extra variables under the last one's name, so they look like the device's own.
        const ObjectId base =
            variables.empty() ? ObjectId{1, 3, 6, 1, 4, 1, 15177, 99} : variables.back().name;
        for (int i = 1; i <= fault.varbindDelta; ++i) {
          ObjectId name = base;
          name.push_back(static_cast<std::uint32_t>(i));
          variables.push_back({std::move(name), SnmpValue::Integer(i)});
        }
      }
      break;
    case Fault::Kind::WrongType:
      for (VarBind& bind : variables) {
        if (bind.value.tag == ValueTag::Integer) {
          bind.value = SnmpValue::Text(std::to_string(bind.value.integer));
        } else if (bind.value.tag == ValueTag::OctetString) {
          bind.value = SnmpValue::Integer(static_cast<long>(bind.value.bytes.size()));
        }
      }
      break;
    case Fault::Kind::Octets:
      for (VarBind& bind : variables) {
        if (bind.value.tag != ValueTag::OctetString) continue;
        std::vector<std::uint8_t>& bytes = bind.value.bytes;
        if (fault.octetsDelta < 0) {
          bytes.resize(bytes.size() -
                       std::min(bytes.size(), static_cast<std::size_t>(-fault.octetsDelta)));
        } else {
          bytes.insert(bytes.end(), static_cast<std::size_t>(fault.octetsDelta), '#');
        }
      }
      break;
    case Fault::Kind::RequestId:
      // Request ids are 32-bit on the wire; wrap rather than overflow.
      response.requestId =
          static_cast<std::int32_t>(static_cast<std::uint32_t>(response.requestId) +
                                    static_cast<std::uint32_t>(fault.requestIdDelta));
      break;
    default:
      break;
  }
}

void ApSimulator::ClearLog(std::size_t ap) {
  aps_[ap].log.clear();
  aps_[ap].requests = 0;
}

std::vector<OutgoingReply> ApSimulator::HandleDatagram(std::span<const std::uint8_t> packet,
                                                       std::uint32_t destination,
                                                       std::uint32_t source,
                                                       std::uint16_t sourcePort, SimTime now) {
  std::vector<OutgoingReply> replies;
  std::vector<std::size_t> targets;
  if (std::find(broadcastAddresses_.begin(), broadcastAddresses_.end(), destination) !=
      broadcastAddresses_.end()) {
    for (std::size_t i = 0; i < aps_.size(); ++i) targets.push_back(i);
  } else if (const auto ap = FindByAddress(destination)) {
    targets.push_back(*ap);
  }
  if (targets.empty()) return replies;

  // Anything that is not an SNMPv1 message is ignored, as by the device's agent.
  const auto request = DecodePdu(packet);
  if (!request) return replies;
  for (const std::size_t ap : targets) {
    if (auto reply = Answer(ap, *request, source, sourcePort, now)) {
      replies.push_back(std::move(*reply));
    }
  }
  return replies;
}

void ApSimulator::Record(Ap& ap, const SnmpPdu& request) {
  ++ap.requests;
  for (const VarBind& bind : request.variables) {
    ap.log.push_back({ap.requests, PduName(request.type), Printable(request.community),
                      FormatObjectId(bind.name), DescribeValue(bind.value)});
  }
  while (ap.log.size() > kLogLimit) ap.log.pop_front();
}

std::optional<OutgoingReply> ApSimulator::Answer(std::size_t index, const SnmpPdu& request,
                                                 std::uint32_t source, std::uint16_t sourcePort,
                                                 SimTime now) {
  Ap& ap = aps_[index];
  // Every request that reaches an access point is logged, including those it then ignores.
  Record(ap, request);

  if (now < ap.upAgain) return std::nullopt;
  if (!RebootLetsThrough(ap, now)) return std::nullopt;
  const Fault& fault = ap.fault;
  if (fault.kind == Fault::Kind::Silent) return std::nullopt;
  if (fault.kind == Fault::Kind::Drop &&
      std::uniform_int_distribution<int>(0, 99)(random_) < fault.dropPercent) {
    return std::nullopt;
  }

  const auto upgradeAt = UpgradeServerAddressAt(request, ap.device);
  // The reply leaves from here even when a restart moves the device.
  const std::uint32_t address = ap.device.Address();
  std::optional<AgentReply> answer;
  if (fault.kind == Fault::Kind::Error) {
    if (ap.device.Answers(request)) {
      answer.emplace();
      answer->errorStatus = fault.errorStatus;
      answer->errorIndex = fault.errorIndex;
      answer->variables = request.variables;
    }
  } else if (upgradeAt && ap.upgrade.state == UpgradeRecord::State::Fetching) {
    // The device loads one image at a time; the running download goes on undisturbed.
    answer.emplace();
    answer->errorStatus = kGenErr;
    answer->errorIndex = static_cast<long>(*upgradeAt + 1);
    answer->variables = request.variables;
  } else {
    answer = ap.device.Handle(request, now);
  }
  if (!answer) return std::nullopt;
  if (answer->restarted) Restarted(ap, now);
  if (fault.kind == Fault::Kind::IgnoreReset && request.type == PduType::SetRequest &&
      std::any_of(request.variables.begin(), request.variables.end(), [](const auto& bind) {
        return FormatObjectId(bind.name) == mib::FullOid(mib::Variable::SystemRestart);
      })) {
    return std::nullopt;
  }

  SnmpPdu response;
  response.type = PduType::GetResponse;
  response.community = request.community;
  response.requestId = request.requestId;
  response.errorStatus = answer->errorStatus;
  response.errorIndex = answer->errorIndex;
  response.variables = std::move(answer->variables);
  SpoilReply(fault, response);
  auto packet = EncodePdu(response);
  if (!packet) return std::nullopt;

  std::optional<UpgradeFetch> upgrade;
  if (upgradeAt && response.errorStatus == kNoError) {
    // The value was applied; the answer waits for the image.
    upgrade.emplace();
    upgrade->server = HostOrder(request.variables[*upgradeAt].value.bytes);
    upgrade->tftp = ap.tftp;
    response.errorStatus = kGenErr;
    response.errorIndex = static_cast<long>(*upgradeAt + 1);
    response.variables = request.variables;
    auto failure = EncodePdu(response);
    if (!failure) return std::nullopt;
    upgrade->failurePacket = std::move(*failure);
    ap.upgrade = UpgradeRecord{UpgradeRecord::State::Fetching, 0, {}, {}, {}};
  }

  OutgoingReply reply;
  reply.ap = index;
  reply.from = fault.kind == Fault::Kind::From ? fault.replyFrom : address;
  reply.to = source;
  reply.toPort = sourcePort;
  reply.packet = std::move(*packet);
  if (fault.kind == Fault::Kind::Delay) reply.delay = std::chrono::milliseconds(fault.delayMs);
  reply.newWriteCommunity = std::move(answer->newWriteCommunity);
  reply.upgrade = std::move(upgrade);
  return reply;
}

void ApSimulator::UpgradeSucceeded(std::size_t ap, std::vector<std::uint8_t> image,
                                   std::string file) {
  UpgradeRecord& record = aps_[ap].upgrade;
  record.state = UpgradeRecord::State::Done;
  record.bytes = image.size();
  record.image = std::move(image);
  record.file = std::move(file);
  record.reason.clear();
}

void ApSimulator::UpgradeFailed(std::size_t ap, std::string reason, std::uint64_t bytes) {
  aps_[ap].upgrade = UpgradeRecord{UpgradeRecord::State::Failed, bytes, {}, {}, std::move(reason)};
}

bool ApSimulator::TestDatagramReceived(std::uint32_t destination) {
  const auto ap = FindByAddress(destination);
  return ap && aps_[*ap].device.TestDatagramReceived();
}

void ApSimulator::ReplySent(const OutgoingReply& reply, SimTime now) {
  if (reply.ap >= aps_.size()) return;
  Ap& ap = aps_[reply.ap];
  if (reply.newWriteCommunity) ap.device.SetWriteCommunity(*reply.newWriteCommunity);
  if (reply.restarts) {
    if (ap.upgradeFirmware) ap.device.InstallFirmware(*ap.upgradeFirmware);
    ap.device.Restart(now);
    Restarted(ap, now);
  }
}

}  // namespace kelvo::apsim
