// SPDX-License-Identifier: GPL-2.0-or-later
// Message boxes and Yes/No questions as QMessageBox, over the window the user works in.
#pragma once

#include "ui/Prompter.h"

namespace kelvo::gui {

class QtPrompter final : public ui::Prompter {
 public:
  void ShowMessage(std::string_view text, std::string_view caption, ui::MessageIcon icon) override;
  ui::Answer AskYesNo(std::string_view text, std::string_view caption,
                      ui::MessageIcon icon) override;
};

}  // namespace kelvo::gui
