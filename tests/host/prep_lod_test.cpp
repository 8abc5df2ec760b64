// The lod preparation step: simplified levels that stay near the detailed surface of real
// models, that both exporters take as their Custom LODs, that keep each material's region and
// the group's frame, and refusals that change nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "exchange/model_import.h"
#include "exchange/obj8_file.h"
#include "prep/prep_step.h"
#include "scene/builder.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "support/model_triangles.h"
#include "support/temp_home.h"
#include "support/trackline_runs.h"
#include "support/wingform_export.h"

namespace vlm {
namespace {

namespace fs = std::filesystem;
using host::HostDocument;
using host::HostNode;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

struct LodRun {
  std::string log;
  std::vector<std::string> warnings;
};

LodRun Lod(HostDocument& doc, const std::vector<std::string>& options) {
  LodRun run;
  std::ostringstream log;
  host::RunPrepStep(doc, "lod", options, ".", log,
                    [&](const std::string& w) { run.warnings.push_back(w); });
  run.log = log.str();
  return run;
}

std::vector<std::string> ChildNames(const HostNode& node) {
  std::vector<std::string> names;
  for (const auto& child : node.children)
    names.push_back(child->name);
  return names;
}

std::vector<test::Triangle> WorldTriangles(const HostNode& node) {
  std::vector<test::Triangle> out;
  test::HostWalk(node, out);
  return out;
}

float Distance(Vec3 a, Vec3 b) {
  return Length(a - b);
}

// The distance from p to the nearest point of the triangle (the regions of Ericson's
// "Real-Time Collision Detection", 5.1.5).
float TriangleDistance(Vec3 p, Vec3 a, Vec3 b, Vec3 c) {
  const Vec3 ab = b - a, ac = c - a, ap = p - a;
  const float d1 = Dot(ab, ap), d2 = Dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return Distance(p, a);
  const Vec3 bp = p - b;
  const float d3 = Dot(ab, bp), d4 = Dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return Distance(p, b);
  const float vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return Distance(p, a + ab * (d1 / (d1 - d3)));
  const Vec3 cp = p - c;
  const float d5 = Dot(ab, cp), d6 = Dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return Distance(p, c);
  const float vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return Distance(p, a + ac * (d2 / (d2 - d6)));
  const float va = d3 * d6 - d5 * d4;
  if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0)
    return Distance(p, b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6))));
  const float denom = 1 / (va + vb + vc);
  return Distance(p, a + ab * (vb * denom) + ac * (vc * denom));
}

// The farthest that points spread over `level`'s triangles lie from the nearest point of
// `surface`, up to `cap`: the surface's triangles are kept in cells of that size, and a point
// looks in the cells around its own.
float OneSidedDistance(const std::vector<test::Triangle>& level,
                       const std::vector<test::Triangle>& surface, float cap) {
  const auto cell = [&](float v) { return static_cast<int64_t>(std::floor(v / cap)); };
  const auto key = [](int64_t x, int64_t y, int64_t z) {
    return ((x & 0xFFFFF) << 40) | ((y & 0xFFFFF) << 20) | (z & 0xFFFFF);
  };
  std::unordered_map<int64_t, std::vector<const test::Triangle*>> cells;
  for (const test::Triangle& t : surface) {
    Vec3 low = t.corners[0], high = t.corners[0];
    for (Vec3 p : t.corners) {
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    for (int64_t x = cell(low.x); x <= cell(high.x); ++x)
      for (int64_t y = cell(low.y); y <= cell(high.y); ++y)
        for (int64_t z = cell(low.z); z <= cell(high.z); ++z)
          cells[key(x, y, z)].push_back(&t);
  }
  const size_t samples = 2000;
  uint32_t seed = 12345;
  const auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return float(seed >> 8) / float(1u << 24);
  };
  float farthest = 0;
  for (size_t i = 0; i < samples && !level.empty(); ++i) {
    const test::Triangle& t = level[i * level.size() / samples];
    float u = next(), v = next();
    if (u + v > 1) u = 1 - u, v = 1 - v;
    if (i % 4 == 0) u = float(i / 4 % 3 == 1), v = float(i / 4 % 3 == 2);  // a corner
    const Vec3 p =
        t.corners[0] + (t.corners[1] - t.corners[0]) * u + (t.corners[2] - t.corners[0]) * v;
    // The point's own cell first: the nearest point is mostly there, and a cell that lies
    // farther than it is passed over.
    float best = cap;
    const auto look = [&](int64_t x, int64_t y, int64_t z) {
      const auto gap = [&](int64_t c, float value) {
        return std::max({float(c) * cap - value, 0.0f, value - float(c + 1) * cap});
      };
      if (Length({gap(x, p.x), gap(y, p.y), gap(z, p.z)}) >= best) return;
      const auto at = cells.find(key(x, y, z));
      if (at != cells.end())
        for (const test::Triangle* s : at->second)
          best = std::min(best, TriangleDistance(p, s->corners[0], s->corners[1], s->corners[2]));
    };
    look(cell(p.x), cell(p.y), cell(p.z));
    for (int64_t x = cell(p.x) - 1; x <= cell(p.x) + 1; ++x)
      for (int64_t y = cell(p.y) - 1; y <= cell(p.y) + 1; ++y)
        for (int64_t z = cell(p.z) - 1; z <= cell(p.z) + 1; ++z) {
          if (x == cell(p.x) && y == cell(p.y) && z == cell(p.z)) continue;
          look(x, y, z);
        }
    farthest = std::max(farthest, best);
  }
  return farthest;
}

