// The transform step: where every vertex ends in the world after each option, faces kept
// outward by a mirroring scale, frames baked by --apply, and refused values that leave the
// document as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "prep/prep_step.h"
#include "scene/builder.h"
#include "scene/scene_file.h"
#include "support/expect_near.h"
#include "support/temp_home.h"
#include "support/vlmhost.h"

namespace vlm::test {
namespace {

using host::HostMesh;
using host::HostNode;

// Base at (10, 0, 0) holds the triangle Foot; its child Arm, at (0, 2, 0) and turned 90 degrees
// about y (its +z along the world's +x), holds the triangle Tip. In the world:
//   Foot (10, 0, 0) (12, 0, 0) (10, 0, -2);  Tip (11, 2, 0) (11, 2, -1) (11, 3, 0)
// so the box of every vertex runs from (10, 0, -2) to (12, 3, 0), its centre (11, 1.5, -1).
struct TransformScene {
  TempHome home;
  host::HostDocument doc;
  HostNode& base = host::AddGroup(doc.Root(), "Base", {10, 0, 0});
  HostNode& arm = host::AddGroup(base, "Arm", {0, 2, 0}, {1, 0, 0}, {0, 1, 0});
  HostMesh& foot = host::AddPolygonMesh(base, "Foot", {{0, 0, 0}, {0, 0, -2}, {2, 0, 0}});
  HostMesh& tip = host::AddPolygonMesh(arm, "Tip", {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}});
  std::ostringstream log;
  std::vector<std::string> warnings;

