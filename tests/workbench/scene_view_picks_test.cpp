// The 3D view under a virtual display: faces picked by clicks and boxes as a person would
// pick them, hidden faces and x-ray picking, the selection drawn over the kept picture, and
// the stand-in drawn while the camera moves.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <random>

#include "exchange/model_import.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "workbench/scene_view.h"
#include "workbench/scene_view_fixture.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::FaceHit;
using host::HostDocument;
using host::PickCombine;
using test::Difference;
using test::ExpectColour;
using test::FaceFacing;
using test::kHeight;
using test::kWidth;
using test::ShownView;
using workbench::SceneView;

// The scene's triangles as the test works them out itself: every face's fan in world space.
struct WorldTriangle {
  Vec3 a, b, c;
  FaceHit face;
};

void Walk(const host::HostNode& node, std::vector<WorldTriangle>& out) {
  for (const auto& mesh : node.meshes) {
    const std::vector<Vec3> world = host::WorldVertices(*mesh);
    for (size_t f = 0; f < mesh->FaceCount(); ++f) {
      const auto p = mesh->Points(f);
      if (mesh->FaceRemoved(f)) continue;
      for (size_t k = 1; k + 1 < p.size(); ++k)
        out.push_back({world[size_t(p[0].vertex)],
                       world[size_t(p[k].vertex)],
                       world[size_t(p[k + 1].vertex)],
                       {mesh.get(), int32_t(f)}});
    }
  }
  for (const auto& child : node.children)
    Walk(*child, out);
}

std::vector<WorldTriangle> Triangles(const HostDocument& doc) {
  std::vector<WorldTriangle> out;
  Walk(doc.Root(), out);
  return out;
}

Vec3 Centre(const FaceHit& ref) {
  const std::vector<Vec3> world = host::WorldVertices(*ref.mesh);
  Vec3 sum{};
  const auto points = ref.mesh->Points(size_t(ref.face));
  for (const host::HostPoint& p : points)
    sum += world[size_t(p.vertex)];
  return sum * (1.0f / float(points.size()));
}

