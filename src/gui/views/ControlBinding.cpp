// SPDX-License-Identifier: GPL-2.0-or-later
#include "views/ControlBinding.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QValidator>

#include "QtText.h"

namespace kelvo::gui {
namespace {

std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

// Refuses an edit that would put a character into the box that its field cannot hold, so such
// a character cannot be typed or pasted. A validator the box had already runs first.
class HeldCharacters final : public QValidator {
 public:
  HeldCharacters(const ui::TextField& field, const QValidator* before, QObject* parent)
      : QValidator(parent), field_(field), before_(before) {}
  State validate(QString& input, int& position) const override {
    const State state = before_ != nullptr ? before_->validate(input, position) : Acceptable;
    if (state == Invalid || !field_.FromDisplayed(ToUtf8(input))) return Invalid;
    return state;
  }

 private:
  const ui::TextField& field_;
  const QValidator* before_;
};

}  // namespace

void KeepToHeldCharacters(QLineEdit* edit, const ui::TextField& field) {
  edit->setValidator(new HeldCharacters(field, edit->validator(), edit));
}

AddressEdit::AddressEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int i = 0; i < 4; ++i) {
    auto* field = new QLineEdit(this);
    field->setValidator(new QIntValidator(0, 255, field));
    field->setMaxLength(3);
    field->setAlignment(Qt::AlignCenter);
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    connect(field, &QLineEdit::textEdited, this, &AddressEdit::Edited);
    // A typed dot moves on to the next field, as in an address box.
    if (i > 0) {
      QLineEdit* previous = fields_.back();
      connect(previous, &QLineEdit::textEdited, field, [previous, field](const QString& text) {
        if (text.endsWith(QLatin1Char('.')) || text.size() == 3) field->setFocus();
        if (text.endsWith(QLatin1Char('.'))) previous->setText(text.chopped(1));
      });
    }
    layout->addWidget(field);
    fields_.push_back(field);
    if (i < 3) layout->addWidget(new QLabel(QStringLiteral("."), this));
  }
  layout->addStretch();
}

ui::AddressField::Fields AddressEdit::Parts() const {
  ui::AddressField::Fields parts;
  for (std::size_t i = 0; i < 4; ++i) {
    bool ok = false;
    const int value = fields_[i]->text().toInt(&ok);
    if (ok && value >= 0 && value <= 255) parts[i] = static_cast<std::uint8_t>(value);
  }
  return parts;
}

void AddressEdit::SetParts(const ui::AddressField::Fields& parts) {
  for (std::size_t i = 0; i < 4; ++i) {
    fields_[i]->setText(parts[i] ? QString::number(*parts[i]) : QString());
  }
}

void Binder::Add(const ui::Control& control, QWidget* widget, std::function<void()> show) {
  bindings_.push_back({&control, ~0U, [widget, &control, show = std::move(show)] {
                         widget->setEnabled(control.Enabled());
                         widget->setVisible(control.Visible());
                         if (show) show();
                       }});
}

void Binder::UserAction(const Action& action) {
  if (action) action();
  if (afterUserAction_) afterUserAction_();
}

void Binder::Text(QLineEdit* edit, ui::TextField& field) {
  KeepToHeldCharacters(edit, field);
  Add(field, edit, [edit, &field] {
    // A device text holds one byte per character, so the box's count is the field's.
    if (field.Limit() != 0) edit->setMaxLength(static_cast<int>(field.Limit()));
    edit->setReadOnly(field.ReadOnly());
    const QString shown = FromView(field.DisplayText());
    if (edit->text() != shown) edit->setText(shown);
  });
  QObject::connect(edit, &QLineEdit::textEdited, edit, [this, &field](const QString& text) {
    UserAction([&] { field.TypeDisplayed(ToUtf8(text)); });
  });
}

void Binder::Number(QLineEdit* edit, ui::NumberField& field) {
  // Digits only, as in a number box.
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  Add(field, edit, [edit, &field] {
    if (edit->text() != FromView(field.Text())) edit->setText(FromView(field.Text()));
  });
  QObject::connect(edit, &QLineEdit::textEdited, edit, [this, &field](const QString& text) {
    UserAction([&] { field.SetText(ToUtf8(text)); });
  });
}

void Binder::Label(QLabel* label, const ui::TextField& field) {
  Add(field, label, [label, &field] { label->setText(FromView(field.DisplayText())); });
}

