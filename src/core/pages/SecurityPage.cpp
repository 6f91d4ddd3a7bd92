// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/SecurityPage.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mib/Conversions.h"
#include "mib/GroupReply.h"
#include "mib/MibVariables.h"
#include "mib/RadioTables.h"
#include "mib/WriteGroupBuilder.h"

namespace kelvo::pages {
namespace {

namespace msg = security_messages;

constexpr std::size_t kKey64Digits = 10;
constexpr std::size_t kKey128Digits = 26;
constexpr std::size_t kSecretLimit = 32;
constexpr std::size_t kHexPskDigits = 64;
constexpr std::size_t kPassphraseLimit = 31;
constexpr std::size_t kPskBytesShown = 32;
constexpr long kLargestInterval = 65535;
// What the key bytes hold in passphrase mode: anything but zero, so the key is sent.
constexpr std::uint8_t kPassphraseMarker = 0x11;

// Selects the entry that a device value (counting from 1) stands for; none outside the list.
void SelectNumbered(ui::ChoiceList& list, long value) {
  const long position = value - 1;
  list.Select(position >= 0 && position < list.Count() ? static_cast<int>(position)
                                                       : ui::ChoiceList::kNone);
}

bool InInterval(long value) { return value >= 0 && value <= kLargestInterval; }

// The hex text of at most the first n bytes; a device that sends fewer shows fewer.
std::string LeadingHex(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  return mib::HexText(std::span(bytes).first(std::min(n, bytes.size())));
}

}  // namespace

SecurityPage::SecurityPage(PageContext& context)
    : Page(context, mib::Group::Security),
      auth_({"Open System", "Shard Key", "Both Type", "802.1X With EAP"}, 0),
      encry_({"None", "WEP", "802.1XKey"}, 0),
      wep_({"Enable 64", "Enable 128"}, kWep64),
      active_({"Key 1", "Key 2", "Key 3", "Key 4"}, 0),
      keys_{ui::TextField(kKey64Digits, std::string(kKey64Digits, '0')),
            ui::TextField(kKey64Digits, std::string(kKey64Digits, '0')),
            ui::TextField(kKey64Digits, std::string(kKey64Digits, '0')),
            ui::TextField(kKey64Digits, std::string(kKey64Digits, '0'))},
      reAuthEnabled_({"True", "False"}, 0),
      reAuthPeriod_(0),
      secrets_{ui::TextField(kSecretLimit), ui::TextField(kSecretLimit),
               ui::TextField(kSecretLimit), ui::TextField(kSecretLimit)},
      supportSta_({"WPA", "1X", "WPA+1X", "WEP", "WPA+WEP", "1X+WEP", "WPA+1X+WEP"}, 0),
      cipher_({"TKIP", "AES", "TKIP+AES"}, 0),
      keyInterval_(0),
      psk_(kHexPskDigits),
      refreshButton_("Refresh"),
      applyButton_("Apply") {
  // The WPA settings are carried through unchanged, never offered.
  supportSta_.SetVisible(false);
  cipher_.SetVisible(false);
  keyInterval_.SetVisible(false);
  psk_.SetVisible(false);
  asciiPassphrase_.SetVisible(false);
}

void SecurityPage::ChooseAuth(int index) {
  auth_.Select(index);
  encry_.SetEntries(mib::EncryptionEntries(auth_.Selection()));
  if (!auth_.HasSelection()) return;
  // Only Both Type leaves the choice to the user, starting from None.
  encry_.Select(auth_.Selection() == kSharedKey ? 1 : 0);
  encry_.SetEnabled(auth_.Selection() == kBothType);
}

void SecurityPage::ChooseWep(int index) {
  wep_.Select(index);
  ApplyWepRule();
}

void SecurityPage::ChooseActive(int index) {
  active_.Select(index);
  ApplyActiveKeyRule();
}

void SecurityPage::ClickAsciiPassphrase() {
  asciiPassphrase_.SetChecked(!asciiPassphrase_.Checked());
  psk_.SetLimit(asciiPassphrase_.Checked() ? kPassphraseLimit : kHexPskDigits);
}

void SecurityPage::RefillEncryption(int authenticationIndex) {
  const std::vector<std::string> entries = mib::EncryptionEntries(authenticationIndex);
  if (entries.empty()) return;
  encry_.SetEntries(entries);
}

void SecurityPage::SettleEncryption() {
  if (!auth_.HasSelection()) return;
  if (auth_.Selection() != kBothType) encry_.Select(auth_.Selection() == kSharedKey ? 1 : 0);
  encry_.SetEnabled(auth_.Selection() == kBothType);
}

void SecurityPage::ApplyActiveKeyRule() {
  const int active = active_.Selection();
  if (active < 0 || active >= static_cast<int>(keys_.size())) return;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    keys_[i].SetReadOnly(static_cast<int>(i) != active);
  }
}

