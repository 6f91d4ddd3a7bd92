// SPDX-License-Identifier: GPL-2.0-or-later
#include "views/PageViews.h"

namespace kelvo::gui {

PageView* DesktopPageViewFactory::Create(int tab, pages::ConfigurationSheet& sheet,
                                         QWidget* parent) {
  using Sheet = pages::ConfigurationSheet;
  switch (tab) {
    case Sheet::kSystem:
      return CreateSystemPageView(sheet, parent);
    case Sheet::kIpConfig:
      return CreateIpConfigPageView(sheet, parent);
    case Sheet::kStatistic:
      return CreateStatisticPageView(sheet, parent);
    case Sheet::kWireless:
      return CreateWirelessPageView(sheet, parent);
    case Sheet::kSecurity:
      return CreateSecurityPageView(sheet, parent);
    default:
      return CreateAboutPageView(sheet, parent);
  }
}

}  // namespace kelvo::gui
