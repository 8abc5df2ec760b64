#include "flare/flare.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "flare/bitmap.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/expect_near.h"
#include "support/temp_home.h"
#include "vlm/component.h"
#include "vlm/settings.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

using test::ExpectNear;

using host::HostDocument;
using host::HostMesh;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

constexpr double Pi = 3.14159265358979;

struct Outcome {
  Status status;
  int16_t result;
};

Outcome Apply(HostDocument& doc, std::vector<float> singles) {
  Flare flare;
  int16_t result = 7;
  Status s = flare.Operation_Apply(&doc, 0, 0, 0, {}, singles, {}, "", "", result);
  return {s, result};
}

// Extrude, Bevel, Step, Scale
std::vector<float> Values(float E, float B, float N, float S) {
  return {E, B, N, S};
}

// Ring k (1..N) of corner j of the only polygon flared in a mesh that had h vertices.
Vec3 Ring(const HostMesh& mesh, size_t h, int N, size_t j, int k) {
  return mesh.vertices.at(h + static_cast<size_t>(N) * j + static_cast<size_t>(k) - 1);
}

HostMesh& Polygon(HostDocument& doc, const std::string& name, const std::vector<Vec3>& points) {
  HostMesh& mesh = host::AddPolygonMesh(doc.Root(), name, points);
  doc.graphSelection.shapes.push_back({&mesh, {0}});
  return mesh;
}

const std::vector<Vec3> UnitSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

// ---- what Flare states ---------------------------------------------------------------------

TEST(FlareDescription, AcceptsOnlyPolygonSelections) {
  Flare flare;
  for (auto [type, expected] : {std::pair{0, VbFalse}, {1, VbTrue}, {2, VbFalse}}) {
    int16_t supported = 3;
    EXPECT_EQ(flare.Operation_SupportSelectionType(type, supported), StatusOk);
    EXPECT_EQ(supported, expected) << type;
  }
  std::string tip;
  EXPECT_EQ(flare.Operation_ToolTipText(tip), StatusOk);
  EXPECT_EQ(tip, "Perform several extrusions of faces with the bevel following a curve.");
}

TEST(FlareDescription, AtnFromSinCosCoversEveryQuadrantBoundary) {
  struct Case {
    double s, c, angle;
  };
  for (const Case& k :
       {Case{0, 1, 0}, Case{1, 1, Pi / 4}, Case{1, 0, Pi / 2}, Case{1, -1, 3 * Pi / 4},
        Case{0, -1, Pi}, Case{-1, 0, -Pi / 2}, Case{0, 0, 0}, Case{2, 2 * std::sqrt(3.0), Pi / 6}})
    EXPECT_NEAR(Flare::AtnFromSinCos(k.s, k.c), k.angle, 1e-9) << k.s << ", " << k.c;
}

// Pixels are blue, green, red.
std::array<uint8_t, 3> Pixel(const Picture& p, int x, int y) {
  const size_t at =
      (static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)) * 3;
  return {p.pixels[at], p.pixels[at + 1], p.pixels[at + 2]};
}

TEST(FlareIcon, IsAFourteenBySixteenBitmapReadTopRowFirst) {
  Flare flare;
  Picture icon;
  ASSERT_EQ(flare.Operation_Icon(icon), StatusOk);
  EXPECT_EQ(icon.width, 14);
  EXPECT_EQ(icon.height, 16);
  ASSERT_EQ(icon.pixels.size(), 14u * 16u * 3u);
  using P = std::array<uint8_t, 3>;
  EXPECT_EQ(Pixel(icon, 0, 0), (P{192, 192, 192}));  // background
  EXPECT_EQ(Pixel(icon, 1, 1), (P{128, 0, 0}));      // the cap's outline, near the top
  EXPECT_EQ(Pixel(icon, 5, 12), (P{0, 128, 224}));   // the base face, near the bottom
}

