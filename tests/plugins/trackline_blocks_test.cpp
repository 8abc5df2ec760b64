// Trackline's blocks: levels of detail and block names, the node tree, transforms and meshes.
#include "trackline/trackline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <numeric>

#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/dialogs.h"
#include "support/igs_contents.h"
#include "support/temp_home.h"
#include "support/trackline_runs.h"
#include "support/warnings.h"
#include "vlm/files.h"
#include "vlm/named_files.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::HostDocument;
using host::HostMaterial;
using host::HostNode;
using host::IgsContents;
using test::BlockNames;
using test::BoxScene;
using test::Export;
using test::ExportRun;
using test::ReadBack;
using test::Textured;
using test::TriangleCounts;
using test::Written;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(TracklineLevels, AutomaticLevelsDropSmallShapesFarAway) {
  test::TempHome home;
  BoxScene s("Yard");
  // A 0.5 m x 0.5 m x 10 m pole: two of its extents fall below 1000 / 1200 m, none below
  // 400 / 1200 m.
  host::AddBox(*s.group, "Pole", {5, 0, 0}, {0.25f, 0.25f, 5}, s.alu);
  const fs::path file = home.Path() / "yard.igs";
  ASSERT_EQ(Export(s.doc, s.group, file, "optLOD(1)=1; click cmdOK; click cmdCancel").status,
            StatusOk);
  Written w = ReadBack(file);
  EXPECT_THAT(BlockNames(w.igs), ElementsAre("1_0100_Yard", "2_0400_Yard", "3_1000_Yard"));
  EXPECT_THAT(TriangleCounts(w.igs), ElementsAre(24u, 24u, 12u));
  for (const auto& b : w.igs.blocks)
    EXPECT_EQ(b.parent, -1);
}

TEST(TracklineLevels, NamesCarryLevelAndDistance) {
  test::TempHome home;
  HostDocument doc;
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  HostNode& top = host::AddGroup(doc.Root(), "1_1000_body");
  host::AddBox(top, "A", {}, {1, 1, 1}, &alu);
  host::AddBox(host::AddGroup(top, "wheel"), "W", {}, {1, 1, 1}, &alu);
  HostNode& door = host::AddGroup(top, "door");
  host::AddBox(door, "D", {}, {1, 1, 1}, &alu);
  HostNode& odd = host::AddGroup(top, "a_b_c");
  host::AddBox(odd, "O", {}, {1, 1, 1}, &alu);
  const int32_t slot = doc.DefineNodeField("Rail Sim");
  door.SetField(slot, "  5_0200_door_left_x_y  ");  // the node text wins over the name

  const fs::path file = home.Path() / "names.igs";
  ASSERT_EQ(Export(doc, &top, file).status, StatusOk);
  EXPECT_THAT(BlockNames(ReadBack(file).igs),
              ElementsAre("1_1000_body", "1_1000_wheel", "5_0200_door_left_x_y", "1_1000_a_b_c"));
  ASSERT_EQ(Export(doc, &top, file, "optLOD(1)=1; click cmdOK; click cmdCancel").status, StatusOk);
  const auto names = BlockNames(ReadBack(file).igs);
  ASSERT_EQ(names.size(), 12u);
  EXPECT_THAT(std::vector<std::string>(names.begin() + 4, names.end() - 4),
              ElementsAre("2_0400_body", "2_0400_wheel", "2_0400_door_left_x", "2_0400_a_b_c"));
}

TEST(TracklineLevels, CustomLevelsComeFromNodesNamedAfterTheChosenOne) {
  test::TempHome home;
  HostDocument doc;
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  HostNode& body = host::AddGroup(doc.Root(), "body");
  host::AddBox(host::AddGroup(body, "Cab.001"), "C", {}, {1, 1, 1}, &alu);
  for (const char* name : {"body_500", "bodywork", "body_x", "body_0", "body_200"})
    host::AddBox(host::AddGroup(doc.Root(), name), "B", {}, {1, 1, 1}, &alu);
  const fs::path file = home.Path() / "custom.igs";
  ExportRun run = Export(doc, &body, file, "optLOD(2)=1; click cmdOK; click cmdCancel");
  ASSERT_EQ(run.status, StatusOk);
  // The chosen node first, then the others by number; each level reaches to the next one's.
  EXPECT_THAT(BlockNames(ReadBack(file).igs),
              ElementsAre("1_0200_body", "1_0200_Cab", "2_0500_body_200", "3_1000_body_500"));

  HostDocument far;
  HostNode& loco = host::AddGroup(far.Root(), "loco");
  host::AddBox(loco, "L", {}, {1, 1, 1}, &Textured(far, "Alu", "alu.bmp"));
  host::AddGroup(far.Root(), "loco_12000");
  ASSERT_EQ(Export(far, &loco, file, "optLOD(2)=1; click cmdOK; click cmdCancel").status, StatusOk);
  EXPECT_THAT(BlockNames(ReadBack(file).igs), ElementsAre("1_2000_loco"));  // 12000 + 10000
}

