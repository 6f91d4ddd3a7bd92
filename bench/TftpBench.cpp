// SPDX-License-Identifier: GPL-2.0-or-later
// Firmware serving speed: one image fetched over loopback by the same client from our
// in-process TFTP server, from Debian's tftpd-hpa and from atftpd, run after run in turn.
//
//   kelvo-bench-tftp [--runs 10] [--size-mib 8] [--tftpd PATH] [--atftpd PATH] [--atftp PATH]
//                    [--curl PATH]
//
// The other servers are started by the program on free high ports of 127.0.0.1 and stopped
// at the end; a server or client that is not installed is left out. Each sample is the wall
// time of one client process from its start to its exit, so start-up costs are in every
// figure alike. Every received file is compared with the image; exit status 1 when a fetch
// failed or differed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "firmware/TftpPacket.h"
#include "firmware/TftpServer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace kelvo;

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kImageName = "application.dlf";

std::optional<pid_t> Spawn(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int status = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) return std::nullopt;
  return pid;
}

// Exit status of the program, or -1.
int RunToEnd(const std::vector<std::string>& argv) {
  const auto pid = Spawn(argv);
  if (!pid) return -1;
  int status = 0;
  if (::waitpid(*pid, &status, 0) != *pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::uint16_t FreeUdpPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, kLoopback, &local.sin_addr);
  socklen_t length = sizeof local;
  ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  ::close(fd);
  return ntohs(local.sin_port);
}

// True once a TFTP server answers on port (an ERROR for a name that is not there will do).
bool Answers(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  ::inet_pton(AF_INET, kLoopback, &to.sin_addr);
  const auto probe = firmware::EncodeTftpRequest({false, "no-such-file", "octet", {}});
  bool answered = false;
  for (int attempt = 0; attempt < 40 && !answered; ++attempt) {
    ::sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd pfd{fd, POLLIN, 0};
    answered = ::poll(&pfd, 1, 50) > 0;
  }
  ::close(fd);
  return answered;
}

bool SameFile(const std::string& path, const std::vector<char>& image) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  return bytes == image;
}

