#include "trackline/vertex_index.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/builder.h"
#include "support/dialogs.h"
#include "support/igs_contents.h"
#include "support/temp_home.h"
#include "trackline/trackline.h"
#include "vlm/files.h"

namespace vlm::igs {
namespace {

// The search the index replaces: every vertex in order, the first match wins.
int32_t LinearFindOrAdd(std::vector<HeldVertex>& vertices, const HeldVertex& v) {
  for (size_t i = 0; i < vertices.size(); ++i)
    if (SameVertex(vertices[i], v)) return static_cast<int32_t>(i);
  vertices.push_back(v);
  return static_cast<int32_t>(vertices.size()) - 1;
}

// A small deterministic generator, so that a failure can be replayed.
class Dice {
 public:
  explicit Dice(uint32_t seed) : state_(seed) {}
  uint32_t Roll(uint32_t sides) {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) % sides;
  }

 private:
  uint32_t state_;
};

HeldVertex Vertex(Vec3 p, Vec3 n, Vec2 uv, int32_t material = 0) {
  return {{p.x, p.y, p.z}, {n.x, n.y, n.z}, {uv.u, uv.v}, RecordIndex{material}};
}

std::string Bytes(const std::vector<HeldVertex>& vertices) {
  std::string out;
  for (const HeldVertex& v : vertices)
    WriteRecord(out, v.Record());
  return out;
}

TEST(VertexEquality, FollowsTheTolerancesOfEachPart) {
  const HeldVertex a = Vertex({1, 2, 3}, {0, 1, 0}, {0.5f, 0.5f});
  EXPECT_TRUE(SameVertex(a, a));
  HeldVertex b = a;
  b.normal[1] = 1 - 1.5e-5f;
  b.texCoord[0] = 0.5f + 1.5e-5f;
  EXPECT_TRUE(SameVertex(a, b));
  b = a, b.normal[0] = 3e-5f;
  EXPECT_FALSE(SameVertex(a, b));
  b = a, b.texCoord[1] = 0.5f - 3e-5f;
  EXPECT_FALSE(SameVertex(a, b));
  b = a, b.position[2] = std::nextafter(3.0f, 4.0f);  // positions must be exactly equal
  EXPECT_FALSE(SameVertex(a, b));
  b = a, b.material = RecordIndex{1};
  EXPECT_FALSE(SameVertex(a, b));
}

TEST(VertexIndexSearch, FindsTheSameFirstMatchAsTheLinearSearch) {
  Dice dice(7);
  const float jitter[] = {0, 1e-5f, 2e-5f, 3e-5f, -1.5e-5f, -2.5e-5f};
  std::vector<HeldVertex> indexed, linear;
  VertexIndex index;
  for (int i = 0; i < 20000; ++i) {
    // Few positions, so most vertices share one; -0 and +0 are the same position.
    Vec3 p{static_cast<float>(dice.Roll(4)), static_cast<float>(dice.Roll(3)), 0};
    if (dice.Roll(2)) p.z = -0.0f;
    if (dice.Roll(500) == 0) p.y = std::numeric_limits<float>::quiet_NaN();  // equals nothing
    const Vec3 n{jitter[dice.Roll(6)], 1 + jitter[dice.Roll(6)], jitter[dice.Roll(6)]};
    const Vec2 uv{jitter[dice.Roll(6)], 0.25f};
    const HeldVertex v = Vertex(p, n, uv, static_cast<int32_t>(dice.Roll(2)));
    ASSERT_EQ(index.FindOrAdd(indexed, v), LinearFindOrAdd(linear, v)) << "vertex " << i;
  }
  EXPECT_GT(indexed.size(), 100u);
  EXPECT_LT(indexed.size(), 20000u);
  EXPECT_EQ(Bytes(indexed), Bytes(linear));

  index.Clear();  // a new mesh starts from nothing
  std::vector<HeldVertex> fresh;
  EXPECT_EQ(index.FindOrAdd(fresh, indexed[5]), 0);
}

// The exporter's file against the vertices a linear search gives for the same host triangles.
TEST(VertexIndexSearch, TheExportedMeshMatchesTheLinearSearch) {
  test::TempHome home;
  host::HostDocument doc;
  host::HostMaterial& m = doc.NewMaterial("Ground");
  m.hasTextures = true;
  m.diffuseMap = "ground.bmp";
  host::HostNode& g = host::AddGroup(doc.Root(), "Ground");
  host::HostMesh& mesh = host::AddGrid(g, "Grid", 30, 30, 1.0f, &m);
  // Most face points get their own normal, some a hair apart, some further; the others share
  // the first, so corners with the same indices meet again. A position with a NaN equals
  // nothing, not even at a corner with the same indices.
  Dice dice(11);
  const float jitter[] = {0, 1e-5f, 2e-5f, 4e-5f};
  mesh.normals.assign(1, {0, 1, 0});
  for (size_t face = 0; face < mesh.FaceCount(); ++face)
    for (auto& point : mesh.Points(face)) {
      point.normal = dice.Roll(3) ? static_cast<int32_t>(mesh.normals.size()) : 0;
      if (point.normal) mesh.normals.push_back({jitter[dice.Roll(4)], 1, jitter[dice.Roll(4)]});
    }
  mesh.vertices[40].y = std::numeric_limits<float>::quiet_NaN();

  const auto file = home.Path() / "ground.igs";
  {
    test::ScriptedScope dialogs;
    Trackline exporter;
    ASSERT_EQ(
        exporter.PluginImportExport_Export(file.string(), &g.AsNode(), &doc, nullptr, {}, {}, ""),
        StatusOk);
  }
  const std::string bytes = ReadFile(file);
  const host::IgsContents igs = test::ReadIgs(bytes);
  ASSERT_EQ(igs.meshes.size(), 1u);

  const TriangleData data = mesh.AsShape().GetTriangleData();
  std::vector<HeldVertex> expected;
  std::vector<std::array<int32_t, 3>> corners;
  for (const Triangle& t : data.triangles) {
    auto add = [&](int k) {
      const TriangleCorner& c = t.corners[static_cast<size_t>(k)];
      return LinearFindOrAdd(
          expected, Vertex(data.positions[static_cast<size_t>(c.position)],
                           data.normals[static_cast<size_t>(c.normal)],
                           data.textureCoordinates[static_cast<size_t>(c.textureCoordinate)]));
    };
    const int32_t c2 = add(2), c1 = add(1), c0 = add(0);
    corners.push_back({c0, c2, c1});
  }
  const auto& written = igs.meshes[0];
  ASSERT_EQ(written.vertices.size(), expected.size());
  ASSERT_EQ(written.triangles.size(), corners.size());
  EXPECT_LT(expected.size(), 4 * 900u);  // many corners share a vertex
  for (size_t i = 0; i < expected.size(); ++i) {
    std::string record;
    WriteRecord(record, expected[i].Record());
    // All but the material reference, which the file holds as an offset.
    EXPECT_EQ(test::RawVertex(bytes, written, i).bytes.substr(0, 116),
              std::string_view(record).substr(0, 116))
        << "vertex " << i;
  }
  for (size_t t = 0; t < corners.size(); ++t)
    EXPECT_THAT(written.triangles[t].vertices, ::testing::ElementsAreArray(corners[t]))
        << "triangle " << t;
}

}  // namespace
}  // namespace vlm::igs
