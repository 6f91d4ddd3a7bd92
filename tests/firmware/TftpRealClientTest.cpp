// SPDX-License-Identifier: GPL-2.0-or-later
// Independent clients fetch the image from our server over loopback: Debian's atftp (plain,
// blksize, windowsize) and curl's tftp:// (plain, blksize, no options). The received file must
// be identical. Skipped when the tool is not installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

#include "firmware/TftpServer.h"
#include "support/TestSupport.h"

namespace kelvo::firmware {
namespace {

// The program's full path from PATH, or empty.
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream directories(path ? path : "/usr/bin:/bin");
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    const std::string candidate = directory + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::vector<char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ClientCase {
  const char* name;
  const char* program;
  // Arguments after the program; {port} and {out} are replaced.
  std::vector<std::string> arguments;
  std::size_t imageSize;
};

class TftpRealClientTest : public ::testing::TestWithParam<ClientCase> {};

TEST_P(TftpRealClientTest, FetchesAnIdenticalFile) {
  const ClientCase& client = GetParam();
  const std::string program = FindProgram(client.program);
  if (program.empty()) GTEST_SKIP() << client.program << " is not installed";

  char pattern[] = "/tmp/kelvo-tftp-client-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string directory = pattern;
  std::vector<char> image(client.imageSize);
  std::mt19937 generator(static_cast<unsigned>(client.imageSize));
  for (char& byte : image) byte = static_cast<char>(generator());
  const std::string imagePath = directory + "/application.dlf";
  std::ofstream(imagePath, std::ios::binary)
      .write(image.data(), static_cast<std::streamsize>(image.size()));

  TftpServerOptions options;
  options.bindAddress = "127.0.0.1";
  options.port = 0;
  options.clientAddresses = {"127.0.0.1"};  // the clients send from the address they reach
  options.filePath = imagePath;
  std::string error;
  auto server = TftpServer::Start(options, &error);
  ASSERT_NE(server, nullptr) << error;

  const std::string out = directory + "/received";
  std::vector<std::string> argv{program};
  for (std::string argument : client.arguments) {
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"{port}", std::to_string(server->Port())},
          {"{out}", out}}) {
      if (const auto at = argument.find(key); at != std::string::npos) {
        argument.replace(at, key.size(), value);
      }
    }
    argv.push_back(argument);
  }
  const test::ProgramResult result = test::RunProgram(argv, 120000);
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_TRUE(ReadFile(out) == image) << "the received file differs";
  // The client may end as soon as it has sent its last ACK; the server sees it a moment later.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!server->Progress().finished && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const TftpProgress progress = server->Progress();
  EXPECT_TRUE(progress.finished);
  EXPECT_EQ(progress.acknowledged, image.size());
  server.reset();
  std::filesystem::remove_all(directory);
}

std::vector<std::string> Atftp(std::vector<std::string> options) {
  std::vector<std::string> arguments{"--get", "--remote-file", "application.dlf", "--local-file",
                                     "{out}"};
  for (const std::string& option : options) {
    arguments.push_back("--option");
    arguments.push_back(option);
  }
  arguments.push_back("127.0.0.1");
  arguments.push_back("{port}");
  return arguments;
}

std::vector<std::string> Curl(std::vector<std::string> options) {
  std::vector<std::string> arguments{"--silent", "--show-error", "--output", "{out}"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.push_back("tftp://127.0.0.1:{port}/application.dlf");
  return arguments;
}

constexpr std::size_t kMiB = 1 << 20;

INSTANTIATE_TEST_SUITE_P(
    Clients, TftpRealClientTest,
    ::testing::Values(
        ClientCase{"atftp_plain", "atftp", Atftp({}), 3 * kMiB + 17},
        ClientCase{"atftp_exact_multiple", "atftp", Atftp({}), 512 * 100},
        ClientCase{"atftp_blksize_1428", "atftp", Atftp({"blksize 1428"}), 3 * kMiB + 5},
        ClientCase{"atftp_windowsize_16", "atftp", Atftp({"windowsize 16"}), 3 * kMiB + 1},
        ClientCase{"atftp_blksize_1428_windowsize_16", "atftp",
                   Atftp({"blksize 1428", "windowsize 16", "tsize 0"}), 3 * kMiB + 999},
        ClientCase{"atftp_40MiB_rollover", "atftp", Atftp({}), 40 * kMiB},
        ClientCase{"curl_plain", "curl", Curl({}), 3 * kMiB + 17},
        ClientCase{"curl_blksize_1428", "curl", Curl({"--tftp-blksize", "1428"}), 3 * kMiB + 3},
        ClientCase{"curl_blksize_512_exact_multiple", "curl", Curl({"--tftp-blksize", "512"}),
                   512 * 2048},
        ClientCase{"curl_no_options", "curl", Curl({"--tftp-no-options"}), 1 * kMiB + 1},
        // curl 7.88 cannot fetch an empty file from any server (error 71), so atftp does.
        ClientCase{"atftp_empty_file", "atftp", Atftp({}), 0}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace kelvo::firmware
