// SPDX-License-Identifier: GPL-2.0-or-later
// The user-facing side effects of the core: message boxes, Yes/No questions and the wait
// cursor. Front ends implement them; tests script them.
#pragma once

#include <string_view>

namespace kelvo::ui {

// The caption of every message box unless a window says otherwise.
inline constexpr std::string_view kApplicationCaption = "Kelvo";

enum class MessageIcon { None, Error, Warning, Information };

enum class Answer { Yes, No };

// Called on the user-interface thread; every call is modal and returns when the user answered.
class Prompter {
 public:
  virtual ~Prompter() = default;
  // A message box with one OK button.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
  // A question with Yes and No buttons.
  virtual Answer AskYesNo(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
};

// The wait cursor shown while a request blocks the window. Calls nest.
class BusyIndicator {
 public:
  virtual ~BusyIndicator() = default;
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;
};

// Shows the wait cursor for the lifetime of the scope.
class BusyScope {
 public:
  explicit BusyScope(BusyIndicator& indicator) : indicator_(indicator) { indicator_.BeginBusy(); }
  ~BusyScope() { indicator_.EndBusy(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  BusyIndicator& indicator_;
};

}  // namespace kelvo::ui
