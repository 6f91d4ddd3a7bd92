// SPDX-License-Identifier: GPL-2.0-or-later
// Net-SNMP's library starts quietly: kelvo-cli reads no Net-SNMP configuration or MIB files,
// writes no files and puts nothing on stderr but its own messages, and a malformed datagram
// makes no noise either. The command-line runs are watched with strace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "snmp/AgentSession.h"
#include "snmp/SnmpComponent.h"
#include "snmp/WaitHook.h"
#include "support/TestSupport.h"

extern char** environ;

namespace kelvo::snmp {
namespace {

constexpr std::string_view kDeviceNameOid = "1.3.6.1.4.1.15177.1.2.1.10.0";

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with its contents.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "kelvo-quiet.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Entries(const fs::path& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(directory, error)) {
    names.push_back(entry.path().string());
  }
  return names;
}

std::optional<std::string> FindProgram(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    const fs::path candidate = fs::path(directory) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return std::nullopt;
}

// Runs argv with stdin from /dev/null, stdout and stderr into files, the environment changed
// by `overrides` (NAME=value) and the working directory cwd. Returns the exit status, or -1
// when it could not be run or was killed after 30 s.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& overrides,
               const fs::path& cwd, const fs::path& out, const fs::path& err) {
  std::vector<std::string> environment(overrides);
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::string_view name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const std::string& override : overrides) {
      replaced = replaced || std::string_view(override).substr(0, override.find('=')) == name;
    }
    if (!replaced) environment.emplace_back(text);
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (std::string& entry : environment) env.push_back(entry.data());
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One system call from strace's log: "PID name(arguments) = result".
struct TracedCall {
  std::string name;
  std::string arguments;
  std::string line;
};

std::vector<TracedCall> ReadTrace(const fs::path& file) {
  std::vector<TracedCall> calls;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t start = line.find_first_not_of("0123456789 ");
    if (start == std::string::npos || line.compare(start, 4, "<...") == 0) continue;
    const std::size_t open = line.find('(', start);
    if (open == std::string::npos) continue;
    calls.push_back({line.substr(start, open - start), line.substr(open + 1), line});
  }
  return calls;
}

// The quoted strings of an argument list, with strace's escapes decoded.
std::vector<std::string> QuotedStrings(std::string_view arguments) {
  std::vector<std::string> strings;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] != '"') continue;
    std::string text;
    for (++i; i < arguments.size() && arguments[i] != '"'; ++i) {
      if (arguments[i] != '\\' || i + 1 >= arguments.size()) {
        text += arguments[i];
        continue;
      }
      const char escaped = arguments[++i];
      if (escaped == 'x' && i + 2 < arguments.size()) {
        text += static_cast<char>(std::stoi(std::string(arguments.substr(i + 1, 2)), nullptr, 16));
        i += 2;
      } else if (escaped >= '0' && escaped <= '7') {
        std::size_t length = 1;
        while (length < 3 && i + length < arguments.size() && arguments[i + length] >= '0' &&
               arguments[i + length] <= '7') {
          ++length;
        }
        text += static_cast<char>(std::stoi(std::string(arguments.substr(i, length)), nullptr, 8));
        i += length - 1;
      } else {
        static constexpr std::string_view kFrom = "ntrvf";
        static constexpr std::string_view kTo = "\n\t\r\v\f";
        const std::size_t at = kFrom.find(escaped);
        text += at == std::string_view::npos ? escaped : kTo[at];
      }
    }
    strings.push_back(std::move(text));
  }
  return strings;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
         (text.size() == prefix.size() || text[prefix.size()] == '/' || prefix.back() == '/');
}

// What kelvo-cli did under strace, and the environment it ran in.
class TracedCli {
 public:
  explicit TracedCli(std::string strace) : strace_(std::move(strace)) {
    for (const char* name : {"cwd", "home", "conf", "mibs", "persist"}) {
      fs::create_directory(scratch_.Path() / name);
    }
    // Bait: where Net-SNMP's usual start-up would look when told by these variables.
    std::ofstream(scratch_.Path() / "conf" / "snmp.conf") << "mibs +ALL\n";
    std::ofstream(scratch_.Path() / "mibs" / "KELVO-BAIT-MIB.txt")
        << "KELVO-BAIT-MIB DEFINITIONS\n";
  }

