// The paths that name a document's groups and objects (host/scene/paths), found and made.
#include "scene/paths.h"

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

TEST(SceneDocumentPaths, FindSaysWhatIsMissingAndWhatIsThere) {
  HostDocument doc;
  HostNode& hangar = AddGroup(doc.Root(), "Hangar");
  HostNode& door = AddGroup(hangar, "Door");
  AddGroup(hangar, "Wing");
  HostMesh& wall = AddBox(hangar, "Wall", {}, {1, 1, 1});

  std::string problem;
  EXPECT_EQ(doc.FindGroup("", &problem), &doc.Root());
  EXPECT_EQ(doc.FindGroup("Hangar/Door", &problem), &door);
  EXPECT_EQ(doc.FindMesh("Hangar/Wall", &problem), &wall);

  auto groupProblem = [&](std::string_view path) {
    EXPECT_EQ(doc.FindGroup(path, &problem), nullptr);
    return problem;
  };
  auto meshProblem = [&](std::string_view path) {
    EXPECT_EQ(doc.FindMesh(path, &problem), nullptr);
    return problem;
  };
  EXPECT_EQ(groupProblem("Shed"), "no group \"Shed\" in the root; its groups: \"Hangar\"");
  EXPECT_EQ(groupProblem("Hangar/Flap"),
            "no group \"Flap\" in group \"Hangar\"; its groups: \"Door\", \"Wing\"");
  EXPECT_EQ(groupProblem("Hangar/Door/Knob"),
            "no group \"Knob\" in group \"Hangar/Door\" (it has no groups)");
  EXPECT_EQ(meshProblem("Hangar/Roof"),
            "no object \"Roof\" in group \"Hangar\"; its objects: \"Wall\"");
  EXPECT_EQ(meshProblem("Hangar/Door/Wall"),
            "no object \"Wall\" in group \"Hangar/Door\" (it has no objects)");
  EXPECT_EQ(meshProblem("Shed/Wall"), "no group \"Shed\" in the root; its groups: \"Hangar\"");
  AddGroup(hangar, "Door");
  EXPECT_EQ(
      groupProblem("Hangar/Door[3]"),
      "no group \"Door[3]\" in group \"Hangar\"; its groups: \"Door\", \"Wing\", \"Door[2]\"");
}

// Whatever a group or object is named, its path leads back to it.
TEST(SceneDocumentPaths, EveryNameHasAPathThatLeadsBackToIt) {
  HostDocument doc;
  HostNode& signs = AddGroup(doc.Root(), "Signs");
  HostNode& slash = AddGroup(signs, "In/Out");
  HostNode& backslash = AddGroup(signs, "C:\\Temp\\");
  HostNode& door = AddGroup(signs, "Door");
  HostNode& door2 = AddGroup(signs, "Door");
  HostNode& bracket = AddGroup(signs, "Door[2]");
  HostNode& lamp = AddGroup(signs, "Lamp[3]");
  HostNode& empty = AddGroup(signs, "");
  HostNode& empty2 = AddGroup(signs, "");
  AddBox(door2, "Panel", {}, {1, 1, 1});
  HostMesh& panel2 = AddBox(door2, "Panel", {}, {1, 1, 1});
  HostMesh& nameless = AddBox(doc.Root(), "", {}, {1, 1, 1});

  struct Case {
    HostNode* group;
    HostMesh* mesh;
    const char* path;
  };
  const Case cases[] = {
      {&slash, nullptr, "Signs/In\\/Out"},
      {&backslash, nullptr, "Signs/C:\\\\Temp\\\\"},
      {&door, nullptr, "Signs/Door"},
      {&door2, nullptr, "Signs/Door[2]"},
      {&bracket, nullptr, "Signs/Door\\[2]"},
      {&lamp, nullptr, "Signs/Lamp\\[3]"},
      {&empty, nullptr, "Signs/[1]"},
      {&empty2, nullptr, "Signs/[2]"},
      {nullptr, &panel2, "Signs/Door[2]/Panel[2]"},
      {nullptr, &nameless, "[1]"},
  };
  for (const Case& c : cases) {
    std::string problem;
    if (c.group) {
      EXPECT_EQ(c.group->Path(), c.path);
      EXPECT_EQ(doc.FindGroup(c.path, &problem), c.group) << c.path << ": " << problem;
    } else {
      EXPECT_EQ(c.mesh->Path(), c.path);
      EXPECT_EQ(doc.FindMesh(c.path, &problem), c.mesh) << c.path << ": " << problem;
    }
  }
  // Paths as they were written before names were escaped still lead to their group: a
  // backslash before another character is itself, and "Lamp[3]" with no third "Lamp" is
  // the group of that name.
  EXPECT_EQ(doc.FindGroup("Signs/C:\\Temp\\", nullptr), &backslash);
  EXPECT_EQ(doc.FindGroup("Signs/Lamp[3]", nullptr), &lamp);
  EXPECT_EQ(doc.FindGroup("Signs/Door[1]", nullptr), &door);
}

}  // namespace
}  // namespace vlm::host
