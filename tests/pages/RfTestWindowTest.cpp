// SPDX-License-Identifier: GPL-2.0-or-later
// The RF test window's model against the simulated device under test.
#include <functional>
#include <thread>

#include "PageFixture.h"
#include "rftest/RfTestWindow.h"

namespace kelvo::test {
namespace {

using namespace rftest;
using Msgs = std::vector<std::string>;
using std::chrono::milliseconds;

// Only the packet RX run opens the device's test port (65535), on addresses of its own, since
// CTest runs these tests in parallel.
ApSimOptions DeviceUnderTest(bool testPort) {
  if (testPort) return {2, "127.0.97.2", "admin", {}};
  return {2, "127.0.96.2", "admin", {"--test-port", "0"}};
}

class RfTestWindowTest : public PageFixture {
 protected:
  explicit RfTestWindowTest(bool testPort = false)
      : PageFixture(DeviceUnderTest(testPort)), window_(session_, timers_, Host()) {
    window_.SetRaiseSenderPriority(false);
  }

  // The values of RfTestCommand the device was sent, in order.
  std::vector<std::string> Commands() {
    std::vector<std::string> sent;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.pdu == "set" && entry.oid == "1.3.6.1.4.1.15177.1.1.8.1.0") {
        sent.push_back(entry.value);
      }
    }
    return sent;
  }

  // The value last sent to (or asked of) the test variable 1.1.8.<leaf>.
  std::string LastValueOf(int leaf) {
    const std::string oid = "1.3.6.1.4.1.15177.1.1.8." + std::to_string(leaf) + ".0";
    std::string value;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.oid == oid) value = entry.value;
    }
    return value;
  }

  ManualTimers::ManualTimer& CounterTimer() { return *timers_.Timers().back(); }

  RfTestWindow window_;
};

