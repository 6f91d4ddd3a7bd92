// SPDX-License-Identifier: GPL-2.0-or-later
#include "rftest/RfTestWindow.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "mib/RadioTables.h"
#include "rftest/TestOperations.h"
#include "snmp/AgentSession.h"
#include "ui/Prompter.h"

namespace kelvo::rftest {

namespace {

constexpr std::size_t kByteTextLimit = 2;
constexpr std::size_t kRegisterTextLimit = 8;

std::size_t ButtonIndex(TestKind kind) {
  for (std::size_t i = 0; i < kTestButtons.size(); ++i) {
    if (kTestButtons[i].kind == kind) return i;
  }
  return 0;
}

std::string DottedText(const ui::AddressField& field) {
  const auto bytes = field.Address();
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

bool IsUnset(const ui::AddressField& field) {
  const auto bytes = field.Address();
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

std::string CountText(std::uint32_t count) { return std::to_string(count); }

int ClampToInt(long value) {
  return static_cast<int>(
      std::clamp<long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

const TestButtonCaptions& CaptionsOf(TestKind kind) { return kTestButtons[ButtonIndex(kind)]; }

std::string ErrorRateText(std::uint32_t good, std::uint32_t bad) {
  // The total wraps at 32 bits, as the device's counters do.
  const std::uint32_t total = good + bad;
  float rate = 0.0F;
  if (total != 0 && bad != 0) {
    rate = static_cast<float>(static_cast<double>(bad) / static_cast<double>(total) * 100.0);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(rate));
  return text;
}

RfTestWindow::RfTestWindow(snmp::AgentSession& session, ui::TimerService& timers,
                           std::string agentAddress)
    : session_(session), timers_(timers), agentAddress_(std::move(agentAddress)) {
  // The socket layer needs no start-up here, so opening cannot fail.
  wireless_.SetAddress({0, 0, 0, 0});
  ethernet_.SetAddress({0, 0, 0, 0});
  channel_.SetEntries(mib::AllChannelEntries());
  channel_.Select(0);
  dataRate_.SetEntries({"1 Mb", "2 Mb", "5.5 Mb", "11 Mb"});
  dataRate_.Select(3);
  preamble_.SetEntries({"Long", "Short"});
  preamble_.Select(1);

  pattern_.SetLimit(kByteTextLimit);
  for (auto& field : baseband_) field.SetLimit(kByteTextLimit);
  basebandValues_.fill("00");
  for (auto& field : synthesizer_) field.SetLimit(kRegisterTextLimit);
  synthesizerValues_.fill("00000000");
  for (auto& label : counters_) {
    label.SetReadOnly(true);
    label.SetText("0");
  }
  for (std::size_t i = 0; i < kTestButtons.size(); ++i) {
    testButtons_[i].SetCaption(std::string(kTestButtons[i].start));
  }
  ShowValues();
}

RfTestWindow::~RfTestWindow() {
  // Joining replaces a fixed wait: the stream never outlives the values it was given.
  StopSender();
  if (timer_) timer_->Stop();
}

ui::Button& RfTestWindow::TestButton(TestKind kind) { return testButtons_[ButtonIndex(kind)]; }

void RfTestWindow::Error(std::string_view text) {
  session_.Prompter().ShowMessage(text, ui::kApplicationCaption, ui::MessageIcon::Error);
}

bool RfTestWindow::Transfer() {
  focused_ = nullptr;
  ui::Prompter& prompter = session_.Prompter();
  // CR17, CR20, CR21, CR28, CR29, then CR3.
  for (std::size_t i = 1; i < baseband_.size(); ++i) basebandValues_[i] = baseband_[i].Text();
  basebandValues_[0] = baseband_[0].Text();
  const auto takeNumber = [&](ui::NumberField& field) {
    bool taken = false;
    field.Take(prompter, &taken);
    if (!taken) focused_ = &field;
    return taken;
  };
  if (!takeNumber(packetLength_) || !takeNumber(packetNumber_)) return false;
  patternValue_ = pattern_.Text();
  if (!takeNumber(txGain_) || !takeNumber(pDesired_)) return false;
  // IFPLL1, IFPLL3, CAL1, RFPLL1, RFPLL4, TXRX, VCOT1 (indices of kSynthesizerNames).
  for (const std::size_t i : {0U, 1U, 4U, 2U, 3U, 6U, 5U}) {
    synthesizerValues_[i] = synthesizer_[i].Text();
  }
  return true;
}

void RfTestWindow::ShowValues() {
  for (std::size_t i = 0; i < baseband_.size(); ++i) baseband_[i].SetText(basebandValues_[i]);
  for (std::size_t i = 0; i < synthesizer_.size(); ++i) {
    synthesizer_[i].SetText(synthesizerValues_[i]);
  }
  pattern_.SetText(patternValue_);
  for (ui::NumberField* field : {&packetLength_, &packetNumber_, &txGain_, &pDesired_}) {
    field->SetNumber(field->Number());
  }
}

bool RfTestWindow::Validate(TestGroup group) {
  std::optional<std::string> failure;
  switch (group) {
    case TestGroup::Parameters:
      failure =
          FillPacketTestBlock({packetLength_.Number(), packetNumber_.Number(), channel_.Selection(),
                               dataRate_.Selection(), preamble_.Selection(), patternValue_},
                              blocks_.packet);
      break;
    case TestGroup::Baseband:
      failure = FillBasebandBlock(basebandValues_, blocks_.baseband);
      break;
    case TestGroup::Power:
      failure = FillPowerBlock(txGain_.Number(), pDesired_.Number(), blocks_.power);
      break;
    case TestGroup::Synthesizer:
      failure = FillSynthesizerBlock(synthesizerValues_, blocks_.synthesizer);
      break;
    default:
      return false;
  }
  if (failure) Error(*failure);
  return !failure;
}

void RfTestWindow::RegisterCommand(TestGroup group, RegisterOp op) {
  Transfer();
  if (!Validate(group)) return;
  switch (group) {
    case TestGroup::Baseband:
      blocks_.baseband.op = op;
      break;
    case TestGroup::Power:
      blocks_.power.op = op;
      break;
    default:
      blocks_.synthesizer.op = op;
  }
  if (op != RegisterOp::Read) {
    SetTestVariable(session_, group, agentAddress_, blocks_);
    return;
  }
  // The returned values replace the window's; then every field shows its value again, so a
  // text that the transfer did not take gives way to the value in force.
  ReadTestRegisters(session_, group, agentAddress_, blocks_,
                    [this, group](std::span<const std::uint8_t> bytes) {
                      if (group == TestGroup::Baseband) {
                        const auto values = DecodeBaseband(bytes);
                        for (std::size_t i = 0; i < values.size(); ++i) {
                          if (values[i]) basebandValues_[i] = ByteText(*values[i]);
                        }
                      } else if (group == TestGroup::Power) {
                        const auto values = DecodePower(bytes);
                        if (values.txGain) txGain_.SetNumber(*values.txGain);
                        if (values.pDesired) pDesired_.SetNumber(*values.pDesired);
                      } else {
                        const auto values = DecodeSynthesizer(bytes);
                        for (std::size_t i = 0; i < values.size(); ++i) {
                          if (values[i]) synthesizerValues_[i] = RegisterText(*values[i]);
                        }
                      }
                      ShowValues();
                    });
}

void RfTestWindow::Refresh() {
  GetTestVariable(session_, TestGroup::Parameters, agentAddress_,
                  [this](std::span<const std::uint8_t> bytes) {
                    const auto reply = DecodePacketParameters(bytes);
                    // A byte outside the list leaves it without a selection.
                    if (reply.channel) channel_.Select(*reply.channel - 1);
                    if (reply.dataRate) dataRate_.Select(*reply.dataRate - 1);
                    if (reply.preamble) preamble_.Select(*reply.preamble - 1);
                  });
  ShowValues();
}

void RfTestWindow::Apply() {
  Transfer();
  if (!Validate(TestGroup::Parameters)) return;
  if (!SetTestVariable(session_, TestGroup::Parameters, agentAddress_, blocks_)) return;
  ReadFromBbp();
  ReadPowerFromFlash();
}

void RfTestWindow::Set() {
  if (wireless_.IsBlank() || IsUnset(wireless_)) {
    Error(window::messages::kNoWirelessAddress);
    return;
  }
  if (ethernet_.IsBlank() || IsUnset(ethernet_)) {
    Error(window::messages::kNoEthernetAddress);
    return;
  }
  const std::string ethernet = DottedText(ethernet_);
  if (!ProbeLocalAddress(ethernet)) {
    Error(window::messages::kEthernetMissing);
    return;
  }
  UseLocalAddress(session_, ethernet);
  if (!ProbeLocalAddress(DottedText(wireless_))) {
    Error(window::messages::kWirelessMissing);
    return;
  }
  StartCounterTimer();
  Refresh();
  ReadFromBbp();
  ReadPowerFromFlash();
}

void RfTestWindow::StartCounterTimer() {
  if (!timer_) timer_ = timers_.CreateTimer([this] { Tick(); });
  if (!timer_) {
    session_.Prompter().ShowMessage(window::messages::kTimerFailed, ui::kApplicationCaption,
                                    ui::MessageIcon::None);
    return;
  }
  timer_->Start(window::kCounterInterval);
}

void RfTestWindow::PressTest(TestKind kind) {
  StopSender();
  timers_.Pause(window::kCommandSettle);
  // At most one test runs: another running test is stopped through its own button first.
  if (const auto other = StartedTest(blocks_.mode); other && *other != kind) PressTest(*other);

  const TestButtonCaptions& captions = CaptionsOf(kind);
  ui::Button& button = TestButton(kind);
  const bool start = button.Caption() == captions.start;
  blocks_.mode = start ? StartCode(kind) : StopCode(kind);
  // The counters are not polled while the device sets up its transmission.
  if (start && kind == TestKind::PacketTx && timer_) timer_->Stop();
  if (!SetTestVariable(session_, TestGroup::Command, agentAddress_, blocks_)) return;
  button.SetCaption(std::string(start ? captions.stop : captions.start));
  if (!start) return;
  if (kind == TestKind::PacketTx) {
    timers_.Pause(window::kCommandSettle);
    StartCounterTimer();
  } else if (kind == TestKind::PacketRx) {
    StartSender();
  }
}

void RfTestWindow::StartSender() {
  TestPacketSettings settings;
  settings.wirelessAddress = DottedText(wireless_);
  settings.deviceAddress = agentAddress_;
  settings.pattern = ParseByteText(patternValue_).value_or(blocks_.packet.pattern);
  settings.packetLength = ClampToInt(packetLength_.Number());
  settings.packetNumber = ClampToInt(packetNumber_.Number());
  settings.raisePriority = raiseSenderPriority_;
  sender_.Start(settings);
}

void RfTestWindow::StopSender() { sender_.Stop(); }

void RfTestWindow::Tick() {
  bool shown = false;
  GetTestVariable(session_, TestGroup::Counters, agentAddress_,
                  [&](std::span<const std::uint8_t> bytes) {
                    lastCounters_ = DecodeCounters(bytes, lastCounters_);
                    ShowCounters();
                    shown = true;
                  });
  if (!shown) return;
  const std::uint32_t txTotal = lastCounters_.txGood + lastCounters_.txBad;
  if (blocks_.mode == StartCode(TestKind::PacketTx) &&
      static_cast<long>(txTotal) >= packetNumber_.Number()) {
    PressTest(TestKind::PacketTx);
  }
}

void RfTestWindow::ShowCounters() {
  const CounterBlock& c = lastCounters_;
  counters_[TxTotal].SetText(CountText(c.txGood + c.txBad));
  counters_[TxGood].SetText(CountText(c.txGood));
  counters_[TxBad].SetText(CountText(c.txBad));
  counters_[TxRate].SetText(ErrorRateText(c.txGood, c.txBad));
  counters_[RxTotal].SetText(CountText(c.rxGood + c.rxBad));
  counters_[RxGood].SetText(CountText(c.rxGood));
  counters_[RxBad].SetText(CountText(c.rxBad));
  counters_[RxRate].SetText(ErrorRateText(c.rxGood, c.rxBad));
}

void RfTestWindow::Exit() {
  if (Transfer()) result_ = WindowResult::Accepted;
}

void RfTestWindow::CloseByTitleBar() {
  if (timer_) timer_->Stop();
  StopSender();
  timers_.Pause(window::kCloseSettle);
  result_ = WindowResult::Cancelled;
}

}  // namespace kelvo::rftest
