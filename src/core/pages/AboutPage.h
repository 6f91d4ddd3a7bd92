// SPDX-License-Identifier: GPL-2.0-or-later
// The About page: a picture, a tiny text box in the lower right corner and the hidden default
// button. It reads nothing and has no behaviour; the sheet only shows it.
#pragma once

#include "ui/Controls.h"

namespace kelvo::pages {

class AboutPage {
 public:
  AboutPage() { defaultButton_.SetVisible(false); }

  ui::TextField& CornerText() { return cornerText_; }
  ui::Button& DefaultButton() { return defaultButton_; }

 private:
  ui::TextField cornerText_;
  ui::Button defaultButton_;
};

}  // namespace kelvo::pages
