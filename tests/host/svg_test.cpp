#include "run/svg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "stairwright/stairwright.h"
#include "support/temp_home.h"

namespace vlm {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The elements of one kind ("<line", "<rect") in order.
std::vector<std::string> Elements(const std::string& svg, const std::string& tag) {
  std::vector<std::string> out;
  for (size_t at = svg.find(tag); at != std::string::npos; at = svg.find(tag, at + 1))
    out.push_back(svg.substr(at, svg.find("/>", at) + 2 - at));
  return out;
}

double Attribute(const std::string& element, const std::string& name) {
  const size_t at = element.find(" " + name + "=\"");
  if (at == std::string::npos) return std::nan("");
  return std::stod(element.substr(at + name.size() + 3));
}

TEST(PictureToSvg, MapsTheUserScaleToPixels) {
  Form form("frmTest");
  PictureBox pic(form, "picTest");
  pic.SetSize(200, 100);
  pic.SetBackColor(0x00FF00);
  pic.Scale(-1, -1, 4, 2);  // x -1..3, y -1..1
  pic.Cls();
  pic.Line(0, 0, 1, 0);
  pic.SetForeColor(255);
  pic.Box(3, 1, 1, 0);  // corners in any order
  pic.SetFillColor(0xFF0000);
  pic.Box(-1, -1, 0, 0);
  const std::string svg = host::PictureToSvg(pic);

  EXPECT_THAT(svg, HasSubstr("width=\"200\" height=\"100\" viewBox=\"0 0 200 100\""));
  EXPECT_THAT(svg, HasSubstr("fill=\"#00ff00\""));
  auto lines = Elements(svg, "<line");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "<line x1=\"50\" y1=\"50\" x2=\"100\" y2=\"50\" stroke=\"#000000\"/>");
  auto rects = Elements(svg, "<rect");
  ASSERT_EQ(rects.size(), 4u);  // the background, again when cleared, then the two boxes
  EXPECT_EQ(rects[2],
            "<rect x=\"100\" y=\"50\" width=\"100\" height=\"50\" fill=\"none\" "
            "stroke=\"#ff0000\"/>");
  EXPECT_EQ(rects[3],
            "<rect x=\"0\" y=\"0\" width=\"50\" height=\"50\" fill=\"#0000ff\" "
            "stroke=\"#ff0000\"/>");
}

TEST(PictureToSvg, WithoutAScaleTheUnitsArePixels) {
  Form form("frmTest");
  PictureBox pic(form, "picTest");
  pic.SetSize(10, 10);
  pic.Line(1.25, 2, 3, 4.0006);
  EXPECT_THAT(host::PictureToSvg(pic),
              HasSubstr("<line x1=\"1.25\" y1=\"2\" x2=\"3\" y2=\"4.001\""));
}

TEST(PictureToSvg, StepPreviewStandsOnTheBottomEdge) {
  test::TempHome home;
  frmStep dialog;
  dialog.Load();
  const std::string svg = host::PictureToSvg(dialog.picBuf);
  const double W = dialog.picBuf.Width(), Hpx = dialog.picBuf.Height();
  const double H = 2.6f, B = 1.6f, T = 0.3f, D = 0.03f, r = H / 9;
  const double scaleWidth = W / Hpx * H * 1.02, scaleHeight = H * 1.02;
  auto px = [&](double x) { return (x + T / 2) * W / scaleWidth; };
  auto py = [&](double y) { return (y + 1.01 * H) * Hpx / scaleHeight; };

  auto lines = Elements(svg, "<line");
  ASSERT_EQ(lines.size(), 4u);
  // The floor line of the supports: from the left edge, near the bottom.
  EXPECT_NEAR(Attribute(lines[0], "x1"), 0, 1e-3);
  EXPECT_NEAR(Attribute(lines[0], "y1"), py(0), 1e-3);
  EXPECT_NEAR(Attribute(lines[0], "y1"), Hpx * 1.01 / 1.02, 1e-3);
  EXPECT_NEAR(Attribute(lines[1], "x2"), px(B - T / 2), 1e-3);
  EXPECT_NEAR(Attribute(lines[1], "y2"), py(-H), 1e-3);

  auto rects = Elements(svg, "<rect");
  ASSERT_EQ(rects.size(), 1u + 1u + 8u);  // background, cleared background, eight boards
  for (int k = 1; k <= 8; ++k) {
    const std::string& rect = rects[static_cast<size_t>(1 + k)];
    EXPECT_NEAR(Attribute(rect, "x"), px(k * r * B / H - T / 2), 1e-3) << k;
    EXPECT_NEAR(Attribute(rect, "y"), py(-k * r), 1e-3) << k;
    EXPECT_NEAR(Attribute(rect, "width"), T * W / scaleWidth, 2e-3) << k;
    EXPECT_NEAR(Attribute(rect, "height"), D * Hpx / scaleHeight, 2e-3) << k;
  }
  EXPECT_THAT(svg, Not(HasSubstr("nan")));
}

TEST(PictureFileName, NamesTheFormTheShowingAndTheControl) {
  Form form("frmStep");
  PictureBox pic(form, "picBuf");
  PictureBox swatch(form, "picSwatch", 3);
  EXPECT_EQ(host::PictureFileName(form, 1, pic), "frmStep.picBuf.svg");
  EXPECT_EQ(host::PictureFileName(form, 2, pic), "frmStep-2.picBuf.svg");
  EXPECT_EQ(host::PictureFileName(form, 1, swatch), "frmStep.picSwatch-3.svg");
}

}  // namespace
}  // namespace vlm
