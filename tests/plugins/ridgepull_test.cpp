#include "ridgepull/ridgepull.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scene/builder.h"
#include "support/dialogs.h"
#include "support/expect_near.h"
#include "support/stated_values.h"
#include "support/temp_home.h"
#include "support/tool_scene.h"
#include "vlm/files.h"
#include "vlm/settings.h"
#include "vlm/warnings.h"

namespace vlm {
namespace {

using test::ExpectNear;

using host::HostDocument;
using host::HostMesh;
using host::HostNode;
using ::testing::ElementsAre;
using ::testing::StartsWith;

// A scene with a group "G" and fresh settings; `run` applies Ridgepull with a script.
struct Fixture : test::ToolScene<Ridgepull> {
  HostMesh* moulding() {
    for (auto& m : group.meshes)
      if (m->name == "Moulding") return m.get();
    return nullptr;
  }
};

// The unit square in the plane y = 0, facing +y.
HostMesh& Square(HostNode& g) {
  return host::AddPolygonMesh(g, "Square", {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}});
}

TEST(RidgepullDescription, StatesItsValues) {
  Ridgepull tool;
  EXPECT_EQ(
      test::ReadStated(tool),
      (test::Stated{"Edge Extrude", "Ardo Venmark \u00a9 2009", 0, 2, {7, 8, 1, 999, 0, 999}}));
}

TEST(Ridgepull, SquareGetsAFlatTopAndAVerticalInnerSide) {
  Fixture f;
  HostMesh& square = Square(f.group);
  f.select(square, {0});
  ASSERT_EQ(f.run(), StatusOk);
  EXPECT_THAT(f.messages, ::testing::IsEmpty());
  HostMesh* m = f.moulding();
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->vertices.size(), 16u);
  EXPECT_EQ(m->FaceCount(), 12u);
  EXPECT_THAT(m->uvs, ElementsAre(Vec2{0, 0}));
  for (size_t face = 0; face < m->FaceCount(); ++face)
    for (const auto& p : m->Points(face))
      EXPECT_EQ(p.uv, 0);
  EXPECT_EQ(m->smoothingAngle, square.smoothingAngle);

  // Corner 0 is (0, 0, 0); its neighbours lie along +z and +x.
  ExpectNear(m->vertices[0], {0, 0, 0}, "Q0");
  ExpectNear(m->vertices[1], {0, 0.1f, 0}, "Q1");
  ExpectNear(m->vertices[2], {0.1f, 0.1f, 0.1f}, "Q2");
  ExpectNear(m->vertices[3], {0.1f, 0, 0.1f}, "Q3");
  for (size_t i = 0; i < 16; i += 4) {
    EXPECT_NEAR(m->vertices[i + 1].y, 0.1f, 1e-6f);
    EXPECT_NEAR(m->vertices[i + 2].y, 0.1f, 1e-6f);
    EXPECT_NEAR(m->vertices[i + 2].x, m->vertices[i + 3].x, 1e-6f);
    EXPECT_NEAR(m->vertices[i + 2].z, m->vertices[i + 3].z, 1e-6f);
  }
  // The first faces of the ring: outer side, top, inner side of the edge 0-1.
  EXPECT_EQ(m->Points(0)[0].vertex, 0);
  EXPECT_EQ(m->Points(0)[1].vertex, 4);
  EXPECT_EQ(m->Points(0)[2].vertex, 5);
  EXPECT_EQ(m->Points(0)[3].vertex, 1);
  // The source is untouched.
  EXPECT_EQ(square.vertices.size(), 4u);
  EXPECT_EQ(square.FaceCount(), 1u);
}

TEST(Ridgepull, InsideClosesTheUndersideAndIsRemembered) {
  Fixture f;
  HostMesh& square = Square(f.group);
  f.select(square);
  ASSERT_EQ(f.run("chkInside=1; click OKButton"), StatusOk);
  HostMesh* m = f.moulding();
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->FaceCount(), 16u);
  // The underside of edge 0-1 lies in the face plane.
  for (const auto& p : m->Points(3))
    EXPECT_EQ(m->vertices[static_cast<size_t>(p.vertex)].y, 0.0f);
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "Inside"), "1");
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0"), "0.1");

  // The next run starts with the box ticked.
  f.doc.RemoveMesh(*f.group.meshes.back());
  ASSERT_EQ(f.run(), StatusOk);
  ASSERT_NE(f.moulding(), nullptr);
  EXPECT_EQ(f.moulding()->FaceCount(), 16u);
}

TEST(Ridgepull, BevelEqualToInsetPutsTheTopEdgeAboveTheOutline) {
  Fixture f;
  f.select(Square(f.group));
  ASSERT_EQ(f.run("txt(0)=0.2; txt(1)=0.3; txt(2)=0.2; click OKButton"), StatusOk);
  HostMesh* m = f.moulding();
  ASSERT_NE(m, nullptr);
  for (size_t i = 0; i < 16; i += 4)
    ExpectNear(m->vertices[i + 2], m->vertices[i] + Vec3{0, 0.3f, 0}, "Q2 " + std::to_string(i));
}

