// The 3D view drawn by Mesa's software renderer under a virtual display: colours and sizes
// at known pixels, textures of every format, and the camera's controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>

#include "scene/builder.h"
#include "support/temp_home.h"
#include "support/texture_files.h"
#include "workbench/scene_view.h"
#include "workbench/scene_view_fixture.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::FaceHit;
using host::HostDocument;
using test::Application;
using test::Colour;
using test::Difference;
using test::ExpectColour;
using test::FaceFacing;
using test::kHeight;
using test::kWidth;
using test::ShownView;
using workbench::SceneView;

Colour Of(Vec3 c) {
  return {int(std::lround(c.x * 255)), int(std::lround(c.y * 255)), int(std::lround(c.z * 255))};
}
// A colour tinted as the view tints selected and changed faces.
Colour Tinted(Vec3 c, Vec3 tint, float share) {
  return Of(c * (1 - share) + tint * share);
}

TEST(SceneView, DrawsMaterialSelectionChangeAndBackgroundColoursAtKnownPixels) {
  test::TempHome home;
  // A texture of one colour, named by the scene relative to its folder.
  QImage texture(8, 8, QImage::Format_RGB32);
  texture.fill(QColor(20, 200, 120));
  ASSERT_TRUE(texture.save(QString::fromStdString((home.Path() / "crate.png").string())));
  const Vec3 red{0.8f, 0.1f, 0.1f};
  const Colour background = Of(workbench::kBackgroundColour);
  // A 2 x 2 x 2 box standing on the ground, seen square on from 5 units before its front, or
  // from inside, where every wall is seen from behind.
  struct Case {
    const char* name;
    bool selected, changed, wireframe, textured, inside, backFaces;
    Colour centre;
  } cases[] = {
      {"plain", false, false, false, false, false, true, Of(red)},
      {"selected", true, false, false, false, false, true,
       Tinted(red, workbench::kSelectedColour, workbench::kSelectedTint)},
      {"changed", false, true, false, false, false, true,
       Tinted(red, workbench::kChangedColour, workbench::kChangedTint)},
      {"selected over changed", true, true, false, false, false, true,
       Tinted(red, workbench::kSelectedColour, workbench::kSelectedTint)},
      {"wireframe shows through", false, false, true, false, false, true, background},
      {"textured", false, false, false, true, false, true, {20, 200, 120}},
      {"inside, back faces shown", false, false, false, false, true, true, Of(red)},
      {"inside, back faces hidden", false, false, false, false, true, false, background},
  };
  for (const Case& c : cases) {
    HostDocument doc;
    host::HostMaterial& material = doc.NewMaterial("Crate");
    material.diffuse = {red.x, red.y, red.z};
    if (c.textured) material.diffuseMap = "crate.png", material.hasTextures = true;
    const host::HostMesh& box = host::AddBox(doc.Root(), "Box", {0, 1, 0}, {1, 1, 1}, &material);
    ShownView shown(nullptr);
    SceneView& view = shown.view;
    view.SetTextureFolder(home.Path());
    view.SetDocument(&doc);
    workbench::Camera camera = view.ViewCamera();
    camera.Set({0, 1, 0}, c.inside ? 0.5 : 6, 0, 0);
    view.SetCamera(camera);
    const std::vector<FaceHit> front = {{&box, FaceFacing(box, {0, 0, 1})}};
    if (c.selected) view.SetSelectedFaces(front);
    if (c.changed) view.SetChangedFaces(front);
    view.SetWireframe(c.wireframe);
    view.SetBackFaces(c.backFaces);
    const QImage image = view.grabFramebuffer();
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight)) << c.name;
    ExpectColour(image, {kWidth / 2, kHeight / 2}, c.centre, c.name);
    if (!c.inside) ExpectColour(image, {3, 3}, background, c.name);
    if (c.wireframe || c.inside) continue;
    // The front face, 2 units wide at 5 units: its width in pixels of a 45 degree view.
    const double want = 2 / (2 * 5 * std::tan(22.5 * 3.14159265358979 / 180)) * kHeight;
    int inside = 0;
    for (int x = 0; x < kWidth; ++x)
      inside += image.pixelColor(x, kHeight / 2) != image.pixelColor(3, kHeight / 2);
    EXPECT_NEAR(inside, want, 2.0) << c.name;
  }
}

