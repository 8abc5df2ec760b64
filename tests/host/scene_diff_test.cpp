// What changed between two documents (host/scene/scene_diff).
#include "scene/scene_diff.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "scene/builder.h"
#include "scene/document.h"
#include "scene/scene_file.h"
#include "support/errors.h"
#include "support/expect_near.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

using test::ExpectNear;

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using test::Failure;
using test::FailureOf;

// Items whose scene-file JSON differs, worked out from the saved text alone: a group's own
// members (not its groups and objects), an object's whole record, a material's record.
std::map<std::string, nlohmann::json> ItemsOfText(const std::string& text) {
  std::map<std::string, nlohmann::json> items;
  nlohmann::json scene = nlohmann::json::parse(text);
  for (const auto& m : scene["materials"])
    items["material " + m["name"].get<std::string>()] = m;
  std::function<void(const nlohmann::json&, const std::string&)> walk =
      [&](const auto& group, const std::string& path) {
        nlohmann::json own = group;
        own.erase("groups");
        own.erase("objects");
        items["group " + path] = own;
        for (const char* list : {"groups", "objects"}) {
          std::map<std::string, int32_t> seen;
          for (const auto& item : group.value(list, nlohmann::json::array())) {
            std::string name = item["name"];
            std::string step = (path.empty() ? "" : path + "/") + PathSegment(name, ++seen[name]);
            if (list == std::string("groups"))
              walk(item, step);
            else
              items["object " + step] = item;
          }
        }
      };
  walk(scene["root"], "");
  return items;
}

