// SPDX-License-Identifier: GPL-2.0-or-later
// The round trip of one group read: the 22 variables of read group 5 asked of one simulated
// access point through AgentSession::ReadGroup, against the same GetRequest issued directly
// through Net-SNMP's single-session API (snmp_sess_add on a UDP transport,
// snmp_sess_synch_response), in the same run. The two are
// interleaved in rounds so that drift in the machine's load hits both alike.
//
//   kelvo-bench-readgroup [--requests 2000] [--rounds 10] [--apsim PATH]
//
// Exit status 1 when a request failed or returned fewer than 22 values.
// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <arpa/inet.h>
#include <net-snmp/library/snmpIPBaseDomain.h>
#include <net-snmp/library/snmpUDPDomain.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "mib/MibVariables.h"
#include "snmp/AgentSession.h"
#include "snmp/NetSnmpLibrary.h"
#include "snmp/SnmpComponent.h"
#include "snmp/WaitHook.h"

namespace {

using Clock = std::chrono::steady_clock;
using kelvo::bench::Microseconds;

constexpr kelvo::mib::Group kGroup = kelvo::mib::Group::Security;
constexpr int kWarmUp = 50;
constexpr long kTimeoutMicroseconds = 2000000;

// Asks for every variable of the group and takes every position of the reply.
class WholeGroupReader final : public kelvo::snmp::AgentGroup {
 public:
  explicit WholeGroupReader(kelvo::mib::Group group) {
    for (const kelvo::mib::Variable variable : kelvo::mib::ReadGroup(group)) {
      oids_.push_back(kelvo::mib::FullOid(variable));
    }
    values_.resize(oids_.size());
  }
  std::vector<std::string> ReadIdentifiers() const override { return oids_; }
  bool Extract(kelvo::snmp::AgentSession& session) override {
    for (std::size_t i = 0; i < oids_.size(); ++i) {
      auto value = session.ResponseValueText(i + 1);
      if (!value) {
        ++failures;
        return false;
      }
      values_[i] = std::move(*value);
    }
    return true;
  }
  void BuildWrite(kelvo::snmp::AgentSession&) override {}

  const std::vector<std::string>& Oids() const { return oids_; }
  int failures = 0;

 private:
  std::vector<std::string> oids_;
  std::vector<std::string> values_;
};

// The same request through Net-SNMP's single-session API, with the identifiers parsed once.
class DirectNetSnmpClient {
 public:
  DirectNetSnmpClient(const std::string& host, std::uint16_t port,
                      const std::vector<std::string>& oids) {
    for (const std::string& text : oids) {
      const auto parts = kelvo::snmp::ParseObjectId(text).value();
      names_.emplace_back(parts.begin(), parts.end());
    }
    values_.resize(oids.size());
    // snmp_sess_open() would look the peer name up among the transports that init_snmp()
    // registers (and would read configuration files); the UDP transport is made directly.
    netsnmp_ep endpoint{};
    endpoint.a.sin.sin_family = AF_INET;
    endpoint.a.sin.sin_port = htons(port);
    ::inet_pton(AF_INET, host.c_str(), &endpoint.a.sin.sin_addr);
    netsnmp_transport* transport = netsnmp_udp_transport(&endpoint, 0);
    if (transport == nullptr) return;
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_1;
    settings.community = reinterpret_cast<u_char*>(community_.data());
    settings.community_len = community_.size();
    settings.retries = 0;
    settings.timeout = kTimeoutMicroseconds;
    handle_ = snmp_sess_add(&settings, transport, nullptr, nullptr);
  }
  ~DirectNetSnmpClient() {
    if (handle_ != nullptr) snmp_sess_close(handle_);
  }
  DirectNetSnmpClient(const DirectNetSnmpClient&) = delete;
  DirectNetSnmpClient& operator=(const DirectNetSnmpClient&) = delete;

  bool Open() const { return handle_ != nullptr; }

