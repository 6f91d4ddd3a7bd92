// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/Controls.h"

#include <algorithm>
#include <cstdint>

#include "util/Parse.h"

namespace kelvo::ui {

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Touch();
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Touch();
}

ChoiceList::ChoiceList(std::vector<std::string> entries, int selection)
    : entries_(std::move(entries)) {
  Select(selection);
}

void ChoiceList::SetEntries(std::vector<std::string> entries) {
  entries_ = std::move(entries);
  selection_ = kNone;
  Touch();
}

void ChoiceList::Insert(int position, std::string entry) {
  if (position < 0 || position > Count()) position = Count();
  entries_.insert(entries_.begin() + position, std::move(entry));
  if (selection_ >= position) ++selection_;
  Touch();
}

bool ChoiceList::Select(int index) {
  const int selection = (index >= 0 && index < Count()) ? index : kNone;
  if (selection != selection_) {
    selection_ = selection;
    Touch();
  }
  return selection_ != kNone;
}

std::string ChoiceList::SelectedText() const {
  return HasSelection() ? entries_[static_cast<std::size_t>(selection_)] : std::string();
}

TextField::TextField(std::size_t limit, std::string text) : text_(std::move(text)), limit_(limit) {}

void TextField::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Touch();
}

void TextField::Type(std::string_view text) {
  if (limit_ != 0 && text.size() > limit_) text = text.substr(0, limit_);
  SetText(std::string(text));
}

void TextField::SetLimit(std::size_t limit) {
  if (limit_ == limit) return;
  limit_ = limit;
  Touch();
}

void TextField::SetReadOnly(bool readOnly) {
  if (readOnly_ == readOnly) return;
  readOnly_ = readOnly;
  Touch();
}

std::optional<std::string> TextField::Take(Prompter& prompter) const {
  if (limit_ != 0 && text_.size() > limit_) {
    std::string message(kTooManyCharactersPrompt);
    message.replace(message.find("%1"), 2, std::to_string(limit_));
    prompter.ShowMessage(message, kApplicationCaption, MessageIcon::Warning);
    return std::nullopt;
  }
  return text_;
}

void CheckBox::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Touch();
}

NumberField::NumberField(long number) : text_(std::to_string(number)), number_(number) {}

void NumberField::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Touch();
}

void NumberField::SetNumber(long number) {
  number_ = number;
  SetText(std::to_string(number));
  Touch();
}

long NumberField::Take(Prompter& prompter, bool* taken) {
  const auto value = ParseInteger(text_);
  if (taken != nullptr) *taken = value.has_value();
  if (!value) {
    prompter.ShowMessage(kEnterIntegerPrompt, kApplicationCaption, MessageIcon::Warning);
    return number_;
  }
  number_ = *value;
  return number_;
}

void AddressField::SetParts(const Fields& fields) {
  if (fields == fields_) return;
  fields_ = fields;
  Touch();
}

void AddressField::SetAddress(std::array<std::uint8_t, 4> bytes) {
  SetParts({bytes[0], bytes[1], bytes[2], bytes[3]});
}

void AddressField::Blank() { SetParts({}); }

bool AddressField::IsBlank() const {
  for (const auto& field : fields_) {
    if (field) return false;
  }
  return true;
}

std::array<std::uint8_t, 4> AddressField::Address() const {
  return {fields_[0].value_or(0), fields_[1].value_or(0), fields_[2].value_or(0),
          fields_[3].value_or(0)};
}

void ListBox::Add(std::string item) {
  items_.push_back(std::move(item));
  Touch();
}

void ListBox::Insert(int position, std::string item) {
  const int at = std::clamp(position, 0, Count());
  items_.insert(items_.begin() + at, std::move(item));
  if (selection_ >= at) ++selection_;
  Touch();
}

void ListBox::Remove(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
  if (selection_ == index) {
    selection_ = ChoiceList::kNone;
  } else if (selection_ > index) {
    --selection_;
  }
  Touch();
}

void ListBox::Clear() {
  items_.clear();
  selection_ = ChoiceList::kNone;
  Touch();
}

bool ListBox::Select(int index) {
  selection_ = (index >= 0 && index < Count()) ? index : ChoiceList::kNone;
  Touch();
  return selection_ != ChoiceList::kNone;
}

void Button::SetCaption(std::string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  Touch();
}

std::optional<long> ParseInteger(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  const auto value = util::ParseInteger<std::int32_t>(text, util::IntegerForm::OptionalPlus);
  if (!value) return std::nullopt;
  return *value;
}

}  // namespace kelvo::ui
