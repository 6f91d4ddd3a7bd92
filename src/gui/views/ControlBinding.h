// SPDX-License-Identifier: GPL-2.0-or-later
// Binds the core's control state to Qt widgets: the model's state is copied to the widget
// whenever the control's revision changed, and what the user does goes back to the model.
// Only user actions reach the model (programmatic updates emit nothing that is listened to),
// so a refresh never rewrites a half-typed text that the model did not change.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "ui/Controls.h"

namespace kelvo::gui {

// Four fields for an IPv4 address; each may be blank.
class AddressEdit : public QWidget {
  Q_OBJECT

 public:
  explicit AddressEdit(QWidget* parent = nullptr);
  ui::AddressField::Fields Parts() const;
  void SetParts(const ui::AddressField::Fields& parts);

 Q_SIGNALS:
  // The user changed a field.
  void Edited();

 private:
  std::vector<QLineEdit*> fields_;
};

// Keeps out of the box every character that the field cannot hold, typed or pasted; a
// validator the box already has runs first.
void KeepToHeldCharacters(QLineEdit* edit, const ui::TextField& field);

// A push button for a page. No page button is ever the default button, so Enter in a text
// box presses nothing.
QPushButton* NewPageButton(const QString& text, const QString& objectName,
                           QWidget* parent = nullptr);

// The bindings of one page view. Callbacks run on the user-interface thread; after each one
// the view refreshes every binding.
class Binder {
 public:
  using Action = std::function<void()>;
  using Choice = std::function<void(int index)>;

  // What the user does with a widget, then the whole view is shown again.
  explicit Binder(Action afterUserAction) : afterUserAction_(std::move(afterUserAction)) {}

  void Text(QLineEdit* edit, ui::TextField& field);
  void Number(QLineEdit* edit, ui::NumberField& field);
  // A text the user only reads.
  void Label(QLabel* label, const ui::TextField& field);
  void Address(AddressEdit* edit, ui::AddressField& field);
  // A drop-down list; `choose` replaces the plain selection when the choice has a rule.
  void Choices(QComboBox* box, ui::ChoiceList& list, Choice choose = {});
  // A check box; `click` replaces the plain toggle when the click has a rule.
  void Check(QAbstractButton* box, ui::CheckBox& check, Action click = {});
  void List(QListWidget* widget, ui::ListBox& list);
  void Push(QPushButton* button, ui::Button& state, Action press);
  // A new page button with the state's caption, bound to it.
  QPushButton* Button(ui::Button& state, const QString& objectName, Action press,
                      QWidget* parent = nullptr);
  // The row of a page's "Refresh" and "Apply" buttons, at its right end.
  QHBoxLayout* RefreshApplyRow(ui::Button& refresh, Action doRefresh, ui::Button& apply,
                               Action doApply);
  // Visibility and enabled state only (frames, labels, group boxes).
  void Flags(QWidget* widget, const ui::Control& control);

  // Copies every changed control to its widget.
  void Refresh();

 private:
  struct Binding {
    const ui::Control* control;
    unsigned shown = ~0U;
    std::function<void()> show;
  };
  void Add(const ui::Control& control, QWidget* widget, std::function<void()> show);
  void UserAction(const Action& action);

  Action afterUserAction_;
  std::vector<Binding> bindings_;
};

// The grid of a group box that holds captioned rows, top to bottom: each caption in column 0
// names the widget beside it in column 1 (buddy, accessible name) and shows and hides with the
// widget's control when one is given. Column 1 takes the spare width; a widget narrower than
// its cell keeps to the left edge, beside its caption, unless another alignment is given.
class FormGrid {
 public:
  FormGrid(QWidget* group, Binder& binder);

  // Object names: `name` for the widget, name + "Label" for its caption.
  template <typename W>
  W* Add(const QString& caption, W* widget, const QString& name,
         const ui::Control* control = nullptr, Qt::Alignment alignment = {}) {
    Place(caption, widget, name, control, alignment);
    return widget;
  }

  QGridLayout* Grid() const { return grid_; }
  int NextRow() const { return next_; }

 private:
  void Place(const QString& caption, QWidget* widget, const QString& name,
             const ui::Control* control, Qt::Alignment alignment);

  QGridLayout* grid_;
  Binder& binder_;
  int next_ = 0;
};

}  // namespace kelvo::gui
