// The steps that reshape a model's tree and tidy its meshes: flatten, merge, split, clean and
// normals, run as the command line runs them (RunPrepStep).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "prep/prep_step.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "scene/scene_file.h"

namespace vlm::host {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A fan triangle in world space as it is drawn: where its corners are, which way their normals
// point, their texture coordinates and its material.
struct Corner {
  Vec3 at, normal;
  Vec2 uv;
};
struct Triangle {
  std::string material;
  std::array<Corner, 3> corners;
};

void Walk(const HostNode& group, std::vector<Triangle>& out) {
  const Mat4 world = group.WorldMatrix();
  for (const auto& mesh : group.meshes)
    for (size_t f = 0; f < mesh->FaceCount(); ++f) {
      if (mesh->FaceRemoved(f)) continue;
      const auto p = mesh->Points(f);
      auto corner = [&](const HostPoint& q) {
        Corner c{TransformPoint(mesh->vertices[size_t(q.vertex)], world), {}, {}};
        if (q.normal >= 0) c.normal = TransformDirection(mesh->normals[size_t(q.normal)], world);
        if (q.uv >= 0) c.uv = mesh->uvs[size_t(q.uv)];
        return c;
      };
      const HostMaterial* m = mesh->FaceMaterial(f);
      for (size_t k = 1; k + 1 < p.size(); ++k)
        out.push_back({m ? m->name : "", {corner(p[0]), corner(p[k]), corner(p[k + 1])}});
    }
  for (const auto& child : group.children)
    Walk(*child, out);
}

std::vector<Triangle> Soup(const HostDocument& doc) {
  std::vector<Triangle> out;
  Walk(doc.Root(), out);
  return out;
}

bool Near(Vec3 a, Vec3 b) {
  return std::fabs(a.x - b.x) < 1e-4f && std::fabs(a.y - b.y) < 1e-4f &&
         std::fabs(a.z - b.z) < 1e-4f;
}

// The same triangles, in any order, each with its corners in the same order (same winding).
void ExpectSameSoup(const std::vector<Triangle>& got, const std::vector<Triangle>& want) {
  ASSERT_EQ(got.size(), want.size());
  std::vector<bool> used(got.size());
  for (const Triangle& w : want) {
    bool found = false;
    for (size_t i = 0; i < got.size() && !found; ++i) {
      const Triangle& g = got[i];
      if (used[i] || g.material != w.material) continue;
      bool same = true;
      for (int c = 0; c < 3; ++c)
        same = same && Near(g.corners[c].at, w.corners[c].at) &&
               Near(g.corners[c].normal, w.corners[c].normal) && g.corners[c].uv == w.corners[c].uv;
      if (same) used[i] = found = true;
    }
    EXPECT_TRUE(found) << "a " << w.material << " triangle at (" << w.corners[0].at.x << ", "
                       << w.corners[0].at.y << ", " << w.corners[0].at.z << ") is lost";
  }
}

struct StepRun {
  std::string log;
  std::vector<std::string> warnings;
};

StepRun RunStep(HostDocument& doc, const std::string& step,
                const std::vector<std::string>& options) {
  StepRun run;
  std::ostringstream log;
  RunPrepStep(doc, step, options, {}, log,
              [&](const std::string& w) { run.warnings.push_back(w); });
  run.log = log.str();
  return run;
}

size_t GroupsBelow(const HostNode& group) {
  size_t n = 0;
  for (const auto& child : group.children)
    n += 1 + GroupsBelow(*child);
  return n;
}

std::vector<std::string> Names(const HostNode& group) {
  std::vector<std::string> names;
  for (const auto& mesh : group.meshes)
    names.push_back(mesh->name);
  return names;
}

// A house of nested, turned and moved groups: House (Stone) > Floor (Stone), Roof > Tiles
// (Tile, and a panel with no material); Roof carries OBJ8 data and animation keys; beside it a
// Yard (Grass).
struct HouseScene {
  HostDocument doc;
  HostMaterial& stone = doc.NewMaterial("Stone");
  HostMaterial& tile = doc.NewMaterial("Tile");
  HostMaterial& grass = doc.NewMaterial("Grass");
  HostNode& house = AddGroup(doc.Root(), "House", {10, 0, -5}, {1, 0, 0}, {0, 1, 0});
  HostNode& floor = AddGroup(house, "Floor", {0, 0.5f, 2});
  HostNode& roof =
      AddGroup(house, "Roof", {0, 3, 0}, {0, -0.5f, 0.8660254f}, {0, 0.8660254f, 0.5f});
  HostNode& tiles = AddGroup(roof, "Tiles", {1, 1, 0}, {0, 0, -1}, {0, 1, 0});
  HostNode& yard = AddGroup(doc.Root(), "Yard", {0, 0, 20});
  HostMesh& walls = AddBox(house, "Walls", {0, 1, 0}, {2, 1, 3}, &stone);
  HostMesh& slab = AddBox(floor, "Slab", {}, {2, 0.1f, 3}, &stone);
  HostMesh& ridge = AddBox(tiles, "Ridge", {0, 0.2f, 0}, {2.5f, 0.2f, 0.3f}, &tile);
  HostMesh& panel = AddPolygonMesh(tiles, "Panel", {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}});
  HostMesh& lawn = AddBox(yard, "Lawn", {}, {5, 0.05f, 5}, &grass);

