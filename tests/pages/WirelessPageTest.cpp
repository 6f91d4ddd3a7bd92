// SPDX-License-Identifier: GPL-2.0-or-later
// The Wireless page driven as a user would, against a simulated access point.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "mib/MibVariables.h"
#include "mib/RadioTables.h"
#include "pages/PageFixture.h"
#include "pages/WirelessPage.h"

namespace kelvo::pages {
namespace {

using mib::Variable;
using std::chrono::milliseconds;
using Strings = std::vector<std::string>;

std::string Oid(Variable variable) { return mib::FullOid(variable); }

// An authorised-table record as the simulator logs it: upper-case hex, 16-bit fields LSB first.
std::string Record(int operation, int count, int index, const std::string& mac = "000000000000") {
  char head[13];
  std::snprintf(head, sizeof head, "%02X00%02X%02X%02X%02X", operation, count & 0xFF, count >> 8,
                index & 0xFF, index >> 8);
  return head + mac;
}

class WirelessPageTest : public test::PageFixture {
 protected:
  WirelessPageTest() {
    page_.SetHost(Host());
    page_.ChannelId().SetEntries(mib::ChannelEntries(0));  // the sheet's rebuild for "FCC"
  }

  // What the sheet does when the tab is pressed; forgets the traffic and messages it caused.
  void OpenTab() {
    session_.ReadGroup(mib::Group::Wireless, Host());
    page_.Activate();
    sim_.ClearLog(0);
    prompter_.Clear();
  }
  // The values of the sets of one variable, in the order they arrived.
  Strings SentValues(Variable variable) {
    Strings values;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.pdu == "set" && entry.oid == Oid(variable)) values.push_back(entry.value);
    }
    return values;
  }
  int Requests() {
    const auto log = sim_.Log(0);
    return log.empty() ? 0 : log.back().sequence;
  }

  WirelessPage page_{context_};
};

TEST_F(WirelessPageTest, ReadFillsTheControls) {
  sim_.Set(0, "Bssid", 'x', "00A0C9112233");
  OpenTab();
  EXPECT_EQ(page_.ChannelId().SelectedText(), "Channel 6");
  EXPECT_EQ(page_.Essid().Text(), "kelvo-wlan");
  EXPECT_EQ(page_.DeviceName().Text(), "Kelvo-AP-01");
  EXPECT_EQ(page_.BasicRates().SelectedText(), "1");
  EXPECT_EQ(page_.DataRates().SelectedText(), "11");
  EXPECT_EQ(page_.PreambleType().SelectedText(), "Long");
  EXPECT_EQ(page_.Mode().SelectedText(), "AP");
  EXPECT_EQ(page_.Bssid().Text(), "00A0C9112233");
  EXPECT_TRUE(page_.Bssid().ReadOnly());
  EXPECT_EQ(page_.RtsThreshold().Number(), 2347);
  EXPECT_EQ(page_.FragThreshold().Number(), 2346);
  EXPECT_EQ(page_.BeaconInterval().Number(), 100);
  EXPECT_TRUE(page_.WlanInterface().Checked());
  EXPECT_FALSE(page_.EnableAuthorizedTable().Checked());
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(WirelessPageTest, DeviceValuesMapToEntries) {
  struct Case {
    const char* variable;
    char type;
    const char* value;
    std::function<std::string(WirelessPage&)> shown;
    std::string expected;
  };
  const auto channel = [](WirelessPage& p) { return p.ChannelId().SelectedText(); };
  const auto rates = [](WirelessPage& p) { return p.BasicRates().SelectedText(); };
  const auto mode = [](WirelessPage& p) { return p.Mode().SelectedText(); };
  const auto table = [](WirelessPage& p) {
    return std::string(p.EnableAuthorizedTable().Checked() ? "on" : "off");
  };
  const Case cases[] = {
      {"Channel", 'i', "13", channel, "Auto"},  // not an FCC channel
      {"Channel", 'i', "0", channel, "Auto"},
      {"BasicRates", 'x', "00008B00", rates, "5.5"},
      {"BasicRates", 'x', "00000096", rates, "11"},
      {"BasicRates", 'x', "82840000", rates, ""},  // two rates: none of the patterns
      {"BasicRates", 'x', "8200", rates, ""},      // short value: nothing read past it
      {"OperationMode", 'i', "4", mode, ""},
      {"OperationMode", 'i', "5", mode, "Repeater"},
      {"OperationMode", 'i', "1", mode, "Bridge"},
      {"AuthorizedTableEnable", 'i', "1", table, "on"},
      {"AuthorizedTableEnable", 'i', "3", table, "on"},  // other values leave the box
      {"AuthorizedTableEnable", 'i', "2", table, "off"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variable) + " " + c.value);
    sim_.Set(0, c.variable, c.type, c.value);
    page_.Refresh();
    EXPECT_EQ(c.shown(page_), c.expected);
  }
}

