// SPDX-License-Identifier: GPL-2.0-or-later
#include "TrafficReader.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "fleet/HeadlessSheet.h"
#include "util/UniqueFd.h"

namespace kelvo::gui {
namespace {

// The reader threads still running. Never destroyed: a thread may finish after main returned.
struct RunningThreads {
  std::mutex mutex;
  std::condition_variable ended;
  int count = 0;
};

RunningThreads& Running() {
  static auto* running = new RunningThreads;
  return *running;
}

// Whether stop became readable within timeout.
bool StopWithin(int stop, std::chrono::steady_clock::duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd descriptor{stop, POLLIN, 0};
    const int ready = ::poll(&descriptor, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (ready > 0) return true;
    if (ready == 0 && left.count() <= 0) return false;
  }
}

}  // namespace

struct TrafficReader::Shared {
  std::mutex mutex;
  // The reader to post to; null once it is gone. Guarded by mutex.
  TrafficReader* owner = nullptr;
  // Reads not yet delivered. Guarded by mutex.
  std::vector<statistics::TrafficRead> pending;
  // Readable once the reader is gone.
  util::UniqueFd stop{::eventfd(0, EFD_CLOEXEC)};
};

TrafficReader::TrafficReader(std::string host, std::uint16_t agentPort, QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()) {
  shared_->owner = this;
  {
    const std::lock_guard lock(Running().mutex);
    ++Running().count;
  }
  std::thread(&TrafficReader::Run, shared_, std::move(host), agentPort).detach();
}

TrafficReader::~TrafficReader() {
  const std::lock_guard lock(shared_->mutex);
  shared_->owner = nullptr;
  const std::uint64_t one = 1;
  (void)!::write(shared_->stop.Get(), &one, sizeof one);
}

void TrafficReader::Deliver() {
  std::vector<statistics::TrafficRead> reads;
  {
    const std::lock_guard lock(shared_->mutex);
    reads.swap(shared_->pending);
  }
  for (const statistics::TrafficRead& read : reads) Q_EMIT ReadDone(read);
}

bool TrafficReader::WaitForAllEnded(std::chrono::milliseconds timeout) {
  std::unique_lock lock(Running().mutex);
  return Running().ended.wait_for(lock, timeout, [] { return Running().count == 0; });
}

// The reader's thread.
void TrafficReader::Run(const std::shared_ptr<Shared>& shared, const std::string& host,
                        std::uint16_t agentPort) {
  ::pthread_setname_np(::pthread_self(), "kelvo-traffic");
  {
    fleet::HeadlessSheet sheet;
    // It only reads; nothing it does could change the device.
    sheet.SetReadOnly(true);
    const bool started = sheet.Start(agentPort, std::string());
    auto next = std::chrono::steady_clock::now();
    for (;;) {
      statistics::TrafficRead read;
      if (started) read.counters = statistics::ReadCounters(sheet.Agent(), host);
      read.at = std::chrono::steady_clock::now();
      read.wallTime = std::chrono::system_clock::now();
      {
        const std::lock_guard lock(shared->mutex);
        TrafficReader* owner = shared->owner;
        if (owner == nullptr) break;
        // The read travels under the mutex, the call by name: the event is Qt's alone, and
        // posted events die with their receiver, so nothing reaches a reader that is gone.
        shared->pending.push_back(read);
        QMetaObject::invokeMethod(owner, "Deliver", Qt::QueuedConnection);
      }
      // Reads keep to the second; after a slow one the next waits a whole interval.
      const auto now = std::chrono::steady_clock::now();
      next += kInterval;
      if (next < now) next = now + kInterval;
      if (StopWithin(shared->stop.Get(), next - now)) break;
    }
  }
  const std::lock_guard lock(Running().mutex);
  --Running().count;
  Running().ended.notify_all();
}

}  // namespace kelvo::gui