  HouseScene() {
    roof.SetField(doc.DefineNodeField("OBJ8"), "{\"anim\": []}");
    roof.animationKeys = 4;
  }
};

// ---- flatten and merge keep the model where it was --------------------------------------------

TEST(PrepHierarchy, FlattenAndMergeKeepEveryTriangleWhereItWas) {
  struct Case {
    const char* step;
    std::vector<std::string> options;
    std::function<void(HouseScene&)> select;
    std::vector<std::string> houseObjects, yardObjects;  // names after the step
    size_t houseGroups;
    const char* log;
  };
  const Case cases[] = {
      {"flatten",
       {},
       nullptr,
       {"Stone", "Tile", "none"},
       {"Grass"},
       0,
       "flattened House: 3 groups, 4 objects into 3 objects"},
      {"flatten",
       {"name={group}-{material}"},
       [](HouseScene& s) { s.doc.scriptingSelection.groups = {&s.house}; },
       {"House-Stone", "House-Tile", "House-none"},
       {"Lawn"},
       0,
       "flattened House: 3 groups, 4 objects into 3 objects"},
      // A template without {material} still gives every object a name of its own.
      {"flatten",
       {"name=Roof"},
       [](HouseScene& s) {
         s.doc.scriptingSelection.groups = {&s.roof, &s.tiles};
       },
       {"Walls"},
       {"Lawn"},
       2,
       "flattened House/Roof: 1 groups, 2 objects into 2 objects"},
      {"merge", {}, nullptr, {"Walls"}, {}, 3, "merged 5 objects into House/Walls"},
      {"merge",
       {"name=Shell"},
       [](HouseScene& s) {
         s.doc.SelectObject(s.ridge, 0, {});
         s.doc.SelectObject(s.lawn, 0, {});
         s.doc.graphSelection.nodes = {&s.floor};
       },
       {"Walls"},
       {},
       3,
       "merged 3 objects into House/Floor/Shell"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.step) + (c.options.empty() ? "" : " " + c.options[0]));
    HouseScene s;
    if (c.select) c.select(s);
    const std::vector<Triangle> before = Soup(s.doc);
    const StepRun run = RunStep(s.doc, c.step, c.options);
    ExpectSameSoup(Soup(s.doc), before);
    EXPECT_THAT(run.log, HasSubstr(c.log));
    HostNode* house = s.doc.FindGroup("House", nullptr);
    HostNode* yard = s.doc.FindGroup("Yard", nullptr);
    ASSERT_TRUE(house && yard);
    EXPECT_THAT(Names(*house), ElementsAreArray(c.houseObjects));
    EXPECT_THAT(Names(*yard), ElementsAreArray(c.yardObjects));
    EXPECT_EQ(GroupsBelow(*house), c.houseGroups);
    // Flattening the roof's tree loses what its groups carry, and says so.
    if (std::string(c.step) == "flatten" && house->children.empty())
      EXPECT_THAT(run.warnings, ElementsAre(AllOf(HasSubstr("House/Roof"), HasSubstr("OBJ8"),
                                                  HasSubstr("4 animation keys"))));
    else
      EXPECT_THAT(run.warnings, IsEmpty());
  }
}

