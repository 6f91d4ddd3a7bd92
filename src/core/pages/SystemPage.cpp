// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/SystemPage.h"

#include <algorithm>
#include <span>

#include "mib/Conversions.h"
#include "mib/GroupReply.h"
#include "mib/MibVariables.h"
#include "mib/RadioTables.h"
#include "pages/ManufacturingSwitch.h"

namespace kelvo::pages {
namespace {

constexpr std::size_t kSerialNumberLimit = 10;
constexpr std::size_t kPasswordLimit = 15;
constexpr std::size_t kProfileNameLimit = 8;
constexpr std::size_t kMacAddressBytes = 6;

// Clears the session's network message suppression however the RF test window ends.
class NetworkMessagesSuppressed {
 public:
  explicit NetworkMessagesSuppressed(snmp::AgentSession& session) : session_(session) {
    session_.SetNetworkMessageSuppressed(true);
  }
  ~NetworkMessagesSuppressed() { session_.SetNetworkMessageSuppressed(false); }
  NetworkMessagesSuppressed(const NetworkMessagesSuppressed&) = delete;
  NetworkMessagesSuppressed& operator=(const NetworkMessagesSuppressed&) = delete;

 private:
  snmp::AgentSession& session_;
};

std::vector<std::string> RegulatoryDomainEntries() {
  return {mib::kRegulatoryDomainNames.begin(), mib::kRegulatoryDomainNames.end()};
}

}  // namespace

SystemPage::SystemPage(PageContext& context)
    : Page(context, mib::Group::System),
      regulatoryDomainList_(RegulatoryDomainEntries(), 0),
      serialNumber_(kSerialNumberLimit),
      newPassword_(kPasswordLimit),
      confirmPassword_(kPasswordLimit),
      newProfileName_(kProfileNameLimit) {
  // A profile name is a file name on this computer.
  newProfileName_.SetEncoding(ui::TextEncoding::Local);
  description_.SetReadOnly(true);
  macAddress_.SetReadOnly(true);
  regulationDomain_.SetReadOnly(true);
  regulatoryDomainList_.SetVisible(false);
  serialNumber_.SetVisible(false);
  trapEnabled_.SetVisible(false);
  mfgButton_.SetVisible(false);
  defaultButton_.SetVisible(false);
}

bool SystemPage::Extract(snmp::AgentSession& session) {
  using mib::Variable;
  const mib::GroupReply reply(session, Group());
  mib::AgentValues& values = Values();

  const auto description = reply.Text(Variable::SystemDescription);
  if (!description) return false;
  values.SystemDescription = *description;
  description_.SetText(*description);

  const auto mac = reply.Bytes(Variable::MacAddress);
  if (!mac) return false;
  // A short value shows the bytes that came; nothing past them is read.
  values.MacAddressText =
      mib::HexText(std::span(mac->data(), std::min(mac->size(), kMacAddressBytes)));
  macAddress_.SetText(values.MacAddressText);

  const auto trapEnable = reply.Integer(Variable::TrapEnable);
  if (!trapEnable) return false;
  if (*trapEnable == 1) trapEnabled_.SetChecked(true);
  if (*trapEnable == 0) trapEnabled_.SetChecked(false);

  const auto domain = reply.Integer(Variable::RegulatoryDomain);
  if (!domain) return false;
  // A domain the list does not know leaves no entry selected and the shown name as it was.
  regulatoryDomainList_.Select(static_cast<int>(*domain));
  if (regulatoryDomainList_.HasSelection()) {
    values.RegulatoryDomainName = regulatoryDomainList_.SelectedText();
  }
  regulationDomain_.SetText(values.RegulatoryDomainName);

  const auto serial = reply.Text(Variable::SerialNumber);
  if (!serial) return false;
  serialNumber_.SetText(*serial);
  return true;
}

std::optional<std::string> SystemPage::NewWriteCommunity() const {
  if (!Values().NewPasswordGiven) return std::nullopt;
  return Values().NewPassword;
}

bool SystemPage::PrepareSystemValues() {
  mib::AgentValues& values = Values();
  const auto serial = serialNumber_.Take(Prompter());
  if (!serial) return false;
  const auto password = newPassword_.Take(Prompter());
  if (!password) return false;
  const auto confirmation = confirmPassword_.Take(Prompter());
  if (!confirmation) return false;

  if (regulatoryDomainList_.HasSelection()) {
    values.RegulatoryDomain = std::to_string(regulatoryDomainList_.Selection());
  }
  if (password->empty() && confirmation->empty()) {
    values.NewPasswordGiven = false;
  } else if (*password != *confirmation) {
    Show(system_messages::kPasswordMismatch, ui::MessageIcon::None);
    return false;
  } else {
    values.NewPasswordGiven = true;
    values.NewPassword = *password;
  }
  values.TrapEnable = std::to_string(trapEnabled_.Checked() ? 1 : 0);
  values.SerialNumber = *serial;
  return true;
}

bool SystemPage::Apply() {
  if (!PrepareSystemValues()) return false;
  // The session adopts the new password as its write community when this succeeds.
  if (!Session().WriteGroup(Group(), Host())) return false;
  if (regulatoryDomainList_.Selection() != rememberedDomain_) {
    RebuildChannelList();
    rememberedDomain_ = regulatoryDomainList_.Selection();
  }
  return true;
}

bool SystemPage::SetSingle(std::string_view oid, std::string_view value) {
  return Session().SetSingleValue(snmp::SetKind::Integer, Host(), std::string(oid),
                                  std::string(value));
}

bool SystemPage::Reset() { return SetSingle(mib::FullOid(mib::Variable::SystemRestart), "1"); }

bool SystemPage::LoadDefault() {
  if (!SetSingle(mib::FullOid(mib::Variable::LoadDefault), "1")) return false;
  // The factory values take effect with a reset, which the sheet offers on closing.
  Session().SetResetNeeded(true);
  return true;
}

bool SystemPage::UpdateFirmware() {
  if (!SetSingle(mib::FullOid(mib::Variable::UpgradePrepare), "1")) return false;
  if (firmwareWindowOpener_) firmwareWindowOpener_();
  return true;
}

void SystemPage::OpenRfTest() {
  // Only a shown MFG button can be pressed.
  if (!mfgButton_.Visible() || !rfTestWindowOpener_) return;
  NetworkMessagesSuppressed suppressed(Session());
  rfTestWindowOpener_();
}

void SystemPage::Activate() { rememberedDomain_ = regulatoryDomainList_.Selection(); }

void SystemPage::ShowChanged(bool /*visible*/) {
  if (profileListRefresher_) profileListRefresher_();
  // The switch only ever shows the button; a missing file leaves it as it is.
  if (ManufacturingEnabled(ManufacturingFilePath(Context().settingsPath))) {
    mfgButton_.SetVisible(true);
  }
  newPassword_.SetText({});
  confirmPassword_.SetText({});
}

void SystemPage::RebuildChannelList() {
  // Without a selected domain there is no plan, and the list stays empty.
  if (channelPlanListener_) channelPlanListener_(regulatoryDomainList_.Selection());
}

}  // namespace kelvo::pages