TEST_F(WirelessPageTest, ShortReplyStopsAtTheBeaconIntervalBeforeTheCheckBoxes) {
  sim_.Set(0, "RtsThreshold", 'i', "500");
  sim_.Set(0, "AuthorizedTableEnable", 'i', "1");
  sim_.Set(0, "RejectBroadcastProbe", 'i', "1");
  session_.ReadGroup(mib::Group::Wireless, Host());
  page_.RtsThreshold().SetNumber(0);
  page_.EnableAuthorizedTable().SetChecked(false);
  page_.RejectBroadcastProbe().SetChecked(false);

  // The same reply without its last variable, BeaconInterval.
  snmp::SnmpMessage& reply = session_.Component().Message();
  auto variables = reply.Variables();
  variables.pop_back();
  reply.Clear();
  for (auto& variable : variables) reply.Add(std::move(variable));

  EXPECT_FALSE(page_.Extract(session_));
  EXPECT_EQ(page_.RtsThreshold().Number(), 500);
  EXPECT_FALSE(page_.EnableAuthorizedTable().Checked());
  EXPECT_FALSE(page_.RejectBroadcastProbe().Checked());
}

TEST_F(WirelessPageTest, ListsLeftWithoutSelectionSendZero) {
  // Values outside the lists leave "Data Rates:" and "Preamble Type:" without a selection;
  // "Basic Rates:" and "Mode:" then keep what was prepared before.
  OpenTab();
  page_.Apply();
  sim_.Set(0, "DataRate", 'i', "9");
  sim_.Set(0, "PreambleType", 'i', "0");
  sim_.Set(0, "BasicRates", 'x', "82840000");
  sim_.Set(0, "OperationMode", 'i', "4");
  OpenTab();
  ASSERT_FALSE(page_.DataRates().HasSelection());
  ASSERT_FALSE(page_.PreambleType().HasSelection());
  page_.Apply();
  EXPECT_EQ(SentValues(Variable::DataRate), Strings{"0"});
  EXPECT_EQ(SentValues(Variable::PreambleType), Strings{"0"});
  EXPECT_EQ(SentValues(Variable::BasicRates), Strings{"82000000"});
  EXPECT_EQ(SentValues(Variable::OperationMode), Strings{"2"});
  EXPECT_EQ(TakeMessages(),
            Strings{"Snmp set to Agent error! Check your password and retry again."});
}

TEST_F(WirelessPageTest, ChannelFollowsTheRegulatoryDomain) {
  page_.SetRegulatoryDomainQuery([] { return 4; });  // France: Auto, 10, 11, 12, 13
  page_.ChannelId().SetEntries(mib::ChannelEntries(4));
  sim_.Set(0, "Channel", 'i', "12");
  OpenTab();
  EXPECT_EQ(page_.ChannelId().SelectedText(), "Channel 12");

  page_.ChannelId().Select(2);
  page_.Apply();
  EXPECT_EQ(SentValues(Variable::Channel), Strings{"11"});

  // After a rebuild nothing is selected: the channel the device reported goes back.
  page_.ChannelId().SetEntries(mib::ChannelEntries(4));
  sim_.ClearLog(0);
  page_.Apply();
  EXPECT_EQ(SentValues(Variable::Channel), Strings{"12"});
}

