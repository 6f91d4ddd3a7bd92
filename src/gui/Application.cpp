// SPDX-License-Identifier: GPL-2.0-or-later
#include "Application.h"

#include <QApplication>

#include "ConfigurationSheetDialog.h"
#include "MainWindowView.h"
#include "PageViewFactory.h"
#include "PasswordDialog.h"
#include "RfTestDialog.h"
#include "SocketPump.h"
#include "TrafficReader.h"
#include "UpdateFirmwareWindow.h"
#include "views/PageViews.h"

namespace kelvo::gui {

Application::Application(StartOptions options, ui::Prompter* prompter)
    : options_(std::move(options)),
      prompter_(prompter != nullptr ? *prompter : messageBoxes_),
      pageViews_(std::make_unique<DesktopPageViewFactory>()),
      fileDialog_(std::make_unique<QtFileChooser>()),
      fileChooser_(fileDialog_.get()) {}

Application::~Application() {
  if (session_) session_->SetObserver(nullptr);
  // The Traffic windows go with the main window; their threads end within a read's time-out.
  window_.reset();
  (void)TrafficReader::WaitForAllEnded(kTrafficThreadsEnd);
}

void Application::SetPageViewFactory(std::unique_ptr<PageViewFactory> factory) {
  pageViews_ = std::move(factory);
}

void Application::SetFileChooser(firmware::FileChooser* chooser) {
  fileChooser_ = chooser != nullptr ? chooser : fileDialog_.get();
  if (sheet_) {
    sheet_->SetFirmwareWindow(
        [this](firmware::FirmwareUpgrade& upgrade) { RunFirmwareWindow(upgrade); }, fileChooser_,
        options_.tftpPort);
  }
}

std::optional<int> Application::Start() {
  auto component = componentFactory_(wait_);
  if (!component) {
    prompter_.ShowMessage(kNoComponentMessage, ui::kApplicationCaption, ui::MessageIcon::Error);
    return 0;
  }
  session_ = std::make_unique<snmp::AgentSession>(std::move(component), prompter_, busy_);
  session_->SetAgentPort(options_.agentPort);
  session_->SetListenPort(options_.listenPort);
  session_->SetDiscoveryTargets(options_.discoveryTargets);
  pump_ = std::make_unique<SocketPump>(session_->Component(), wait_);

  // A second copy ends here, before any window, without a word.
  instance_ = InstanceGuard::Acquire(options_.lockDirectory);
  if (!instance_) return 0;

  settingsPath_ = ChooseSettingsPath(options_.settingsPath);
  profileDirectory_ = gui::ProfileDirectory(settingsPath_);

  context_ = std::make_unique<pages::PageContext>(
      pages::PageContext{*session_, values_, timers_, settingsPath_.toStdString()});
  sheet_ = std::make_unique<pages::ConfigurationSheet>(*context_);
  SetFileChooser(fileChooser_);
  sheet_->SetRfTestWindow([this](rftest::RfTestWindow& window) { RunRfTestWindow(window); });
  prompt_ = std::make_unique<pages::PasswordPrompt>(*session_);
  mainWindow_ = std::make_unique<pages::MainWindow>(*session_, *prompt_, *sheet_);
  mainWindow_->SetPromptRunner([this](pages::PasswordPrompt& prompt) { RunPrompt(prompt); });
  mainWindow_->SetSheetRunner([this](pages::ConfigurationSheet& sheet) { RunSheet(sheet); });

  window_ = std::make_unique<MainWindowView>(*mainWindow_);
  window_->EnableTraffic(options_.agentPort, prompter_);
  session_->SetObserver(window_.get());
  QApplication::setWindowIcon(window_->windowIcon());

  // A port in use is reported here and the program goes on without listening.
  (void)session_->StartListening();

  window_->show();
  return std::nullopt;
}

int Application::Exec() {
  QObject::connect(window_.get(), &QDialog::finished, qApp, [] { QApplication::quit(); });
  QApplication::exec();
  return 0;
}

void Application::RunPrompt(pages::PasswordPrompt& prompt) {
  PasswordDialog dialog(prompt, window_.get());
  dialog.exec();
  // However the window went away, the prompt is closed now.
  if (prompt.IsOpen()) prompt.Escape();
}

void Application::RunSheet(pages::ConfigurationSheet& sheet) {
  ConfigurationSheetDialog dialog(sheet, *pageViews_, window_.get());
  dialog.exec();
}

void Application::RunFirmwareWindow(firmware::FirmwareUpgrade& upgrade) {
  // Modal over the sheet, whose System page opened it.
  QWidget* over = QApplication::activeModalWidget();
  UpdateFirmwareWindow window(upgrade, over != nullptr ? over : window_.get());
  window.exec();
}

void Application::RunRfTestWindow(rftest::RfTestWindow& window) {
  window.SetRaiseSenderPriority(raiseTestSenderPriority_);
  // Modal over the sheet, whose System page opened it.
  QWidget* over = QApplication::activeModalWidget();
  RfTestDialog dialog(window, over != nullptr ? over : window_.get());
  dialog.exec();
}

}  // namespace kelvo::gui