TEST_F(RfTestWindowTest, OpensWithItsInitialValuesAndSendsNothing) {
  EXPECT_EQ(window_.Channel().SelectedText(), "Channel 1");
  EXPECT_EQ(window_.Channel().Count(), 14);
  EXPECT_EQ(window_.Channel().Entries().back(), "Channel 14");
  EXPECT_EQ(window_.DataRate().Entries(), (Msgs{"1 Mb", "2 Mb", "5.5 Mb", "11 Mb"}));
  EXPECT_EQ(window_.DataRate().SelectedText(), "11 Mb");
  EXPECT_EQ(window_.Preamble().Entries(), (Msgs{"Long", "Short"}));
  EXPECT_EQ(window_.Preamble().SelectedText(), "Short");
  EXPECT_EQ(window_.PacketLength().Text(), "1500");
  EXPECT_EQ(window_.PacketNumber().Text(), "1000");
  EXPECT_EQ(window_.Pattern().Text(), "AA");
  EXPECT_EQ(window_.TxGain().Text(), "0");
  EXPECT_EQ(window_.PDesired().Text(), "0");
  for (std::size_t i = 0; i < BasebandBlock::kRegisterCount; ++i) {
    EXPECT_EQ(window_.BasebandField(i).Text(), "00");
  }
  for (std::size_t i = 0; i < SynthesizerBlock::kRegisterCount; ++i) {
    EXPECT_EQ(window_.SynthesizerField(i).Text(), "00000000");
  }
  EXPECT_TRUE(window_.Wireless().Address() == (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_FALSE(window_.Wireless().IsBlank());
  for (std::size_t i = 0; i < RfTestWindow::kCounterCount; ++i) {
    EXPECT_EQ(window_.CounterLabel(static_cast<RfTestWindow::Counter>(i)).Text(), "0");
  }
  for (const auto& captions : kTestButtons) {
    EXPECT_EQ(window_.TestButton(captions.kind).Caption(), captions.start);
  }
  EXPECT_FALSE(window_.CounterTimerActive());
  EXPECT_TRUE(sim_.Log(0).empty());
}

TEST_F(RfTestWindowTest, ValidationStopsAtTheFirstBadFieldAndSendsNothing) {
  struct Case {
    const char* name;
    std::function<void(RfTestWindow&)> edit;
    void (RfTestWindow::*button)();
    std::string message;
  };
  const auto baseband = [](std::size_t i) {
    return [i](RfTestWindow& w) { w.BasebandField(i).SetText("G1"); };
  };
  const auto synthesizer = [](std::size_t i) {
    return [i](RfTestWindow& w) { w.SynthesizerField(i).SetText("0000000X"); };
  };
  const std::vector<Case> cases = {
      {"length 63", [](RfTestWindow& w) { w.PacketLength().SetText("63"); }, &RfTestWindow::Apply,
       "Packet length (64 ~ 1514)"},
      {"length 1515", [](RfTestWindow& w) { w.PacketLength().SetText("1515"); },
       &RfTestWindow::Apply, "Packet length (64 ~ 1514)"},
      {"number 0", [](RfTestWindow& w) { w.PacketNumber().SetText("0"); }, &RfTestWindow::Apply,
       "Packet number (1 ~ 65535)"},
      {"pattern one digit", [](RfTestWindow& w) { w.Pattern().SetText("A"); }, &RfTestWindow::Apply,
       "Pattern:Only accept hex value(0~F)."},
      {"CR3", baseband(0), &RfTestWindow::WriteToBbp, "CR3:Only accept hex value(0~F)."},
      {"CR17", baseband(1), &RfTestWindow::ReadFromBbp, "CR17:Only accept hex value(0~F)."},
      {"CR20", baseband(2), &RfTestWindow::WriteBasebandToFlash,
       "CR20:Only accept hex value(0~F)."},
      {"CR21", baseband(3), &RfTestWindow::WriteToBbp, "CR21:Only accept hex value(0~F)."},
      {"CR28", baseband(4), &RfTestWindow::WriteToBbp, "CR28:Only accept hex value(0~F)."},
      {"CR29", baseband(5), &RfTestWindow::WriteToBbp, "CR29:Only accept hex value(0~F)."},
      {"TX_GAIN 32", [](RfTestWindow& w) { w.TxGain().SetText("32"); }, &RfTestWindow::WriteToSyn,
       "MID_BIAS (0 ~ 31)"},
      {"P_DESIRED -1", [](RfTestWindow& w) { w.PDesired().SetText("-1"); },
       &RfTestWindow::WritePowerToFlash, "P_DESIRED (0 ~ 31)"},
      {"IFPLL1", synthesizer(0), &RfTestWindow::WriteToRf2958,
       "IFPLL1:Only accept hex value(0~F)."},
      {"IFPLL3", synthesizer(1), &RfTestWindow::WriteToRf2958,
       "IFPLL3:Only accept hex value(0~F)."},
      {"RFPLL1", synthesizer(2), &RfTestWindow::WriteToRf2958,
       "RFPLL1:Only accept hex value(0~F)."},
      {"RFPLL4", synthesizer(3), &RfTestWindow::ReadSynthesizerFromFlash,
       "RFPLL4:Only accept hex value(0~F)."},
      {"CAL1", synthesizer(4), &RfTestWindow::WriteSynthesizerToFlash,
       "CAL1:Only accept hex value(0~F)."},
      {"VCOT1", synthesizer(5), &RfTestWindow::WriteToRf2958, "VCOT1:Only accept hex value(0~F)."},
      {"TXRX", synthesizer(6), &RfTestWindow::WriteToRf2958, "TXRX:Only accept hex value(0~F)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RfTestWindow window(session_, timers_, Host());
    c.edit(window);
    (window.*c.button)();
    ASSERT_EQ(prompter_.Shown().size(), 1U);
    EXPECT_EQ(prompter_.Shown()[0].text, c.message);
    EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
    prompter_.Clear();
  }
  EXPECT_TRUE(sim_.Log(0).empty());
}

TEST_F(RfTestWindowTest, TransferStopsAtTheFirstNonInteger) {
  window_.PacketLength().SetText("64");
  window_.PacketNumber().SetText("many");
  window_.Pattern().SetText("G1");  // after the refused field: not taken
  window_.TxGain().SetText("40");   // likewise
  window_.Exit();
  EXPECT_EQ(TakeMessages(), Msgs{"Please enter an integer."});
  EXPECT_EQ(window_.Result(), WindowResult::Open);
  EXPECT_EQ(window_.FocusedField(), &window_.PacketNumber());
  // The action goes on with the values as they are: the old pattern and TX_GAIN pass.
  window_.WriteToSyn();
  EXPECT_EQ(TakeMessages(), Msgs{"Please enter an integer."});
  EXPECT_EQ(LastValueOf(5), "010000");

  window_.PacketNumber().SetText("5");
  window_.Exit();
  EXPECT_EQ(window_.Result(), WindowResult::Accepted);
}

TEST_F(RfTestWindowTest, RegisterReadShowsEveryFieldAgain) {
  window_.PacketLength().SetText("long");  // refused: it and the later fields are not taken
  window_.Pattern().SetText("5A");
  window_.TxGain().SetText("9");
  window_.SynthesizerField(0).SetText("0000abcd");
  window_.ReadFromBbp();
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, "Please enter an integer.");
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::Error);
  EXPECT_EQ(LastValueOf(4).substr(0, 2), "03");
  // The read-back shows the values in force in every field, not only in the returned ones.
  EXPECT_EQ(window_.PacketLength().Text(), "1500");
  EXPECT_EQ(window_.Pattern().Text(), "AA");
  EXPECT_EQ(window_.TxGain().Text(), "0");
  EXPECT_EQ(window_.SynthesizerField(0).Text(), "00000000");
}

TEST_F(RfTestWindowTest, ApplySendsParametersThenReadsBackValidatingEachBlock) {
  window_.Channel().Select(10);
  window_.PacketLength().SetText("64");
  window_.PacketNumber().SetText("200");
  window_.Pattern().SetText("5A");
  window_.BasebandField(0).SetText("G1");
  window_.Apply();
  // The parameters were sent; the baseband read-back was refused, the power one ran.
  EXPECT_EQ(LastValueOf(2), "0B04025AC80000004000");
  EXPECT_EQ(TakeMessages(), Msgs{"CR3:Only accept hex value(0~F)."});
  EXPECT_EQ(LastValueOf(4), "");
  EXPECT_EQ(LastValueOf(5).substr(0, 2), "03");
}

TEST_F(RfTestWindowTest, SetChecksTheAddressesThenStartsTheCounterPoll) {
  window_.Set();
  EXPECT_EQ(TakeMessages(), Msgs{"Please input Wireless IP Address!"});
  window_.Wireless().SetAddress({127, 0, 0, 1});
  window_.Set();
  EXPECT_EQ(TakeMessages(), Msgs{"Please input Ethernet IP Address!"});
  window_.Ethernet().SetAddress({192, 0, 2, 1});
  window_.Set();
  EXPECT_EQ(TakeMessages(), Msgs{"Ethernet IP Address is not exist! Please check your network."});
  window_.Ethernet().SetAddress({127, 0, 0, 1});
  window_.Wireless().SetAddress({192, 0, 2, 1});
  window_.Set();
  EXPECT_EQ(TakeMessages(), Msgs{"Wireless IP Address is not exist! Please check your network."});
  EXPECT_FALSE(window_.CounterTimerActive());
  EXPECT_TRUE(sim_.Log(0).empty());

  window_.Wireless().SetAddress({127, 0, 0, 1});
  window_.Set();
  EXPECT_TRUE(TakeMessages().empty());
  ASSERT_TRUE(window_.CounterTimerActive());
  EXPECT_EQ(CounterTimer().Interval(), milliseconds(2000));
  // "Refresh" took the device's parameters into the lists.
  EXPECT_EQ(window_.Channel().SelectedText(), "Channel 6");
  EXPECT_EQ(window_.DataRate().SelectedText(), "11 Mb");
  EXPECT_EQ(window_.Preamble().SelectedText(), "Long");
  // Then the baseband and power read-backs, in that order.
  const auto log = sim_.Log(0);
  ASSERT_EQ(log.size(), 3U);
  EXPECT_EQ(log[1].oid, "1.3.6.1.4.1.15177.1.1.8.4.0");
  EXPECT_EQ(log[2].oid, "1.3.6.1.4.1.15177.1.1.8.5.0");
}

TEST_F(RfTestWindowTest, RefreshWithAChannelOffTheListLeavesItUnselectedAndApplySendsZero) {
  // The device holds channel 0, which no list entry stands for (it refuses to be set so; the
  // simulator's own command puts it there).
  sim_.Command("set 1 1.3.6.1.4.1.15177.1.1.8.2.0 x 000201AA640000006400");
  window_.Refresh();
  EXPECT_EQ(window_.Channel().Selection(), ui::ChoiceList::kNone);
  EXPECT_EQ(window_.DataRate().SelectedText(), "2 Mb");
  EXPECT_EQ(window_.Preamble().SelectedText(), "Long");
  window_.Apply();
  // Channel 0 goes out as it is; the device refuses it, as it refused to be set so.
  EXPECT_EQ(LastValueOf(2).substr(0, 6), "000201");
  EXPECT_EQ(TakeMessages().size(), 1U);
}

// A timer service that cannot make timers.
class NoTimers final : public ui::TimerService {
 public:
  std::unique_ptr<ui::Timer> CreateTimer(std::function<void()>) override { return nullptr; }
  void Pause(milliseconds) override {}
};

TEST_F(RfTestWindowTest, SetGoesOnWhenTheCounterTimerCannotStart) {
  NoTimers noTimers;
  RfTestWindow window(session_, noTimers, Host());
  window.SetRaiseSenderPriority(false);
  window.Wireless().SetAddress({127, 0, 0, 1});
  window.Ethernet().SetAddress({127, 0, 0, 1});
  window.Set();
  ASSERT_EQ(prompter_.Shown().size(), 1U);
  EXPECT_EQ(prompter_.Shown()[0].text, "Warring! Can not set timer!");
  EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::None);
  EXPECT_FALSE(window.CounterTimerActive());
  // The rest of Set still ran: the parameters and both read-backs.
  EXPECT_EQ(sim_.Log(0).size(), 3U);
  EXPECT_EQ(window.Channel().SelectedText(), "Channel 6");
}