// The distance along the ray to the triangle (either side), by plain linear algebra in double.
std::optional<double> Meets(const WorldTriangle& t, Vec3 origin, Vec3 direction) {
  const auto d3 = [](Vec3 v) { return std::array<double, 3>{v.x, v.y, v.z}; };
  const auto sub = [](std::array<double, 3> a, std::array<double, 3> b) {
    return std::array<double, 3>{a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  };
  const auto cross = [](std::array<double, 3> a, std::array<double, 3> b) {
    return std::array<double, 3>{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                 a[0] * b[1] - a[1] * b[0]};
  };
  const auto dot = [](std::array<double, 3> a, std::array<double, 3> b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  };
  const auto a = d3(t.a), o = d3(origin), d = d3(direction);
  const auto e1 = sub(d3(t.b), a), e2 = sub(d3(t.c), a), n = cross(e1, e2);
  const double across = dot(n, d);
  if (std::fabs(across) < 1e-12) return std::nullopt;
  const double distance = dot(n, sub(a, o)) / across;
  if (distance <= 0) return std::nullopt;
  const auto hit = sub({o[0] + d[0] * distance, o[1] + d[1] * distance, o[2] + d[2] * distance}, a);
  // The hit in the triangle's own coordinates.
  const double u = dot(cross(hit, e2), n) / dot(n, n), v = dot(cross(e1, hit), n) / dot(n, n);
  if (u < 0 || v < 0 || u + v > 1) return std::nullopt;
  return distance;
}

// The face the ray meets first, and how far along.
std::optional<std::pair<FaceHit, double>> FirstHit(const std::vector<WorldTriangle>& triangles,
                                                   Vec3 origin, Vec3 direction) {
  std::optional<std::pair<FaceHit, double>> best;
  for (const WorldTriangle& t : triangles)
    if (const auto d = Meets(t, origin, direction); d && (!best || *d < best->second))
      best = {t.face, *d};
  return best;
}

std::unique_ptr<HostDocument> Hangar() {
  return host::LoadScene(fs::path(VLM_TEST_EXAMPLES_DIR) / "hangar.json");
}
std::unique_ptr<HostDocument> ImportedWuson() {
  return host::ImportModel(fs::path(VLM_TEST_MODELS_DIR) / "AC/Wuson.ac").document;
}

struct Picked {
  std::vector<FaceHit> faces;
  PickCombine op = PickCombine::Replace;
  int count = 0;
};
void Listen(SceneView& view, Picked& picked) {
  QObject::connect(&view, &SceneView::FacesPicked,
                   [&picked](const std::vector<FaceHit>& faces, PickCombine op) {
                     picked = {faces, op, picked.count + 1};
                   });
}

void Place(SceneView& view, double yaw, double pitch) {
  workbench::Camera camera = view.ViewCamera();
  camera.Set(camera.Target(), camera.Distance(), yaw, pitch);
  view.SetCamera(camera);
}

QPoint Rounded(QPointF p) {
  return {int(std::lround(p.x())), int(std::lround(p.y()))};
}

TEST(SceneView, AClickPicksTheFaceUnderTheCursorAndNothingOffTheModel) {
  const struct {
    const char* name;
    std::unique_ptr<HostDocument> (*load)();
  } cases[] = {{"hangar", Hangar}, {"imported model", ImportedWuson}};
  const std::pair<double, double> views[] = {{30, 25}, {210, 20}, {120, -15}, {0, 90}};
  const std::pair<Qt::KeyboardModifiers, PickCombine> modifiers[] = {
      {Qt::NoModifier, PickCombine::Replace},
      {Qt::ShiftModifier, PickCombine::Add},
      {Qt::ControlModifier, PickCombine::Toggle}};
  for (const auto& c : cases) {
    const std::unique_ptr<HostDocument> doc = c.load();
    const std::vector<WorldTriangle> triangles = Triangles(*doc);
    std::vector<FaceHit> faces;
    for (const WorldTriangle& t : triangles)
      if (faces.empty() || faces.back() != t.face) faces.push_back(t.face);
    ShownView shown(doc.get(), {640, 480});
    SceneView& view = shown.view;
    Picked picked;
    Listen(view, picked);
    std::mt19937 random(24);
    int clicks = 0;
    for (const auto& [yaw, pitch] : views) {
      view.FrameAll();
      Place(view, yaw, pitch);
      std::shuffle(faces.begin(), faces.end(), random);
      // Five random faces seen at their centres from here.
      int here = 0;
      for (size_t i = 0; i < faces.size() && here < 5; ++i) {
        const QPoint at = Rounded(view.Project(Centre(faces[i])));
        if (!QRect(0, 0, 640, 480).contains(at)) continue;
        const workbench::Ray ray = view.ViewCamera().RayAt(at.x(), at.y());
        const auto hit = FirstHit(triangles, ray.origin, ray.direction);
        if (!hit || hit->first != faces[i]) continue;
        const auto& [keys, op] = modifiers[clicks % 3];
        QTest::mouseClick(&view, Qt::LeftButton, keys, at);
        ++here, ++clicks;
        ASSERT_EQ(picked.count, clicks) << c.name;
        EXPECT_EQ(picked.faces, std::vector<FaceHit>{faces[i]})
            << c.name << " face " << faces[i].mesh->Path() << " " << faces[i].face << " at "
            << at.x() << "," << at.y();
        EXPECT_EQ(picked.op, op) << c.name;
      }
    }
    EXPECT_EQ(clicks, 20) << c.name;
    // A click where no face is drawn picks nothing, and says so.
    view.FrameAll();
    const workbench::Ray corner = view.ViewCamera().RayAt(2, 2);
    ASSERT_FALSE(FirstHit(triangles, corner.origin, corner.direction)) << c.name;
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, {2, 2});
    EXPECT_EQ(picked.count, clicks + 1) << c.name;
    EXPECT_TRUE(picked.faces.empty()) << c.name;
    EXPECT_EQ(picked.op, PickCombine::Replace) << c.name;
  }
}

