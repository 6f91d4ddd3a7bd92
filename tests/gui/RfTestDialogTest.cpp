// SPDX-License-Identifier: GPL-2.0-or-later
// The RF test window opened by the System page's MFG button in manufacturing mode, against a
// simulated device under test: its layout and initial values, typing in capitals, the checks
// and their messages with the focus on a refused field, Enter, Escape and the title-bar close,
// and a packet receive run and test button replays driven through the widgets.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "ConfigurationSheetDialog.h"
#include "GuiFixture.h"
#include "RfTestDialog.h"
#include "rftest/TestBlocks.h"

namespace kelvo::gui {
namespace {

using Texts = std::vector<std::string>;

// The device under test is on addresses no other test uses, and only the packet receive run
// opens its test port, since CTest runs the tests in parallel.
test::ApSimOptions DeviceUnderTest(bool testPort) {
  if (testPort) return {1, "127.0.93.2", "admin", {}};
  return {1, "127.0.93.3", "admin", {"--test-port", "0"}};
}

class RfTestDialogTest : public test::AppFixture {
 protected:
  explicit RfTestDialogTest(bool testPort = false) : AppFixture(DeviceUnderTest(testPort)) {
    QFile file(settings_.filePath(QStringLiteral("manufacture.ini")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Manufacture5521]\r\nEnable5521=1\r\n");
    file.close();
    MakeApp(settings_.path() + QLatin1Char('/'), &prompter_);
    app_->SetRaiseTestSenderPriority(false);
  }

  // Opens the sheet, then the RF test window once for every body, each run inside the window;
  // a body that leaves the window open has it closed by the title-bar button.
  void InWindows(const std::vector<std::function<void(RfTestDialog*)>>& bodies) {
    std::size_t ran = 0;
    OnTab(
        pages::ConfigurationSheet::kSystem, [] { return true; },
        [&](ConfigurationSheetDialog* sheet, QWidget* tab) {
          auto* mfg = test::Find<QPushButton>(tab, QStringLiteral("mfgButton"));
          ASSERT_TRUE(mfg->isVisible());
          for (const auto& body : bodies) {
            test::OnModalOf<RfTestDialog>([&, sheet](RfTestDialog* window) {
              ASSERT_NE(window, nullptr);
              EXPECT_EQ(window->parentWidget(), sheet) << "modal over the sheet";
              ++ran;
              body(window);
              if (window->isVisible()) window->close();
            });
            QTest::mouseClick(mfg, Qt::LeftButton);
          }
        });
    EXPECT_EQ(ran, bodies.size());
  }

  template <typename W = QLineEdit>
  static W* Find(RfTestDialog* window, const char* name) {
    return test::Find<W>(window, QLatin1String(name));
  }
  static void Click(RfTestDialog* window, const char* name) {
    QTest::mouseClick(Find<QPushButton>(window, name), Qt::LeftButton);
  }
  static void TypeAddress(RfTestDialog* window, const char* name, const QString& address) {
    const auto parts = Find<QWidget>(window, name)->findChildren<QLineEdit*>();
    const QStringList bytes = address.split(QLatin1Char('.'));
    ASSERT_EQ(parts.size(), bytes.size());
    for (qsizetype i = 0; i < parts.size(); ++i) Retype(parts[i], bytes[i]);
  }

  // What the device was sent or asked under the test variables, as "pdu leaf=value".
  Texts TestTraffic() {
    const std::string prefix = "1.3.6.1.4.1.15177.1.1.8.";
    Texts traffic;
    for (const auto& entry : sim_.Log(0)) {
      if (entry.oid.starts_with(prefix)) {
        traffic.push_back(entry.pdu + ' ' + entry.oid.substr(prefix.size()) + '=' + entry.value);
      }
    }
    return traffic;
  }
  // The test commands the device was sent, in order.
  Texts Commands() {
    Texts commands;
    for (const std::string& line : TestTraffic()) {
      if (line.starts_with("set 1.0=")) commands.push_back(line.substr(8));
    }
    return commands;
  }

  QTemporaryDir settings_;
};

TEST_F(RfTestDialogTest, OpensWithItsLayoutAndInitialValuesAndSendsNothing) {
  InWindows({[&](RfTestDialog* window) {
    EXPECT_EQ(window->windowTitle(), "RFBench Version 1.0.0.5");
    EXPECT_TRUE(window->isModal());
    EXPECT_TRUE(app_->Session().NetworkMessageSuppressed()) << "quiet while the window is open";

    // Top to bottom, left beside right, as they stand on screen.
    auto boxes = window->findChildren<QGroupBox*>();
    std::sort(boxes.begin(), boxes.end(), [window](const QGroupBox* a, const QGroupBox* b) {
      const QPoint pa = a->mapTo(window, QPoint()), pb = b->mapTo(window, QPoint());
      return std::pair(pa.y(), pa.x()) < std::pair(pb.y(), pb.x());
    });
    Texts groups;
    for (const QGroupBox* group : boxes) groups.push_back(group->title().toStdString());
    EXPECT_EQ(groups, (Texts{"LOCAL INTERFACE IP ADDRESS", "CONFIGURATION",
                             "BASEBAND REGISTER (Hex value)", "SETTING POWER", "RF2958(Hex value)",
                             "DUT TX PACKET STATISTIC", "DUT RX PACKET STATISTIC", "COMMAND"}));
    EXPECT_EQ(Find<QComboBox>(window, "channelList")->currentText(), "Channel 1");
    EXPECT_EQ(Find<QComboBox>(window, "channelList")->count(), 14);
    EXPECT_EQ(Find<QComboBox>(window, "dataRateList")->currentText(), "11 Mb");
    EXPECT_EQ(Find<QComboBox>(window, "preambleList")->currentText(), "Short");
    EXPECT_EQ(Find(window, "packetLength")->text(), "1500");
    EXPECT_EQ(Find(window, "packetNumber")->text(), "1000");
    EXPECT_EQ(Find(window, "pattern")->text(), "AA");
    for (const char* name : {"cr3", "cr17", "cr20", "cr21", "cr28", "cr29"}) {
      EXPECT_EQ(Find(window, name)->text(), "00") << name;
    }
    for (const char* name : {"ifpll1", "ifpll3", "rfpll1", "rfpll4", "cal1", "vcot1", "txrx"}) {
      EXPECT_EQ(Find(window, name)->text(), "00000000") << name;
    }
    EXPECT_EQ(Find(window, "txGain")->text(), "0");
    EXPECT_EQ(Find(window, "pDesired")->text(), "0");
    for (const char* name :
         {"txTotal", "txGood", "txBad", "txRate", "rxTotal", "rxGood", "rxBad", "rxRate"}) {
      EXPECT_EQ(Find<QLabel>(window, name)->text(), "0") << name;
    }
    for (const auto& address :
         Find<QWidget>(window, "wirelessAddress")->findChildren<QLineEdit*>()) {
      EXPECT_EQ(address->text(), "0");
    }
    Texts commandRow;
    for (const char* name : {"continuousTxButton", "carrierButton", "packetTxButton",
                             "packetRxButton", "exitButton"}) {
      commandRow.push_back(Find<QPushButton>(window, name)->text().toStdString());
    }
    EXPECT_EQ(commandRow, (Texts{"Continue TX", "Carrier Test", "Continue packet TX",
                                 "Continue packet RX", "Exit"}));
    EXPECT_TRUE(Find<QPushButton>(window, "exitButton")->isDefault());
  }});
  EXPECT_FALSE(app_->Session().NetworkMessageSuppressed());
  EXPECT_TRUE(TestTraffic().empty()) << "opening and closing send nothing";
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(RfTestDialogTest, FieldsTakeCapitalsAndChecksStopWithTheirMessages) {
  InWindows({[&](RfTestDialog* window) {
    QLineEdit* cr3 = Find(window, "cr3");
    cr3->setFocus();
    cr3->selectAll();
    QTest::keyClicks(cr3, "a1b");
    EXPECT_EQ(cr3->text(), "A1") << "typed in capitals, two characters at most";
    Retype(Find(window, "pattern"), QStringLiteral("5a"));
    EXPECT_EQ(Find(window, "pattern")->text(), "5A");
    QLineEdit* ifpll1 = Find(window, "ifpll1");
    Retype(ifpll1, QStringLiteral("abcdef0123"));
    EXPECT_EQ(ifpll1->text(), "abcdef01") << "as typed, eight characters at most";

    // A bad register value stops its block's command; the packet parameters do not check it.
    Retype(cr3, QStringLiteral("G1"));
    Click(window, "writeToBbpButton");
    Retype(Find(window, "txGain"), QStringLiteral("32"));
    Click(window, "writeToSynButton");
    EXPECT_EQ(prompter_.Texts(), (Texts{"CR3:Only accept hex value(0~F).", "MID_BIAS (0 ~ 31)"}));
    EXPECT_TRUE(TestTraffic().empty());

    // A decimal field without a number: its message, the focus on it, and the rest untouched.
    prompter_.Clear();
    Retype(Find(window, "packetNumber"), QString());
    Retype(Find(window, "txGain"), QStringLiteral("7"));
    Click(window, "writeToSynButton");
    EXPECT_EQ(prompter_.Texts(), (Texts{"Please enter an integer.", "MID_BIAS (0 ~ 31)"}));
    EXPECT_EQ(window->focusWidget(), Find(window, "packetNumber"));
    EXPECT_TRUE(TestTraffic().empty());
  }});
}

TEST_F(RfTestDialogTest, EnterEscapeAndTheCloseBoxEndTheWindowAsTheyShould) {
  InWindows({
      [&](RfTestDialog* window) {
        // Enter in a field presses "Exit": the fields are taken and the window ends.
        QTest::keyClick(Find(window, "cr20"), Qt::Key_Return);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), QDialog::Accepted);
      },
      [&](RfTestDialog* window) {
        // A decimal field that refuses its text keeps the window open, with the focus on it.
        Retype(Find(window, "packetLength"), QString());
        QTest::keyClick(Find(window, "cr20"), Qt::Key_Enter);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->focusWidget(), Find(window, "packetLength"));
        EXPECT_EQ(prompter_.Texts(), Texts{"Please enter an integer."});
        // Escape ends it without taking the fields.
        QTest::keyClick(Find(window, "packetLength"), Qt::Key_Escape);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), QDialog::Rejected);
      },
      [&](RfTestDialog* window) {
        // The close box waits for the settle time before the window ends.
        QElapsedTimer clock;
        clock.start();
        window->close();
        EXPECT_GE(clock.elapsed(), 1000);
        EXPECT_FALSE(window->isVisible());
      },
  });
  EXPECT_EQ(prompter_.Texts(), Texts{"Please enter an integer."});
  EXPECT_TRUE(TestTraffic().empty());
}

