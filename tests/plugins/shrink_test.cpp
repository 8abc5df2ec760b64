#include "shrink/shrink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scene/builder.h"
#include "support/dialogs.h"
#include "support/expect_near.h"
#include "support/stated_values.h"
#include "support/temp_home.h"
#include "support/tool_scene.h"
#include "vlm/settings.h"

namespace vlm {
namespace {

using test::ExpectNear;

using host::HostDocument;
using host::HostMesh;
using host::HostNode;
using ::testing::ElementsAre;

struct Fixture : test::ToolScene<Shrink> {};

TEST(ShrinkDescription, StatesItsValues) {
  Shrink tool;
  EXPECT_EQ(test::ReadStated(tool),
            (test::Stated{"Shrink", "Ardo Venmark \u00a9 2008", 0, 0, {7, 8, 1, 999, 0, 999}}));
}

TEST(Shrink, ASelectedFaceOfAGridMovesAloneAgainstItsNormal) {
  Fixture f;
  HostMesh& grid = host::AddGrid(f.group, "Grid", 3, 3);
  const std::vector<Vec3> before = grid.vertices;
  f.select(grid, {4});  // the middle quad: vertices 5, 6, 9, 10
  ASSERT_EQ(f.run(), StatusOk);
  for (size_t i = 0; i < before.size(); ++i) {
    const bool moved = i == 5 || i == 6 || i == 9 || i == 10;
    ExpectNear(grid.vertices[i], before[i] - Vec3{0, moved ? 0.1f : 0, 0},
               "vertex " + std::to_string(i), 1e-6f);
  }
  EXPECT_EQ(GetSetting("VLMPlugin", "shrink", "txt0"), "0.1");
}

TEST(Shrink, BoxCornersMoveAlongTheDiagonal) {
  Fixture f;
  HostMesh& box = host::AddBox(f.group, "Box", {0, 0, 0}, {1, 1, 1});
  const std::vector<Vec3> before = box.vertices;
  f.select(box);
  ASSERT_EQ(f.run(), StatusOk);
  for (size_t i = 0; i < before.size(); ++i) {
    const Vec3 inward = Normalize(-before[i]);
    ExpectNear(box.vertices[i], before[i] + inward * 0.1f, "corner " + std::to_string(i), 1e-6f);
    EXPECT_NEAR(Length(box.vertices[i] - before[i]), 0.1f, 1e-6f);
  }
  // Normals, faces and texture coordinates stay.
  EXPECT_EQ(box.normals.size(), 6u);
  EXPECT_EQ(box.FaceCount(), 6u);
}

TEST(Shrink, VerticesWithoutADirectionOrWithNoAmountStay) {
  Fixture f;
  // A two-sided square: the normals at every vertex cancel out.
  HostMesh& square =
      host::AddPolygonMesh(f.group, "Square", {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}});
  square.normals.push_back({0, -1, 0});
  const size_t back = square.AddFace();
  for (int v : {0, 3, 2, 1})
    square.AddPoint(back, {v, 1, -1});
  HostMesh& box = host::AddBox(f.group, "Box", {0, 0, 0}, {1, 1, 1});
  const std::vector<Vec3> squareBefore = square.vertices, boxBefore = box.vertices;
  f.select(square);
  f.select(box);
  ASSERT_EQ(f.run("txt(0)=0.5; click OKButton"), StatusOk);
  EXPECT_EQ(square.vertices, squareBefore);
  EXPECT_NE(box.vertices, boxBefore);

  box.vertices = boxBefore;
  ASSERT_EQ(f.run("txt(0)=0; click OKButton"), StatusOk);
  EXPECT_EQ(box.vertices, boxBefore);
}

TEST(Shrink, APointWithoutANormalCountsWithItsFacePlane) {
  // A face 2e19 across has a plane normal too, although the float squares of its edges
  // overflow.
  const struct {
    float size;
    const char* script;
    float amount;
  } cases[] = {{1, "", 0.1f}, {2e19f, "txt(0)=1e18; click OKButton", 1e18f}};
  for (const auto& c : cases) {
    Fixture f;
    const float S = c.size;
    HostMesh& square =
        host::AddPolygonMesh(f.group, "Square", {{0, 0, 0}, {0, 0, S}, {S, 0, S}, {S, 0, 0}});
    for (auto& p : square.Points(0))
      p.normal = -1;
    f.select(square);
    ASSERT_EQ(f.run(c.script), StatusOk) << S;
    EXPECT_EQ(square.vertices[2].x, S);
    EXPECT_EQ(square.vertices[2].z, S);
    EXPECT_FLOAT_EQ(square.vertices[2].y, -c.amount) << S;
  }
}

TEST(Shrink, RefusesAnEmptySelectionAndCancelChangesNothing) {
  Fixture f;
  HostMesh& box = host::AddBox(f.group, "Box", {0, 0, 0}, {1, 1, 1});
  const std::vector<Vec3> before = box.vertices;
  ASSERT_EQ(f.run("answer OK"), StatusOk);
  EXPECT_THAT(f.messages,
              ElementsAre("Please select one or more objects or faces before running this plugin"));
  f.select(box);
  ASSERT_EQ(f.run("txt(0)=0.3; click CancelButton"), StatusOk);
  EXPECT_EQ(box.vertices, before);
}

TEST(Shrink, AFieldThatCannotBeReadEndsTheRunWithItsError) {
  Fixture f;
  HostMesh& box = host::AddBox(f.group, "Box", {0, 0, 0}, {1, 1, 1});
  const std::vector<Vec3> before = box.vertices;
  f.select(box);
  EXPECT_EQ(f.run("txt(0)=abc; enter"), StatusFromError(err::TypeMismatch));
  EXPECT_EQ(box.vertices, before);
  // A vertex moved beyond the float range names the field.
  HostMesh& far = host::AddBox(f.group, "Far", {3e38f, 3e38f, 3e38f}, {3.1e38f, 3.1e38f, 3.1e38f});
  f.select(far);
  EXPECT_EQ(f.run("txt(0)=-3e38; enter"), StatusFromError(err::Overflow));
  EXPECT_EQ(LastError().description, "Overflow: the field \"Inset\" (txt(0)) holds \"-3e38\"");
}

}  // namespace
}  // namespace vlm
