// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mib/Conversions.h"
#include "mib/MibVariables.h"
#include "pages/PageFixture.h"
#include "pages/SecurityPage.h"

namespace kelvo::pages {
namespace {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;
namespace msg = security_messages;

std::string AsciiHex(const std::string& text) {
  return mib::HexText({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

class SecurityPageTest : public test::PageFixture {
 protected:
  SecurityPageTest() { page_.SetHost(Host()); }

  // What the sheet does on a press on the tab; forgets the read.
  void OpenTab() {
    page_.Refresh();
    page_.Activate();
    sim_.ClearLog(0);
    prompter_.Clear();
  }

  // The set requests since the log was cleared, each as "Name type value" per variable.
  std::vector<Strings> Sets() {
    std::vector<Strings> requests;
    int sequence = -1;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.pdu != "set") continue;
      if (entry.sequence != sequence) requests.emplace_back();
      sequence = entry.sequence;
      const auto variable = mib::FindByOid(entry.oid);
      requests.back().push_back(std::string(variable ? mib::Info(*variable).name : entry.oid) +
                                ' ' + entry.type + ' ' + entry.value);
    }
    return requests;
  }

  // Apply; then the variables of its group write by name ("type value"), empty when none.
  std::map<std::string, std::string> ApplyAndTakeWrite() {
    sim_.ClearLog(0);
    page_.Apply();
    std::map<std::string, std::string> sent;
    const auto requests = Sets();
    if (requests.empty()) return sent;
    for (const std::string& line : requests.front()) {
      const auto space = line.find(' ');
      sent[line.substr(0, space)] = line.substr(space + 1);
    }
    return sent;
  }

  SecurityPage page_{context_};
};

TEST_F(SecurityPageTest, ReadFillsTheControlsAndActivationHidesTheKeys) {
  EXPECT_EQ(page_.Encry().Entries(), (Strings{"None", "WEP", "802.1XKey"}));
  EXPECT_FALSE(page_.Psk().Visible());
  const std::string key3 = "0102030405060708090A0B0C0D";
  sim_.Set(0, "WepMode", 'i', "3");
  sim_.Set(0, "WepKey3", 'x', key3);
  sim_.Set(0, "ActiveKey", 'i', "3");
  sim_.Set(0, "AuthenticationType", 'i', "3");
  sim_.Set(0, "EncryptionType", 'i', "1");
  sim_.Set(0, "ReAuthEnabled", 'i', "1");
  sim_.Set(0, "ReAuthPeriod", 'i', "1234");
  sim_.Set(0, "RadiusServer2", 'a', "10.1.2.3");
  sim_.Set(0, "RadiusSecret2", 's', "shh");
  sim_.Set(0, "WpaSupportStation", 'i', "5");
  sim_.Set(0, "WpaCipher", 'i', "3");
  sim_.Set(0, "PreSharedKey", 'x', "DEADBEEF");  // shorter than a key: no key
  sim_.Set(0, "GroupKeyInterval", 'i', "900");

  page_.Refresh();
  EXPECT_TRUE(prompter_.Shown().empty());
  EXPECT_EQ(page_.Wep().Selection(), SecurityPage::kWep128);
  EXPECT_EQ(page_.Key3().Text(), key3) << "a refresh shows the device's keys";
  EXPECT_EQ(page_.Key1().Text(), std::string(26, '0'));
  EXPECT_EQ(page_.Active().Selection(), 2);
  EXPECT_EQ(page_.Auth().Selection(), SecurityPage::kBothType);
  EXPECT_EQ(page_.Encry().Entries(), (Strings{"None", "WEP"}));
  EXPECT_EQ(page_.Encry().Selection(), 1);
  EXPECT_TRUE(page_.Encry().Enabled());
  EXPECT_EQ(page_.ReAuthEnabled().Selection(), 0);
  EXPECT_EQ(page_.ReAuthPeriod().Number(), 1234);
  EXPECT_EQ(mib::FormatDottedAddress(page_.RadiusIp(1).Address()), "10.1.2.3");
  EXPECT_EQ(page_.Secret(1).Text(), "shh");
  EXPECT_EQ(page_.SupportSta().Selection(), 4);
  EXPECT_EQ(page_.Cipher().Selection(), 2);
  EXPECT_EQ(page_.Psk().Text(), std::string(64, '0'));
  EXPECT_EQ(page_.KeyInterval().Number(), 900);

  page_.Activate();
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(page_.Key(i).Text(), std::string(26, '0'));
    EXPECT_EQ(page_.Key(i).Limit(), 26u);
    EXPECT_EQ(page_.Key(i).ReadOnly(), i != 2) << "only the active key is editable";
  }
  EXPECT_EQ(page_.RememberedEncryption(), 1);
}

TEST_F(SecurityPageTest, ReadTiesTheEncryptionListToTheAuthentication) {
  struct Case {
    const char* authentication;
    const char* encryption;
    int authSelection;
    Strings entries;
    int selection;
    bool enabled;
  };
  const Case cases[] = {
      {"1", "1", 0, {"None", "WEP"}, 0, false},
      {"2", "0", 1, {"None", "WEP"}, 1, false},
      {"3", "1", 2, {"None", "WEP"}, 1, true},
      {"3", "4", 2, {"None", "WEP"}, 0, true},  // no such choice: the first
      {"4", "0", 3, {"802.1xKey"}, 0, false},
      {"5", "0", -1, Strings(5, "None"), 0, false},  // no "Auth." entry; enabling unchanged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.authentication + std::string("/") + c.encryption);
    sim_.Set(0, "AuthenticationType", 'i', c.authentication);
    sim_.Set(0, "EncryptionType", 'i', c.encryption);
    page_.Refresh();
    EXPECT_EQ(page_.Auth().Selection(), c.authSelection);
    EXPECT_EQ(page_.Encry().Entries(), c.entries);
    EXPECT_EQ(page_.Encry().Selection(), c.selection);
    EXPECT_EQ(page_.Encry().Enabled(), c.enabled);
  }
}

TEST_F(SecurityPageTest, UnknownWepModeAndFailedReads) {
  const std::string key2 = "0102030405060708090A0B0C0D";
  sim_.Set(0, "WepMode", 'i', "2");
  sim_.Set(0, "WepKey1", 'x', "ABCDEF");
  sim_.Set(0, "WepKey2", 'x', key2);
  page_.Refresh();
  EXPECT_FALSE(page_.Wep().HasSelection());
  EXPECT_EQ(page_.Key1().Text(), "ABCDEF") << "without a mode, the keys as sent";
  EXPECT_EQ(page_.Key2().Text(), key2);
  sim_.Set(0, "WepMode", 'i', "0");
  page_.Refresh();
  EXPECT_EQ(page_.Wep().Selection(), SecurityPage::kWep64);
  EXPECT_EQ(page_.Key1().Text(), "ABCDEF") << "fewer bytes than the mode: only those";
  EXPECT_EQ(page_.Key2().Text(), key2.substr(0, 10));

  // A refused read hands back empty variables: the mode is taken, the keys are not.
  sim_.Fault(0, "error 5 1");
  page_.Key1().SetText("kept");
  page_.Refresh();
  EXPECT_EQ(TakeMessages(), (Strings{std::string(snmp::messages::kExtractError),
                                     std::string(snmp::messages::kGetError)}));
  EXPECT_EQ(page_.Key1().Text(), "kept");
  EXPECT_EQ(page_.Active().Selection(), 0) << "nothing after the failure is taken";
}

TEST_F(SecurityPageTest, ApplyAfterActivationSendsTheGroupWithoutKeyOrPsk) {
  OpenTab();
  page_.Apply();
  EXPECT_TRUE(prompter_.Shown().empty());
  EXPECT_EQ(Sets(),
            (std::vector<Strings>{{"WepMode i 1", "ActiveKey i 1", "AuthenticationType i 1",
                                   "EncryptionType i 0", "ReAuthEnabled i 2", "ReAuthPeriod i 3600",
                                   "RadiusServer1 a 0.0.0.0", "RadiusServer2 a 0.0.0.0",
                                   "RadiusServer3 a 0.0.0.0", "RadiusServer4 a 0.0.0.0",
                                   "RadiusSecret1 s ", "RadiusSecret2 s ", "RadiusSecret3 s ",
                                   "RadiusSecret4 s ", "WpaSupportStation i 1", "WpaCipher i 1",
                                   "PskAsciiMode i 2", "GroupKeyInterval i 600"}}));
  EXPECT_TRUE(timers_.pauses.empty());
}

TEST_F(SecurityPageTest, OnlyANonZeroActiveKeyTravelsAsThirteenBytes) {
  OpenTab();
  struct Case {
    int wep;
    int active;
    const char* typed;
    std::string_view message;  // empty: accepted
    const char* variable;      // nullptr: no key sent
    std::string value;
  };
  const std::string pad(16, '0');
  const Case cases[] = {
      {0, 0, "0000000000", "", nullptr, ""},
      {0, 1, "12345abcde", "", "WepKey2", "12345ABCDE" + pad},
      {0, 1, "123456789", msg::kKeyTooShort, nullptr, ""},
      {1, 3, "0102030405060708090a0b0c0d", "", "WepKey4", "0102030405060708090A0B0C0D"},
      {1, 3, "0102030405060708090a0b0c0", msg::kKeyTooShort, nullptr, ""},
      {1, 0, "0102030405060708090G0B0C0D", msg::kKeyNotHex, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    page_.ChooseWep(c.wep);
    page_.ChooseActive(c.active);
    page_.Key(static_cast<std::size_t>(c.active + 1) % 4)
        .SetText("FFFFFFFFFFFFFFFFFFFFFFFFFF");  // never sent
    page_.Key(static_cast<std::size_t>(c.active)).Type(c.typed);
    const auto sent = ApplyAndTakeWrite();
    EXPECT_EQ(TakeMessages(), c.message.empty() ? Strings{} : Strings{std::string(c.message)});
    if (!c.message.empty()) {
      EXPECT_TRUE(sent.empty()) << "a refused key writes nothing";
      continue;
    }
    for (const char* key : {"WepKey1", "WepKey2", "WepKey3", "WepKey4"}) {
      EXPECT_EQ(sent.count(key) == 1, c.variable != nullptr && std::string(key) == c.variable);
    }
    if (c.variable != nullptr) {
      EXPECT_EQ(sent.at(c.variable), "s " + c.value);
    }
    EXPECT_EQ(sent.at("WepMode"), c.wep == 0 ? "i 1" : "i 3");
  }
  EXPECT_EQ(sim_.Get(0, "WepKey4").value, "0102030405060708090A0B0C0D");

  // The WEP rule resets the placeholders and limits typing.
  const unsigned revision = page_.Key4().Revision();
  page_.ChooseWep(0);
  EXPECT_EQ(page_.Key4().Text(), "0000000000");
  EXPECT_GT(page_.Key4().Revision(), revision) << "views must notice the new limit";
  page_.Key4().Type("123456789ABC");
  EXPECT_EQ(page_.Key4().Text(), "123456789A");
}

TEST_F(SecurityPageTest, AuthenticationChoiceDecidesTheEncryptionSent) {
  OpenTab();
  struct Case {
    int auth;
    int chosenEncryption;  // -1: leave as the rule set it
    Strings entries;
    bool enabled;
    const char* authSent;
    const char* encSent;
  };
  const Case cases[] = {
      {SecurityPage::kSharedKey, -1, {"None", "WEP"}, false, "i 2", "i 1"},
      {SecurityPage::kOpenSystem, -1, {"None", "WEP"}, false, "i 1", "i 0"},
      {SecurityPage::kEap, -1, {"802.1xKey"}, false, "i 4", "i 2"},
      {SecurityPage::kBothType, -1, {"None", "WEP"}, true, "i 3", "i 0"},
      {SecurityPage::kBothType, 1, {"None", "WEP"}, true, "i 3", "i 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.auth);
    page_.ChooseAuth(c.auth);
    if (c.chosenEncryption >= 0) page_.ChooseEncry(c.chosenEncryption);
    EXPECT_EQ(page_.Encry().Entries(), c.entries);
    EXPECT_EQ(page_.Encry().Enabled(), c.enabled);
    const auto sent = ApplyAndTakeWrite();
    EXPECT_EQ(sent.at("AuthenticationType"), c.authSent);
    EXPECT_EQ(sent.at("EncryptionType"), c.encSent);
  }
}

TEST_F(SecurityPageTest, RestartFollowsOnlyAWrittenChangeOfTheEncryptionChoice) {
  const std::string restart = "SystemRestart i 2";
  OpenTab();
  page_.ChooseAuth(SecurityPage::kBothType);
  page_.Apply();
  EXPECT_EQ(Sets().size(), 1u) << "None stays None";

  page_.ChooseEncry(1);
  sim_.ClearLog(0);
  page_.Apply();
  ASSERT_EQ(Sets().size(), 2u);
  EXPECT_EQ(Sets()[1], Strings{restart});
  EXPECT_EQ(timers_.pauses, (std::vector<std::chrono::milliseconds>{200ms}));
  sim_.ClearLog(0);
  page_.Apply();
  EXPECT_EQ(Sets().size(), 1u) << "nothing changed since";

  page_.ChooseEncry(0);
  sim_.Fault(0, "error 5 1");
  sim_.ClearLog(0);
  page_.Apply();
  EXPECT_EQ(TakeMessages(), Strings{std::string(snmp::messages::kSetError)});
  EXPECT_EQ(Sets().size(), 1u);
  EXPECT_EQ(page_.RememberedEncryption(), 1);
  sim_.Fault(0, "none");
  sim_.ClearLog(0);
  page_.Apply();
  EXPECT_EQ(Sets().back(), Strings{restart});
}

TEST_F(SecurityPageTest, PreSharedKeyInHexAndPassphraseMode) {
  // A device that holds a short key (or none): Apply leaves it alone instead of refusing over
  // a box the user cannot see.
  for (const char* stored : {"", "DEADBEEF", "00112233445566778899AABBCCDDEEFF0011223344556677"}) {
    SCOPED_TRACE(stored);
    sim_.Set(0, "PreSharedKey", 'x', stored);
    OpenTab();
    const auto sent = ApplyAndTakeWrite();
    EXPECT_EQ(TakeMessages(), Strings{});
    EXPECT_EQ(sent.count("PskAsciiMode"), 1u);
    EXPECT_EQ(sent.count("PreSharedKey"), 0u);
  }
  // A whole key goes back as it came.
  const std::string whole = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";
  sim_.Set(0, "PreSharedKey", 'x', whole);
  OpenTab();
  EXPECT_EQ(ApplyAndTakeWrite().at("PreSharedKey"), "s " + AsciiHex(whole));

  OpenTab();
  struct Case {
    bool passphrase;
    std::string text;
    std::string_view message;
    std::optional<std::string> sent;  // nullopt: PreSharedKey not sent
  };
  const std::string digits = "00112233445566778899AABBCCDDEEFF00112233445566778899aabbccddeeff";
  const Case cases[] = {
      {false, std::string(64, '0'), "", std::nullopt},
      {false, digits, "", digits},
      {false, digits.substr(1), msg::kPskTooShort, std::nullopt},
      {false, digits + "0", msg::kPskTooShort, std::nullopt},
      {false, "G" + digits.substr(1), msg::kPskNotHex, std::nullopt},
      {true, "correct horse", "", "correct horse"},
      {true, "", msg::kPassphraseLength, std::nullopt},
      {true, std::string(32, 'p'), msg::kPassphraseLength, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (page_.AsciiPassphrase().Checked() != c.passphrase) page_.ClickAsciiPassphrase();
    EXPECT_EQ(page_.Psk().Limit(), c.passphrase ? 31u : 64u);
    page_.Psk().SetText(c.text);
    const auto sent = ApplyAndTakeWrite();
    EXPECT_EQ(TakeMessages(), c.message.empty() ? Strings{} : Strings{std::string(c.message)});
    if (!c.message.empty()) {
      EXPECT_TRUE(sent.empty());
      continue;
    }
    EXPECT_EQ(sent.at("PskAsciiMode"), c.passphrase ? "i 1" : "i 2");
    EXPECT_EQ(sent.count("PreSharedKey"), c.sent ? 1u : 0u);
    if (c.sent) {
      EXPECT_EQ(sent.at("PreSharedKey"), "s " + AsciiHex(*c.sent));
    }
  }
}

TEST_F(SecurityPageTest, NumberBoxesAndRadiusFields) {
  OpenTab();
  struct Case {
    std::string period;
    std::string interval;
    Strings messages;
    const char* periodSent;  // nullptr: nothing written
    const char* intervalSent;
  };
  const std::string notInteger(ui::messages::kEnterInteger);
  const Case cases[] = {
      {"65535", "65535", {}, "i 65535", "i 65535"},
      {"65536", "0", {std::string(msg::kReAuthPeriodRange)}, nullptr, nullptr},
      {"-1", "0", {std::string(msg::kReAuthPeriodRange)}, nullptr, nullptr},
      {"0", "65536", {std::string(msg::kKeyIntervalRange)}, nullptr, nullptr},
      // Not an integer: said so, and the last number taken is used.
      {"12a", "7", {notInteger}, "i 0", "i 7"},
      {"5", "x", {notInteger}, "i 5", "i 7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.period + "/" + c.interval);
    page_.ReAuthPeriod().SetText(c.period);
    page_.KeyInterval().SetText(c.interval);
    const auto sent = ApplyAndTakeWrite();
    EXPECT_EQ(TakeMessages(), c.messages);
    if (c.periodSent == nullptr) {
      EXPECT_TRUE(sent.empty());
      continue;
    }
    EXPECT_EQ(sent.at("ReAuthPeriod"), c.periodSent);
    EXPECT_EQ(sent.at("GroupKeyInterval"), c.intervalSent);
  }

  page_.KeyInterval().SetNumber(7);
  page_.RadiusIp(0).SetAddress({192, 168, 7, 9});
  page_.RadiusIp(3).SetParts({10, std::nullopt, 0, 1});
  page_.Secret(0).Type("radius-secret");
  auto sent = ApplyAndTakeWrite();
  EXPECT_EQ(sent.at("RadiusServer1"), "a 192.168.7.9");
  EXPECT_EQ(sent.at("RadiusServer4"), "a 10.0.0.1");
  EXPECT_EQ(sent.at("RadiusSecret1"), "s " + AsciiHex("radius-secret"));
  EXPECT_EQ(sim_.Get(0, "RadiusServer1").value, "192.168.7.9");

  page_.Secret(2).SetText(std::string(33, 's'));
  EXPECT_TRUE(ApplyAndTakeWrite().empty());
  EXPECT_EQ(TakeMessages(), Strings{"Please enter no more than 32 characters."});
}

}  // namespace
}  // namespace kelvo::pages
