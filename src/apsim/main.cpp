// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-apsim: simulated access points for tests and demonstrations.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "ApSimOptions.h"
#include "ApSimServer.h"
#include "Version.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  auto parsed = kelvo::apsim::ParseProgramOptions(arguments);
  // The password may come from the environment, which other users cannot read; --password
  // on the command line wins.
  const char* password = std::getenv("KELVO_APSIM_PASSWORD");
  const bool passwordGiven = std::any_of(arguments.begin(), arguments.end(), [](auto argument) {
    return argument == "--password" || argument.starts_with("--password=");
  });
  if (parsed.options && password != nullptr && !passwordGiven) {
    parsed.options->simulator.password = password;
  }
  if (!parsed.options) {
    std::fprintf(stderr, "kelvo-apsim: %s\n(see --help)\n", parsed.error.c_str());
    return 1;
  }
  if (parsed.options->version) {
    std::printf("kelvo-apsim %s\n", KELVO_VERSION);
    return 0;
  }
  if (parsed.options->help) {
    const std::string_view usage = kelvo::apsim::UsageText();
    std::fwrite(usage.data(), 1, usage.size(), stdout);
    return 0;
  }
  return kelvo::apsim::RunServer(*parsed.options);
}
