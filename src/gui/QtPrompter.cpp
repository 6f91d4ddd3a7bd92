// SPDX-License-Identifier: GPL-2.0-or-later
#include "QtPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "PageViewFactory.h"
#include "QtText.h"

namespace kelvo::gui {
namespace {

QMessageBox::Icon BoxIcon(ui::MessageIcon icon) {
  switch (icon) {
    case ui::MessageIcon::Error:
      return QMessageBox::Critical;
    case ui::MessageIcon::Warning:
      return QMessageBox::Warning;
    case ui::MessageIcon::Information:
      return QMessageBox::Information;
    case ui::MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QWidget* Owner() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

// A box opens in the middle of a model's command; the window behind it shows what the command
// has done so far, such as the list entry a question is about.
QWidget* ShownOwner() {
  QWidget* owner = Owner();
  if (owner != nullptr) {
    for (PageView* view : owner->findChildren<PageView*>()) {
      if (view->isVisible()) view->ShowModel();
    }
  }
  return owner;
}

}  // namespace

void QtPrompter::ShowMessage(std::string_view text, std::string_view caption,
                             ui::MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), FromView(caption), FromView(text), QMessageBox::Ok, ShownOwner());
  box.exec();
}

ui::Answer QtPrompter::AskYesNo(std::string_view text, std::string_view caption,
                                ui::MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), FromView(caption), FromView(text),
                  QMessageBox::Yes | QMessageBox::No, ShownOwner());
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes ? ui::Answer::Yes : ui::Answer::No;
}

}  // namespace kelvo::gui
