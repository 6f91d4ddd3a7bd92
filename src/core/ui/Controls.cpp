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
  if (limit_ != 0 && text.size() > limit_) {
    std::size_t cut = limit_;
    // A UTF-8 character is kept whole or not at all: back off its continuation bytes.
    if (encoding_ == TextEncoding::Local) {
      while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    }
    text = text.substr(0, cut);
  }
  SetText(std::string(text));
}

std::string TextField::DisplayText() const {
  return encoding_ == TextEncoding::Latin1 ? Utf8FromLatin1(text_) : text_;
}

std::optional<std::string> TextField::FromDisplayed(std::string_view utf8) const {
  if (encoding_ == TextEncoding::Latin1) return Latin1FromUtf8(utf8);
  return std::string(utf8);
}

bool TextField::TypeDisplayed(std::string_view utf8) {
  const auto bytes = FromDisplayed(utf8);
  if (!bytes) return false;
  Type(*bytes);
  return true;
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
    std::string message(messages::kTooManyCharacters);
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
    prompter.ShowMessage(messages::kEnterInteger, kApplicationCaption, MessageIcon::Error);
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

std::optional<std::string> Latin1FromUtf8(std::string_view utf8) {
  std::string latin1;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      latin1 += static_cast<char>(lead);
      continue;
    }
    // U+0080 to U+00FF are the two-byte sequences C2 80 to C3 BF; anything else is beyond
    // Latin-1 or not UTF-8.
    if ((lead != 0xC2 && lead != 0xC3) || i + 1 >= utf8.size()) return std::nullopt;
    const auto next = static_cast<unsigned char>(utf8[++i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    latin1 += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
  }
  return latin1;
}

std::string Utf8FromLatin1(std::string_view latin1) {
  std::string utf8;
  for (const char c : latin1) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
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
