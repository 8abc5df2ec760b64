// The 3D view drawn by Mesa's software renderer under a virtual display: colours and sizes
// at known pixels, and faces picked by clicks and boxes as a person would pick them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <set>

#include "exchange/model_import.h"
#include "gui/qt_dialogs.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/temp_home.h"
#include "support/texture_files.h"
#include "workbench/scene_view.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::FaceHit;
using host::HostDocument;
using host::PickCombine;
using workbench::SceneView;

constexpr int kWidth = 400, kHeight = 300;

struct Application {
  Application() { gui::EnsureApplication(); }
};

// A view on screen at a known size, drawing `document`.
struct ShownView : Application {
  explicit ShownView(const HostDocument* document, QSize size = {kWidth, kHeight}) {
    view.resize(size);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.SetDocument(document);
  }
  SceneView view;
};

struct Colour {
  int r, g, b;
};
Colour Of(Vec3 c) {
  return {int(std::lround(c.x * 255)), int(std::lround(c.y * 255)), int(std::lround(c.z * 255))};
}
// A colour tinted as the view tints selected and changed faces.
Colour Tinted(Vec3 c, Vec3 tint, float share) {
  return Of(c * (1 - share) + tint * share);
}
int Difference(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
         std::abs(a.blue() - b.blue());
}
void ExpectColour(const QImage& image, QPoint at, Colour want, const std::string& what) {
  const QColor got = image.pixelColor(at);
  EXPECT_LE(
      std::abs(got.red() - want.r) + std::abs(got.green() - want.g) + std::abs(got.blue() - want.b),
      6)
      << what << " at " << at.x() << "," << at.y() << ": got " << got.red() << " " << got.green()
      << " " << got.blue() << ", want " << want.r << " " << want.g << " " << want.b;
}

// The face of a box whose normal is `normal`.
int32_t FaceFacing(const host::HostMesh& mesh, Vec3 normal) {
  for (size_t f = 0; f < mesh.FaceCount(); ++f)
    if (Dot(mesh.FaceNormal(f), normal) > 0.99f) return static_cast<int32_t>(f);
  ADD_FAILURE() << "no face along the normal";
  return 0;
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
  QImage quarters(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint8_t* c = test::kQuarterRgb[(y / 4) * 2 + x / 4];
      quarters.setPixelColor(x, y, QColor(c[0], c[1], c[2]));
    }
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
  QImage quarters(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint8_t* c = test::kQuarterRgb[(y / 4) * 2 + x / 4];
      quarters.setPixelColor(x, y, QColor(c[0], c[1], c[2]));
    }
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

// ---- picking ------------------------------------------------------------------------------------

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