// ---- split ------------------------------------------------------------------------------------

TEST(PrepHierarchy, SplitCutsObjectsByMaterialAndKeepsEachPartsTriangles) {
  HostDocument doc;
  HostMaterial& brick = doc.NewMaterial("Brick");
  HostMaterial& glass = doc.NewMaterial("Glass");
  HostNode& shed = AddGroup(doc.Root(), "Shed", {1, 2, 3}, {0, 1, 0}, {0, 0, -1});
  // A grid of 4 x 2 quads whose faces take Brick, Glass and none in turn, sharing vertices.
  HostMesh& wall = AddGrid(shed, "Wall", 4, 2, 1.0f, &brick);
  for (size_t f = 0; f < wall.FaceCount(); ++f)
    wall.SetFaceMaterial(f, f % 3 == 0 ? &brick : f % 3 == 1 ? &glass : nullptr);
  AddBox(shed, "Wall_Brick", {5, 0, 0}, {1, 1, 1}, &brick);
  AddBox(shed, "Door", {0, 0, 5}, {1, 1, 1}, &glass);
  const std::vector<Triangle> before = Soup(doc);

  const StepRun run = RunStep(doc, "split", {});
  ExpectSameSoup(Soup(doc), before);
  EXPECT_THAT(Names(shed),
              ElementsAre("Wall_Brick", "Door", "Wall_Brick_2", "Wall_Glass", "Wall_none"));
  EXPECT_THAT(run.log, HasSubstr("split Shed/Wall into 3 objects by material: Wall_Brick_2, "
                                 "Wall_Glass, Wall_none"));
  EXPECT_THAT(run.log, HasSubstr("left Shed/Door as it is: its faces have one material"));
  // Said as a warning too, so that --quiet, a report and a job's status carry it.
  EXPECT_THAT(
      run.warnings,
      ElementsAre(HasSubstr("split left 2 objects: Shed/Wall_Brick, Shed/Door as they were")));
  // Each part keeps only what its faces use: Glass has quads 1, 4 and 7 of the 4 x 2 grid,
  // (1,0), (0,1) and (3,1), which touch 11 distinct corners.
  const HostMesh& glassPart = *shed.meshes[3];
  EXPECT_EQ(glassPart.FaceCount(), 3u);
  EXPECT_EQ(glassPart.vertices.size(), 11u);
  for (size_t f = 0; f < glassPart.FaceCount(); ++f) {
    EXPECT_EQ(glassPart.FaceMaterial(f), &glass);
    for (const HostPoint& p : glassPart.Points(f)) {
      EXPECT_LT(size_t(p.vertex), glassPart.vertices.size());
      EXPECT_LT(size_t(p.normal), glassPart.normals.size());
      EXPECT_LT(size_t(p.uv), glassPart.uvs.size());
    }
  }
}

// ---- clean --------------------------------------------------------------------------------------

// One object with every kind of mess: a vertex repeated at the same place (4 = 0), one close
// by (5, 0.01 from 2), one no face uses (6); a degenerate face (a repeated vertex), a flat one
// (points in a line), a face repeated turned round, one repeated with another material and one
// listed backwards (both kept).
struct MessyScene {
  HostDocument doc;
  HostMaterial& a = doc.NewMaterial("A");
  HostMaterial& b = doc.NewMaterial("B");
  HostNode& group = AddGroup(doc.Root(), "Scan");
  HostNode& empty = AddGroup(group, "Empty");
  HostNode& emptier = AddGroup(empty, "Emptier");
  HostNode& tagged = AddGroup(doc.Root(), "Tagged");
  HostMesh& mesh = doc.NewMesh(group, "Mesh");

