// SPDX-License-Identifier: GPL-2.0-or-later
#include "RfTestDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

#include "QtText.h"
#include "views/ControlBinding.h"

namespace kelvo::gui {
namespace {

using rftest::RfTestWindow;
using rftest::TestKind;

// Fast enough that a counters reply shows at once to the eye; a refresh only compares revisions.
constexpr int kShowIntervalMs = 200;
// Wide enough for the longest value each kind of field holds, in average characters.
constexpr int kByteFieldChars = 4;
constexpr int kRegisterFieldChars = 11;
constexpr int kNumberFieldChars = 7;
constexpr int kCounterChars = 11;

// Register values are typed in capitals whatever the keyboard gives.
class UpperCaseValidator final : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& /*position*/) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

void SetWidthInChars(QWidget* widget, int chars) {
  widget->setFixedWidth(widget->fontMetrics().averageCharWidth() * chars + 12);
}

QString CamelName(std::string_view name) {
  QString text = FromView(name).toLower();
  text.remove(QLatin1Char('_'));
  return text;
}

struct TestButtonName {
  TestKind kind;
  const char* objectName;
};
constexpr std::array<TestButtonName, 4> kTestButtonNames = {{
    {TestKind::ContinuousTx, "continuousTxButton"},
    {TestKind::Carrier, "carrierButton"},
    {TestKind::PacketTx, "packetTxButton"},
    {TestKind::PacketRx, "packetRxButton"},
}};

}  // namespace

RfTestDialog::RfTestDialog(RfTestWindow& window, QWidget* parent)
    : QDialog(parent),
      window_(window),
      binder_(std::make_unique<Binder>([this] { AfterAction(); })) {
  setObjectName(QStringLiteral("rfTestWindow"));
  setWindowTitle(FromView(rftest::window::kTitle));
  setModal(true);

  auto* middle = new QHBoxLayout;
  middle->addWidget(BasebandGroup(), 1);
  middle->addWidget(PowerGroup());
  auto* statistics = new QHBoxLayout;
  statistics->addWidget(StatisticGroup(true));
  statistics->addWidget(StatisticGroup(false));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LocalInterfaceGroup());
  layout->addWidget(ConfigurationGroup());
  layout->addLayout(middle);
  layout->addWidget(SynthesizerGroup());
  layout->addLayout(statistics);
  layout->addWidget(CommandGroup());
  layout->setSizeConstraint(QLayout::SetFixedSize);

  showTimer_.setInterval(kShowIntervalMs);
  connect(&showTimer_, &QTimer::timeout, this, [this] { binder_->Refresh(); });
  showTimer_.start();
  binder_->Refresh();
}

RfTestDialog::~RfTestDialog() = default;

QLineEdit* RfTestDialog::AddTextField(QGridLayout* grid, int row, int column,
                                      const QString& caption, const QString& objectName,
                                      ui::TextField& field, bool upperCase) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(objectName);
  edit->setAccessibleName(caption);
  if (upperCase) edit->setValidator(new UpperCaseValidator(edit));
  SetWidthInChars(edit, field.Limit() > 2 ? kRegisterFieldChars : kByteFieldChars);
  binder_->Text(edit, field);
  auto* label = new QLabel(caption, this);
  label->setBuddy(edit);
  grid->addWidget(label, row, column);
  grid->addWidget(edit, row, column + 1);
  return edit;
}

QLineEdit* RfTestDialog::AddNumberField(QGridLayout* grid, int row, int column,
                                        const QString& caption, const QString& objectName,
                                        ui::NumberField& field) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(objectName);
  edit->setAccessibleName(caption);
  SetWidthInChars(edit, kNumberFieldChars);
  binder_->Number(edit, field);
  numberEdits_[&field] = edit;
  auto* label = new QLabel(caption, this);
  label->setBuddy(edit);
  grid->addWidget(label, row, column);
  grid->addWidget(edit, row, column + 1);
  return edit;
}

QPushButton* RfTestDialog::ActionButton(const QString& caption, const QString& objectName,
                                        std::function<void()> action, QWidget* parent) {
  QPushButton* button = NewPageButton(caption, objectName, parent);
  connect(button, &QPushButton::clicked, this, [this, action = std::move(action)] { Run(action); });
  return button;
}

QGroupBox* RfTestDialog::LocalInterfaceGroup() {
  auto* group = new QGroupBox(FromView(rftest::window::kLocalInterfaceGroup), this);
  auto* grid = new QGridLayout(group);
  const auto addAddress = [&](int column, const QString& caption, const QString& name,
                              ui::AddressField& field) {
    auto* edit = new AddressEdit(group);
    edit->setObjectName(name);
    edit->setAccessibleName(caption);
    binder_->Address(edit, field);
    grid->addWidget(new QLabel(caption, group), 0, column);
    grid->addWidget(edit, 0, column + 1);
  };
  addAddress(0, QStringLiteral("Wireless:"), QStringLiteral("wirelessAddress"), window_.Wireless());
  addAddress(2, QStringLiteral("Ethernet:"), QStringLiteral("ethernetAddress"), window_.Ethernet());
  grid->setColumnStretch(4, 1);
  grid->addWidget(
      ActionButton(
          QStringLiteral("Set"), QStringLiteral("setButton"), [this] { window_.Set(); }, group),
      0, 5);
  return group;
}