float Diagonal(const std::vector<test::Triangle>& triangles) {
  Vec3 low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
  for (const test::Triangle& t : triangles)
    for (Vec3 p : t.corners) {
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
  return Length(high - low);
}

HostNode& TopGroup(HostDocument& doc) {
  return *doc.Root().children.front();
}

TEST(PrepLod, LevelsOfRealModelsStayWithinOnePercentOfTheirSurface) {
  struct Case {
    const char* file;
    bool simpler;  // the first level has fewer triangles than the model
  };
  const Case cases[] = {{"glTF/CesiumMilkTruck/CesiumMilkTruck.gltf", true},
                        {"Collada/duck.dae", true},
                        // Faceted: each face has a normal of its own.
                        {"PLY/Wuson.ply", true},
                        {"IFC/AC14-FZK-Haus.ifc", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path file = test::kModels / c.file;
    if (!fs::exists(file)) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
    auto doc = host::ImportModel(file).document;
    const std::string name = TopGroup(*doc).name;
    const auto original = WorldTriangles(TopGroup(*doc));
    const LodRun run = Lod(*doc, {"levels=50%@100,10%@300,2%@600"});
    ASSERT_THAT(ChildNames(doc->Root()),
                ElementsAre(name, name + "_100", name + "_300", name + "_600"));
    EXPECT_THAT(run.log, HasSubstr(name + "_100 (from 100 m): 50 % asked, "));
    const float diagonal = Diagonal(original);
    size_t before = original.size();
    for (size_t k = 1; k < 4; ++k) {
      const HostNode& level = *doc->Root().children[k];
      SCOPED_TRACE(level.name);
      const auto triangles = WorldTriangles(level);
      ASSERT_FALSE(triangles.empty());
      // Farther levels that the error limit stops keep as many as the one before.
      if (c.simpler && k == 1)
        EXPECT_LT(triangles.size(), before);
      else
        EXPECT_LE(triangles.size(), before);
      before = triangles.size();
      EXPECT_LE(OneSidedDistance(triangles, original, 0.02f * diagonal), 0.01f * diagonal);
    }
  }
}

TEST(PrepLod, ExportersTakeTheLevelsAsTheirCustomLods) {
  const fs::path duck = test::kModels / "Collada/duck.dae";
  if (!fs::exists(duck)) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  struct Case {
    const char* naming;
    const char* exporter;
  };
  const Case cases[] = {{"suffix", "wingform"}, {"range", "wingform"}, {"suffix", "trackline"}};
  test::TempHome home;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.naming) + " " + c.exporter);
    auto doc = host::ImportModel(duck).document;
    HostNode& group = TopGroup(*doc);
    // An error limit the shares are reached within.
    Lod(*doc, {"levels=50%@100,10%@300,2%@600", "error=0.05", std::string("naming=") + c.naming});
    if (std::string(c.exporter) == "wingform") {
      const fs::path file = home.Path() / (std::string(c.naming) + ".obj");
      // Wingform's last level ends at its farthest distance.
      test::ScriptedScope dialogs("optLOD(2)=1; txtDist=1000; click cmdOK; click cmdCancel");
      Wingform wingform;
      wingform.SetClock(test::FixedTime);
      ASSERT_EQ(wingform.PluginImportExport_Export(file.string(), &group.AsNode(), doc.get(),
                                                   nullptr, {}, {}, ""),
                StatusOk);
      const host::Obj8File obj8 = host::ReadObj8File(file);
      std::vector<std::pair<float, float>> ranges;
      for (const host::Obj8Lod& lod : obj8.lods)
        ranges.emplace_back(lod.nearDistance, lod.farDistance);
      EXPECT_THAT(ranges, ElementsAre(std::pair(0.f, 100.f), std::pair(100.f, 300.f),
                                      std::pair(300.f, 600.f), std::pair(600.f, 1000.f)));
      for (size_t k = 1; k < obj8.lods.size(); ++k)
        EXPECT_LT(obj8.lods[k].triangles, obj8.lods[k - 1].triangles) << k;
    } else {
      const fs::path file = home.Path() / "duck.igs";
      ASSERT_EQ(
          test::Export(*doc, &group, file, "optLOD(2)=1; click cmdOK; click cmdCancel").status,
          StatusOk);
      const test::Written written = test::ReadBack(file);
      std::vector<std::string> names;
      std::vector<int32_t> distances;
      for (int32_t b : written.igs.TopBlocks()) {
        names.push_back(written.igs.blocks[static_cast<size_t>(b)].name);
        distances.push_back(written.igs.blocks[static_cast<size_t>(b)].distance);
      }
      EXPECT_THAT(names,
                  ElementsAre("1_0100_" + group.name, "2_0300_" + group.name + "_100",
                              "3_0600_" + group.name + "_300", "4_1000_" + group.name + "_600"));
      EXPECT_THAT(distances, ElementsAre(100, 300, 600, 1000));
    }
  }
}