TEST_F(RfTestWindowTest, TestButtonsSwitchCaptionsAndReplayAnotherRunningTest) {
  window_.PressTest(TestKind::Carrier);
  EXPECT_EQ(window_.TestButton(TestKind::Carrier).Caption(), "Stop Carrier Test");
  EXPECT_EQ(window_.Mode(), 4);
  timers_.pauses.clear();
  window_.PressTest(TestKind::ContinuousTx);
  EXPECT_EQ(Commands(), (Msgs{"4", "132", "1"}));
  EXPECT_EQ(timers_.pauses, (std::vector<milliseconds>{milliseconds(1000), milliseconds(1000)}));
  EXPECT_EQ(window_.TestButton(TestKind::Carrier).Caption(), "Carrier Test");
  EXPECT_EQ(window_.TestButton(TestKind::ContinuousTx).Caption(), "Stop TX");
  window_.PressTest(TestKind::ContinuousTx);
  EXPECT_EQ(window_.TestButton(TestKind::ContinuousTx).Caption(), "Continue TX");
  EXPECT_EQ(window_.Mode(), 129);

  // A refused start leaves the caption but keeps the mode.
  sim_.Fault(0, "error 5");
  window_.PressTest(TestKind::PacketRx);
  EXPECT_EQ(TakeMessages().size(), 1U);
  EXPECT_EQ(window_.TestButton(TestKind::PacketRx).Caption(), "Continue packet RX");
  EXPECT_EQ(window_.Mode(), 3);
  EXPECT_EQ(window_.Sender().State(), SenderState::NotStarted);
}