TEST(Ridgepull, EdgesBetweenInnerVerticesOfABlockGetNoOuterSide) {
  Fixture f;
  HostMesh& grid = host::AddGrid(f.group, "Grid", 3, 3);
  f.select(grid);  // the whole object: every face
  ASSERT_EQ(f.run(), StatusOk);
  HostMesh* m = f.moulding();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->vertices.size(), 9u * 16u);
  // 36 edges per ring set: the 8 that run between two of the four inner vertices lose
  // their outer side.
  EXPECT_EQ(m->FaceCount(), 36u * 2u + 28u);
  // Q1 depends only on the vertex: the rings meet at the same raised point.
  ExpectNear(m->vertices[4 * 2 + 1], m->vertices[16 + 4 * 1 + 1], "shared Q1");
}

TEST(Ridgepull, AdjacentQuadsKeepEveryOuterSide) {
  Fixture f;
  HostMesh& grid = host::AddGrid(f.group, "Grid", 3, 1);
  f.select(grid, {0, 1});  // only the selected faces
  ASSERT_EQ(f.run(), StatusOk);
  HostMesh* m = f.moulding();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->vertices.size(), 32u);
  EXPECT_EQ(m->FaceCount(), 24u);
}

TEST(Ridgepull, ConcaveCornerMovesItsInsetOutward) {
  Fixture f;
  // An L in the plane y = 0, facing +y; the corner at (1, 0, 1) is concave.
  HostMesh& l = host::AddPolygonMesh(
      f.group, "L", {{0, 0, 0}, {0, 0, 2}, {2, 0, 2}, {2, 0, 1}, {1, 0, 1}, {1, 0, 0}});
  ASSERT_GT(l.normals[0].y, 0.99f);
  f.select(l);
  ASSERT_EQ(f.run(), StatusOk);
  HostMesh* m = f.moulding();
  ASSERT_NE(m, nullptr);
  ExpectNear(m->vertices[4 * 4 + 3], {1.1f, 0, 0.9f}, "inset of the concave corner");
}

TEST(Ridgepull, DegenerateCornersAreReportedAndNoMouldingIsAdded) {
  struct Case {
    const char* what;
    std::function<void(Fixture&)> build;
    const char* reason;
  };
  const Case cases[] = {
      {"three points in a line",
       [](Fixture& f) {
         f.select(host::AddPolygonMesh(f.group, "P",
                                       {{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {2, 0, 2}, {2, 0, 0}}));
       },
       "its edges run in one line"},
      {"a corner bent too little for a float cosine",
       [](Fixture& f) {
         f.select(host::AddPolygonMesh(
             f.group, "P", {{0, 0, 0}, {0, 0, 1}, {1e-4f, 0, 2}, {2, 0, 2}, {2, 0, 0}}));
       },
       "its edges run on in an almost straight line"},
      {"a repeated point",
       [](Fixture& f) {
         f.select(host::AddPolygonMesh(f.group, "P", {{0, 0, 0}, {0, 0, 1}, {0, 0, 1}, {1, 0, 0}}));
       },
       "two points of its face coincide"},
      {"faces whose normals cancel",
       [](Fixture& f) {
         HostMesh& m = Square(f.group);
         const size_t back = m.AddFace();
         for (int v : {0, 3, 2, 1})
           m.AddPoint(back, {v, -1, -1});
         f.select(m);
       },
       "the face normals there cancel out"},
  };
  for (const Case& c : cases) {
    Fixture f;
    c.build(f);
    ASSERT_EQ(f.run(), StatusOk) << c.what;
    ASSERT_EQ(f.messages.size(), 1u) << c.what;
    EXPECT_THAT(f.messages[0], StartsWith("11 - Division by zero")) << c.what;
    EXPECT_THAT(f.messages[0], ::testing::HasSubstr(c.reason)) << c.what;
    EXPECT_EQ(f.moulding(), nullptr) << c.what;
  }
}

TEST(Ridgepull, HugeFacesGetTheirMouldingWhereFloatSquaresOverflow) {
  const std::vector<Vec3> faces[] = {
      {{0, 0, 0}, {0, 0, 2e19f}, {2e19f, 0, 2e19f}, {2e19f, 0, 0}},
      {{-1e19f, 0, -1e19f}, {-1e19f, 0, 1e19f}, {1e19f, 0, 1e19f}, {1e19f, 0, -1e19f}},
      {{0, 0, 0}, {0, 1e19f, 3e19f}, {3e19f, 0, 0}},
  };
  for (const auto& outline : faces) {
    Fixture f;
    f.select(host::AddPolygonMesh(f.group, "Huge", outline));
    ASSERT_EQ(f.run(), StatusOk);
    EXPECT_THAT(f.messages, ::testing::IsEmpty()) << outline[1].z;
    HostMesh* m = f.moulding();
    ASSERT_NE(m, nullptr) << outline[1].z;
    EXPECT_EQ(m->vertices.size(), 4 * outline.size());
  }
}

TEST(Ridgepull, ADamagedSettingsFileLeavesTheDefaultsAndOneWarning) {
  Fixture f;
  std::vector<std::string> warnings;
  SetWarningSink([&](const std::string& message) { warnings.push_back(message); });
  const std::string damaged = "{\"VLMPlugin\": 1e999}";
  WriteFileAtomically(SettingsFile(), damaged);
  f.select(Square(f.group), {0});
  const Status status = f.run("click OKButton");
  SetWarningSink(nullptr);
  ASSERT_EQ(status, StatusOk);
  EXPECT_THAT(f.messages, ::testing::IsEmpty());
  ASSERT_NE(f.moulding(), nullptr);
  EXPECT_EQ(f.moulding()->vertices.size(), 16u);
  EXPECT_EQ(warnings.size(), 1u);
  EXPECT_EQ(ReadFile(SettingsFile()), damaged);
}

TEST(Ridgepull, EarlierMouldingsStayWhenALaterObjectFails) {
  Fixture f;
  f.select(Square(f.group));
  f.select(host::AddPolygonMesh(f.group, "Line", {{0, 0, 0}, {0, 0, 1}, {0, 0, 2}}));
  ASSERT_EQ(f.run(), StatusOk);
  EXPECT_EQ(f.messages.size(), 1u);
  int mouldings = 0;
  for (auto& m : f.group.meshes)
    mouldings += m->name == "Moulding";
  EXPECT_EQ(mouldings, 1);
}

TEST(Ridgepull, RefusesAnEmptySelectionAndCancelChangesNothing) {
  Fixture f;
  HostMesh& square = Square(f.group);
  ASSERT_EQ(f.run("answer OK"), StatusOk);
  EXPECT_THAT(
      f.messages,
      ElementsAre("Please select an object or one or more faces before running this plugin"));
  f.select(square);
  ASSERT_EQ(f.run("txt(0)=0.5; click CancelButton"), StatusOk);
  EXPECT_EQ(f.group.meshes.size(), 1u);
  EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "txt0", "none"), "none");
  EXPECT_THAT(HelpFile(), ::testing::EndsWith("\\vlmplugins.chm"));
}

