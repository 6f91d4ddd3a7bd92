// SPDX-License-Identifier: GPL-2.0-or-later
#include "ExporterCommand.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <prometheus/collectable.h>
#include <prometheus/exposer.h>
#include <prometheus/metric_family.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "CliSupport.h"
#include "FleetSupport.h"
#include "fleet/DeviceFinder.h"
#include "fleet/FleetRunner.h"
#include "fleet/HeadlessSheet.h"
#include "statistics/CounterRates.h"
#include "ui/Controls.h"
#include "util/Parse.h"

namespace kelvo::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kDefaultListen = "127.0.0.1:9757";
constexpr auto kDefaultRediscover = std::chrono::seconds(300);
constexpr auto kInterruptPoll = std::chrono::milliseconds(100);

struct ListenAddress {
  std::string address;
  std::uint16_t port = 0;
  std::string Text() const { return address + ':' + std::to_string(port); }
};

// An IPv4 address and a port (0: any free one).
std::optional<ListenAddress> ParseListen(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  ListenAddress listen;
  listen.address = text.substr(0, colon);
  in_addr address{};
  if (::inet_pton(AF_INET, listen.address.c_str(), &address) != 1) return std::nullopt;
  const auto port = util::ParseInteger<long>(text.substr(colon + 1), util::IntegerForm::Strict);
  if (!port || *port < 0 || *port > 65535) return std::nullopt;
  listen.port = static_cast<std::uint16_t>(*port);
  return listen;
}

// Why the HTTP server could not listen there, in the kernel's words; "" when it could. The
// server itself only says that it failed.
std::string BindProblem(const ListenAddress& listen) {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) return std::error_code(errno, std::generic_category()).message();
  // As the server binds: a socket lingering in TIME_WAIT does not count, a listening one does.
  const int on = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(listen.port);
  ::inet_pton(AF_INET, listen.address.c_str(), &address.sin_addr);
  std::string problem;
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    problem = std::error_code(errno, std::generic_category()).message();
  }
  ::close(socket);
  return problem;
}

std::string_view ColumnWords(statistics::Column column) {
  switch (column) {
    case statistics::Column::EthernetReceive:
      return "Ethernet receive";
    case statistics::Column::EthernetTransmit:
      return "Ethernet transmit";
    case statistics::Column::WirelessReceive:
      return "Wireless receive";
    case statistics::Column::WirelessTransmit:
      break;
  }
  return "Wireless transmit";
}

// "Ethernet receive TotalBytesRx": the side and the Statistic page's label.
std::string HelpText(const statistics::CounterSlot& counter) {
  std::string_view label = counter.label;
  if (label.ends_with(':')) label.remove_suffix(1);
  return std::string(ColumnWords(counter.column)) + ' ' + std::string(label);
}

// A device name as a label value, which must be UTF-8: the device's Latin-1 text up to the
// first NUL.
std::string LabelText(const std::vector<std::uint8_t>& bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return ui::Utf8FromLatin1(std::string(bytes.begin(), end));
}

prometheus::MetricFamily Family(std::string name, std::string help, prometheus::MetricType type) {
  prometheus::MetricFamily family;
  family.name = std::move(name);
  family.help = std::move(help);
  family.type = type;
  return family;
}

// The access points and their counters. Scrapes come from the HTTP server's threads and are
// served one at a time; addresses come from the discovery thread at any moment.
class FleetMetrics {
 public:
  FleetMetrics(std::uint16_t agentPort, std::string community, std::size_t parallel)
      : agentPort_(agentPort), community_(std::move(community)), parallel_(parallel) {}

  // Any thread. An address already known is left as it is.
  void Add(const std::string& address) {
    const std::lock_guard lock(knownMutex_);
    auto& point = known_[address];
    if (!point) point = std::make_unique<AccessPoint>(address);
  }

