// SPDX-License-Identifier: GPL-2.0-or-later
// Waiting inside a request: the socket ends the wait, input made meanwhile is thrown away,
// timers hold their ticks until the request is over, and the pump stays off the socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "BusyCursor.h"
#include "GuiFixture.h"
#include "GuiWaitHook.h"
#include "QtTimers.h"
#include "SocketPump.h"
#include "snmp/SnmpComponent.h"

namespace kelvo::gui {
namespace {

using std::chrono::milliseconds;

class SocketPair {
 public:
  SocketPair() { ::socketpair(AF_UNIX, SOCK_DGRAM, 0, fds_); }
  ~SocketPair() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;
  int Reader() const { return fds_[0]; }
  void Send() const { (void)!::write(fds_[1], "x", 1); }

 private:
  int fds_[2] = {-1, -1};
};

TEST(GuiWaitHookTest, DatagramEndsTheWaitAndTimeOutIsKept) {
  GuiWaitHook hook;
  SocketPair pair;
  QTimer::singleShot(30, [&] { pair.Send(); });
  EXPECT_TRUE(hook.WaitReadable(pair.Reader(), milliseconds(5000)));

  char byte = 0;
  ASSERT_EQ(::read(pair.Reader(), &byte, 1), 1);
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(hook.WaitReadable(pair.Reader(), milliseconds(120)));
  EXPECT_GE(clock.elapsed(), 120) << "the wait lasts its whole time-out";
}

TEST(GuiWaitHookTest, InputDuringTheWaitIsDiscardedNotReplayed) {
  GuiWaitHook hook;
  SocketPair pair;
  QPushButton button("Discovery");
  button.show();
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
  int timerTicks = 0;
  QTimer::singleShot(20, [&] {
    ++timerTicks;  // other events keep running during the wait
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::keyClick(&button, Qt::Key_Space);
  });
  EXPECT_FALSE(hook.WaitReadable(pair.Reader(), milliseconds(150)));
  QTest::qWait(50);
  EXPECT_EQ(timerTicks, 1);
  EXPECT_EQ(clicks, 0);
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicks, 1) << "input after the wait acts again";
}

TEST(QtTimersTest, TickThatFallsDueDuringARequestRunsAfterIt) {
  BusyCursor busy;
  GuiWaitHook hook;
  QtTimers timers(busy, hook);
  SocketPair pair;
  std::vector<std::string> events;
  auto timer = timers.CreateTimer([&] { events.push_back("tick"); });
  timer->Start(milliseconds(20));
  {
    ui::BusyScope request(busy);
    events.push_back("request");
    hook.WaitReadable(pair.Reader(), milliseconds(100));
    events.push_back("reply");
  }
  ASSERT_TRUE(test::SpinUntil([&] { return events.size() >= 4; }));
  timer->Stop();
  EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4),
            (std::vector<std::string>{"request", "reply", "tick", "tick"}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
}

TEST(QtTimersTest, TickNeverRunsInsideAnotherTick) {
  BusyCursor busy;
  GuiWaitHook hook;
  QtTimers timers(busy, hook);
  int depth = 0;
  int deepest = 0;
  int ticks = 0;
  auto slow = timers.CreateTimer([&] {
    ++depth;
    deepest = std::max(deepest, depth);
    ++ticks;
    QTest::qWait(60);  // a message box's event loop, say
    --depth;
  });
  auto fast = timers.CreateTimer([&] {
    ++depth;
    deepest = std::max(deepest, depth);
    --depth;
  });
  slow->Start(milliseconds(10));
  fast->Start(milliseconds(5));
  ASSERT_TRUE(test::SpinUntil([&] { return ticks >= 3; }));
  EXPECT_EQ(deepest, 1);
}

TEST(SocketPumpTest, StandsAsideWhileARequestWaits) {
  GuiWaitHook hook;
  snmp::PollWaitHook poll;
  auto component = snmp::SnmpComponent::Create(poll);
  ASSERT_TRUE(component);
  SocketPump pump(*component, hook);
  EXPECT_TRUE(pump.Active());
  bool activeDuringWait = true;
  QTimer::singleShot(10, [&] { activeDuringWait = pump.Active(); });
  SocketPair pair;
  hook.WaitReadable(pair.Reader(), milliseconds(60));
  EXPECT_FALSE(activeDuringWait);
  EXPECT_TRUE(pump.Active());
}

}  // namespace
}  // namespace kelvo::gui