TEST(TracklineLevels, AnEleventhLevelNodeStopsTheExport) {
  test::TempHome home;
  HostDocument doc;
  HostNode& body = host::AddGroup(doc.Root(), "body");
  host::AddBox(body, "B", {}, {1, 1, 1}, &Textured(doc, "Alu", "alu.bmp"));
  for (int i = 1; i <= 10; ++i)
    host::AddGroup(doc.Root(), "body_" + std::to_string(i * 100));
  const fs::path file = home.Path() / "levels.igs";
  ExportRun run = Export(doc, &body, file, "optLOD(2)=1; click cmdOK; click cmdCancel");
  EXPECT_TRUE(Failed(run.status));
  EXPECT_THAT(run.log,
              ElementsAre("The custom level node \"body_1000\" would be level node 11; the "
                          "limit is 10.",
                          "Export stopped: " + file.string() + " was not written."));
  EXPECT_FALSE(fs::exists(file));
}

// ---- blocks, transforms and meshes ----

TEST(TracklineBlocks, FollowTheNodeTreeDepthFirstWithScaledTransforms) {
  test::TempHome home;
  HostDocument doc;
  doc.units = 2;  // feet
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  HostNode& hangar = host::AddGroup(doc.Root(), "Hangar", {7, 7, 7});
  host::AddBox(hangar, "Shell", {}, {1, 1, 1}, &alu);
  HostNode& wing = host::AddGroup(hangar, "Wing", {3, 1.5f, 0}, {0.258819f, 0, 0.965926f});
  HostNode& flap = host::AddGroup(wing, "Flap", {2.5f, 0, -0.6f});
  host::AddBox(flap, "Flap", {}, {0.5f, 0.05f, 0.2f}, &alu);
  host::AddBox(host::AddGroup(hangar, "Door"), "Panel", {}, {1, 1, 0.1f}, &alu);
  host::AddGroup(hangar, "Empty");

  const fs::path file = home.Path() / "hangar.igs";
  ASSERT_EQ(Export(doc, &hangar, file).status, StatusOk);
  Written w = ReadBack(file);
  // The wing has no shape of its own: a block with an empty mesh, there for its child.
  EXPECT_THAT(BlockNames(w.igs),
              ElementsAre("1_1000_Hangar", "1_1000_Wing", "1_1000_Flap", "1_1000_Door"));
  EXPECT_THAT(w.igs.blocks[0].children, ElementsAre(1, 3));
  EXPECT_THAT(w.igs.blocks[1].children, ElementsAre(2));
  EXPECT_EQ(w.igs.blocks[3].parent, 0);
  EXPECT_THAT(w.igs.blocks[2].meshes, ElementsAre(2));
  EXPECT_TRUE(w.igs.meshes[1].vertices.empty());
  for (size_t b = 0; b < 4; ++b)
    EXPECT_EQ(w.igs.blocks[b].number, static_cast<int32_t>(b) + 1);

  // A top-level block is not moved; the others are placed in their parent, in metres.
  const float ft = 0.3048f;
  for (int k = 0; k < 16; ++k)
    EXPECT_EQ(w.igs.blocks[0].transform[static_cast<size_t>(k)], k % 5 == 0 ? 1.0f : 0.0f) << k;
  const Mat4 local = wing.LocalMatrix();
  for (int k = 0; k < 12; ++k)
    EXPECT_NEAR(w.igs.blocks[1].transform[static_cast<size_t>(k)], local.m[k], 1e-6) << k;
  EXPECT_NEAR(w.igs.blocks[1].transform[12], 3 * ft, 1e-5);
  EXPECT_NEAR(w.igs.blocks[1].transform[13], 1.5f * ft, 1e-5);
  EXPECT_NEAR(w.igs.blocks[2].transform[14], -0.6f * ft, 1e-5);
  EXPECT_EQ(w.igs.blocks[2].transform[15], 1.0f);

  const auto& flapMesh = w.igs.meshes[2];
  EXPECT_FLOAT_EQ(flapMesh.min[0], -0.5f * ft);  // bounds in metres
  EXPECT_FLOAT_EQ(flapMesh.max[2], 0.2f * ft);
  EXPECT_FLOAT_EQ(flapMesh.vertices[0].position[1], 0.05f * ft);
}