  // Runs kelvo-cli ARGS... under strace.
  void Run(const std::vector<std::string>& cliArgs) {
    const fs::path& dir = scratch_.Path();
    std::vector<std::string> argv = {
        strace_, "-f",          "-qq",         "-s", "4096", "-o", (dir / "trace").string(),
        "-e",    "trace=%file", KELVO_CLI_PATH};
    argv.insert(argv.end(), cliArgs.begin(), cliArgs.end());
    exitStatus =
        RunProgram(argv,
                   {"HOME=" + (dir / "home").string(), "SNMPCONFPATH=" + (dir / "conf").string(),
                    "MIBDIRS=" + (dir / "mibs").string(), "MIBS=ALL",
                    "SNMP_PERSISTENT_DIR=" + (dir / "persist").string(),
                    // LeakSanitizer cannot run under ptrace.
                    "ASAN_OPTIONS=detect_leaks=0"},
                   dir / "cwd", dir / "out", dir / "err");
    out = ReadFile(dir / "out");
    err = ReadFile(dir / "err");
    calls = ReadTrace(dir / "trace");
  }

  // Every file the run opened or probed that belongs to Net-SNMP's configuration, MIBs or
  // persistent state, or is any *.conf file.
  std::vector<std::string> LibraryFilesTouched() const {
    const fs::path& dir = scratch_.Path();
    const std::vector<std::string> forbidden = {"/etc/snmp",
                                                "/usr/share/snmp",
                                                "/usr/local/share/snmp",
                                                "/usr/local/etc/snmp",
                                                "/usr/lib/snmp",
                                                "/var/lib/snmp",
                                                "/var/lib/net-snmp",
                                                "/var/net-snmp",
                                                "/usr/share/mibs",
                                                (dir / "home" / ".snmp").string(),
                                                (dir / "conf").string(),
                                                (dir / "mibs").string(),
                                                (dir / "persist").string()};
    std::vector<std::string> touched;
    for (const TracedCall& call : calls) {
      if (call.name == "execve") continue;
      for (const std::string& path : QuotedStrings(call.arguments)) {
        bool bad = path.ends_with(".conf");
        for (const std::string& prefix : forbidden) bad = bad || StartsWith(path, prefix);
        if (bad) touched.push_back(call.line);
      }
    }
    return touched;
  }

  // Calls that create, change or remove files. Writing needs a descriptor opened for writing,
  // so the opens tell; what reaches stderr is checked by content.
  std::vector<std::string> FileChanges() const {
    static const std::vector<std::string_view> kChanging = {
        "creat",     "mkdir", "mkdirat",  "unlink",   "unlinkat",  "rename",      "renameat",
        "renameat2", "link",  "linkat",   "symlink",  "symlinkat", "truncate",    "chmod",
        "fchmodat",  "chown", "fchownat", "lchown",   "utime",     "utimes",      "utimensat",
        "futimesat", "mknod", "mknodat",  "setxattr", "lsetxattr", "removexattr", "lremovexattr"};
    std::vector<std::string> changes;
    for (const TracedCall& call : calls) {
      // The ThreadSanitizer runtime's own scratch file, in the TSan build only.
      if (call.arguments.find("\"/tmp/tsan.rodata.") != std::string::npos) continue;
      const bool opens = call.name == "open" || call.name == "openat" || call.name == "openat2";
      const bool writable = call.arguments.find("O_WRONLY") != std::string::npos ||
                            call.arguments.find("O_RDWR") != std::string::npos ||
                            call.arguments.find("O_CREAT") != std::string::npos ||
                            call.arguments.find("O_TRUNC") != std::string::npos;
      if ((opens && writable) ||
          std::find(kChanging.begin(), kChanging.end(), call.name) != kChanging.end()) {
        changes.push_back(call.line);
      }
    }
    const fs::path& dir = scratch_.Path();
    for (const char* name : {"cwd", "home", "persist"}) {
      for (const std::string& entry : Entries(dir / name)) changes.push_back("created " + entry);
    }
    return changes;
  }

  int exitStatus = -1;
  std::string out;
  std::string err;
  std::vector<TracedCall> calls;

 private:
  std::string strace_;
  ScratchDirectory scratch_;
};

class QuietStartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto strace = FindProgram("strace");
    if (!strace) GTEST_SKIP() << "strace is not installed";
    ScratchDirectory probe;
    if (RunProgram({*strace, "-qq", "-o", "/dev/null", "/bin/true"}, {}, probe.Path(),
                   probe.Path() / "out", probe.Path() / "err") != 0) {
      GTEST_SKIP() << "strace cannot trace here (ptrace refused): "
                   << ReadFile(probe.Path() / "err");
    }
    cli_.emplace(*strace);
  }

  std::optional<TracedCli> cli_;
};

TEST_F(QuietStartupTest, GetThatTimesOutReadsNoLibraryFilesAndReportsOnlyTheTimeOut) {
  // A silent agent: the request arrives and nothing answers.
  test::UdpPeer silent("127.0.0.1", 0);
  cli_->Run(
      {"--port", std::to_string(silent.Port()), "get", "127.0.0.1", std::string(kDeviceNameOid)});

  ASSERT_FALSE(cli_->calls.empty()) << "strace logged nothing";
  std::vector<std::uint8_t> request;
  std::string from;
  std::uint16_t fromPort = 0;
  EXPECT_TRUE(silent.Receive(request, from, fromPort, 0)) << "the request never left";
  EXPECT_EQ(cli_->exitStatus, 1);
  EXPECT_EQ(cli_->out, "");
  EXPECT_EQ(cli_->err, std::string(messages::kTimeout) + "\n");
  EXPECT_EQ(cli_->LibraryFilesTouched(), std::vector<std::string>{});
  EXPECT_EQ(cli_->FileChanges(), std::vector<std::string>{});
}

TEST_F(QuietStartupTest, DiscoverReadsNoLibraryFilesAndPrintsNothingOnStderr) {
  test::UdpPeer silent("0.0.0.0", 0);
  cli_->Run({"--port", std::to_string(silent.Port()), "discover", "--wait", "0.3", "--to",
             "127.255.255.255"});

  ASSERT_FALSE(cli_->calls.empty()) << "strace logged nothing";
  std::vector<std::uint8_t> request;
  std::string from;
  std::uint16_t fromPort = 0;
  EXPECT_TRUE(silent.Receive(request, from, fromPort, 0)) << "the broadcast never left";
  EXPECT_EQ(cli_->exitStatus, 0);
  EXPECT_EQ(cli_->out, "");
  EXPECT_EQ(cli_->err, "");
  EXPECT_EQ(cli_->LibraryFilesTouched(), std::vector<std::string>{});
  EXPECT_EQ(cli_->FileChanges(), std::vector<std::string>{});
}

// Everything written to stderr (fd 2) while it lives, from C++, C stdio or the library.
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()), saved_(::dup(2)) {
    std::cerr.flush();
    std::fflush(stderr);
    ::dup2(::fileno(file_), 2);
  }
  ~StderrCapture() {
    Restore();
    std::fclose(file_);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // What was written since the last call.
  std::string TakeNew() {
    std::cerr.flush();
    std::fflush(stderr);
    std::string text;
    std::fseek(file_, read_, SEEK_SET);
    for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) text += static_cast<char>(c);
    read_ += static_cast<long>(text.size());
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::cerr.flush();
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }

  std::FILE* file_;
  int saved_;
  long read_ = 0;
};

class CountingListener final : public SnmpComponentListener {
 public:
  void ReplyReceived() override { ++replies; }
  void ErrorReported(int, std::string_view description) override {
    errors.emplace_back(description);
  }
  int replies = 0;
  std::vector<std::string> errors;
};

// Datagrams no agent would send, each named for its defect; the reply they imitate carries
// the request id `id` where one fits.
struct MalformedDatagram {
  std::string_view defect;
  std::vector<std::uint8_t> bytes;
};

