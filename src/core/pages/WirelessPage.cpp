// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/WirelessPage.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "mib/Conversions.h"
#include "mib/GroupReply.h"
#include "mib/MibVariables.h"
#include "mib/RadioTables.h"
#include "pages/AuthorizedMacTable.h"

namespace kelvo::pages {
namespace {

using ui::MessageIcon;
namespace msg = wireless_messages;

constexpr std::size_t kAddressDigits = 12;
constexpr long kThresholdMax = 2347;
constexpr long kBeaconMin = 20;
constexpr long kBeaconMax = 1000;

std::vector<std::string> RateEntries() { return {mib::kRateNames.begin(), mib::kRateNames.end()}; }

std::vector<std::string> ModeEntries() {
  return {mib::kOperationModeNames.begin(), mib::kOperationModeNames.end()};
}

// `on` checks the box, `off` unchecks it, any other value leaves it.
void SetCheck(ui::CheckBox& box, long value, long on, long off) {
  if (value == on) box.SetChecked(true);
  if (value == off) box.SetChecked(false);
}

}  // namespace

WirelessPage::WirelessPage(PageContext& context)
    : Page(context, mib::Group::Wireless),
      channelId_(mib::AllChannelEntries(), 0),
      essid_(32, "ESSID"),
      deviceName_(32, "APName"),
      basicRates_(RateEntries(), 0),
      dataRates_(RateEntries(), 0),
      preambleType_({"Short", "Long"}, 0),
      mode_(ModeEntries(), kBridge),
      bssid_(kAddressDigits, "000000000000"),
      inputMacAddress_(kAddressDigits),
      modeAtFocus_(kBridge),
      rememberedMode_(kBridge),
      rememberedRadio_(CurrentRadioValues()) {
  wlanInterface_.SetVisible(false);
}

void WirelessPage::SetDhcpDisabledQuery(std::function<bool()> isDhcpDisabled) {
  isDhcpDisabled_ = std::move(isDhcpDisabled);
}

void WirelessPage::SetRegulatoryDomainQuery(std::function<int()> regulatorySelection) {
  regulatorySelection_ = std::move(regulatorySelection);
}

int WirelessPage::RegulatoryDomain() const {
  return regulatorySelection_ ? regulatorySelection_() : 0;
}

bool WirelessPage::DhcpDisabled() const { return isDhcpDisabled_ && isDhcpDisabled_(); }

void WirelessPage::Refresh() {
  Session().ReadGroup(Group(), Host());
  FetchAuthorizedTable();
}

void WirelessPage::UseChannelPlan(int domain) {
  channelId_.SetEntries(mib::ChannelEntries(domain));
}

bool WirelessPage::Extract(snmp::AgentSession& session) {
  using mib::Variable;
  const mib::GroupReply reply(session, Group());

  const auto channel = reply.Integer(Variable::Channel);
  if (!channel) return false;
  readChannel_ = *channel;
  const int position = mib::ChannelPosition(RegulatoryDomain(), *channel);
  channelId_.Select(position < 0 ? 0 : position);

  const auto essid = reply.Text(Variable::Essid);
  if (!essid) return false;
  essid_.SetText(*essid);
  const auto deviceName = reply.Text(Variable::DeviceName);
  if (!deviceName) return false;
  deviceName_.SetText(*deviceName);

  const auto basicRates = reply.Bytes(Variable::BasicRates);
  if (!basicRates) return false;
  basicRates_.Select(mib::BasicRatesPosition(*basicRates));

  const auto dataRate = reply.Integer(Variable::DataRate);
  if (!dataRate) return false;
  dataRates_.Select(static_cast<int>(*dataRate - 1));

  const auto operationMode = reply.Integer(Variable::OperationMode);
  if (!operationMode) return false;
  mode_.Select(mib::OperationModePosition(*operationMode));

  const auto bssid = reply.Bytes(Variable::Bssid);
  if (!bssid) return false;
  const std::size_t bssidBytes = std::min<std::size_t>(bssid->size(), 6);
  Values().BssidText = mib::HexText(std::span(bssid->data(), bssidBytes));
  bssid_.SetText(Values().BssidText);

  const auto preamble = reply.Integer(Variable::PreambleType);
  if (!preamble) return false;
  preambleType_.Select(static_cast<int>(*preamble - 1));

  const auto rts = reply.Integer(Variable::RtsThreshold);
  if (!rts) return false;
  rtsThreshold_.SetNumber(*rts);
  const auto fragmentation = reply.Integer(Variable::FragmentationThreshold);
  if (!fragmentation) return false;
  fragThreshold_.SetNumber(*fragmentation);
  // The three numbers go in together, before the check boxes.
  const auto beacon = reply.Integer(Variable::BeaconInterval);
  if (!beacon) return false;
  beaconInterval_.SetNumber(*beacon);

  const auto tableEnable = reply.Integer(Variable::AuthorizedTableEnable);
  if (!tableEnable) return false;
  SetCheck(enableAuthorizedTable_, *tableEnable, 1, 2);
  const auto rejectProbe = reply.Integer(Variable::RejectBroadcastProbe);
  if (!rejectProbe) return false;
  SetCheck(rejectBroadcastProbe_, *rejectProbe, 1, 0);
  const auto wlanDisable = reply.Integer(Variable::WlanDisable);
  if (!wlanDisable) return false;
  SetCheck(wlanInterface_, *wlanDisable, 0, 1);

  UpdateBssidEditable();
  return true;
}

std::optional<WirelessPage::TakenTexts> WirelessPage::TakeControlValues() {
  ui::Prompter& prompter = Prompter();
  TakenTexts taken;
  // A text longer than its box allows is refused with the standard prompt and nothing more
  // is taken.
  const auto take = [&prompter](const ui::TextField& field, std::string& out) {
    auto text = field.Take(prompter);
    if (!text) return false;
    out = std::move(*text);
    return true;
  };
  if (!take(essid_, taken.essid) || !take(deviceName_, taken.deviceName)) return std::nullopt;
  // A number box that holds no integer prompts and keeps its previous number.
  beaconInterval_.Take(prompter);
  rtsThreshold_.Take(prompter);
  fragThreshold_.Take(prompter);
  if (!take(bssid_, taken.bssid) || !take(inputMacAddress_, taken.inputMacAddress)) {
    return std::nullopt;
  }
  return taken;
}

bool WirelessPage::PrepareWirelessValues() {
  const auto taken = TakeControlValues();
  if (!taken) return false;

  if (taken->bssid.size() != kAddressDigits) {
    Show(msg::kBssidTooShort, MessageIcon::Error);
    return false;
  }
  std::array<std::uint8_t, 6> bssid{};
  if (!mib::ParseHex(taken->bssid, kAddressDigits, bssid, Prompter())) {
    Show(msg::kBssidNotHex, MessageIcon::Error);
    return false;
  }
  const auto inThresholdRange = [](long n) { return n >= 0 && n <= kThresholdMax; };
  if (!inThresholdRange(rtsThreshold_.Number()) || !inThresholdRange(fragThreshold_.Number())) {
    Show(msg::kThresholdRange, MessageIcon::Error);
    return false;
  }
  if (beaconInterval_.Number() < kBeaconMin || beaconInterval_.Number() > kBeaconMax) {
    Show(msg::kBeaconRange, MessageIcon::Error);
    return false;
  }

  mib::AgentValues& values = Values();
  // Without an entry that maps to a channel of the domain, the device keeps the channel it
  // reported last ("Auto" before any read).
  const auto channel = mib::ChannelAt(RegulatoryDomain(), channelId_.Selection());
  values.Channel = std::to_string(channel ? *channel : readChannel_.value_or(0));
  values.Essid = taken->essid;
  values.DeviceName = taken->deviceName;

  // "Basic Rates:" and "Mode:" without a selection leave their values as they were.
  if (const int rate = basicRates_.Selection(); rate != ui::ChoiceList::kNone) {
    values.BasicRatesBytes = {};
    values.BasicRatesBytes[static_cast<std::size_t>(rate)] =
        mib::kBasicRateCodes[static_cast<std::size_t>(rate)];
    values.BasicRatesIndex = std::to_string(rate);
    values.RateSetting = "2";
  }
  // "Data Rates:" and "Preamble Type:" always send their selection + 1: 0 without one.
  values.DataRate = std::to_string(dataRates_.Selection() + 1);
  if (mode_.HasSelection()) {
    values.OperationMode =
        std::to_string(mib::kOperationModes[static_cast<std::size_t>(mode_.Selection())]);
  }
  values.BssidBytes = bssid;
  values.PreambleType = std::to_string(preambleType_.Selection() + 1);
  values.RtsThreshold = std::to_string(rtsThreshold_.Number());
  values.FragmentationThreshold = std::to_string(fragThreshold_.Number());
  values.BeaconInterval = std::to_string(beaconInterval_.Number());
  values.AuthorizedTableEnable = enableAuthorizedTable_.Checked() ? "1" : "2";
  values.RejectBroadcastProbe = rejectBroadcastProbe_.Checked() ? "1" : "0";
  values.WlanDisable = wlanInterface_.Checked() ? "0" : "1";
  return true;
}

void WirelessPage::Apply() {
  if (!PrepareWirelessValues()) return;
  if (!Session().WriteGroup(Group(), Host())) return;
  StoreAuthorizedTable();
  RestartRadioIfChanged();
  if (mode_.Selection() != rememberedMode_) {
    // A new operation mode takes effect only after a full reset, which the sheet offers.
    Session().SetResetNeeded(true);
    rememberedMode_ = mode_.Selection();
  }
}

WirelessPage::RadioValues WirelessPage::CurrentRadioValues() const {
  return {basicRates_.Selection(),   dataRates_.Selection(), channelId_.Selection(),
          preambleType_.Selection(), essid_.Text(),          beaconInterval_.Number()};
}

void WirelessPage::RestartRadioIfChanged() {
  const RadioValues current = CurrentRadioValues();
  if (current == rememberedRadio_) return;
  rememberedRadio_ = current;
  // The device needs a moment after the write before it restarts the radio.
  Context().timers.Pause(std::chrono::milliseconds(200));
  // A refused restart has shown its message; the values were written.
  (void)Session().SetSingleValue(snmp::SetKind::Integer, Host(),
                                 mib::FullOid(mib::Variable::SystemRestart), "2");
}

void WirelessPage::FocusMode() { modeAtFocus_ = mode_.Selection(); }

void WirelessPage::ChooseMode(int index) {
  mode_.Select(index);
  ApplyModeRule();
}

void WirelessPage::ApplyModeRule() {
  if (mode_.Selection() == kApClient && !DhcpDisabled()) {
    mode_.Select(modeAtFocus_);
    Show(msg::kApClientNeedsFixedAddress, MessageIcon::None);
  }
  UpdateBssidEditable();
}

void WirelessPage::UpdateBssidEditable() { bssid_.SetReadOnly(mode_.Selection() != kBridge); }

void WirelessPage::Add() {
  if (macAddressList_.Count() >= kAuthorizedTableLimit) {
    Show(msg::kTableFull, MessageIcon::Error);
    return;
  }
  const auto taken = TakeControlValues();
  if (!taken) return;
  if (taken->inputMacAddress.size() != kAddressDigits) {
    Show(msg::kMacTooShort, MessageIcon::Error);
    return;
  }
  std::array<std::uint8_t, 6> address{};
  if (!mib::ParseHex(taken->inputMacAddress, kAddressDigits, address, Prompter())) {
    Show(msg::kMacNotHex, MessageIcon::Error);
    return;
  }
  // Kept as typed: the case of the letters stays, and duplicates are allowed.
  macAddressList_.Add(taken->inputMacAddress);
  inputMacAddress_.SetText({});
}

void WirelessPage::Delete() {
  if (macAddressList_.Selection() != ui::ChoiceList::kNone) {
    macAddressList_.Remove(macAddressList_.Selection());
  }
}

void WirelessPage::FetchAuthorizedTable() {
  macAddressList_.Clear();
  for (std::string& entry : FetchAuthorizedAddresses(Session(), Host(), &authorizedTableFetched_)) {
    macAddressList_.Add(std::move(entry));
  }
}

bool WirelessPage::StoreAuthorizedTable() {
  return StoreAuthorizedAddresses(Session(), Host(), macAddressList_.Items());
}

void WirelessPage::Activate() {
  ApplyModeRule();
  FetchAuthorizedTable();
  rememberedRadio_ = CurrentRadioValues();
  rememberedMode_ = mode_.Selection();
}

void WirelessPage::ShowChanged(bool visible) {
  // Leaving the page drops edits that were not applied; the MAC table stays as it is.
  if (!visible) Session().ReadGroup(Group(), Host());
}

}  // namespace kelvo::pages