// ---- textures ----------------------------------------------------------------------------------

// An 8 x 8 image in the four quarters of test::kQuarterRgb, the first at the top left.
QImage Quarters() {
  QImage quarters(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint8_t* c = test::kQuarterRgb[(y / 4) * 2 + x / 4];
      quarters.setPixelColor(x, y, QColor(c[0], c[1], c[2]));
    }
  return quarters;
}

// Where the texture coordinates (u, v) of the front face of AddBox's box at (0, 1, 0) lie in
// the view: (0, 0) at its corner at -x and -y, u along +x and v along +y.
QPoint OnFront(const SceneView& view, double u, double v) {
  const QPointF at = view.Project({float(-1 + 2 * u), float(2 * v), 1});
  return {int(std::lround(at.x())), int(std::lround(at.y()))};
}

// A box in front of the camera whose faces show `texture` (named relative to `folder`), and
// the lines the view says about textures.
struct TexturedBox : ShownView {
  TexturedBox(const fs::path& folder, const std::string& texture) : ShownView(nullptr) {
    host::HostMaterial& material = doc.NewMaterial("Door");
    material.diffuseMap = texture, material.hasTextures = true;
    host::AddBox(doc.Root(), "Box", {0, 1, 0}, {1, 1, 1}, &material);
    // A second material and box behind the first, on the same file.
    host::HostMaterial& other = doc.NewMaterial("Frame");
    other.diffuseMap = texture, other.hasTextures = true;
    host::AddBox(doc.Root(), "Behind", {0, 1, -4}, {1, 1, 1}, &other);
    QObject::connect(&view, &SceneView::TextureProblem,
                     [this](const std::string& line) { lines.push_back(line); });
    view.SetTextureFolder(folder);
    view.SetDocument(&doc);
    workbench::Camera camera = view.ViewCamera();
    camera.Set({0, 1, 0}, 6, 0, 0);
    view.SetCamera(camera);
  }
  HostDocument doc;
  std::vector<std::string> lines;
};

// Every format puts its texels where the scene's texture coordinates say: the image's first
// row at v = 0. A file that is missing or cannot be read shows magenta and black squares.
TEST(SceneView, DrawsEveryTextureFormatAndTheWarningPatternForFilesNotRead) {
  test::TempHome home;
  const QImage quarters = Quarters();
  const auto qt = [&](const char* file) {
    return [&, file] {
      ASSERT_TRUE(quarters.save(QString::fromStdString((home.Path() / file).string())));
    };
  };
  const auto bytes = [&](const char* file, test::FileBytes b) {
    return [&, file, b] { test::WriteBytes(home.Path() / file, b); };
  };
  test::FileBytes cut = test::QuartersDds("DXT5");
  cut.resize(cut.size() - 1);
  const struct {
    const char* file;
    std::function<void()> write;
    const char* problem;  // empty: drawn in quarters
  } cases[] = {
      {"quarters.png", qt("quarters.png"), ""},
      {"quarters.bmp", qt("quarters.bmp"), ""},
      {"dxt1.dds", bytes("dxt1.dds", test::QuartersDds("DXT1")), ""},
      {"dxt5.dds", bytes("dxt5.dds", test::QuartersDds("DXT5", 0x80)), ""},
      {"bottom-up.tga", bytes("bottom-up.tga", test::QuartersTga(false)), ""},
      {"runs.tga", bytes("runs.tga", test::QuartersTga(true)), ""},
      {"gone.dds", [] {}, "warning: texture gone.dds is missing"},
      {"cut.dds", bytes("cut.dds", cut),
       "warning: texture cut.dds cannot be read: the file is cut short"},
      {"text.png", bytes("text.png", {'n', 'o', 't'}),
       "warning: texture text.png cannot be read: "},
  };
  for (const auto& c : cases) {
    c.write();
    TexturedBox box(home.Path(), c.file);
    const QImage image = box.view.grabFramebuffer();
    if (*c.problem == 0) {
      EXPECT_TRUE(box.lines.empty()) << c.file << ": " << box.lines.at(0);
      for (int q = 0; q < 4; ++q) {
        const uint8_t* rgb = test::kQuarterRgb[q];
        ExpectColour(image, OnFront(box.view, (q % 2 + 0.5) / 2, (q / 2 + 0.5) / 2),
                     {rgb[0], rgb[1], rgb[2]},
                     std::string(c.file) + " quarter " + std::to_string(q));
      }
      continue;
    }
    // Once for the file, though two materials name it.
    ASSERT_EQ(box.lines.size(), 1u) << c.file;
    EXPECT_TRUE(box.lines[0].starts_with(c.problem)) << box.lines[0];
    EXPECT_TRUE(box.lines[0].ends_with("; drawn in the warning pattern")) << box.lines[0];
    // The squares of an 8 x 8 board, the first magenta.
    for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {5, 2}, {6, 7}})
      ExpectColour(image, OnFront(box.view, (x + 0.5) / 8, (y + 0.5) / 8),
                   (x + y) % 2 ? Colour{0, 0, 0} : Colour{255, 0, 255},
                   std::string(c.file) + " square " + std::to_string(x) + "," + std::to_string(y));
  }
}