QGroupBox* RfTestDialog::ConfigurationGroup() {
  auto* group = new QGroupBox(FromView(rftest::window::kConfigurationGroup), this);
  auto* grid = new QGridLayout(group);
  const auto addList = [&](int row, const QString& caption, const QString& name,
                           ui::ChoiceList& list) {
    auto* box = new QComboBox(group);
    box->setObjectName(name);
    box->setAccessibleName(caption);
    binder_->Choices(box, list);
    grid->addWidget(new QLabel(caption, group), row, 0);
    grid->addWidget(box, row, 1);
  };
  addList(0, QStringLiteral("Channel:"), QStringLiteral("channelList"), window_.Channel());
  addList(1, QStringLiteral("Preamble:"), QStringLiteral("preambleList"), window_.Preamble());
  addList(2, QStringLiteral("Data Rates:"), QStringLiteral("dataRateList"), window_.DataRate());
  grid->setColumnMinimumWidth(2, fontMetrics().averageCharWidth() * 4);
  AddNumberField(grid, 0, 3, QStringLiteral("Packet Length (64~1514):"),
                 QStringLiteral("packetLength"), window_.PacketLength());
  AddNumberField(grid, 1, 3, QStringLiteral("Packet Number (0~65535):"),
                 QStringLiteral("packetNumber"), window_.PacketNumber());
  AddTextField(grid, 2, 3, QStringLiteral("Pattern (Hex):"), QStringLiteral("pattern"),
               window_.Pattern(), true);
  grid->setColumnStretch(5, 1);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ActionButton(
      QStringLiteral("Refresh"), QStringLiteral("refreshButton"), [this] { window_.Refresh(); },
      group));
  buttons->addWidget(ActionButton(
      QStringLiteral("Apply"), QStringLiteral("applyButton"), [this] { window_.Apply(); }, group));
  buttons->addStretch();
  grid->addLayout(buttons, 0, 6, 3, 1);
  return group;
}

QGroupBox* RfTestDialog::BasebandGroup() {
  auto* group = new QGroupBox(FromView(rftest::window::kBasebandGroup), this);
  auto* grid = new QGridLayout(group);
  // Three rows of two: CR3 CR17 / CR20 CR21 / CR28 CR29.
  for (std::size_t i = 0; i < rftest::kBasebandNames.size(); ++i) {
    const QString name = FromView(rftest::kBasebandNames[i]);
    AddTextField(grid, static_cast<int>(i / 2), static_cast<int>(i % 2) * 2,
                 name + QLatin1Char(':'), CamelName(rftest::kBasebandNames[i]),
                 window_.BasebandField(i), true);
  }
  grid->setColumnStretch(4, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ActionButton(
      QStringLiteral("Write To BBP"), QStringLiteral("writeToBbpButton"),
      [this] { window_.WriteToBbp(); }, group));
  buttons->addWidget(ActionButton(
      QStringLiteral("Read From BBP"), QStringLiteral("readFromBbpButton"),
      [this] { window_.ReadFromBbp(); }, group));
  buttons->addWidget(ActionButton(
      QStringLiteral("Write To Flash"), QStringLiteral("basebandWriteToFlashButton"),
      [this] { window_.WriteBasebandToFlash(); }, group));
  grid->addLayout(buttons, 3, 0, 1, 5);
  return group;
}

QGroupBox* RfTestDialog::PowerGroup() {
  auto* group = new QGroupBox(FromView(rftest::window::kPowerGroup), this);
  auto* grid = new QGridLayout(group);
  AddNumberField(grid, 0, 0, QStringLiteral("TX_GAIN (0~31):"), QStringLiteral("txGain"),
                 window_.TxGain());
  AddNumberField(grid, 1, 0, QStringLiteral("P_DESIRED (0~31):"), QStringLiteral("pDesired"),
                 window_.PDesired());
  grid->setRowStretch(2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ActionButton(
      QStringLiteral("Write To SYN"), QStringLiteral("writeToSynButton"),
      [this] { window_.WriteToSyn(); }, group));
  buttons->addWidget(ActionButton(
      QStringLiteral("Read From Flash"), QStringLiteral("powerReadFromFlashButton"),
      [this] { window_.ReadPowerFromFlash(); }, group));
  buttons->addWidget(ActionButton(
      QStringLiteral("Write To Flash"), QStringLiteral("powerWriteToFlashButton"),
      [this] { window_.WritePowerToFlash(); }, group));
  grid->addLayout(buttons, 3, 0, 1, 2);
  return group;
}

