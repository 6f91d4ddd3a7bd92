// SPDX-License-Identifier: GPL-2.0-or-later
// The manufacturing window's model: the production operator names the computer's local
// interfaces, sets the packet test parameters, writes and reads the register blocks, runs the
// device's four tests and watches its packet counters. It holds the controls' state and every
// rule; a front end only shows it. All calls come from the user-interface thread; the packet
// receive stream alone runs on a worker (TestPacketSender), owned and joined here.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "rftest/TestBlocks.h"
#include "rftest/TestPacketSender.h"
#include "ui/Controls.h"
#include "ui/Timers.h"

namespace kelvo::snmp {
class AgentSession;
}

namespace kelvo::rftest {

// What the window ended with.
enum class WindowResult : std::uint8_t { Open, Accepted, Cancelled };

// The start and stop captions of the four test buttons.
struct TestButtonCaptions {
  TestKind kind;
  std::string_view start;
  std::string_view stop;
};
// In the order of the "COMMAND" group, left to right.
inline constexpr std::array<TestButtonCaptions, 4> kTestButtons = {{
    {TestKind::ContinuousTx, "Continue TX", "Stop TX"},
    {TestKind::Carrier, "Carrier Test", "Stop Carrier Test"},
    {TestKind::PacketTx, "Continue packet TX", "Stop packet TX"},
    {TestKind::PacketRx, "Continue packet RX", "Stop packet RX"},
}};
const TestButtonCaptions& CaptionsOf(TestKind kind);

namespace window {
inline constexpr std::string_view kTitle = "RFBench Version 1.0.0.5";
inline constexpr std::string_view kLocalInterfaceGroup = "LOCAL INTERFACE IP ADDRESS";
inline constexpr std::string_view kConfigurationGroup = "CONFIGURATION";
inline constexpr std::string_view kBasebandGroup = "BASEBAND REGISTER (Hex value)";
inline constexpr std::string_view kPowerGroup = "SETTING POWER";
inline constexpr std::string_view kSynthesizerGroup = "RF2958(Hex value)";
inline constexpr std::string_view kTxStatisticGroup = "DUT TX PACKET STATISTIC";
inline constexpr std::string_view kRxStatisticGroup = "DUT RX PACKET STATISTIC";
inline constexpr std::string_view kCommandGroup = "COMMAND";
// The counter rows of each statistic group: label and unit.
inline constexpr std::array<std::string_view, 4> kCounterLabels = {
    "Total Packet Count", "Good Packet Count", "Bad Packet Count", "Packet Error Rate"};
inline constexpr std::array<std::string_view, 4> kCounterUnits = {"Packets", "Packets", "Packets",
                                                                  "%"};

namespace messages {
inline constexpr std::string_view kNoWirelessAddress = "Please input Wireless IP Address!";
inline constexpr std::string_view kNoEthernetAddress = "Please input Ethernet IP Address!";
inline constexpr std::string_view kEthernetMissing =
    "Ethernet IP Address is not exist! Please check your network.";
inline constexpr std::string_view kWirelessMissing =
    "Wireless IP Address is not exist! Please check your network.";
inline constexpr std::string_view kTimerFailed = "Warring! Can not set timer!";
}  // namespace messages

inline constexpr std::chrono::milliseconds kCounterInterval{2000};
inline constexpr std::chrono::milliseconds kCommandSettle{1000};
inline constexpr std::chrono::milliseconds kCloseSettle{1000};
}  // namespace window

// "%.2f" of bad / (good + bad) x 100 in single precision; "0.00" when the total or bad is 0.
std::string ErrorRateText(std::uint32_t good, std::uint32_t bad);

class RfTestWindow {
 public:
  // Counter value labels, by statistic group then row of window::kCounterLabels.
  enum Counter : std::size_t { TxTotal, TxGood, TxBad, TxRate, RxTotal, RxGood, RxBad, RxRate };
  static constexpr std::size_t kCounterCount = 8;

  // Opens the window for the device at agentAddress. Nothing is sent to the device.
  RfTestWindow(snmp::AgentSession& session, ui::TimerService& timers, std::string agentAddress);
  // Stops and joins a running packet stream.
  ~RfTestWindow();
  RfTestWindow(const RfTestWindow&) = delete;
  RfTestWindow& operator=(const RfTestWindow&) = delete;

  const std::string& AgentAddress() const { return agentAddress_; }