  // Reads every known access point at once, each on its own session, and describes them all.
  std::vector<prometheus::MetricFamily> Scrape() {
    const std::lock_guard scrape(scrapeMutex_);
    const auto start = Clock::now();
    std::map<std::string, AccessPoint*> points;
    {
      const std::lock_guard lock(knownMutex_);
      for (const auto& [address, point] : known_) points.emplace(address, point.get());
    }
    if (!points.empty()) {
      fleet::FleetRunner runner(
          std::min(parallel_, points.size()),
          [this, &points](const std::string& host) { Read(*points.at(host)); });
      for (const auto& entry : points) runner.Add(entry.first);
      runner.Close();
      runner.Wait();
    }
    const std::chrono::duration<double> took = Clock::now() - start;
    std::vector<const AccessPoint*> sorted;
    sorted.reserve(points.size());
    for (const auto& entry : points) sorted.push_back(entry.second);
    std::sort(sorted.begin(), sorted.end(), [](const AccessPoint* a, const AccessPoint* b) {
      return AddressLess(a->address, b->address);
    });
    return Describe(sorted, took.count());
  }

 private:
  // Touched only by the scrape that holds scrapeMutex_, and by one of its jobs at a time.
  struct AccessPoint {
    explicit AccessPoint(std::string where) : address(std::move(where)) {}
    std::string address;
    // Read once, when the access point first answers; empty until then.
    std::string name;
    std::string mac;
    // Kept from scrape to scrape, so that a late reply to the last one is recognised as such.
    std::unique_ptr<fleet::HeadlessSheet> sheet;
    statistics::RateTracker tracker;
    bool up = false;

    std::vector<prometheus::ClientMetric::Label> Labels() const {
      return {{"address", address}, {"name", name}, {"mac", mac}};
    }
  };

  // On a runner thread. A silent access point costs one read time-out.
  void Read(AccessPoint& point) {
    point.up = false;
    if (!point.sheet) {
      auto sheet = std::make_unique<fleet::HeadlessSheet>();
      sheet->SetReadOnly(true);
      if (!sheet->Start(agentPort_, community_)) return;
      point.sheet = std::move(sheet);
    }
    snmp::AgentSession& agent = point.sheet->Agent();
    if (point.mac.empty()) {
      const auto name = fleet::GetValue(agent, point.address, mib::Variable::DeviceName);
      const auto mac = name ? fleet::ReadMacAddress(agent, point.address) : std::nullopt;
      if (!mac) return;
      point.name = LabelText(*name);
      point.mac = *mac;
    }
    const auto values = statistics::ReadCounters(agent, point.address);
    if (!values) return;
    point.up = true;
    point.tracker.Add(*values, Clock::now());
  }

  static std::vector<prometheus::MetricFamily> Describe(
      const std::vector<const AccessPoint*>& points, double seconds) {
    std::vector<prometheus::MetricFamily> families;
    for (std::size_t i = 0; i < statistics::kCounterCount; ++i) {
      const statistics::CounterSlot& counter = statistics::kCounters[i];
      auto family = Family("kelvo_" + std::string(counter.key) + "_total", HelpText(counter),
                           prometheus::MetricType::Counter);
      for (const AccessPoint* point : points) {
        const auto& total = point->tracker.Totals()[i];
        if (!point->up || !total) continue;
        auto& metric = family.metric.emplace_back();
        metric.label = point->Labels();
        metric.counter.value = static_cast<double>(*total);
      }
      if (!family.metric.empty()) families.push_back(std::move(family));
    }
    auto up = Family("kelvo_up", "1 when the access point answered this scrape's read, else 0",
                     prometheus::MetricType::Gauge);
    for (const AccessPoint* point : points) {
      auto& metric = up.metric.emplace_back();
      metric.label = point->Labels();
      metric.gauge.value = point->up ? 1 : 0;
    }
    families.push_back(std::move(up));
    auto count = Family("kelvo_access_points", "Access points known, answering or not",
                        prometheus::MetricType::Gauge);
    count.metric.emplace_back().gauge.value = static_cast<double>(points.size());
    families.push_back(std::move(count));
    auto duration =
        Family("kelvo_scrape_duration_seconds", "Time this scrape took to read every access point",
               prometheus::MetricType::Gauge);
    duration.metric.emplace_back().gauge.value = seconds;
    families.push_back(std::move(duration));
    return families;
  }

