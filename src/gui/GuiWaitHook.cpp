// SPDX-License-Identifier: GPL-2.0-or-later
#include "GuiWaitHook.h"

#include <poll.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

namespace kelvo::gui {
namespace {

bool Readable(int fd) {
  pollfd pfd{fd, POLLIN, 0};
  return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0;
}

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    // A close box pressed meanwhile would start a second request inside this one.
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

// Swallows the user's input for as long as it is installed on the application.
class InputDiscarder final : public QObject {
 public:
  InputDiscarder() { QCoreApplication::instance()->installEventFilter(this); }
  ~InputDiscarder() override { QCoreApplication::instance()->removeEventFilter(this); }
  InputDiscarder(const InputDiscarder&) = delete;
  InputDiscarder& operator=(const InputDiscarder&) = delete;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    return event->spontaneous() && IsUserInput(event->type());
  }
};

}  // namespace

bool GuiWaitHook::WaitReadable(int fd, std::chrono::milliseconds timeout) {
  return Wait(fd, timeout);
}

void GuiWaitHook::Pause(std::chrono::milliseconds duration) { Wait(-1, duration); }

bool GuiWaitHook::Wait(int fd, std::chrono::milliseconds timeout) {
  if (fd >= 0 && Readable(fd)) return true;
  if (timeout.count() <= 0) return false;

  ++depth_;
  Q_EMIT WaitStarted();
  {
    InputDiscarder discarder;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::unique_ptr<QSocketNotifier> notifier;
    if (fd >= 0) {
      notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
      QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    }
    deadline.start(timeout);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    notifier.reset();
    // Input held back by the window system during the wait reaches the discarder now.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
  }
  --depth_;
  Q_EMIT WaitFinished();
  return fd >= 0 && Readable(fd);
}

}  // namespace kelvo::gui
