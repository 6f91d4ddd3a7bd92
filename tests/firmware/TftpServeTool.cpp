// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-tftp-serve --bind ADDRESS --port PORT --client ADDRESS --file PATH [--timeout-ms MS]
//                  [--tries N]
// Serves PATH as application.dlf to one client with the in-process server. Prints "ready PORT"
// once bound, then waits until stdin closes or SIGTERM/SIGINT comes, and prints the transfer's
// final state ("finished", "failed", "idle") with the bytes acknowledged. Exit status 0 when a
// transfer finished, 1 otherwise, 2 when the server could not start.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "firmware/TftpServer.h"

namespace {

std::string Argument(int argc, char** argv, const char* name, const char* fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvo::firmware;
  TftpServerOptions options;
  options.bindAddress = Argument(argc, argv, "--bind", "127.0.0.1");
  options.port = static_cast<std::uint16_t>(std::atoi(Argument(argc, argv, "--port", "0").c_str()));
  options.clientAddresses = {Argument(argc, argv, "--client", "127.0.0.1")};
  options.filePath = Argument(argc, argv, "--file", "");
  options.initialTimeout =
      std::chrono::milliseconds(std::atoi(Argument(argc, argv, "--timeout-ms", "1000").c_str()));
  options.maxTransmissions = std::atoi(Argument(argc, argv, "--tries", "6").c_str());

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  // Blocked before the server's thread starts, so that only sigwait below sees them.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  std::string error;
  const auto server = TftpServer::Start(options, &error);
  if (!server) {
    std::fprintf(stderr, "kelvo-tftp-serve: %s\n", error.c_str());
    return 2;
  }
  std::printf("ready %u\n", server->Port());
  std::fflush(stdout);

  // A helper thread would be needed to wait for both; polling stdin with a pending-signal check
  // every 50 ms is enough here.
  for (;;) {
    pollfd in{0, POLLIN, 0};
    const int ready = ::poll(&in, 1, 50);
    if (ready > 0) {
      char byte;
      if (::read(0, &byte, 1) <= 0) break;
    }
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGTERM) || sigismember(&pending, SIGINT)) break;
  }
  server->Stop();
  const TftpProgress progress = server->Progress();
  std::printf("%s %llu of %llu\n",
              progress.finished ? "finished"
              : progress.failed ? "failed"
                                : "idle",
              static_cast<unsigned long long>(progress.acknowledged),
              static_cast<unsigned long long>(progress.size));
  return progress.finished ? 0 : 1;
}
