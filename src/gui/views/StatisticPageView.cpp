// SPDX-License-Identifier: GPL-2.0-or-later
#include "views/PageViews.h"

namespace kelvo::gui {

PageView* CreateStatisticPageView(pages::ConfigurationSheet& sheet, QWidget* parent) {
  PlaceholderPageViewFactory placeholder;
  return placeholder.Create(pages::ConfigurationSheet::kStatistic, sheet, parent);
}

}  // namespace kelvo::gui