// A block lists 24 children: more go in runs of 24 under grouping blocks named after their
// parent's, which keep its frame and draw nothing; past 24 runs the runs are grouped again.
// Every block is linked and every triangle reachable; 24 children are written as before.
TEST(TracklineBlocks, ChildrenBeyondTwentyFourGoUnderGroupingBlocks) {
  const struct {
    std::string rack;  // the node's name
    int children;
    const char* script;
    std::vector<std::string> first;  // the first block names after the rack's
    size_t blocks;                   // 0: the export stops
  } cases[] = {
      {"Rack", 24, "", {"1_1000_Slot0"}, 25},
      {"Rack", 25, "", {"1_1000_Rack#1", "1_1000_Slot0"}, 28},
      {"Rack", 601, "", {"1_1000_Rack#1", "1_1000_Rack#2", "1_1000_Slot0"}, 630},
      {std::string(24, 'r'), 25, "", {}, 0},
      {std::string(24, 'r'),
       25,
       "chkShortNames=1; click cmdOK; click cmdCancel",
       {"1_1000_" + std::string(23, 'r') + "~1", "1_1000_Slot0"},
       28},
  };
  test::TempHome home;
  for (const auto& c : cases) {
    HostDocument doc;
    HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
    HostNode& rack = host::AddGroup(doc.Root(), c.rack, {1, 2, 3});
    for (int i = 0; i < c.children; ++i)
      host::AddBox(host::AddGroup(rack, "Slot" + std::to_string(i), {float(i), 0, 0}), "S", {},
                   {1, 1, 1}, &alu);
    const fs::path file = home.Path() / "rack.igs";
    fs::remove(file);
    const ExportRun run = Export(doc, &rack, file, c.script);
    if (c.blocks == 0) {
      EXPECT_TRUE(Failed(run.status));
      EXPECT_THAT(run.log, Contains("The node \"" + c.rack +
                                    "\" has 25 children to export; a block lists at most 24, so "
                                    "they go under blocks named like \"1_1000_" +
                                    c.rack +
                                    "#1\", which is 33 characters long; the limit is 32. Tick "
                                    "\"Shorten long block names\" (chkShortNames) to have it "
                                    "shortened."));
      EXPECT_FALSE(fs::exists(file));
      continue;
    }
    ASSERT_EQ(run.status, StatusOk) << c.children;
    const Written w = ReadBack(file);
    ASSERT_EQ(w.igs.blocks.size(), c.blocks) << c.children;
    EXPECT_THAT(w.igs.UnlistedBlocks(), IsEmpty()) << c.children;
    const std::vector<std::string> names = BlockNames(w.igs);
    EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.begin() + 1 + c.first.size()),
              c.first);
    size_t triangles = 0, slots = 0;
    for (size_t b = 0; b < w.igs.blocks.size(); ++b) {
      const auto& block = w.igs.blocks[b];
      EXPECT_LE(block.children.size(), 24u);
      const auto& mesh = w.igs.meshes[static_cast<size_t>(block.meshes.at(0))];
      triangles += mesh.triangles.size();
      if (block.name.find("Slot") == std::string::npos) continue;
      ++slots;
      // Each slot keeps its frame in the rack's: grouping blocks add none.
      const int slot = std::stoi(block.name.substr(block.name.find("Slot") + 4));
      EXPECT_EQ(block.transform[12], float(slot)) << block.name;
    }
    EXPECT_EQ(slots, static_cast<size_t>(c.children));
    EXPECT_EQ(triangles, 12u * c.children);
  }
}

