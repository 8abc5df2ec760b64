#include "run/svg.h"

#include <charconv>
#include <cstdio>
#include <optional>

namespace vlm::host {
namespace {

// A coordinate with up to 3 decimals and a "." whatever the locale.
std::string Number(double value) {
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  if (ec != std::errc()) return "0";
  std::string text(buffer, end);
  while (text.back() == '0')
    text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

// R + 256 G + 65536 B as #rrggbb.
std::string Colour(int32_t color) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", color & 0xFF, (color >> 8) & 0xFF,
                (color >> 16) & 0xFF);
  return buffer;
}

}  // namespace

std::string PictureToSvg(const PictureBox& picture) {
  const double width = picture.Width(), height = picture.Height();
  double left = 0, top = 0, scaleWidth = width, scaleHeight = height;
  auto px = [&](double x) { return Number((x - left) * width / scaleWidth); };
  auto py = [&](double y) { return Number((y - top) * height / scaleHeight); };

  std::string stroke = Colour(0);
  std::optional<std::string> fill;
  const std::string background = "  <rect x=\"0\" y=\"0\" width=\"" + Number(width) +
                                 "\" height=\"" + Number(height) + "\" fill=\"" +
                                 Colour(picture.BackColor()) + "\"/>\n";

  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(width) +
                    "\" height=\"" + Number(height) + "\" viewBox=\"0 0 " + Number(width) + " " +
                    Number(height) + "\">\n" + background;
  for (const DrawCommand& c : picture.Commands()) {
    switch (c.op) {
      case DrawCommand::Op::Scale:
        left = c.x1, top = c.y1, scaleWidth = c.x2, scaleHeight = c.y2;
        break;
      case DrawCommand::Op::Clear:
        svg += background;
        break;
      case DrawCommand::Op::Line:
        svg += "  <line x1=\"" + px(c.x1) + "\" y1=\"" + py(c.y1) + "\" x2=\"" + px(c.x2) +
               "\" y2=\"" + py(c.y2) + "\" stroke=\"" + stroke + "\"/>\n";
        break;
      case DrawCommand::Op::Rectangle: {
        // Corners may come in any order and either axis may run backwards.
        const double x1 = (c.x1 - left) * width / scaleWidth,
                     x2 = (c.x2 - left) * width / scaleWidth;
        const double y1 = (c.y1 - top) * height / scaleHeight,
                     y2 = (c.y2 - top) * height / scaleHeight;
        svg += "  <rect x=\"" + Number(std::min(x1, x2)) + "\" y=\"" + Number(std::min(y1, y2)) +
               "\" width=\"" + Number(std::abs(x2 - x1)) + "\" height=\"" +
               Number(std::abs(y2 - y1)) + "\" fill=\"" + fill.value_or("none") + "\" stroke=\"" +
               stroke + "\"/>\n";
        break;
      }
      case DrawCommand::Op::FillColor:
        fill = Colour(c.color);
        break;
      case DrawCommand::Op::ForeColor:
        stroke = Colour(c.color);
        break;
    }
  }
  return svg + "</svg>\n";
}

std::string PictureFileName(const Form& form, int showing, const PictureBox& picture) {
  std::string name = form.Name();
  if (showing > 1) name += "-" + std::to_string(showing);
  name += "." + picture.Name();
  if (picture.Index() >= 0) name += "-" + std::to_string(picture.Index());
  return name + ".svg";
}

}  // namespace vlm::host
