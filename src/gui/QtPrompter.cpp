// SPDX-License-Identifier: GPL-2.0-or-later
#include "QtPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

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

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* Owner() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

}  // namespace

void QtPrompter::ShowMessage(std::string_view text, std::string_view caption,
                             ui::MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), FromView(caption), FromView(text), QMessageBox::Ok, Owner());
  box.exec();
}

ui::Answer QtPrompter::AskYesNo(std::string_view text, std::string_view caption,
                                ui::MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), FromView(caption), FromView(text),
                  QMessageBox::Yes | QMessageBox::No, Owner());
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes ? ui::Answer::Yes : ui::Answer::No;
}

}  // namespace kelvo::gui
