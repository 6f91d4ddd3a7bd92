// SPDX-License-Identifier: GPL-2.0-or-later
// Runs one job per access point on a bounded set of threads. Each job builds its own session
// and socket (a HeadlessSheet), so every access point gets the sequences, time-outs and
// messages of the single access point code, and a silent one costs its own time-out only.
// Hosts may be added while jobs run (as discovery replies arrive). The runner prints nothing:
// jobs report through their own results.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kelvo::fleet {

// Access points in flight when the caller does not say.
inline constexpr std::size_t kDefaultParallel = 64;
inline constexpr std::size_t kMaxParallel = 1024;

class FleetRunner {
 public:
  using Job = std::function<void(const std::string& host)>;
  // Called after each job, on the job's thread, with the jobs finished and the hosts added.
  using Progress = std::function<void(std::size_t done, std::size_t added)>;

  FleetRunner(std::size_t parallel, Job job, Progress progress = {});
  // Cancels what has not started and waits for the rest.
  ~FleetRunner();
  FleetRunner(const FleetRunner&) = delete;
  FleetRunner& operator=(const FleetRunner&) = delete;

  void Add(std::string host);
  // No more hosts will come; Wait returns once the queue is empty and every job has ended.
  void Close();
  // Hosts not yet started are dropped; jobs already running end on their own.
  void Cancel();
  void Wait();
  // Waits at most `timeout` for the end of Wait's wait; true when it has come.
  bool WaitFor(std::chrono::milliseconds timeout);

  // The hosts dropped by Cancel, in the order they were added.
  std::vector<std::string> Dropped() const;
  std::size_t Done() const;

 private:
  void Work();
  bool Finished() const { return closed_ && queue_.empty() && running_ == 0; }

  const std::size_t parallel_;
  Job job_;
  Progress progress_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<std::string> dropped_;
  std::vector<std::thread> threads_;
  std::size_t idle_ = 0;
  std::size_t running_ = 0;
  std::size_t added_ = 0;
  std::size_t done_ = 0;
  bool closed_ = false;
  bool cancelled_ = false;
};

}  // namespace kelvo::fleet
