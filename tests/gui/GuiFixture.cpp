// SPDX-License-Identifier: GPL-2.0-or-later
#include "GuiFixture.h"

#include <QElapsedTimer>
#include <QTimer>
#include <memory>

namespace kelvo::test {

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeout.count()) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

void OnModal(std::function<void(QWidget*)> action) {
  // Owned by the application; deletes itself once it has acted or given up.
  auto* poll = new QTimer(QCoreApplication::instance());
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  poll->setInterval(20);
  QObject::connect(poll, &QTimer::timeout, [poll, clock, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool ready = modal != nullptr && modal->isVisible();
    if (!ready && clock->elapsed() < 5000) return;
    poll->stop();
    poll->deleteLater();
    if (ready) action(modal);
  });
  poll->start();
}

}  // namespace kelvo::test
