// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli backup: each access point's configuration as a profile the window can Load and as
// a JSON snapshot, named by MAC address, with an index of names and addresses; optionally one
// git commit per backup that changed anything.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "CliSupport.h"
#include "FleetCommands.h"
#include "FleetSupport.h"
#include "history/BackupHistory.h"
#include "profiles/ProfileFile.h"
#include "util/FileReplacer.h"

namespace kelvo::cli {
namespace {

constexpr std::string_view kIndexName = "index.json";
constexpr std::string_view kSnapshotExtension = ".json";

struct IndexEntry {
  std::string deviceName;
  std::string address;
};
using Index = std::map<std::string, IndexEntry>;  // by MAC

enum class Change { None, Added, Changed, Gone };

std::optional<std::string> ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

Index ReadIndex(const std::string& path) {
  Index index;
  const auto bytes = ReadWhole(path);
  if (!bytes) return index;
  const auto object = nlohmann::json::parse(*bytes, nullptr, false);
  if (!object.is_object() || !object.contains("accessPoints") ||
      !object["accessPoints"].is_array()) {
    return index;
  }
  for (const auto& entry : object["accessPoints"]) {
    if (!entry.is_object()) continue;
    const auto text = [&entry](const char* key) {
      const auto found = entry.find(key);
      return found != entry.end() && found->is_string() ? found->get<std::string>() : std::string();
    };
    if (!text("macAddress").empty()) {
      index[text("macAddress")] = {text("deviceName"), text("address")};
    }
  }
  return index;
}

std::string FormatIndex(const Index& index) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& [mac, entry] : index) {
    list.push_back(nlohmann::ordered_json{
        {"macAddress", mac}, {"deviceName", entry.deviceName}, {"address", entry.address}});
  }
  nlohmann::ordered_json object{{"schema", fleet::kJsonSchema}, {"accessPoints", list}};
  return object.dump(2) + '\n';
}

bool IsMac(const std::string& text) {
  return text.size() == 12 && profiles::StartsWithTwelveHexDigits(text);
}

// What one run did, filled from the runner's threads.
class BackupRun {
 public:
  BackupRun(std::string directory, FleetConsole& console)
      : directory_(std::move(directory)), console_(console) {}

  std::string Path(std::string_view name) const { return directory_ + '/' + std::string(name); }

  // Claims a MAC address for one access point; false when another one of this run has it.
  bool Claim(const std::string& mac, const std::string& host, std::string& holder) {
    const std::lock_guard lock(mutex_);
    const auto [place, inserted] = claimed_.emplace(mac, host);
    holder = place->second;
    return inserted;
  }

  // Writes a file unless it holds these bytes already; the change it made.
  Change Store(const std::string& host, const std::string& name, const std::string& bytes,
               bool& ok) {
    const std::string path = Path(name);
    const auto old = ReadWhole(path);
    if (old == bytes) return Change::None;
    if (!replacer_.Replace(path, bytes)) {
      console_.Message(host, "cannot write " + path + ": " + std::strerror(errno));
      ok = false;
      return Change::None;
    }
    return old ? Change::Changed : Change::Added;
  }

  void Done(const std::string& mac, IndexEntry entry, Change change) {
    const std::lock_guard lock(mutex_);
    saved_[mac] = {std::move(entry), change};
  }
  void Failed(HostRead read) {
    const std::lock_guard lock(mutex_);
    failed_.push_back(std::move(read));
  }

  struct Saved {
    IndexEntry entry;
    Change change;
  };
  const std::map<std::string, Saved>& SavedByMac() const { return saved_; }
  std::size_t FailedCount() const { return failed_.size(); }

 private:
  std::string directory_;
  FleetConsole& console_;
  util::FileReplacer replacer_;
  std::mutex mutex_;
  std::map<std::string, std::string> claimed_;
  std::map<std::string, Saved> saved_;
  std::vector<HostRead> failed_;
};

void BackUp(BackupRun& run, const std::string& host, std::uint16_t port,
            const std::string& community, FleetConsole& console) {
  fleet::HeadlessSheet sheet(console.SinkFor(host));
  HostRead read = ReadHost(sheet, host, port, community, true, console);
  if (!read.configuration) {
    run.Failed(std::move(read));
    return;
  }
  const fleet::Configuration& configuration = *read.configuration;
  const std::string mac = configuration.Value("macAddress").value_or("");
  std::string holder;
  if (!IsMac(mac)) {
    console.Message(host, "the access point sent no usable MAC address; not backed up");
    run.Failed(std::move(read));
    return;
  }
  if (!run.Claim(mac, host, holder)) {
    console.Message(host,
                    "MAC address " + mac + " is also the one of " + holder + "; not backed up");
    run.Failed(std::move(read));
    return;
  }
  const std::optional<std::string> profile = sheet.Sheet().Profiles().FormatCurrent();
  if (!profile) {
    run.Failed(std::move(read));
    return;
  }
  bool ok = true;
  const Change profileChange =
      run.Store(host, mac + std::string(profiles::kProfileExtension), *profile, ok);
  const Change snapshotChange = run.Store(host, mac + std::string(kSnapshotExtension),
                                          fleet::ToJson(configuration).dump(2) + '\n', ok);
  if (!ok) {
    run.Failed(std::move(read));
    return;
  }
  Change change = Change::None;
  if (profileChange == Change::Added || snapshotChange == Change::Added) {
    change = Change::Added;
  } else if (profileChange != Change::None || snapshotChange != Change::None) {
    change = Change::Changed;
  }
  run.Done(mac, {configuration.Value("deviceName").value_or(""), host}, change);
}

