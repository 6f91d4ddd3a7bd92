// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ConfigurationSheet.h"

#include "mib/MibVariables.h"

namespace kelvo::pages {

ConfigurationSheet::ConfigurationSheet(PageContext& context)
    : context_(context),
      system_(context),
      ipConfig_(context),
      statistic_(context),
      wireless_(context),
      security_(context),
      profiles_(context, {system_, ipConfig_, wireless_, security_}) {
  system_.SetProfileListRefresher([this] { profiles_.RefreshProfileList(); });
  system_.SetFirmwareWindowOpener([this] { OpenFirmwareWindow(); });
  system_.SetRfTestWindowOpener([this] { OpenRfTestWindow(); });
  system_.SetChannelPlanListener([this](int domain) { wireless_.UseChannelPlan(domain); });
  ipConfig_.SetApClientQuery([this] { return wireless_.IsApClientMode(); });
  wireless_.SetDhcpDisabledQuery([this] { return ipConfig_.IsDhcpDisabled(); });
  wireless_.SetRegulatoryDomainQuery([this] { return system_.RegulatoryDomainList().Selection(); });
}

Page* ConfigurationSheet::PageAt(int tab) {
  switch (tab) {
    case kSystem:
      return &system_;
    case kIpConfig:
      return &ipConfig_;
    case kStatistic:
      return &statistic_;
    case kWireless:
      return &wireless_;
    case kSecurity:
      return &security_;
    default:
      return nullptr;
  }
}

void ConfigurationSheet::SetShown(int tab, bool shown) {
  if (Page* page = PageAt(tab)) page->ShowChanged(shown);
}

void ConfigurationSheet::SetFirmwareWindow(FirmwareWindowRunner runner,
                                           firmware::FileChooser* chooser, std::uint16_t tftpPort) {
  firmwareWindowRunner_ = std::move(runner);
  fileChooser_ = chooser;
  tftpPort_ = tftpPort;
}

void ConfigurationSheet::OpenFirmwareWindow() {
  if (!firmwareWindowRunner_) return;
  // A new window for every opening: its file name starts empty.
  firmware::FirmwareUpgrade upgrade(
      {context_.session, system_.Host(), context_.settingsPath, tftpPort_, fileChooser_});
  firmwareWindowRunner_(upgrade);
}

void ConfigurationSheet::OpenRfTestWindow() {
  if (!rfTestWindowRunner_) return;
  // A new window for every opening, with its initial values and nothing sent to the device.
  rftest::RfTestWindow window(context_.session, context_.timers, system_.Host());
  rfTestWindowRunner_(window);
}

void ConfigurationSheet::Open(const std::string& host,
                              const std::function<bool()>& skipSecondRead) {
  host_ = host;
  open_ = true;
  context_.session.SetResetNeeded(false);
  for (int tab = kSystem; tab < kAbout; ++tab) PageAt(tab)->SetHost(host_);
  current_ = kSystem;
  statistic_.WindowCreated();
  SetShown(kSystem, true);
  context_.session.ReadGroup(mib::Group::System, host_);
  if (!skipSecondRead || !skipSecondRead()) context_.session.ReadGroup(mib::Group::IpConfig, host_);
  system_.RebuildChannelList();
}

void ConfigurationSheet::PressTab(int tab) {
  const bool known = tab >= 0 && tab < static_cast<int>(kTabTexts.size());
  if (!open_ || !known || tab == current_) return;
  SetShown(current_, false);
  current_ = tab;
  SetShown(current_, true);
  if (Page* page = PageAt(current_)) {
    context_.session.ReadGroup(page->Group(), host_);
    page->Activate();
  }
}

void ConfigurationSheet::CloseBox() {
  if (!open_) return;
  snmp::AgentSession& session = context_.session;
  if (session.ResetNeeded() &&
      session.Prompter().AskYesNo(sheet_messages::kResetQuestion, ui::kApplicationCaption,
                                  ui::MessageIcon::None) == ui::Answer::Yes) {
    // The sheet closes whether or not the device took the reset; a refusal has said so.
    (void)session.SetSingleValue(snmp::SetKind::Integer, host_,
                                 mib::FullOid(mib::Variable::SystemRestart), "1");
  }
  // The page windows end with the sheet without being hidden first, so the page
  // in front runs no hide steps (the IP Config page would read the device again,
  // right after a reset). The Statistic page's timer ends with its window.
  statistic_.WindowDestroyed();
  session.SetResetNeeded(false);
  open_ = false;
}

}  // namespace kelvo::pages
