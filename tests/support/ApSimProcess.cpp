// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/ApSimProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/TestSupport.h"

namespace kelvo::test {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t begin = 0;
  while (true) {
    const std::size_t tab = line.find('\t', begin);
    fields.push_back(line.substr(begin, tab == std::string::npos ? tab : tab - begin));
    if (tab == std::string::npos) return fields;
    begin = tab + 1;
  }
}

}  // namespace

ApSimProcess::ApSimProcess(ApSimOptions options) : options_(std::move(options)) {
  std::vector<std::string> arguments = {
      KELVO_APSIM_PATH, "--port",      "0", "--count", std::to_string(options_.count),
      "--first",        options_.first};
  arguments.insert(arguments.end(), options_.extraArguments.begin(), options_.extraArguments.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  // The password travels in the environment, never on a command line other users can read.
  std::vector<std::string> variables =
      EnvironmentWith({"KELVO_APSIM_PASSWORD=" + options_.password});
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  // Socket pairs rather than pipes: writes use MSG_NOSIGNAL, so a dead child cannot raise
  // SIGPIPE in the test.
  int input[2];
  int output[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) {
    throw std::runtime_error("socketpair failed");
  }
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, output) != 0) {
    ::close(input[0]);
    ::close(input[1]);
    throw std::runtime_error("socketpair failed");
  }
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // The simulator ends with the test process, however that ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(input[0], STDIN_FILENO);
    ::dup2(output[1], STDOUT_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(input[0]);
  ::close(output[1]);
  toChild_ = input[1];
  fromChild_ = output[0];
  if (pid_ < 0) {
    ::close(toChild_);
    ::close(fromChild_);
    throw std::runtime_error("fork failed");
  }

  try {
    const std::string line = ReadLine(10000);
    const std::string prefix = "ready port=";
    if (line.rfind(prefix, 0) != 0) throw std::runtime_error("unexpected first line: " + line);
    port_ = static_cast<std::uint16_t>(std::stoi(line.substr(prefix.size())));
  } catch (...) {
    Stop(1000);
    throw;
  }
}

ApSimProcess::~ApSimProcess() {
  if (pid_ > 0) Stop();
}

std::string ApSimProcess::Address(int ap) const {
  in_addr first{};
  ::inet_pton(AF_INET, options_.first.c_str(), &first);
  in_addr address{};
  address.s_addr = htonl(ntohl(first.s_addr) + static_cast<std::uint32_t>(ap));
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

std::string ApSimProcess::ApWord(int ap) const {
  return ap == kAll ? std::string("all") : std::to_string(ap + 1);
}

std::string ApSimProcess::ReadLine(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const std::size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    pollfd pfd{fromChild_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, MillisecondsLeft(deadline));
    if (ready == 0) throw std::runtime_error("kelvo-apsim did not answer in time");
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll on kelvo-apsim failed");
    }
    char chunk[4096];
    const ssize_t length = ::read(fromChild_, chunk, sizeof chunk);
    if (length <= 0) throw std::runtime_error("kelvo-apsim closed its output");
    buffered_.append(chunk, static_cast<std::size_t>(length));
  }
}

std::vector<std::string> ApSimProcess::Command(const std::string& line, int timeoutMs) {
  const std::string text = line + '\n';
  if (::send(toChild_, text.data(), text.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("cannot send to kelvo-apsim: " + line);
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<std::string> lines;
  while (true) {
    std::string reply = ReadLine(MillisecondsLeft(deadline));
    if (reply == "ok") return lines;
    if (reply.rfind("error", 0) == 0) {
      throw std::runtime_error("kelvo-apsim refused '" + line + "': " + reply);
    }
    lines.push_back(std::move(reply));
  }
}

void ApSimProcess::Fault(int ap, const std::string& fault) {
  Command("fault " + ApWord(ap) + ' ' + fault);
}

std::vector<ApSimLogEntry> ApSimProcess::Log(int ap) {
  std::vector<ApSimLogEntry> entries;
  for (const std::string& line : Command("log " + ApWord(ap))) {
    const auto fields = SplitTabs(line);
    if (fields.size() != 6 || fields[4].size() != 1) {
      throw std::runtime_error("malformed log line: " + line);
    }
    entries.push_back(
        {std::stoi(fields[0]), fields[1], fields[2], fields[3], fields[4][0], fields[5]});
  }
  return entries;
}

void ApSimProcess::ClearLog(int ap) { Command("clear-log " + ApWord(ap)); }

ApSimValue ApSimProcess::Get(int ap, const std::string& variable) {
  const auto lines = Command("get " + ApWord(ap) + ' ' + variable);
  if (lines.size() != 1) throw std::runtime_error("get " + variable + ": no value");
  const auto fields = SplitTabs(lines[0]);
  if (fields.size() != 2 || fields[0].size() != 1) {
    throw std::runtime_error("malformed value: " + lines[0]);
  }
  return {fields[0][0], fields[1]};
}

void ApSimProcess::Set(int ap, const std::string& variable, char type, const std::string& value) {
  Command("set " + ApWord(ap) + ' ' + variable + ' ' + type + ' ' + value);
}

void ApSimProcess::SetPassword(int ap, const std::string& password) {
  Command("password " + ApWord(ap) + ' ' + password);
}

std::vector<std::string> ApSimProcess::AuthorizedTable(int ap) {
  return Command("table " + ApWord(ap));
}

ApSimImage ApSimProcess::Image(int ap) {
  const auto lines = Command("image " + ApWord(ap));
  const auto fields = lines.size() == 1 ? SplitTabs(lines[0]) : std::vector<std::string>{};
  if (fields.size() != 5) throw std::runtime_error("malformed image line");
  const auto text = [](const std::string& field) { return field == "-" ? std::string() : field; };
  return {fields[0], std::stoull(fields[1]), text(fields[2]), text(fields[3]), text(fields[4])};
}

int ApSimProcess::WaitForExit(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (true) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) return -1;
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ApSimProcess::Stop(int timeoutMs) {
  if (pid_ <= 0) return -1;
  static constexpr char kQuit[] = "quit\n";
  (void)::send(toChild_, kQuit, sizeof kQuit - 1, MSG_NOSIGNAL);
  ::close(toChild_);
  const int status = WaitForExit(timeoutMs);
  ::close(fromChild_);
  toChild_ = fromChild_ = -1;
  pid_ = -1;
  return status;
}

}  // namespace kelvo::test
