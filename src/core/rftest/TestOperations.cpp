// SPDX-License-Identifier: GPL-2.0-or-later
#include "rftest/TestOperations.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "snmp/AgentSession.h"

namespace kelvo::rftest {
namespace {

namespace text = snmp::messages;

void ShowError(snmp::AgentSession& session, std::string_view message) {
  session.Prompter().ShowMessage(message, ui::kApplicationCaption, ui::MessageIcon::Error);
}

bool CarriesBlock(TestGroup group) {
  return group == TestGroup::Parameters || group == TestGroup::Baseband ||
         group == TestGroup::Power || group == TestGroup::Synthesizer;
}

bool IsRegisterBlock(TestGroup group) {
  return group == TestGroup::Baseband || group == TestGroup::Power ||
         group == TestGroup::Synthesizer;
}

std::string OidOf(TestGroup group) { return mib::FullOid(TestVariableOf(group).variable); }

// Adds the group's block as raw octet string content.
void AddBlock(snmp::AgentSession& session, TestGroup group,
              const std::vector<std::uint8_t>& bytes) {
  session.AddSetVariable(OidOf(group), bytes);
}

int ErrorStatus(snmp::AgentSession& session) { return session.Component().Message().ErrorStatus(); }

}  // namespace

bool SetTestVariable(snmp::AgentSession& session, TestGroup group, const std::string& host,
                     const TestBlocks& blocks) {
  if (group != TestGroup::Command && !CarriesBlock(group)) return false;
  session.BeginRequest(snmp::PduType::SetRequest, session.WriteCommunity());
  if (group == TestGroup::Command) {
    session.AddSetVariable(OidOf(group), snmp::SetType::Integer, TestModeText(blocks.mode));
  } else {
    AddBlock(session, group, blocks.BytesOf(group));
  }
  if (!session.SendBuilt(host, kTestRequestTimeoutMs)) {
    ShowError(session, text::kTimeout);
    return false;
  }
  if (ErrorStatus(session) != 0) {
    ShowError(session, text::kSetError);
    return false;
  }
  return true;
}

void GetTestVariable(snmp::AgentSession& session, TestGroup group, const std::string& host,
                     const TestReplyHandler& received) {
  if (group != TestGroup::Parameters && group != TestGroup::Counters) return;
  const bool polled = group == TestGroup::Counters;
  session.BeginRequest(snmp::PduType::GetRequest, snmp::kReadCommunity);
  session.AddGetVariable(OidOf(group));
  if (!session.SendBuilt(host, kTestRequestTimeoutMs)) {
    if (!polled) ShowError(session, text::kTimeout);
    return;
  }
  // The reply's block is taken before its error status is looked at. A refusal carries the
  // request's NULL value, which is no block to extract: only the refusal is reported.
  const bool refused = ErrorStatus(session) != 0;
  if (const auto bytes = session.ResponseValueBytes(1)) {
    if (received) received(*bytes);
  } else if (!refused) {
    ShowError(session, text::kExtractError);
  }
  if (refused && !polled) ShowError(session, text::kGetError);
}

void ReadTestRegisters(snmp::AgentSession& session, TestGroup group, const std::string& host,
                       const TestBlocks& blocks, const TestReplyHandler& received) {
  if (!IsRegisterBlock(group)) return;
  // The device returns its values in the request's layout; what the fields held is replaced.
  TestBlocks request = blocks;
  request.baseband.op = RegisterOp::Read;
  request.power.op = RegisterOp::Read;
  request.synthesizer.op = RegisterOp::Read;

  session.BeginRequest(snmp::PduType::SetRequest, session.WriteCommunity());
  AddBlock(session, group, request.BytesOf(group));
  if (!session.SendBuilt(host, kRegisterReadTimeoutMs)) {
    ShowError(session, text::kTimeout);
    return;
  }
  const auto bytes = session.ResponseValueBytes(1);
  if (!bytes) {
    ShowError(session, text::kTimeout);
    return;
  }
  // A refused read still shows what the reply carries (normally the request's own values).
  if (received) received(*bytes);
  if (ErrorStatus(session) != 0) ShowError(session, text::kSetError);
}

bool UseLocalAddress(snmp::AgentSession& session, const std::string& address) {
  return static_cast<bool>(session.Component().Listen(0, address));
}

bool ProbeLocalAddress(const std::string& address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = parsed;
  local.sin_port = 0;
  const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
  ::close(fd);
  return bound;
}

}  // namespace kelvo::rftest
