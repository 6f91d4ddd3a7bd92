// SPDX-License-Identifier: GPL-2.0-or-later
// The Traffic window's reads: a thread of its own, with its own session and socket, reads one
// access point's counters quietly every two seconds and posts each read to the GUI thread. It never
// uses the program's session, so the configuration sheet and discovery go on undisturbed.
#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "statistics/TrafficHistory.h"

namespace kelvo::gui {

class TrafficReader final : public QObject {
  Q_OBJECT

 public:
  // Every two seconds: the charts' redraw is what costs, and five minutes still get 150 points.
  static constexpr std::chrono::milliseconds kInterval{2000};

  // Starts reading at once. GUI thread.
  TrafficReader(std::string host, std::uint16_t agentPort, QObject* parent = nullptr);
  // Returns at once: no read is posted from now on, the thread ends before its next read, and a
  // read in flight still runs to its reply or time-out on the thread alone.
  ~TrafficReader() override;

  // Waits up to timeout until the threads of every reader made so far have ended; whether they
  // have. For the program's end, so that no thread outlives what it uses.
  static bool WaitForAllEnded(std::chrono::milliseconds timeout);

 Q_SIGNALS:
  // On the GUI thread, once per read.
  void ReadDone(const kelvo::statistics::TrafficRead& read);

 private:
  // GUI thread: emits ReadDone for each read the thread has queued.
  Q_INVOKABLE void Deliver();

  struct Shared;
  // The thread keeps its own copies of the arguments for as long as it runs.
  static void Run(const std::shared_ptr<Shared>& shared, const std::string& host,
                  std::uint16_t agentPort);

  std::shared_ptr<Shared> shared_;
};

}  // namespace kelvo::gui
