// SPDX-License-Identifier: GPL-2.0-or-later
// AgentSession: the one object through which every read and write to an access point's agent
// passes, with the communities, the session flags, discovery and the listening port. Every
// operation runs on the user-interface thread and blocks it for at most its time-out.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mib/MibVariables.h"
#include "snmp/SnmpComponent.h"
#include "ui/Prompter.h"

namespace kelvo::snmp {

class AgentSession;

// The fixed texts of the agent requests.
namespace messages {
inline constexpr std::string_view kTimeout =
    "Snmp Time out!  Please check your network is available and Agent was not be shutdown...";
inline constexpr std::string_view kGetError = "Snmp get error! Please retry again.";
inline constexpr std::string_view kSetError =
    "Snmp set to Agent error! Check your password and retry again.";
inline constexpr std::string_view kNetworkUnavailable =
    "Please check your network is available!( timeout=0)";
inline constexpr std::string_view kAddVariableError =
    "Snmp add variable error! Please retry again.";
inline constexpr std::string_view kExtractError =
    "Snmp extract vairable error! Please retry again.";
inline constexpr std::string_view kSetVariableError =
    "Snmp set variable error! Please retry again.";
inline constexpr std::string_view kResetWait = "Reset device, please wait a moment......";
inline constexpr std::string_view kPortInUse =
    "Port 162 is in use. Check to see if another manager is running, then restart this one.";
inline constexpr std::string_view kNotListening = "Undetermined Error! Not Listening.";
inline constexpr std::string_view kGettingOids = "Getting OIDs ...";
}  // namespace messages

inline constexpr std::string_view kReadCommunity = "tundra";
inline constexpr std::string_view kLimitedBroadcast = "255.255.255.255";

// A read or write group as the session sends it: which variables a read asks for, how the
// reply lands in the pages, and how a write adds its variables.
class AgentGroup {
 public:
  virtual ~AgentGroup() = default;
  // The object identifiers of the read, in request order.
  virtual std::vector<std::string> ReadIdentifiers() const = 0;
  // Takes the reply's variables (read by variable through mib::GroupReply) into the pages.
  // Returns false when a variable could not be read; the values taken before it stay.
  virtual bool Extract(AgentSession& session) = 0;
  // Adds the write's variables with AddSetVariable, in request order.
  virtual void BuildWrite(AgentSession& session) = 0;
  // The new administrator password the write carries, if any; it becomes the write community
  // once the write succeeded.
  virtual std::optional<std::string> NewWriteCommunity() const { return std::nullopt; }
};

// One row of the access point list.
struct AccessPointEntry {
  std::string address;
  std::string deviceName;
  friend bool operator==(const AccessPointEntry&, const AccessPointEntry&) = default;
};

// What the main window shows of the session; called on the user-interface thread.
class AgentSessionObserver {
 public:
  virtual ~AgentSessionObserver() = default;
  virtual void StatusTextChanged(std::string_view /*text*/) {}
  virtual void AccessPointsChanged() {}
};

enum class SetKind { Integer = 1, IpAddress = 2 };

class AgentSession final : private SnmpComponentListener {
 public:
  AgentSession(std::unique_ptr<SnmpComponent> component, ui::Prompter& prompter,
               ui::BusyIndicator& busy);
  ~AgentSession() override;
  AgentSession(const AgentSession&) = delete;
  AgentSession& operator=(const AgentSession&) = delete;

  SnmpComponent& Component() { return *component_; }
  void SetObserver(AgentSessionObserver* observer) { observer_ = observer; }

  // Ports: the agent's (161 on real devices) and the one StartListening binds (161).
  void SetAgentPort(std::uint16_t port) { agentPort_ = port; }
  std::uint16_t AgentPort() const { return agentPort_; }
  void SetListenPort(std::uint16_t port) { listenPort_ = port; }
  // Where Discover sends; empty means the limited broadcast and every interface's directed
  // broadcast.
  void SetDiscoveryTargets(std::vector<std::string> targets) {
    discoveryTargets_ = std::move(targets);
  }

  // The session does not own the groups.
  void AttachGroup(mib::Group group, AgentGroup* handler);
  AgentGroup* Handler(mib::Group group) const;

