// SPDX-License-Identifier: GPL-2.0-or-later
// The main window: the list of discovered access points and the way into the
// configuration of one of them, behind the password prompt.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pages/ConfigurationSheet.h"
#include "pages/PasswordPrompt.h"
#include "snmp/AgentSession.h"

namespace kelvo::pages {

class MainWindow {
 public:
  static constexpr int kNoRow = -1;
  static constexpr std::string_view kTitle = "Kelvo";
  static constexpr std::string_view kListLabel = "Available Access Point :";

  MainWindow(snmp::AgentSession& session, PasswordPrompt& prompt, ConfigurationSheet& sheet);

  // How the front end runs the two modal windows; each returns when its window
  // has closed.
  void SetPromptRunner(std::function<void(PasswordPrompt&)> run) { runPrompt_ = std::move(run); }
  void SetSheetRunner(std::function<void(ConfigurationSheet&)> run) { runSheet_ = std::move(run); }

  // The rows, newest reply first.
  const std::vector<snmp::AccessPointEntry>& Rows() const { return session_.AccessPoints(); }
  int SelectedRow() const;
  int RecordedRow() const { return RowOf(recordedAddress_); }

  // Every showing of the window, and the "Discovery" button: a new discovery.
  void Shown() { Discover(); }
  void Discover();
  // A click on the list: records the row (kNoRow when the click hit none) and
  // selects it.
  void ClickRow(int row);
  void DoubleClickRow(int row);
  // A selection made with the keyboard records nothing.
  void SelectRowWithKeyboard(int row);
  // The "Configuration" button.
  void Configure();

  // The address the sheet manages: the recorded row, or the selected row when
  // no row was clicked since the list was last filled.
  std::string ChosenHost() const;

 private:
  bool ValidRow(int row) const { return row >= 0 && row < static_cast<int>(Rows().size()); }
  int RowOf(const std::string& address) const;

  snmp::AgentSession& session_;
  PasswordPrompt& prompt_;
  ConfigurationSheet& sheet_;
  std::function<void(PasswordPrompt&)> runPrompt_;
  std::function<void(ConfigurationSheet&)> runSheet_;
  // The recorded row and the selection, each as the address of its row: rows
  // move down when later replies arrive at the top.
  std::string recordedAddress_;
  std::string selectedAddress_;
};

}  // namespace kelvo::pages
