// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-session-driver: one AgentSession kept open for a whole test, driven by commands on
// stdin, so that scripts can check what one request leaves behind for the next (time-outs,
// late or duplicated replies) and watch the process's memory from outside.
//
// Commands, one a line; each answer ends with a line "." :
//   get HOST OID...                 ReadGroup with these variables; "value OID<TAB>TEXT" lines
//   set HOST COMMUNITY OID i|s|a V  WriteGroup with one variable
//   discover WAIT_MS TARGET...      Discover to the targets; "ap ADDRESS<TAB>NAME" lines
//   memory                          "memory VmRSS_KB VmHWM_KB"
// Every message the session shows is printed as "message TEXT"; the last line before "." is
// "ok" or "failed".
//
// Usage: kelvo-session-driver [--port AGENT_PORT] [--listen PORT]
// With --listen the session binds its listening port first and prints "ready PORT".
#include <charconv>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "snmp/AgentSession.h"
#include "snmp/SnmpComponent.h"
#include "snmp/WaitHook.h"
#include "ui/Prompter.h"

namespace {

using kelvo::snmp::AgentSession;
using kelvo::snmp::SetType;

class PrintingPrompter final : public kelvo::ui::Prompter {
 public:
  void ShowMessage(std::string_view text, std::string_view, kelvo::ui::MessageIcon) override {
    std::cout << "message " << text << '\n';
    ++shown_;
  }
  kelvo::ui::Answer AskYesNo(std::string_view text, std::string_view,
                             kelvo::ui::MessageIcon) override {
    std::cout << "message " << text << '\n';
    ++shown_;
    return kelvo::ui::Answer::No;
  }
  int Shown() const { return shown_; }

 private:
  int shown_ = 0;
};

class NoBusy final : public kelvo::ui::BusyIndicator {
 public:
  void BeginBusy() override {}
  void EndBusy() override {}
};

// The group the driver reads and writes through: the variables of the current command.
class CommandGroup final : public kelvo::snmp::AgentGroup {
 public:
  std::vector<std::string> oids;
  SetType setType = SetType::Integer;
  std::string setValue;
  std::vector<std::string> values;

  std::vector<std::string> ReadIdentifiers() const override { return oids; }
  bool Extract(AgentSession& session) override {
    values.clear();
    for (std::size_t i = 1; i <= oids.size(); ++i) {
      auto text = session.ResponseValueText(i);
      if (!text) return false;
      values.push_back(std::move(*text));
    }
    return true;
  }
  void BuildWrite(AgentSession& session) override {
    session.AddSetVariable(oids.front(), setType, setValue);
  }
};

std::string StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(name + ":")) {
      std::istringstream fields(line.substr(name.size() + 1));
      std::string kilobytes;
      fields >> kilobytes;
      return kilobytes;
    }
  }
  return "?";
}

bool RunCommand(AgentSession& session, CommandGroup& group, PrintingPrompter& prompter,
                const std::vector<std::string>& words) {
  const int shownBefore = prompter.Shown();
  const std::string& command = words.front();
  if (command == "get" && words.size() >= 3) {
    group.oids.assign(words.begin() + 2, words.end());
    group.values.clear();
    session.ReadGroup(kelvo::mib::Group::System, words[1]);
    for (std::size_t i = 0; i < group.values.size(); ++i) {
      std::cout << "value " << group.oids[i] << '\t' << group.values[i] << '\n';
    }
    return prompter.Shown() == shownBefore && group.values.size() == group.oids.size();
  }
  if (command == "set" && words.size() == 6) {
    group.oids = {words[3]};
    group.setType = words[4] == "s"   ? SetType::OctetString
                    : words[4] == "a" ? SetType::IpAddress
                                      : SetType::Integer;
    group.setValue = words[5];
    session.SetWriteCommunity(words[2]);
    return session.WriteGroup(kelvo::mib::Group::IpConfig, words[1]) &&
           prompter.Shown() == shownBefore;
  }
  if (command == "discover" && words.size() >= 3) {
    int waitMs = 0;
    std::from_chars(words[1].data(), words[1].data() + words[1].size(), waitMs);
    session.SetDiscoveryTargets({words.begin() + 2, words.end()});
    session.Discover();
    kelvo::snmp::PollWaitHook wait;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    kelvo::snmp::SnmpComponent& component = session.Component();
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      if (wait.WaitReadable(component.Descriptor(), left)) component.ProcessIncoming();
    }
    for (const auto& row : session.AccessPoints()) {
      std::cout << "ap " << row.address << '\t' << row.deviceName << '\n';
    }
    return prompter.Shown() == shownBefore;
  }
  if (command == "memory") {
    std::cout << "memory " << StatusField("VmRSS") << ' ' << StatusField("VmHWM") << '\n';
    return true;
  }
  std::cout << "message unknown command\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint16_t agentPort = 161;
  int listenPort = -1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const int value = std::stoi(argv[i + 1]);
    if (name == "--port") agentPort = static_cast<std::uint16_t>(value);
    if (name == "--listen") listenPort = value;
  }
  kelvo::snmp::PollWaitHook wait;
  PrintingPrompter prompter;
  NoBusy busy;
  auto component = kelvo::snmp::SnmpComponent::Create(wait);
  if (!component) {
    std::cerr << "kelvo-session-driver: cannot set up the SNMP component\n";
    return 1;
  }
  AgentSession session(std::move(component), prompter, busy);
  session.SetAgentPort(agentPort);
  CommandGroup group;
  session.AttachGroup(kelvo::mib::Group::System, &group);
  session.AttachGroup(kelvo::mib::Group::IpConfig, &group);
  if (listenPort >= 0) {
    session.SetListenPort(static_cast<std::uint16_t>(listenPort));
    if (!session.StartListening()) return 1;
    std::cout << "ready " << session.Component().LocalPort() << std::endl;
  }

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    if (words.empty()) continue;
    const bool ok = RunCommand(session, group, prompter, words);
    std::cout << (ok ? "ok" : "failed") << "\n." << std::endl;
  }
  return 0;
}