  // One GetRequest and its reply; false unless every variable came back without error.
  bool Read() {
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
    for (const std::vector<oid>& name : names_) {
      snmp_add_null_var(request, name.data(), name.size());
    }
    netsnmp_pdu* response = nullptr;
    const int status = snmp_sess_synch_response(handle_, request, &response);
    const bool ok =
        status == STAT_SUCCESS && response != nullptr && response->errstat == SNMP_ERR_NOERROR;
    std::size_t position = 0;
    if (ok) {
      for (const netsnmp_variable_list* var = response->variables; var != nullptr;
           var = var->next_variable, ++position) {
        if (position >= values_.size()) break;
        if (var->type == ASN_OCTET_STR || var->type == ASN_IPADDRESS) {
          values_[position].assign(reinterpret_cast<const char*>(var->val.string), var->val_len);
        } else if (var->type == ASN_INTEGER) {
          values_[position] = std::to_string(*var->val.integer);
        }
      }
    }
    if (response != nullptr) snmp_free_pdu(response);
    return ok && position == values_.size();
  }

 private:
  std::vector<std::vector<oid>> names_;
  std::vector<std::string> values_;
  std::string community_{kelvo::snmp::kReadCommunity};
  void* handle_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvo;
  const int requests = std::atoi(bench::Option(argc, argv, "--requests", "2000").c_str());
  const int rounds = std::atoi(bench::Option(argc, argv, "--rounds", "10").c_str());
  const std::string apsim = bench::Option(argc, argv, "--apsim", KELVO_APSIM_PATH);
  if (requests < rounds || rounds < 1) {
    std::fprintf(stderr, "usage: %s [--requests N] [--rounds R <= N] [--apsim PATH]\n", argv[0]);
    return 2;
  }
  const std::string host = "127.0.0.2";
  const auto rig = bench::StartRig(apsim, 1);
  if (!rig) return 1;
  const auto& simulator = rig->simulator;
  snmp::AgentSession& session = *rig->session;
  bench::CollectingPrompter& prompter = rig->prompter;
  WholeGroupReader reader(kGroup);
  session.AttachGroup(kGroup, &reader);

  DirectNetSnmpClient direct(host, simulator->Port(), reader.Oids());
  if (!direct.Open()) {
    std::fprintf(stderr, "cannot open a Net-SNMP session\n");
    return 1;
  }

  int directFailures = 0;
  for (int i = 0; i < kWarmUp; ++i) {
    session.ReadGroup(kGroup, host);
    if (!direct.Read()) ++directFailures;
  }

  std::vector<double> ours;
  std::vector<double> theirs;
  const int perRound = requests / rounds;
  for (int round = 0; round < rounds; ++round) {
    const auto timeOurs = [&] {
      for (int i = 0; i < perRound; ++i) {
        const auto start = Clock::now();
        session.ReadGroup(kGroup, host);
        ours.push_back(Microseconds(Clock::now() - start));
      }
    };
    const auto timeTheirs = [&] {
      for (int i = 0; i < perRound; ++i) {
        const auto start = Clock::now();
        if (!direct.Read()) ++directFailures;
        theirs.push_back(Microseconds(Clock::now() - start));
      }
    };
    // Alternate which goes first, so neither always runs on a warmed-up agent.
    if (round % 2 == 0) {
      timeOurs();
      timeTheirs();
    } else {
      timeTheirs();
      timeOurs();
    }
  }

  const bench::Summary oursSummary = bench::Summarise(ours);
  const bench::Summary theirsSummary = bench::Summarise(theirs);
  std::printf("read group %d (%zu variables) from %s:%u, %d requests each in %d rounds\n",
              static_cast<int>(kGroup), reader.Oids().size(), host.c_str(), simulator->Port(),
              perRound * rounds, rounds);
  std::printf("AgentSession::ReadGroup:          %s\n",
              bench::FormatSummary(oursSummary, "us").c_str());
  std::printf("Net-SNMP snmp_sess_synch_response: %s\n",
              bench::FormatSummary(theirsSummary, "us").c_str());
  std::printf("ratio of medians (ReadGroup / Net-SNMP): %.3f\n",
              oursSummary.median / theirsSummary.median);
  std::printf("failures: ReadGroup %d (messages shown %zu), Net-SNMP %d\n", reader.failures,
              prompter.messages.size(), directFailures);
  for (const std::string& message : prompter.messages) {
    std::printf("message shown: %s\n", message.c_str());
    break;
  }
  const bool ok = reader.failures == 0 && prompter.messages.empty() && directFailures == 0;
  return ok ? 0 : 1;
}
