// SPDX-License-Identifier: GPL-2.0-or-later
// What the desktop program costs to start and to hold a sheet: the time from entering main()
// to the first paint of the main window (offscreen platform unless QT_QPA_PLATFORM says
// otherwise), and the resident memory before and after opening the configuration sheet of one
// simulated access point with every tab's view.
//
//   kelvo-bench-gui-startup [--apsim PATH]
//
// One start per process; run it several times for a spread (see README.md).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "Application.h"
#include "BenchSupport.h"
#include "ConfigurationSheetDialog.h"
#include "MainWindowView.h"
#include "views/PageViews.h"

namespace {

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Notes the first paint of the watched widget.
class FirstPaint final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !painted) {
      painted = true;
      elapsedNs = clock.nsecsElapsed();
    }
    return QObject::eventFilter(watched, event);
  }
  QElapsedTimer clock;
  bool painted = false;
  qint64 elapsedNs = 0;
};

bool SpinUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < timeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return done();
}

}  // namespace

int main(int argc, char** argv) {
  FirstPaint firstPaint;
  firstPaint.clock.start();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string apsim = kelvo::bench::Option(argc, argv, "--apsim", KELVO_APSIM_PATH);
  QApplication qtApplication(argc, argv);
  const double qtStartMs = static_cast<double>(firstPaint.clock.nsecsElapsed()) / 1e6;

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
  // The simulator's start is not the program's: the clock starts again here.
  firstPaint.clock.restart();
  kelvo::gui::Application application(options, &prompter);
  if (const auto exitCode = application.Start()) {
    std::fprintf(stderr, "the program ended at start-up with %d\n", *exitCode);
    return 1;
  }
  application.Window()->installEventFilter(&firstPaint);
  if (!SpinUntil([&] { return firstPaint.painted; }, 10000)) {
    std::fprintf(stderr, "the main window was never painted\n");
    return 1;
  }
  const double startMs = static_cast<double>(firstPaint.elapsedNs) / 1e6;
  SpinUntil([&] { return !application.Session().AccessPoints().empty(); }, 3000);
  const long beforeSheet = ResidentKilobytes();

  application.Session().SetWriteCommunity("admin");
  application.Sheet().Open("127.0.0.2");
  kelvo::gui::DesktopPageViewFactory views;
  kelvo::gui::ConfigurationSheetDialog dialog(application.Sheet(), views);
  dialog.show();
  for (int tab = 1; tab < dialog.Tabs()->count(); ++tab) {
    dialog.Tabs()->setCurrentIndex(tab);
    SpinUntil([] { return false; }, 50);
  }
  const long afterSheet = ResidentKilobytes();
  dialog.close();

  std::printf(
      "start-up to the first painted main window: %.1f ms (%.1f ms to make the QApplication, "
      "%.1f ms from there; the simulator's start is not counted)\n",
      qtStartMs + startMs, qtStartMs, startMs);
  std::printf(
      "resident memory: %ld KiB with the main window, %ld KiB with the sheet open and "
      "every tab shown (+%ld KiB)\n",
      beforeSheet, afterSheet, afterSheet - beforeSheet);
  std::printf("messages shown: %zu\n", prompter.messages.size());
  return prompter.messages.empty() ? 0 : 1;
}
