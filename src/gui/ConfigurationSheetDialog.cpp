// SPDX-License-Identifier: GPL-2.0-or-later
#include "ConfigurationSheetDialog.h"

#include <QCloseEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "QtText.h"

namespace kelvo::gui {

ConfigurationSheetDialog::ConfigurationSheetDialog(pages::ConfigurationSheet& sheet,
                                                   PageViewFactory& factory, QWidget* parent)
    : QDialog(parent), sheet_(sheet) {
  setWindowTitle(FromView(pages::ConfigurationSheet::kTitle));

  tabs_ = new QTabWidget(this);
  // All six tabs stay in sight; the sheet grows to hold them.
  tabs_->setUsesScrollButtons(false);
  for (std::size_t tab = 0; tab < pages::ConfigurationSheet::kTabTexts.size(); ++tab) {
    PageView* view = factory.Create(static_cast<int>(tab), sheet_, tabs_);
    views_.push_back(view);
    tabs_->addTab(view, FromView(pages::ConfigurationSheet::kTabTexts[tab]));
  }
  tabs_->setCurrentIndex(sheet_.CurrentTab());
  for (PageView* view : views_) view->ShowModel();
  // Queued: the new tab is painted before its group is read.
  connect(tabs_, &QTabWidget::currentChanged, this, &ConfigurationSheetDialog::TabChanged,
          Qt::QueuedConnection);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(tabs_);
  resize(390, 440);
}

void ConfigurationSheetDialog::TabChanged() {
  const int tab = tabs_->currentIndex();
  if (tab < 0 || tab == sheet_.CurrentTab()) return;
  sheet_.PressTab(tab);
  if (tabs_->currentIndex() != sheet_.CurrentTab()) tabs_->setCurrentIndex(sheet_.CurrentTab());
  views_.at(static_cast<std::size_t>(sheet_.CurrentTab()))->ShowModel();
}

void ConfigurationSheetDialog::closeEvent(QCloseEvent* event) {
  if (sheet_.IsOpen()) sheet_.CloseBox();
  QDialog::closeEvent(event);
}

}  // namespace kelvo::gui
