// SPDX-License-Identifier: GPL-2.0-or-later
// The simulated access points (kelvo-apsim) as a child process of a test: started on a free
// port, driven through its control channel, stopped with the test. Every wait has a time-out,
// so a hung simulator fails the test instead of hanging it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::test {

struct ApSimOptions {
  int count = 3;
  std::string first = "127.0.0.2";
  std::string password = "admin";
  std::vector<std::string> extraArguments = {};  // e.g. {"--fault", "127.0.0.3:silent"}
};

// One variable of one request, as the simulator logged it.
struct ApSimLogEntry {
  int sequence = 0;  // the request's number at that access point, from 1
  std::string pdu;   // "get", "set", "getnext"
  std::string community;
  std::string oid;    // numeric, without a leading dot
  char type = 'n';    // i INTEGER, s OCTET STRING, a IpAddress, n NULL, o other
  std::string value;  // decimal, upper-case hex, dotted, "-"
};

struct ApSimValue {
  char type = 'n';
  std::string value;
};

// An access point's last firmware download (the "image" command); empty texts for "-".
struct ApSimImage {
  std::string state;  // "none", "fetching", "done", "failed"
  std::uint64_t bytes = 0;
  std::string sha256;  // lower-case hex, when done
  std::string file;    // when done and kelvo-apsim runs with --image-dir
  std::string reason;  // when failed
};

// Access points are 0-based here (ap 0 has options.first); the control channel counts from 1.
// Failures throw std::runtime_error, which fails the calling test.
class ApSimProcess {
 public:
  static constexpr int kAll = -1;

  explicit ApSimProcess(ApSimOptions options = {});
  ~ApSimProcess();
  ApSimProcess(const ApSimProcess&) = delete;
  ApSimProcess& operator=(const ApSimProcess&) = delete;

  std::uint16_t Port() const { return port_; }
  int Count() const { return options_.count; }
  std::string Address(int ap) const;
  pid_t Pid() const { return pid_; }

  // Sends one control line; returns the lines before "ok". Throws on "error ..." and when
  // no answer arrives within timeoutMs.
  std::vector<std::string> Command(const std::string& line, int timeoutMs = 5000);

  // The fault in control-channel words: "none", "silent", "delay 500", "error 5 1", "drop 30".
  void Fault(int ap, const std::string& fault);
  std::vector<ApSimLogEntry> Log(int ap);
  void ClearLog(int ap);
  // A variable by name or numeric OID, as a GetRequest would return it now.
  ApSimValue Get(int ap, const std::string& variable);
  // type: 'i' integer, 's' text, 'x' hex bytes, 'a' dotted address; stored without checks.
  void Set(int ap, const std::string& variable, char type, const std::string& value);
  void SetPassword(int ap, const std::string& password);
  // The authorised MAC table as 12-digit upper-case hex addresses.
  std::vector<std::string> AuthorizedTable(int ap);
  ApSimImage Image(int ap);

  // Sends quit and waits for the exit; returns the exit status (128 + signal when killed).
  int Stop(int timeoutMs = 5000);

 private:
  std::string ApWord(int ap) const;
  // One line of the child's output, without its end; throws after timeoutMs.
  std::string ReadLine(int timeoutMs);
  int WaitForExit(int timeoutMs);

  ApSimOptions options_;
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::uint16_t port_ = 0;
  std::string buffered_;
};

}  // namespace kelvo::test