  // "LOCAL INTERFACE IP ADDRESS"
  ui::AddressField& Wireless() { return wireless_; }
  ui::AddressField& Ethernet() { return ethernet_; }
  // "CONFIGURATION"
  ui::ChoiceList& Channel() { return channel_; }
  ui::ChoiceList& Preamble() { return preamble_; }
  ui::ChoiceList& DataRate() { return dataRate_; }
  ui::NumberField& PacketLength() { return packetLength_; }
  ui::NumberField& PacketNumber() { return packetNumber_; }
  ui::TextField& Pattern() { return pattern_; }
  // "BASEBAND REGISTER (Hex value)", in the order of kBasebandNames.
  ui::TextField& BasebandField(std::size_t index) { return baseband_.at(index); }
  // "SETTING POWER"
  ui::NumberField& TxGain() { return txGain_; }
  ui::NumberField& PDesired() { return pDesired_; }
  // "RF2958(Hex value)", in the order of kSynthesizerNames.
  ui::TextField& SynthesizerField(std::size_t index) { return synthesizer_.at(index); }
  // The value labels of the two statistic groups.
  const ui::TextField& CounterLabel(Counter counter) const { return counters_.at(counter); }
  // The four test buttons, in the order of kTestButtons.
  ui::Button& TestButton(TestKind kind);

  // The window's values: the blocks and test mode that the test requests send.
  const TestBlocks& Blocks() const { return blocks_; }
  TestMode Mode() const { return blocks_.mode; }
  // The decimal field that refused its text in the last transfer, as the focus; else nullptr.
  const ui::NumberField* FocusedField() const { return focused_; }
  // The front end has moved the focus there.
  void FocusTaken() { focused_ = nullptr; }
  bool CounterTimerActive() const { return timer_ != nullptr && timer_->Active(); }
  // The packet receive stream.
  const TestPacketSender& Sender() const { return sender_; }
  // Tests on a shared machine keep the stream at normal priority.
  void SetRaiseSenderPriority(bool raise) { raiseSenderPriority_ = raise; }
  WindowResult Result() const { return result_; }

  // Buttons.
  void Set();
  void Refresh();
  void Apply();
  void WriteToBbp() { RegisterCommand(TestGroup::Baseband, RegisterOp::WriteChip); }
  void ReadFromBbp() { RegisterCommand(TestGroup::Baseband, RegisterOp::Read); }
  void WriteBasebandToFlash() { RegisterCommand(TestGroup::Baseband, RegisterOp::WriteFlash); }
  void WriteToSyn() { RegisterCommand(TestGroup::Power, RegisterOp::WriteChip); }
  void ReadPowerFromFlash() { RegisterCommand(TestGroup::Power, RegisterOp::Read); }
  void WritePowerToFlash() { RegisterCommand(TestGroup::Power, RegisterOp::WriteFlash); }
  void WriteToRf2958() { RegisterCommand(TestGroup::Synthesizer, RegisterOp::WriteChip); }
  void ReadSynthesizerFromFlash() { RegisterCommand(TestGroup::Synthesizer, RegisterOp::Read); }
  void WriteSynthesizerToFlash() {
    RegisterCommand(TestGroup::Synthesizer, RegisterOp::WriteFlash);
  }
  // One of the four test buttons.
  void PressTest(TestKind kind);

  // A tick of the counter timer: one counters poll.
  void Tick();

  // "Exit" and the Enter key: ends the window unless a decimal field refuses its text.
  void Exit();
  void Escape() { result_ = WindowResult::Cancelled; }
  void CloseByTitleBar();

 private:
  // Takes the fields' texts into the values in the window's fixed order; false when a decimal
  // field refused its text (it and the later values keep theirs).
  bool Transfer();
  // Shows every value in its field again.
  void ShowValues();
  void RegisterCommand(TestGroup group, RegisterOp op);
  // The check of the group's block from the values; false after its message.
  bool Validate(TestGroup group);
  void StartCounterTimer();
  void ShowCounters();
  void StopSender();
  void StartSender();
  void Error(std::string_view text);

  snmp::AgentSession& session_;
  ui::TimerService& timers_;
  std::string agentAddress_;

  ui::AddressField wireless_;
  ui::AddressField ethernet_;
  ui::ChoiceList channel_;
  ui::ChoiceList preamble_;
  ui::ChoiceList dataRate_;
  ui::NumberField packetLength_{1500};
  ui::NumberField packetNumber_{1000};
  ui::TextField pattern_;
  std::array<ui::TextField, BasebandBlock::kRegisterCount> baseband_;
  ui::NumberField txGain_{0};
  ui::NumberField pDesired_{0};
  std::array<ui::TextField, SynthesizerBlock::kRegisterCount> synthesizer_;
  std::array<ui::TextField, kCounterCount> counters_;
  std::array<ui::Button, kTestButtons.size()> testButtons_;

  // The text values; the decimal values are the number fields' numbers.
  std::string patternValue_ = "AA";
  std::array<std::string, BasebandBlock::kRegisterCount> basebandValues_;
  std::array<std::string, SynthesizerBlock::kRegisterCount> synthesizerValues_;

  TestBlocks blocks_;
  CounterBlock lastCounters_;
  const ui::NumberField* focused_ = nullptr;
  bool raiseSenderPriority_ = true;
  WindowResult result_ = WindowResult::Open;
  std::unique_ptr<ui::Timer> timer_;
  TestPacketSender sender_;
};

}  // namespace kelvo::rftest