std::vector<MalformedDatagram> MalformedDatagrams(long id) {
  // A short reply: 30 LL 02 01 VV ..., with LL in the short form.
  const std::vector<std::uint8_t> reply =
      test::EncodeResponse(id, "tundra", {test::TextValue(std::string(kDeviceNameOid), "ap")});
  std::vector<std::uint8_t> truncated(reply.begin(), reply.begin() + reply.size() / 2);
  std::vector<std::uint8_t> wrongVersion = reply;
  wrongVersion[4] = 0x01;  // SNMPv2c
  std::vector<std::uint8_t> lengthPastEnd = reply;
  lengthPastEnd[1] = static_cast<std::uint8_t>(lengthPastEnd[1] + 20);
  return {
      {"empty datagram", {}},
      {"one byte", {0x30}},
      {"plain text", {'h', 'e', 'l', 'l', 'o', ' ', 'a', 'g', 'e', 'n', 't'}},
      {"sequence longer than the datagram", {0x30, 0x82, 0xFF, 0xFF, 0x02, 0x01, 0x00}},
      {"length of nine octets", {0x30, 0x89, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x02, 0x01, 0x00}},
      {"indefinite length", {0x30, 0x80, 0x02, 0x01, 0x00, 0x00, 0x00}},
      {"integer tag where the sequence belongs", {0x02, 0x01, 0x00}},
      {"reply cut in half", truncated},
      {"reply in SNMPv2c", wrongVersion},
      {"outer length past the end", lengthPastEnd},
      {"SNMPv3 message",
       {0x30, 0x16, 0x02, 0x01, 0x03,                          // msgVersion 3
        0x30, 0x0D, 0x02, 0x01, 0x01, 0x02, 0x02, 0x05, 0xDC,  // msgID, msgMaxSize
        0x04, 0x01, 0x00, 0x02, 0x01, 0x03,                    // msgFlags, USM
        0x04, 0x00, 0x30, 0x00}},                              // parameters, scopedPDU
      {"reply to another request",
       test::EncodeResponse(id + 1, "tundra",
                            {test::TextValue(std::string(kDeviceNameOid), "ap")})},
  };
}

TEST(QuietComponent, MalformedDatagramsPrintNothingAndTheRealReplyStillArrives) {
  PollWaitHook wait;
  test::UdpPeer agent("127.0.0.1", 0);
  CountingListener listener;
  StderrCapture captured;
  auto component = SnmpComponent::Create(wait);
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(captured.TakeNew(), "") << "while the component was created";
  component->SetListener(&listener);

  SnmpMessage& message = component->Message();
  message.SetType(PduType::GetRequest);
  message.SetCommunity(std::string(kReadCommunity));
  message.Add(*SnmpVariable::ForGet(kDeviceNameOid));
  component->SetRemoteHost("127.0.0.1");
  component->SetRemotePort(agent.Port());
  component->SetTimeout(0);
  ASSERT_TRUE(component->Send());

  std::vector<std::uint8_t> datagram;
  std::string from;
  std::uint16_t managerPort = 0;
  ASSERT_TRUE(agent.Receive(datagram, from, managerPort, 2000));
  const auto request = test::DecodeRequest(datagram);
  ASSERT_TRUE(request.has_value());
  const std::vector<std::uint8_t> reply = test::EncodeResponse(
      request->requestId, "tundra", {test::TextValue(std::string(kDeviceNameOid), "ap")});
  ASSERT_LT(reply.at(1), 0x80) << "the fixtures expect a short-form outer length";

  for (const MalformedDatagram& malformed : MalformedDatagrams(request->requestId)) {
    SCOPED_TRACE(malformed.defect);
    agent.SendTo(malformed.bytes, "127.0.0.1", managerPort);
    EXPECT_TRUE(wait.WaitReadable(component->Descriptor(), std::chrono::milliseconds(2000)));
    component->ProcessIncoming();
    EXPECT_EQ(listener.replies, 0);
    EXPECT_EQ(captured.TakeNew(), "");
  }
  EXPECT_EQ(listener.errors, std::vector<std::string>{});

  agent.SendTo(test::EncodeResponse(request->requestId, "tundra",
                                    {test::TextValue(std::string(kDeviceNameOid), "ap-seven")}),
               "127.0.0.1", managerPort);
  ASSERT_TRUE(wait.WaitReadable(component->Descriptor(), std::chrono::milliseconds(2000)));
  component->ProcessIncoming();
  EXPECT_EQ(listener.replies, 1);
  ASSERT_NE(component->Message().Item(1), nullptr);
  EXPECT_EQ(component->Message().Item(1)->Text(), "ap-seven");
  EXPECT_EQ(captured.TakeNew(), "");
}

}  // namespace
}  // namespace kelvo::snmp
