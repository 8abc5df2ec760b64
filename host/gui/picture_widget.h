// A drawing area on screen: the picture box's background, its picture file and the drawing
// commands the plug-in recorded, painted with QPainter as the SVG writer draws them.
#pragma once

#include <QWidget>
#include <functional>

#include "vlm/forms.h"

namespace vlm::gui {

QColor ToQColor(int32_t color);  // R + 256 G + 65536 B

class PictureWidget : public QWidget {
 public:
  explicit PictureWidget(const PictureBox& picture, QWidget* parent = nullptr);
  // Takes the size the picture asks for: its drawing's size, a preview or a colour swatch.
  void UpdateSize();
  std::function<void()> Clicked;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  const PictureBox& picture_;
};

}  // namespace vlm::gui
