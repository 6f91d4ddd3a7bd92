// SPDX-License-Identifier: GPL-2.0-or-later
// What the Traffic window costs while it runs: the desktop program in-process against one
// simulated access point (offscreen unless QT_QPA_PLATFORM says otherwise), the main window
// after discovery and the Traffic window of that access point open; then this process's CPU
// time (user + system, every thread) over --seconds of the event loop, as a share of one core.
// --warm-up first lets the charts fill (300 s fills the five minutes) before the clock starts.
//
//   kelvo-bench-traffic-window [--seconds 60] [--warm-up 0] [--apsim PATH]
//
// Exit status 1 when reads were missed (fewer replies than the reads due in the span, less one) or
// a message was shown.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <string>

#include "Application.h"
#include "BenchSupport.h"
#include "MainWindowView.h"
#include "TrafficReader.h"
#include "TrafficWindow.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop, idle as the program is, for the duration.
void RunFor(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec();
}

bool RunUntil(const std::function<bool()>& done, std::chrono::seconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < std::chrono::milliseconds(timeout).count()) {
    RunFor(std::chrono::milliseconds(50));
  }
  return done();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string apsim = kelvo::bench::Option(argc, argv, "--apsim", KELVO_APSIM_PATH);
  const int seconds = std::stoi(kelvo::bench::Option(argc, argv, "--seconds", "60"));
  const int warmUp = std::stoi(kelvo::bench::Option(argc, argv, "--warm-up", "0"));
  if (seconds < 3 || warmUp < 0) {
    std::fprintf(
        stderr,
        "usage: kelvo-bench-traffic-window [--seconds N>=3] [--warm-up N] [--apsim PATH]\n");
    return 2;
  }
  QApplication qtApplication(argc, argv);

  std::string error;
  const auto simulator =
      kelvo::bench::SimulatorProcess::Start(apsim, {"--count", "1", "--first", "127.0.0.2"}, error);
  if (!simulator) {
    std::fprintf(stderr, "kelvo-apsim: %s\n", error.c_str());
    return 1;
  }
  QTemporaryDir scratch;
  kelvo::gui::StartOptions options;
  options.agentPort = simulator->Port();
  options.listenPort = 0;
  options.discoveryTargets = {"127.255.255.255"};
  options.settingsPath = scratch.path() + QStringLiteral("/");
  options.lockDirectory = scratch.path();
  kelvo::bench::CollectingPrompter prompter;
  kelvo::gui::Application application(options, &prompter);
  if (const auto exitCode = application.Start()) {
    std::fprintf(stderr, "the program ended at start-up with %d\n", *exitCode);
    return 1;
  }
  if (!RunUntil([&] { return !application.MainWindowModel().Rows().empty(); },
                std::chrono::seconds(5))) {
    std::fprintf(stderr, "the access point was never listed\n");
    return 1;
  }
  application.MainWindowModel().ClickRow(0);
  kelvo::gui::TrafficWindow* window = application.Window()->ShowTraffic();
  QLineSeries* series = window->Series(kelvo::statistics::TrafficSeries::EthernetReceive);
  // The first read is a baseline; the second gives the first point.
  if (!RunUntil([&] { return series->count() >= 1; }, std::chrono::seconds(5))) {
    std::fprintf(stderr, "the window never showed a point\n");
    return 1;
  }

  RunFor(std::chrono::seconds(warmUp));
  // Replies counted as they reach the window; the charts stop growing once five minutes are full.
  long long replies = 0;
  auto* reader = window->findChild<kelvo::gui::TrafficReader*>();
  QObject::connect(reader, &kelvo::gui::TrafficReader::ReadDone,
                   [&replies](const kelvo::statistics::TrafficRead& read) {
                     if (read.counters) ++replies;
                   });
  const double cpuBefore = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  RunFor(std::chrono::seconds(seconds));
  const double cpu = CpuSeconds() - cpuBefore;
  const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;

  std::printf(
      "platform %s, %.1f s with the Traffic window open after %d s: %lld replies, %lld "
      "points shown\n",
      qPrintable(QGuiApplication::platformName()), elapsed, warmUp, replies,
      static_cast<long long>(series->count()));
  std::printf("CPU time %.3f s (%.2f ms per read), %.2f %% of one core\n", cpu,
              replies > 0 ? cpu * 1e3 / static_cast<double>(replies) : 0.0, cpu / elapsed * 100);
  std::printf("messages shown: %zu\n", prompter.messages.size());
  const auto expected = std::chrono::seconds(seconds) / kelvo::gui::TrafficReader::kInterval;
  return replies >= expected - 1 && prompter.messages.empty() ? 0 : 1;
}
