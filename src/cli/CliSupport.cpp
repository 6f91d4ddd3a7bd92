// SPDX-License-Identifier: GPL-2.0-or-later
#include "CliSupport.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "snmp/SnmpComponent.h"

namespace kelvo::cli {

const std::string_view kUsage =
    "usage: kelvo-cli [--port P] COMMAND ...\n"
    "  discover [--wait S] [--to ADDRESS]...     list the access points that answer\n"
    "  vars                                      list the variables: name, OID, type,\n"
    "                                            access, kind, \"secret\" for secret ones\n"
    "  get [COMMUNITY] HOST VAR...               read variables by name or numeric OID\n"
    "                                            (community tundra)\n"
    "  set [COMMUNITY] HOST NAME VALUE           write one variable, VALUE in its kind:\n"
    "                                            decimal, text, hex bytes (0x, : and -\n"
    "                                            allowed) or dotted address\n"
    "  set [COMMUNITY] HOST OID TYPE VALUE       write one variable; TYPE is\n"
    "                                            i (integer), s (text), x (hex bytes),\n"
    "                                            a (IP address), also after a NAME of\n"
    "                                            that type; community \"\" unless given\n"
    "  profile show FILE                         print the values a profile file loads\n"
    "  profile save [COMMUNITY] HOST FILE        save the access point's settings as a profile\n"
    "  profile apply [COMMUNITY] FILE HOST       write a profile to the access point as Load\n"
    "                                            does; save and apply take the administrator\n"
    "                                            password as C (\"\" unless given), which also\n"
    "                                            reads the authorised MAC table\n"
    "  profile apply [COMMUNITY] [--dry-run] [--canary N] [--reset] [--reboot-wait S]\n"
    "            [--allow-same-address] [--json] [--parallel N] FILE HOST... | FILE --all\n"
    "            [--yes] [--wait S] [--to ADDRESS]...\n"
    "                                            push to many: each read, written, read\n"
    "                                            back and compared; --dry-run only shows\n"
    "                                            what would change; --canary N pushes to\n"
    "                                            the first N and stops if one fails;\n"
    "                                            --reset restarts those whose IP settings\n"
    "                                            changed and finds them again by MAC\n"
    "  show [COMMUNITY] [--json] [--parallel N] HOST...\n"
    "                                            print each access point's configuration\n"
    "                                            as the sheet's pages show it (--json: one\n"
    "                                            JSON object per line); secrets never\n"
    "  inventory [COMMUNITY] [--format table|csv|json] [--parallel N] [--wait S]\n"
    "            [--to ADDRESS]...               discover, then read every access point\n"
    "                                            at once: one row each, by address\n"
    "  backup [COMMUNITY] [--git] [--parallel N] [--wait S] [--to ADDRESS]... DIR [HOST...]\n"
    "                                            save each access point (all discovered\n"
    "                                            unless HOSTs are given) as MAC.kvp and\n"
    "                                            MAC.json in DIR with index.json; --git\n"
    "                                            commits each backup that changed DIR\n"
    "  diff [COMMUNITY] A B                      the settings that differ; A and B are\n"
    "                                            profiles, JSON snapshots or HOSTs; exit 0\n"
    "                                            same, 1 different, 2 trouble\n"
    "  firmware [COMMUNITY] [--settings-path DIR] [--tftp-port T] HOST FILE\n"
    "                                            upgrade the access point's firmware with\n"
    "                                            FILE, staged as DIR/Firmware/application.dlf\n"
    "                                            (DIR: ~/.local/share/kelvo) and served by\n"
    "                                            TFTP on port T (69); C is the administrator\n"
    "                                            password (\"\" unless given)\n"
    "  firmware [COMMUNITY] --image FILE [--verify] [--expect-description TEXT]\n"
    "           [--reboot-wait S] [--parallel N] [--settings-path DIR] [--tftp-port T]\n"
    "           HOST... | --all [--yes] [--wait S] [--to ADDRESS]...\n"
    "                                            upgrade many at once from one TFTP server;\n"
    "                                            --verify waits for each to come back\n"
    "  stats [--interval S] [--count N] [--format table|csv|json] [--counters LIST]\n"
    "        [--parallel N] HOST...              the traffic counters and their rates per\n"
    "                                            second, read every S seconds (2.5) N times\n"
    "                                            (until Ctrl-C); LIST is counter keys joined\n"
    "                                            by commas, or all; the table (redrawn in\n"
    "                                            place on a terminal) shows five rates, CSV\n"
    "                                            and JSON lines every counter's value and rate\n"
    "  exporter [COMMUNITY] [--listen ADDRESS:PORT] [--parallel N] [--rediscover S]\n"
    "           [--wait S] [--to ADDRESS]... [HOST...]\n"
    "                                            serve the access points' counters to\n"
    "                                            Prometheus on http://ADDRESS:PORT/metrics\n"
    "                                            (127.0.0.1:9757), each read at every\n"
    "                                            scrape; the HOSTs, plus those discovery\n"
    "                                            finds (without HOST or with --to), again\n"
    "                                            every S seconds (300); ends on Ctrl-C\n"
    "  --port P is the agent port (161). --help prints this text, --version the version.\n"
    "  --parallel N works on N access points at once (64); show, inventory, backup and\n"
    "  stats exit 0 when every access point was read (by stats at every poll), profile\n"
    "  apply and firmware on many when every one was written (and verified), else 1; 2\n"
    "  is a usage error.\n"
    "  COMMUNITY is --community-file FILE, the first line of FILE (- for standard\n"
    "  input); without it the community comes from the environment variable\n"
    "  KELVO_COMMUNITY. It is never taken from the command line, where every user of\n"
    "  the machine could read it.\n";

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

namespace {

// A password file holds one short line; anything longer is not one.
constexpr std::size_t kCommunityFileLimit = 4096;

std::optional<std::string> FirstLine(std::istream& in) {
  std::string line;
  char c = 0;
  while (line.size() <= kCommunityFileLimit && in.get(c) && c != '\n') line.push_back(c);
  if (line.size() > kCommunityFileLimit) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

Community TakeCommunity(std::vector<std::string_view>& args, std::string_view fallback) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--community" || args[i].starts_with("--community=")) {
      return {{},
              "a community on the command line can be read by every user of this machine; "
              "use --community-file FILE or the environment variable " +
                  std::string(kCommunityVariable)};
    }
    if (args[i] != "--community-file") continue;
    if (i + 1 >= args.size()) return {{}, "--community-file needs a file name"};
    const std::string path(args[i + 1]);
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    std::optional<std::string> line;
    if (path == "-") {
      line = FirstLine(std::cin);
    } else if (std::ifstream file(path, std::ios::binary); file) {
      line = FirstLine(file);
    } else {
      return {{}, "cannot read the community file " + path};
    }
    if (!line) return {{}, "the community file " + path + " does not hold one short line"};
    return {std::move(*line), {}};
  }
  if (const char* text = std::getenv(std::string(kCommunityVariable).c_str())) return {text, {}};
  return {std::string(fallback), {}};
}

}  // namespace kelvo::cli
