// SPDX-License-Identifier: GPL-2.0-or-later
// The main window, the password prompt and the configuration sheet together, against
// simulated access points: what an administrator does from discovery to closing the sheet.
#include <algorithm>
#include <chrono>

#include "mib/MibVariables.h"
#include "pages/ConfigurationSheet.h"
#include "pages/MainWindow.h"
#include "pages/PageFixture.h"

namespace kelvo::pages {
namespace {

using test::ApSimLogEntry;

constexpr char kResetQuestion[] =
    "You have changed and applied some values! You need reset the system then the values are "
    "valid! Reset the system now?";

class ConfigurationSheetTest : public test::PageFixture {
 protected:
  ConfigurationSheetTest() {
    session_.SetDiscoveryTargets({"127.255.255.255"});
    session_.SetWriteCommunity("");
  }

  // Lets discovery replies arrive until `count` access points are listed.
  void AwaitAccessPoints(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (session_.AccessPoints().size() < count && std::chrono::steady_clock::now() < deadline) {
      if (wait_.WaitReadable(session_.Component().Descriptor(), std::chrono::milliseconds(50))) {
        session_.Component().ProcessIncoming();
      }
    }
    ASSERT_EQ(session_.AccessPoints().size(), count);
  }

  int RowOf(const std::string& address) const {
    const auto& rows = window_.Rows();
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [&](const auto& row) { return row.address == address; });
    return it == rows.end() ? MainWindow::kNoRow : static_cast<int>(it - rows.begin());
  }

  // The OIDs of every request the access point received, in order, one string per request.
  std::vector<std::string> Requests(int ap) {
    std::vector<std::string> requests;
    int sequence = 0;
    for (const ApSimLogEntry& entry : sim_.Log(ap)) {
      if (entry.sequence != sequence) {
        requests.push_back(entry.pdu + ":");
        sequence = entry.sequence;
      }
      requests.back() +=
          ' ' + std::string(mib::FindByOid(entry.oid) ? mib::Info(*mib::FindByOid(entry.oid)).name
                                                      : entry.oid);
    }
    return requests;
  }

