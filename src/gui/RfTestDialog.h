// SPDX-License-Identifier: GPL-2.0-or-later
// The manufacturing RF test window over the RfTestWindow model: the local interfaces, the packet
// test parameters, the register blocks, the device's packet counters and the test buttons.
// "Exit" is the default button, so Enter in a field presses it. GUI thread.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "rftest/RfTestWindow.h"

class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kelvo::gui {

class Binder;

class RfTestDialog final : public QDialog {
  Q_OBJECT

 public:
  RfTestDialog(rftest::RfTestWindow& window, QWidget* parent = nullptr);
  ~RfTestDialog() override;

 public Q_SLOTS:
  // The title-bar close.
  void reject() override;

 protected:
  // Escape ends the window without taking the fields; Enter is left to the default button.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QGroupBox* LocalInterfaceGroup();
  QGroupBox* ConfigurationGroup();
  QGroupBox* BasebandGroup();
  QGroupBox* PowerGroup();
  QGroupBox* SynthesizerGroup();
  QGroupBox* StatisticGroup(bool transmit);
  QGroupBox* CommandGroup();
  // A field with its caption on its left, at a grid's row and pair of columns.
  QLineEdit* AddTextField(QGridLayout* grid, int row, int column, const QString& caption,
                          const QString& objectName, ui::TextField& field, bool upperCase);
  QLineEdit* AddNumberField(QGridLayout* grid, int row, int column, const QString& caption,
                            const QString& objectName, ui::NumberField& field);
  // A button that runs a model action, then AfterAction.
  QPushButton* ActionButton(const QString& caption, const QString& objectName,
                            std::function<void()> action, QWidget* parent);
  // Runs a model action, then AfterAction.
  void Run(const std::function<void()>& action);
  // After every button: shows the model, moves the focus to a refused field, ends the window
  // when the model has ended.
  void AfterAction();

  rftest::RfTestWindow& window_;
  std::unique_ptr<Binder> binder_;
  std::map<const ui::NumberField*, QLineEdit*> numberEdits_;
  // Counter replies arrive on the model's own timer; the view looks for changes.
  QTimer showTimer_;
  // Actions under way (a request or a wait keeps painting), and a close that came meanwhile.
  int busy_ = 0;
  bool closeRequested_ = false;
};

}  // namespace kelvo::gui