void Mouse(SceneView& view, QEvent::Type type, QPoint at, Qt::KeyboardModifiers keys) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(at), view.mapToGlobal(QPointF(at)),
                    type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, keys);
  QApplication::sendEvent(&view, &event);
}

TEST(SceneView, ABoxPicksTheFacesWhoseCentresItHoldsSeenOrThrough) {
  const struct {
    const char* name;
    std::unique_ptr<HostDocument> (*load)();
    bool through;
  } cases[] = {{"hangar, visible", Hangar, false},
               {"hangar, through", Hangar, true},
               {"imported model, visible", ImportedWuson, false},
               {"imported model, through", ImportedWuson, true}};
  for (const auto& c : cases) {
    const std::unique_ptr<HostDocument> doc = c.load();
    const std::vector<WorldTriangle> triangles = Triangles(*doc);
    ShownView shown(doc.get(), {640, 480});
    SceneView& view = shown.view;
    view.SetBoxThrough(c.through);
    view.FrameAll();
    Place(view, 30, 25);
    Picked picked;
    Listen(view, picked);
    const QPoint from(200, 130), to(460, 370);
    const Vec3 eye = view.ViewCamera().Eye();
    std::vector<FaceHit> want;
    size_t inBox = 0;
    for (size_t t = 0; t < triangles.size(); ++t) {
      const FaceHit face = triangles[t].face;
      if (t > 0 && triangles[t - 1].face == face) continue;
      const Vec3 centre = Centre(face);
      const QPointF at = view.Project(centre);
      if (at.x() < from.x() || at.x() >= to.x() || at.y() < from.y() || at.y() >= to.y()) continue;
      ++inBox;
      if (!c.through) {
        const float distance = Length(centre - eye);
        const auto hit = FirstHit(triangles, eye, Normalize(centre - eye));
        if (hit && hit->first != face && hit->second < distance * (1 - 1e-4)) continue;  // hidden
      }
      want.push_back(face);
    }
    // Some of the faces in the box are hidden behind others.
    if (!c.through) {
      EXPECT_LT(want.size(), inBox) << c.name;
    }
    ASSERT_FALSE(want.empty()) << c.name;

    Mouse(view, QEvent::MouseButtonPress, from, Qt::ShiftModifier);
    Mouse(view, QEvent::MouseMove, (from + to) / 2, Qt::ShiftModifier);
    Mouse(view, QEvent::MouseMove, to, Qt::ShiftModifier);
    // The rubber band is drawn while the box is dragged.
    const QImage dragging = view.grabFramebuffer();
    ExpectColour(dragging, {from.x(), (from.y() + to.y()) / 2}, {255, 255, 255}, c.name);
    Mouse(view, QEvent::MouseButtonRelease, to, Qt::ShiftModifier);
    ASSERT_EQ(picked.count, 1) << c.name;
    std::sort(want.begin(), want.end());
    std::sort(picked.faces.begin(), picked.faces.end());
    EXPECT_EQ(picked.faces, want) << c.name;
    EXPECT_EQ(picked.op, PickCombine::Add) << c.name;
  }
}