TEST_F(RfTestWindowTest, PacketTxStopsItselfAtThePacketNumber) {
  window_.Wireless().SetAddress({127, 0, 0, 1});
  window_.Ethernet().SetAddress({127, 0, 0, 1});
  window_.Set();
  window_.PacketLength().SetText("64");
  window_.PacketNumber().SetText("200");
  window_.Apply();
  ASSERT_TRUE(TakeMessages().empty());

  timers_.pauses.clear();
  window_.PressTest(TestKind::PacketTx);
  EXPECT_EQ(window_.TestButton(TestKind::PacketTx).Caption(), "Stop packet TX");
  EXPECT_EQ(timers_.pauses, (std::vector<milliseconds>{milliseconds(1000), milliseconds(1000)}));
  ASSERT_TRUE(window_.CounterTimerActive());
  // The simulated device sends 200 short packets in about 40 ms.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (window_.Mode() == 2 && std::chrono::steady_clock::now() < deadline) {
    CounterTimer().Fire();
  }
  EXPECT_EQ(Commands(), (Msgs{"2", "130"}));
  EXPECT_EQ(window_.TestButton(TestKind::PacketTx).Caption(), "Continue packet TX");
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::TxTotal).Text(), "200");
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::TxGood).Text(), "198");
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::TxBad).Text(), "2");
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::TxRate).Text(), "1.00");
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::RxRate).Text(), "0.00");
  // Later ticks do not send the stop again; a silent device keeps the labels.
  CounterTimer().Fire();
  sim_.Fault(0, "error 5");
  CounterTimer().Fire();
  EXPECT_EQ(Commands(), (Msgs{"2", "130"}));
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::TxTotal).Text(), "200");
}

