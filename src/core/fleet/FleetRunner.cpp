// SPDX-License-Identifier: GPL-2.0-or-later
#include "fleet/FleetRunner.h"

#include <algorithm>

namespace kelvo::fleet {

FleetRunner::FleetRunner(std::size_t parallel, Job job, Progress progress)
    : parallel_(std::clamp<std::size_t>(parallel, 1, kMaxParallel)),
      job_(std::move(job)),
      progress_(std::move(progress)) {}

FleetRunner::~FleetRunner() {
  Cancel();
  Wait();
}

void FleetRunner::Add(std::string host) {
  const std::lock_guard lock(mutex_);
  if (closed_ || cancelled_) return;
  queue_.push_back(std::move(host));
  ++added_;
  // A thread is started only when the waiting ones cannot take every queued host.
  if (queue_.size() > idle_ && threads_.size() < parallel_) {
    threads_.emplace_back([this] { Work(); });
  } else {
    changed_.notify_all();
  }
}

void FleetRunner::Close() {
  const std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

void FleetRunner::Cancel() {
  const std::lock_guard lock(mutex_);
  cancelled_ = true;
  closed_ = true;
  dropped_.insert(dropped_.end(), queue_.begin(), queue_.end());
  queue_.clear();
  changed_.notify_all();
}

void FleetRunner::Wait() {
  std::vector<std::thread> threads;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return Finished(); });
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) thread.join();
}

bool FleetRunner::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return Finished(); });
}

std::vector<std::string> FleetRunner::Dropped() const {
  const std::lock_guard lock(mutex_);
  return dropped_;
}

std::size_t FleetRunner::Done() const {
  const std::lock_guard lock(mutex_);
  return done_;
}

void FleetRunner::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    changed_.wait(lock, [this] { return !queue_.empty() || closed_; });
    --idle_;
    if (queue_.empty()) return;
    const std::string host = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lock.unlock();
    job_(host);
    lock.lock();
    --running_;
    ++done_;
    if (progress_) progress_(done_, added_);
    changed_.notify_all();
  }
}

}  // namespace kelvo::fleet