TEST(TracklineMeshes, FansWindingAndFaceNormals) {
  test::TempHome home;
  HostDocument doc;
  HostMaterial& alu = Textured(doc, "Alu", "alu.bmp");
  HostNode& g = host::AddGroup(doc.Root(), "Plate");
  // A pentagon (three fan triangles), a quad (two) and a degenerate triangle, counter-clockwise
  // seen from +y.
  host::AddPolygonMesh(g, "Pentagon", {{0, 0, 0}, {0, 0, 1}, {1, 0, 2}, {2, 0, 1}, {2, 0, 0}},
                       &alu);
  host::AddPolygonMesh(g, "Quad", {{5, 0, 0}, {5, 0, 1}, {6, 0, 1}, {6, 0, 0}}, &alu);
  host::AddPolygonMesh(g, "Sliver", {{9, 0, 0}, {9, 0, 1}, {9, 0, 2}}, &alu);
  const fs::path file = home.Path() / "plate.igs";
  ASSERT_EQ(Export(doc, &g, file).status, StatusOk);
  Written w = ReadBack(file);
  ASSERT_EQ(w.igs.meshes.size(), 1u);
  const auto& mesh = w.igs.meshes[0];
  std::vector<int32_t> flags;
  for (const auto& t : mesh.triangles)
    flags.push_back(t.fanFlag);
  EXPECT_THAT(flags, ElementsAre(1, 5, 4, 1, 4, 1));
  EXPECT_EQ(mesh.vertices.size(), 5u + 4u + 3u);  // corners of one polygon share their vertex

  // Stored corners 0, 2, 1: the first triangle of the pentagon is (0,0,0), (1,0,2), (0,0,1).
  auto position = [&](const host::IgsTriangleRecord& t, int k) {
    const auto& p = mesh.vertices[static_cast<size_t>(t.vertices[static_cast<size_t>(k)])].position;
    return Vec3{p[0], p[1], p[2]};
  };
  EXPECT_EQ(position(mesh.triangles[0], 0), (Vec3{0, 0, 0}));
  EXPECT_EQ(position(mesh.triangles[0], 1), (Vec3{1, 0, 2}));
  EXPECT_EQ(position(mesh.triangles[0], 2), (Vec3{0, 0, 1}));
  for (size_t t = 0; t < 5; ++t) {
    const test::IgsRaw raw = test::RawTriangle(*w.bytes, mesh, t);
    // (P0 - P2) x (P1 - P0) of the host's corners, scaled to unit length.
    EXPECT_EQ((Vec3{raw.F32(12), raw.F32(16), raw.F32(20)}), (Vec3{0, 1, 0})) << t;
    EXPECT_EQ(raw.F32(24), 1.0f);
  }
  const test::IgsRaw sliver = test::RawTriangle(*w.bytes, mesh, 5);
  EXPECT_EQ((Vec3{sliver.F32(12), sliver.F32(16), sliver.F32(20)}), (Vec3{0, 0, 0}));
  const test::IgsRaw v = test::RawVertex(*w.bytes, mesh, 0);
  EXPECT_EQ(v.I32(32), 1);  // one texture-coordinate set, white, no bones
  EXPECT_EQ(v.F32(100), 1.0f);
  EXPECT_EQ(v.F32(112), 1.0f);
  EXPECT_EQ(v.I32(120), 0);
}

TEST(TracklineMeshes, FaceNormalsOfHugeAndTinyTrianglesAreUnitVectors) {
  // A right triangle of legs s, counter-clockwise seen from +y: its normal is +y at any size.
  // Ordinary sizes keep the very bits they always had.
  const Vec3 a{0.3f, 1.7f, -2.1f}, b{5.9f, -0.4f, 3.3f}, c{-1.2f, 2.8f, 0.7f};
  const struct {
    std::vector<Vec3> points;
    Vec3 normal;
  } cases[] = {
      {{{0, 0, 0}, {0, 0, 1e19f}, {1e19f, 0, 1e19f}}, {0, 1, 0}},
      {{{0, 0, 0}, {0, 0, 3e38f}, {3e38f, 0, 3e38f}}, {0, 1, 0}},
      {{{0, 0, 0}, {0, 0, 1e-20f}, {1e-20f, 0, 1e-20f}}, {0, 1, 0}},
      {{a, b, c}, Normalize(Cross(a - c, b - a))},
  };
  test::TempHome home;
  for (const auto& k : cases) {
    HostDocument doc;
    HostNode& g = host::AddGroup(doc.Root(), "Plate");
    host::AddPolygonMesh(g, "Tri", k.points, &Textured(doc, "Alu", "alu.bmp"));
    const fs::path file = home.Path() / "tri.igs";
    ASSERT_EQ(Export(doc, &g, file).status, StatusOk);
    const Written w = ReadBack(file);
    const test::IgsRaw raw = test::RawTriangle(*w.bytes, w.igs.meshes.at(0), 0);
    EXPECT_EQ((Vec3{raw.F32(12), raw.F32(16), raw.F32(20)}), k.normal) << k.points[1].z;
  }
}

TEST(TracklineMeshes, AnUnknownUnitsCodeCountsAsMetres) {
  test::TempHome home;
  BoxScene s;
  s.doc.units = 7;
  const fs::path file = home.Path() / "box.igs";
  ExportRun run = Export(s.doc, s.group, file);
  ASSERT_EQ(run.status, StatusOk);
  EXPECT_THAT(run.log,
              Contains("The document's units code 7 is not known; lengths are written as metres."));
  const Written w = ReadBack(file);
  const auto& mesh = w.igs.meshes.at(0);
  EXPECT_EQ(mesh.max[0], 1.0f);  // the box reaches to x = 1 m
  EXPECT_EQ(std::fabs(mesh.vertices.at(0).position[0]), 1.0f);
}

}  // namespace
}  // namespace vlm