class RfTestDialogPacketRx : public RfTestDialogTest {
 protected:
  RfTestDialogPacketRx() : RfTestDialogTest(true) {}
};

TEST_F(RfTestDialogPacketRx, SetThenPacketRxAndTestReplaysThroughTheWidgets) {
  InWindows({[&](RfTestDialog* window) {
    // Loopback stands for both of the computer's interfaces.
    TypeAddress(window, "wirelessAddress", QStringLiteral("127.0.0.1"));
    TypeAddress(window, "ethernetAddress", QStringLiteral("127.0.0.1"));
    Click(window, "setButton");
    EXPECT_TRUE(prompter_.Shown().empty());
    // The device's parameters and registers replace the window's.
    const Texts afterSet = TestTraffic();
    EXPECT_EQ(afterSet.size(), 3U) << testing::PrintToString(afterSet);
    EXPECT_NE(Find(window, "cr17")->text(), "00");

    Retype(Find(window, "packetNumber"), QStringLiteral("300"));
    Click(window, "applyButton");
    Click(window, "packetRxButton");
    EXPECT_EQ(Find<QPushButton>(window, "packetRxButton")->text(), "Stop packet RX");
    // The counters come every 2000 ms; the device counts every datagram of the run.
    EXPECT_TRUE(test::SpinUntil([&] { return Find<QLabel>(window, "rxGood")->text() == "300"; },
                                std::chrono::seconds(10)))
        << Find<QLabel>(window, "rxGood")->text().toStdString();
    EXPECT_EQ(Find<QLabel>(window, "rxTotal")->text(), "300");
    EXPECT_EQ(Find<QLabel>(window, "rxRate")->text(), "0.00");
    Click(window, "packetRxButton");
    EXPECT_EQ(Find<QPushButton>(window, "packetRxButton")->text(), "Continue packet RX");

    // A second test started while another runs stops that one first, through its own button.
    Click(window, "carrierButton");
    Click(window, "continuousTxButton");
    EXPECT_EQ(Find<QPushButton>(window, "carrierButton")->text(), "Carrier Test");
    EXPECT_EQ(Find<QPushButton>(window, "continuousTxButton")->text(), "Stop TX");
    Click(window, "continuousTxButton");
    EXPECT_EQ(Commands(), (Texts{"3", "131", "4", "132", "1", "129"}));
  }});
  EXPECT_TRUE(prompter_.Shown().empty()) << testing::PrintToString(prompter_.Texts());
}

}  // namespace
}  // namespace kelvo::gui
