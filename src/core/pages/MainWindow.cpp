// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/MainWindow.h"

#include <algorithm>

namespace kelvo::pages {

MainWindow::MainWindow(snmp::AgentSession& session, PasswordPrompt& prompt,
                       ConfigurationSheet& sheet)
    : session_(session), prompt_(prompt), sheet_(sheet) {}

int MainWindow::RowOf(const std::string& address) const {
  if (address.empty()) return kNoRow;
  const auto& rows = Rows();
  const auto it = std::find_if(rows.begin(), rows.end(), [&](const snmp::AccessPointEntry& row) {
    return row.address == address;
  });
  return it == rows.end() ? kNoRow : static_cast<int>(it - rows.begin());
}

int MainWindow::SelectedRow() const { return RowOf(selectedAddress_); }

void MainWindow::Discover() {
  // The rows are deleted, and with them what was recorded and selected.
  recordedAddress_.clear();
  selectedAddress_.clear();
  session_.Discover();
}

void MainWindow::ClickRow(int row) {
  if (!ValidRow(row)) {
    // A click beside the rows also clears the list's selection.
    recordedAddress_.clear();
    selectedAddress_.clear();
    return;
  }
  recordedAddress_ = Rows()[static_cast<std::size_t>(row)].address;
  selectedAddress_ = recordedAddress_;
}

void MainWindow::DoubleClickRow(int row) {
  ClickRow(row);
  Configure();
}

void MainWindow::SelectRowWithKeyboard(int row) {
  selectedAddress_ = ValidRow(row) ? Rows()[static_cast<std::size_t>(row)].address : std::string();
}

std::string MainWindow::ChosenHost() const {
  if (RecordedRow() != kNoRow) return recordedAddress_;
  return SelectedRow() != kNoRow ? selectedAddress_ : std::string();
}

void MainWindow::Configure() {
  if (SelectedRow() == kNoRow) return;
  prompt_.Open();
  if (runPrompt_) runPrompt_(prompt_);
  if (!session_.Authorised()) return;
  sheet_.Open(ChosenHost());
  if (runSheet_) runSheet_(sheet_);
  if (sheet_.IsOpen()) sheet_.CloseBox();
  Discover();
}

}  // namespace kelvo::pages