// A ground of 40 x 40 cells in two materials (the left half paved) inside a turned, moved
// group, with a post in a group of its own.
struct Yard {
  HostDocument doc;
  HostNode* group;
  host::HostMaterial *grass, *paving;
  Yard() {
    grass = &doc.NewMaterial("Grass");
    paving = &doc.NewMaterial("Paving");
    group = &host::AddGroup(doc.Root(), "Yard", {5, 1, -3}, Normalize({1, 0, 1}), {0, 1, 0});
    host::HostMesh& ground = host::AddGrid(*group, "Ground", 40, 40, 0.5f, grass);
    for (size_t f = 0; f < ground.FaceCount(); ++f)
      if (ground.vertices[static_cast<size_t>(ground.Points(f)[0].vertex)].x < 9.99f)
        ground.SetFaceMaterial(f, paving);
    host::AddBox(host::AddGroup(*group, "Post", {2, 0, 2}), "Pole", {0, 1, 0}, {0.1f, 1, 0.1f},
                 grass);
  }
};

// The area of the triangles of one material, and how many there are.
std::pair<float, size_t> AreaOf(const std::vector<test::Triangle>& triangles,
                                const std::string& material) {
  float area = 0;
  size_t count = 0;
  for (const test::Triangle& t : triangles)
    if (t.material == material) {
      area += 0.5f * Length(Cross(t.corners[1] - t.corners[0], t.corners[2] - t.corners[0]));
      ++count;
    }
  return {area, count};
}

