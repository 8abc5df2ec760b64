// The Animation pane as a person uses it on imported X-Plane objects: the door's slider swings
// the door in the view (its pixels change, picking follows it) and the reset puts it back;
// "by distance" shows one level of detail; the lights are points in their colours; the pane
// is hidden for a scene without such data and fits its dock without scrolling sideways.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "gui/qt_dialogs.h"
#include "scene/document.h"
#include "support/expect_near.h"
#include "support/temp_home.h"
#include "workbench/animation_panel.h"
#include "workbench/scene_view.h"
#include "workbench/workbench_window.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
const fs::path Obj8Data = fs::path(VLM_TEST_DATA_DIR) / "obj8";

// Answers what the window asks without a dialog; a problem shown is a failure.
struct QuietAsker : workbench::Asker {
  // An imported object not saved is let go for the next.
  Unsaved SaveChanges(QWidget*, const QString&) override { return Unsaved::Discard; }
  void Problem(QWidget*, const QString& text) override { ADD_FAILURE() << text.toStdString(); }
};

int Difference(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
         std::abs(a.blue() - b.blue());
}

// The colour drawn where a world point lands (the image is in device pixels).
QColor ColourAt(const QImage& image, QPointF at) {
  const QPointF device = at * image.devicePixelRatio();
  return image.pixelColor(device.toPoint());
}

TEST(WorkbenchAnimation, ThePanePosesTheViewAsXPlaneDrawsTheObject) {
  test::TempHome home;
  gui::EnsureApplication();
  workbench::WorkbenchWindow window(std::make_shared<QuietAsker>());
  window.UseFreshSettings(true);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  workbench::SceneView& view = window.View();
  workbench::AnimationPanel& panel = window.Animation();
  auto* dock = window.findChild<QDockWidget*>("animationPane");
  ASSERT_TRUE(dock);
  const auto fits = [&](const char* what) {
    QApplication::processEvents();
    EXPECT_FALSE(panel.horizontalScrollBar()->isVisible()) << what << ": the pane scrolls sideways";
  };

  // The door: its face 0 (the file's corners 0, 2, 3) turns from 30 to 120 degrees about the
  // hinge at x = 2; its centre (1/3, 4/3, 0) in the file goes where worked out by hand.
  ASSERT_TRUE(window.OpenFile(Obj8Data / "door.obj"));
  EXPECT_TRUE(dock->isVisible());
  fits("door");
  const host::HostMesh* door =
      window.CurrentSession().Document().FindMesh("door/anim door/door", nullptr);
  ASSERT_TRUE(door);
  const uint32_t face = *view.Mesh().FaceIndex({door, 0});
  const auto centre = [&] { return view.Mesh().faces[face].centre; };
  const float third = 1.0f / 3, high = 4.0f / 3;
  test::ExpectNear(centre(), {2 + third * std::cos(0.5236f), high, third * 0.5f}, "at rest", 1e-4f);
  const QPointF restAt = view.Project(centre());
  const QImage atRest = view.grabFramebuffer();
  EXPECT_EQ(view.FaceAt(restAt.toPoint()), (host::FaceHit{door, 0}));

  auto* slider = panel.findChild<QSlider*>("animationSlider:sim/cockpit/door");
  ASSERT_TRUE(slider);
  slider->setValue(slider->maximum());  // as a drag to the end does
  EXPECT_EQ(panel.findChild<QDoubleSpinBox*>("animationValue:sim/cockpit/door")->value(), 1);
  test::ExpectNear(centre(), {2 + third * std::cos(2.0944f), high, third * std::sin(2.0944f)},
                   "opened", 1e-4f);
  const QImage opened = view.grabFramebuffer();
  EXPECT_GT(Difference(ColourAt(atRest, restAt), ColourAt(opened, restAt)), 30)
      << "the pixel where the door was did not change";
  EXPECT_NE(view.FaceAt(restAt.toPoint()), (std::optional<host::FaceHit>(host::FaceHit{door, 0})));
  EXPECT_EQ(view.FaceAt(view.Project(centre()).toPoint()), (host::FaceHit{door, 0}))
      << "picking does not follow the door";

  QTest::mouseClick(panel.findChild<QPushButton*>("animationReset"), Qt::LeftButton);
  EXPECT_EQ(slider->value(), 0);
  test::ExpectNear(centre(), {2 + third * std::cos(0.5236f), high, third * 0.5f}, "reset", 1e-4f);

  // Levels: by distance, one level is drawn and picked, the other neither.
  ASSERT_TRUE(window.OpenFile(Obj8Data / "nested.obj"));
  EXPECT_TRUE(dock->isVisible());
  fits("nested");
  panel.findChild<QComboBox*>("animationLodMode")->setCurrentIndex(1);
  auto* distance = panel.findChild<QDoubleSpinBox*>("animationLodDistance");
  const struct {
    double metres;
    const char* shown;
  } levels[] = {{2000, "LOD 1000-5000"}, {10, "LOD 0-1000"}};
  for (const auto& level : levels) {
    distance->setValue(level.metres);
    EXPECT_EQ(panel.findChild<QLabel*>("animationLodShown")->text().toStdString(),
              std::string("Shown: ") + level.shown);
    std::set<std::string> picked;
    for (const host::FaceHit& hit : view.FacesIn(view.rect(), true)) {
      const std::string path = hit.mesh->Path();
      picked.insert(path.substr(0, path.find('/', path.find('/') + 1)));
    }
    EXPECT_EQ(picked, (std::set<std::string>{std::string("nested/") + level.shown}));
  }

  // Lights: each one on screen is a point of its colour.
  ASSERT_TRUE(window.OpenFile(Obj8Data / "lights.obj"));
  const QImage lit = view.grabFramebuffer();
  int seen = 0;
  for (const workbench::LightPoint& light : view.Lights()) {
    const QPointF at = view.Project(light.position);
    if (!view.rect().contains(at.toPoint())) continue;
    ++seen;
    const QColor want = QColor::fromRgbF(light.colour.x, light.colour.y, light.colour.z);
    EXPECT_LE(Difference(ColourAt(lit, at), want), 12)
        << "light at " << light.position.x << " " << light.position.y << " " << light.position.z;
  }
  EXPECT_EQ(view.Lights().size(), 6u);
  EXPECT_GT(seen, 0);

  // A scene without X-Plane data hides the pane.
  ASSERT_TRUE(window.OpenFile(fs::path(VLM_TEST_EXAMPLES_DIR) / "hangar.json"));
  EXPECT_FALSE(dock->isVisible());
}

}  // namespace
}  // namespace vlm