  MessyScene() {
    tagged.SetField(doc.DefineNodeField("FS10"), "data");
    mesh.vertices = {{0, 0, 0}, {1, 0, 0},     {1, 1, 0}, {0, 1, 0},
                     {0, 0, 0}, {1.01f, 1, 0}, {9, 9, 9}, {2, 0, 0}};
    auto face = [&](std::vector<int32_t> v, HostMaterial* m) {
      std::vector<HostPoint> points;
      for (int32_t i : v)
        points.push_back({i, -1, -1});
      mesh.AddFace(points, m);
    };
    face({0, 1, 2}, &a);  // kept
    face({4, 2, 3}, &a);  // kept; after welding 4 into 0: (0, 2, 3)
    face({0, 1, 1}, &a);  // degenerate: two distinct vertices
    face({0, 1, 7}, &a);  // degenerate: no area
    face({1, 2, 0}, &a);  // repeats the first, turned
    face({0, 1, 2}, &b);  // another material: kept
    face({0, 2, 1}, &a);  // backwards: kept
    face({0, 1, 5}, &a);  // kept; after welding 5 into 2 within 0.02 it repeats the first
    // Selected faces make the object a target; the groups are selected with it.
    doc.SelectObject(mesh, 1, {4, 6});
    doc.scriptingSelection.groups = {&group, &tagged};
  }
};

