// SPDX-License-Identifier: GPL-2.0-or-later
#include <QGridLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>
#include <algorithm>

#include "views/ControlBinding.h"
#include "views/PageViews.h"

// The resources of a static library are registered by hand, outside any namespace; a second
// registration of the same data is ignored.
static void RegisterAboutArtwork() { Q_INIT_RESOURCE(kelvo); }

namespace kelvo::gui {
namespace {

// The About picture, drawn from the vector artwork at the widget's size so it stays sharp at
// every scale factor: the background stretches over the whole page and the artwork keeps its
// proportions in the middle.
class AboutPicture final : public QWidget {
 public:
  explicit AboutPicture(QWidget* parent) : QWidget(parent) {
    RegisterAboutArtwork();
    renderer_ = new QSvgRenderer(QStringLiteral(":/kelvo/about.svg"), this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }

  QSize sizeHint() const override { return {257, 311}; }
  QSize minimumSizeHint() const override { return {128, 155}; }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer_->render(&painter, QStringLiteral("background"), QRectF(rect()));
    const QRectF box = renderer_->viewBoxF();
    const qreal scale = std::min(width() / box.width(), height() / box.height());
    const QPointF origin((width() - box.width() * scale) / 2,
                         (height() - box.height() * scale) / 2);
    const QRectF art = renderer_->boundsOnElement(QStringLiteral("artwork"));
    renderer_->render(&painter, QStringLiteral("artwork"),
                      QRectF(origin + (art.topLeft() - box.topLeft()) * scale, art.size() * scale));
  }

 private:
  QSvgRenderer* renderer_;
};

class AboutPageView final : public PageView {
 public:
  AboutPageView(pages::AboutPage& page, QWidget* parent) : PageView(parent), page_(page) {
    auto* picture = new AboutPicture(this);
    picture->setObjectName(QStringLiteral("aboutPicture"));
    picture->setAccessibleName(QStringLiteral("Kelvo"));

    // A tiny box without behaviour in the lower right corner, over the picture's edge.
    auto* corner = new QLineEdit(this);
    corner->setObjectName(QStringLiteral("cornerText"));
    const QFontMetrics metrics = corner->fontMetrics();
    corner->setFixedSize(metrics.averageCharWidth() * 3 / 2, metrics.height() * 3 / 2);
    binder_.Text(corner, page_.CornerText());

    auto* absorber = NewPageButton(QString(), QStringLiteral("defaultButton"), this);
    binder_.Push(absorber, page_.DefaultButton(), {});

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture, 0, 0);
    layout->addWidget(corner, 0, 0, Qt::AlignRight | Qt::AlignBottom);
    layout->addWidget(absorber, 1, 0);
    setFocusPolicy(Qt::StrongFocus);
  }

  void ShowModel() override { binder_.Refresh(); }

 private:
  pages::AboutPage& page_;
  Binder binder_{[this] { ShowModel(); }};
};

}  // namespace

PageView* CreateAboutPageView(pages::ConfigurationSheet& sheet, QWidget* parent) {
  return new AboutPageView(sheet.About(), parent);
}

}  // namespace kelvo::gui
