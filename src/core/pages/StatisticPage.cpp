// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/StatisticPage.h"

namespace kelvo::pages {

using statistics::kCounters;
using statistics::View;

StatisticPage::StatisticPage(PageContext& context) : Page(context, mib::Group::Statistics) {
  for (std::size_t i = 0; i < headings_.size(); ++i) {
    headings_[i].SetText(std::string(kHeadings[i]));
    headings_[i].SetReadOnly(true);
  }
  for (std::size_t i = 0; i < kCounters.size(); ++i) {
    labels_[i].SetText(std::string(kCounters[i].label));
    labels_[i].SetReadOnly(true);
    values_[i].SetReadOnly(true);
  }
  defaultButton_.SetVisible(false);
  WindowCreated();
}

StatisticPage::~StatisticPage() = default;

ui::TextField* StatisticPage::FieldById(int controlId) {
  for (std::size_t i = 0; i < kCounters.size(); ++i) {
    if (kCounters[i].labelId == controlId) return &labels_[i];
    if (kCounters[i].valueId == controlId) return &values_[i];
  }
  return nullptr;
}

bool StatisticPage::Polling() const { return timer_ != nullptr && timer_->Active(); }

void StatisticPage::WindowCreated() { ClickEthernet(); }

void StatisticPage::WindowDestroyed() {
  // Left quiet, the session would swallow the failures of every later read, on any page.
  if (shown_) ShowChanged(false);
  if (timer_) timer_->Stop();
}

void StatisticPage::ShowChanged(bool visible) {
  shown_ = visible;
  Session().SetQuiet(visible);
  if (!visible) {
    if (timer_) timer_->Stop();
    return;
  }
  if (!timer_) timer_ = Context().timers.CreateTimer([this] { Tick(); });
  if (!timer_) {
    // The page stays up without automatic refresh; the session stays quiet while it is shown.
    Show(statistic_messages::kTimerFailed, ui::MessageIcon::Error);
    return;
  }
  timer_->Start(kRefreshInterval);
}

void StatisticPage::ClickEthernet() {
  ethernet_.SetChecked(true);
  wireless_.SetChecked(false);
  SwitchView(View::Ethernet);
}

void StatisticPage::ClickWireless() {
  ethernet_.SetChecked(false);
  wireless_.SetChecked(true);
  SwitchView(View::Wireless);
}

void StatisticPage::SwitchView(View view) {
  view_ = view;
  ethernetFrame_.SetVisible(view == View::Ethernet);
  wirelessFrame_.SetVisible(view == View::Wireless);
  for (std::size_t i = 0; i < kCounters.size(); ++i) {
    const bool visible = statistics::ViewOf(kCounters[i].column) == view;
    labels_[i].SetVisible(visible);
    values_[i].SetVisible(visible);
  }
}

void StatisticPage::Tick() { Refresh(); }

bool StatisticPage::Extract(snmp::AgentSession& session) {
  if (!statistics::ExtractStatistics(session, texts_)) return false;
  ShowCounters();
  return true;
}

void StatisticPage::ShowCounters() {
  // An unchanged text keeps its revision, so a view redraws only the counters that moved.
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (values_[i].Text() != texts_[i]) values_[i].SetText(texts_[i]);
  }
}

}  // namespace kelvo::pages
