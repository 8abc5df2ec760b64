// --select on real scenes: names and materials chosen by wildcard patterns, and indices listed
// many times over warned about once.
#include "run/selections.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/selection_text.h"
#include "scene/document.h"
#include "support/warnings.h"
#include "vlm/error.h"

namespace vlm::host {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// A building as an IFC import gives it: each slab its own copy of a material, names with
// characters a pattern uses.
struct Building {
  HostDocument document;
  HostNode& model = document.NewNode(document.Root(), "Model");
  HostNode& first = document.NewNode(model, "Storey 1");
  HostNode& second = document.NewNode(model, "Storey 2");
  HostMaterial& brick = document.NewMaterial("Ziegel");
  HostMaterial& brick2 = document.NewMaterial("Ziegel (2)");
  HostMaterial& star = document.NewMaterial("Ziegel*");
  HostMaterial& glass = document.NewMaterial("Glas[1]");
  HostMaterial& concrete = document.NewMaterial("Beton");
  HostMesh& slab1 = Square(first, "Slab-1", brick, concrete);
  HostMesh& wall = Square(first, "Wall", brick2, brick2);
  HostMesh& slab2 = Square(second, "Slab-2", star, glass);

  // Two faces, one of each material.
  HostMesh& Square(HostNode& group, const char* name, HostMaterial& a, HostMaterial& b) {
    HostMesh& mesh = document.NewMesh(group, name);
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    mesh.AddFace(std::vector<HostPoint>{{0}, {1}, {2}, {3}}, &a);
    mesh.AddFace(std::vector<HostPoint>{{3}, {2}, {1}, {0}}, &b);
    return mesh;
  }
};

TEST(Selections, NamesAndMaterialsFitShellPatterns) {
  const std::string s1 = "Model/Storey 1/", s2 = "Model/Storey 2/";
  const struct {
    std::string selection;
    std::vector<std::string> texts;  // the scripting view's, as the workbench prints them
  } cases[] = {
      {"faces:Model:material=Ziegel*",
       {"faces:" + s1 + "Slab-1:0", "faces:" + s1 + "Wall:0,1", "faces:" + s2 + "Slab-2:0"}},
      {"faces:Model:material=Ziegel", {"faces:" + s1 + "Slab-1:0"}},
      // "\*" is a "*" itself; a name that is itself a pattern fits as it stands.
      {"faces:Model:material=Ziegel\\*", {"faces:" + s2 + "Slab-2:0"}},
      {"faces:Model:material=Glas[1]", {"faces:" + s2 + "Slab-2:1"}},
      {"faces:Model:material=[BG]*", {"faces:" + s1 + "Slab-1:1", "faces:" + s2 + "Slab-2:1"}},
      {"faces:Model:name=Slab-?", {"faces:" + s1 + "Slab-1:0,1", "faces:" + s2 + "Slab-2:0,1"}},
      {"faces:Model:name=Slab-*&material=Ziegel*",
       {"faces:" + s1 + "Slab-1:0", "faces:" + s2 + "Slab-2:0"}},
      {"object:Model:name=Slab*", {"object:" + s1 + "Slab-1", "object:" + s2 + "Slab-2"}},
      {"object:" + s1 + "Wall:name=W*", {"object:" + s1 + "Wall"}},
      {"group:Model:name=Storey ?", {"group:Model/Storey 1", "group:Model/Storey 2"}},
      {"group:Model:name=*2", {"group:Model/Storey 2"}},
      // The whole scene, whose root is no group to select.
      {"group::name=*", {"group:Model", "group:Model/Storey 1", "group:Model/Storey 2"}},
  };
  for (const auto& c : cases) {
    Building b;
    std::vector<std::string> texts = SelectTexts(SelectByTexts(b.document, {c.selection}));
    texts.resize(texts.size() / 2);  // the scene-graph view's texts name the same items
    EXPECT_THAT(texts, ElementsAreArray(c.texts)) << c.selection;
  }
  // The other view's kinds choose the same by name.
  Building b;
  EXPECT_THAT(
      SelectTexts(SelectByTexts(b.document, {"shape:Model:name=Wall", "node:Model:name=*1"})),
      ElementsAre("group:Model/Storey 1", "object:" + s1 + "Wall", "node:Model/Storey 1",
                  "shape:" + s1 + "Wall"));
}

TEST(Selections, PatternsThatFitNothingAreReported) {
  const struct {
    std::string selection;
    std::string problem;
    bool nothing;  // selects nothing (nothing done), rather than a bad selection
  } cases[] = {
      {"faces:Model:material=Stein*",
       "the scene has no material \"Stein*\"; its materials: "
       "\"Ziegel\", \"Ziegel (2)\"",
       false},
      {"faces:Model:name=Door*",
       "selection \"faces:Model:name=Door*\" selects no face (of 3 "
       "objects)",
       true},
      {"object:Model:name=Door*", "selects no object (of 3)", true},
      {"group:Model:name=Roof", "selects no group (of 3)", true},
      {"group:Model:name=Storey*&facing=+y", "group: takes the one rule name=PATTERN", false},
      {"object:Nowhere:name=*", "Nowhere", false},
  };
  for (const auto& c : cases) {
    Building b;
    try {
      ApplySelections(b.document, {c.selection});
      ADD_FAILURE() << c.selection << " was taken";
    } catch (const SelectsNothing& e) {
      EXPECT_TRUE(c.nothing) << e.Description();
      EXPECT_THAT(e.Description(), HasSubstr(c.problem));
    } catch (const Error& e) {
      EXPECT_FALSE(c.nothing) << e.Description();
      EXPECT_THAT(e.Description(), HasSubstr(c.problem));
    }
  }
}

// One warning for a selection, however often its indices repeat, quoting it shortened.
TEST(Selections, RepeatedIndicesGiveOneWarningPerSelection) {
  std::string many = "faces:Model/Storey 1/Slab-1:1";
  for (int i = 0; i < 15999; ++i)
    many += ",1";
  const struct {
    std::vector<std::string> selections;
    std::vector<std::string> warnings;
  } cases[] = {
      {{"faces:Model/Storey 1/Slab-1:0,1"}, {}},
      {{"faces:Model/Storey 1/Slab-1:1,0,1"},
       {"--select faces:Model/Storey 1/Slab-1:1,0,1: 1 repeated index ignored (first: 1)"}},
      {{"polygons:Model/Storey 1/Wall:0,0,1,1,0", "faces:Model/Storey 1/Slab-1:0"},
       {"--select polygons:Model/Storey 1/Wall:0,0,1,1,0: 3 repeated indices ignored (first: "
        "0)"}},
      {{many},
       {"--select faces:Model/Storey 1/Slab-1:1,1,1,1,1,1,1,1,1,1,1,1,1,1,...,1,1,1,1,1,1,1,1,1,1: "
        "15,999 repeated indices ignored (first: 1)"}},
  };
  for (const auto& c : cases) {
    Building b;
    test::CollectedWarnings warnings;
    ApplySelections(b.document, c.selections);
    EXPECT_THAT(warnings.list, ElementsAreArray(c.warnings)) << c.selections[0].substr(0, 40);
  }
}

}  // namespace
}  // namespace vlm::host