TEST(PrepHierarchy, CleanRemovesWhatEachOptionNames) {
  struct Case {
    std::vector<std::string> options;
    size_t faces, vertices, groups;  // groups left in the scene
    std::vector<int32_t> selected;   // the selected faces (4 and 6) where they went
    std::vector<const char*> log;
  };
  const Case cases[] = {
      {{},
       5,
       5,
       2,
       {3},
       {"welded 1 vertex in 1 object (within 0) and removed 3 vertices no face used",
        "removed 2 degenerate faces from 1 object", "removed 1 repeated face from 1 object",
        "kept the empty group Tagged: it carries data of its own", "removed 2 empty groups"}},
      {{"degenerate"}, 6, 8, 4, {2, 4}, {"removed 2 degenerate faces from 1 object"}},
      {{"duplicates"}, 7, 8, 4, {5}, {"removed 1 repeated face from 1 object"}},
      {{"empty-groups"}, 8, 8, 2, {4, 6}, {"removed 2 empty groups"}},
      // Welding 5 into 2 makes the last face repeat the first.
      {{"weld=0.02", "duplicates"},
       6,
       5,
       4,
       {5},
       {"welded 2 vertices in 1 object (within 0.02) and removed 3 vertices no face used",
        "removed 2 repeated faces from 1 object"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.empty() ? "(all)" : c.options[0]);
    MessyScene s;
    const StepRun run = RunStep(s.doc, "clean", c.options);
    EXPECT_EQ(s.mesh.FaceCount(), c.faces);
    EXPECT_EQ(s.mesh.vertices.size(), c.vertices);
    EXPECT_EQ(GroupsBelow(s.doc.Root()), c.groups);
    for (const char* line : c.log)
      EXPECT_THAT(run.log, HasSubstr(line));
    for (size_t f = 0; f < s.mesh.FaceCount(); ++f)
      for (const HostPoint& p : s.mesh.Points(f))
        EXPECT_LT(size_t(p.vertex), s.mesh.vertices.size());
    ASSERT_EQ(s.doc.scriptingSelection.objects.size(), 1u);
    EXPECT_EQ(s.doc.scriptingSelection.objects[0].faces, c.selected);
  }
}

TEST(PrepHierarchy, WeldJoinsVerticesWithinTheToleranceOnly) {
  struct Case {
    const char* tolerance;
    size_t vertices;
  };
  // Points along x at 0, -0, 0.01, 0.025 and 0.5; each face uses every point once.
  const Case cases[] = {{"0", 4}, {"0.01", 3}, {"0.012", 3}, {"0.03", 2}, {"1", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tolerance);
    HostDocument doc;
    HostMesh& mesh = doc.NewMesh(AddGroup(doc.Root(), "G"), "Line");
    mesh.vertices = {{0, 0, 0}, {-0.0f, 0, 0}, {0.01f, 0, 0}, {0.025f, 0, 0}, {0.5f, 0, 0}};
    for (int32_t v = 0; v < 5; ++v)
      mesh.AddFace(std::vector<HostPoint>{{v}, {v}, {v}});
    RunStep(doc, "clean", {std::string("weld=") + c.tolerance});
    EXPECT_EQ(mesh.vertices.size(), c.vertices);
  }
}

// ---- normals ------------------------------------------------------------------------------------

TEST(PrepHierarchy, NormalsAreFlatOrSmoothedUpToTheAngle) {
  struct Case {
    std::vector<std::string> options;
    size_t distinct;  // normals the cube's points point along
    bool corners;     // every point along its corner's diagonal
    float smoothingAngle;
    bool removeTop = false;  // a removed face bends no normal
  };
  const Case cases[] = {{{"flat"}, 6, false, kDefaultSmoothingAngle},
                        {{"smooth=89"}, 6, false, 89},
                        {{"smooth=90"}, 8, true, 90},
                        {{"smooth=90"}, 8, true, 90, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0]);
    HostDocument doc;
    HostMesh& cube = AddBox(AddGroup(doc.Root(), "G"), "Cube", {}, {1, 1, 1});
    cube.normals.assign(cube.normals.size(), {0, 0, 0});
    if (c.removeTop) cube.RemoveFace(2);
    RunStep(doc, "normals", c.options);
    std::set<std::array<float, 3>> seen;
    for (size_t f = 0; f < cube.FaceCount(); ++f)
      for (const HostPoint& p : cube.Points(f)) {
        if (cube.FaceRemoved(f)) continue;
        ASSERT_LT(size_t(p.normal), cube.normals.size());
        const Vec3 n = cube.normals[size_t(p.normal)];
        seen.insert({n.x, n.y, n.z});
        Vec3 corner = cube.vertices[size_t(p.vertex)];
        if (c.removeTop && corner.y > 0) corner.y = 0;
        const Vec3 want = c.corners ? Normalize(corner) : cube.FaceNormal(f);
        EXPECT_TRUE(Near(n, want));
      }
    EXPECT_EQ(seen.size(), c.distinct);
    EXPECT_EQ(cube.smoothingAngle, c.smoothingAngle);
  }
}

