// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/TestSupport.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "snmp/NetSnmpLibrary.h"
#include "snmp/SnmpMessage.h"

namespace kelvo::test {

void RecordingPrompter::ShowMessage(std::string_view text, std::string_view caption,
                                    ui::MessageIcon icon) {
  shown_.push_back({std::string(text), std::string(caption), icon, false});
}

ui::Answer RecordingPrompter::AskYesNo(std::string_view text, std::string_view caption,
                                       ui::MessageIcon icon) {
  shown_.push_back({std::string(text), std::string(caption), icon, true});
  if (answers_.empty()) return ui::Answer::No;
  const ui::Answer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::vector<std::string> RecordingPrompter::Texts() const {
  std::vector<std::string> texts;
  for (const auto& shown : shown_) texts.push_back(shown.text);
  return texts;
}

UdpPeer::UdpPeer(const std::string& address, std::uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
      ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd_);
    throw std::runtime_error("bind to " + address + " failed: " + std::strerror(errno));
  }
  socklen_t length = sizeof local;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
  port_ = ntohs(local.sin_port);
}

UdpPeer::~UdpPeer() { ::close(fd_); }

bool UdpPeer::Receive(std::vector<std::uint8_t>& data, std::string& fromAddress,
                      std::uint16_t& fromPort, int timeoutMs) {
  pollfd pfd{fd_, POLLIN, 0};
  if (::poll(&pfd, 1, timeoutMs) <= 0) return false;
  data.resize(65536);
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t n =
      ::recvfrom(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (n < 0) return false;
  data.resize(static_cast<std::size_t>(n));
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  fromAddress = text;
  fromPort = ntohs(from.sin_port);
  return true;
}

void UdpPeer::SendTo(const std::vector<std::uint8_t>& data, const std::string& address,
                     std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& additions) {
  const auto name = [](std::string_view variable) {
    return variable.substr(0, variable.find('=') + 1);
  };
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const bool replaced = std::any_of(additions.begin(), additions.end(),
                                      [&](const std::string& v) { return name(v) == name(text); });
    if (!replaced) variables.emplace_back(text);
  }
  variables.insert(variables.end(), additions.begin(), additions.end());
  return variables;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutMs,
                         const std::vector<std::string>& environment) {
  // Built before the fork: the child only execs.
  std::vector<std::string> variables = EnvironmentWith(environment);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  ProgramResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  bool killed = false;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(child, SIGKILL);
      killed = true;
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? result.out : result.err).append(chunk, static_cast<std::size_t>(n));
      }
    }
  }
  for (const pollfd& pfd : fds) {
    if (pfd.fd >= 0) ::close(pfd.fd);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status) || killed) result.exitCode = 128 + WTERMSIG(status);
  return result;
}

namespace {

netsnmp_session Version1Session() {
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_1;
  return session;
}

}  // namespace

std::optional<AgentRequest> DecodeRequest(const std::vector<std::uint8_t>& datagram) {
  snmp::EnsureNetSnmpLibrary();
  netsnmp_session session = Version1Session();
  auto* pdu = static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu)));
  std::vector<u_char> copy(datagram.begin(), datagram.end());
  std::optional<AgentRequest> result;
  if (snmp_parse(nullptr, &session, pdu, copy.data(), copy.size()) == 0) {
    AgentRequest request;
    request.requestId = pdu->reqid;
    request.command = pdu->command;
    request.community.assign(reinterpret_cast<const char*>(pdu->community), pdu->community_len);
    for (auto* var = pdu->variables; var != nullptr; var = var->next_variable) {
      std::string oid;
      for (std::size_t i = 0; i < var->name_length; ++i) {
        if (i != 0) oid += '.';
        oid += std::to_string(var->name[i]);
      }
      request.oids.push_back(oid);
    }
    result = request;
  }
  snmp_free_pdu(pdu);
  return result;
}

ReplyValue IntegerValue(const std::string& oid, long value) {
  return ReplyValue{oid, ASN_INTEGER, {}, value};
}

ReplyValue TextValue(const std::string& oid, const std::string& text) {
  return ReplyValue{oid, ASN_OCTET_STR, std::vector<std::uint8_t>(text.begin(), text.end()), 0};
}

std::vector<std::uint8_t> EncodeResponse(long requestId, const std::string& community,
                                         const std::vector<ReplyValue>& values, int errorStatus,
                                         int errorIndex) {
  snmp::EnsureNetSnmpLibrary();
  netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_RESPONSE);
  pdu->version = SNMP_VERSION_1;
  pdu->reqid = requestId;
  pdu->errstat = errorStatus;
  pdu->errindex = errorIndex;
  pdu->community = static_cast<u_char*>(std::malloc(community.size() + 1));
  std::memcpy(pdu->community, community.c_str(), community.size() + 1);
  pdu->community_len = community.size();
  for (const ReplyValue& value : values) {
    const auto parts = snmp::ParseObjectId(value.oid).value();
    std::vector<oid> name(parts.begin(), parts.end());
    if (value.type == ASN_INTEGER) {
      snmp_pdu_add_variable(pdu, name.data(), name.size(), ASN_INTEGER, &value.integer,
                            sizeof value.integer);
    } else {
      snmp_pdu_add_variable(pdu, name.data(), name.size(), static_cast<u_char>(value.type),
                            value.bytes.data(), value.bytes.size());
    }
  }
  netsnmp_session session = Version1Session();
  size_t capacity = 1024;
  size_t offset = 0;
  auto* buffer = static_cast<u_char*>(std::malloc(capacity));
  std::vector<std::uint8_t> packet;
  if (snmp_build(&buffer, &capacity, &offset, &session, pdu) == 0) {
    packet.assign(buffer + capacity - offset, buffer + capacity);
  }
  std::free(buffer);
  snmp_free_pdu(pdu);
  return packet;
}

}  // namespace kelvo::test
