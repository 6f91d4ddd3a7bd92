// SPDX-License-Identifier: GPL-2.0-or-later
#include "MainWindowView.h"

#include <QContextMenuEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "Artwork.h"
#include "QtText.h"
#include "TrafficWindow.h"
#include "ui/Controls.h"

namespace kelvo::gui {
namespace {}  // namespace

int AccessPointList::SelectedRow() const {
  const auto items = selectedItems();
  return items.isEmpty() ? pages::MainWindow::kNoRow : indexOfTopLevelItem(items.front());
}

void AccessPointList::mousePressEvent(QMouseEvent* event) {
  const int row = indexAt(event->position().toPoint()).row();
  QTreeWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && onClick) onClick(row);
}

void AccessPointList::mouseDoubleClickEvent(QMouseEvent* event) {
  const int row = indexAt(event->position().toPoint()).row();
  QTreeWidget::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton && onDoubleClick) onDoubleClick(row);
}

void AccessPointList::keyPressEvent(QKeyEvent* event) {
  const int before = SelectedRow();
  QTreeWidget::keyPressEvent(event);
  const int after = SelectedRow();
  if (after != before && onKeyboardSelect) onKeyboardSelect(after);
}

MainWindowView::MainWindowView(pages::MainWindow& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(FromView(pages::MainWindow::kTitle));
  setWindowIcon(ProgramIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  frame->setStyleSheet(QStringLiteral("QFrame { background: black; }"));
  banner_ = new QLabel(frame);
  banner_->setAlignment(Qt::AlignCenter);
  banner_->setPixmap(gui::Banner(kBannerSize, devicePixelRatioF()));
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->setContentsMargins(2, 2, 2, 2);
  frameLayout->addWidget(banner_);

  auto* listLabel = new QLabel(FromView(pages::MainWindow::kListLabel), this);
  status_ = new QLabel(this);
  status_->hide();

  list_ = new AccessPointList(this);
  list_->setColumnCount(2);
  list_->setHeaderLabels({QStringLiteral("IP Address"), QStringLiteral("Device Name")});
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->header()->setStretchLastSection(true);
  list_->header()->setSectionsMovable(false);
  list_->setColumnWidth(0, 100);
  list_->setColumnWidth(1, 300);
  // The selection stays as visible when the list loses the focus.
  QPalette palette = list_->palette();
  for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  list_->setPalette(palette);
  list_->onClick = [this](int row) {
    model_.ClickRow(row);
    ShowSelection();
  };
  list_->onKeyboardSelect = [this](int row) {
    model_.SelectRowWithKeyboard(row);
    ShowSelection();
  };
  list_->onDoubleClick = [this](int row) {
    // Queued, so the prompt's event loop does not run inside the mouse handler.
    QTimer::singleShot(0, this, [this, row] { model_.DoubleClickRow(row); });
  };

  discovery_ = new QPushButton(QStringLiteral("Discovery"), this);
  configuration_ = new QPushButton(QStringLiteral("Configuration"), this);
  for (QPushButton* button : {discovery_, configuration_}) button->setMinimumWidth(120);
  connect(discovery_, &QPushButton::clicked, this, [this] { model_.Discover(); });
  connect(configuration_, &QPushButton::clicked, this, [this] { model_.Configure(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(discovery_);
  buttons->addStretch(2);
  buttons->addWidget(configuration_);
  buttons->addStretch(1);

  auto* labels = new QHBoxLayout;
  labels->addWidget(listLabel);
  labels->addWidget(status_);
  labels->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 10);
  layout->addWidget(frame);
  layout->addLayout(labels);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(about, &QShortcut::activated, this, &MainWindowView::ShowAbout);
  resize(470, 330);
}

void MainWindowView::ShowAbout() {
  QMessageBox box(this);
  box.setWindowTitle(FromView(kAboutTitle));
  box.setText(FromView(kAboutText));
  box.setIconPixmap(ProgramIcon().pixmap(48, 48));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

void MainWindowView::EnableTraffic(std::uint16_t agentPort, ui::Prompter& prompter) {
  trafficPort_ = agentPort;
  trafficPrompter_ = &prompter;
}

TrafficWindow* MainWindowView::ShowTraffic() {
  const int row = model_.SelectedRow();
  if (trafficPrompter_ == nullptr || row == pages::MainWindow::kNoRow) return nullptr;
  const snmp::AccessPointEntry& entry = model_.Rows()[static_cast<std::size_t>(row)];
  QPointer<TrafficWindow>& window = trafficWindows_[entry.address];
  if (window == nullptr) window = new TrafficWindow(entry, trafficPort_, *trafficPrompter_, this);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

void MainWindowView::StatusTextChanged(std::string_view text) { status_->setText(FromView(text)); }

void MainWindowView::AccessPointsChanged() { ShowRows(); }

void MainWindowView::ShowRows() {
  const QSignalBlocker blocker(list_);
  list_->clear();
  for (const auto& row : model_.Rows()) {
    list_->addTopLevelItem(
        new QTreeWidgetItem({FromView(row.address), FromView(ui::Utf8FromLatin1(row.deviceName))}));
  }
  ShowSelection();
}

void MainWindowView::ShowSelection() {
  const QSignalBlocker blocker(list_);
  const int row = model_.SelectedRow();
  QTreeWidgetItem* item = row == pages::MainWindow::kNoRow ? nullptr : list_->topLevelItem(row);
  if (item == nullptr) {
    list_->clearSelection();
    return;
  }
  list_->setCurrentItem(item);
  item->setSelected(true);
  list_->scrollToItem(item);
}

void MainWindowView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A restore from the task bar is no new showing.
  if (!event->spontaneous()) model_.Shown();
}

void MainWindowView::keyPressEvent(QKeyEvent* event) {
  // The standard dialog keys close the window; Enter on a focused button presses it instead.
  switch (event->key()) {
    case Qt::Key_Escape:
      reject();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (qobject_cast<QPushButton*>(focusWidget()) == nullptr) {
        accept();
        return;
      }
      break;
    default:
      break;
  }
  QDialog::keyPressEvent(event);
}

void MainWindowView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(ProgramIcon(), FromView(kAboutCommand), this, &MainWindowView::ShowAbout);
  menu.addSeparator();
  QAction* traffic = menu.addAction(FromView(kTrafficCommand), this, [this] { ShowTraffic(); });
  traffic->setEnabled(trafficPrompter_ != nullptr &&
                      model_.SelectedRow() != pages::MainWindow::kNoRow);
  menu.exec(event->globalPos());
}

}  // namespace kelvo::gui
