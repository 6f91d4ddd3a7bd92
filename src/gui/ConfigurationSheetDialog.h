// SPDX-License-Identifier: GPL-2.0-or-later
// The configuration sheet's window: a tab per page. Bringing another tab to the front, with
// the mouse or the keyboard, is the sheet model's tab press; the close box is its CloseBox.
#pragma once

#include <QDialog>
#include <vector>

#include "PageViewFactory.h"
#include "pages/ConfigurationSheet.h"

class QTabWidget;

namespace kelvo::gui {

class ConfigurationSheetDialog final : public QDialog {
  Q_OBJECT

 public:
  ConfigurationSheetDialog(pages::ConfigurationSheet& sheet, PageViewFactory& factory,
                           QWidget* parent = nullptr);
  QTabWidget* Tabs() const { return tabs_; }
  PageView* View(int tab) const { return views_.at(static_cast<std::size_t>(tab)); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void TabChanged();

  pages::ConfigurationSheet& sheet_;
  QTabWidget* tabs_;
  std::vector<PageView*> views_;
};

}  // namespace kelvo::gui