// Hidden faces are neither drawn nor picked; X-ray picks through faces: a box takes the faces
// hidden behind others, and clicks step deeper from the selected face.
TEST(SceneView, HiddenFacesAndXrayPicking) {
  HostDocument doc;
  host::HostMaterial& material = doc.NewMaterial("Crate");
  material.diffuse = {0.8f, 0.1f, 0.1f};
  const host::HostMesh& box = host::AddBox(doc.Root(), "Box", {0, 1, 0}, {1, 1, 1}, &material);
  const FaceHit front{&box, FaceFacing(box, {0, 0, 1})}, back{&box, FaceFacing(box, {0, 0, -1})};
  std::vector<FaceHit> all;
  for (int32_t f = 0; f < 6; ++f)
    all.push_back({&box, f});
  const QPoint centre(kWidth / 2, kHeight / 2);
  const QRect everything(0, 0, kWidth, kHeight);
  const struct {
    const char* name;
    bool xray;
    std::vector<FaceHit> hidden, selected;
    std::optional<FaceHit> clicked;  // at the middle of the view
    size_t boxed;                    // faces a box over the whole view takes
    bool drawn;                      // the middle shows the box
  } cases[] = {
      {"plain: the front face, three faces seen from the slant", false, {}, {}, front, 3, true},
      {"the front face hidden: the back one through the hole", false, {front}, {}, back, 5, true},
      {"all hidden: nothing drawn or picked", false, all, {}, std::nullopt, 0, false},
      {"x-ray: the nearest first", true, {}, {}, front, 6, true},
      {"x-ray, the front face selected: the one behind it", true, {}, {front}, back, 6, true},
      {"x-ray, the back face selected: round to the front", true, {}, {back}, front, 6, true},
      {"x-ray, the front face hidden", true, {front}, {}, back, 5, true},
  };
  for (const auto& c : cases) {
    ShownView shown(&doc);
    SceneView& view = shown.view;
    view.SetXray(c.xray);
    view.SetHiddenFaces(c.hidden);
    view.SetSelectedFaces(c.selected);
    workbench::Camera camera = view.ViewCamera();
    camera.Set({0, 1, 0}, 6, 0, 0);
    view.SetCamera(camera);
    EXPECT_EQ(view.FaceAt(centre), c.clicked) << c.name;
    const QImage image = view.grabFramebuffer();
    EXPECT_EQ(Difference(image.pixelColor(centre), image.pixelColor(3, 3)) > 20, c.drawn) << c.name;
    // From a slant, three faces show; the box is dragged over the whole view.
    camera.Set({0, 1, 0}, 8, 30, 25);
    view.SetCamera(camera);
    Picked picked;
    Listen(view, picked);
    Mouse(view, QEvent::MouseButtonPress, everything.topLeft() + QPoint(1, 1), Qt::NoModifier);
    Mouse(view, QEvent::MouseMove, everything.center(), Qt::NoModifier);
    Mouse(view, QEvent::MouseButtonRelease, everything.bottomRight(), Qt::NoModifier);
    EXPECT_EQ(picked.faces.size(), c.boxed) << c.name;
    for (const FaceHit& face : picked.faces)
      EXPECT_EQ(std::count(c.hidden.begin(), c.hidden.end(), face), 0) << c.name;
  }
}

// The pixels of two pictures that differ.
int PixelsApart(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return a.width() * a.height();
  int apart = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      apart += a.pixel(x, y) != b.pixel(x, y);
  return apart;
}