std::string Named(const std::string& mac, const IndexEntry& entry) {
  return mac + ' ' + entry.deviceName + " (" + entry.address + ')';
}

}  // namespace

int RunBackup(std::uint16_t port, std::vector<std::string_view> args) {
  FleetOptions options;
  std::vector<std::string_view> flags;
  if (auto problem = TakeFleetOptions(std::move(args), true, {"--git"}, options, flags);
      !problem.empty() || !options.format.empty()) {
    return Usage(problem.empty() ? "backup takes no --format" : problem);
  }
  if (options.operands.empty()) return Usage("backup needs DIR");
  const bool git = !flags.empty();
  const std::string directory = options.operands.front();
  const std::vector<std::string> hosts(options.operands.begin() + 1, options.operands.end());
  if (!hosts.empty() && !options.targets.empty()) {
    return Usage("backup takes HOST arguments or --to, not both");
  }
  // Profiles and snapshots describe the network: the directory is the user's alone.
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    std::cerr << "kelvo-cli: cannot create " << directory << ": " << std::strerror(errno) << '\n';
    return kExitAgent;
  }
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    std::cerr << "kelvo-cli: " << directory << " is not a directory\n";
    return kExitAgent;
  }

  InterruptGuard guard;
  FleetConsole console;
  BackupRun run(directory, console);
  std::vector<std::string> unanswered;
  std::vector<std::string> dropped;
  std::set<std::string> attempted;
  std::mutex attemptedMutex;
  const auto job = [&](const std::string& host) {
    {
      const std::lock_guard lock(attemptedMutex);
      attempted.insert(host);
    }
    BackUp(run, host, port, options.community, console);
  };
  if (!RunFleet(port, options, hosts, console, job, unanswered, dropped)) return kExitAgent;

  // The index: last run's entries, updated by this run's, without the access points that are
  // gone. Only a discovery that ran to its end can tell that one is gone; one that answered
  // it but could not be read keeps its files.
  const std::string indexPath = run.Path(kIndexName);
  const Index old = ReadIndex(indexPath);
  Index index = old;
  std::vector<std::pair<std::string, Change>> changes;
  for (const auto& [mac, saved] : run.SavedByMac()) {
    index[mac] = saved.entry;
    if (saved.change != Change::None) changes.emplace_back(mac, saved.change);
  }
  // With --to, only an access point at one of those addresses can be found gone.
  const std::set<std::string> targets(options.targets.begin(), options.targets.end());
  const bool wholeDiscovery = hosts.empty() && !InterruptGuard::Interrupted();
  if (wholeDiscovery) {
    for (const auto& [mac, entry] : old) {
      if (run.SavedByMac().contains(mac) || attempted.contains(entry.address)) continue;
      if (!targets.empty() && !targets.contains(entry.address)) continue;
      index.erase(mac);
      for (const std::string_view extension : {profiles::kProfileExtension, kSnapshotExtension}) {
        ::unlink(run.Path(mac + std::string(extension)).c_str());
      }
      changes.emplace_back(mac, Change::Gone);
    }
  }
  int status =
      run.FailedCount() == 0 && unanswered.empty() && dropped.empty() ? kExitOk : kExitAgent;
  const auto oldIndexBytes = ReadWhole(indexPath);
  const bool nothing = index.empty() && !oldIndexBytes;
  if (util::FileReplacer replacer; !nothing && oldIndexBytes != FormatIndex(index) &&
                                   !replacer.Replace(indexPath, FormatIndex(index))) {
    std::cerr << "kelvo-cli: cannot write " << indexPath << '\n';
    status = kExitAgent;
  }

  std::size_t counts[4] = {};
  std::string lines;
  for (const auto& [mac, change] : changes) {
    ++counts[static_cast<int>(change)];
    const char* word = change == Change::Added  ? "added"
                       : change == Change::Gone ? "gone"
                                                : "changed";
    const IndexEntry& entry = change == Change::Gone ? old.at(mac) : index.at(mac);
    lines += std::string(word) + ": " + Named(mac, entry) + '\n';
  }
  const std::string summary =
      std::to_string(run.SavedByMac().size()) + " access points backed up, " +
      std::to_string(counts[static_cast<int>(Change::Added)]) + " added, " +
      std::to_string(counts[static_cast<int>(Change::Changed)]) + " changed, " +
      std::to_string(counts[static_cast<int>(Change::Gone)]) + " gone";
  std::cout << summary << '\n' << lines;
  if (git) {
    std::string message = "Backup: " + summary + "\n\n" + lines;
    if (lines.empty()) {
      for (const auto& [mac, entry] : index) message += "present: " + Named(mac, entry) + '\n';
    }
    const history::HistoryResult result = history::CommitChanges(directory, message);
    if (!result.ok) {
      std::cerr << "kelvo-cli: " << result.error << '\n';
      status = kExitAgent;
    } else if (result.committed) {
      std::cout << "committed " << result.commitId.substr(0, 12) << '\n';
    }
  }
  if (InterruptGuard::Interrupted()) {
    std::cerr << "kelvo-cli: interrupted: " << run.SavedByMac().size()
              << " access points backed up, " << dropped.size() << " not read\n";
  }
  return status;
}

}  // namespace kelvo::cli
