// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "PageFixture.h"
#include "mib/MibVariables.h"
#include "pages/StatisticPage.h"
#include "statistics/CounterBlocks.h"

namespace kelvo::test {
namespace {

using pages::StatisticPage;
using statistics::kCounterCount;
using statistics::kCounters;
using statistics::View;

constexpr std::string_view kEthernetRx = "EthernetRxCounters";
constexpr std::string_view kEthernetTx = "EthernetTxCounters";
constexpr std::string_view kWireless = "WirelessCounters";

// Upper-case hex of counters, each least significant byte first.
std::string CounterHex(const std::vector<std::uint32_t>& counters) {
  std::string hex;
  char pair[3];
  for (std::uint32_t value : counters) {
    for (int shift = 0; shift < 32; shift += 8) {
      std::snprintf(pair, sizeof pair, "%02X", (value >> shift) & 0xFF);
      hex += pair;
    }
  }
  return hex;
}

std::vector<std::uint32_t> ParseCounters(const std::string& hex) {
  std::vector<std::uint32_t> counters;
  for (std::size_t at = 0; at + 8 <= hex.size(); at += 8) {
    std::uint32_t value = 0;
    for (int byte = 3; byte >= 0; --byte) {
      value =
          value << 8 | static_cast<std::uint32_t>(std::stoul(
                           hex.substr(at + 2 * static_cast<std::size_t>(byte), 2), nullptr, 16));
    }
    counters.push_back(value);
  }
  return counters;
}

class StatisticPageTest : public PageFixture {
 protected:
  StatisticPageTest() { page_.SetHost(Host()); }

  ManualTimers::ManualTimer& Timer() { return *timers_.Timers().at(0); }
  // Freezes a block of AP 0 at the given counters.
  void SetBlock(std::string_view block, const std::vector<std::uint32_t>& counters) {
    sim_.Set(0, std::string(block), 'x', CounterHex(counters));
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < kCounterCount; ++i) texts.push_back(page_.CounterText(i));
    return texts;
  }
  std::vector<std::string> Shown() {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < kCounterCount; ++i) texts.push_back(page_.Value(i).Text());
    return texts;
  }
  std::string ShownById(int controlId) {
    ui::TextField* field = page_.FieldById(controlId);
    return field == nullptr ? "<no field>" : field->Text();
  }
  bool ViewShown(View view) {
    bool all = true;
    for (std::size_t i = 0; i < kCounterCount; ++i) {
      const bool mine = statistics::ViewOf(kCounters[i].column) == view;
      all = all && page_.Label(i).Visible() == mine && page_.Value(i).Visible() == mine;
    }
    return all && page_.EthernetFrame().Visible() == (view == View::Ethernet) &&
           page_.WirelessFrame().Visible() == (view == View::Wireless) &&
           page_.Ethernet().Checked() == (view == View::Ethernet) &&
           page_.Wireless().Checked() == (view == View::Wireless) && page_.CurrentView() == view;
  }

  StatisticPage page_{context_};
};

TEST_F(StatisticPageTest, StartsEmptyOnTheEthernetViewWithoutAsking) {
  EXPECT_EQ(Texts(), std::vector<std::string>(kCounterCount));
  EXPECT_EQ(Shown(), std::vector<std::string>(kCounterCount));
  EXPECT_TRUE(ViewShown(View::Ethernet));
  EXPECT_EQ(page_.Label(0).Text(), "TotalBytesRx:");
  EXPECT_EQ(page_.FieldById(1051)->Text(), "FlaseCarrierRx:");
  EXPECT_EQ(page_.Heading(0).Text(), "       Rx Items ");
  EXPECT_EQ(page_.Heading(3).Text(), "      Tx Values");
  EXPECT_FALSE(page_.DefaultButton().Visible());
  EXPECT_EQ(page_.FieldById(1039), nullptr) << "a heading, not a counter";
  EXPECT_FALSE(page_.IsShown());
  EXPECT_FALSE(session_.Quiet());
  EXPECT_TRUE(timers_.Timers().empty());
  EXPECT_TRUE(sim_.Log(0).empty());
}