TEST(RfTestErrorRate, SinglePrecisionTwoDecimals) {
  EXPECT_EQ(ErrorRateText(990, 10), "1.00");
  EXPECT_EQ(ErrorRateText(0, 0), "0.00");
  EXPECT_EQ(ErrorRateText(5, 0), "0.00");
  EXPECT_EQ(ErrorRateText(0, 7), "100.00");
  EXPECT_EQ(ErrorRateText(1, 2), "66.67");
  // The total wraps at 32 bits like the device's counters: 0 total shows 0.
  EXPECT_EQ(ErrorRateText(0xFFFFFFFFU, 1), "0.00");
}

TEST_F(RfTestWindowTest, ClosingStopsTimerAndStreamAndSendsNothing) {
  window_.Wireless().SetAddress({127, 0, 0, 1});
  window_.Ethernet().SetAddress({127, 0, 0, 1});
  window_.Set();
  window_.PressTest(TestKind::PacketRx);
  EXPECT_EQ(window_.TestButton(TestKind::PacketRx).Caption(), "Stop packet RX");
  EXPECT_TRUE(window_.Sender().IsRunning());
  sim_.ClearLog(0);
  timers_.pauses.clear();
  window_.CloseByTitleBar();
  EXPECT_EQ(window_.Result(), WindowResult::Cancelled);
  EXPECT_FALSE(window_.CounterTimerActive());
  EXPECT_FALSE(window_.Sender().IsRunning());
  EXPECT_EQ(window_.Sender().State(), SenderState::Ended);
  EXPECT_EQ(timers_.pauses, std::vector<milliseconds>{milliseconds(1000)});
  EXPECT_TRUE(sim_.Log(0).empty());
  EXPECT_TRUE(TakeMessages().empty());
}

class RfTestWindowPacketRx : public RfTestWindowTest {
 protected:
  RfTestWindowPacketRx() : RfTestWindowTest(true) {}
};

TEST_F(RfTestWindowPacketRx, DeviceCountsExactlyThePacketNumber) {
  window_.Wireless().SetAddress({127, 0, 0, 1});
  window_.Ethernet().SetAddress({127, 0, 0, 1});
  window_.Set();
  window_.PacketLength().SetText("64");
  window_.PacketNumber().SetText("300");
  window_.Apply();
  ASSERT_TRUE(TakeMessages().empty());

  window_.PressTest(TestKind::PacketRx);
  ASSERT_EQ(window_.TestButton(TestKind::PacketRx).Caption(), "Stop packet RX");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (window_.Sender().State() != SenderState::Ended &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(window_.Sender().SentCount(), 300U);
  // The stream's end leaves the button as it is.
  EXPECT_EQ(window_.TestButton(TestKind::PacketRx).Caption(), "Stop packet RX");
  do {
    CounterTimer().Fire();
  } while (window_.CounterLabel(RfTestWindow::RxGood).Text() != "300" &&
           std::chrono::steady_clock::now() < deadline);
  std::this_thread::sleep_for(milliseconds(100));
  CounterTimer().Fire();
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::RxTotal).Text(), "300");
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::RxGood).Text(), "300");
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::RxRate).Text(), "0.00");
  EXPECT_EQ(window_.CounterLabel(RfTestWindow::TxTotal).Text(), "0");

  window_.PressTest(TestKind::PacketRx);
  EXPECT_EQ(Commands(), (Msgs{"3", "131"}));
  EXPECT_EQ(window_.TestButton(TestKind::PacketRx).Caption(), "Continue packet RX");
  EXPECT_TRUE(TakeMessages().empty());
}

}  // namespace
}  // namespace kelvo::test
