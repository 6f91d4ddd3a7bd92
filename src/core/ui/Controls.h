// SPDX-License-Identifier: GPL-2.0-or-later
// The state of the controls a page shows: what the user sees and may change, without any
// window system. Views copy it to widgets and user edits back; every change bumps the
// control's revision so a view refreshes only what changed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Prompter.h"

namespace kelvo::ui {

namespace messages {
inline constexpr std::string_view kEnterInteger = "Please enter an integer.";
// %1 stands for the limit.
inline constexpr std::string_view kTooManyCharacters = "Please enter no more than %1 characters.";
}  // namespace messages

class Control {
 public:
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Increases with every change of the control's state.
  unsigned Revision() const { return revision_; }

 protected:
  void Touch() { ++revision_; }

 private:
  bool enabled_ = true;
  bool visible_ = true;
  unsigned revision_ = 0;
};

// A drop-down list whose selection may be none (-1).
class ChoiceList : public Control {
 public:
  static constexpr int kNone = -1;

  ChoiceList() = default;
  explicit ChoiceList(std::vector<std::string> entries, int selection = kNone);

  const std::vector<std::string>& Entries() const { return entries_; }
  int Count() const { return static_cast<int>(entries_.size()); }
  // Replaces the entries; nothing is selected afterwards.
  void SetEntries(std::vector<std::string> entries);
  void Clear() { SetEntries({}); }
  // Inserts at position (appends when position is past the end); the selection stays on its
  // entry.
  void Insert(int position, std::string entry);

  int Selection() const { return selection_; }
  bool HasSelection() const { return selection_ != kNone; }
  // Selects the entry; an index outside the list removes the selection, as the list control
  // does. Returns whether an entry is selected now.
  bool Select(int index);
  // The selected entry's text; empty without a selection.
  std::string SelectedText() const;

 private:
  std::vector<std::string> entries_;
  int selection_ = kNone;
};

// How a text box holds its characters as bytes.
enum class TextEncoding : std::uint8_t {
  // The device's texts: one byte per character, ISO 8859-1 (Latin-1), the bytes the device
  // stores. A character beyond U+00FF cannot be held.
  Latin1,
  // Names on this computer (files): UTF-8, as the file system takes them.
  Local,
};

// Latin-1 bytes of UTF-8 text; nullopt when a character lies beyond U+00FF or the UTF-8 is
// malformed.
std::optional<std::string> Latin1FromUtf8(std::string_view utf8);
std::string Utf8FromLatin1(std::string_view latin1);

// A text box. The limit counts the bytes the text is held in and stops typing (Type); text set
// by the program may exceed it, and Take() then refuses it with the standard prompt.
class TextField : public Control {
 public:
  explicit TextField(std::size_t limit = 0, std::string text = {});

  // The bytes, in the field's encoding.
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  // What typing produces: the text cut at the limit (never inside a character).
  void Type(std::string_view text);
  TextEncoding Encoding() const { return encoding_; }
  void SetEncoding(TextEncoding encoding) { encoding_ = encoding; }
  // A screen's side: the text in UTF-8, and the field's bytes for a screen's UTF-8 text
  // (nullopt when the field cannot hold one of its characters).
  std::string DisplayText() const;
  std::optional<std::string> FromDisplayed(std::string_view utf8) const;
  // What typing a screen's text produces; false, with the text unchanged, when the field
  // cannot hold one of its characters.
  bool TypeDisplayed(std::string_view utf8);
  std::size_t Limit() const { return limit_; }
  // A new limit stops later typing; the text already there stays as it is.
  void SetLimit(std::size_t limit);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);

  // The text as the page takes it: nullopt after the "no more than" prompt when the text is
  // longer than the limit.
  std::optional<std::string> Take(Prompter& prompter) const;

 private:
  std::string text_;
  std::size_t limit_;
  bool readOnly_ = false;
  TextEncoding encoding_ = TextEncoding::Latin1;
};

class CheckBox : public Control {
 public:
  explicit CheckBox(bool checked = false) : checked_(checked) {}
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);

 private:
  bool checked_;
};

// A number box: the text the user sees and the last number taken from it.
class NumberField : public Control {
 public:
  explicit NumberField(long number = 0);

  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  long Number() const { return number_; }
  // Sets both the number and its decimal text.
  void SetNumber(long number);

  // Takes the text as a 32-bit integer. When it is not one, shows "Please enter an integer."
  // and keeps the previous number. Returns the number either way, and whether it was taken.
  long Take(Prompter& prompter, bool* taken = nullptr);

 private:
  std::string text_;
  long number_;
};

// An IPv4 address box of four fields; each field may be blank.
class AddressField : public Control {
 public:
  using Fields = std::array<std::optional<std::uint8_t>, 4>;

  const Fields& Parts() const { return fields_; }
  void SetParts(const Fields& fields);
  void SetAddress(std::array<std::uint8_t, 4> bytes);
  void Blank();
  bool IsBlank() const;
  // The four bytes; blank fields count as 0.
  std::array<std::uint8_t, 4> Address() const;

 private:
  Fields fields_{};
};

// A list box of texts with an optional selection.
class ListBox : public Control {
 public:
  const std::vector<std::string>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }
  void Add(std::string item);
  // Inserts at position (appends when position is past the end); the selection stays on its
  // entry.
  void Insert(int position, std::string item);
  void Remove(int index);
  void Clear();
  int Selection() const { return selection_; }
  bool Select(int index);

 private:
  std::vector<std::string> items_;
  int selection_ = ChoiceList::kNone;
};

class Button : public Control {
 public:
  explicit Button(std::string caption = {}) : caption_(std::move(caption)) {}
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

 private:
  std::string caption_;
};

// A 32-bit decimal integer with optional blanks around it and an optional sign.
std::optional<long> ParseInteger(std::string_view text);

}  // namespace kelvo::ui