TEST(PrepLod, LevelsKeepTheFrameAndEachMaterialsRegionAndReplaceTheirOwn) {
  struct Case {
    const char* naming;
    std::vector<std::string> rootNames, groupNames, replaced;
  };
  const Case cases[] = {
      {"suffix",
       {"Yard", "Yard_100", "Yard_300"},
       {"Post"},
       {"replaced the level \"Yard_100\"", "replaced the level \"Yard_300\""}},
      {"range",
       {"Yard"},
       {"LOD 0-100", "LOD 100-300", "LOD 300-1000"},
       {"replaced the level \"LOD 100-300\"", "replaced the level \"LOD 300-1000\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.naming);
    Yard yard;
    const auto original = WorldTriangles(*yard.group);
    const std::vector<std::string> options = {"levels=20%@100,5%@300",
                                              std::string("naming=") + c.naming};
    Lod(yard.doc, options);
    const LodRun again = Lod(yard.doc, options);  // the same levels again: replaced, not doubled
    EXPECT_THAT(again.warnings, ElementsAreArray(c.replaced));
    EXPECT_THAT(ChildNames(yard.doc.Root()), ElementsAreArray(c.rootNames));
    EXPECT_THAT(ChildNames(*yard.group), ElementsAreArray(c.groupNames));
    // The detailed group as it was (with range naming, moved into its first level group).
    const HostNode& detail = c.rootNames.size() > 1 ? *yard.group : *yard.group->children[0];
    test::ExpectSameTriangles(WorldTriangles(detail), original, "the detailed level");
    const auto [grass, grassCount] = AreaOf(original, "Grass");
    const auto [paving, pavingCount] = AreaOf(original, "Paving");
    for (const char* name : {"100", "300"}) {
      const HostNode& level = c.rootNames.size() > 1
                                  ? *yard.doc.Root().children[name[0] == '1' ? 1 : 2]
                                  : *yard.group->children[name[0] == '1' ? 1 : 2];
      SCOPED_TRACE(level.name);
      const auto triangles = WorldTriangles(level);
      // In the group's place in the world, flat, so simplified as far as asked; each
      // material's region stays where it was.
      EXPECT_LE(OneSidedDistance(triangles, original, 1), 1e-4f);
      EXPECT_LE(triangles.size(), original.size() / (name[0] == '1' ? 4 : 10));
      EXPECT_NEAR(AreaOf(triangles, "Grass").first, grass, 1e-3f * grass);
      EXPECT_NEAR(AreaOf(triangles, "Paving").first, paving, 1e-3f * paving);
      EXPECT_LT(AreaOf(triangles, "Paving").second, pavingCount);
      // Every vertex, normal and texture coordinate of a copy is used by its faces.
      const host::HostMesh& ground = *level.meshes.at(0);
      std::vector<bool> used(ground.vertices.size());
      for (size_t f = 0; f < ground.FaceCount(); ++f)
        for (const host::HostPoint& p : ground.Points(f))
          used[static_cast<size_t>(p.vertex)] = true;
      EXPECT_TRUE(std::all_of(used.begin(), used.end(), [](bool u) { return u; }));
    }
  }
}

TEST(PrepLod, RefusalsLeaveTheDocumentAsItWas) {
  struct Case {
    std::vector<std::string> options;
    const char* select;  // a group to select, "" for the whole scene
    const char* problem;
  };
  const Case cases[] = {
      {{}, "", "--levels is needed"},
      {{"levels=50%200"}, "", "\"50%200\" is not a level"},
      {{"levels=half@200"}, "", "is not a level"},
      {{"levels=50%@300,10%@200"}, "", "must go up"},
      {{"levels=10%@200,50%@300"}, "", "shares that go down"},
      {{"levels=0%@100"}, "", "above 0"},
      {{"levels=0@100"}, "", "above 0"},
      {{"levels=150%@100"}, "", "up to all of them"},
      {{"levels=50%@-5"}, "", "above 0 m"},
      {{"levels=50%@1000"}, "", "end at 1000 m"},
      {{"levels=50%@150.5"}, "", "whole number"},
      {{"levels=50%@100", "far=2000"}, "", "--far is for --naming range"},
      {{"levels=50%@100", "naming=range", "far=100"}, "", "beyond the last level's 100 m"},
      {{"levels=50%@100", "error=2"}, "", "--error 2"},
      {{"levels=50%@100", "naming=levels"}, "", "suffix, range"},
      {{"levels=50%@100"}, "Yard/Post", "inside another group"},
      {{"levels=50%@100"}, "Shed", "no faces"},
      {{"levels=50%@100"}, "", "2 top-level groups (\"Yard\", \"Shed\"): choose one with --select"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    Yard yard;
    host::AddGroup(yard.doc.Root(), "Shed");
    if (*c.select)
      yard.doc.scriptingSelection.groups.push_back(yard.doc.FindGroup(c.select, nullptr));
    const std::string before = host::SerializeScene(yard.doc);
    try {
      Lod(yard.doc, c.options);
      ADD_FAILURE() << "not refused";
    } catch (const Error& e) {
      EXPECT_THAT(e.Description(), HasSubstr(c.problem));
    }
    EXPECT_EQ(host::SerializeScene(yard.doc), before);
  }
}

}  // namespace
}  // namespace vlm