QGroupBox* RfTestDialog::SynthesizerGroup() {
  auto* group = new QGroupBox(FromView(rftest::window::kSynthesizerGroup), this);
  auto* grid = new QGridLayout(group);
  // Two rows: four registers, then three.
  for (std::size_t i = 0; i < rftest::kSynthesizerNames.size(); ++i) {
    const QString name = FromView(rftest::kSynthesizerNames[i]);
    AddTextField(grid, static_cast<int>(i / 4), static_cast<int>(i % 4) * 2,
                 name + QLatin1Char(':'), CamelName(rftest::kSynthesizerNames[i]),
                 window_.SynthesizerField(i), false);
  }
  grid->setColumnStretch(8, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ActionButton(
      QStringLiteral("Write To RF2958"), QStringLiteral("writeToRf2958Button"),
      [this] { window_.WriteToRf2958(); }, group));
  buttons->addWidget(ActionButton(
      QStringLiteral("Read From Flash"), QStringLiteral("synthesizerReadFromFlashButton"),
      [this] { window_.ReadSynthesizerFromFlash(); }, group));
  buttons->addWidget(ActionButton(
      QStringLiteral("Write To Flash"), QStringLiteral("synthesizerWriteToFlashButton"),
      [this] { window_.WriteSynthesizerToFlash(); }, group));
  grid->addLayout(buttons, 2, 0, 1, 9);
  return group;
}

QGroupBox* RfTestDialog::StatisticGroup(bool transmit) {
  auto* group = new QGroupBox(
      FromView(transmit ? rftest::window::kTxStatisticGroup : rftest::window::kRxStatisticGroup),
      this);
  auto* grid = new QGridLayout(group);
  const std::size_t first = transmit ? RfTestWindow::TxTotal : RfTestWindow::RxTotal;
  static constexpr std::array<const char*, 4> kValueNames = {"Total", "Good", "Bad", "Rate"};
  for (std::size_t row = 0; row < rftest::window::kCounterLabels.size(); ++row) {
    auto* caption = new QLabel(FromView(rftest::window::kCounterLabels[row]), group);
    caption->setAlignment(Qt::AlignCenter);
    auto* value = new QLabel(group);
    value->setObjectName(QLatin1String(transmit ? "tx" : "rx") + QLatin1String(kValueNames[row]));
    value->setAccessibleName(caption->text());
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SetWidthInChars(value, kCounterChars);
    binder_->Label(value, window_.CounterLabel(static_cast<RfTestWindow::Counter>(first + row)));
    const int gridRow = static_cast<int>(row);
    grid->addWidget(caption, gridRow, 0);
    grid->addWidget(value, gridRow, 1);
    grid->addWidget(new QLabel(FromView(rftest::window::kCounterUnits[row]), group), gridRow, 2);
  }
  grid->setColumnStretch(0, 1);
  return group;
}

QGroupBox* RfTestDialog::CommandGroup() {
  auto* group = new QGroupBox(FromView(rftest::window::kCommandGroup), this);
  auto* row = new QHBoxLayout(group);
  for (const TestButtonName& test : kTestButtonNames) {
    ui::Button& state = window_.TestButton(test.kind);
    row->addWidget(binder_->Button(
        state, QLatin1String(test.objectName),
        [this, kind = test.kind] {
          ++busy_;
          window_.PressTest(kind);
          --busy_;
        },
        group));
  }
  row->addStretch();
  auto* exit = new QPushButton(QStringLiteral("Exit"), group);
  exit->setObjectName(QStringLiteral("exitButton"));
  exit->setDefault(true);
  connect(exit, &QPushButton::clicked, this, [this] { Run([this] { window_.Exit(); }); });
  row->addWidget(exit);
  return group;
}

void RfTestDialog::Run(const std::function<void()>& action) {
  ++busy_;
  action();
  --busy_;
  AfterAction();
}

void RfTestDialog::AfterAction() {
  // A close that came while a request or a wait ran is carried out now that it is over.
  if (busy_ == 0 && closeRequested_) {
    closeRequested_ = false;
    window_.CloseByTitleBar();
  }
  binder_->Refresh();
  if (const ui::NumberField* refused = window_.FocusedField()) {
    window_.FocusTaken();
    if (const auto edit = numberEdits_.find(refused); edit != numberEdits_.end()) {
      edit->second->setFocus(Qt::OtherFocusReason);
      edit->second->selectAll();
    }
  }
  switch (window_.Result()) {
    case rftest::WindowResult::Accepted:
      QDialog::accept();
      break;
    case rftest::WindowResult::Cancelled:
      QDialog::reject();
      break;
    case rftest::WindowResult::Open:
      break;
  }
}

void RfTestDialog::reject() {
  closeRequested_ = true;
  AfterAction();
}

void RfTestDialog::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    Run([this] { window_.Escape(); });
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kelvo::gui