// A selected face keeps its texture under the tint, its polygon outlined in the selection
// colour; edges are darker where shown and absent where not, and never on the diagonal that
// cuts the quad in two (through its middle).
TEST(SceneView, ASelectedTexturedFaceShowsItsTextureTintedAndOutlined) {
  test::TempHome home;
  const QImage quarters = Quarters();
  ASSERT_TRUE(quarters.save(QString::fromStdString((home.Path() / "quarters.png").string())));
  const auto quarter = [](int q) {
    const uint8_t* c = test::kQuarterRgb[q];
    return Vec3{c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f};
  };
  const struct {
    const char* name;
    bool selected, edges;
  } cases[] = {{"plain", false, true},
               {"selected", true, true},
               {"edges off", false, false},
               {"selected, edges off", true, false}};
  TexturedBox box(home.Path(), "quarters.png");
  std::vector<int> edgeLight;  // how light the pixels along the edge are, case by case
  const FaceHit front{box.doc.FindMesh("Box", nullptr),
                      FaceFacing(*box.doc.FindMesh("Box", nullptr), {0, 0, 1})};
  for (const auto& c : cases) {
    box.view.SetSelectedFaces(c.selected ? std::vector<FaceHit>{front} : std::vector<FaceHit>{});
    box.view.SetEdges(c.edges);
    const QImage image = box.view.grabFramebuffer();
    std::vector<QColor> seen;
    for (int q = 0; q < 4; ++q) {
      const QPoint at = OnFront(box.view, (q % 2 + 0.5) / 2, (q / 2 + 0.5) / 2);
      ExpectColour(image, at,
                   c.selected
                       ? Tinted(quarter(q), workbench::kSelectedColour, workbench::kSelectedTint)
                       : Of(quarter(q)),
                   std::string(c.name) + " quarter " + std::to_string(q));
      seen.push_back(image.pixelColor(at));
    }
    // The texture's quarters stay apart under the tint.
    for (size_t i = 0; i < seen.size(); ++i)
      for (size_t j = i + 1; j < seen.size(); ++j)
        EXPECT_GT(Difference(seen[i], seen[j]), 40) << c.name << " quarters " << i << ", " << j;
    // The first pixels inside the face's top edge, in the first quarter (whose texels blend
    // there with the last row's blue).
    QPoint at = OnFront(box.view, 0.25, 1) - QPoint(0, 3);
    while (Difference(image.pixelColor(at), image.pixelColor(3, 3)) < 10 && at.y() < kHeight / 2)
      at.ry() += 1;
    const std::vector<QColor> rim = {image.pixelColor(at), image.pixelColor(at + QPoint(0, 1))};
    const QColor orange(Of(workbench::kSelectedColour).r, Of(workbench::kSelectedColour).g,
                        Of(workbench::kSelectedColour).b);
    const int nearest = std::min(Difference(rim[0], orange), Difference(rim[1], orange));
    if (c.selected)
      EXPECT_LE(nearest, 12) << c.name << ": the outline";
    else
      EXPECT_GT(nearest, 150) << c.name << ": no outline";
    edgeLight.push_back(rim[0].red() + rim[0].green() + rim[0].blue() + rim[1].red() +
                        rim[1].green() + rim[1].blue());
  }
  EXPECT_LT(edgeLight[0] + 8, edgeLight[2]) << "the edge is darker where edges are shown";
}

