#include "workbench/stand_in.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/builder.h"
#include "scene/document.h"

namespace vlm {
namespace {

using workbench::MakeStandIn;
using workbench::SceneMesh;
using workbench::StandIn;

// The stand-in of a grid in two materials (halves along x), some faces hidden: about the
// triangles asked for, every corner a corner of the model in a face not hidden, each
// material's triangles in its own batch; a tiny material kept whole.
TEST(StandIn, KeepsAboutTheTrianglesAskedForOfTheFacesShownInTheirMaterials) {
  struct Case {
    const char* name;
    int columns, rows;
    size_t asked;
    bool hideRightHalf, infiniteCorner;
    size_t least, most;  // triangles
  } cases[] = {
      {"large grid", 400, 400, 20000, false, false, 10000, 30000},
      {"right half hidden", 400, 400, 20000, true, false, 5000, 15000},
      {"more asked than there are", 10, 10, 1000, false, false, 200, 200},
      {"a corner at infinity", 10, 10, 1000, false, true, 198, 198},
  };
  for (const Case& c : cases) {
    host::HostDocument doc;
    host::HostMaterial& left = doc.NewMaterial("Left");
    host::HostMaterial& right = doc.NewMaterial("Right");
    host::HostMesh& grid = host::AddGrid(doc.Root(), "Field", c.columns, c.rows, 1.0f, &left);
    // Faces run row by row: the right half of each row to the second material.
    for (size_t f = 0; f < grid.FaceCount(); ++f)
      if (static_cast<int>(f) % c.columns >= c.columns / 2) grid.SetFaceMaterial(f, &right);
    if (c.infiniteCorner) grid.vertices[0].y = std::numeric_limits<float>::infinity();
    const SceneMesh mesh(doc);
    std::vector<uint8_t> hidden;
    if (c.hideRightHalf) {
      hidden.assign(mesh.faces.size(), 0);
      for (size_t f = 0; f < mesh.faces.size(); ++f)
        hidden[f] = static_cast<int>(f) % c.columns >= c.columns / 2;
    }
    const StandIn standIn = MakeStandIn(mesh, c.asked, hidden);
    EXPECT_GE(standIn.TriangleCount(), c.least) << c.name;
    EXPECT_LE(standIn.TriangleCount(), c.most) << c.name;
    ASSERT_EQ(standIn.uvs.size(), standIn.corners.size()) << c.name;
    ASSERT_EQ(standIn.batches.size(), mesh.batches.size()) << c.name;
    const float middle = static_cast<float>(c.columns / 2);
    for (size_t b = 0; b < standIn.batches.size(); ++b) {
      const auto& batch = standIn.batches[b];
      EXPECT_EQ(batch.material, mesh.batches[b].material) << c.name;
      for (size_t i = 3 * size_t{batch.firstTriangle};
           i < 3 * (size_t{batch.firstTriangle} + batch.triangleCount); ++i) {
        const Vec3 p = standIn.corners[i];
        ASSERT_TRUE(std::isfinite(p.y) && p.y == 0) << c.name;
        // A corner of the material's own half, not of the half hidden.
        if (batch.material == &left || c.hideRightHalf) {
          EXPECT_LE(p.x, middle) << c.name;
        }
        if (batch.material == &right) {
          EXPECT_GE(p.x, middle) << c.name;
        }
      }
    }
    if (c.hideRightHalf) {
      EXPECT_EQ(standIn.batches[1].triangleCount, 0u) << c.name;
    }
  }
}

}  // namespace
}  // namespace vlm