void Binder::Address(AddressEdit* edit, ui::AddressField& field) {
  Add(field, edit, [edit, &field] {
    if (edit->Parts() != field.Parts()) edit->SetParts(field.Parts());
  });
  QObject::connect(edit, &AddressEdit::Edited, edit,
                   [this, edit, &field] { UserAction([&] { field.SetParts(edit->Parts()); }); });
}

void Binder::Choices(QComboBox* box, ui::ChoiceList& list, Choice choose) {
  Add(list, box, [box, &list] {
    const QSignalBlocker blocker(box);
    QStringList entries;
    for (const std::string& entry : list.Entries()) entries << FromView(entry);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
    if (shown != entries) {
      box->clear();
      box->addItems(entries);
    }
    box->setCurrentIndex(list.Selection());
  });
  QObject::connect(box, &QComboBox::activated, box, [this, &list, choose](int index) {
    UserAction([&] {
      if (choose) {
        choose(index);
      } else {
        list.Select(index);
      }
    });
  });
}

void Binder::Check(QAbstractButton* box, ui::CheckBox& check, Action click) {
  Add(check, box, [box, &check] {
    const QSignalBlocker blocker(box);
    box->setChecked(check.Checked());
  });
  QObject::connect(box, &QAbstractButton::clicked, box, [this, box, &check, click](bool) {
    UserAction([&] {
      if (click) {
        click();
      } else {
        check.SetChecked(box->isChecked());
      }
    });
  });
}

void Binder::List(QListWidget* widget, ui::ListBox& list) {
  Add(list, widget, [widget, &list] {
    const QSignalBlocker blocker(widget);
    QStringList items;
    for (const std::string& item : list.Items()) items << FromView(item);
    QStringList shown;
    for (int i = 0; i < widget->count(); ++i) shown << widget->item(i)->text();
    if (shown != items) {
      widget->clear();
      widget->addItems(items);
    }
    widget->setCurrentRow(list.Selection());
  });
  // The selection, not the current row: reaching the list with the keyboard makes the first
  // entry current without selecting it, and that must not choose an entry for the buttons.
  QObject::connect(widget, &QListWidget::itemSelectionChanged, widget, [this, widget, &list] {
    const QModelIndexList rows = widget->selectionModel()->selectedRows();
    UserAction([&] { list.Select(rows.isEmpty() ? ui::ChoiceList::kNone : rows.front().row()); });
  });
}

void Binder::Push(QPushButton* button, ui::Button& state, Action press) {
  Add(state, button, [button, &state] {
    if (!state.Caption().empty()) button->setText(FromView(state.Caption()));
  });
  QObject::connect(button, &QPushButton::clicked, button,
                   [this, press = std::move(press)](bool) { UserAction(press); });
}

QPushButton* NewPageButton(const QString& text, const QString& objectName, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(objectName);
  button->setAccessibleName(text);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QPushButton* Binder::Button(ui::Button& state, const QString& objectName, Action press,
                            QWidget* parent) {
  QPushButton* button = NewPageButton(FromView(state.Caption()), objectName, parent);
  Push(button, state, std::move(press));
  return button;
}

QHBoxLayout* Binder::RefreshApplyRow(ui::Button& refresh, Action doRefresh, ui::Button& apply,
                                     Action doApply) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(Button(refresh, QStringLiteral("refreshButton"), std::move(doRefresh)));
  row->addWidget(Button(apply, QStringLiteral("applyButton"), std::move(doApply)));
  return row;
}

void Binder::Flags(QWidget* widget, const ui::Control& control) { Add(control, widget, {}); }

FormGrid::FormGrid(QWidget* group, Binder& binder)
    : grid_(new QGridLayout(group)), binder_(binder) {
  grid_->setColumnStretch(1, 1);
}

void FormGrid::Place(const QString& caption, QWidget* widget, const QString& name,
                     const ui::Control* control, Qt::Alignment alignment) {
  auto* label = new QLabel(caption, grid_->parentWidget());
  label->setObjectName(name + QStringLiteral("Label"));
  label->setBuddy(widget);
  widget->setObjectName(name);
  widget->setAccessibleName(caption.trimmed());
  if (!alignment && widget->maximumWidth() < QWIDGETSIZE_MAX) alignment = Qt::AlignLeft;
  grid_->addWidget(label, next_, 0);
  grid_->addWidget(widget, next_, 1, alignment);
  ++next_;
  if (control != nullptr) binder_.Flags(label, *control);
}

void Binder::Refresh() {
  for (Binding& binding : bindings_) {
    if (binding.shown == binding.control->Revision()) continue;
    binding.shown = binding.control->Revision();
    binding.show();
  }
}

}  // namespace kelvo::gui
