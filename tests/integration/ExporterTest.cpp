// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli exporter over simulated access points: what a scrape serves, checked by promtool,
// and the rates a real Prometheus computes from it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::test {
namespace {

using Clock = std::chrono::steady_clock;

// A program running beside the test, its standard error kept in a file; killed by pid when
// the test leaves it running.
class BackgroundProgram {
 public:
  explicit BackgroundProgram(std::vector<std::string> argv)
      : errFile_(std::filesystem::temp_directory_path() /
                 ("kelvo-exporter-" + std::to_string(::getpid()) + '-' +
                  std::to_string(++started_) + ".err")) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::dup2(::open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      ::dup2(::open("/dev/null", O_RDWR), 1);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~BackgroundProgram() {
    if (pid_ > 0) Stop(SIGKILL);
    std::filesystem::remove(errFile_);
  }
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  // The groups of the first line of standard error matching `pattern` (0: the whole match);
  // throws when none came in time.
  std::vector<std::string> WaitForLine(const std::regex& pattern,
                                       std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string text;
    do {
      std::ifstream file(errFile_);
      text.clear();
      for (std::string line; std::getline(file, line);) {
        if (file.eof()) break;  // not yet a whole line
        text += line + '\n';
        std::smatch match;
        if (std::regex_search(line, match, pattern)) return {match.begin(), match.end()};
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < deadline);
    throw std::runtime_error("no line like the one awaited; standard error so far:\n" + text);
  }

  // Sends the signal and waits for the exit; its status (128 + signal when killed by one).
  int Stop(int signal) {
    ::kill(pid_, signal);
    int status = 0;
    for (int waited = 0; ::waitpid(pid_, &status, WNOHANG) == 0; ++waited) {
      if (waited == 500) ::kill(pid_, SIGKILL);  // 10 s
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  static inline int started_ = 0;
  const std::filesystem::path errFile_;
  pid_t pid_ = -1;
};

struct HttpReply {
  int status = 0;  // 0: no connection
  std::string body;
};

// One GET by curl; `query` holds NAME=VALUE pairs for it to encode.
HttpReply HttpGet(const std::string& address, std::uint16_t port, const std::string& path,
                  const std::vector<std::string>& query = {}) {
  std::vector<std::string> argv = {"/usr/bin/curl", "-s", "-G", "-w", "\n%{http_code}"};
  for (const std::string& pair : query) argv.insert(argv.end(), {"--data-urlencode", pair});
  argv.push_back("http://" + address + ':' + std::to_string(port) + path);
  const ProgramResult result = RunProgram(argv, 30000);
  const auto end = result.out.rfind('\n');
  return {static_cast<int>(std::strtol(result.out.c_str() + end + 1, nullptr, 10)),
          result.out.substr(0, end)};
}

// Sample lines by their name and labels as written ("kelvo_up{address=...}"), to values.
std::map<std::string, double> Samples(const std::string& text) {
  std::map<std::string, double> samples;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line.front() == '#') continue;
    const auto space = line.rfind(' ');
    samples[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
  }
  return samples;
}

std::string Series(const std::string& name, const std::string& address, const std::string& device,
                   const std::string& mac) {
  return name + "{address=\"" + address + "\",name=\"" + device + "\",mac=\"" + mac + "\"}";
}

std::filesystem::path TemporaryDirectory() {
  char pattern[] = "/tmp/kelvo-exporter-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary directory");
  return pattern;
}

// A TCP port nobody listens on now, for a program that cannot pick one itself.
std::uint16_t FreePort() {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("no free port");
  }
  ::close(socket);
  return ntohs(address.sin_port);
}

// An instant query at `time` (seconds since the epoch): each series' address label to its
// value.
std::map<std::string, double> Query(std::uint16_t port, const std::string& query, double time) {
  const HttpReply reply = HttpGet("127.0.0.1", port, "/api/v1/query",
                                  {"query=" + query, "time=" + std::to_string(time)});
  const auto json = nlohmann::json::parse(reply.body, nullptr, false);
  if (reply.status != 200 || json.is_discarded() || json.value("status", "") != "success") {
    throw std::runtime_error("query " + query + " failed: " + reply.body);
  }
  std::map<std::string, double> values;
  for (const auto& series : json["data"]["result"]) {
    values[series["metric"].value("address", "")] =
        std::stod(series["value"][1].get<std::string>());
  }
  return values;
}

const std::regex kServing("serving http://([0-9.]+):([0-9]+)/metrics");

// Discovery by broadcast finds the two that answer, the silent one is given by address. A
// second exporter on the same port, a bad address: refused. An access point that falls silent
// keeps its labels with up 0.
TEST(ExporterTest, ServesEveryAccessPointOnLoopbackOnly) {
  ApSimProcess sim(ApSimOptions{3, "127.0.0.2", "admin", {"--fault", "127.0.0.4:silent"}});
  const std::string port = std::to_string(sim.Port());
  BackgroundProgram exporter({KELVO_CLI_PATH, "--port", port, "exporter", "--to", "127.255.255.255",
                              "--wait", "1", sim.Address(2)});
  const auto serving = exporter.WaitForLine(kServing, std::chrono::seconds(20));
  ASSERT_EQ(serving[1], "127.0.0.1");
  ASSERT_EQ(serving[2], "9757");
  const std::uint16_t httpPort = 9757;

  // Until discovery has found both: each scrape waits out the silent one's time-out.
  std::map<std::string, double> samples;
  std::string body;
  for (int scrape = 0; scrape < 10; ++scrape) {
    const HttpReply reply = HttpGet("127.0.0.1", httpPort, "/metrics");
    ASSERT_EQ(reply.status, 200);
    body = reply.body;
    samples = Samples(body);
    if (samples["kelvo_access_points"] == 3) break;
  }
  EXPECT_EQ(samples["kelvo_access_points"], 3) << body;
  EXPECT_EQ(samples[Series("kelvo_up", "127.0.0.2", "Kelvo-AP-01", "024B56000001")], 1) << body;
  EXPECT_EQ(samples[Series("kelvo_up", "127.0.0.3", "Kelvo-AP-02", "024B56000002")], 1) << body;
  EXPECT_EQ(samples.count(Series("kelvo_up", "127.0.0.4", "", "")), 1u) << body;
  EXPECT_EQ(samples[Series("kelvo_up", "127.0.0.4", "", "")], 0) << body;
  EXPECT_GT(
      samples[Series("kelvo_ethernet_rx_bytes_total", "127.0.0.2", "Kelvo-AP-01", "024B56000001")],
      0)
      << body;
  EXPECT_NE(body.find("# HELP kelvo_ethernet_rx_bytes_total Ethernet receive TotalBytesRx\n"),
            std::string::npos);
  EXPECT_NE(body.find("# TYPE kelvo_wireless_rx_cts_total counter\n"), std::string::npos);
  for (const auto& [series, value] : samples) {
    EXPECT_TRUE(series.starts_with("kelvo_up{") || series.find("127.0.0.4") == std::string::npos)
        << series << ": a value of an access point that did not answer";
  }

  const auto dir = TemporaryDirectory();
  std::ofstream(dir / "metrics.txt") << body;
  const auto check = RunProgram(
      {"/bin/sh", "-c", "exec promtool check metrics < " + (dir / "metrics.txt").string()});
  std::filesystem::remove_all(dir);
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;

  EXPECT_EQ(HttpGet("127.0.0.1", httpPort, "/").status, 404);
  EXPECT_EQ(HttpGet("127.0.0.1", httpPort, "/metrics/x").status, 404);
  EXPECT_EQ(HttpGet("127.0.0.2", httpPort, "/metrics").status, 0) << "not on loopback only";

  const auto taken = RunProgram({KELVO_CLI_PATH, "exporter", "--listen", "127.0.0.1:9757", "h"});
  EXPECT_EQ(taken.exitCode, 1);
  EXPECT_EQ(taken.err, "kelvo-cli: cannot listen on 127.0.0.1:9757: Address already in use\n");
  const auto bad = RunProgram({KELVO_CLI_PATH, "exporter", "--listen", "localhost:80", "h"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_TRUE(bad.err.starts_with("kelvo-cli: --listen takes ADDRESS:PORT")) << bad.err;

  sim.Fault(1, "silent");
  samples = Samples(HttpGet("127.0.0.1", httpPort, "/metrics").body);
  EXPECT_EQ(samples[Series("kelvo_up", "127.0.0.3", "Kelvo-AP-02", "024B56000002")], 0);
  for (const auto& [series, value] : samples) {
    EXPECT_TRUE(series.starts_with("kelvo_up{") || series.find("127.0.0.3") == std::string::npos)
        << series << ": a value of an access point that fell silent";
  }
  EXPECT_EQ(exporter.Stop(SIGTERM), 0);
}

// Prometheus scrapes the exporter every second while each access point's ethernet_rx_bytes
// runs at an exact rate of its own; the first one passes 2^32 during the test. The rates
// Prometheus computes across that wrap are the simulator's, and it saw no counter reset.
TEST(ExporterTest, PrometheusRatesAreTheDevicesAcrossAWrap) {
  const char* prometheus = "/usr/bin/prometheus";
  if (::access(prometheus, X_OK) != 0) GTEST_SKIP() << prometheus << " is not installed";
  constexpr int kWrapSeconds = 8;
  const double rates[3] = {100000, 40000, 15000};
  const std::uint16_t exporterPort = FreePort();
  const std::uint16_t prometheusPort = FreePort();
  const auto dir = TemporaryDirectory();
  std::ofstream(dir / "prometheus.yml")
      << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
      << "scrape_configs:\n  - job_name: kelvo\n    static_configs:\n"
      << "      - targets: ['127.0.0.1:" << exporterPort << "']\n";
  BackgroundProgram server({prometheus, "--config.file=" + (dir / "prometheus.yml").string(),
                            "--storage.tsdb.path=" + (dir / "data").string(),
                            "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort)});
  server.WaitForLine(std::regex("Server is ready to receive web requests"),
                     std::chrono::seconds(30));

  // The wrap comes kWrapSeconds after the simulator starts, with Prometheus already waiting.
  ApSimProcess sim(ApSimOptions{3,
                                "127.0.0.2",
                                "admin",
                                {"--counter-rate", "ethernet_rx_bytes=100000", "--counter-wrap",
                                 std::to_string(kWrapSeconds)}});
  sim.Command("counter-rate 2 ethernet_rx_bytes 40000");
  sim.Command("counter-rate 3 ethernet_rx_bytes 15000");
  BackgroundProgram exporter({KELVO_CLI_PATH, "--port", std::to_string(sim.Port()), "exporter",
                              "--listen", "127.0.0.1:" + std::to_string(exporterPort),
                              sim.Address(0), sim.Address(1), sim.Address(2)});
  exporter.WaitForLine(kServing, std::chrono::seconds(20));

  // Until a window of 6 s holds the first access point's samples from both sides of 2^32.
  const std::string first = R"(kelvo_ethernet_rx_bytes_total{address="127.0.0.2"}[6s])";
  const auto deadline = Clock::now() + std::chrono::seconds(40);
  double at = 0;
  for (;;) {
    at = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const auto highest = Query(prometheusPort, "max_over_time(" + first + ')', at);
    if (highest.count("127.0.0.2") != 0 && highest.at("127.0.0.2") > 4294967296.0) break;
    ASSERT_TRUE(Clock::now() < deadline) << "Prometheus never saw the first access point wrap";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  // Two seconds past the wrap, so that both sides are in the window.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  at += 2;
  EXPECT_LT(Query(prometheusPort, "min_over_time(" + first + ')', at)["127.0.0.2"], 4294967296.0);

  const auto measured = Query(prometheusPort, "rate(kelvo_ethernet_rx_bytes_total[6s])", at);
  const auto resets = Query(prometheusPort, "resets(kelvo_ethernet_rx_bytes_total[6s])", at);
  ASSERT_EQ(measured.size(), 3u);
  for (int ap = 0; ap < 3; ++ap) {
    const std::string address = sim.Address(ap);
    EXPECT_NEAR(measured.at(address), rates[ap], rates[ap] * 0.05) << address;
    EXPECT_EQ(resets.at(address), 0) << address;
  }
  EXPECT_EQ(exporter.Stop(SIGINT), 0);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kelvo::test
