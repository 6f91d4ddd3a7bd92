// SPDX-License-Identifier: GPL-2.0-or-later
// The Statistic page: the access point's Ethernet or wireless traffic counters, read as group 3
// every 2500 ms while the page is visible. It writes nothing to the device.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "pages/Page.h"
#include "statistics/CounterBlocks.h"
#include "ui/Controls.h"
#include "ui/Timers.h"

namespace kelvo::pages {

namespace statistic_messages {
inline constexpr std::string_view kTimerFailed = "Can not set timer!";
}  // namespace statistic_messages

class StatisticPage final : public Page {
 public:
  static constexpr std::chrono::milliseconds kRefreshInterval{2500};
  static constexpr std::string_view kSelectTypeCaption = "Select Type";
  // Column headings, left to right; the spaces belong to the texts.
  static constexpr std::array<std::string_view, 4> kHeadings = {
      "       Rx Items ", "      Rx Values ", "       Tx Items", "      Tx Values"};

  explicit StatisticPage(PageContext& context);
  ~StatisticPage() override;

  // The "Ethernet" (1029) and "Wireless" (1030) radio buttons: exactly one is checked.
  ui::CheckBox& Ethernet() { return ethernet_; }
  ui::CheckBox& Wireless() { return wireless_; }
  // The caption-less frames 1031 and 1032, one per view, in the same place.
  ui::Control& EthernetFrame() { return ethernetFrame_; }
  ui::Control& WirelessFrame() { return wirelessFrame_; }
  // The four sunken heading boxes (kHeadings), always visible.
  ui::TextField& Heading(std::size_t column) { return headings_.at(column); }
  // Label and value text of a counter, indexed like statistics::kCounters; visible with the
  // counter's view.
  ui::TextField& Label(std::size_t counter) { return labels_.at(counter); }
  ui::TextField& Value(std::size_t counter) { return values_.at(counter); }
  // A label or value text by its control identifier; nullptr for any other identifier.
  ui::TextField* FieldById(int controlId);
  // The hidden default push button that keeps Enter from doing anything.
  ui::Button& DefaultButton() { return defaultButton_; }

  // The counters as last read: empty until the first completed read, kept for the run. The
  // value texts show them after each complete extraction.
  const std::string& CounterText(std::size_t counter) const { return texts_.at(counter); }
  statistics::View CurrentView() const { return view_; }
  bool IsShown() const { return shown_; }
  // Whether the refresh timer runs.
  bool Polling() const;

  // The page's window was created (each opening of the sheet): "Ethernet" is checked and the
  // Ethernet view shown.
  void WindowCreated();
  // The page's window goes with the closing sheet, without a hide notification: the timer
  // ends, and a visible page gives the session its messages back.
  void WindowDestroyed();
  // Shown: the session goes quiet and the refresh timer starts. Hidden: the reverse.
  void ShowChanged(bool visible) override;
  void ClickEthernet();
  void ClickWireless();
  // Shows one view's frame, labels and values and hides the other's; reads nothing.
  void SwitchView(statistics::View view);
  // A notification of the refresh timer: one read of the counters.
  void Tick();

  // Group 3's extraction: the three counter blocks into the texts, then onto the page.
  bool Extract(snmp::AgentSession& session) override;

 private:
  // Copies the 44 texts into the value fields, those of the hidden view included.
  void ShowCounters();

  ui::CheckBox ethernet_;
  ui::CheckBox wireless_;
  ui::Control ethernetFrame_;
  ui::Control wirelessFrame_;
  std::array<ui::TextField, 4> headings_;
  std::array<ui::TextField, statistics::kCounterCount> labels_;
  std::array<ui::TextField, statistics::kCounterCount> values_;
  ui::Button defaultButton_;

  statistics::CounterTexts texts_;
  statistics::View view_ = statistics::View::Ethernet;
  bool shown_ = false;
  std::unique_ptr<ui::Timer> timer_;
};

}  // namespace kelvo::pages
