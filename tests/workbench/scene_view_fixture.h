// A 3D view on screen at a known size under a virtual display, and the colours of its pixels.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QSize>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gui/qt_dialogs.h"
#include "scene/document.h"
#include "workbench/scene_view.h"

namespace vlm::test {

inline constexpr int kWidth = 400, kHeight = 300;

struct Application {
  Application() { gui::EnsureApplication(); }
};

// A view on screen at a known size, drawing `document`.
struct ShownView : Application {
  explicit ShownView(const host::HostDocument* document, QSize size = {kWidth, kHeight}) {
    view.resize(size);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.SetDocument(document);
  }
  workbench::SceneView view;
};

struct Colour {
  int r, g, b;
};
inline int Difference(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
         std::abs(a.blue() - b.blue());
}
inline void ExpectColour(const QImage& image, QPoint at, Colour want, const std::string& what) {
  const QColor got = image.pixelColor(at);
  EXPECT_LE(
      std::abs(got.red() - want.r) + std::abs(got.green() - want.g) + std::abs(got.blue() - want.b),
      6)
      << what << " at " << at.x() << "," << at.y() << ": got " << got.red() << " " << got.green()
      << " " << got.blue() << ", want " << want.r << " " << want.g << " " << want.b;
}

// The face of a box whose normal is `normal`.
inline int32_t FaceFacing(const host::HostMesh& mesh, Vec3 normal) {
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    if (Dot(mesh.FaceNormal(f), normal) > 0.99f) return static_cast<int32_t>(f);
  ADD_FAILURE() << "no face along the normal";
  return 0;
}

}  // namespace vlm::test
