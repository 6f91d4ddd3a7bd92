// SPDX-License-Identifier: GPL-2.0-or-later
#include "QtTimers.h"

#include <QObject>
#include <QTimer>
#include <algorithm>

namespace kelvo::gui {

class QtTimers::QtTimer final : public ui::Timer {
 public:
  QtTimer(QtTimers& owner, std::function<void()> onTick)
      : onTick_(std::move(onTick)), owner_(owner) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { owner_.Due(*this); });
  }
  ~QtTimer() override { owner_.Forget(this); }
  QtTimer(const QtTimer&) = delete;
  QtTimer& operator=(const QtTimer&) = delete;

  void Start(std::chrono::milliseconds interval) override {
    held_ = false;
    timer_.start(interval);
  }
  void Stop() override {
    held_ = false;
    timer_.stop();
  }
  bool Active() const override { return timer_.isActive(); }

  bool held_ = false;
  std::function<void()> onTick_;

 private:
  QtTimers& owner_;
  QTimer timer_;
};

QtTimers::QtTimers(BusyCursor& busy, GuiWaitHook& wait) : busy_(busy), wait_(wait) {
  QObject::connect(
      &busy_, &BusyCursor::Idle, &busy_, [this] { RunHeld(); }, Qt::QueuedConnection);
}

QtTimers::~QtTimers() = default;

std::unique_ptr<ui::Timer> QtTimers::CreateTimer(std::function<void()> onTick) {
  auto timer = std::make_unique<QtTimer>(*this, std::move(onTick));
  timers_.push_back(timer.get());
  return timer;
}

void QtTimers::Forget(QtTimer* timer) {
  timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

void QtTimers::Pause(std::chrono::milliseconds duration) {
  ui::BusyScope busy(busy_);
  wait_.Pause(duration);
}

void QtTimers::Due(QtTimer& timer) {
  if (ticking_ || busy_.Depth() > 0 || wait_.Waiting()) {
    timer.held_ = true;
    return;
  }
  ticking_ = true;
  timer.onTick_();
  ticking_ = false;
  // Ticks held during this one run next, from the event loop.
  QTimer::singleShot(0, &busy_, [this] { RunHeld(); });
}

void QtTimers::RunHeld() {
  for (std::size_t i = 0; i < timers_.size(); ++i) {
    QtTimer* timer = timers_[i];
    if (!timer->held_ || !timer->Active()) continue;
    timer->held_ = false;
    Due(*timer);
  }
}

}  // namespace kelvo::gui