  const std::uint16_t agentPort_;
  const std::string community_;
  const std::size_t parallel_;
  std::mutex scrapeMutex_;
  std::mutex knownMutex_;
  std::map<std::string, std::unique_ptr<AccessPoint>> known_;
};

// What the HTTP server asks for; called on its worker threads.
class ScrapeCollectable final : public prometheus::Collectable {
 public:
  explicit ScrapeCollectable(FleetMetrics& metrics) : metrics_(metrics) {}
  std::vector<prometheus::MetricFamily> Collect() const override { return metrics_.Scrape(); }

 private:
  FleetMetrics& metrics_;
};

// Discovery on a thread of its own: at once, then every `interval` (0: never again), each
// access point that answers added to the metrics. The destructor ends and joins the thread,
// within a discovery's wait at most (less after an interrupt, which ends discovery early).
class Rediscovery {
 public:
  Rediscovery(std::uint16_t port, FleetOptions options, std::chrono::milliseconds interval,
              FleetMetrics& metrics)
      : port_(port),
        options_(std::move(options)),
        interval_(interval),
        metrics_(metrics),
        thread_([this] { Run(); }) {}
  ~Rediscovery() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  Rediscovery(const Rediscovery&) = delete;
  Rediscovery& operator=(const Rediscovery&) = delete;

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      lock.unlock();
      DiscoverEach(port_, options_, [this](const std::string& host) { metrics_.Add(host); });
      lock.lock();
      if (interval_.count() == 0) {
        changed_.wait(lock, [this] { return stop_; });
      } else {
        changed_.wait_for(lock, interval_, [this] { return stop_; });
      }
    }
  }

  const std::uint16_t port_;
  const FleetOptions options_;
  const std::chrono::milliseconds interval_;
  FleetMetrics& metrics_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::thread thread_;  // last: it starts once the members it reads exist
};

}  // namespace

int RunExporter(std::uint16_t port, std::vector<std::string_view> args) {
  const auto listenText = TakeOptionValue(args, "--listen");
  std::chrono::milliseconds rediscover = kDefaultRediscover;
  if (auto problem = TakeSeconds(args, "--rediscover", rediscover); !problem.empty()) {
    return Usage(problem);
  }
  FleetOptions options;
  std::vector<std::string_view> flags;
  if (auto problem = TakeFleetOptions(std::move(args), true, {}, options, flags);
      !problem.empty() || !options.format.empty()) {
    return Usage(problem.empty() ? "exporter takes no --format" : problem);
  }
  const auto listen = ParseListen(listenText.value_or(std::string(kDefaultListen)));
  if (!listen) return Usage("--listen takes ADDRESS:PORT, an IPv4 address and a port");

  InterruptGuard guard;
  if (const std::string problem = BindProblem(*listen); !problem.empty()) {
    std::cerr << "kelvo-cli: cannot listen on " << listen->Text() << ": " << problem << '\n';
    return kExitAgent;
  }
  FleetMetrics metrics(port, options.community, options.parallel);
  for (const std::string& host : options.operands) metrics.Add(host);
  const auto collectable = std::make_shared<ScrapeCollectable>(metrics);
  std::optional<prometheus::Exposer> exposer;
  try {
    exposer.emplace(listen->Text());
  } catch (const std::exception&) {
    std::cerr << "kelvo-cli: cannot listen on " << listen->Text() << '\n';
    return kExitAgent;
  }
  // "$": the path itself only; the server would hand it every path below too.
  exposer->RegisterCollectable(collectable, "/metrics$");
  const auto ports = exposer->GetListeningPorts();
  std::cerr << "kelvo-cli: serving http://" << listen->address << ':'
            << (ports.empty() ? listen->port : ports.front()) << "/metrics\n"
            << std::flush;

  std::optional<Rediscovery> rediscovery;
  if (options.operands.empty() || !options.targets.empty()) {
    rediscovery.emplace(port, options, rediscover, metrics);
  }
  while (!InterruptGuard::Interrupted()) std::this_thread::sleep_for(kInterruptPoll);
  rediscovery.reset();
  exposer.reset();
  return kExitOk;
}

}  // namespace kelvo::cli
