// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers of the view tests: waiting with the event loop running, acting on the modal
// window that a model opens from inside its own call, and the application against simulated
// access points that most view tests start from.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Application.h"
#include "ConfigurationSheetDialog.h"
#include "MainWindowView.h"
#include "mib/MibVariables.h"
#include "support/ApSimProcess.h"
#include "support/TestSupport.h"

namespace kelvo::test {

// Runs the event loop until done() holds or the time-out passes; returns done().
bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Runs action on the next modal window of type W once it is on screen (checked every 20 ms,
// for at most 5 s). The action runs inside the modal window's own event loop.
void OnModal(std::function<void(QWidget*)> action);

template <typename W>
void OnModalOf(std::function<void(W*)> action) {
  OnModal([action = std::move(action)](QWidget* widget) { action(qobject_cast<W*>(widget)); });
}

// The child of in called name; a missing one fails the test and gives null.
template <typename W = QWidget>
W* Find(QWidget* in, const QString& name) {
  W* widget = in != nullptr ? in->findChild<W*>(name) : nullptr;
  EXPECT_NE(widget, nullptr) << name.toStdString();
  return widget;
}

// The program against a simulator's access points, with scripted message boxes: discovery,
// the list, and the way through the password prompt into the configuration sheet.
class AppFixture : public ::testing::Test {
 protected:
  explicit AppFixture(ApSimOptions simulator = {});

  // Builds the application anew; a null prompter gives the real message boxes.
  void MakeApp(const QString& settingsPath, ui::Prompter* prompter);

  // Starts the program and waits until every access point is listed.
  void StartAndDiscover();

  gui::AccessPointList* List();
  // The list row of the access point at address; -1 if it is not listed.
  int RowOf(const std::string& address);
  void ClickRow(int row);

  // Through the prompt with the password into the sheet; then runs inSheet in it.
  void Configure(const QString& password,
                 std::function<void(gui::ConfigurationSheetDialog*)> inSheet);

  // Discovers, selects the first access point and opens its sheet with the tab in front.
  // Once ready() holds, body runs with the sheet and the tab's page; then the sheet closes.
  // sheet_ and tab_ are set before ready() is first asked.
  void OnTab(int tab, const std::function<bool()>& ready,
             const std::function<void(gui::ConfigurationSheetDialog*, QWidget*)>& body);

  // Clicks a tab of the open sheet and waits until the sheet has it in front.
  void PressTab(int tab);

  // Replaces a box's text as a user would: focus, select all, type.
  static void Retype(QLineEdit* edit, const QString& text);
  // Steps a drop-down list with the arrow keys towards entry index, one entry a key.
  static void Choose(QComboBox* box, int index);
  // The OIDs the first access point was sent in SetRequests, in order.
  std::vector<std::string> SetOids();
  bool WasSet(mib::Variable variable);

  ApSimProcess sim_;
  RecordingPrompter prompter_;
  std::unique_ptr<gui::Application> app_;
  gui::ConfigurationSheetDialog* sheet_ = nullptr;
  QWidget* tab_ = nullptr;
};

}  // namespace kelvo::test