TEST_F(WirelessPageTest, ApplyWritesGroupThenTableThenRestart) {
  OpenTab();
  page_.Essid().Type("office");
  page_.FocusMode();
  page_.ChooseMode(WirelessPage::kBridge);
  page_.Bssid().Type("00a0c9112233");
  page_.ChooseMode(WirelessPage::kRepeater);
  page_.Apply();

  Strings oids;
  for (const auto& entry : sim_.Log(0)) oids.push_back(entry.oid);
  Strings expected;
  for (const Variable v : mib::WriteGroup(mib::Group::Wireless)) expected.push_back(Oid(v));
  expected.push_back(Oid(Variable::AuthorizedTableEntry));
  expected.push_back(Oid(Variable::SystemRestart));
  EXPECT_EQ(oids, expected);
  EXPECT_EQ(SentValues(Variable::OperationMode), Strings{"5"});
  EXPECT_EQ(SentValues(Variable::Bssid), Strings{"00A0C9112233"});
  EXPECT_EQ(SentValues(Variable::BasicRates), Strings{"82000000"});
  EXPECT_EQ(SentValues(Variable::RateSetting), Strings{"2"});
  EXPECT_EQ(SentValues(Variable::WlanDisable), Strings{"0"});
  EXPECT_EQ(SentValues(Variable::AuthorizedTableEntry), Strings{Record(1, 0, 0)});
  EXPECT_EQ(SentValues(Variable::SystemRestart), Strings{"2"});
  EXPECT_EQ(timers_.pauses, std::vector<milliseconds>{milliseconds(200)});
  EXPECT_EQ(sim_.Get(0, "Essid").value, "6F6666696365");  // "office"
  EXPECT_TRUE(session_.ResetNeeded());
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(WirelessPageTest, OnlyRadioChangesRestartAndOnlyOnce) {
  const std::pair<const char*, std::function<void(WirelessPage&)>> cases[] = {
      {"device name", [](WirelessPage& p) { p.DeviceName().Type("Lobby"); }},
      {"rts", [](WirelessPage& p) { p.RtsThreshold().SetText("500"); }},
      {"reject probe", [](WirelessPage& p) { p.RejectBroadcastProbe().SetChecked(true); }},
      {"beacon", [](WirelessPage& p) { p.BeaconInterval().SetText("200"); }},
      {"channel", [](WirelessPage& p) { p.ChannelId().Select(3); }},
      {"data rate", [](WirelessPage& p) { p.DataRates().Select(0); }},
      {"preamble", [](WirelessPage& p) { p.PreambleType().Select(0); }},
  };
  const Strings restarting = {"beacon", "channel", "data rate", "preamble"};
  for (const auto& [name, edit] : cases) {
    SCOPED_TRACE(name);
    OpenTab();
    timers_.pauses.clear();
    edit(page_);
    page_.Apply();
    const bool restarts = std::find(restarting.begin(), restarting.end(), name) != restarting.end();
    EXPECT_EQ(SentValues(Variable::SystemRestart).size(), restarts ? 1u : 0u);
    EXPECT_EQ(timers_.pauses.size(), restarts ? 1u : 0u);
    // The change is remembered: applying again restarts nothing.
    sim_.ClearLog(0);
    page_.Apply();
    EXPECT_TRUE(SentValues(Variable::SystemRestart).empty());
    EXPECT_FALSE(session_.ResetNeeded());
  }
}

TEST_F(WirelessPageTest, BadInputWritesNothing) {
  struct Case {
    std::function<void(WirelessPage&)> edit;
    Strings messages;
  };
  const Case cases[] = {
      {[](WirelessPage& p) { p.Bssid().Type("00A0C911223"); },
       {"BSSID address  less then 12 characters!"}},
      {[](WirelessPage& p) { p.Bssid().Type("00A0C911223G"); },
       {"BSSID address only accept character (0~9,A~F)!"}},
      {[](WirelessPage& p) { p.RtsThreshold().SetText("2348"); },
       {"RTS Threshold & Fragmentation Threshold only accept an integer between 0~2347."}},
      {[](WirelessPage& p) { p.FragThreshold().SetText("-1"); },
       {"RTS Threshold & Fragmentation Threshold only accept an integer between 0~2347."}},
      {[](WirelessPage& p) { p.BeaconInterval().SetText("19"); },
       {"Beacon interval only accept an integer beteween 20~1000."}},
      {[](WirelessPage& p) { p.BeaconInterval().SetText("1001"); },
       {"Beacon interval only accept an integer beteween 20~1000."}},
      // Not an integer: the prompt, then the last number (0 on a page never read) is checked.
      {[](WirelessPage& p) { p.BeaconInterval().SetText("1e2"); },
       {"Please enter an integer.", "Beacon interval only accept an integer beteween 20~1000."}},
      {[](WirelessPage& p) { p.Essid().SetText(std::string(33, 'x')); },
       {"Please enter no more than 32 characters."}},
  };
  values_.BssidBytes = {1, 2, 3, 4, 5, 6};
  for (const Case& c : cases) {
    WirelessPage page(context_);  // never read: numbers 0, so make the others valid
    page.SetHost(Host());
    page.BeaconInterval().SetText("100");
    c.edit(page);
    page.Apply();
    EXPECT_EQ(TakeMessages(), c.messages);
    EXPECT_EQ(Requests(), 0);
    EXPECT_EQ(values_.BssidBytes, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6}));
  }
}

