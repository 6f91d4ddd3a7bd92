// SPDX-License-Identifier: GPL-2.0-or-later
// The Security page (read and write group 5): authentication and encryption, four WEP keys
// with the active one, 802.1X re-authentication, the RADIUS servers and the WPA values.
// WEP keys are write-only in practice: after activation the key boxes hold zero placeholders
// and a key travels only when the user typed a non-zero one.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "pages/Page.h"
#include "ui/Controls.h"

namespace kelvo::pages {

namespace security_messages {
inline constexpr std::string_view kKeyTooShort = "The length of the WEP key is not enough!";
inline constexpr std::string_view kKeyNotHex = "WEP key only accept character (0~9,A~F)!";
inline constexpr std::string_view kReAuthPeriodRange =
    "ReAuthPeriod only accept an integer 0~65535.";
inline constexpr std::string_view kKeyIntervalRange =
    "Group Key Interval only accept an integer 0~65535.";
inline constexpr std::string_view kPassphraseLength =
    "ASCII Passphrase mode checked. PSK acceptable length is 1~31.";
inline constexpr std::string_view kPskTooShort = "PSK less then 64 characters!";
inline constexpr std::string_view kPskNotHex =
    "Hex  mode used. PSK only accept character (0~9,A~F)!";
}  // namespace security_messages

class SecurityPage final : public Page {
 public:
  // " WEP:" entries.
  static constexpr int kWep64 = 0;
  static constexpr int kWep128 = 1;
  // "Auth." entries.
  static constexpr int kOpenSystem = 0;
  static constexpr int kSharedKey = 1;
  static constexpr int kBothType = 2;
  static constexpr int kEap = 3;

  explicit SecurityPage(PageContext& context);

  // "Type"
  ui::ChoiceList& Auth() { return auth_; }
  ui::ChoiceList& Encry() { return encry_; }
  // "WEP"
  ui::ChoiceList& Wep() { return wep_; }
  ui::ChoiceList& Active() { return active_; }
  // "Key1:" to "Key4:" (index 0 to 3); masked.
  ui::TextField& Key(std::size_t index) { return keys_.at(index); }
  ui::TextField& Key1() { return keys_[0]; }
  ui::TextField& Key2() { return keys_[1]; }
  ui::TextField& Key3() { return keys_[2]; }
  ui::TextField& Key4() { return keys_[3]; }
  // "802.1X"
  ui::ChoiceList& ReAuthEnabled() { return reAuthEnabled_; }
  ui::NumberField& ReAuthPeriod() { return reAuthPeriod_; }
  // "Radius IP" and the "Secret" beside it, servers 1 to 4 as index 0 to 3.
  ui::AddressField& RadiusIp(std::size_t index) { return radiusIps_.at(index); }
  ui::TextField& Secret(std::size_t index) { return secrets_.at(index); }
  // "WPA": never shown; read from the device and written back.
  ui::ChoiceList& SupportSta() { return supportSta_; }
  ui::ChoiceList& Cipher() { return cipher_; }
  ui::NumberField& KeyInterval() { return keyInterval_; }
  // "PSK (HEX):", masked.
  ui::TextField& Psk() { return psk_; }
  ui::CheckBox& AsciiPassphrase() { return asciiPassphrase_; }
  ui::Button& RefreshButton() { return refreshButton_; }
  ui::Button& ApplyButton() { return applyButton_; }

  // The "Encry." selection that the next Apply compares against.
  int RememberedEncryption() const { return rememberedEncryption_; }

  // User actions: the selection or click, then its rule.
  void ChooseAuth(int index);
  void ChooseEncry(int index) { encry_.Select(index); }
  void ChooseWep(int index);
  void ChooseActive(int index);
  void ClickAsciiPassphrase();

  // The Apply button: prepare, write group 5, and restart the wireless settings when the
  // encryption selection changed.
  void Apply();
  // Validates the page and fills its AgentValues fields; shows the first failure.
  bool PrepareSecurityValues();
  // The active-key rule, then the WEP rule: the key boxes become zero placeholders of the
  // current length and only the active one stays editable.
  void UpdateKeyFields();

  // Shared by the read, the user's choice and the profile loader:
  // Empties "Encry." and refills it with the choices of an authentication list index (0..4;
  // 4 stands for type 5, which has no "Auth." entry). Outside the table the list is kept.
  void RefillEncryption(int authenticationIndex);
  // Ties "Encry." to the "Auth." selection as a read leaves it: the fixed choice of Open
  // System, Shard Key and 802.1X, disabled; Both Type keeps its choice, enabled.
  void SettleEncryption();

  void Activate() override;
  void ShowChanged(bool visible) override;
  bool Extract(snmp::AgentSession& session) override;
  void BuildWrite(snmp::AgentSession& session) override;

 private:
  void ApplyActiveKeyRule();
  void ApplyWepRule();
  bool PrepareKey();
  bool PreparePsk();

  ui::ChoiceList auth_;
  ui::ChoiceList encry_;
  ui::ChoiceList wep_;
  ui::ChoiceList active_;
  std::array<ui::TextField, 4> keys_;
  ui::ChoiceList reAuthEnabled_;
  ui::NumberField reAuthPeriod_;
  std::array<ui::AddressField, 4> radiusIps_;
  std::array<ui::TextField, 4> secrets_;
  ui::ChoiceList supportSta_;
  ui::ChoiceList cipher_;
  ui::NumberField keyInterval_;
  ui::TextField psk_;
  ui::CheckBox asciiPassphrase_;
  ui::Button refreshButton_;
  ui::Button applyButton_;

  int rememberedEncryption_ = 0;
};

}  // namespace kelvo::pages