TEST(Ridgepull, AFieldThatCannotBeReadIsReported) {
  Fixture f;
  f.select(Square(f.group));
  ASSERT_EQ(f.run("txt(1)=abc; enter"), StatusOk);
  EXPECT_THAT(f.messages,
              ElementsAre("13 - Type mismatch: the field \"Extrude\" (txt(1)) holds \"abc\""));
  EXPECT_EQ(f.moulding(), nullptr);
}

// A remembered box state that cannot be used is dropped with a warning: the run goes on from
// the default, and the next save mends the file.
TEST(Ridgepull, ARememberedInsideThatCannotBeUsedIsDroppedWithAWarning) {
  for (const char* stored : {"7", "x", "-1", ""}) {
    Fixture f;
    std::vector<std::string> warnings;
    SetWarningSink([&](const std::string& message) { warnings.push_back(message); });
    SaveSetting("VLMPlugin", "Ridgepull", "Inside", stored);
    f.select(Square(f.group));
    const Status status = f.run("enter");
    SetWarningSink(nullptr);
    ASSERT_EQ(status, StatusOk) << stored;
    EXPECT_THAT(f.messages, ::testing::IsEmpty()) << stored;
    ASSERT_NE(f.moulding(), nullptr) << stored;
    EXPECT_EQ(f.moulding()->FaceCount(), 12u) << stored;  // not inside
    ASSERT_EQ(warnings.size(), 1u) << stored;
    EXPECT_THAT(warnings[0], ::testing::HasSubstr("VLMPlugin/Ridgepull/Inside"));
    EXPECT_THAT(warnings[0], ::testing::HasSubstr("\"" + std::string(stored) + "\""));
    EXPECT_EQ(GetSetting("VLMPlugin", "Ridgepull", "Inside"), "0");
  }
}

// A moulding beyond the float range names the fields that made it so.
TEST(Ridgepull, AnOverflowNamesTheFields) {
  Fixture f;
  f.select(host::AddPolygonMesh(f.group, "Far", {{0, 3e38f, 0}, {0, 3e38f, 1}, {1, 3e38f, 1}}));
  ASSERT_EQ(f.run("txt(1)=3e38; enter"), StatusOk);
  EXPECT_THAT(f.messages,
              ElementsAre(StartsWith("6 - Overflow: the fields hold \"Inset\" (txt(0)) = "
                                     "\"0.1\", \"Extrude\" (txt(1)) = \"3e38\"")));
}

TEST(Ridgepull, AngleBetweenVectors) {
  EXPECT_NEAR(Ridgepull::angleBetween({1, 0, 0}, {0, 0, 1}), 1.5707963f, 1e-6f);
  EXPECT_EQ(Ridgepull::angleBetween({1, 0, 0}, {2, 0, 0}), 0.0f);
  EXPECT_EQ(Ridgepull::angleBetween({1, 0, 0}, {-1, 0, 0}), 0.0f);
  EXPECT_THROW(Ridgepull::angleBetween({0, 0, 0}, {1, 0, 0}), Error);
}

}  // namespace
}  // namespace vlm