// The step's smoothing finds the object model's own normals (GenerateNormals, which plug-ins
// call) bit for bit and numbers them alike: on a curved grid at several angles, with a removed
// face, and with a face that passes one vertex twice (it counts once there) beside a face
// tilted against it.
TEST(PrepHierarchy, SmoothedNormalsAreTheObjectModelsOwn) {
  struct Case {
    const char* name;
    float angle;
    std::function<HostMesh&(HostDocument&)> make;
  };
  const auto wavy = [](HostDocument& doc) -> HostMesh& {
    HostMesh& grid = AddGrid(AddGroup(doc.Root(), "G"), "Wavy", 12, 9, 0.5f);
    for (Vec3& v : grid.vertices)
      v.y = 0.3f * std::sin(v.x * 1.7f) * std::cos(v.z * 1.3f);
    return grid;
  };
  const Case cases[] = {
      {"curved, 30 degrees", 30, wavy},
      {"curved, 0 degrees", 0, wavy},
      {"curved, 180 degrees", 180, wavy},
      {"a removed face", 90,
       [](HostDocument& doc) -> HostMesh& {
         HostMesh& cube = AddBox(AddGroup(doc.Root(), "G"), "Cube", {}, {1, 1, 1});
         cube.RemoveFace(2);
         return cube;
       }},
      {"one vertex twice", 45,
       [](HostDocument& doc) -> HostMesh& {
         HostMesh& mesh = doc.NewMesh(AddGroup(doc.Root(), "G"), "Odd");
         mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {-1, 0.5f, 1}, {0, 1, 0}};
         mesh.AddFace(std::vector<HostPoint>{{0}, {3}, {2}, {1}});
         mesh.AddFace(std::vector<HostPoint>{{0}, {4}, {3}, {0}, {3}});
         mesh.AddFace(std::vector<HostPoint>{{0}, {1}, {5}});
         mesh.AddFace(std::vector<HostPoint>{{1}, {0}, {5}});
         return mesh;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostDocument stepDoc, modelDoc;
    HostMesh& stepped = c.make(stepDoc);
    HostMesh& model = c.make(modelDoc);
    RunStep(stepDoc, "normals", {"smooth=" + std::to_string(c.angle)});
    model.smoothingAngle = c.angle;
    model.AsObject().GenerateNormals();
    ASSERT_EQ(stepped.normals.size(), model.normals.size());
    for (size_t i = 0; i < model.normals.size(); ++i)
      EXPECT_EQ(std::memcmp(&stepped.normals[i], &model.normals[i], sizeof(Vec3)), 0) << i;
    for (size_t f = 0; f < model.FaceCount(); ++f)
      for (size_t k = 0; k < model.Points(f).size(); ++k)
        EXPECT_EQ(stepped.Points(f)[k].normal, model.Points(f)[k].normal) << f << " " << k;
  }
}

// ---- refusals -----------------------------------------------------------------------------------

TEST(PrepHierarchy, RefusalsLeaveTheDocumentAsItWas) {
  struct Case {
    const char* step;
    std::vector<std::string> options;
    std::function<void(HouseScene&)> select;
    bool bad;  // bad input, else nothing to do
    const char* message;
  };
  const Case cases[] = {
      {"flatten", {"name={floor}"}, nullptr, true, "--name {floor}: there is no field {floor}"},
      {"flatten", {"name="}, nullptr, true, "--name: give a name"},
      {"flatten",
       {},
       [](HouseScene& s) { s.doc.SelectObject(s.walls, 0, {}); },
       false,
       "flatten works on groups"},
      // Yard holds one object of one material, named after it: flat already.
      {"flatten",
       {"name=Lawn"},
       [](HouseScene& s) { s.doc.scriptingSelection.groups.push_back(&s.yard); },
       false,
       "the groups are empty or flat already"},
      {"merge",
       {},
       [](HouseScene& s) { s.doc.SelectObject(s.walls, 0, {}); },
       false,
       "merge needs two objects or more; 1 is selected"},
      {"merge", {"name="}, nullptr, true, "--name: give a name"},
      {"split", {}, nullptr, false, "every object has faces of one material at most"},
      {"clean", {"weld=-1"}, nullptr, true, "--weld -1: give a number from 0"},
      {"clean",
       {},
       [](HouseScene& s) { s.doc.SelectObject(s.lawn, 0, {}); },
       false,
       "nothing to clean"},
      {"normals", {}, nullptr, true, "give --flat"},
      {"normals", {"flat", "smooth=30"}, nullptr, true, "--smooth 30: give either"},
      {"normals", {"smooth=181"}, nullptr, true, "--smooth 181: give a number from 0 to 180"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.step) + " " + c.message);
    HouseScene s;
    if (c.select) c.select(s);
    const std::string before = SerializeScene(s.doc);
    std::string message;
    bool bad = false;
    try {
      RunStep(s.doc, c.step, c.options);
    } catch (const PrepBadValue& e) {
      bad = true;
      message = e.Description();
    } catch (const PrepNothingToDo& e) {
      message = e.Description();
    }
    EXPECT_EQ(bad, c.bad);
    EXPECT_THAT(message, HasSubstr(c.message));
    EXPECT_EQ(SerializeScene(s.doc), before);
  }
}

}  // namespace
}  // namespace vlm::host