TEST_F(StatisticPageTest, PollsEvery2500MillisecondsWhileShownAndQuietensTheSession) {
  page_.ShowChanged(true);
  EXPECT_TRUE(session_.Quiet());
  ASSERT_EQ(timers_.Timers().size(), 1U);
  EXPECT_TRUE(Timer().Active());
  EXPECT_EQ(Timer().Interval(), std::chrono::milliseconds(2500));
  EXPECT_TRUE(sim_.Log(0).empty()) << "showing the page does not read; the tab switch does";

  Timer().Fire();
  Timer().Fire();
  const auto log = sim_.Log(0);
  ASSERT_EQ(log.size(), 6U);
  for (std::size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].sequence, static_cast<int>(i / 3) + 1);
    EXPECT_EQ(log[i].pdu, "get");
    EXPECT_EQ(log[i].community, "tundra");
    EXPECT_EQ(log[i].oid, mib::FullOid(mib::ReadGroup(mib::Group::Statistics)[i % 3]));
  }
  EXPECT_EQ(log[0].oid, "1.3.6.1.4.1.15177.1.1.7.1.0");
  EXPECT_EQ(log[2].oid, "1.3.6.1.4.1.15177.1.2.3.1.0");

  // Leaving the tab stops the timer at once and gives the messages back.
  page_.ShowChanged(false);
  EXPECT_FALSE(session_.Quiet());
  EXPECT_FALSE(page_.Polling());
  // Coming back reuses the timer.
  page_.ShowChanged(true);
  EXPECT_TRUE(page_.Polling());
  EXPECT_EQ(timers_.Timers().size(), 1U);
  EXPECT_TRUE(session_.Quiet());
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(StatisticPageTest, ShowsTheLiveCountersOfTheDevice) {
  // The simulator's counters run with time: every shown value must lie between what the
  // device held just before the read and just after it.
  page_.ShowChanged(true);
  std::vector<std::uint32_t> before;
  std::vector<std::uint32_t> after;
  for (const auto block : {kEthernetRx, kEthernetTx, kWireless}) {
    for (auto value : ParseCounters(sim_.Get(0, std::string(block)).value)) before.push_back(value);
  }
  Timer().Fire();
  for (const auto block : {kEthernetRx, kEthernetTx, kWireless}) {
    for (auto value : ParseCounters(sim_.Get(0, std::string(block)).value)) after.push_back(value);
  }
  ASSERT_EQ(before.size(), kCounterCount);
  ASSERT_EQ(after.size(), kCounterCount);
  for (std::size_t i = 0; i < kCounterCount; ++i) {
    ASSERT_FALSE(page_.Value(i).Text().empty()) << i;
    const unsigned long shown = std::stoul(page_.Value(i).Text());
    EXPECT_LE(before[i], shown) << kCounters[i].label << " " << kCounters[i].valueId;
    EXPECT_LE(shown, after[i]) << kCounters[i].label << " " << kCounters[i].valueId;
  }
  EXPECT_NE(page_.Value(0).Text(), "0") << "bytes received since the simulator started";
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(StatisticPageTest, PutsEachCounterInTheFieldOfItsLabel) {
  // Distinct values with all four bytes in use, so a swapped byte order or a misplaced
  // counter shows up.
  auto block = [](std::uint32_t base, std::size_t count) {
    std::vector<std::uint32_t> counters;
    for (std::uint32_t n = 0; n < count; ++n) counters.push_back(base + n * 0x01000101U);
    return counters;
  };
  SetBlock(kEthernetRx, block(0x10000000, 16));
  SetBlock(kEthernetTx, block(0x20000000, 14));
  SetBlock(kWireless, block(0x30000000, 14));
  page_.ShowChanged(true);
  Timer().Fire();

  struct Spot {
    int valueId;
    std::uint32_t value;
  };
  const Spot spots[] = {
      {1070, 0x10000000},                     // TotalBytesRx, counter 0
      {1081, 0x10000000 + 11 * 0x01000101U},  // FlaseCarrierRx
      {1085, 0x10000000 + 15 * 0x01000101U},  // TotalJabber, the last of 64 bytes
      {1086, 0x20000000},                     // TotalBytesTx
      {1099, 0x20000000 + 13 * 0x01000101U},  // TotalCollisions
      {1127, 0x30000000},                     // wireless transmit Unicast: first in the block
      {1133, 0x30000000 + 6 * 0x01000101U},   // TxCTS
      {1114, 0x30000000 + 7 * 0x01000101U},   // wireless receive Unicast: the eighth
      {1121, 0x30000000 + 8 * 0x01000101U},   // receive Broadcast
      {1126, 0x30000000 + 13 * 0x01000101U},  // RxCTS
  };
  for (const Spot& spot : spots) {
    EXPECT_EQ(ShownById(spot.valueId), std::to_string(spot.value)) << spot.valueId;
  }
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(StatisticPageTest, ShowsCountersUnsignedAndAsTheyWrap) {
  SetBlock(kEthernetRx, std::vector<std::uint32_t>(16, 0xFFFFFFFF));
  SetBlock(kEthernetTx, std::vector<std::uint32_t>(14, 0x80000000));
  SetBlock(kWireless, std::vector<std::uint32_t>(14, 1));
  page_.ShowChanged(true);
  Timer().Fire();
  EXPECT_EQ(ShownById(1070), "4294967295");
  EXPECT_EQ(ShownById(1086), "2147483648");
  EXPECT_EQ(ShownById(1127), "1");

  // The device's counter wrapped: the page shows the new value, nothing else.
  SetBlock(kEthernetRx, std::vector<std::uint32_t>(16, 2));
  Timer().Fire();
  EXPECT_EQ(ShownById(1070), "2");
  EXPECT_EQ(ShownById(1085), "2");
}

TEST_F(StatisticPageTest, ShortAndLongBlocksShowOnlyWhatWasReceived) {
  page_.ShowChanged(true);
  Timer().Fire();
  ASSERT_FALSE(page_.Value(15).Text().empty());

  // Ten bytes: two whole counters and half of the third.
  sim_.Set(0, std::string(kEthernetRx), 'x', "0500000006000000FFFF");
  // Two counters more than the block holds.
  SetBlock(kEthernetTx, std::vector<std::uint32_t>(16, 9));
  // No bytes at all.
  sim_.Set(0, std::string(kWireless), 'x', "");
  Timer().Fire();

  const auto shown = Shown();
  EXPECT_EQ(shown[0], "5");
  EXPECT_EQ(shown[1], "6");
  for (std::size_t i = 2; i < 16; ++i) EXPECT_EQ(shown[i], "") << "uncovered counter " << i;
  for (std::size_t i = 16; i < 30; ++i) EXPECT_EQ(shown[i], "9") << i;
  for (std::size_t i = 30; i < 44; ++i) EXPECT_EQ(shown[i], "") << "uncovered counter " << i;
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(StatisticPageTest, AValueThatIsNoCounterBlockEndsTheExtractionSilently) {
  SetBlock(kEthernetRx, std::vector<std::uint32_t>(16, 1));
  SetBlock(kEthernetTx, std::vector<std::uint32_t>(14, 1));
  SetBlock(kWireless, std::vector<std::uint32_t>(14, 1));
  page_.ShowChanged(true);
  Timer().Fire();
  ASSERT_EQ(Shown(), std::vector<std::string>(kCounterCount, "1"));

  SetBlock(kEthernetRx, std::vector<std::uint32_t>(16, 2));
  sim_.Set(0, std::string(kEthernetTx), 'i', "7");
  SetBlock(kWireless, std::vector<std::uint32_t>(14, 2));
  Timer().Fire();
  // The first block was taken, the rest skipped, and nothing was redisplayed.
  EXPECT_EQ(page_.CounterText(0), "2");
  EXPECT_EQ(page_.CounterText(16), "1");
  EXPECT_EQ(page_.CounterText(30), "1");
  EXPECT_EQ(Shown(), std::vector<std::string>(kCounterCount, "1"));
  EXPECT_TRUE(prompter_.Texts().empty()) << "group 3 reports no extraction errors";

  SetBlock(kEthernetTx, std::vector<std::uint32_t>(14, 2));
  Timer().Fire();
  EXPECT_EQ(Shown(), std::vector<std::string>(kCounterCount, "2"));
}

TEST_F(StatisticPageTest, FailedPollsAreSilentOnlyWhileThePageIsShown) {
  page_.ShowChanged(true);
  Timer().Fire();
  const auto last = Shown();

  sim_.Fault(0, "error 5 1");
  Timer().Fire();
  sim_.Fault(0, "silent");
  Timer().Fire();  // a time-out
  EXPECT_TRUE(prompter_.Texts().empty());
  EXPECT_EQ(Shown(), last) << "the counters simply stop changing";

  // On another tab the next failing read speaks again.
  page_.ShowChanged(false);
  sim_.Fault(0, "error 5 1");
  page_.Refresh();
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, snmp::messages::kGetError);
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
  EXPECT_EQ(Shown(), last);
}

TEST_F(StatisticPageTest, SwitchingViewsReadsNothingAndBothViewsStayCurrent) {
  page_.ShowChanged(true);
  page_.ClickWireless();
  EXPECT_TRUE(ViewShown(View::Wireless));
  EXPECT_TRUE(sim_.Log(0).empty());

  SetBlock(kEthernetRx, std::vector<std::uint32_t>(16, 41));
  Timer().Fire();
  EXPECT_EQ(ShownById(1070), "41") << "the hidden view is refreshed too";
  EXPECT_FALSE(page_.FieldById(1070)->Visible());

  page_.ClickEthernet();
  EXPECT_TRUE(ViewShown(View::Ethernet));
  page_.ClickEthernet();
  EXPECT_TRUE(ViewShown(View::Ethernet));
  EXPECT_EQ(sim_.Log(0).size(), 3U) << "only the tick asked";
}

TEST_F(StatisticPageTest, ReopeningTheSheetKeepsTheCountersAndReturnsToEthernet) {
  SetBlock(kEthernetRx, std::vector<std::uint32_t>(16, 12));
  page_.ShowChanged(true);
  page_.ClickWireless();
  Timer().Fire();

  // Closing the sheet with the page in front: the timer ends and the session is no longer
  // quiet, so the reads of the next opening report their failures.
  page_.WindowDestroyed();
  EXPECT_FALSE(page_.Polling());
  EXPECT_FALSE(session_.Quiet());
  EXPECT_FALSE(page_.IsShown());

  page_.WindowCreated();
  page_.ShowChanged(false);
  EXPECT_TRUE(ViewShown(View::Ethernet));
  EXPECT_EQ(ShownById(1070), "12");
  EXPECT_EQ(page_.CounterText(0), "12");
}

// A timer service whose timers cannot be had.
class NoTimers final : public ui::TimerService {
 public:
  std::unique_ptr<ui::Timer> CreateTimer(std::function<void()>) override { return nullptr; }
  void Pause(std::chrono::milliseconds) override {}
};

TEST_F(StatisticPageTest, WithoutATimerThePageSaysSoAndStaysQuiet) {
  NoTimers noTimers;
  pages::PageContext context{session_, values_, noTimers, {}};
  StatisticPage page(context);
  page.ShowChanged(true);
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, "Can not set timer!");
  EXPECT_EQ(prompter_.Shown()[0].caption, "Kelvo");
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
  EXPECT_TRUE(session_.Quiet());
  EXPECT_FALSE(page.Polling());
  page.ShowChanged(false);
  EXPECT_FALSE(session_.Quiet());
}

}  // namespace
}  // namespace kelvo::test