void SecurityPage::ApplyWepRule() {
  if (!wep_.HasSelection()) return;
  const std::size_t digits = wep_.Selection() == kWep64 ? kKey64Digits : kKey128Digits;
  for (ui::TextField& key : keys_) {
    key.SetText(std::string(digits, '0'));
    key.SetLimit(digits);
  }
  const int active = active_.Selection();
  if (active >= 0 && active < static_cast<int>(keys_.size())) {
    keys_[static_cast<std::size_t>(active)].SetReadOnly(false);
  }
}

void SecurityPage::UpdateKeyFields() {
  ApplyActiveKeyRule();
  ApplyWepRule();
}

void SecurityPage::Activate() {
  UpdateKeyFields();
  rememberedEncryption_ = encry_.Selection();
}

void SecurityPage::ShowChanged(bool /*visible*/) {}

bool SecurityPage::Extract(snmp::AgentSession& session) {
  using mib::Variable;
  constexpr Variable kKeys[] = {Variable::WepKey1, Variable::WepKey2, Variable::WepKey3,
                                Variable::WepKey4};
  constexpr Variable kServers[] = {Variable::RadiusServer1, Variable::RadiusServer2,
                                   Variable::RadiusServer3, Variable::RadiusServer4};
  constexpr Variable kSecrets[] = {Variable::RadiusSecret1, Variable::RadiusSecret2,
                                   Variable::RadiusSecret3, Variable::RadiusSecret4};
  const mib::GroupReply reply(session, Group());

  // The WEP mode decides how many bytes of each key are shown, so it goes first.
  const auto mode = reply.Integer(Variable::WepMode);
  if (!mode) return false;
  wep_.Select(mib::WepModePosition(*mode));
  std::optional<std::size_t> keyBytes;
  if (wep_.HasSelection()) keyBytes = wep_.Selection() == kWep64 ? 5 : 13;

  for (std::size_t i = 0; i < keys_.size(); ++i) {
    const auto key = reply.Bytes(kKeys[i]);
    if (!key) return false;
    // Without a known mode, the key as the device sent it (13 bytes at most).
    keys_[i].SetText(LeadingHex(*key, keyBytes.value_or(kKey128Digits / 2)));
  }

  const auto active = reply.Integer(Variable::ActiveKey);
  if (!active) return false;
  SelectNumbered(active_, *active);

  const auto authentication = reply.Integer(Variable::AuthenticationType);
  if (!authentication) return false;
  SelectNumbered(auth_, *authentication);
  const long row = *authentication - 1;
  if (row >= 0 && row < static_cast<long>(std::size(mib::kEncryptionChoices))) {
    RefillEncryption(static_cast<int>(row));
    const auto encryption = reply.Integer(Variable::EncryptionType);
    if (!encryption) return false;
    const int position =
        mib::EncryptionPosition(static_cast<int>(row), static_cast<int>(*encryption));
    encry_.Select(position < 0 ? 0 : position);
  }
  SettleEncryption();

  const auto reAuthEnabled = reply.Integer(Variable::ReAuthEnabled);
  if (!reAuthEnabled) return false;
  SelectNumbered(reAuthEnabled_, *reAuthEnabled);
  const auto reAuthPeriod = reply.Integer(Variable::ReAuthPeriod);
  if (!reAuthPeriod) return false;
  reAuthPeriod_.SetNumber(*reAuthPeriod);

  for (std::size_t i = 0; i < radiusIps_.size(); ++i) {
    const auto server = reply.Text(kServers[i]);
    if (!server) return false;
    radiusIps_[i].SetAddress(mib::SplitDottedAddress(*server));
  }
  for (std::size_t i = 0; i < secrets_.size(); ++i) {
    const auto secret = reply.Text(kSecrets[i]);
    if (!secret) return false;
    secrets_[i].SetText(*secret);
  }

  const auto stations = reply.Integer(Variable::WpaSupportStation);
  if (!stations) return false;
  SelectNumbered(supportSta_, *stations);
  const auto cipher = reply.Integer(Variable::WpaCipher);
  if (!cipher) return false;
  SelectNumbered(cipher_, *cipher);

  const auto psk = reply.Bytes(Variable::PreSharedKey);
  if (!psk) return false;
  // Only a whole key can be written back as it was read. Anything shorter shows as the
  // all-zero key, which a write leaves out, so the device keeps whatever it holds.
  psk_.SetText(psk->size() >= kPskBytesShown ? LeadingHex(*psk, kPskBytesShown)
                                             : std::string(kHexPskDigits, '0'));

  const auto interval = reply.Integer(Variable::GroupKeyInterval);
  if (!interval) return false;
  keyInterval_.SetNumber(*interval);
  return true;
}

