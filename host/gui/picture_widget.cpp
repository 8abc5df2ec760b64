#include "gui/picture_widget.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <optional>

namespace vlm::gui {

QColor ToQColor(int32_t color) {
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

PictureWidget::PictureWidget(const PictureBox& picture, QWidget* parent)
    : QWidget(parent), picture_(picture) {
  setFocusPolicy(Qt::ClickFocus);
  UpdateSize();
}

void PictureWidget::UpdateSize() {
  // A picture box that only shows its colour is a swatch; one showing a file, a preview.
  QSize size(48, 24);
  if (!picture_.Commands().empty()) {
    size = QSize(picture_.Width(), picture_.Height());
  } else if (!picture_.Picture().empty()) {
    size = QSize(64, 64);
  }
  if (size != minimumSize()) setFixedSize(size);
}

void PictureWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRectF area = rect();
  painter.fillRect(area, ToQColor(picture_.BackColor()));
  if (!picture_.Picture().empty()) {
    QImage image(QString::fromStdString(picture_.Picture()));
    if (!image.isNull())
      painter.drawImage(area, image.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
  }
  painter.setRenderHint(QPainter::Antialiasing);
  // User coordinates map onto the widget: Scale names the left, top, width and height.
  double left = 0, top = 0, scaleWidth = picture_.Width(), scaleHeight = picture_.Height();
  auto at = [&](double x, double y) {
    return QPointF((x - left) * width() / scaleWidth, (y - top) * height() / scaleHeight);
  };
  QColor stroke = Qt::black;
  std::optional<QColor> fill;
  for (const DrawCommand& c : picture_.Commands()) {
    switch (c.op) {
      case DrawCommand::Op::Scale:
        left = c.x1, top = c.y1, scaleWidth = c.x2, scaleHeight = c.y2;
        break;
      case DrawCommand::Op::Clear:
        painter.fillRect(area, ToQColor(picture_.BackColor()));
        break;
      case DrawCommand::Op::Line:
        painter.setPen(stroke);
        painter.drawLine(at(c.x1, c.y1), at(c.x2, c.y2));
        break;
      case DrawCommand::Op::Rectangle:
        painter.setPen(stroke);
        painter.setBrush(fill ? QBrush(*fill) : QBrush(Qt::NoBrush));
        painter.drawRect(QRectF(at(c.x1, c.y1), at(c.x2, c.y2)).normalized());
        break;
      case DrawCommand::Op::FillColor:
        fill = ToQColor(c.color);
        break;
      case DrawCommand::Op::ForeColor:
        stroke = ToQColor(c.color);
        break;
    }
  }
  painter.setPen(palette().color(QPalette::Mid));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && Clicked) Clicked();
}

}  // namespace vlm::gui
