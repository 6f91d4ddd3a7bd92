// SPDX-License-Identifier: GPL-2.0-or-later
#include "CliSupport.h"

#include <iostream>

#include "snmp/SnmpComponent.h"

namespace kelvo::cli {

const std::string_view kUsage =
    "usage: kelvo-cli [--port P] COMMAND ...\n"
    "  discover [--wait S] [--to ADDRESS]...     list the access points that answer\n"
    "  get [--community C] HOST OID...           read variables (community tundra)\n"
    "  set [--community C] HOST OID TYPE VALUE   write one variable; TYPE is\n"
    "                                            i (integer), s (text), x (hex bytes),\n"
    "                                            a (IP address); community \"\" unless given\n"
    "  profile show FILE                         print the values a profile file loads\n"
    "  profile save [--community C] HOST FILE    save the access point's settings as a profile\n"
    "  profile apply [--community C] FILE HOST   write a profile to the access point as Load\n"
    "                                            does; save and apply take the administrator\n"
    "                                            password as C (\"\" unless given), which also\n"
    "                                            reads the authorised MAC table\n"
    "  firmware [--community C] [--settings-path DIR] [--tftp-port T] HOST FILE\n"
    "                                            upgrade the access point's firmware with\n"
    "                                            FILE, staged as DIR/Firmware/application.dlf\n"
    "                                            (DIR: the current directory) and served by\n"
    "                                            TFTP on port T (69); C is the administrator\n"
    "                                            password (\"\" unless given)\n"
    "  --port P is the agent port (161).\n";

int Usage(std::string_view problem) {
  if (!problem.empty()) std::cerr << "kelvo-cli: " << problem << '\n';
  std::cerr << kUsage;
  return kExitUsage;
}

void ConsolePrompter::ShowMessage(std::string_view text, std::string_view, ui::MessageIcon) {
  ++shown_;
  std::cerr << text << '\n';
}

ui::Answer ConsolePrompter::AskYesNo(std::string_view text, std::string_view, ui::MessageIcon) {
  ++shown_;
  std::cerr << text << " (answered No)\n";
  return ui::Answer::No;
}

bool OpenSession(Session& session, std::uint16_t port, snmp::WaitHook* wait) {
  auto component = snmp::SnmpComponent::Create(wait != nullptr ? *wait : session.wait);
  if (!component) {
    std::cerr << "kelvo-cli: cannot set up the SNMP component\n";
    return false;
  }
  session.agent =
      std::make_unique<snmp::AgentSession>(std::move(component), session.prompter, session.busy);
  session.agent->SetAgentPort(port);
  return true;
}

std::optional<std::string> TakeCommunity(std::vector<std::string_view>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--community") {
      std::string community(args[i + 1]);
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return community;
    }
  }
  return std::nullopt;
}

}  // namespace kelvo::cli