TEST(SceneDiff, ListsEveryItemWhoseTextChanged) {
  using Change = std::function<void(HostDocument&)>;
  auto mesh = [](HostDocument& d, const char* path) { return d.FindMesh(path, nullptr); };
  struct Case {
    const char* what;
    Change change;
    std::vector<std::string> created, changed, removed;
    std::vector<int32_t> faces;  // of the one changed object ({-1}: those at vertex 0)
  };
  // Rebuilds an object's faces as `order` gives them (an index of its own faces, or -1 for a
  // new face of three new vertices).
  const auto reorder = [](HostMesh& m, std::vector<int32_t> order) {
    std::vector<std::vector<HostPoint>> points;
    std::vector<HostMaterial*> materials;
    for (size_t f = 0; f < m.FaceCount(); ++f) {
      points.emplace_back(m.Points(f).begin(), m.Points(f).end());
      materials.push_back(m.FaceMaterial(f));
    }
    m.ClearFaces();
    for (int32_t f : order) {
      if (f >= 0) {
        m.AddFace(points[size_t(f)], materials[size_t(f)]);
        continue;
      }
      const auto v = static_cast<int32_t>(m.vertices.size());
      m.vertices.insert(m.vertices.end(), {{9, 9, 9}, {10, 9, 9}, {10, 10, 9}});
      m.AddFace(std::vector<HostPoint>{{v, -1, -1}, {v + 1, -1, -1}, {v + 2, -1, -1}});
    }
  };
  const Case cases[] = {
      {"nothing", [](HostDocument&) {}, {}, {}, {}, {}},
      {"a group moved",
       [](HostDocument& d) { d.FindGroup("Hangar/Wing", nullptr)->position.x += 1; },
       {},
       {"group Hangar/Wing"},
       {},
       {}},
      {"a vertex moved",
       [&](HostDocument& d) { mesh(d, "Hangar/Shell")->vertices[0].y += 1; },
       {},
       {"object Hangar/Shell"},
       {},
       {-1}},
      {"a face given another material",
       [&](HostDocument& d) {
         mesh(d, "Hangar/Wing/Spar")->SetFaceMaterial(3, d.FindMaterial("Glass"));
       },
       {},
       {"object Hangar/Wing/Spar"},
       {},
       {3}},
      {"a face removed, the later ones move down: none is new",
       [&](HostDocument& d) { mesh(d, "Hangar/Door/Panel")->RemoveFace(4); },
       {},
       {"object Hangar/Door/Panel"},
       {},
       {}},
      {"faces inserted before others: only they are new, the others moved along",
       [&](HostDocument& d) {
         reorder(*mesh(d, "Hangar/Shell"), {-1, 0, 1, -1, 2, 3, 4, 5});
       },
       {},
       {"object Hangar/Shell"},
       {},
       {0, 3}},
      {"two faces swapped: the object changed, no face is new",
       [&](HostDocument& d) {
         reorder(*mesh(d, "Hangar/Shell"), {1, 0, 2, 3, 4, 5});
       },
       {},
       {"object Hangar/Shell"},
       {},
       {}},
      {"a group of a taken name, an object, a material",
       [](HostDocument& d) {
         HostNode& wing = AddGroup(*d.FindGroup("Hangar", nullptr), "Wing");
         AddBox(wing, "Spar", {}, {1, 1, 1}, &d.NewMaterial("Steel"));
         d.FindMaterial("Canvas")->gloss = 0.5f;
       },
       {"material Steel", "group Hangar/Wing[2]", "object Hangar/Wing[2]/Spar"},
       {"material Canvas"},
       {},
       {}},
      {"an object gone and a field set",
       [](HostDocument& d) {
         d.RemoveMesh(*d.FindMesh("Hangar/Fittings/Lamp2", nullptr));
         d.FindGroup("Hangar/Door", nullptr)->fields[d.DefineNodeField("TetherData")] = "x";
       },
       {},
       {"group Hangar/Door"},
       {"object Hangar/Fittings/Lamp2"},
       {}},
  };
  const std::string example = std::string(VLM_TEST_EXAMPLES_DIR) + "/hangar.json";
  const std::string beforeText = SerializeScene(*LoadScene(example));
  const auto before = ItemsOfText(beforeText);
  for (const Case& c : cases) {
    auto doc = LoadScene(example);
    c.change(*doc);
    const SceneDiff diff = DiffDocuments(beforeText, *doc, "hangar.json");
    auto named = [](const std::vector<SceneItem>& items) {
      std::vector<std::string> out;
      for (const SceneItem& i : items)
        out.push_back(std::string(KindName(i.kind)) + " " + i.path);
      return out;
    };
    EXPECT_EQ(named(diff.created), c.created) << c.what;
    EXPECT_EQ(named(diff.changed), c.changed) << c.what;
    EXPECT_EQ(named(diff.removed), c.removed) << c.what;
    // The same items as the saved texts tell apart.
    const auto after = ItemsOfText(SerializeScene(*doc));
    std::vector<std::string> created, changed, removed;
    for (const auto& [item, json] : after)
      if (!before.contains(item))
        created.push_back(item);
      else if (before.at(item) != json)
        changed.push_back(item);
    for (const auto& [item, json] : before)
      if (!after.contains(item)) removed.push_back(item);
    auto sorted = [](std::vector<std::string> v) { return std::sort(v.begin(), v.end()), v; };
    EXPECT_EQ(sorted(named(diff.created)), created) << c.what;
    EXPECT_EQ(sorted(named(diff.changed)), changed) << c.what;
    EXPECT_EQ(sorted(named(diff.removed)), removed) << c.what;
    // The faces of a changed object that hold what no face of it held before.
    for (const SceneItem& item : diff.changed) {
      if (item.kind != SceneItem::Kind::Object) continue;
      std::vector<int32_t> faces = c.faces;
      if (faces == std::vector<int32_t>{-1}) {
        faces.clear();
        const HostMesh& shell = *doc->FindMesh(item.path, nullptr);
        for (size_t f = 0; f < shell.FaceCount(); ++f)
          for (const HostPoint& p : shell.Points(f))
            if (p.vertex == 0) faces.push_back(static_cast<int32_t>(f));
      }
      EXPECT_EQ(item.faces, faces) << c.what;
    }
  }
}

}  // namespace
}  // namespace vlm::host