// A w x h 24-bit bitmap file whose pixel (x, y) is (x, y, 7) as blue, green, red.
std::vector<uint8_t> MakeBitmap(int w, int h, bool topDown) {
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
  std::vector<uint8_t> f(54 + stride * static_cast<size_t>(h), 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      f[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(topDown ? -h : h));
  f[26] = 1, f[28] = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int row = topDown ? y : h - 1 - y;
      const size_t at = 54 + static_cast<size_t>(row) * stride + static_cast<size_t>(x) * 3;
      f[at] = static_cast<uint8_t>(x), f[at + 1] = static_cast<uint8_t>(y), f[at + 2] = 7;
    }
  return f;
}

TEST(FlareIcon, BitmapsOfEitherRowOrderReadAlikeAndDamagedOnesAreRefused) {
  for (bool topDown : {false, true}) {
    Picture p = DecodeBitmap(MakeBitmap(3, 2, topDown), "test.bmp");
    ASSERT_EQ(p.width, 3);
    ASSERT_EQ(p.height, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(Pixel(p, x, y), (std::array<uint8_t, 3>{uint8_t(x), uint8_t(y), 7}))
            << topDown << " " << x << "," << y;
  }
  auto refusal = [](const std::vector<uint8_t>& file) -> std::string {
    try {
      DecodeBitmap(file, "test.bmp");
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::InvalidProcedureCall);
      return e.Description();
    }
    return "(accepted)";
  };
  const auto good = MakeBitmap(3, 2, false);
  for (size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_THAT(refusal({good.begin(), good.begin() + static_cast<ptrdiff_t>(cut)}),
                HasSubstr("test.bmp: "))
        << cut;
  auto paletted = good;
  paletted[28] = 8;
  EXPECT_THAT(refusal(paletted), HasSubstr("only 24-bit"));
  auto huge = good;
  huge[22] = 0, huge[23] = 0, huge[24] = 0, huge[25] = 0x80;  // the most negative height
  EXPECT_THAT(refusal(huge), HasSubstr("impossible size"));
}

// ---- parameters ------------------------------------------------------------------------------

TEST(FlareParameters, TableValuesWithRememberedValuesThatAreNeverWritten) {
  test::TempHome home;
  Flare flare;
  std::vector<OperationParameter> params(9);
  ASSERT_EQ(flare.Operation_GetParameters(nullptr, 0, 1, params), StatusOk);
  ASSERT_EQ(params.size(), 4u);
  // The names are the settings keys; with nothing remembered each value is its default.
  const char* names[] = {"Extrude", "Bevel", "Step", "Scale"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(params[i].Name, names[i]);
    EXPECT_EQ(params[i].Identifier, static_cast<int32_t>(i));
    EXPECT_EQ(params[i].Value, params[i].Default) << names[i];
  }
  EXPECT_EQ(params[2].Minimum, 1);
  EXPECT_FALSE(std::filesystem::exists(SettingsFile()));

  SaveSetting("Vellum 8", "Flare7", "Extrude", "2.25");
  SaveSetting("Vellum 8", "Flare7", "Step", " 3 ");
  SaveSetting("Vellum 8", "Flare7", "Scale", "-1e-1");
  SaveSetting("Vellum 8", "Flare", "Bevel", "9");  // another section: not Flare's
  const auto before = std::filesystem::last_write_time(SettingsFile());
  ASSERT_EQ(flare.Operation_GetParameters(nullptr, 0, 1, params), StatusOk);
  EXPECT_EQ(params[0].Value, 2.25f);
  EXPECT_EQ(params[1].Value, 0.5f);
  EXPECT_EQ(params[2].Value, 3.0f);
  EXPECT_EQ(params[3].Value, -0.1f);
  EXPECT_EQ(params[0].Default, 1.0f);
  EXPECT_EQ(std::filesystem::last_write_time(SettingsFile()), before);
}

// A remembered value that is not a number, or beyond a float, would stop every run: it is
// dropped with a warning naming the setting, its text and the file, and the default used.
TEST(FlareParameters, ARememberedValueThatIsNotANumberIsDroppedWithAWarning) {
  for (const char* stored : {"abc", "1,5", "", "nan", "1e60"}) {
    test::TempHome home;
    std::vector<std::string> warnings;
    SetWarningSink([&](const std::string& message) { warnings.push_back(message); });
    SaveSetting("Vellum 8", "Flare7", "Bevel", stored);
    Flare flare;
    std::vector<OperationParameter> params;
    const Status status = flare.Operation_GetParameters(nullptr, 0, 1, params);
    SetWarningSink(nullptr);
    ASSERT_EQ(status, StatusOk) << stored;
    EXPECT_EQ(params[1].Value, 0.5f) << stored;
    ASSERT_EQ(warnings.size(), 1u) << stored;
    EXPECT_THAT(warnings[0], HasSubstr("Vellum 8/Flare7/Bevel")) << stored;
    EXPECT_THAT(warnings[0], HasSubstr("\"" + std::string(stored) + "\"")) << stored;
    EXPECT_THAT(warnings[0], HasSubstr(SettingsFile().string())) << stored;
  }
}

// ---- the extrusion ---------------------------------------------------------------------------

TEST(FlareExtrusion, WithoutBevelTheFaceRisesInEqualStepsStraightUp) {
  HostDocument doc;
  HostMesh& square = Polygon(doc, "Square", UnitSquare);
  const Outcome run = Apply(doc, Values(1, 0, 5, 1));
  ASSERT_EQ(run.status, StatusOk) << LastError().description;
  EXPECT_EQ(run.result, VbTrue);

  ASSERT_EQ(square.vertices.size(), 4u + 20u);
  for (size_t j = 0; j < 4; ++j)
    for (int k = 1; k <= 5; ++k)
      ExpectNear(Ring(square, 4, 5, j, k), UnitSquare[j] + Vec3{0, 0, 0.2f * float(k)},
                 "corner " + std::to_string(j) + " ring " + std::to_string(k), 1e-4f);
  // The selected face is gone: the cap comes first, then 4 x 5 side quads.
  ASSERT_EQ(square.FaceCount(), 21u);
  const auto& cap = square.Points(0);
  ASSERT_EQ(cap.size(), 4u);
  for (size_t j = 0; j < 4; ++j)
    EXPECT_EQ(cap[j].vertex, static_cast<int32_t>(4 + 5 * j + 4));
  ExpectNear(square.FaceNormal(0), {0, 0, 1}, "cap normal", 1e-4f);
  for (size_t f = 1; f < 21; ++f)
    EXPECT_EQ(square.Points(f).size(), 4u);
  // The first side starts on the face's own corners 0 and 1.
  EXPECT_EQ(square.Points(1)[0].vertex, 0);
  EXPECT_EQ(square.Points(1)[1].vertex, 1);
  EXPECT_TRUE(doc.graphSelection.shapes[0].polygons.empty());
}

TEST(FlareExtrusion, HugeFacesFlareWhereFloatSquaresOverflow) {
  const float S = 2e19f, H = 1e19f, E = 1e18f;
  const std::vector<Vec3> faces[] = {
      {{0, 0, 0}, {S, 0, 0}, {S, S, 0}, {0, S, 0}},
      {{-H, -H, 0}, {H, -H, 0}, {H, H, 0}, {-H, H, 0}},
  };
  for (const auto& outline : faces) {
    HostDocument doc;
    HostMesh& square = Polygon(doc, "Huge", outline);
    const Outcome run = Apply(doc, Values(E, E, 1, 1));
    ASSERT_EQ(run.status, StatusOk) << LastError().description;
    // The right-angled corners move out by the bevel along both edges and up by the height.
    for (size_t j = 0; j < 4; ++j) {
      const Vec3 out{outline[j].x < outline[(j + 2) % 4].x ? -E : E,
                     outline[j].y < outline[(j + 2) % 4].y ? -E : E, E};
      ExpectNear(Ring(square, 4, 1, j, 1), outline[j] + out, "corner " + std::to_string(j), 1e13f);
    }
  }
}

// Corner 0 of the unit square (a right angle): its miter vector is (-1, -1, 0), of length
// sqrt(2), so an offset t puts the ring at (-t, -t, height).
struct ProfileCase {
  const char* what;
  float B, S;
  int N, ring;
  float height, offset;
};
void PrintTo(const ProfileCase& c, std::ostream* os) {
  *os << c.what;
}
class FlareProfile : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(FlareProfile, RingSitsOnTheProfile) {
  const ProfileCase& c = GetParam();
  HostDocument doc;
  HostMesh& square = Polygon(doc, "Square", UnitSquare);
  ASSERT_EQ(Apply(doc, Values(1, c.B, float(c.N), c.S)).status, StatusOk)
      << LastError().description;
  ExpectNear(Ring(square, 4, c.N, 0, c.ring), {-c.offset, -c.offset, c.height}, c.what, 1e-3f);
  // The opposite corner moves the other way by the same amount.
  ExpectNear(Ring(square, 4, c.N, 2, c.ring), {1 + c.offset, 1 + c.offset, c.height}, c.what,
             1e-3f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlareProfile,
    ::testing::Values(
        // ang = Atn(2): height sin(ang), offset B (1 - cos(ang))
        ProfileCase{"curve, ring 1", 0.5f, 1, 2, 1, 0.894f, 0.276f},
        ProfileCase{"curve, last ring at the full height and bevel", 0.5f, 1, 2, 2, 1, 0.5f},
        ProfileCase{"straight chamfer", 0.5f, 0, 2, 1, 0.894f, 0.447f},
        ProfileCase{"halfway blend", 0.5f, 0.5f, 2, 1, 0.894f, (0.276f + 0.447f) / 2},
        ProfileCase{"negative bevel narrows", -0.25f, 1, 2, 2, 1, -0.25f},
        ProfileCase{"negative bevel, ring 1 inside", -0.25f, 1, 2, 1, 0.970f, -0.189f},
        ProfileCase{"one step goes straight to the top", 0.5f, 1, 1, 1, 1, 0.5f}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// For every edge (j, j + 1) of the polygon: the outward direction in its plane.
Vec3 Outward(const std::vector<Vec3>& corners, size_t j, Vec3 n) {
  const Vec3 e = corners[(j + 1) % corners.size()] - corners[j];
  return Normalize(Cross(e, n));
}

// Each edge of the top ring runs along its edge of the polygon moved outward by B and up by E.
void ExpectTopRingOffsetBy(const HostMesh& mesh, const std::vector<Vec3>& corners, Vec3 n, float E,
                           float B, int N) {
  const size_t h = corners.size();
  for (size_t j = 0; j < h; ++j) {
    const Vec3 out = Outward(corners, j, n);
    for (size_t end : {j, (j + 1) % h}) {
      const Vec3 top = Ring(mesh, h, N, end, N) - corners[j];
      const std::string where = "edge " + std::to_string(j) + ", corner " + std::to_string(end);
      EXPECT_NEAR(Dot(top, out), B, 1e-4f) << where;
      EXPECT_NEAR(Dot(top, n), E, 1e-4f) << where;
    }
  }
}

TEST(FlareExtrusion, EveryEdgeMovesOutwardByTheBevelWhateverTheCorner) {
  struct Case {
    const char* what;
    std::vector<Vec3> corners;
  };
  const Case cases[] = {
      {"square", UnitSquare},
      {"triangle", {{0, 0, 0}, {2, 0, 0}, {0.5f, 1.5f, 0}}},
      {"L-shape with a reflex corner",
       {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}},
      {"collinear edges at corner 1", {{0, 0, 0}, {0.5f, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}},
  };
  for (const Case& c : cases) {
    for (float B : {0.2f, -0.1f}) {
      SCOPED_TRACE(std::string(c.what) + ", bevel " + std::to_string(B));
      HostDocument doc;
      HostMesh& mesh = Polygon(doc, "Shape", c.corners);
      ASSERT_EQ(Apply(doc, Values(0.75f, B, 3, 1)).status, StatusOk) << LastError().description;
      ExpectTopRingOffsetBy(mesh, c.corners, {0, 0, 1}, 0.75f, B, 3);
      EXPECT_EQ(mesh.FaceCount(), 1 + 3 * c.corners.size());
    }
  }
  // At the straight corner the ring moves straight out from the edge.
  HostDocument doc;
  HostMesh& mesh = Polygon(doc, "Shape", cases[3].corners);
  ASSERT_EQ(Apply(doc, Values(1, 0.2f, 2, 1)).status, StatusOk);
  ExpectNear(Ring(mesh, 5, 2, 1, 2), {0.5f, -0.2f, 1}, "straight corner", 1e-4f);
}

TEST(FlareExtrusion, NewFacesFaceOutward) {
  const std::vector<std::vector<Vec3>> shapes = {
      UnitSquare,
      {{0, 0, 0}, {2, 0, 0}, {0.5f, 1.5f, 0}},
      {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}},
  };
  for (const auto& corners : shapes) {
    // Turn the polygon so that it faces along x: the winding must not depend on the axis.
    std::vector<Vec3> turned;
    for (Vec3 p : corners)
      turned.push_back({p.z, p.x, p.y});
    const Vec3 n{1, 0, 0};
    for (float B : {0.3f, 0.0f, -0.1f}) {
      HostDocument doc;
      HostMesh& mesh = Polygon(doc, "Shape", turned);
      const int N = 3;
      ASSERT_EQ(Apply(doc, Values(1, B, float(N), 1)).status, StatusOk);
      ExpectNear(mesh.FaceNormal(0), n, "cap", 1e-4f);
      // The sides of edge j are faces 1 + N j .. N j + N.
      for (size_t j = 0; j < turned.size(); ++j)
        for (int l = 0; l < N; ++l) {
          const Vec3 normal = mesh.FaceNormal(1 + N * j + static_cast<size_t>(l));
          EXPECT_GT(Dot(normal, Outward(turned, j, n)), 0.1f)
              << turned.size() << " corners, edge " << j << ", level " << l << ", bevel " << B;
        }
    }
  }
}

TEST(FlareExtrusion, NewPointsCarryNoNormalOrTextureCoordinate) {
  HostDocument doc;
  HostMesh& box = host::AddBox(doc.Root(), "Box", {}, {1, 1, 1});
  ASSERT_FALSE(box.normals.empty());
  doc.graphSelection.shapes.push_back({&box, {2}});
  ASSERT_EQ(Apply(doc, Values(1, 0.25f, 2, 1)).status, StatusOk);
  ASSERT_EQ(box.FaceCount(), 5u + 1u + 8u);
  for (size_t f = 0; f < box.FaceCount(); ++f)
    for (const host::HostPoint& p : box.Points(f)) {
      const bool isNew = f >= 5;
      EXPECT_EQ(p.normal < 0, isNew) << "face " << f;
      EXPECT_EQ(p.uv < 0, isNew) << "face " << f;
    }
}

TEST(FlareExtrusion, SeveralPolygonsOnTwoShapes) {
  HostDocument doc;
  HostMesh& box = host::AddBox(doc.Root(), "Box", {}, {1, 1, 1});
  HostMesh& triangle =
      host::AddPolygonMesh(doc.Root(), "Triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  std::vector<std::vector<host::HostPoint>> kept;
  for (size_t f : {0u, 1u, 4u, 5u})
    kept.emplace_back(box.Points(f).begin(), box.Points(f).end());
  doc.graphSelection.shapes.push_back({&box, {3, 2}});  // the bottom and the top
  doc.graphSelection.shapes.push_back({&triangle, {0}});

  const Outcome run = Apply(doc, Values(0.5f, 0.1f, 2, 1));
  ASSERT_EQ(run.status, StatusOk) << LastError().description;
  EXPECT_EQ(run.result, VbTrue);
  // Two quads of the box: 2 x 4 x 2 new positions, 2 caps and 2 x 4 x 2 sides in their place.
  EXPECT_EQ(box.vertices.size(), 8u + 16u);
  ASSERT_EQ(box.FaceCount(), 4u + 2u + 16u);
  for (size_t f = 0; f < 4; ++f)
    EXPECT_THAT(box.Points(f), ElementsAreArray(kept[f])) << f;
  EXPECT_EQ(triangle.vertices.size(), 3u + 6u);
  EXPECT_EQ(triangle.FaceCount(), 1u + 6u);
  // Face 3 went first (its cap is face 4), then face 2 (cap at 4 + 1 + 8).
  ExpectNear(box.FaceNormal(4), {0, -1, 0}, "cap of the bottom", 1e-4f);
  ExpectNear(box.FaceNormal(13), {0, 1, 0}, "cap of the top", 1e-4f);
  ExpectNear(box.vertices[8 + 1], {-1.1f, -1.5f, -1.1f}, "top ring of the bottom's corner 0",
             1e-4f);
  for (const auto& entry : doc.graphSelection.shapes)
    EXPECT_TRUE(entry.polygons.empty());
}

TEST(FlareExtrusion, StepCountIsRoundedHalfToEven) {
  for (auto [step, rings] : {std::pair{2.5f, 2}, {3.5f, 4}, {1.49f, 1}}) {
    HostDocument doc;
    HostMesh& square = Polygon(doc, "Square", UnitSquare);
    ASSERT_EQ(Apply(doc, Values(1, 0, step, 1)).status, StatusOk) << step;
    EXPECT_EQ(square.vertices.size(), 4u + 4u * static_cast<size_t>(rings)) << step;
  }
}

// ---- refusals leave the scene as it was --------------------------------------------------------

struct RefusalCase {
  const char* what;
  std::vector<Vec3> lastPolygon;  // the second selected polygon of the second shape
  std::vector<float> values;
  int32_t number;
  const char* message;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.what;
}
class FlareRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(FlareRefusal, ChangesNothing) {
  const RefusalCase& c = GetParam();
  HostDocument doc;
  Polygon(doc, "First", UnitSquare);
  HostMesh& second = Polygon(doc, "Second", {{3, 0, 0}, {4, 0, 0}, {4, 1, 0}});
  const size_t last = second.AddFace();
  for (Vec3 p : c.lastPolygon) {
    second.AddPoint(last, {static_cast<int32_t>(second.vertices.size()), -1, -1});
    second.vertices.push_back(p);
  }
  doc.graphSelection.shapes.back().polygons.push_back(1);
  const std::string before = host::SerializeScene(doc);

  const Outcome run = Apply(doc, c.values);
  EXPECT_EQ(run.status, StatusFromError(c.number));
  EXPECT_EQ(run.result, VbFalse);
  EXPECT_THAT(LastError().description, HasSubstr(c.message));
  EXPECT_EQ(host::SerializeScene(doc), before);
}

const std::vector<Vec3> GoodQuad = {{5, 0, 0}, {6, 0, 0}, {6, 1, 0}, {5, 1, 0}};
const std::vector<float> Defaults = {1, 0.5f, 5, 1};
const float NaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, FlareRefusal,
    ::testing::Values(
        RefusalCase{"zero-length edge",
                    {{5, 0, 0}, {6, 0, 0}, {6, 0, 0}, {5, 1, 0}},
                    Defaults,
                    err::DivisionByZero,
                    "polygon 1 of the shape \"Second\" has a zero-length edge from corner 1 to "
                    "corner 2; nothing was changed"},
        RefusalCase{"edges that turn back",
                    {{5, 0, 0}, {7, 0, 0}, {7, 1, 0}, {7, 0.5f, 0}},
                    Defaults,
                    err::DivisionByZero,
                    "polygon 1 of the shape \"Second\" at corner 2 turns back on itself"},
        RefusalCase{"two corners",
                    {{5, 0, 0}, {6, 0, 0}},
                    Defaults,
                    err::InvalidProcedureCall,
                    "has 2 corners, too few"},
        RefusalCase{"no area",
                    {{5, 0, 0}, {6, 1, 0}, {6, 0, 0}, {5, 1, 0}},
                    Defaults,
                    err::InvalidProcedureCall,
                    "encloses no area"},
        RefusalCase{"a position beyond the float range",
                    {{5, 0, 0}, {6, 0, 0}, {5, 0.1f, 0}},
                    {1, 3e38f, 2, 1},
                    err::Overflow,
                    "outside the range of a 32-bit float; nothing was changed"},
        RefusalCase{"no steps",
                    GoodQuad,
                    {1, 0.5f, 0, 1},
                    err::SubscriptOutOfRange,
                    "Step is 0; the flare needs at least one step"},
        RefusalCase{"steps rounding to none",
                    GoodQuad,
                    {1, 0.5f, 0.4f, 1},
                    err::SubscriptOutOfRange,
                    "Step is 0"},
        RefusalCase{
            "negative steps", GoodQuad, {1, 0.5f, -3, 1}, err::SubscriptOutOfRange, "Step is -3"},
        RefusalCase{"steps beyond 16 bits",
                    GoodQuad,
                    {1, 0.5f, 40000, 1},
                    err::Overflow,
                    "Step 40000 is outside the range of a step count"},
        RefusalCase{"no height", GoodQuad, {0, 0.5f, 5, 1}, err::DivisionByZero, "Extrude is 0"},
        RefusalCase{"bevel not a number",
                    GoodQuad,
                    {1, NaN, 5, 1},
                    err::Overflow,
                    "Bevel is nan; it must be a finite number"},
        RefusalCase{"three values",
                    GoodQuad,
                    {1, 0.5f, 5},
                    err::SubscriptOutOfRange,
                    "Flare needs four values (Extrude, Bevel, Step, Scale); it was given 3"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(FlareRefusals, APolygonIndexOutsideTheShapeChangesNothing) {
  HostDocument doc;
  HostMesh& first = Polygon(doc, "First", UnitSquare);
  HostMesh& second = Polygon(doc, "Second", UnitSquare);
  doc.graphSelection.shapes.back().polygons = {0, 4};
  EXPECT_EQ(Apply(doc, Defaults).status, StatusFromError(err::SubscriptOutOfRange));
  EXPECT_EQ(first.FaceCount(), 1u);
  EXPECT_EQ(first.vertices.size(), 4u);
  EXPECT_EQ(second.FaceCount(), 1u);
  EXPECT_EQ(second.vertices.size(), 4u);
  EXPECT_FALSE(first.FaceRemoved(0));
}

// ---- the library -------------------------------------------------------------------------------

TEST(FlareLibrary, RegistersAndFlaresTheExampleTileWithTheStatedParameters) {
  test::TempHome home;
  const auto library = std::filesystem::path(VLM_TEST_PLUGIN_DIR) / "libflare.so";
  EXPECT_EQ(RegisterServer(library), std::vector<std::string>{"VLMOperation9.Flare"});
  Instance instance = CreateObject("VLMOperation9.Flare");
  auto* operation = instance.As<Operation>(Operation::InterfaceName);
  ASSERT_NE(operation, nullptr);
  Picture icon;
  ASSERT_EQ(operation->Operation_Icon(icon), StatusOk);
  EXPECT_EQ(icon.width * icon.height, 14 * 16);

  auto doc = host::LoadScene(std::string(VLM_TEST_EXAMPLES_DIR) + "/tile.json");
  std::string problem;
  HostMesh* face = doc->FindMesh("Tile/Face", &problem);
  ASSERT_NE(face, nullptr) << problem;
  doc->graphSelection.shapes.push_back({face, {0}});

  std::vector<OperationParameter> params;
  ASSERT_EQ(operation->Operation_GetParameters(doc.get(), 0, 1, params), StatusOk);
  std::vector<float> singles;
  for (const auto& p : params)
    singles.push_back(p.Value);
  int16_t result = 0;
  ASSERT_EQ(operation->Operation_Apply(doc.get(), 0, 0, 0, {}, singles, {}, "", "", result),
            StatusOk)
      << LastError().description;
  EXPECT_EQ(result, VbTrue);
  // The tile faces up: five rings up to height 1, the top one 0.5 outside the tile.
  ASSERT_EQ(face->FaceCount(), 1u + 4u * 5u);
  ExpectNear(Ring(*face, 4, 5, 0, 5), {-0.5f, 1, -0.5f}, "corner 0", 1e-4f);
  ExpectNear(Ring(*face, 4, 5, 2, 5), {1.5f, 1, 1.5f}, "corner 2", 1e-4f);
  // The result saves and reads back.
  EXPECT_NO_THROW(host::ParseScene(host::SerializeScene(*doc), "flared"));
}

}  // namespace
}  // namespace vlm
