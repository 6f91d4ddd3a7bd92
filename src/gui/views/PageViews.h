// SPDX-License-Identifier: GPL-2.0-or-later
// The views of the configuration sheet's pages, one per tab.
#pragma once

#include "PageViewFactory.h"

namespace kelvo::gui {

PageView* CreateSystemPageView(pages::ConfigurationSheet& sheet, QWidget* parent);
PageView* CreateIpConfigPageView(pages::ConfigurationSheet& sheet, QWidget* parent);
PageView* CreateStatisticPageView(pages::ConfigurationSheet& sheet, QWidget* parent);
PageView* CreateWirelessPageView(pages::ConfigurationSheet& sheet, QWidget* parent);
PageView* CreateSecurityPageView(pages::ConfigurationSheet& sheet, QWidget* parent);
PageView* CreateAboutPageView(pages::ConfigurationSheet& sheet, QWidget* parent);

// The real views of every tab.
class DesktopPageViewFactory final : public PageViewFactory {
 public:
  PageView* Create(int tab, pages::ConfigurationSheet& sheet, QWidget* parent) override;
};

}  // namespace kelvo::gui
