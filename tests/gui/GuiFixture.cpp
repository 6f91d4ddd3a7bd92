// SPDX-License-Identifier: GPL-2.0-or-later
#include "GuiFixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "PasswordDialog.h"

namespace kelvo::test {

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeout.count()) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

void OnModal(std::function<void(QWidget*)> action) {
  // Owned by the application; deletes itself once it has acted or given up.
  auto* poll = new QTimer(QCoreApplication::instance());
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  poll->setInterval(20);
  QObject::connect(poll, &QTimer::timeout, [poll, clock, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool ready = modal != nullptr && modal->isVisible();
    if (!ready && clock->elapsed() < 5000) return;
    poll->stop();
    poll->deleteLater();
    if (ready) action(modal);
  });
  poll->start();
}

AppFixture::AppFixture(ApSimOptions simulator) : sim_(std::move(simulator)) {
  MakeApp(QString(), &prompter_);
}

void AppFixture::MakeApp(const QString& settingsPath, ui::Prompter* prompter) {
  gui::StartOptions options;
  options.agentPort = sim_.Port();
  options.listenPort = 0;
  options.discoveryTargets = {"127.255.255.255"};
  options.settingsPath = settingsPath;
  app_ = std::make_unique<gui::Application>(options, prompter);
}

void AppFixture::StartAndDiscover() {
  ASSERT_FALSE(app_->Start().has_value());
  ASSERT_TRUE(SpinUntil([&] { return List()->topLevelItemCount() == sim_.Count(); }));
}

gui::AccessPointList* AppFixture::List() { return app_->Window()->List(); }

int AppFixture::RowOf(const std::string& address) {
  const auto items = List()->findItems(QString::fromStdString(address), Qt::MatchExactly, 0);
  return items.isEmpty() ? -1 : List()->indexOfTopLevelItem(items.front());
}

void AppFixture::ClickRow(int row) {
  const QRect rect = List()->visualItemRect(List()->topLevelItem(row));
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, rect.center());
}

void AppFixture::Configure(const QString& password,
                           std::function<void(gui::ConfigurationSheetDialog*)> inSheet) {
  OnModalOf<gui::PasswordDialog>([=](gui::PasswordDialog* prompt) {
    ASSERT_NE(prompt, nullptr);
    QTest::keyClicks(prompt->PasswordField(), password);
    OnModalOf<gui::ConfigurationSheetDialog>(inSheet);
    QTest::keyClick(prompt->PasswordField(), Qt::Key_Return);
  });
  QTest::mouseClick(app_->Window()->ConfigurationButton(), Qt::LeftButton);
}

void AppFixture::OnTab(int tab, const std::function<bool()>& ready,
                       const std::function<void(gui::ConfigurationSheetDialog*, QWidget*)>& body) {
  StartAndDiscover();
  if (HasFatalFailure()) return;
  const int row = RowOf(sim_.Address(0));
  ASSERT_GE(row, 0) << sim_.Address(0);
  ClickRow(row);
  bool ran = false;
  Configure("admin", [&](gui::ConfigurationSheetDialog* sheet) {
    ASSERT_NE(sheet, nullptr);
    sheet_ = sheet;
    tab_ = sheet->Tabs()->widget(tab);
    QTabBar* bar = sheet->Tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    if (SpinUntil([&] { return app_->Sheet().CurrentTab() == tab && ready(); })) {
      ran = true;
      body(sheet, tab_);
    }
    sheet->close();
  });
  ASSERT_TRUE(ran) << "the sheet never showed tab " << tab << " ready";
}

void AppFixture::PressTab(int tab) {
  QTabBar* bar = sheet_->Tabs()->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
  ASSERT_TRUE(SpinUntil([&] { return app_->Sheet().CurrentTab() == tab; }));
}

void AppFixture::Retype(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

void AppFixture::Choose(QComboBox* box, int index) {
  box->setFocus();
  const int steps = index - box->currentIndex();
  for (int i = 0; i < std::abs(steps); ++i) {
    QTest::keyClick(box, steps > 0 ? Qt::Key_Down : Qt::Key_Up);
  }
}

std::vector<std::string> AppFixture::SetOids() {
  std::vector<std::string> oids;
  for (const auto& entry : sim_.Log(0)) {
    if (entry.pdu == "set") oids.push_back(entry.oid);
  }
  return oids;
}

bool AppFixture::WasSet(mib::Variable variable) {
  const auto oids = SetOids();
  return std::find(oids.begin(), oids.end(), mib::FullOid(variable)) != oids.end();
}

}  // namespace kelvo::test
