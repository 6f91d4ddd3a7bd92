// SPDX-License-Identifier: GPL-2.0-or-later
#include "PageViewFactory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "QtText.h"

namespace kelvo::gui {

PageView* PlaceholderPageViewFactory::Create(int tab, pages::ConfigurationSheet& /*sheet*/,
                                             QWidget* parent) {
  auto* view = new PageView(parent);
  const auto text = pages::ConfigurationSheet::kTabTexts.at(static_cast<std::size_t>(tab));
  auto* label = new QLabel(FromView(text) + QStringLiteral(" page"), view);
  label->setAlignment(Qt::AlignCenter);
  label->setEnabled(false);
  auto* layout = new QVBoxLayout(view);
  layout->addWidget(label);
  return view;
}

}  // namespace kelvo::gui