bool SecurityPage::PrepareKey() {
  mib::AgentValues& values = Values();
  values.WepKeyBytes.fill(0);
  const int active = active_.Selection();
  if (!wep_.HasSelection() || active < 0 || active >= static_cast<int>(keys_.size())) {
    return true;
  }
  const std::size_t digits = wep_.Selection() == kWep128 ? kKey128Digits : kKey64Digits;
  const std::string& text = keys_[static_cast<std::size_t>(active)].Text();
  if (text.size() < digits) {
    Show(msg::kKeyTooShort, ui::MessageIcon::Error);
    return false;
  }
  if (!mib::ParseHex(text, digits, values.WepKeyBytes, Prompter())) {
    Show(msg::kKeyNotHex, ui::MessageIcon::Error);
    return false;
  }
  return true;
}

bool SecurityPage::PreparePsk() {
  mib::AgentValues& values = Values();
  const std::string& text = psk_.Text();
  if (asciiPassphrase_.Checked()) {
    values.PskBytes.fill(kPassphraseMarker);
    if (text.empty() || text.size() > kPassphraseLimit) {
      Show(msg::kPassphraseLength, ui::MessageIcon::Error);
      return false;
    }
  } else {
    values.PskBytes.fill(0);
    if (text.size() != kHexPskDigits) {
      Show(msg::kPskTooShort, ui::MessageIcon::Error);
      return false;
    }
    if (!mib::ParseHex(text, kHexPskDigits, values.PskBytes, Prompter())) {
      Show(msg::kPskNotHex, ui::MessageIcon::Error);
      return false;
    }
  }
  values.PreSharedKey = text;
  return true;
}

bool SecurityPage::PrepareSecurityValues() {
  // Take the boxes first: a number box that holds no integer says so and keeps its last
  // number for the checks below.
  const long reAuthPeriod = reAuthPeriod_.Take(Prompter());
  std::array<std::string, 4> secrets;
  for (std::size_t i = 0; i < secrets_.size(); ++i) {
    auto secret = secrets_[i].Take(Prompter());
    if (!secret) return false;
    secrets[i] = std::move(*secret);
  }
  const long keyInterval = keyInterval_.Take(Prompter());

  mib::AgentValues& values = Values();
  values.ActiveKey = std::to_string(active_.Selection() + 1);
  values.WepMode = std::to_string(mib::kWepModes[wep_.Selection() == kWep64 ? 0 : 1]);
  values.AuthenticationType = std::to_string(auth_.Selection() + 1);
  // Without a choice inside the table, no encryption.
  values.EncryptionType =
      std::to_string(mib::EncryptionAt(auth_.Selection(), encry_.Selection()).value_or(0));
  if (!PrepareKey()) return false;

  values.ReAuthEnabled = std::to_string(reAuthEnabled_.Selection() + 1);
  if (!InInterval(reAuthPeriod)) {
    Show(msg::kReAuthPeriodRange, ui::MessageIcon::Error);
    return false;
  }
  values.ReAuthPeriod = std::to_string(reAuthPeriod);
  for (std::size_t i = 0; i < radiusIps_.size(); ++i) {
    values.RadiusServer[i] = mib::FormatDottedAddress(radiusIps_[i].Address());
    values.RadiusSecret[i] = secrets[i];
  }

  values.WpaSupportStation = std::to_string(supportSta_.Selection() + 1);
  values.WpaCipher = std::to_string(cipher_.Selection() + 1);
  if (!InInterval(keyInterval)) {
    Show(msg::kKeyIntervalRange, ui::MessageIcon::Error);
    return false;
  }
  values.GroupKeyInterval = std::to_string(keyInterval);
  values.PskAsciiMode = std::to_string(asciiPassphrase_.Checked() ? 1 : 2);
  return PreparePsk();
}

void SecurityPage::BuildWrite(snmp::AgentSession& session) {
  // The key variable follows the "Active:" choice at the time of sending.
  mib::BuildWriteGroup(Group(), Values(), session, active_.Selection());
}

void SecurityPage::Apply() {
  if (!PrepareSecurityValues()) return;
  if (!Session().WriteGroup(Group(), Host())) return;
  // A new encryption choice takes effect once the wireless settings restart.
  if (encry_.Selection() == rememberedEncryption_) return;
  rememberedEncryption_ = encry_.Selection();
  Context().timers.Pause(std::chrono::milliseconds(200));
  // A refused restart has shown its message; the values were written.
  (void)Session().SetSingleValue(snmp::SetKind::Integer, Host(),
                                 mib::FullOid(mib::Variable::SystemRestart), "2");
}

}  // namespace kelvo::pages