  ConfigurationSheet sheet_{context_};
  PasswordPrompt prompt_{session_};
  MainWindow window_{session_, prompt_, sheet_};
};

TEST_F(ConfigurationSheetTest, AFullConfigurationSessionLeavesTheDeviceConfigured) {
  const std::string host = sim_.Address(1);
  window_.Shown();
  AwaitAccessPoints(3);
  window_.ClickRow(RowOf(host));
  sim_.ClearLog(1);

  window_.SetPromptRunner([](PasswordPrompt& prompt) {
    prompt.Password().Type("admin");
    EXPECT_TRUE(prompt.Ok());
  });
  bool sheetRan = false;
  window_.SetSheetRunner([&](ConfigurationSheet& sheet) {
    sheetRan = true;
    EXPECT_EQ(sheet.Host(), host);
    EXPECT_EQ(sheet.CurrentTab(), ConfigurationSheet::kSystem);
    EXPECT_EQ(Requests(1), (std::vector<std::string>{
                               "get: SystemDescription MacAddress TrapEnable RegulatoryDomain "
                               "SerialNumber",
                               "get: IpAddress SubnetMask MacAddress Gateway DhcpClient "
                               "PrimaryPort"}));
    EXPECT_EQ(sheet.Wireless().ChannelId().Count(), 12) << "FCC channels after opening";
    sim_.ClearLog(1);

    // System: a new administrator password.
    sheet.System().NewPassword().Type("n3w-pass");
    sheet.System().ConfirmPassword().Type("n3w-pass");
    EXPECT_TRUE(sheet.System().Apply());
    EXPECT_EQ(session_.WriteCommunity(), "n3w-pass");

    // IP Config: a new gateway on a fixed address needs a reset right away.
    sheet.PressTab(ConfigurationSheet::kIpConfig);
    sheet.IpConfig().Gateway().SetAddress({10, 0, 0, 254});
    EXPECT_TRUE(sheet.IpConfig().Apply());
    EXPECT_EQ(TakeMessages(), (std::vector<std::string>{
                                  "You have changed dhcp client mode. So you need reset device to "
                                  "take effect right now..."}));

    // Statistic: polled while visible, quietly.
    sheet.PressTab(ConfigurationSheet::kStatistic);
    EXPECT_TRUE(session_.Quiet());

    // Wireless: a new network name and the repeater mode, which needs a reset later.
    sheet.PressTab(ConfigurationSheet::kWireless);
    EXPECT_FALSE(session_.Quiet()) << "the Statistic page gave up its quiet flag";
    sheet.Wireless().Essid().SetText("");
    sheet.Wireless().Essid().Type("Lab-Net");
    sheet.Wireless().ChooseMode(WirelessPage::kRepeater);
    sheet.Wireless().Apply();
    EXPECT_TRUE(session_.ResetNeeded());

    // Security: a new re-authentication period.
    sheet.PressTab(ConfigurationSheet::kSecurity);
    sheet.Security().ReAuthPeriod().SetText("1800");
    sheet.Security().Apply();

    // About reads nothing.
    sim_.ClearLog(1);
    sheet.PressTab(ConfigurationSheet::kAbout);
    EXPECT_TRUE(sim_.Log(1).empty());
    EXPECT_TRUE(TakeMessages().empty());

    prompter_.QueueAnswer(ui::Answer::Yes);
    sheet.CloseBox();
    EXPECT_FALSE(sheet.IsOpen());
  });
  window_.Configure();

  ASSERT_TRUE(sheetRan);
  EXPECT_EQ(TakeMessages(), (std::vector<std::string>{kResetQuestion}));
  EXPECT_FALSE(session_.ResetNeeded());
  // The reset went out with the new password; then the rediscovery asked for names again.
  const auto log = sim_.Log(1);
  ASSERT_GE(log.size(), 2U);
  const auto& reset = log[log.size() - 2];
  EXPECT_EQ(reset.oid, mib::FullOid(mib::Variable::SystemRestart));
  EXPECT_EQ(reset.value, "1");
  EXPECT_EQ(reset.community, "n3w-pass");
  EXPECT_EQ(log.back().oid, mib::FullOid(mib::Variable::DeviceName));

  // The device holds the new configuration.
  EXPECT_EQ(sim_.Get(1, "Gateway").value, "10.0.0.254");
  EXPECT_EQ(sim_.Get(1, "OperationMode").value, "5");
  EXPECT_EQ(sim_.Get(1, "ReAuthPeriod").value, "1800");
  EXPECT_EQ(sim_.Get(1, "Essid").value, "4C61622D4E6574");  // "Lab-Net"
}

TEST_F(ConfigurationSheetTest, TabsReadOnlyWhenAnotherOneIsPressed) {
  sheet_.Open(Host());
  sim_.ClearLog(0);
  sheet_.PressTab(ConfigurationSheet::kSystem);
  EXPECT_TRUE(sim_.Log(0).empty()) << "the tab in front reads nothing";
  sheet_.PressTab(ConfigurationSheet::kSecurity);
  EXPECT_EQ(Requests(0).size(), 1U);
  sheet_.PressTab(7);
  EXPECT_EQ(sheet_.CurrentTab(), ConfigurationSheet::kSecurity);
  sheet_.PressTab(ConfigurationSheet::kWireless);
  // Group 4, then the authorised table (one fetch record for an empty table).
  const auto requests = Requests(0);
  ASSERT_GE(requests.size(), 3U);
  EXPECT_EQ(requests[1].rfind("get: Channel Essid DeviceName", 0), 0U) << requests[1];
  EXPECT_EQ(requests[2], "set: AuthorizedTableEntry");
  sheet_.CloseBox();
  EXPECT_TRUE(prompter_.Shown().empty()) << "no reset pending, no question";
}

TEST_F(ConfigurationSheetTest, ThePendingResetIsAskedOnceAndForgottenOnReopening) {
  sheet_.Open(Host());
  session_.SetWriteCommunity("admin");
  EXPECT_TRUE(sheet_.System().LoadDefault());
  EXPECT_TRUE(session_.ResetNeeded());
  sim_.ClearLog(0);
  prompter_.QueueAnswer(ui::Answer::No);
  sheet_.CloseBox();
  EXPECT_EQ(TakeMessages(), (std::vector<std::string>{kResetQuestion}));
  EXPECT_TRUE(sim_.Log(0).empty()) << "No sends nothing";

  sheet_.Open(Host());
  EXPECT_FALSE(session_.ResetNeeded());
  sheet_.CloseBox();
  EXPECT_TRUE(TakeMessages().empty());

  // A device that never answers the reset: the plain notice, and the sheet still closes.
  sheet_.Open(Host());
  sheet_.System().LoadDefault();
  sim_.Fault(0, "ignore-reset");
  prompter_.QueueAnswer(ui::Answer::Yes);
  sheet_.CloseBox();
  EXPECT_EQ(TakeMessages(),
            (std::vector<std::string>{kResetQuestion, "Reset device, please wait a moment......"}));
  EXPECT_FALSE(sheet_.IsOpen());
}

TEST_F(ConfigurationSheetTest, ClosingSendsOnlyTheResetWhicheverPageIsInFront) {
  session_.SetWriteCommunity("admin");
  for (int tab = ConfigurationSheet::kSystem; tab <= ConfigurationSheet::kAbout; ++tab) {
    SCOPED_TRACE(ConfigurationSheet::kTabTexts[static_cast<std::size_t>(tab)]);
    sheet_.Open(Host());
    sheet_.PressTab(tab);
    session_.SetResetNeeded(true);
    sim_.ClearLog(0);
    prompter_.Clear();
    prompter_.QueueAnswer(ui::Answer::Yes);
    sheet_.CloseBox();
    // The pages end with the sheet and run no hide steps: nothing is read after the reset.
    EXPECT_EQ(Requests(0), (std::vector<std::string>{"set: SystemRestart"}));
    EXPECT_EQ(TakeMessages(), (std::vector<std::string>{kResetQuestion}));
    EXPECT_FALSE(session_.Quiet());
  }
}

TEST_F(ConfigurationSheetTest, TheMainWindowManagesTheClickedRow) {
  window_.Shown();
  AwaitAccessPoints(3);
  window_.SetPromptRunner([](PasswordPrompt& prompt) { prompt.Ok(); });
  std::vector<std::string> hosts;
  window_.SetSheetRunner([&](ConfigurationSheet& sheet) {
    hosts.push_back(sheet.Host());
    sheet.CloseBox();
  });

  // Nothing selected: nothing happens.
  window_.Configure();
  EXPECT_TRUE(hosts.empty());

  // A click on A, then the keyboard moves the selection to B: A is managed.
  const std::string a = window_.Rows()[0].address;
  const std::string b = window_.Rows()[1].address;
  window_.ClickRow(0);
  window_.SelectRowWithKeyboard(1);
  window_.Configure();
  ASSERT_EQ(hosts.size(), 1U);
  EXPECT_EQ(hosts[0], a);

  // After the rediscovery, a row chosen only with the keyboard is managed.
  AwaitAccessPoints(3);
  window_.SelectRowWithKeyboard(RowOf(b));
  window_.Configure();
  ASSERT_EQ(hosts.size(), 2U);
  EXPECT_EQ(hosts[1], b);

  // A prompt closed with its close box opens no sheet.
  AwaitAccessPoints(3);
  window_.SetPromptRunner([](PasswordPrompt& prompt) { prompt.CloseBox(); });
  window_.DoubleClickRow(0);
  EXPECT_EQ(hosts.size(), 2U);
}

}  // namespace
}  // namespace kelvo::pages