  const std::string& WriteCommunity() const { return writeCommunity_; }
  void SetWriteCommunity(std::string community) { writeCommunity_ = std::move(community); }
  // Quiet: a failed read shows no message (the Statistic page's polling).
  bool Quiet() const { return quiet_; }
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  bool NetworkMessageSuppressed() const { return networkMessageSuppressed_; }
  void SetNetworkMessageSuppressed(bool value) { networkMessageSuppressed_ = value; }
  bool Discovering() const { return discovering_; }
  const std::string& StatusText() const { return statusText_; }
  bool ResetNeeded() const { return resetNeeded_; }
  void SetResetNeeded(bool value) { resetNeeded_ = value; }
  bool Authorised() const { return authorised_; }
  // Read-only: every SetRequest fails as unsent, so that a rehearsal cannot change a device.
  // Whatever asks for a write sees it fail as a request that got no reply.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  void SetAuthorised(bool value) { authorised_ = value; }

  // The operations of the agent requests.
  void ReadGroup(mib::Group group, const std::string& host);
  [[nodiscard]] bool WriteGroup(mib::Group group, const std::string& host);
  [[nodiscard]] bool SetSingleValue(SetKind kind, const std::string& host, const std::string& oid,
                                    const std::string& value);
  void AddGetVariable(std::string_view oid);
  // Adds a variable valued by text (integers in decimal, addresses dotted), or an octet string
  // of raw bytes. A value the message cannot take is reported and left out.
  void AddSetVariable(std::string_view oid, SetType type, std::string_view text);
  void AddSetVariable(std::string_view oid, std::span<const std::uint8_t> bytes);
  // The identifiers that AddSetVariable could not build (and so left out of their request), in
  // order, since the session began or the list was last cleared.
  const std::vector<std::string>& UnbuiltVariables() const { return unbuilt_; }
  void ClearUnbuiltVariables() { unbuilt_.clear(); }
  // nullopt when the last reply has no variable at that position (1-based).
  std::optional<std::string> ResponseValueText(std::size_t position) const;
  std::optional<std::vector<std::uint8_t>> ResponseValueBytes(std::size_t position) const;

  // Binds the component to the listening port; reports a failure and returns false.
  [[nodiscard]] bool StartListening();

  // Empties the access point list and broadcasts the DeviceName request; replies are listed
  // as they arrive (newest first) for as long as the discovering flag stays 1.
  void Discover();
  const std::vector<AccessPointEntry>& AccessPoints() const { return accessPoints_; }
  void ClearAccessPoints();

  // Sends a request built with AddGetVariable/AddSetVariable: the common steps of every
  // request after the variables were added. Used by the operations of other modules
  // (authorised table, test variables) that make their own requests.
  [[nodiscard]] SnmpStatus SendBuilt(const std::string& host, int timeoutMs);
  // Starts a request: clears the message, sets type and community.
  void BeginRequest(PduType type, std::string_view community);

  ui::Prompter& Prompter() { return prompter_; }

 private:
  void AddBuilt(std::string_view oid, std::optional<SnmpVariable> variable);
  void ReplyReceived() override;
  void ErrorReported(int code, std::string_view description) override;
  void ShowError(std::string_view text);
  void SetStatusText(std::string_view text);

  std::unique_ptr<SnmpComponent> component_;
  ui::Prompter& prompter_;
  ui::BusyIndicator& busy_;
  AgentSessionObserver* observer_ = nullptr;
  std::array<AgentGroup*, 6> groups_{};

  std::uint16_t agentPort_ = 161;
  std::uint16_t listenPort_ = 161;
  std::vector<std::string> discoveryTargets_;

  std::string writeCommunity_;
  bool quiet_ = false;
  bool networkMessageSuppressed_ = false;
  bool discovering_ = false;
  bool resetNeeded_ = false;
  bool authorised_ = false;
  bool readOnly_ = false;
  std::string statusText_;
  std::vector<AccessPointEntry> accessPoints_;
  std::vector<std::string> unbuilt_;
};

}  // namespace kelvo::snmp