std::string Which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string directories = path ? path : "/usr/bin:/bin";
  directories += ":/usr/sbin:/sbin";
  std::size_t start = 0;
  while (start <= directories.size()) {
    const std::size_t end = std::min(directories.find(':', start), directories.size());
    const std::string candidate = directories.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

struct Server {
  std::string name;
  std::uint16_t port = 0;
  pid_t pid = 0;  // 0: ours, in this process
  bool windowSize = false;
};

struct Client {
  std::string name;
  std::vector<std::string> argv;  // "{port}" and "{out}" are replaced
  bool needsWindowSize = false;
};

std::vector<std::string> Expand(std::vector<std::string> argv, std::uint16_t port,
                                const std::string& out) {
  for (std::string& argument : argv) {
    if (argument == "{out}") argument = out;
    if (argument == "{port}") argument = std::to_string(port);
    if (const auto at = argument.find("{port}"); at != std::string::npos) {
      argument.replace(at, 6, std::to_string(port));
    }
  }
  return argv;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = std::atoi(bench::Option(argc, argv, "--runs", "10").c_str());
  const int sizeMib = std::atoi(bench::Option(argc, argv, "--size-mib", "8").c_str());
  const std::string tftpd = bench::Option(argc, argv, "--tftpd", Which("in.tftpd"));
  const std::string atftpd = bench::Option(argc, argv, "--atftpd", Which("atftpd"));
  const std::string atftp = bench::Option(argc, argv, "--atftp", Which("atftp"));
  const std::string curl = bench::Option(argc, argv, "--curl", Which("curl"));
  if (runs < 1 || sizeMib < 1) {
    std::fprintf(stderr,
                 "usage: %s [--runs N] [--size-mib N] [--tftpd PATH] [--atftpd PATH] "
                 "[--atftp PATH] [--curl PATH]\n",
                 argv[0]);
    return 2;
  }

  // The served directory must be readable by the users the other servers drop to.
  char pattern[] = "/tmp/kelvo-bench-tftp-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const std::string directory = pattern;
  ::chmod(directory.c_str(), 0755);
  const std::string imagePath = directory + "/" + kImageName;
  std::vector<char> image(static_cast<std::size_t>(sizeMib) << 20);
  std::mt19937 generator(1);
  for (char& byte : image) byte = static_cast<char>(generator());
  std::ofstream(imagePath, std::ios::binary)
      .write(image.data(), static_cast<std::streamsize>(image.size()));
  ::chmod(imagePath.c_str(), 0644);
  const std::string out = directory + "/received";

  firmware::TftpServerOptions options;
  options.bindAddress = kLoopback;
  options.port = 0;
  options.clientAddresses = {kLoopback};
  options.filePath = imagePath;
  std::string error;
  const auto ours = firmware::TftpServer::Start(options, &error);
  if (!ours) {
    std::fprintf(stderr, "our server: %s\n", error.c_str());
    return 1;
  }
  std::vector<Server> servers{{"ours", ours->Port(), 0, true}};
  const auto startOther = [&](const std::string& name, bool windowSize,
                              const std::vector<std::string>& command) {
    const std::uint16_t port = FreeUdpPort();
    const auto pid = Spawn(Expand(command, port, out));
    if (!pid) {
      std::printf("%s: cannot start %s\n", name.c_str(), command[0].c_str());
      return;
    }
    servers.push_back({name, port, *pid, windowSize});
    if (!Answers(port)) {
      std::printf("%s: no answer on port %u, left out\n", name.c_str(), port);
      ::kill(*pid, SIGTERM);
      ::waitpid(*pid, nullptr, 0);
      servers.pop_back();
    }
  };
  if (!tftpd.empty()) {
    startOther(
        "tftpd-hpa", false,
        {tftpd, "--foreground", "--address", std::string(kLoopback) + ":{port}", "-s", directory});
  }
  if (!atftpd.empty()) {
    startOther("atftpd", true,
               {atftpd, "--daemon", "--no-fork", "--logfile", "/dev/null", "--port", "{port}",
                "--bind-address", kLoopback, directory});
  }

  std::vector<Client> clients;
  if (!atftp.empty()) {
    const std::vector<std::string> get{atftp,      "--get",        "--remote-file",
                                       kImageName, "--local-file", "{out}"};
    auto blksize = get;
    blksize.insert(blksize.end(), {"--option", "blksize 1428", kLoopback, "{port}"});
    clients.push_back({"atftp blksize 1428", blksize, false});
    auto window = get;
    window.insert(window.end(), {"--option", "windowsize 16", kLoopback, "{port}"});
    clients.push_back({"atftp windowsize 16", window, true});
  }
  if (!curl.empty()) {
    const std::string url = std::string("tftp://") + kLoopback + ":{port}/" + kImageName;
    clients.push_back(
        {"curl blksize 1428", {curl, "-s", "--tftp-blksize", "1428", "-o", "{out}", url}, false});
    clients.push_back(
        {"curl blksize 512", {curl, "-s", "--tftp-blksize", "512", "-o", "{out}", url}, false});
  }

  std::printf("%d MiB image over loopback, %d runs per server and client after one warm-up\n",
              sizeMib, runs);
  bool allGood = true;
  for (const Client& client : clients) {
    std::map<std::string, std::vector<double>> samples;
    for (int run = 0; run <= runs; ++run) {
      for (const Server& server : servers) {
        if (client.needsWindowSize && !server.windowSize) continue;
        std::filesystem::remove(out);
        const auto start = Clock::now();
        const int status = RunToEnd(Expand(client.argv, server.port, out));
        const double ms = bench::Milliseconds(Clock::now() - start);
        if (status != 0 || !SameFile(out, image)) {
          std::printf("  %s from %s: run %d failed (exit %d)\n", client.name.c_str(),
                      server.name.c_str(), run, status);
          allGood = false;
          continue;
        }
        if (run > 0) samples[server.name].push_back(ms);
      }
    }
    std::printf("%s\n", client.name.c_str());
    double best = 0;
    std::string bestName;
    for (const Server& server : servers) {
      if (samples[server.name].empty()) continue;
      const bench::Summary summary = bench::Summarise(samples[server.name]);
      std::printf("  %-10s %s\n", server.name.c_str(), bench::FormatSummary(summary, "ms").c_str());
      if (server.pid != 0 && (bestName.empty() || summary.median < best)) {
        best = summary.median;
        bestName = server.name;
      }
    }
    if (!bestName.empty() && !samples["ours"].empty()) {
      std::printf("  ratio ours/best other (%s): %.2f\n", bestName.c_str(),
                  bench::Summarise(samples["ours"]).median / best);
    }
  }

  for (const Server& server : servers) {
    if (server.pid == 0) continue;
    ::kill(server.pid, SIGTERM);
    ::waitpid(server.pid, nullptr, 0);
  }
  std::filesystem::remove_all(directory);
  return allGood ? 0 : 1;
}