// A document shown again (after a run, an undo) does not say the same again; a file mended or
// changed meanwhile is read again.
TEST(SceneView, ATextureIsReadAgainAndNamedAgainOnlyWhenItsFileChanges) {
  test::TempHome home;
  const fs::path file = home.Path() / "door.dds";
  test::FileBytes cut = test::QuartersDds("DXT1");
  cut.resize(100);
  TexturedBox box(home.Path(), "door.dds");
  const Colour magenta{255, 0, 255}, red{255, 0, 0};
  const struct {
    const char* name;
    std::function<void()> change;
    size_t lines;
    Colour firstTexel;
  } steps[] = {
      {"missing", [] {}, 1, magenta},
      {"shown again", [] {}, 1, magenta},
      {"cut", [&] { test::WriteBytes(file, cut); }, 2, magenta},
      {"mended", [&] { test::WriteBytes(file, test::QuartersDds("DXT1")); }, 2, red},
      {"shown again", [] {}, 2, red},
      {"removed", [&] { fs::remove(file); }, 3, magenta},
  };
  for (const auto& step : steps) {
    step.change();
    box.view.SetDocument(&box.doc);
    // Drawn twice: the second frame reads nothing.
    box.view.grabFramebuffer();
    ExpectColour(box.view.grabFramebuffer(), OnFront(box.view, 0.1, 0.1), step.firstTexel,
                 step.name);
    EXPECT_EQ(box.lines.size(), step.lines) << step.name;
  }
}

// A plug-in may leave a vertex at infinity: the rest is framed, drawn and picked as before.
TEST(SceneView, ACornerAtInfinityLeavesTheRestFramedDrawnAndPicked) {
  HostDocument doc;
  host::HostMaterial& material = doc.NewMaterial("Crate");
  material.diffuse = {0.8f, 0.1f, 0.1f};
  const host::HostMesh& box = host::AddBox(doc.Root(), "Box", {0, 1, 0}, {1, 1, 1}, &material);
  // A triangle inside the box, one corner of it thrown off to infinity.
  host::HostMesh& far =
      host::AddPolygonMesh(doc.Root(), "Far", {{0, 0.5f, 0}, {0.5f, 0.5f, 0}, {0, 1, 0}});
  far.vertices[1].x = std::numeric_limits<float>::infinity();
  ShownView shown(&doc);
  SceneView& view = shown.view;
  view.FrameAll();
  view.ViewFrom(workbench::CameraView::Front);
  ExpectColour(view.grabFramebuffer(), {kWidth / 2, kHeight / 2}, Of({0.8f, 0.1f, 0.1f}),
               "the box");
  EXPECT_EQ(view.FaceAt({kWidth / 2, kHeight / 2}), (FaceHit{&box, FaceFacing(box, {0, 0, 1})}));
}

// A window often hands the view its document before its layout gives the view a size.
TEST(SceneView, TheSceneStaysFramedWholeWhenTheViewGetsItsSize) {
  HostDocument doc;
  host::AddBox(doc.Root(), "Box", {0, 1, 0}, {1, 1, 1});
  for (const bool explicitly : {false, true}) {
    Application application;
    SceneView view;
    view.resize(30, 200);
    view.SetDocument(&doc);
    if (explicitly) view.FrameAll();
    view.resize(kWidth, kHeight);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.grabFramebuffer();
    double top = kHeight, bottom = 0;
    for (const Vec3 corner : {Vec3{-1, 0, -1}, Vec3{1, 2, 1}, Vec3{-1, 2, 1}, Vec3{1, 0, -1}}) {
      const QPointF at = view.Project(corner);
      top = std::min(top, at.y()), bottom = std::max(bottom, at.y());
    }
    EXPECT_GT(bottom - top, 0.3 * kHeight) << explicitly;
    EXPECT_LT(bottom - top, kHeight) << explicitly;
  }
}

