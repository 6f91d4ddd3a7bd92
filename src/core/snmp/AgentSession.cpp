// SPDX-License-Identifier: GPL-2.0-or-later
#include "snmp/AgentSession.h"

#include <algorithm>
#include <cerrno>

namespace kelvo::snmp {
namespace {

constexpr int kReadTimeoutMs = 2000;
constexpr int kListenTimeoutMs = 1000;
constexpr int kSingleSetTimeoutMs = 2000;
constexpr int kServerAddressTimeoutMs = 60000;

int WriteTimeoutMs(mib::Group group) {
  switch (group) {
    case mib::Group::Wireless:
      return 3000;
    case mib::Group::Security:
      return 15000;
    default:
      return 2000;
  }
}

}  // namespace

AgentSession::AgentSession(std::unique_ptr<SnmpComponent> component, ui::Prompter& prompter,
                           ui::BusyIndicator& busy)
    : component_(std::move(component)), prompter_(prompter), busy_(busy) {
  component_->SetListener(this);
}

AgentSession::~AgentSession() { component_->SetListener(nullptr); }

void AgentSession::AttachGroup(mib::Group group, AgentGroup* handler) {
  groups_.at(static_cast<std::size_t>(group)) = handler;
}

AgentGroup* AgentSession::Handler(mib::Group group) const {
  return groups_.at(static_cast<std::size_t>(group));
}

void AgentSession::ShowError(std::string_view text) {
  prompter_.ShowMessage(text, ui::kApplicationCaption, ui::MessageIcon::Error);
}

void AgentSession::SetStatusText(std::string_view text) {
  statusText_ = std::string(text);
  if (observer_ != nullptr) observer_->StatusTextChanged(statusText_);
}

void AgentSession::BeginRequest(PduType type, std::string_view community) {
  SnmpMessage& message = component_->Message();
  message.Clear();
  message.SetType(type);
  message.SetCommunity(std::string(community));
}

SnmpStatus AgentSession::SendBuilt(const std::string& host, int timeoutMs) {
  if (readOnly_ && component_->Message().Type() == PduType::SetRequest) {
    return SnmpFailure{SnmpFailure::Kind::Send, 0, "a read-only session sends no SetRequest"};
  }
  component_->SetRemoteHost(host);
  component_->SetTimeout(timeoutMs);
  component_->SetRemotePort(agentPort_);
  return component_->Send();
}

void AgentSession::ReadGroup(mib::Group group, const std::string& host) {
  discovering_ = false;
  ui::BusyScope busy(busy_);
  SetStatusText(messages::kGettingOids);

  AgentGroup* handler = Handler(group);
  BeginRequest(PduType::GetRequest, kReadCommunity);
  if (handler != nullptr) {
    for (const std::string& oid : handler->ReadIdentifiers()) AddGetVariable(oid);
  }
  if (!SendBuilt(host, kReadTimeoutMs)) {
    if (!quiet_) ShowError(messages::kTimeout);
    return;
  }
  // The reply's values are taken even when the agent reported an error.
  if (handler != nullptr && !handler->Extract(*this) && group != mib::Group::Statistics) {
    ShowError(messages::kExtractError);
  }
  if (component_->Message().ErrorStatus() != 0 && !quiet_) ShowError(messages::kGetError);
}

bool AgentSession::WriteGroup(mib::Group group, const std::string& host) {
  AgentGroup* handler = Handler(group);
  BeginRequest(PduType::SetRequest, writeCommunity_);
  if (handler != nullptr && group != mib::Group::Statistics) handler->BuildWrite(*this);
  if (!SendBuilt(host, WriteTimeoutMs(group))) {
    ShowError(messages::kTimeout);
    return false;
  }
  if (component_->Message().ErrorStatus() != 0) {
    ShowError(messages::kSetError);
    return false;
  }
  if (group == mib::Group::System && handler != nullptr) {
    if (auto password = handler->NewWriteCommunity()) writeCommunity_ = std::move(*password);
  }
  return true;
}

bool AgentSession::SetSingleValue(SetKind kind, const std::string& host, const std::string& oid,
                                  const std::string& value) {
  const int timeoutMs = kind == SetKind::Integer ? kSingleSetTimeoutMs : kServerAddressTimeoutMs;
  BeginRequest(PduType::SetRequest, writeCommunity_);
  auto variable = SnmpVariable::ForSet(
      oid, kind == SetKind::Integer ? SetType::Integer : SetType::IpAddress, value);
  // A value the component cannot take fails like a request that got no reply.
  if (variable) component_->Message().Add(std::move(*variable));
  if (!variable || !SendBuilt(host, timeoutMs)) {
    prompter_.ShowMessage(messages::kResetWait, ui::kApplicationCaption, ui::MessageIcon::None);
    return false;
  }
  if (component_->Message().ErrorStatus() != 0) {
    if (kind == SetKind::Integer) ShowError(messages::kSetError);
    return false;
  }
  return true;
}

void AgentSession::AddGetVariable(std::string_view oid) {
  auto variable = SnmpVariable::ForGet(oid);
  if (!variable) {
    ShowError(messages::kAddVariableError);
    return;
  }
  component_->Message().Add(std::move(*variable));
}

void AgentSession::AddSetVariable(std::string_view oid, SetType type, std::string_view text) {
  AddBuilt(oid, SnmpVariable::ForSet(oid, type, text));
}

void AgentSession::AddSetVariable(std::string_view oid, std::span<const std::uint8_t> bytes) {
  AddBuilt(oid,
           SnmpVariable::ForSetBytes(oid, std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
}

void AgentSession::AddBuilt(std::string_view oid, std::optional<SnmpVariable> variable) {
  if (!variable) {
    unbuilt_.emplace_back(oid);
    ShowError(messages::kSetVariableError);
    return;
  }
  component_->Message().Add(std::move(*variable));
}

std::optional<std::string> AgentSession::ResponseValueText(std::size_t position) const {
  const SnmpVariable* variable = component_->Message().Item(position);
  if (variable == nullptr) return std::nullopt;
  return variable->Text();
}

std::optional<std::vector<std::uint8_t>> AgentSession::ResponseValueBytes(
    std::size_t position) const {
  const SnmpVariable* variable = component_->Message().Item(position);
  if (variable == nullptr || !variable->HasBytes()) return std::nullopt;
  return variable->Bytes();
}

bool AgentSession::StartListening() {
  if (component_->Listening()) return true;
  discovering_ = false;
  component_->SetTimeout(kListenTimeoutMs);
  const SnmpStatus status = component_->Listen(listenPort_, "");
  if (!status) {
    ShowError(status.Failure().systemError == EADDRINUSE ? messages::kPortInUse
                                                         : messages::kNotListening);
    return false;
  }
  return true;
}

void AgentSession::ClearAccessPoints() {
  accessPoints_.clear();
  if (observer_ != nullptr) observer_->AccessPointsChanged();
}

void AgentSession::Discover() {
  ClearAccessPoints();
  ui::BusyScope busy(busy_);
  discovering_ = true;

  std::vector<std::string> targets = discoveryTargets_;
  if (targets.empty()) {
    // The limited broadcast stays on the interface of the default route; the directed
    // broadcasts reach the other segments of a multi-homed machine.
    targets.emplace_back(kLimitedBroadcast);
    for (auto& address : SnmpComponent::InterfaceBroadcastAddresses()) {
      if (std::find(targets.begin(), targets.end(), address) == targets.end()) {
        targets.push_back(std::move(address));
      }
    }
  }
  component_->SetTimeout(0);
  BeginRequest(PduType::GetRequest, kReadCommunity);
  AddGetVariable(mib::FullOid(mib::Variable::DeviceName));
  component_->SetRemoteHost(targets.front());
  component_->SetRemotePort(agentPort_);
  if (!component_->SendToAll(targets)) ShowError(messages::kTimeout);
}

void AgentSession::ReplyReceived() {
  if (!discovering_) return;
  const auto name = ResponseValueText(1);
  if (!name || name->empty()) return;
  const std::string& address = component_->RemoteHost();
  const bool listed =
      std::any_of(accessPoints_.begin(), accessPoints_.end(),
                  [&](const AccessPointEntry& row) { return row.address == address; });
  if (listed) return;
  accessPoints_.insert(accessPoints_.begin(), AccessPointEntry{address, *name});
  if (observer_ != nullptr) observer_->AccessPointsChanged();
}

void AgentSession::ErrorReported(int /*code*/, std::string_view /*description*/) {
  if (component_->Timeout() == 0 && !networkMessageSuppressed_) {
    ShowError(messages::kNetworkUnavailable);
  }
}

}  // namespace kelvo::snmp
