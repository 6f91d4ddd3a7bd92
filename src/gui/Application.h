// SPDX-License-Identifier: GPL-2.0-or-later
// Start-up of the program and the objects that live for the whole run: the services the core
// needs (prompter, wait cursor, timers, wait hook), the session with its component, the main
// window, the password prompt and the configuration sheet. Needs a QApplication. GUI thread.
#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "BusyCursor.h"
#include "GuiWaitHook.h"
#include "QtPrompter.h"
#include "QtTimers.h"
#include "StartUp.h"
#include "mib/AgentValues.h"
#include "pages/ConfigurationSheet.h"
#include "pages/MainWindow.h"
#include "pages/Page.h"
#include "pages/PasswordPrompt.h"
#include "snmp/AgentSession.h"

namespace kelvo::gui {

class MainWindowView;
class PageViewFactory;
class SocketPump;

class Application {
 public:
  static constexpr std::string_view kNoComponentMessage = "CoInitialize() fail!!";
  // How long the end of the program waits for the Traffic windows' threads: one read's time-out
  // and some.
  static constexpr std::chrono::milliseconds kTrafficThreadsEnd{3000};

  // prompter replaces the message boxes (tests script the answers).
  explicit Application(StartOptions options, ui::Prompter* prompter = nullptr);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Makes the SNMP component; nullptr when it cannot be made.
  using ComponentFactory = std::function<std::unique_ptr<snmp::SnmpComponent>(snmp::WaitHook&)>;
  // Replaces SnmpComponent::Create (tests make it fail). Before Start.
  void SetComponentFactory(ComponentFactory factory) { componentFactory_ = std::move(factory); }

  // Runs start-up up to the main window on screen, which starts the first discovery. Returns
  // the exit code when the program ends instead: 0 after "CoInitialize() fail!!" when the SNMP
  // component cannot be made, 0 silently when another copy runs.
  std::optional<int> Start();
  // Runs until the main window closes; the program's exit code.
  int Exec();

  void SetPageViewFactory(std::unique_ptr<PageViewFactory> factory);
  // Replaces the firmware window's file dialog (tests script it); null restores the dialog.
  void SetFileChooser(firmware::FileChooser* chooser);
  // Whether the RF test window's packet stream runs at a raised priority when it may (tests on
  // a shared machine turn it off).
  void SetRaiseTestSenderPriority(bool raise) { raiseTestSenderPriority_ = raise; }

  MainWindowView* Window() { return window_.get(); }
  pages::MainWindow& MainWindowModel() { return *mainWindow_; }
  pages::PasswordPrompt& Prompt() { return *prompt_; }
  pages::ConfigurationSheet& Sheet() { return *sheet_; }
  snmp::AgentSession& Session() { return *session_; }
  const QString& SettingsPath() const { return settingsPath_; }
  const QString& ProfileDirectory() const { return profileDirectory_; }

 private:
  void RunPrompt(pages::PasswordPrompt& prompt);
  void RunSheet(pages::ConfigurationSheet& sheet);
  void RunFirmwareWindow(firmware::FirmwareUpgrade& upgrade);
  void RunRfTestWindow(rftest::RfTestWindow& window);

  StartOptions options_;
  QtPrompter messageBoxes_;
  ui::Prompter& prompter_;
  BusyCursor busy_;
  GuiWaitHook wait_;
  QtTimers timers_{busy_, wait_};
  mib::AgentValues values_;
  std::unique_ptr<PageViewFactory> pageViews_;
  std::unique_ptr<firmware::FileChooser> fileDialog_;
  firmware::FileChooser* fileChooser_ = nullptr;
  bool raiseTestSenderPriority_ = true;
  ComponentFactory componentFactory_ = &snmp::SnmpComponent::Create;

  std::unique_ptr<snmp::AgentSession> session_;
  std::unique_ptr<SocketPump> pump_;
  std::unique_ptr<pages::PageContext> context_;
  std::unique_ptr<pages::ConfigurationSheet> sheet_;
  std::unique_ptr<pages::PasswordPrompt> prompt_;
  std::unique_ptr<pages::MainWindow> mainWindow_;
  std::unique_ptr<InstanceGuard> instance_;
  QString settingsPath_;
  QString profileDirectory_;
  std::unique_ptr<MainWindowView> window_;
};

}  // namespace kelvo::gui
