// SPDX-License-Identifier: GPL-2.0-or-later
// The widgets behind the configuration sheet's tabs. Each page view shows one page model of
// the sheet; the sheet asks it to show the model again after every read.
#pragma once

#include <QWidget>

#include "pages/ConfigurationSheet.h"

namespace kelvo::gui {

class PageView : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;
  // Copies the model's state to the widgets; called after the page's group was read.
  virtual void ShowModel() {}
};

// Creates the view of the page behind tab (ConfigurationSheet::Tab) for one showing of the
// sheet; the sheet's tab widget owns it.
class PageViewFactory {
 public:
  virtual ~PageViewFactory() = default;
  virtual PageView* Create(int tab, pages::ConfigurationSheet& sheet, QWidget* parent) = 0;
};

// Until the real page views exist: a page that names itself.
class PlaceholderPageViewFactory final : public PageViewFactory {
 public:
  PageView* Create(int tab, pages::ConfigurationSheet& sheet, QWidget* parent) override;
};

}  // namespace kelvo::gui