// The camera after each control: the wheel, drags with the right and middle buttons, keys.
TEST(SceneView, EveryCameraControlMovesTheCameraItsWay) {
  HostDocument doc;
  const host::HostMesh& box = host::AddBox(doc.Root(), "Box", {4, 1, 0}, {1, 1, 1});
  const FaceHit top{&box, FaceFacing(box, {0, 1, 0})};
  using workbench::Camera;
  const auto drag = [](Qt::MouseButton button, QPoint by) {
    return [button, by](SceneView& view) {
      const QPoint from(200, 150), to = from + by;
      QTest::mousePress(&view, button, Qt::NoModifier, from);
      QMouseEvent move(QEvent::MouseMove, QPointF(to), view.mapToGlobal(QPointF(to)), Qt::NoButton,
                       button, Qt::NoModifier);
      QApplication::sendEvent(&view, &move);
      QTest::mouseRelease(&view, button, Qt::NoModifier, to);
    };
  };
  const auto key = [](Qt::Key k) { return [k](SceneView& view) { QTest::keyClick(&view, k); }; };
  const auto near = [](double a, double b) { return std::fabs(a - b) < 1e-3 * (1 + std::fabs(b)); };
  const auto same = [](Vec3 a, Vec3 b) { return Length(a - b) < 1e-3f; };
  const struct {
    const char* name;
    std::function<void(SceneView&)> act;
    std::function<bool(const Camera& before, const Camera& after, SceneView& view)> holds;
  } cases[] = {
      {"the wheel rolled forward comes nearer",
       [](SceneView& view) {
         QWheelEvent wheel(QPointF(200, 150), view.mapToGlobal(QPointF(200, 150)), {}, {0, 120},
                           Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
         QApplication::sendEvent(&view, &wheel);
       },
       [&](const Camera& b, const Camera& a, SceneView&) {
         return a.Distance() < b.Distance() * 0.95 && same(a.Target(), b.Target());
       }},
      {"a right drag turns the eye about the target", drag(Qt::RightButton, {50, 25}),
       [&](const Camera& b, const Camera& a, SceneView&) {
         return near(a.Yaw(), b.Yaw() - 20) && near(a.Pitch(), b.Pitch() + 10) &&
                same(a.Target(), b.Target()) && near(a.Distance(), b.Distance());
       }},
      {"a middle drag carries the point under the cursor along", drag(Qt::MiddleButton, {30, 20}),
       [&](const Camera& b, const Camera& a, SceneView& view) {
         const QPointF moved = view.Project(b.Target()) - QPointF(200, 150);
         return near(moved.x(), 30) && near(moved.y(), 20) && near(a.Yaw(), b.Yaw());
       }},
      {"1 looks from the front", key(Qt::Key_1),
       [&](const Camera&, const Camera& a, SceneView&) {
         return near(a.Yaw(), 0) && near(a.Pitch(), 0) && same(a.Back(), {0, 0, 1});
       }},
      {"7 looks from the top, x to the right", key(Qt::Key_7),
       [&](const Camera&, const Camera& a, SceneView&) {
         return same(a.Back(), {0, 1, 0}) && same(a.Right(), {1, 0, 0});
       }},
      {"3 looks from the side", key(Qt::Key_3),
       [&](const Camera&, const Camera& a, SceneView&) {
         return same(a.Back(), {1, 0, 0});
       }},
      {"an arrow key turns the eye", key(Qt::Key_Left),
       [&](const Camera& b, const Camera& a, SceneView&) { return near(a.Yaw(), b.Yaw() + 15); }},
      {"plus comes nearer", key(Qt::Key_Plus),
       [&](const Camera& b, const Camera& a, SceneView&) {
         return near(a.Distance(), b.Distance() * 0.8);
       }},
      {"F frames the selected faces", key(Qt::Key_F),
       [&](const Camera&, const Camera& a, SceneView&) {
         return same(a.Target(), {4, 2, 0});
       }},
      {"A frames everything", key(Qt::Key_A),
       [&](const Camera&, const Camera& a, SceneView&) {
         return same(a.Target(), {4, 1, 0});
       }},
  };
  for (const auto& c : cases) {
    ShownView shown(&doc);
    SceneView& view = shown.view;
    view.SetSelectedFaces({top});
    Camera start = view.ViewCamera();
    start.Set({0, 0, 0}, 12, 30, 20);
    view.SetCamera(start);
    int picks = 0;
    QObject::connect(&view, &SceneView::FacesPicked, [&picks] { ++picks; });
    c.act(view);
    EXPECT_TRUE(c.holds(start, view.ViewCamera(), view)) << c.name;
    EXPECT_EQ(picks, 0) << c.name;
  }
}

}  // namespace
}  // namespace vlm