// A pick redraws only the selection over the picture kept from the frame before: what it
// shows must be the very picture a full frame draws, the grid's lines still over selected
// faces on the ground and faces in front still over selected faces behind them.
TEST(SceneView, ASelectionDrawnOverTheKeptPictureIsTheFullFramesPicture) {
  HostDocument doc;
  host::HostMaterial& red = doc.NewMaterial("Red");
  red.diffuse = {0.8f, 0.1f, 0.1f};
  const host::HostMesh& floor = host::AddGrid(doc.Root(), "Floor", 4, 4, 1.0f, &red);
  const host::HostMesh& box = host::AddBox(doc.Root(), "Box", {2, 1, 2}, {0.6f, 1, 0.6f});
  struct Case {
    const char* name;
    bool wireframe, backFaces, xray, reused;
  } cases[] = {
      {"shaded", false, true, false, true},
      {"wireframe", true, true, false, true},
      {"back faces hidden", false, false, false, true},
      {"x-ray draws every face again", false, true, true, false},
  };
  for (const Case& c : cases) {
    ShownView shown(&doc);
    SceneView& view = shown.view;
    workbench::Camera camera = view.ViewCamera();
    camera.Set({2, 0.5, 2}, 7, 30, 25);
    view.SetCamera(camera);
    view.SetWireframe(c.wireframe);
    view.SetBackFaces(c.backFaces);
    view.SetXray(c.xray);
    const QImage none = view.grabFramebuffer();
    // Floor faces partly behind the box, and the box's faces.
    std::vector<FaceHit> picked;
    for (int32_t f = 0; f < 16; f += 3)
      picked.push_back({&floor, f});
    for (int32_t f = 0; f < 6; f += 2)
      picked.push_back({&box, f});
    view.SetSelectedFaces(picked);
    const QImage over = view.grabFramebuffer();
    EXPECT_EQ(view.LastFrame().reused, c.reused) << c.name;
    const QImage full = view.grabFramebuffer();
    EXPECT_FALSE(view.LastFrame().reused) << c.name;
    EXPECT_EQ(PixelsApart(over, full), 0) << c.name;
    EXPECT_GT(PixelsApart(over, none), 100) << c.name << ": the selection shows";
    view.SetSelectedFaces({});
    EXPECT_EQ(PixelsApart(view.grabFramebuffer(), none), 0) << c.name << ": none selected again";
  }
}

// While the mouse turns, pans or zooms a large model, a lighter stand-in is drawn; the model
// itself as soon as the drag ends or the camera rests a moment.
TEST(SceneView, ALargeModelIsDrawnAsItsStandInOnlyWhileTheCameraMoves) {
  HostDocument doc;
  host::AddGrid(doc.Root(), "Field", 500, 300, 0.1f);  // 300,000 triangles
  ShownView shown(&doc);
  SceneView& view = shown.view;
  view.grabFramebuffer();
  view.FinishBackgroundWork();
  const QImage still = view.grabFramebuffer();
  ASSERT_FALSE(view.LastFrame().standIn);
  const QPointF middle(kWidth / 2.0, kHeight / 2.0);
  const auto mouse = [&](QEvent::Type type, QPointF at, Qt::MouseButton button,
                         Qt::MouseButtons held) {
    QMouseEvent event(type, at, view.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
  };
  enum class Stop { Release, Rest };
  struct Case {
    const char* name;
    Qt::MouseButton button;  // NoButton: the wheel
    Stop stop;
  } cases[] = {
      {"orbit, let go", Qt::RightButton, Stop::Release},
      {"orbit, held still", Qt::RightButton, Stop::Rest},
      {"pan, let go", Qt::MiddleButton, Stop::Release},
      {"zoom", Qt::NoButton, Stop::Rest},
  };
  for (const Case& c : cases) {
    if (c.button != Qt::NoButton) {
      mouse(QEvent::MouseButtonPress, middle, c.button, c.button);
      mouse(QEvent::MouseMove, middle + QPointF(3, 2), Qt::NoButton, c.button);
    } else {
      QWheelEvent wheel(middle, view.mapToGlobal(middle), {}, {0, 120}, Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(&view, &wheel);
    }
    const QImage moving = view.grabFramebuffer();
    EXPECT_TRUE(view.LastFrame().standIn) << c.name;
    // The same flat field: the middle looks as the model does.
    EXPECT_LE(Difference(moving.pixelColor(kWidth / 2, kHeight / 2),
                         still.pixelColor(kWidth / 2, kHeight / 2)),
              12)
        << c.name;
    if (c.stop == Stop::Release)
      mouse(QEvent::MouseButtonRelease, middle + QPointF(3, 2), c.button, Qt::NoButton);
    else
      QTest::qWait(workbench::kSettleMs + 150);
    view.grabFramebuffer();
    EXPECT_FALSE(view.LastFrame().standIn) << c.name;
    if (c.stop == Stop::Rest && c.button != Qt::NoButton)
      mouse(QEvent::MouseButtonRelease, middle + QPointF(3, 2), c.button, Qt::NoButton);
  }
}

}  // namespace
}  // namespace vlm