TEST_F(WirelessPageTest, LimitsAndNonIntegersAreAcceptedAsTheRulesSay) {
  OpenTab();
  page_.RtsThreshold().SetText("2347");
  page_.FragThreshold().SetText("0");
  page_.BeaconInterval().SetText("20");
  page_.Apply();
  EXPECT_EQ(sim_.Get(0, "BeaconInterval").value, "20");

  // A box left empty prompts and keeps the number it held.
  page_.BeaconInterval().SetText("");
  page_.Apply();
  EXPECT_EQ(TakeMessages(), Strings{"Please enter an integer."});
  EXPECT_EQ(SentValues(Variable::BeaconInterval).back(), "20");
}

TEST_F(WirelessPageTest, RefusedWriteStoresNoTableAndRestartsNothing) {
  OpenTab();
  page_.MacAddressList().Add("00A0C9112233");
  page_.BeaconInterval().SetText("300");
  page_.Mode().Select(WirelessPage::kBridge);
  sim_.Fault(0, "error 5 1");
  page_.Apply();
  EXPECT_EQ(TakeMessages(),
            Strings{"Snmp set to Agent error! Check your password and retry again."});
  EXPECT_EQ(Requests(), 1);
  EXPECT_TRUE(timers_.pauses.empty());
  EXPECT_FALSE(session_.ResetNeeded());
}

TEST_F(WirelessPageTest, ApClientNeedsAFixedAddress) {
  OpenTab();  // the device runs as "AP"
  page_.FocusMode();
  page_.ChooseMode(WirelessPage::kApClient);  // DHCP counts as enabled while unlinked
  EXPECT_EQ(page_.Mode().SelectedText(), "AP");
  ASSERT_EQ(prompter_.Shown().size(), 1u);
  EXPECT_EQ(prompter_.Shown()[0].text,
            "Only have a fixed LAN IP address then you can setting to AP Cleint mode.");
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::None);
  EXPECT_EQ(prompter_.Shown()[0].caption, "Kelvo");

  bool dhcpDisabled = true;
  page_.SetDhcpDisabledQuery([&] { return dhcpDisabled; });
  page_.ChooseMode(WirelessPage::kBridge);
  EXPECT_FALSE(page_.Bssid().ReadOnly());
  page_.FocusMode();
  page_.ChooseMode(WirelessPage::kApClient);
  EXPECT_TRUE(page_.IsApClientMode());
  EXPECT_TRUE(page_.Bssid().ReadOnly());
  EXPECT_EQ(prompter_.Shown().size(), 1u);

  // Back on a device with DHCP: the sheet's rule after the read returns to the saved entry.
  page_.Apply();
  dhcpDisabled = false;
  session_.ReadGroup(mib::Group::Wireless, Host());
  page_.Activate();
  EXPECT_EQ(page_.Mode().SelectedText(), "Bridge");
  EXPECT_FALSE(page_.Bssid().ReadOnly());
}

TEST_F(WirelessPageTest, AddAndDeleteEditOnlyTheList) {
  const std::pair<const char*, const char*> refused[] = {
      {"00A0C911223", "MAC address less then 12 characters!"},
      {"00A0C91122G3", "MAC address only accept character (0~9,A~F)!"},
      {"", "MAC address less then 12 characters!"},
  };
  for (const auto& [input, message] : refused) {
    page_.InputMacAddress().Type(input);
    page_.Add();
    EXPECT_EQ(TakeMessages(), Strings{message});
    EXPECT_EQ(page_.InputMacAddress().Text(), input);
  }
  page_.InputMacAddress().Type("00a0C9112233");
  page_.Add();
  page_.InputMacAddress().Type("00a0C9112233");
  page_.Add();
  EXPECT_EQ(page_.MacAddressList().Items(), (Strings{"00a0C9112233", "00a0C9112233"}));
  EXPECT_EQ(page_.InputMacAddress().Text(), "");

  page_.Delete();  // nothing selected
  EXPECT_EQ(page_.MacAddressList().Count(), 2);
  page_.MacAddressList().Select(0);
  page_.Delete();
  EXPECT_EQ(page_.MacAddressList().Count(), 1);

  while (page_.MacAddressList().Count() < 128) page_.MacAddressList().Add("000000000001");
  page_.InputMacAddress().Type("000000000002");
  page_.Add();
  ASSERT_EQ(prompter_.Shown().size(), 1u);
  EXPECT_EQ(prompter_.Shown()[0].text, "Maximum Authorized MAC table szie is 128!");
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
  EXPECT_EQ(page_.MacAddressList().Count(), 128);
  EXPECT_EQ(Requests(), 0);
}