  void Run(const std::vector<std::string>& options) {
    host::RunPrepStep(doc, "transform", options, {}, log,
                      [this](const std::string& w) { warnings.push_back(w); });
  }
  // The world positions the expectations name: Foot[1], Tip[1], Tip[2].
  std::vector<Vec3> Probes() const {
    return {host::WorldVertices(foot)[1], host::WorldVertices(tip)[1], host::WorldVertices(tip)[2]};
  }
};

bool Orthonormal(const HostNode& g) {
  return std::fabs(Length(g.forward) - 1) < 1e-6f && std::fabs(Length(g.up) - 1) < 1e-6f &&
         std::fabs(Dot(g.forward, g.up)) < 1e-6f;
}

enum class Target { Whole, ArmGroup, TipObject };

std::vector<std::string> Repeated(const std::string& option, int times) {
  return std::vector<std::string>(static_cast<size_t>(times), option);
}

TEST(PrepTransform, PutsEveryVertexWhereEachOptionTakesIt) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    Target target;
    Vec3 foot1, tip1, tip2;  // world positions after the step
  };
  const Case cases[] = {
      {"move", {"move=1,2,3"}, Target::Whole, {11, 2, 1}, {12, 4, 2}, {12, 5, 3}},
      // About y, +z turns to +x: (x, y, z) -> (z, y, -x).
      {"rotate", {"rotate=y:90"}, Target::Whole, {-2, 0, -10}, {-1, 2, -11}, {0, 3, -11}},
      {"rotate about the centre",
       {"rotate=y:90", "pivot=centre"},
       Target::Whole,
       {10, 0, 0},
       {11, 2, -1},
       {12, 3, -1}},
      {"rotations in the order given",
       {"rotate=y:90", "rotate=x:90"},
       Target::Whole,
       {-2, 10, 0},
       {-1, 11, 2},
       {0, 11, 3}},
      {"360 turns of a degree come back",
       Repeated("rotate=z:1", 360),
       Target::Whole,
       {10, 0, -2},
       {11, 2, -1},
       {11, 3, 0}},
      // Z-up to Y-up: (x, y, z) -> (x, z, -y).
      {"up axis z", {"up-axis=z"}, Target::Whole, {10, -2, 0}, {11, -1, -2}, {11, 0, -3}},
      {"up axis -x", {"up-axis=-x"}, Target::Whole, {0, -10, -2}, {2, -11, -1}, {3, -11, 0}},
      {"scale", {"scale=2"}, Target::Whole, {20, 0, -4}, {22, 4, -2}, {22, 6, 0}},
      {"scale per axis through a turned group",
       {"scale=1,1,3"},
       Target::Whole,
       {10, 0, -6},
       {11, 2, -3},
       {11, 3, 0}},
      {"scale about the centre",
       {"scale=2", "pivot=centre"},
       Target::Whole,
       {9, -1.5, -3},
       {11, 2.5, -1},
       {11, 4.5, 1}},
      {"turn before scale whatever the order given",
       {"scale=1,1,3", "rotate=y:90"},
       Target::Whole,
       {-2, 0, -30},
       {-1, 2, -33},
       {0, 3, -33}},
      {"centre xz", {"centre=xz"}, Target::Whole, {-1, 0, -1}, {0, 2, 0}, {0, 3, 1}},
      {"centre xyz", {"centre=xyz"}, Target::Whole, {-1, -1.5, -1}, {0, 0.5, 0}, {0, 1.5, 1}},
      // Upside down, the lowest vertex is at y = -3.
      {"ground", {"rotate=x:180", "ground"}, Target::Whole, {10, 3, 2}, {11, 1, 1}, {11, 0, 0}},
      {"ground after the move",
       {"ground", "move=0,5,0"},
       Target::Whole,
       {10, 0, -2},
       {11, 2, -1},
       {11, 3, 0}},
      {"apply", {"apply"}, Target::Whole, {10, 0, -2}, {11, 2, -1}, {11, 3, 0}},
      {"apply, then turn",
       {"apply", "rotate=y:90"},
       Target::Whole,
       {-2, 0, -10},
       {-1, 2, -11},
       {0, 3, -11}},
      {"a group alone", {"scale=2"}, Target::ArmGroup, {10, 0, -2}, {22, 4, -2}, {22, 6, 0}},
      {"an object alone",
       {"rotate=y:90"},
       Target::TipObject,
       {10, 0, -2},
       {-1, 2, -11},
       {0, 3, -11}},
      {"an object alone, grounded",
       {"move=0,-9,0", "ground"},
       Target::TipObject,
       {10, 0, -2},
       {11, 0, -1},
       {11, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TransformScene s;
    if (c.target == Target::ArmGroup) s.doc.scriptingSelection.groups.push_back(&s.arm);
    if (c.target == Target::TipObject) s.doc.scriptingSelection.objects.push_back({&s.tip, 0, {}});
    const Vec3 basePosition = s.base.position, baseForward = s.base.forward;
    const std::vector<Vec3> tipLocal = s.tip.vertices;
    s.Run(c.options);
    const auto probes = s.Probes();
    ExpectNear(probes[0], c.foot1, "Foot[1]", 1e-4f);
    ExpectNear(probes[1], c.tip1, "Tip[1]", 1e-4f);
    ExpectNear(probes[2], c.tip2, "Tip[2]", 1e-4f);
    EXPECT_TRUE(Orthonormal(s.base) && Orthonormal(s.arm));
    // Base, a top group, keeps its frame (the origin an exporter writes it from) unless it is
    // applied; a turn or a move of what it holds goes into Arm's frame, and Tip, below Arm,
    // stays as it was.
    const bool applied = std::count(c.options.begin(), c.options.end(), "apply") > 0;
    if (!applied) {
      EXPECT_EQ(s.base.position, basePosition);
      EXPECT_EQ(s.base.forward, baseForward);
    }
    const bool rigid = c.target == Target::Whole &&
                       std::none_of(c.options.begin(), c.options.end(), [](const std::string& o) {
                         return o.starts_with("scale") || o == "apply";
                       });
    if (rigid) {
      EXPECT_EQ(s.tip.vertices, tipLocal);
    }
    EXPECT_FALSE(s.log.str().empty());
  }
}

TEST(PrepTransform, LogsOneLinePerOperation) {
  struct Case {
    std::vector<std::string> options;
    const char* log;
  };
  const Case cases[] = {
      {{"up-axis=z"}, "turned 1 group and 1 object: up axis +z to +y\n"},
      {{"ground", "move=0,0.35,0"},
       "moved 1 group and 1 object by (0, 0.35, 0)\nlanded on the ground: moved 1 group and 1 "
       "object by 0.35 down\n"},
      {{"scale=-1,1,1"},
       "scaled 1 group and 1 object by (-1, 1, 1) about the origin, mirrored: each face's corners "
       "reversed "
       "so it faces out\n"},
      {{"apply"},
       "applied the frames of 2 groups to the vertices of 2 objects: each group now at the "
       "origin, facing +z, up +y\n"},
  };
  for (const Case& c : cases) {
    TransformScene s;
    s.Run(c.options);
    EXPECT_EQ(s.log.str(), c.log);
  }
}

// A box in a group turned 45 degrees about y: after a scale, each face's corners still go
// counter-clockwise seen from outside and each stored normal is the face's own normal.
TEST(PrepTransform, KeepsFacesOutwardAndNormalsTrueUnderAnyScale) {
  for (const char* scale : {"-1,1,1", "2,-1,3", "-1,-1,1", "-2", "1,3,0.5"}) {
    SCOPED_TRACE(scale);
    TempHome home;
    host::HostDocument doc;
    const float h = std::sqrt(0.5f);
    HostNode& group = host::AddGroup(doc.Root(), "G", {1, 2, 3}, {h, 0, h}, {0, 1, 0});
    HostMesh& box = host::AddBox(group, "Box", {0.5f, 0, 0}, {1, 2, 0.5f});
    std::ostringstream log;
    host::RunPrepStep(doc, "transform", {std::string("scale=") + scale}, {}, log, {});
    const auto world = host::WorldVertices(box);
    Vec3 centre{};
    for (const Vec3& v : world)
      centre += v * (1.0f / static_cast<float>(world.size()));
    const Mat4 frame = group.WorldMatrix();
    for (size_t face = 0; face < box.FaceCount(); ++face) {
      std::vector<Vec3> corners;
      for (const host::HostPoint& p : box.Points(face))
        corners.push_back(world[static_cast<size_t>(p.vertex)]);
      const Vec3 normal = PolygonNormal(corners);
      EXPECT_GT(Dot(normal, corners[0] - centre), 0) << "face " << face << " faces in";
      for (const host::HostPoint& p : box.Points(face)) {
        const Vec3 stored = TransformDirection(box.normals[static_cast<size_t>(p.normal)], frame);
        EXPECT_NEAR(Dot(stored, normal), 1, 1e-5) << "face " << face;
      }
    }
  }
}

TEST(PrepTransform, ApplyGivesIdentityFramesAndKeepsTheWorld) {
  for (const bool armOnly : {false, true}) {
    SCOPED_TRACE(armOnly ? "Arm selected" : "whole scene");
    TransformScene s;
    // A normal of Tip turned with Arm: Tip faces -x in the world.
    const Vec3 tipNormal = TransformDirection(s.tip.normals[0], s.arm.WorldMatrix());
    if (armOnly) s.doc.scriptingSelection.groups.push_back(&s.arm);
    const auto before = s.Probes();
    s.Run({"apply"});
    const auto after = s.Probes();
    for (size_t i = 0; i < before.size(); ++i)
      ExpectNear(after[i], before[i], "probe " + std::to_string(i));
    ExpectNear(TransformDirection(s.tip.normals[0], s.arm.WorldMatrix()), tipNormal, "normal");
    for (const HostNode* g : {&s.base, &s.arm}) {
      const bool baked = g == &s.arm || !armOnly;
      EXPECT_EQ(g->position == Vec3{}, baked) << g->name;
      EXPECT_EQ(g->forward, host::kDefaultForward) << g->name;
      EXPECT_EQ(g->up, host::kDefaultUp) << g->name;
    }
  }
}

TEST(PrepTransform, RefusesBadValuesAndLeavesTheSceneAsItWas) {
  struct Case {
    std::vector<std::string> options;
    const char* message;  // part of the refusal
  };
  const Case cases[] = {
      {{}, "give at least one of --move"},
      {{"pivot=centre"}, "give at least one of --move"},
      {{"scale=0"}, "--scale 0: 0 would flatten the model"},
      {{"move=1,2,3", "scale=1,0,1"}, "--scale 1,0,1: 0 would flatten"},
      {{"scale=1e-9"}, "--scale 1e-9: give factors from 0.000001"},
      {{"scale=big"}, "--scale big: not a number"},
      {{"scale=1,2"}, "--scale 1,2: give three numbers"},
      {{"up-axis=w"}, "--up-axis w: give one of +x"},
      {{"rotate=y:90", "rotate=q:90"}, "--rotate q:90: the axis is x, y or z"},
      {{"rotate=y:quarter"}, "--rotate y:quarter: the angle is not a number"},
      {{"rotate=90"}, "--rotate 90: give AXIS:DEG"},
      {{"pivot=middle", "move=1,1,1"}, "--pivot middle: give one of origin, centre"},
      {{"centre=y"}, "--centre y: give one of xz, xyz"},
      {{"move=1,2,3", "move=2,3,4"}, "--move is given twice"},
      {{"ground=1"}, "--ground takes no value"},
      {{"move=1e38,0,0", "scale=1000"}, "farther than their coordinates can hold"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TransformScene s;
    const std::string before = host::SerializeScene(s.doc);
    try {
      s.Run(c.options);
      ADD_FAILURE() << "not refused";
    } catch (const host::PrepBadValue& e) {
      EXPECT_NE(e.Description().find(c.message), std::string::npos) << e.Description();
    }
    EXPECT_EQ(host::SerializeScene(s.doc), before);
    EXPECT_EQ(s.log.str(), "");
  }
}

TEST(PrepTransform, SaysWhyNothingWasDone) {
  struct Case {
    std::vector<std::string> options;
    bool tipOnly;         // Tip selected alone
    bool noVertices;      // a scene of one empty group
    const char* message;  // part of the reason
  };
  const Case cases[] = {
      {{"up-axis=+y"}, false, false, "the up axis is already +y"},
      {{"apply"}, true, false, "objects have no frame of their own"},
      {{"ground"}, false, true, "no vertices to land on the ground"},
      {{"centre=xz", "pivot=centre"}, false, true, "no vertices to centre"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TransformScene s;
    host::HostDocument empty;
    host::AddGroup(empty.Root(), "Empty", {0, 4, 0});
    host::HostDocument& doc = c.noVertices ? empty : s.doc;
    if (c.tipOnly) doc.scriptingSelection.objects.push_back({&s.tip, 0, {}});
    const std::string before = host::SerializeScene(doc);
    try {
      host::RunPrepStep(doc, "transform", c.options, {}, s.log, {});
      ADD_FAILURE() << "something done";
    } catch (const host::PrepNothingToDo& e) {
      EXPECT_NE(e.Description().find(c.message), std::string::npos) << e.Description();
    }
    EXPECT_EQ(host::SerializeScene(doc), before);
  }
}

// The lines of an OBJ8 animation are written in their group's frame: a turn or move of the
// frame keeps them right, a scale or a baked frame does not, and says so.
TEST(PrepTransform, WarnsWhenObj8LinesCannotFollow) {
  struct Case {
    const char* option;
    bool warns;
  };
  for (const Case& c : {Case{"rotate=y:30", false}, Case{"move=1,0,0", false},
                        Case{"scale=0.01", true}, Case{"apply", true}}) {
    SCOPED_TRACE(c.option);
    TransformScene s;
    s.arm.SetField(s.doc.DefineNodeField("OBJ8"), "ANIM_rot_begin 0 1 0 sim/door");
    s.Run({c.option});
    ASSERT_EQ(s.warnings.size(), c.warns ? 1u : 0u);
    if (c.warns) {
      EXPECT_NE(s.warnings[0].find("\"Base/Arm\""), std::string::npos) << s.warnings[0];
    }
  }
}

TEST(PrepTransform, RunsFromTheCommandLineAndReportsTheChangedGroups) {
  TransformScene s;
  const auto folder = s.home.Path();
  host::SaveScene(s.doc, folder / "scene.json");
  const auto r = Vlmhost({"prep", "transform", (folder / "scene.json").string(), "--up-axis", "z",
                          "--ground", "-o", (folder / "out.json").string(), "--report",
                          (folder / "report.json").string()});
  EXPECT_EQ(r.status, 0) << r.output;
  std::ifstream in(folder / "report.json");
  const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(report.find("\"path\": \"Base/Arm\""), std::string::npos) << report;
  EXPECT_NE(report.find("up axis +z to +y"), std::string::npos) << report;
  const auto out = host::LoadScene(folder / "out.json");
  EXPECT_NEAR(host::WorldVertices(*out->Root().children[0]->meshes[0])[1].y, 0, 1e-5);

  const auto refused = Vlmhost({"prep", "transform", (folder / "scene.json").string(), "--scale",
                                "0", "-o", (folder / "out2.json").string()});
  EXPECT_EQ(refused.status, 2) << refused.output;
  EXPECT_FALSE(std::filesystem::exists(folder / "out2.json"));
}

}  // namespace
}  // namespace vlm::test
