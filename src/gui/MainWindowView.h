// SPDX-License-Identifier: GPL-2.0-or-later
// The main window: the banner, the list of access points and the "Discovery" and
// "Configuration" buttons. Clicks, double-clicks and keyboard moves in the list go to the
// MainWindow model, which keeps the rows, the recorded row and the selection; the list shows
// them again after every change. GUI thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "Version.h"
#include "pages/MainWindow.h"
#include "snmp/AgentSession.h"

class QLabel;
class QPushButton;

namespace kelvo::gui {

class TrafficWindow;

// The access point list; reports which row a click, a double-click or a keyboard move hit
// (MainWindow::kNoRow for none).
class AccessPointList final : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  std::function<void(int)> onClick;
  std::function<void(int)> onDoubleClick;
  std::function<void(int)> onKeyboardSelect;
  int SelectedRow() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

class MainWindowView final : public QDialog, public snmp::AgentSessionObserver {
  Q_OBJECT

 public:
  static constexpr const char* kAboutCommand = "&About Kelvo...";
  static constexpr const char* kAboutTitle = "About Kelvo";
  static constexpr const char* kAboutText = "Kelvo Version " KELVO_VERSION;
  static constexpr const char* kTrafficCommand = "&Traffic...";

  explicit MainWindowView(pages::MainWindow& model, QWidget* parent = nullptr);

  AccessPointList* List() const { return list_; }
  QPushButton* DiscoveryButton() const { return discovery_; }
  QPushButton* ConfigurationButton() const { return configuration_; }
  QLabel* Banner() const { return banner_; }

  // The About box, modal.
  void ShowAbout();

  // The context menu's "Traffic..." opens windows that read at this agent port and show their
  // messages through prompter; until then the item stays disabled.
  void EnableTraffic(std::uint16_t agentPort, ui::Prompter& prompter);
  // The Traffic window of the selected access point, opened or, when open, raised; nullptr
  // without a selection.
  TrafficWindow* ShowTraffic();

  void StatusTextChanged(std::string_view text) override;
  void AccessPointsChanged() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Copies the rows and the selection from the model.
  void ShowRows();
  void ShowSelection();

  pages::MainWindow& model_;
  QLabel* banner_;
  QLabel* status_;
  AccessPointList* list_;
  QPushButton* discovery_;
  QPushButton* configuration_;
  std::uint16_t trafficPort_ = 0;
  ui::Prompter* trafficPrompter_ = nullptr;
  // By address; an entry turns null when its window closes.
  std::map<std::string, QPointer<TrafficWindow>> trafficWindows_;
};

}  // namespace kelvo::gui