TEST_F(WirelessPageTest, TableTravelsRecordByRecord) {
  sim_.Command("set-table 1 00A0C9000001 00A0C9000002 00A0C9000003");
  session_.ReadGroup(mib::Group::Wireless, Host());
  sim_.ClearLog(0);
  page_.Activate();
  EXPECT_EQ(page_.MacAddressList().Items(),
            (Strings{"00A0C9000001", "00A0C9000002", "00A0C9000003"}));
  EXPECT_EQ(SentValues(Variable::AuthorizedTableEntry),
            (Strings{Record(2, 0, 1), Record(2, 0, 1), Record(2, 0, 2), Record(2, 0, 3)}));
  EXPECT_EQ(sim_.Log(0).front().community, "admin");

  // Stored back: the device's table becomes the list, whatever it held before.
  page_.MacAddressList().Remove(0);
  page_.MacAddressList().Add("bad entry");  // only a profile could put this here; left out
  page_.MacAddressList().Add("00a0c9000004");
  sim_.ClearLog(0);
  page_.StoreAuthorizedTable();
  EXPECT_EQ(SentValues(Variable::AuthorizedTableEntry),
            (Strings{Record(1, 3, 1, "00A0C9000002"), Record(1, 3, 2, "00A0C9000003"),
                     Record(1, 3, 3, "00A0C9000004")}));
  EXPECT_EQ(sim_.AuthorizedTable(0), (Strings{"00A0C9000002", "00A0C9000003", "00A0C9000004"}));

  page_.MacAddressList().Clear();
  page_.StoreAuthorizedTable();
  EXPECT_TRUE(sim_.AuthorizedTable(0).empty());
  page_.FetchAuthorizedTable();
  EXPECT_EQ(page_.MacAddressList().Count(), 0);
}

TEST_F(WirelessPageTest, FullTableRoundTripsAndOversizedTablesAreNotFetched) {
  for (int i = 0; i < 128; ++i) {
    char mac[13];
    std::snprintf(mac, sizeof mac, "00A0C90000%02X", i);
    page_.MacAddressList().Add(mac);
  }
  const Strings stored = page_.MacAddressList().Items();
  page_.StoreAuthorizedTable();
  page_.FetchAuthorizedTable();
  EXPECT_EQ(page_.MacAddressList().Items(), stored);
  EXPECT_EQ(sim_.AuthorizedTable(0), stored);

  std::string command = "set-table 1";
  for (int i = 0; i < 129; ++i) command += " 00A0C9000001";
  sim_.Command(command);
  sim_.ClearLog(0);
  page_.FetchAuthorizedTable();
  EXPECT_EQ(page_.MacAddressList().Count(), 0);
  EXPECT_EQ(Requests(), 1);

  // A device that refuses the exchange echoes the request: count 0, an empty list, no message.
  sim_.Command("set-table 1 00A0C9000001");
  sim_.Fault(0, "error 5 1");
  page_.FetchAuthorizedTable();
  EXPECT_EQ(page_.MacAddressList().Count(), 0);
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(WirelessPageTest, LeavingThePageRereadsTheGroupButNotTheTable) {
  OpenTab();
  page_.Essid().Type("unapplied");
  page_.MacAddressList().Add("00A0C9000009");
  page_.ShowChanged(false);
  EXPECT_EQ(page_.Essid().Text(), "kelvo-wlan");
  EXPECT_EQ(page_.MacAddressList().Items(), Strings{"00A0C9000009"});
  EXPECT_EQ(Requests(), 1);
  page_.ShowChanged(true);
  EXPECT_EQ(Requests(), 1);
}

}  // namespace
}  // namespace kelvo::pages
